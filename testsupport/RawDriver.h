// A plug-in's instance as a host sees it: every operation called through its
// raw slot number in the instance's table, in the calling convention of the
// build's bitness, never through a plug-in's own headers, as the tests of
// both plug-ins' DLLs call them.
#pragma once

#include <windows.h>

enum Slot {
    kSlotOpenTuner = 0,
    kSlotCloseTuner = 1,
    kSlotSetChannelByte = 2,
    kSlotGetSignalLevel = 3,
    kSlotWaitTsStream = 4,
    kSlotGetReadyCount = 5,
    kSlotGetTsStreamPointer = 6,
    kSlotGetTsStreamCopy = 7,
    kSlotPurgeTsStream = 8,
    kSlotRelease = 9,
    kSlotGetTunerName = 10,
    kSlotIsTunerOpening = 11,
    kSlotEnumTuningSpace = 12,
    kSlotEnumChannelName = 13,
    kSlotSetChannel = 14,
    kSlotGetCurSpace = 15,
    kSlotGetCurChannel = 16,
};

// On x86 the operations are __thiscall; on x86-64 there is one convention,
// with the instance as the first argument.
#if !defined(_M_IX86) && !defined(__i386__)
#define ZENDREL_THISCALL
#elif defined(_MSC_VER)
#define ZENDREL_THISCALL __thiscall
#else
#define ZENDREL_THISCALL __attribute__((thiscall))
#endif

template <typename R, typename... A>
R CallSlot(void* driver, int slot, A... args)
{
    typedef R(ZENDREL_THISCALL * Fn)(void*, A...);
    Fn fn = (*static_cast<Fn**>(driver))[slot];
    return fn(driver, args...);
}

// The instance, operation by operation, each one a call of its slot.
struct Driver {
    void* self;

    BOOL OpenTuner() { return CallSlot<BOOL>(self, kSlotOpenTuner); }
    void CloseTuner() { CallSlot<void>(self, kSlotCloseTuner); }
    BOOL SetChannel(BYTE channel) { return CallSlot<BOOL>(self, kSlotSetChannelByte, channel); }
    float GetSignalLevel() { return CallSlot<float>(self, kSlotGetSignalLevel); }
    DWORD WaitTsStream(DWORD timeoutMs) { return CallSlot<DWORD>(self, kSlotWaitTsStream, timeoutMs); }
    DWORD GetReadyCount() { return CallSlot<DWORD>(self, kSlotGetReadyCount); }
    BOOL GetTsStream(BYTE** dest, DWORD* size, DWORD* remain)
    {
        return CallSlot<BOOL>(self, kSlotGetTsStreamPointer, dest, size, remain);
    }
    BOOL GetTsStream(BYTE* dest, DWORD* size, DWORD* remain)
    {
        return CallSlot<BOOL>(self, kSlotGetTsStreamCopy, dest, size, remain);
    }
    void PurgeTsStream() { CallSlot<void>(self, kSlotPurgeTsStream); }
    void Release() { CallSlot<void>(self, kSlotRelease); }
    LPCWSTR GetTunerName() { return CallSlot<LPCWSTR>(self, kSlotGetTunerName); }
    BOOL IsTunerOpening() { return CallSlot<BOOL>(self, kSlotIsTunerOpening); }
    LPCWSTR EnumTuningSpace(DWORD space) { return CallSlot<LPCWSTR>(self, kSlotEnumTuningSpace, space); }
    LPCWSTR EnumChannelName(DWORD space, DWORD channel)
    {
        return CallSlot<LPCWSTR>(self, kSlotEnumChannelName, space, channel);
    }
    BOOL SetChannel(DWORD space, DWORD channel) { return CallSlot<BOOL>(self, kSlotSetChannel, space, channel); }
    DWORD GetCurSpace() { return CallSlot<DWORD>(self, kSlotGetCurSpace); }
    DWORD GetCurChannel() { return CallSlot<DWORD>(self, kSlotGetCurChannel); }
};
