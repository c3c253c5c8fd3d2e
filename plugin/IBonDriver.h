// The host's plug-in interface. The host calls these operations by their slot
// in the virtual table, so the slot order below is a binary contract:
//
//   IBonDriver   0 OpenTuner      1 CloseTuner     2 SetChannel(BYTE)
//                3 GetSignalLevel 4 WaitTsStream   5 GetReadyCount
//                6 GetTsStream(BYTE**, ...)        7 GetTsStream(BYTE*, ...)
//                8 PurgeTsStream  9 Release
//   IBonDriver2 10 GetTunerName  11 IsTunerOpening 12 EnumTuningSpace
//               13 EnumChannelName 14 SetChannel(DWORD, DWORD)
//               15 GetCurSpace   16 GetCurChannel
//
// On x86 every operation is __thiscall (the default for member functions with
// both GCC and MSVC); on x86-64 there is only the x64 calling convention, with
// `this` in RCX. The slot order and the types are the same in both: BOOL and
// DWORD stay 32 bits (BOOL a 1 or 0), pointers and slots take 4 or 8 bytes.
#pragma once

#include <windows.h>

class IBonDriver
{
public:
    virtual BOOL OpenTuner(void) = 0;
    virtual void CloseTuner(void) = 0;
    virtual BOOL SetChannel(const BYTE channel) = 0;
    virtual float GetSignalLevel(void) = 0;
    virtual DWORD WaitTsStream(const DWORD timeoutMs = 0) = 0;
    virtual DWORD GetReadyCount(void) = 0;
    // The two GetTsStream overloads must land in slot 6 (pointer-returning)
    // and slot 7 (copying). GCC lays virtual functions out in declaration
    // order; MSVC gathers the overloads of one name and lays them out in
    // reverse, so it needs them declared the other way round.
#if defined(_MSC_VER)
    virtual BOOL GetTsStream(BYTE* dest, DWORD* size, DWORD* remain) = 0;
    virtual BOOL GetTsStream(BYTE** dest, DWORD* size, DWORD* remain) = 0;
#else
    virtual BOOL GetTsStream(BYTE** dest, DWORD* size, DWORD* remain) = 0;
    virtual BOOL GetTsStream(BYTE* dest, DWORD* size, DWORD* remain) = 0;
#endif
    virtual void PurgeTsStream(void) = 0;
    virtual void Release(void) = 0;
};

class IBonDriver2 : public IBonDriver
{
public:
    virtual LPCWSTR GetTunerName(void) = 0;
    virtual BOOL IsTunerOpening(void) = 0;
    virtual LPCWSTR EnumTuningSpace(const DWORD space) = 0;
    virtual LPCWSTR EnumChannelName(const DWORD space, const DWORD channel) = 0;
    virtual BOOL SetChannel(const DWORD space, const DWORD channel) = 0;
    virtual DWORD GetCurSpace(void) = 0;
    virtual DWORD GetCurChannel(void) = 0;

    using IBonDriver::SetChannel;
};
