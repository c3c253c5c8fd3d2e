#include "standin/SharedBoards.h"

#include <string.h>

#include <windows.h>

#include "standin/SimState.h"

namespace {

// The layout's version is in the names, so that two builds of the stand-in
// with different layouts never share.
const wchar_t kMappingName[] = L"Local\\ZendrelStandinBoards-1";
const wchar_t kMutexName[] = L"Local\\ZendrelStandinBoardsLock-1";

struct Owner {
    uint32_t processId;  // 0 = free
    FILETIME created;
};

struct Boards {
    int32_t lnbMode[kMaxBoards];
    Owner owners[kMaxTuners];
};

Boards g_private;
Boards* g_boards = nullptr;
HANDLE g_mutex = nullptr;
Owner g_self;

// Attaches at first use; the creator finds the memory zeroed.
Boards* Attach()
{
    if (g_boards != nullptr)
        return g_boards;
    g_self.processId = GetCurrentProcessId();
    FILETIME unused[3];
    GetProcessTimes(GetCurrentProcess(), &g_self.created, &unused[0], &unused[1], &unused[2]);
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Boards),
                                        kMappingName);
    void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Boards)) : nullptr;
    g_mutex = view ? CreateMutexW(nullptr, FALSE, kMutexName) : nullptr;
    // The mapping handle stays open for the process's life: it keeps the
    // memory alive for the others too.
    g_boards = (view != nullptr && g_mutex != nullptr) ? static_cast<Boards*>(view) : &g_private;
    return g_boards;
}

// Holds the named mutex. A holder that died leaves it abandoned, which still
// grants it: the fields are single words, never half written.
class CrossProcessLock
{
public:
    CrossProcessLock() : m_boards(Attach())
    {
        if (g_mutex != nullptr)
            WaitForSingleObject(g_mutex, INFINITE);
    }
    ~CrossProcessLock()
    {
        if (g_mutex != nullptr)
            ReleaseMutex(g_mutex);
    }
    Boards* operator->() const { return m_boards; }

private:
    Boards* m_boards;
};

bool SameProcess(const Owner& a, const Owner& b)
{
    return a.processId == b.processId && CompareFileTime(&a.created, &b.created) == 0;
}

bool Alive(const Owner& owner)
{
    if (owner.processId == 0)
        return false;
    if (SameProcess(owner, g_self))
        return true;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, owner.processId);
    if (process == nullptr)
        return false;
    DWORD exitCode = 0;
    FILETIME created;
    FILETIME unused[3];
    // A process ID used again by a newer process is not the owner.
    bool alive = GetExitCodeProcess(process, &exitCode) && exitCode == STILL_ACTIVE &&
                 GetProcessTimes(process, &created, &unused[0], &unused[1], &unused[2]) &&
                 CompareFileTime(&created, &owner.created) == 0;
    CloseHandle(process);
    return alive;
}

}  // namespace

bool SharedClaimTuner(int index)
{
    CrossProcessLock boards;
    Owner& owner = boards->owners[index];
    if (Alive(owner) && !SameProcess(owner, g_self))
        return false;
    owner = g_self;
    return true;
}

void SharedReleaseTuner(int index)
{
    CrossProcessLock boards;
    Owner& owner = boards->owners[index];
    if (SameProcess(owner, g_self))
        memset(&owner, 0, sizeof owner);
}

void SharedReleaseOwn(void)
{
    if (g_boards == nullptr)
        return;
    for (int i = 0; i < kMaxTuners; ++i)
        SharedReleaseTuner(i);
}

bool SharedTunerHeldElsewhere(int index)
{
    CrossProcessLock boards;
    const Owner& owner = boards->owners[index];
    return Alive(owner) && !SameProcess(owner, g_self);
}

int32_t SharedLnbMode(int board)
{
    CrossProcessLock boards;
    return boards->lnbMode[board];
}

void SharedSetLnbMode(int board, int32_t mode)
{
    CrossProcessLock boards;
    boards->lnbMode[board] = mode;
}

void SharedResetLnb(void)
{
    CrossProcessLock boards;
    memset(boards->lnbMode, 0, sizeof boards->lnbMode);
}
