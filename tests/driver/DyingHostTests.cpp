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

// The host gives up on a Release that waits behind a tune stuck in the
// board, and exits: the exit still writes the missing side files, switches
// the LNB off and closes the tuner, once.
TEST_F(DyingHostTest, ProcessExitDuringAReleaseThatWaitsForAStuckTuneStillDoesTheExitsWork)
{
    os.files[InFolder(L"Zendrel-ST.ini")] = "[SET]\r\nOutLNB=1\r\n";
    ASSERT_TRUE(Load(L"Zendrel-S.dll"));
    ASSERT_TRUE(Core().OpenTuner());
    StartStuckTune();
    board.ClearLog();
    std::thread releaser([this] { Release(); });
    while (slot.object.load() != nullptr)
        std::this_thread::yield();

    DetachInstance(&slot, false);
    EXPECT_EQ(os.File(InFolder(L"Zendrel-S.SetCh.txt")).size(), 1200u);
    EXPECT_EQ(board.CallsTo("PtDllSetLnbPower("), Lines{"PtDllSetLnbPower(258,0)=0"});
    EXPECT_EQ(board.CallsTo("PtDllClose(258)"), Lines{"PtDllClose(258)=0"});
    // Here the ended threads go on, as they would not: nothing is done twice.
    os.Unpark();
    stuckTune.join();
    releaser.join();
    EXPECT_EQ(board.CallsTo("PtDllClose(258)").size(), 1u);
}

// Operations of other threads that were counted in but still waited for the
// lock when Release gave up waiting for them (2 s by the clock, however
// coarse its tick) make no board call once they get it, and the instance is
// not freed under them. The pointer form then says where its buffer is,
// with nothing in it, as it does whenever it returns false.
TEST_F(DyingHostTest, OperationsHeldBeforeTheLockWhileReleaseGivesUpMakeNoBoardCall)
{
    os.tickMs = 16;  // Windows' default timer: a sleep of 1 ms lasts a tick
    ASSERT_TRUE(Load(L"Zendrel-S.dll"));
    ASSERT_TRUE(Core().OpenTuner());
    DriverCore& core = Core();
    uint8_t* block = static_cast<uint8_t*>(slot.object.load());
    os.ParkLocks(2);
    float level = 1;
    uint8_t* data = nullptr;
    uint32_t size = 7;
    uint32_t remain = 7;
    bool read = true;
    std::thread signal([&] { level = core.GetSignalLevel(); });
    std::thread reader([&] { read = core.GetTsStream(&data, &size, &remain); });
    while (os.Parked() < 2)
        std::this_thread::yield();
    board.ClearLog();
    uint32_t start = os.ClockMs();
    Release();
    uint32_t waited = os.ClockMs() - start;
    EXPECT_GE(waited, kLeaveLimitMs);
    EXPECT_LT(waited, kLeaveLimitMs + 100) << "the bound was counted in sleeps";
    EXPECT_EQ(os.BlocksAlive(), 1) << "freed while operations were inside";

    os.Unpark();
    signal.join();
    reader.join();
    EXPECT_EQ(board.Log(), Lines{"PtDllClose(258)=0"});
    EXPECT_EQ(level, 0.0f);
    EXPECT_FALSE(read);
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(data >= block && data < block + sizeof(DriverCore)) << "the pointer was left as passed";
    // Refused at once, as a late call is.
    data = nullptr;
    size = 7;
    EXPECT_FALSE(core.GetTsStream(&data, &size, &remain));
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(data >= block && data < block + sizeof(DriverCore)) << "the pointer was left as passed";
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
    // Not even when the board has bytes ready: they are not the channel asked for.
    FakeBoard::Calls()->PtDllSetStreamEnable(258, 1);
    EXPECT_EQ(Core().GetReadyCount(), 0u);

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
        ASSERT_STREQ(slot.core.load()->EnumChannelName(0, 49), L"62ch") << "killed at step " << i;
        ReleaseInstance(&slot);
        DetachInstance(&slot, true);
        ASSERT_EQ(os.files, whole) << "killed at step " << i;
    }
}
