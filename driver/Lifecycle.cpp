// Construction and destruction of the driver instance: everything the DLL
// does at load and at release, in this order.
#include <stddef.h>
#include <string.h>

#include "driver/DriverCore.h"
#include "sidefiles/ResultCodes.h"

DriverCore::DriverCore(const BoardCalls* board, const OsCalls* os, void* module)
    : m_board(board),
      m_os(os),
      m_lock(nullptr),
      m_closeCount(0),
      m_inside(0),
      m_released(false),
      m_tuneFailed(false),
      m_boardListedNone(false),
      m_module(module),
      m_tuner(-1),
      m_isTerrestrial(true),
      m_isOpen(false),
      m_haveSettingsFile(false),
      m_haveChannelFile(false),
      m_autoMake(true),
      m_ready(false),
      m_uhfSpace(0),
      m_catvSpace(-1),
      m_bsSpace(0),
      m_cs110Space(-1),
      m_deviceCount(0),
      m_deviceNumber(-1),
      m_tunerNumber(-1),
      m_lnbPower(0),
      m_curSpace(kNoChannel),
      m_curChannel(kNoChannel)
{
    m_tunerName[0] = L'\0';
    m_partnerName[0] = L'\0';
    m_modulePath[0] = L'\0';
    m_settingsPath[0] = L'\0';
    m_channelFilePath[0] = L'\0';
}

int32_t DriverCore::Construct(void** instanceLock)
{
    if (*instanceLock == nullptr)
        *instanceLock = m_os->NewMutex(nullptr);
    if (*instanceLock == nullptr)
        return kResultOutOfMemory;
    m_deviceCount = m_board->PtDllGetDevCount();
    if (m_deviceCount == 0)
        return kResultOutOfMemory;
    if (!ParseModuleName())
        return kResultOutOfMemory;
    if (!SelectAndOpenTuner())
        return kResultOutOfMemory;

    // The block was allocated zero-filled, so the stream buffer, the pool and
    // the tables are zero already; only the reader's fields, which share the
    // stream buffer's first bytes, are cleared again for certain.
    memset(&m_lineReader, 0, offsetof(LineReader, buffer));
    SetChannelStoreCapacities(m_bandTable, &m_namePool);
    m_lineReader.chunkSize = kChunkSize;

    LoadSettingsFile();
    LoadChannels();
    ConvertChannelNames();
    if (m_uhfSpace == -1 && m_catvSpace == -1 && m_bsSpace == -1 && m_cs110Space == -1)
        return kResultOutOfMemory;
    if (!m_isTerrestrial && m_lnbPower)
        m_board->PtDllSetLnbPower(m_tuner, 2);
    m_ready = true;
    return kResultOk;
}

DriverCore::Operation::Operation(DriverCore* core, bool serialised)
    : m_core(core), m_refused(false), m_serialised(serialised)
{
    // Counted before the test: Release sets m_released before it reads the
    // count, so either this operation sees it set or Release sees this one
    // inside (both atomics are sequentially consistent).
    m_core->m_inside.fetch_add(1);
    m_refused = m_core->m_released.load();
    if (!m_serialised || m_refused)
        return;
    m_core->m_os->Lock(&m_core->m_lock);
    // Release may have begun while this one waited for the lock, and even
    // have given up waiting for it and closed the tuner: it then makes no
    // board call.
    if (m_core->m_released.load()) {
        m_core->m_os->Unlock(&m_core->m_lock);
        m_refused = true;
    }
}

DriverCore::Operation::~Operation()
{
    if (m_serialised && !m_refused)
        m_core->m_os->Unlock(&m_core->m_lock);
    m_core->m_inside.fetch_sub(1);
}

bool DriverCore::StopOperations()
{
    {
        // Waits for an operation that holds the lock; a wait in progress
        // sees m_released at its next poll.
        Locked locked(this);
        m_released.store(true);
    }
    // By the clock: a sleep of 1 ms lasts a whole timer tick (15.6 ms by
    // default on Windows), so counting sleeps would wait 16 times too long.
    const uint32_t start = m_os->Milliseconds();
    while (m_inside.load() != 0) {
        if (m_os->Milliseconds() - start >= kLeaveLimitMs)
            return false;
        m_os->Sleep(1);
    }
    return true;
}

void DriverCore::Destroy(bool processExit)
{
    if (processExit)
        DestroyUnlocked();
    else {
        Locked locked(this);
        DestroyUnlocked();
    }
}

void DriverCore::DestroyUnlocked()
{
    if (m_ready && m_autoMake) {
        if (!m_haveSettingsFile) {
            CreateDefaultSettingsFile();
            m_haveSettingsFile = true;
        }
        // A terrestrial list the board did not give is not worth keeping.
        if (!m_haveChannelFile && !m_boardListedNone) {
            WriteChannelFile();
            m_haveChannelFile = true;
        }
    }
    ReleaseTuner();
}

// The LNB feeds both satellite tuners of the board: it may go off only when
// the partner tuner is free, which opening it proves. Two copies released at
// the same moment would each find the other still open and both leave it on,
// so the test, the switch-off and the close of this copy's own tuner are one
// step under a mutex of the board's, shared by every process: the second
// copy then finds the first one's tuner closed. The wait is bounded; a copy
// that cannot have the mutex goes on without it.
void DriverCore::ReleaseTuner()
{
    if (m_tuner == -1)
        return;
    void* boardLock = nullptr;
    bool held = false;
    if (!m_isTerrestrial && m_lnbPower) {
        wchar_t name[kNameCapacity];
        FormatBoardLockName(name, m_tunerNumber);
        boardLock = m_os->NewMutex(name);
        held = boardLock != nullptr && m_os->WaitMutex(boardLock, kBoardLockWaitMs);
        int32_t partner = VersionGuardedOpen(m_partnerName);
        if (partner != -1) {
            m_board->PtDllSetLnbPower(m_tuner, 0);
            m_board->PtDllClose(partner);
        }
    }
    m_board->PtDllClose(m_tuner);
    m_tuner = -1;
    if (held)
        m_os->ReleaseMutex(boardLock);
    if (boardLock != nullptr)
        m_os->CloseMutex(boardLock);
}

ChannelSetup DriverCore::Channels()
{
    ChannelSetup setup = {{&m_uhfSpace, &m_catvSpace, &m_bsSpace, &m_cs110Space},
                          m_bandTable,
                          &m_namePool};
    return setup;
}
