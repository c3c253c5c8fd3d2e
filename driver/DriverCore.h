// The driver: everything one loaded copy of the DLL does for its host, as
// plain C++ that reaches the board library and the operating system only
// through the two call tables of seam/. plugin/ hands it to the host behind
// the host's interface; the native tests drive it with a fake board and a
// fake OS.
//
// All of its state lives in one zero-filled block allocated at load (see
// driver/Instance.h); nothing else is allocated while it lives.
//
// Hosts in daily use read the stream on one thread while they tune, list and
// close on another. The stream and tuning operations therefore run under the
// instance's own lock, so that none sees another half done: a tune holds it
// across its settle time, so a read waits for the tune instead of restarting
// the stream it stopped; WaitTsStream takes it only around each poll, never
// across its sleeps, and gives up within one poll once CloseTuner or Release
// has run. What only reads what construction built, or the last tune's
// result, takes no lock and never waits for a tune.
//
// Every operation is counted while it runs, so that Release can wait for
// those of other threads to leave before the instance goes.
#pragma once

#include <stdint.h>

#include <atomic>

#include "board/TunerNames.h"
#include "seam/BoardCalls.h"
#include "seam/OsCalls.h"
#include "sidefiles/ChannelStore.h"
#include "sidefiles/LineReader.h"
#include "sidefiles/ModuleName.h"

const uint32_t kStreamBufferSize = 1540096;
const int32_t kNameCapacity = kTunerNameCapacity;
// What WaitTsStream reports for a stopped stream of a tuner that is not open,
// and when there is no tuner at all.
const uint32_t kWaitStreamStopped = 128;
const uint32_t kWaitNoTuner = 0xFFFFFFFF;
// What GetCurSpace and GetCurChannel report before the first tune: no real
// space or channel index.
const uint32_t kNoChannel = 0xFFFFFFFF;
// How long Release waits for the operations of other threads to leave,
// measured by the clock. A wait leaves within one poll and a tune within its
// settle time, unless the board hangs in a call.
const uint32_t kLeaveLimitMs = 2000;
// How long a release waits for another copy's release on the same board to
// finish its LNB step (a few board calls) before it goes on without it.
const uint32_t kBoardLockWaitMs = 1000;

class DriverCore
{
public:
    // The constructor values of every field; no call is made. The stream
    // buffer, the name pool and the tables are left as they are: the block
    // they live in was allocated zero-filled.
    DriverCore(const BoardCalls* board, const OsCalls* os, void* module);

    // The set-up at load: board count, file name, tuner, side files, channel
    // tables, LNB. instanceLock is the DLL's instance lock, created here when
    // it does not exist yet. kResultOk, or kResultOutOfMemory when any step
    // failed; the instance must then be destroyed at once, since it may hold
    // an open tuner.
    int32_t Construct(void** instanceLock);
    // The first step of a release: operations that begin from now on are
    // refused, a WaitTsStream in progress returns, and those still running
    // on other threads are waited for, up to kLeaveLimitMs. False when one
    // is still inside: the instance's memory must then stay where it is.
    bool StopOperations();
    // At release: the missing side files, the LNB, the tuner. Normally it
    // waits for an operation that holds the instance's lock; at process exit
    // (processExit) it does not, since the system has ended every other
    // thread wherever it was, and a lock one of them held stays held. What
    // one call has done, another does not do again, so that the exit can
    // finish a release that an ended thread left half done.
    void Destroy(bool processExit);

    // The host's operations.
    bool OpenTuner();
    void CloseTuner();
    float GetSignalLevel();
    uint32_t WaitTsStream(uint32_t timeoutMs);
    uint32_t GetReadyCount();
    // The pointer form: the bytes stay in the instance's buffer until the
    // next call of this form.
    bool GetTsStream(uint8_t** dest, uint32_t* size, uint32_t* remain);
    bool GetTsStream(uint8_t* dest, uint32_t* size, uint32_t* remain);
    void PurgeTsStream();
    const wchar_t* GetTunerName() const { return m_tunerName; }
    const wchar_t* EnumTuningSpace(uint32_t space);
    // Each channel's name has its own buffer, filled at load, so that a
    // returned name stays valid while the instance lives, whatever other
    // threads ask meanwhile.
    const wchar_t* EnumChannelName(uint32_t space, uint32_t channel);
    bool SetChannel(uint32_t space, uint32_t channel);
    uint32_t GetCurSpace();
    uint32_t GetCurChannel();

private:
    DriverCore(const DriverCore&) = delete;
    DriverCore& operator=(const DriverCore&) = delete;

    // Holds the instance's lock for its lifetime.
    class Locked
    {
    public:
        explicit Locked(DriverCore* core) : m_core(core) { m_core->m_os->Lock(&m_core->m_lock); }
        ~Locked() { m_core->m_os->Unlock(&m_core->m_lock); }
        Locked(const Locked&) = delete;
        Locked& operator=(const Locked&) = delete;

    private:
        DriverCore* m_core;
    };

    // One host operation while it runs: counted in m_inside, and refused
    // once Release has begun. A serialised one also holds the lock.
    class Operation
    {
    public:
        Operation(DriverCore* core, bool serialised);
        ~Operation();
        bool Refused() const { return m_refused; }
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;

    private:
        DriverCore* m_core;
        bool m_refused;
        bool m_serialised;
    };

    // File name, kind and side-file paths.
    bool ParseModuleName();
    // Tuner selection and open.
    bool SelectAndOpenTuner();
    int32_t VersionGuardedOpen(const wchar_t* tunerName);
    // Side files.
    void LoadSettingsFile();
    void CreateDefaultSettingsFile();
    void LoadChannels();
    void BuildChannelsFromTuner();
    void WriteChannelFile();
    // Every channel's name converted once for the host.
    void ConvertChannelNames();
    void DestroyUnlocked();
    // The LNB off when the partner tuner is free, and this copy's tuner
    // closed, as one step among the copies of the board in every process.
    void ReleaseTuner();
    ChannelSetup Channels();

    // The stream, with the lock held.
    bool StreamRunning();
    uint32_t ReadyCount();
    bool CopyStream(uint8_t* dest, uint32_t* size, uint32_t* remain);
    // One poll of WaitTsStream: true when it is to return *ready, which is
    // 0 when CloseTuner has run since the wait began.
    bool PollReady(uint32_t closesBefore, uint32_t* ready);

    const BoardCalls* m_board;
    const OsCalls* m_os;
    void* m_lock;  // the instance's lock, zero = unlocked
    // Counts CloseTuner calls, so that a wait on another thread notices one.
    uint32_t m_closeCount;
    // Operations running now, and whether Release has begun; see Operation.
    std::atomic<int32_t> m_inside;
    std::atomic<bool> m_released;
    // A tune that failed after stopping the stream left the tuner on some
    // carrier with no transport stream chosen: nothing is read, and the
    // stream is not started, until a tune succeeds.
    bool m_tuneFailed;
    // The board listed no channel at load (its count call failed, or it was
    // still waking): a channel file written from that would list nothing
    // for good, so none is written and the next load asks the board again.
    bool m_boardListedNone;

    void* m_module;
    int32_t m_tuner;  // -1 = none
    bool m_isTerrestrial;
    bool m_isOpen;
    bool m_haveSettingsFile;
    bool m_haveChannelFile;
    bool m_autoMake;
    bool m_ready;
    int32_t m_uhfSpace;
    int32_t m_catvSpace;
    int32_t m_bsSpace;
    int32_t m_cs110Space;
    int32_t m_deviceCount;
    int32_t m_deviceNumber;  // tuner digit of the file name; -1 = none
    int32_t m_tunerNumber;   // the open tuner's number (board/TunerNames.h); -1 = none
    int32_t m_lnbPower;
    // Read without the lock: a host asks them on any thread.
    std::atomic<uint32_t> m_curSpace;
    std::atomic<uint32_t> m_curChannel;
    wchar_t m_tunerName[kNameCapacity];
    wchar_t m_partnerName[kNameCapacity];
    // By table and entry, as EnumChannelName hands them out.
    wchar_t m_channelNameW[2][kTableCapacity][kNameCapacity];
    wchar_t m_modulePath[kPathCapacity];
    wchar_t m_settingsPath[kPathCapacity];
    wchar_t m_channelFilePath[kPathCapacity];
    // The stream buffer is idle while construction reads the channel file,
    // so the file reader borrows its storage.
    union {
        uint8_t m_streamBuffer[kStreamBufferSize];
        LineReader m_lineReader;
    };
    NamePool m_namePool;
    ChannelTable m_bandTable[2];
};
