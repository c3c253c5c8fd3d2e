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
// close on another. Every host operation therefore runs under the instance's
// own lock, so that none sees another half done: a tune holds it across its
// settle time, so a read waits for the tune instead of restarting the stream
// it stopped; WaitTsStream takes it only around each poll, never across its
// sleeps, and gives up within one poll once CloseTuner has run.
#pragma once

#include <stdint.h>

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
    // At release: the missing side files, the LNB, the tuner. A host
    // operation running on another thread finishes first.
    void Destroy();

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
    // The name stays in one buffer, overwritten by the next call.
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
    int32_t m_lnbPower;
    uint32_t m_curSpace;
    uint32_t m_curChannel;
    wchar_t m_tunerName[kNameCapacity];
    wchar_t m_partnerName[kNameCapacity];
    wchar_t m_channelNameW[kNameCapacity];
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
