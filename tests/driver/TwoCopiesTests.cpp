// Copies of the DLL that share a folder or a board, in one process or
// several: Zendrel-T0.dll and Zendrel-T1.dll share both side files, and the
// release of one may meet the other's at any step, or one whose host was
// ended, or whose disk filled up, half-way through a file.
#include <atomic>
#include <thread>

#include "tests/driver/DriverTest.h"

namespace {

typedef std::map<std::wstring, std::string> Files;

const std::wstring kSettings = InFolder(L"Zendrel-ST.ini");
const std::wstring kChannels = InFolder(L"Zendrel-T.SetCh.txt");

// Two terrestrial copies of one folder on one board, loaded.
struct TwoCopies {
    FakeBoard board;
    FakeOs os;
    int moduleA = 0;
    int moduleB = 0;
    InstanceSlot a = {};
    InstanceSlot b = {};

    TwoCopies()
    {
        board.channels = {"13ch", "14ch", "15ch"};
        os.modulePaths[&moduleA] = InFolder(L"Zendrel-T0.dll");
        os.modulePaths[&moduleB] = InFolder(L"Zendrel-T1.dll");
    }
    ~TwoCopies()
    {
        DetachInstance(&a, true);
        DetachInstance(&b, true);
    }
    bool Load(InstanceSlot* slot, int* module)
    {
        return AttachInstance(slot, kDriverOnly, FakeBoard::Calls(), FakeOs::Calls(), module);
    }
};

// Each side file either missing or exactly as a whole release writes it.
void ExpectWholeOrMissing(FakeOs& os, const Files& whole, const std::string& when)
{
    for (const std::wstring& path : {kSettings, kChannels}) {
        auto it = os.files.find(path);
        if (it != os.files.end())
            EXPECT_EQ(it->second, whole.at(path)) << when;
    }
}

}  // namespace

// Copy A's release meets copy B's at each of A's steps; B goes on to each of
// its own steps and stops there (its host ended, or stuck), then finishes.
// Half the runs have a disk that fills up after 30 bytes. Whatever the
// moment, no side file is ever cut, and the next release puts the folder
// right, leaving no temporary file behind.
TEST(TwoCopiesTest, ReleasesInterleavedAtEveryStepNeverLeaveACutSideFile)
{
    Files whole;
    int steps = 0;
    {
        TwoCopies t;
        ASSERT_TRUE(t.Load(&t.a, &t.moduleA));
        int before = t.os.Steps();
        ReleaseInstance(&t.a);
        steps = t.os.Steps() - before;
        whole = t.os.files;
    }
    ASSERT_EQ(whole.size(), 2u);
    for (int stepA = 1; stepA <= steps; ++stepA) {
        for (int stepB = 1; stepB <= steps + 1; ++stepB) {
            for (bool diskFills : {false, true}) {
                const std::string when = "A at step " + std::to_string(stepA) + ", B stopped at its step " +
                                         std::to_string(stepB) + (diskFills ? ", disk full" : "");
                TwoCopies t;
                ASSERT_TRUE(t.Load(&t.a, &t.moduleA));
                ASSERT_TRUE(t.Load(&t.b, &t.moduleB));
                std::thread releaseB;
                std::atomic<bool> bDone(false);
                t.os.BeforeStep(t.os.Steps() + stepA, [&] {
                    if (diskFills)
                        t.os.diskFree = 30;
                    t.os.ParkAfterSteps(stepB);
                    releaseB = std::thread([&] {
                        ReleaseInstance(&t.b);
                        bDone = true;
                    });
                    while (t.os.Parked() == 0 && !bDone.load())
                        std::this_thread::yield();
                    if (bDone.load())
                        t.os.Unpark();  // B had fewer steps: A must not stop there
                });
                ReleaseInstance(&t.a);
                ExpectWholeOrMissing(t.os, whole, when + ", A done");
                t.os.Unpark();
                releaseB.join();
                t.os.diskFree = UINT64_MAX;
                ExpectWholeOrMissing(t.os, whole, when + ", both done");
                ASSERT_TRUE(t.os.TornFiles().empty()) << when;

                DetachInstance(&t.a, true);
                ASSERT_TRUE(t.Load(&t.a, &t.moduleA)) << when;
                ReleaseInstance(&t.a);
                ASSERT_EQ(t.os.files, whole) << when << ", then a release alone";
            }
        }
    }
}
