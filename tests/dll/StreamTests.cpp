// Waiting for and reading the transport stream, as a host does, with the
// stand-in's bytes made ready by hand.
#include "tests/dll/PluginTest.h"

#include <mmsystem.h>

#include <memory>

namespace {

typedef std::vector<BYTE> Bytes;
const DWORD kUntouched = 0xDEADBEEF;

}  // namespace

// A satellite copy (tuner Ec1Bs1) over a stand-in whose bytes become ready
// only when pushed.
class StreamTest : public PluginTest
{
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        ept->EptSimSetStreamMode(EPTSIM_MODE_MANUAL);
        plugin.reset(new Plugin(folder.AddPlugin(L"Zendrel-S.dll")));
        ASSERT_TRUE(plugin->Load());
        driver = plugin->driver();
    }

    // Opened and tuned to BS channel 0, stream running, nothing ready.
    void OpenAndTune()
    {
        ASSERT_EQ(driver.OpenTuner(), 1);
        ASSERT_EQ(driver.SetChannel(0, 0), 1);
        ept->EptSimLogClear();
    }

    // The stream as the stand-in produced it since the tune.
    Bytes Expected(uint64_t offset, uint32_t size)
    {
        Bytes out(size);
        ept->EptSimStreamBytes(kHandleBs1, offset, out.data(), size);
        return out;
    }

    // One copying read with the given capacity; the bytes copied.
    Bytes Read(DWORD capacity, BOOL expectedResult, DWORD expectedRemain)
    {
        Bytes out(capacity);
        DWORD size = capacity;
        DWORD remain = kUntouched;
        EXPECT_EQ(driver.GetTsStream(out.data(), &size, &remain), expectedResult);
        EXPECT_EQ(remain, expectedRemain);
        out.resize(size <= capacity ? size : 0);
        return out;
    }

    std::unique_ptr<Plugin> plugin;
    Driver driver = {nullptr};
};

TEST_F(StreamTest, WaitOnAStoppedStreamOfATunerNotOpenReports128AndStartsNothing)
{
    ept->EptSimPushBytes(kHandleBs1, 188);
    EXPECT_EQ(driver.WaitTsStream(50), 128u) << "never opened";

    OpenAndTune();
    driver.CloseTuner();
    ept->EptSimPushBytes(kHandleBs1, 188);
    ept->EptSimLogClear();
    EXPECT_EQ(driver.WaitTsStream(50), 128u) << "closed";
    EXPECT_EQ(Tuner(L"Ec1Bs1").streaming, 0);
    EXPECT_TRUE(CallsTo(Log(), "PtDllSetStreamEnable(").empty());
}

TEST_F(StreamTest, WaitReturnsTheReadyCountAtOnceWithoutReading)
{
    OpenAndTune();
    ept->EptSimPushBytes(kHandleBs1, 1000);
    EXPECT_EQ(driver.WaitTsStream(0), 1000u);
    EXPECT_EQ(Tuner(L"Ec1Bs1").bytesReady, 1000u);
    EXPECT_EQ(driver.GetReadyCount(), 1000u);
}

TEST_F(StreamTest, WaitGivesUpAfterItsTimeoutAndPicksUpLaterBytes)
{
    OpenAndTune();
    DWORD start = timeGetTime();
    EXPECT_EQ(driver.WaitTsStream(40), 0u);
    EXPECT_GE(timeGetTime() - start, 40u);

    ept->EptSimScheduleBytes(kHandleBs1, 376, 30000);
    EXPECT_EQ(driver.WaitTsStream(5000), 376u);
}

TEST_F(StreamTest, WaitAndCopyingReadRestartAStoppedStreamOfAnOpenTuner)
{
    ASSERT_EQ(driver.OpenTuner(), 1);
    ASSERT_EQ(Tuner(L"Ec1Bs1").streaming, 0);
    ept->EptSimPushBytes(kHandleBs1, 188);
    EXPECT_EQ(driver.WaitTsStream(50), 188u);
    EXPECT_EQ(Tuner(L"Ec1Bs1").streaming, 1);

    ASSERT_EQ(ept->PtDllSetStreamEnable(kHandleBs1, 0), 0);
    EXPECT_EQ(Read(188, 1, 0).size(), 188u);
    EXPECT_EQ(Tuner(L"Ec1Bs1").streaming, 1);
}

TEST_F(StreamTest, ReadsOfATunerNotOpenFailAndReadNothing)
{
    ASSERT_EQ(driver.SetChannel(0, 0), 1) << "tuned and streaming, but not opened";
    ept->EptSimPushBytes(kHandleBs1, 1000);

    BYTE dest[500];
    DWORD size = sizeof dest;
    DWORD remain = kUntouched;
    EXPECT_EQ(driver.GetTsStream(dest, &size, &remain), 0);
    EXPECT_EQ(size, 500u);
    EXPECT_EQ(remain, kUntouched);

    BYTE* pointer = nullptr;
    size = 777;
    EXPECT_EQ(driver.GetTsStream(&pointer, &size, &remain), 0);
    EXPECT_EQ(size, 0u);
    EXPECT_NE(pointer, nullptr);
    EXPECT_EQ(Tuner(L"Ec1Bs1").bytesRead, 0u);

    ASSERT_EQ(driver.OpenTuner(), 1);
    BYTE* later = nullptr;
    EXPECT_EQ(driver.GetTsStream(&later, &size, &remain), 1);
    EXPECT_EQ(later, pointer) << "the instance's own buffer in both cases";
    EXPECT_EQ(size, 1000u);
}

TEST_F(StreamTest, CopyingReadsDeliverTheStreamByteForByteAndRemainIsAFlag)
{
    OpenAndTune();
    ept->EptSimPushBytes(kHandleBs1, 1000);
    EXPECT_EQ(Read(300, 1, 1), Expected(0, 300));
    EXPECT_EQ(Read(1000, 1, 0), Expected(300, 700));
    EXPECT_TRUE(Read(1000, 0, 0).empty());

    ept->EptSimPushBytes(kHandleBs1, 10);
    EXPECT_EQ(Read(9, 1, 1), Expected(1000, 9)) << "one byte left is still more";
    EXPECT_EQ(Read(9, 1, 0), Expected(1009, 1));
}

TEST_F(StreamTest, PointerReadsHandOutOneBufferHoldingTheStream)
{
    OpenAndTune();
    BYTE* first = nullptr;
    DWORD size = 0;
    DWORD remain = kUntouched;
    ept->EptSimPushBytes(kHandleBs1, 5000);
    EXPECT_EQ(driver.GetTsStream(&first, &size, &remain), 1);
    ASSERT_EQ(size, 5000u);
    EXPECT_EQ(remain, 0u);
    EXPECT_EQ(Bytes(first, first + size), Expected(0, 5000));

    // More than the buffer holds: it fills and the rest waits.
    const DWORD bufferSize = 1540096;
    ept->EptSimPushBytes(kHandleBs1, bufferSize + 1);
    BYTE* second = nullptr;
    EXPECT_EQ(driver.GetTsStream(&second, &size, &remain), 1);
    EXPECT_EQ(second, first);
    ASSERT_EQ(size, bufferSize);
    EXPECT_EQ(remain, 1u);
    EXPECT_EQ(Bytes(second, second + size), Expected(5000, bufferSize));

    EXPECT_EQ(driver.GetTsStream(&second, &size, &remain), 1);
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(remain, 0u);
    EXPECT_EQ(second[0], Expected(5000 + bufferSize, 1)[0]);

    EXPECT_EQ(driver.GetTsStream(&second, &size, &remain), 0);
    EXPECT_EQ(second, first);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(remain, 0u);
}

TEST_F(StreamTest, EitherReadTakesANullRemainAndStillDelivers)
{
    OpenAndTune();
    ept->EptSimPushBytes(kHandleBs1, 1000);
    Bytes copied(300);
    DWORD size = 300;
    EXPECT_EQ(driver.GetTsStream(copied.data(), &size, nullptr), 1);
    EXPECT_EQ(size, 300u);
    EXPECT_EQ(copied, Expected(0, 300));

    BYTE* pointer = nullptr;
    size = 0;
    EXPECT_EQ(driver.GetTsStream(&pointer, &size, nullptr), 1);
    ASSERT_EQ(size, 700u);
    EXPECT_EQ(Bytes(pointer, pointer + size), Expected(300, 700));
}

TEST_F(StreamTest, PurgeDiscardsWhatIsReadyAndTheStreamGoesOnAfterIt)
{
    OpenAndTune();
    ept->EptSimPushBytes(kHandleBs1, 1000);
    EXPECT_EQ(Read(100, 1, 1), Expected(0, 100));
    driver.PurgeTsStream();
    EXPECT_EQ(Tuner(L"Ec1Bs1").bytesReady, 0u);
    EXPECT_EQ(driver.GetReadyCount(), 0u);

    ept->EptSimPushBytes(kHandleBs1, 188);
    EXPECT_EQ(Read(188, 1, 0), Expected(1000, 188));
}
