// The set-up file: each section read, bad lines counted and skipped.
#include <string>

#include "tests/standin/Standin.h"

using SetupTest = StandinTest;

TEST_F(SetupTest, EverySectionTakesEffectAndBadLinesAreSkipped)
{
    Folder folder;
    ASSERT_TRUE(CopyFileW(ClipPath().c_str(), folder.Path(L"clip.ts").c_str(), FALSE));
    const std::string setup =
        "; a stand-in for two boards\r\n"
        "[board]\r\n"
        "boards = 2\r\n"
        "lock ms = 0   ; at once\r\n"
        "terrestrial rate = 1000000\r\n"
        "satellite no signal = 3 4\r\n"
        "boards = many\r\n"                        // bad 1
        "[terrestrial channels]\r\n"
        "one\r\n"
        "two#2\r\n"
        "[feeds]\r\n"
        "satellite 0 0x4ABC = clip.ts 500000\r\n"
        "terrestrial 1 = missing.ts\r\n"           // bad 2
        "[faults]\r\n"
        "lost packets = 2 every 100 after 10\r\n"
        "scrambled = 2 every\r\n"                  // bad 3
        "slow call = PtDllGetTmcc 1 1\r\n"
        "[log]\r\n"
        "calls = on\r\n"
        "file = calls.log\r\n"
        "[colours]\r\n";                           // bad 4
    ASSERT_TRUE(folder.Write(L"setup.ini", setup));
    ept->EptSimSetLogging(0);
    EXPECT_EQ(ept->EptSimLoadSetup(folder.Path(L"setup.ini").c_str()), 4);
    EXPECT_EQ(ept->EptSimLoadSetup(folder.Path(L"none.ini").c_str()), -1);

    EXPECT_EQ(ept->PtDllGetDevCount(), 2);
    int32_t t = ept->PtDllOpen(L"Ec2Bt1");
    uint32_t count = 0, value = 0;
    char name[16];
    ASSERT_EQ(ept->PtDllGetChannelMax(t, &count), 0);
    EXPECT_EQ(count, 2u);
    ASSERT_EQ(ept->PtDllGetChannelInfo(t, 1, &value, name), 0);
    EXPECT_STREQ(name, "two#2");
    uint8_t tmcc[20];
    ASSERT_EQ(ept->PtDllSetFrequency(t, 1), 0);
    EXPECT_EQ(ept->PtDllGetTmcc(t, tmcc), 0) << "locked at once";
    EXPECT_EQ(Tuner(L"Ec2Bt1").bytesPerSecond, 1000000u);

    int32_t s = ept->PtDllOpen(L"Ec1Bs1");
    ASSERT_EQ(ept->PtDllSetFrequency(s, 0), 0);
    ASSERT_EQ(ept->PtDllSetIdS(s, 0x4ABC), 0);
    EptSimTuner fed = Tuner(L"Ec1Bs1");
    EXPECT_EQ(fed.signal, 1) << "a fed TS ID is one the channel carries";
    EXPECT_EQ(fed.bytesPerSecond, 500000u);
    ASSERT_EQ(ept->PtDllSetFrequency(s, 3), 0);
    EXPECT_NE(ept->PtDllGetTmcc(s, tmcc), 0) << "no signal on PT channel 3";

    ept->EptSimSetStreamMode(EPTSIM_MODE_MANUAL);
    ASSERT_EQ(ept->PtDllSetFrequency(t, 1), 0);
    ept->EptSimPushBytes(t, 1000 * 188);
    EXPECT_EQ(ept->EptSimFaultCount(t, EPTSIM_FAULT_LOST_PACKETS), 2u);
    EXPECT_EQ(ept->EptSimFaultCount(t, EPTSIM_FAULT_SCRAMBLED), 0u);
    EXPECT_EQ(ept->EptSimFaultCount(0, EPTSIM_FAULT_SLOW_CALLS), 1u);

    int32_t logged = ept->EptSimLogCount();
    EXPECT_GT(logged, 0) << "calls = on";
    ept->EptSimReset();  // closes the log file
    std::string file = folder.Read(L"calls.log");
    EXPECT_NE(file.find(" PtDllOpen(Ec2Bt1) = 260\r\n"), std::string::npos);
}
