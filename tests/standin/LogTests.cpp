// The call log: text of every board call, its bounds and switches.
#include <windows.h>
#include <mmsystem.h>

#include <string>
#include <vector>

#include "tests/standin/Standin.h"

namespace {

class LogTest : public StandinTest
{
protected:
    std::string Entry(int32_t index)
    {
        char text[128];
        if (ept->EptSimLogEntry(index, text, sizeof text, nullptr) != 0)
            return "<none>";
        return text;
    }
};

}  // namespace

TEST_F(LogTest, EveryBoardCallIsLoggedWithInputsAndResult)
{
    uint32_t u = 0, u2 = 0, u3 = 0;
    uint8_t b = 0, data[1000];
    char name[16];
    std::vector<std::string> expected;
    ept->EptSimSetLockTime(0);
#define CALL(call, text) (call, expected.push_back(text))
    DWORD before = timeGetTime();
    CALL(ept->GetDllVersion(), "GetDllVersion() = 1");
    CALL(ept->PtDllGetDevCount(), "PtDllGetDevCount() = 1");
    CALL(ept->PtDllOpen(L"Ec1Bt1"), "PtDllOpen(Ec1Bt1) = 256");
    CALL(ept->PtDllOpen(L"Ec1Bs\x3042"), "PtDllOpen(Ec1Bs?) = -1");
    CALL(ept->PtDllSetLnbPower(256, 2), "PtDllSetLnbPower(256, 2) = 0");
    CALL(ept->PtDllSetTunerSleep(256, 0), "PtDllSetTunerSleep(256, 0) = 0");
    CALL(ept->PtDllGetChannelMax(256, &u), "PtDllGetChannelMax(256) = 0");
    CALL(ept->PtDllGetChannelInfo(256, 4, &u, name), "PtDllGetChannelInfo(256, 4) = 0");
    CALL(ept->PtDllSetFrequency(256, 5), "PtDllSetFrequency(256, 5) = 0");
    CALL(ept->PtDllGetTmcc(256, data), "PtDllGetTmcc(256) = 0");
    CALL(ept->PtDllSetIdS(256, 16625), "PtDllSetIdS(256, 16625) = 0");
    CALL(ept->PtDllGetCnAgc(256, &u, &u2, &u3), "PtDllGetCnAgc(256) = 0");
    CALL(ept->PtDllSetStreamEnable(256, 1), "PtDllSetStreamEnable(256, 1) = 0");
    CALL(ept->PtDllGetStreamEnable(256, &b), "PtDllGetStreamEnable(256) = 0");
    CALL(ept->PtDllGetStreamSize(256, &u), "PtDllGetStreamSize(256) = 0");
    CALL(ept->PtDllGetStreamData(256, data, 1000, &u), "PtDllGetStreamData(256, 1000) = 0");
    CALL(ept->PtDllGetStreamFlush(256), "PtDllGetStreamFlush(256) = 0");
    CALL(ept->PtDllClose(256), "PtDllClose(256) = 0");
    CALL(ept->PtDllClose(256), "PtDllClose(256) = 1");
#undef CALL
    DWORD after = timeGetTime();
    // Control calls are not board calls.
    ept->EptSimSetCn(2000);
    ept->EptSimPushBytes(256, 10);

    const int32_t n = static_cast<int32_t>(expected.size());
    ASSERT_EQ(ept->EptSimLogCount(), n);
    for (int32_t i = 0; i < n; ++i) {
        EXPECT_EQ(Entry(i), expected[i]);
        uint32_t timeMs = 0;
        ASSERT_EQ(ept->EptSimLogEntry(i, nullptr, 0, &timeMs), 0);
        EXPECT_LE(timeMs - before, after - before);
    }
    EXPECT_EQ(Entry(n), "<none>");
    EXPECT_EQ(Entry(-1), "<none>");
}

TEST_F(LogTest, KeepsFirstEntriesButCountsEveryCall)
{
    const int32_t capacity = 65536;
    ept->PtDllOpen(L"Ec1Bt1");
    for (int32_t i = 1; i < capacity + 10; ++i)
        ept->PtDllGetDevCount();
    EXPECT_EQ(ept->EptSimLogCount(), capacity + 10);
    EXPECT_EQ(Entry(0), "PtDllOpen(Ec1Bt1) = 256");
    EXPECT_EQ(Entry(capacity - 1), "PtDllGetDevCount() = 1");
    EXPECT_EQ(Entry(capacity), "<none>");

    ept->EptSimLogClear();
    EXPECT_EQ(ept->EptSimLogCount(), 0);
    ept->GetDllVersion();
    EXPECT_EQ(Entry(0), "GetDllVersion() = 1");
}

TEST_F(LogTest, DisabledLoggingNeitherStoresNorCounts)
{
    ept->GetDllVersion();
    ept->EptSimSetLogging(0);
    ept->PtDllGetDevCount();
    EXPECT_EQ(ept->EptSimLogCount(), 1);
    ept->EptSimSetLogging(1);
    ept->PtDllGetDevCount();
    EXPECT_EQ(ept->EptSimLogCount(), 2);
    char cut[8];
    ASSERT_EQ(ept->EptSimLogEntry(1, cut, sizeof cut, nullptr), 0);
    EXPECT_STREQ(cut, "PtDllGe");

    ept->EptSimSetLogging(0);
    ept->EptSimReset();
    ept->GetDllVersion();
    EXPECT_EQ(ept->EptSimLogCount(), 1) << "reset turns logging back on";
}
