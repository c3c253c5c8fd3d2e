// CZendrel: the one driver instance of a loaded copy of the DLL. It owns all
// state (tuner handle, paths, channel tables, name pool, stream buffer) in one
// heap block allocated at load; nothing else is allocated while it lives.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "plugin/IBonDriver.h"
#include "sidefiles/ChannelStore.h"
#include "sidefiles/LineReader.h"
#include "sidefiles/ModuleName.h"

const DWORD kStreamBufferSize = 1540096;
const int32_t kNameCapacity = 32;

class CZendrel final : public IBonDriver2
{
public:
    // Runs the whole set-up: board count, file name, tuner, side files,
    // channel tables. *result is 0, or 0x8007000E when any step failed; the
    // instance must then be released at once (it may hold an open tuner).
    CZendrel(HMODULE module, HRESULT* result);

    // IBonDriver
    BOOL OpenTuner(void) override;
    void CloseTuner(void) override;
    BOOL SetChannel(const BYTE channel) override;
    float GetSignalLevel(void) override;
    DWORD WaitTsStream(const DWORD timeoutMs = 0) override;
    DWORD GetReadyCount(void) override;
    BOOL GetTsStream(BYTE** dest, DWORD* size, DWORD* remain) override;
    BOOL GetTsStream(BYTE* dest, DWORD* size, DWORD* remain) override;
    void PurgeTsStream(void) override;
    void Release(void) override;

    // IBonDriver2
    LPCWSTR GetTunerName(void) override;
    BOOL IsTunerOpening(void) override;
    LPCWSTR EnumTuningSpace(const DWORD space) override;
    LPCWSTR EnumChannelName(const DWORD space, const DWORD channel) override;
    BOOL SetChannel(const DWORD space, const DWORD channel) override;
    DWORD GetCurSpace(void) override;
    DWORD GetCurChannel(void) override;

private:
    // Only Release destroys the instance.
    ~CZendrel();
    CZendrel(const CZendrel&) = delete;
    CZendrel& operator=(const CZendrel&) = delete;

    HRESULT Construct();

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

    HMODULE m_module;
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
    DWORD m_curSpace;
    DWORD m_curChannel;
    wchar_t m_tunerName[kNameCapacity];
    wchar_t m_partnerName[kNameCapacity];
    wchar_t m_channelNameW[kNameCapacity];
    wchar_t m_modulePath[kPathCapacity];
    wchar_t m_settingsPath[kPathCapacity];
    wchar_t m_channelFilePath[kPathCapacity];
    // The stream buffer is idle while construction reads the channel file,
    // so the file reader borrows its storage.
    union {
        BYTE m_streamBuffer[kStreamBufferSize];
        LineReader m_lineReader;
    };
    NamePool m_namePool;
    ChannelTable m_bandTable[2];
};

// Creates the instance lock, which Release holds while it destroys the
// instance, unless it exists already. False when it cannot be created.
bool EnsureInstanceLock();
