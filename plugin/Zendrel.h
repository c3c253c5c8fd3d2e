// CZendrel: the host's view of the driver. It implements the host interface
// and hands every operation to the driver (driver/DriverCore.h), which it
// holds inside itself: the whole instance is one heap block.
#pragma once

#include <windows.h>

#include "driver/DriverCore.h"
#include "plugin/IBonDriver.h"

class CZendrel final : public IBonDriver2
{
public:
    CZendrel(const BoardCalls* board, const OsCalls* os, void* module) : m_core(board, os, module) {}

    DriverCore* Core() { return &m_core; }
    // Runs the destructor of an instance whose block is about to be freed.
    static void Unmake(void* object) { static_cast<CZendrel*>(object)->~CZendrel(); }

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
    ~CZendrel() = default;
    CZendrel(const CZendrel&) = delete;
    CZendrel& operator=(const CZendrel&) = delete;

    DriverCore m_core;
};
