// Every board call and every OS call failing in turn, at each of its uses in
// a whole host session (load, open, list, tune, wait, read both ways, signal,
// purge, close, release, unload), in every way it can fail. For each: no
// crash (the sanitizers watch), the load result that the failure calls for,
// no tuner left open, nothing left open or allocated, no side file left
// half-written, and no file that existed changed.
#include <map>

#include "tests/driver/DriverTest.h"

namespace {

typedef std::map<std::wstring, std::string> Files;

struct Scene {
    const char* label;
    const wchar_t* dll;
    Files files;  // what the folder holds before the load
};

// Satellite with LNB power (partner checks at release), terrestrial without
// side files (the board's list, both files written), terrestrial with both
// files (the channel file read at load).
const Scene kScenes[] = {
    {"satellite with OutLNB=1", L"Zendrel-S.dll", {{L"C:\\TV\\Zendrel-ST.ini", "[SET]\r\nOutLNB=1\r\n"}}},
    {"terrestrial without side files", L"Zendrel-T.dll", {}},
    {"terrestrial with side files",
     L"Zendrel-T.dll",
     {{L"C:\\TV\\Zendrel-ST.ini", "[SET]\r\nAutoMake=1\r\n"},
      {L"C:\\TV\\Zendrel-T.SetCh.txt", "$UHF 0\r\n$CATV 1\r\nA 0 13\r\nB 1 60\r\n"}}},
};

// One failure to inject: a board call or an OS call, its use (from 1; 0 =
// every use), and for a board call, how it fails.
struct Injection {
    bool onBoard;
    BoardCall boardCall;
    OsCall osCall;
    int occurrence;
    BoardFault fault;

    std::string Text() const
    {
        std::string what = onBoard ? BoardCallName(boardCall) : OsCallName(osCall);
        what += occurrence == 0 ? " every time" : " use " + std::to_string(occurrence);
        static const char* const kFaults[] = {"", ", result 1", ", result -1", ", outputs unwritten",
                                              ", outputs oversized"};
        return what + (onBoard ? kFaults[static_cast<int>(fault)] : "");
    }
};

struct Outcome {
    bool loaded = false;
    std::set<int32_t> openHandles;
    Files files;
    std::set<std::wstring> tornFiles;
    int filesOpen = 0;
    int blocks = 0;
    int mutexHolds = 0;
    int mutexes = 0;
    int boardCounts[static_cast<int>(BoardCall::Count)] = {};
    int osCounts[static_cast<int>(OsCall::Count)] = {};
};

// What a host does in one session, results ignored: the driver must cope
// with whatever the board and the OS made of each step.
void HostSession(DriverCore& core)
{
    core.OpenTuner();
    core.EnumTuningSpace(0);
    core.EnumChannelName(0, 0);
    core.SetChannel(0, 0);
    core.WaitTsStream(30);
    uint8_t buffer[188 * 4];
    uint32_t size = sizeof buffer;
    uint32_t remain = 0;
    core.GetTsStream(buffer, &size, &remain);
    uint8_t* data = nullptr;
    core.GetTsStream(&data, &size, &remain);
    core.GetReadyCount();
    core.GetSignalLevel();
    core.PurgeTsStream();
    core.GetCurSpace();
    core.CloseTuner();
}

Outcome RunSession(const Scene& scene, const Injection* injection)
{
    FakeBoard board;
    FakeOs os;
    board.readyBytes = 188 * 16;
    os.modulePath = InFolder(scene.dll);
    os.files = scene.files;
    if (injection != nullptr && injection->onBoard)
        board.Fail(injection->boardCall, injection->occurrence, injection->fault);
    else if (injection != nullptr)
        os.Fail(injection->osCall, injection->occurrence);

    Outcome out;
    InstanceSlot slot = {};
    out.loaded = AttachToFakes(&slot);
    if (out.loaded) {
        HostSession(*slot.core.load());
        ReleaseInstance(&slot);
    }
    DetachInstance(&slot, true);

    out.openHandles = board.OpenHandles();
    out.files = os.files;
    out.tornFiles = os.TornFiles();
    out.filesOpen = os.FilesOpen();
    out.blocks = os.BlocksAlive();
    out.mutexHolds = os.MutexHolds();
    out.mutexes = os.MutexesAlive();
    for (int c = 0; c < static_cast<int>(BoardCall::Count); ++c)
        out.boardCounts[c] = board.Count(static_cast<BoardCall>(c));
    for (int c = 0; c < static_cast<int>(OsCall::Count); ++c)
        out.osCounts[c] = os.Count(static_cast<OsCall>(c));
    return out;
}

// Whether the load survives the failure. Construction stops when the board
// reports no boards, when no tuner opens (every version check or every open
// failing), when the DLL's own path, the instance lock or the memory cannot
// be had, and when the channel file cannot be read (an empty text declares
// no band); everything else it gets past with defaults.
bool ExpectLoad(const Scene& scene, const Injection& f)
{
    bool failing = f.fault == BoardFault::ResultMinusOne || f.fault == BoardFault::OutputUnwritten;
    if (f.onBoard) {
        switch (f.boardCall) {
        case BoardCall::PtDllGetDevCount:
            return !failing;
        case BoardCall::GetDllVersion:
            return f.occurrence != 0 || f.fault == BoardFault::ResultOne;
        case BoardCall::PtDllOpen:
            return f.occurrence != 0 || !failing;
        default:
            return true;
        }
    }
    switch (f.osCall) {
    case OsCall::ModuleFileName:
    case OsCall::AllocZeroed:
        return false;
    case OsCall::NewMutex:  // the instance lock first; a satellite release's board lock later
        return f.occurrence > 1;
    case OsCall::Read:
        return scene.files.count(L"C:\\TV\\Zendrel-T.SetCh.txt") == 0;
    default:
        return true;
    }
}

// The calls whose failure means something: the clock, sleeping, the message
// box, freeing and giving back cannot fail.
bool CanFail(OsCall call)
{
    switch (call) {
    case OsCall::Sleep:
    case OsCall::Milliseconds:
    case OsCall::ShowMessage:
    case OsCall::ReleaseMutex:
    case OsCall::CloseMutex:
    case OsCall::Lock:
    case OsCall::Unlock:
    case OsCall::Free:
        return false;
    default:
        return true;
    }
}

void Check(const Scene& scene, const Outcome& clean, const Injection& f)
{
    SCOPED_TRACE(std::string(scene.label) + ", " + f.Text());
    Outcome out = RunSession(scene, &f);
    EXPECT_EQ(out.loaded, ExpectLoad(scene, f));
    EXPECT_TRUE(out.openHandles.empty()) << "a tuner was left open";
    EXPECT_EQ(out.filesOpen, 0);
    EXPECT_EQ(out.blocks, 0);
    EXPECT_EQ(out.mutexHolds, 0);
    EXPECT_EQ(out.mutexes, 0);
    EXPECT_TRUE(out.tornFiles.empty()) << "a side file was left half-written";
    for (const auto& file : out.files) {
        auto before = scene.files.find(file.first);
        if (before != scene.files.end())
            EXPECT_EQ(file.second, before->second) << "an existing file changed";
        else
            EXPECT_EQ(clean.files.count(file.first), 1u) << "a file no session writes";
    }
    if (!out.loaded)
        EXPECT_EQ(out.files, scene.files) << "a failed load writes nothing";
}

}  // namespace

TEST(FaultMatrix, EveryBoardCallFailingAtEachUse)
{
    const BoardFault kFaults[] = {BoardFault::ResultOne, BoardFault::ResultMinusOne, BoardFault::OutputUnwritten,
                                  BoardFault::OutputOversized};
    for (const Scene& scene : kScenes) {
        Outcome clean = RunSession(scene, nullptr);
        ASSERT_TRUE(clean.loaded) << scene.label;
        for (int c = 0; c < static_cast<int>(BoardCall::Count); ++c) {
            // Each of the first three uses, and every use at once.
            int uses = std::min(clean.boardCounts[c], 3);
            for (int use = uses > 0 ? 0 : 1; use <= uses; ++use)
                for (BoardFault fault : kFaults)
                    Check(scene, clean, Injection{true, static_cast<BoardCall>(c), OsCall::Count, use, fault});
        }
    }
}

TEST(FaultMatrix, EveryOsCallFailingAtEachUse)
{
    for (const Scene& scene : kScenes) {
        Outcome clean = RunSession(scene, nullptr);
        ASSERT_TRUE(clean.loaded) << scene.label;
        for (int c = 0; c < static_cast<int>(OsCall::Count); ++c) {
            if (!CanFail(static_cast<OsCall>(c)))
                continue;
            int uses = std::min(clean.osCounts[c], 3);
            for (int use = uses > 0 ? 0 : 1; use <= uses; ++use)
                Check(scene, clean, Injection{false, BoardCall::Count, static_cast<OsCall>(c), use, BoardFault::None});
        }
    }
}
