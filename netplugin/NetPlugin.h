// CZendrelNet: the host's view of the network plug-in. It implements the
// host interface and hands every operation to NetCore (net/NetCore.h), which
// it holds inside itself: the whole instance is one heap block.
#pragma once

#include <windows.h>

#include "net/NetCore.h"
#include "plugin/IBonDriver.h"

class CZendrelNet final : public IBonDriver2
{
public:
    CZendrelNet(const NetCalls* calls, void* module) : m_core(calls, module) {}

    NetCore* Core() { return &m_core; }
    // Runs the destructor of an instance whose block is about to be freed.
    static void Unmake(void* block) { static_cast<CZendrelNet*>(block)->~CZendrelNet(); }

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
    ~CZendrelNet() = default;
    CZendrelNet(const CZendrelNet&) = delete;
    CZendrelNet& operator=(const CZendrelNet&) = delete;

    NetCore m_core;
};
