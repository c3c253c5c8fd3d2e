// Construction and release: the order of their steps, where they stop, and
// what the attach, detach and Release handling leave behind.
#include <algorithm>

#include "tests/driver/DriverTest.h"

namespace {

typedef std::vector<std::string> Lines;

int IndexOf(const Lines& log, const std::string& entry)
{
    auto it = std::find(log.begin(), log.end(), entry);
    return it == log.end() ? -1 : static_cast<int>(it - log.begin());
}

}  // namespace

class LifecycleTest : public DriverTest
{
};

TEST_F(LifecycleTest, WithoutBoardsConstructionStopsAtOnce)
{
    board.devCount = 0;
    EXPECT_FALSE(Load(L"Zendrel-T.dll"));
    EXPECT_EQ(board.Log(), Lines{"PtDllGetDevCount()=0"});
    EXPECT_EQ(os.Count(OsCall::ModuleFileName), 0) << "the file name is not even read";
    EXPECT_EQ(slot.object.load(), nullptr);
    EXPECT_EQ(os.BlocksAlive(), 0) << "the failed instance is freed";
    EXPECT_TRUE(os.files.empty());
}

TEST_F(LifecycleTest, ConstructionOpensTheTunerBeforeReadingTheSideFiles)
{
    os.files[InFolder(L"Zendrel-ST.ini")] = "[SET]\r\nAutoMake=0\r\n";
    ASSERT_TRUE(Load(L"Zendrel-T.dll"));
    Lines log = board.Log();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(Lines(log.begin(), log.begin() + 4),
              (Lines{"PtDllGetDevCount()=1", "GetDllVersion()=1", "PtDllOpen(Ec1Bt1)=256", "PtDllGetChannelMax(256)=0"}));
    EXPECT_EQ(board.CallsTo("PtDllGetChannelInfo(").size(), 50u);
    // The channel file is looked for after the tuner is open.
    EXPECT_EQ(os.Log(), Lines{"OpenRead(C:\\TV\\Zendrel-T.SetCh.txt)"});
    EXPECT_EQ(os.Count(OsCall::ProfileInt), 2);
}

TEST_F(LifecycleTest, ReleaseWritesTheSettingsFileThenTheChannelFileThenClosesTheTuner)
{
    ASSERT_TRUE(Load(L"Zendrel-T.dll"));
    board.ClearLog();
    os.ClearLog();
    Release();
    Lines files = os.Log();
    int settings = IndexOf(files, "Move(C:\\TV\\Zendrel-ST.~00,C:\\TV\\Zendrel-ST.ini)");
    int channels = IndexOf(files, "Move(C:\\TV\\Zendrel-T.SetCh.~00,C:\\TV\\Zendrel-T.SetCh.txt)");
    ASSERT_GE(settings, 0);
    ASSERT_GE(channels, 0);
    EXPECT_LT(settings, channels);
    EXPECT_EQ(board.Log(), Lines{"PtDllClose(256)=0"}) << "no LNB call on a terrestrial tuner";
    EXPECT_EQ(os.File(InFolder(L"Zendrel-ST.ini")).size(), 115u);
    EXPECT_EQ(os.BlocksAlive(), 0);
}

TEST_F(LifecycleTest, LnbIsSwitchedOnlyWhenTheSettingsAskForIt)
{
    os.files[InFolder(L"Zendrel-ST.ini")] = "[SET]\r\nOutLNB=0\r\n";
    ASSERT_TRUE(Load(L"Zendrel-S.dll"));
    Release();
    EXPECT_TRUE(board.CallsTo("PtDllSetLnbPower(").empty());
    EXPECT_EQ(board.CallsTo("PtDllOpen(").size(), 1u) << "no partner is opened";

    board.ClearLog();
    os.files[InFolder(L"Zendrel-ST.ini")] = "[SET]\r\nOutLNB=1\r\n";
    DetachInstance(&slot, true);  // unloaded, then loaded again
    ASSERT_TRUE(Load(L"Zendrel-S.dll"));
    EXPECT_EQ(board.CallsTo("PtDllSetLnbPower("), Lines{"PtDllSetLnbPower(258,2)=0"});
    board.ClearLog();
    Release();
    EXPECT_EQ(board.Log(), (Lines{"GetDllVersion()=1", "PtDllOpen(Ec1Bs2)=259", "PtDllSetLnbPower(258,0)=0",
                                  "PtDllClose(259)=0", "PtDllClose(258)=0"}));
}

TEST_F(LifecycleTest, FailedConstructionIsReleasedBeforeTheLoadFails)
{
    // An empty channel file declares no band: the load fails after the open.
    os.files[InFolder(L"Zendrel-T.SetCh.txt")] = "";
    EXPECT_FALSE(Load(L"Zendrel-T.dll"));
    EXPECT_EQ(board.CallsTo("PtDllClose("), Lines{"PtDllClose(256)=0"});
    EXPECT_TRUE(board.OpenHandles().empty());
    EXPECT_EQ(slot.object.load(), nullptr);
    EXPECT_EQ(os.BlocksAlive(), 0);
    EXPECT_EQ(os.MutexHolds(), 0);
    EXPECT_EQ(os.File(InFolder(L"Zendrel-T.SetCh.txt")), "") << "kept as it was";
    EXPECT_EQ(os.Count(OsCall::CreateNew), 0);
}

TEST_F(LifecycleTest, ReleaseHoldsTheInstanceLockAndGivesItBackOnce)
{
    ASSERT_TRUE(Load(L"Zendrel-T.dll"));
    Release();
    EXPECT_EQ(os.Count(OsCall::WaitMutex), 1);
    EXPECT_EQ(os.Count(OsCall::ReleaseMutex), 1);
    EXPECT_EQ(os.MutexHolds(), 0);
    EXPECT_EQ(slot.object.load(), nullptr) << "the export hands out nothing any more";

    // A second release, or the detach that follows, finds nothing to do.
    Release();
    DetachInstance(&slot, false);
    EXPECT_EQ(board.CallsTo("PtDllClose(").size(), 1u);
    EXPECT_EQ(os.MutexesAlive(), 1) << "kept at process exit";
    DetachInstance(&slot, true);
    EXPECT_EQ(os.MutexesAlive(), 0) << "closed when the DLL is unloaded";
}

TEST_F(LifecycleTest, DetachReleasesAnInstanceTheHostKept)
{
    ASSERT_TRUE(Load(L"Zendrel-T.dll"));
    DetachInstance(&slot, true);
    EXPECT_TRUE(board.OpenHandles().empty());
    EXPECT_EQ(os.BlocksAlive(), 0);
    EXPECT_EQ(os.MutexesAlive(), 0);
}
