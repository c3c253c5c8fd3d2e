// The plug-in as a host sees it: a copy of Zendrel.dll under a chosen name in
// a fresh folder, loaded with LoadLibraryW, the instance from its export, and
// every operation called through its raw slot number with the thiscall
// convention, never through the driver's own headers.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "testsupport/Folder.h"
#include "testsupport/StandinLoader.h"

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

#if defined(_MSC_VER)
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

// One loaded copy of the plug-in.
class Plugin
{
public:
    explicit Plugin(const std::wstring& path) : m_path(path) {}
    ~Plugin() { Unload(); }
    // LoadLibraryW; false when the load fails (the attach refused).
    bool Load();
    // The export, called anew each time.
    void* CreateBonDriver();
    Driver driver() { return Driver{m_driver}; }
    // Release through slot 9, then FreeLibrary.
    void ReleaseAndUnload();
    // FreeLibrary only: the detach notification must release the instance.
    void Unload();
    HMODULE module() const { return m_module; }

private:
    std::wstring m_path;
    HMODULE m_module = nullptr;
    void* m_driver = nullptr;
};

// The stand-in's call log as text, from entry `from` on.
std::vector<std::string> CallLog(const Standin* ept, int from = 0);
// Entries that begin with prefix, in order.
std::vector<std::string> CallsTo(const std::vector<std::string>& log, const std::string& prefix);

// Message boxes shown by anything in this process, counted instead of shown.
struct MessageBoxRecord {
    int count;
    HWND owner;
    std::wstring text;
    bool captionNull;
    UINT type;
};
// Routes MessageBoxW of this process to a counter; call once, before loading.
void InterceptMessageBoxes();
MessageBoxRecord& MessageBoxes();

// Code page 932 bytes of a UTF-16 text, converted by the platform.
std::string ToCp932(const std::wstring& text);
