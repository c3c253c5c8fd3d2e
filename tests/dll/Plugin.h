// The plug-in as a host sees it: a copy of Zendrel.dll under a chosen name in
// a fresh folder, loaded with LoadLibraryW, the instance from its export, and
// every operation called through its raw slot number with the thiscall
// convention, never through the driver's own headers.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "testsupport/Folder.h"
#include "testsupport/RawDriver.h"
#include "testsupport/StandinLoader.h"

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
