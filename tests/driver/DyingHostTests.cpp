// Hosts that exit, get killed or make mistakes: a process that ends while
// another thread is inside a tune, a release torn off at any byte, a tune
// that fails half-way, a board that is still waking at the first load, and
// a board library that reports an absurd number of boards.
#include <future>
#include <thread>

#include "tests/driver/DriverTest.h"

namespace {

typedef std::vector<std::string> Lines;
typedef std::map<std::wstring, std::string> Files;

const uint32_t kSettleMs = 60;  // the wait inside every tune

// Runs call on another thread; false when it did not return within two
// seconds (a generous bound: what is checked is that it returns at all).
// Either way it has returned once unblock has run.
bool ReturnsWhileBlocked(std::function<void()> call, std::function<void()> unblock)
{
    std::future<void> done = std::async(std::launch::async, call);
    bool returned = done.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    unblock();
    done.wait();
    return returned;
}

}  // namespace

class DyingHostTest : public DriverTest
{
protected:
    // A tune on another thread that stays inside its settle, holding what a
    // tune holds, as a thread that the system ended there would.
    void StartStuckTune()
    {
        os.ParkSleepsOf(kSettleMs);
        stuckTune = std::thread([this] { Core().SetChannel(0, 1); });
        while (os.Parked() == 0)
            std::this_thread::yield();
    }

    std::thread stuckTune;
};

TEST_F(DyingHostTest, ProcessExitDuringATuneStillWritesTheSideFilesSwitchesTheLnbOffAndClosesTheTuner)
{
    os.files[InFolder(L"Zendrel-ST.ini")] = "[SET]\r\nOutLNB=1\r\n";
    ASSERT_TRUE(Load(L"Zendrel-S.dll"));
    ASSERT_TRUE(Core().OpenTuner());
    StartStuckTune();
    void* block = slot.object.load();
    board.ClearLog();

    bool ended = ReturnsWhileBlocked([this] { DetachInstance(&slot, false); }, [this] { os.Unpark(); });
    stuckTune.join();
    EXPECT_TRUE(ended) << "the detach at process exit waited for the ended thread's lock";
    EXPECT_EQ(os.File(InFolder(L"Zendrel-S.SetCh.txt")).size(), 1200u);
    EXPECT_EQ(board.CallsTo("PtDllSetLnbPower("), Lines{"PtDllSetLnbPower(258,0)=0"});
    EXPECT_EQ(board.CallsTo("PtDllClose(258)"), Lines{"PtDllClose(258)=0"});
    // The process ends: the memory is the system's, not freed here.
    UnmakeDriver(block);
    FakeOs::Calls()->Free(block);
}

TEST_F(DyingHostTest, ReadOnlyOperationsNeverWaitForATune)
{
    ASSERT_TRUE(Load(L"Zendrel-S.dll"));
    ASSERT_TRUE(Core().SetChannel(0, 0));
    StartStuckTune();
    const wchar_t* name = nullptr;
    const wchar_t* space = nullptr;
    uint32_t curSpace = 9;
    uint32_t curChannel = 9;
    bool returned = ReturnsWhileBlocked(
        [&] {
            name = Core().EnumChannelName(0, 3);
            space = Core().EnumTuningSpace(1);
            curSpace = Core().GetCurSpace();
            curChannel = Core().GetCurChannel();
            Core().GetTunerName();
        },
        [this] { os.Unpark(); });
    stuckTune.join();
    EXPECT_TRUE(returned) << "listing waited for the tune's settle";
    EXPECT_STREQ(name, L"BS3/TS1");
    EXPECT_STREQ(space, L"CS110");
    EXPECT_EQ(curSpace, 0u) << "the last successful tune, not the one under way";
    EXPECT_EQ(curChannel, 0u);
}

TEST_F(DyingHostTest, NamesHandedOutStayValidWhateverIsAskedNext)
{
    ASSERT_TRUE(Load(L"Zendrel-S.dll"));
    const wchar_t* first = Core().EnumChannelName(0, 0);
    const wchar_t* cs = Core().EnumChannelName(1, 0);
    Core().EnumChannelName(0, 5);
    EXPECT_STREQ(first, L"BS1/TS0");
    EXPECT_STREQ(cs, L"ND2");
}

TEST_F(DyingHostTest, AFailedTuneDeliversNothingAndStartsNothingUntilATuneSucceeds)
{
    ASSERT_TRUE(Load(L"Zendrel-S.dll"));
    ASSERT_TRUE(Core().OpenTuner());
    ASSERT_TRUE(Core().SetChannel(0, 0));
    board.SetReadyBytes(188 * 4);
    board.tmccResult = 1;  // no TMCC after the settle: a weak carrier
    EXPECT_FALSE(Core().SetChannel(0, 1));
    board.ClearLog();

    uint8_t buffer[188 * 4];
    uint32_t size = sizeof buffer;
    uint32_t remain = 7;
    EXPECT_EQ(Core().WaitTsStream(30), 0u);
    EXPECT_EQ(Core().GetReadyCount(), 0u);
    EXPECT_FALSE(Core().GetTsStream(buffer, &size, &remain));
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(remain, 0u);
    uint8_t* data = nullptr;
    EXPECT_FALSE(Core().GetTsStream(&data, &size, &remain));
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(board.CallsTo("PtDllSetStreamEnable(").empty()) << "the stream was started again";
    EXPECT_TRUE(board.CallsTo("PtDllGetStreamData(").empty());
    EXPECT_EQ(Core().GetCurChannel(), 0u);

    board.tmccResult = 0;
    ASSERT_TRUE(Core().SetChannel(0, 1));
    size = sizeof buffer;
    EXPECT_TRUE(Core().GetTsStream(buffer, &size, &remain));
    EXPECT_EQ(size, sizeof buffer);
}

TEST_F(DyingHostTest, ABoardListingNoChannelAtLoadGetsNoChannelFileAndIsAskedAgainNextTime)
{
    board.Fail(BoardCall::PtDllGetChannelMax, 1, BoardFault::OutputUnwritten);
    ASSERT_TRUE(Load(L"Zendrel-T.dll"));
    EXPECT_EQ(Core().EnumChannelName(0, 0), nullptr);
    Release();
    EXPECT_EQ(os.files.count(InFolder(L"Zendrel-T.SetCh.txt")), 0u);
    EXPECT_EQ(os.files.count(InFolder(L"Zendrel-ST.ini")), 1u);

    DetachInstance(&slot, true);
    ASSERT_TRUE(Load(L"Zendrel-T.dll"));
    EXPECT_STREQ(Core().EnumChannelName(0, 49), L"62ch");
    Release();
    EXPECT_EQ(board.CallsTo("PtDllGetChannelMax(").size(), 2u);
    EXPECT_GT(os.File(InFolder(L"Zendrel-T.SetCh.txt")).size(), 400u);
}

TEST_F(DyingHostTest, AnAbsurdBoardCountIsSearchedNoFurtherThanBoardsCanGo)
{
    board.devCount = 0x7FFFFFFF;
    board.version = 2;  // every open refused, each with its message box
    EXPECT_FALSE(Load(L"Zendrel-T.dll"));
    EXPECT_EQ(os.Count(OsCall::ShowMessage), 2 * kMaxBoards);
}

// Everything a release writes, cut off after every change and within every
// write after every byte, as a host killed at that moment leaves it: no
// side file is ever cut or empty, and the next load and release put the
// folder right.
TEST(KilledHostTest, AHostKilledAtAnyMomentOfItsReleaseNeverLeavesACutSideFile)
{
    const std::wstring settings = InFolder(L"Zendrel-ST.ini");
    const std::wstring channels = InFolder(L"Zendrel-T.SetCh.txt");
    std::vector<Files> images;
    Files whole;
    {
        FakeBoard board;
        FakeOs os;
        os.modulePath = InFolder(L"Zendrel-T.dll");
        os.keepCrashImages = true;
        InstanceSlot slot = {};
        ASSERT_TRUE(AttachToFakes(&slot));
        ReleaseInstance(&slot);
        DetachInstance(&slot, true);
        images = os.crashImages;
        whole = os.files;
    }
    ASSERT_EQ(whole.size(), 2u);
    ASSERT_GT(images.size(), whole[channels].size());
    for (size_t i = 0; i < images.size(); ++i) {
        for (const std::wstring& path : {settings, channels}) {
            auto it = images[i].find(path);
            if (it != images[i].end())
                ASSERT_EQ(it->second, whole[path]) << "killed at step " << i;
        }
        FakeBoard board;
        FakeOs os;
        os.modulePath = InFolder(L"Zendrel-T.dll");
        os.files = images[i];
        InstanceSlot slot = {};
        ASSERT_TRUE(AttachToFakes(&slot)) << "killed at step " << i;
        ASSERT_STREQ(slot.core->EnumChannelName(0, 49), L"62ch") << "killed at step " << i;
        ReleaseInstance(&slot);
        DetachInstance(&slot, true);
        ASSERT_EQ(os.files, whole) << "killed at step " << i;
    }
}
