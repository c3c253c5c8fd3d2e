// An operating system in memory, for the driver's native tests: the OS call
// table of seam/OsCalls.h over one FakeOs at a time. Files live in a map;
// the clock is a counter that Sleep advances (or, for tests with real
// threads, the real clock); any call can be made to fail on its Nth use, a
// write then writing only half. It logs what the driver did to files, and
// keeps count of mutexes, locks and memory. Safe to call from several
// threads.
#pragma once

#include <stdint.h>

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "seam/OsCalls.h"

enum class OsCall {
    ModuleFileName,
    LongPathName,
    Exists,
    Move,
    ProfileInt,
    OpenRead,
    Read,
    CreateNew,
    Write,
    Flush,
    Close,
    Remove,
    Sleep,
    Milliseconds,
    ShowMessage,
    AnsiToWide,
    NewMutex,
    WaitMutex,
    ReleaseMutex,
    CloseMutex,
    Lock,
    Unlock,
    AllocZeroed,
    Free,
    Count
};

const char* OsCallName(OsCall call);

class FakeOs
{
public:
    // Becomes the OS that Calls() reaches, until destroyed.
    FakeOs();
    ~FakeOs();
    FakeOs(const FakeOs&) = delete;
    FakeOs& operator=(const FakeOs&) = delete;

    static const OsCalls* Calls();

    // Set-up.
    std::wstring modulePath = L"C:\\TV\\Zendrel-T.dll";
    // The paths of other modules, by handle, for copies loaded side by side;
    // any other handle is modulePath's.
    std::map<void*, std::wstring> modulePaths;
    std::map<std::wstring, std::wstring> longPaths;  // what LongPathName knows
    std::map<std::wstring, std::string> files;       // path -> bytes
    std::set<std::wstring> folders;
    // Sleep and Milliseconds use the real clock instead of the counter.
    bool realTime = false;
    // The counter's tick: a sleep lasts whole ticks, at least one, as on
    // Windows with its default timer (15.6 ms). 0 = as asked.
    uint32_t tickMs = 0;
    // Bytes the disk still takes: a write beyond them writes what fits and
    // fails, as on a full disk.
    uint64_t diskFree = UINT64_MAX;
    // The occurrence-th call (from 1; 0 = every one) fails.
    void Fail(OsCall call, int occurrence);
    // Keep what the folder holds after every change to it, and within each
    // write after every byte: each is what a host killed at that moment
    // would leave behind.
    bool keepCrashImages = false;
    std::vector<std::map<std::wstring, std::string>> crashImages;
    // Sleeps of this length block until Unpark, as if the thread had been
    // ended there (0 = none).
    void ParkSleepsOf(uint32_t milliseconds);
    // The next `count` Lock calls block the same way, before they take the
    // lock.
    void ParkLocks(int count);
    // Steps are the calls that Log records, counted from 1 since this OS
    // was made. Runs action once, on the thread making the call, just
    // before step `step`: another program acting at that moment.
    void BeforeStep(int step, std::function<void()> action);
    // The call that is `steps` steps from now blocks until Unpark, as if
    // its thread had been ended there.
    void ParkAfterSteps(int steps);
    int Steps();
    void Unpark();
    int Parked();

    // What happened. Locked readers for use while threads run.
    std::vector<std::string> Log();  // file calls, "CreateNew(C:\TV\x.ini)", ...
    int Count(OsCall call);
    std::vector<uint32_t> Sleeps();
    uint32_t ClockMs();
    int MutexesAlive();  // made and not closed
    int MutexHolds();    // waits not yet released
    int BlocksAlive();   // allocated and not freed
    int FilesOpen();
    std::string File(const std::wstring& path);  // "" when missing
    // Files that exist although a write to them failed, or their close did
    // before they were flushed: what a reader would take for whole and is
    // not.
    std::set<std::wstring> TornFiles();
    void ClearLog();

private:
    friend struct FakeOsCalls;
    struct Fault {
        OsCall call;
        int occurrence;
    };
    bool Enter(OsCall call);  // true when this call is to fail
    // Before a step: runs the action due then, or parks.
    void Step();
    // Blocks until Unpark; lock holds m_mutex.
    void WaitUnparked(std::unique_lock<std::mutex>& lock);
    bool IsOpen(const std::wstring& path);
    void Record(const std::string& entry);
    void KeepCrashImage();

    std::mutex m_mutex;
    std::vector<std::string> m_log;
    int m_counts[static_cast<int>(OsCall::Count)] = {};
    std::vector<Fault> m_faults;
    uint32_t m_clockMs = 0;
    uint32_t m_clockReads = 0;
    std::vector<uint32_t> m_sleeps;
    int m_mutexes = 0;
    int m_mutexHolds = 0;
    int m_blocks = 0;
    int m_filesOpen = 0;
    std::set<std::wstring> m_torn;
    uint32_t m_parkMs = 0;
    int m_parkLocks = 0;
    int m_steps = 0;
    int m_actionStep = 0;
    std::function<void()> m_action;
    int m_parkStep = 0;
    int m_parked = 0;
    std::condition_variable m_unparked;
    int m_unparks = 0;  // Unpark calls so far
    // Every file open now.
    std::set<void*> m_open;
};
