// The network plug-in as a host sees it: a copy of Zendrel-Net.dll under a
// chosen name in a fresh folder with its settings file, loaded with
// LoadLibraryW, the instance from its export, and every operation called
// through its raw slot (testsupport/RawDriver.h).
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testsupport/Folder.h"
#include "testsupport/RawDriver.h"

// One channel of serve's /api/channels.
std::string ChannelsJson(const std::vector<std::string>& names);
// Whole packets, the byte after each sync byte counting up from first.
std::string Packets(int count, int first = 0);
double MsSince(LARGE_INTEGER start);
LARGE_INTEGER Now();
// GET of a text on 127.0.0.1:port, as a browser would ask; "" on failure.
std::string GetText(uint16_t port, const std::string& path);

const char kTimeouts[] = "StallMs=1000\r\nTuneMs=3000\r\n";
// A settings file naming the servers, with short timeouts.
std::string SettingsText(const std::vector<std::string>& servers, const std::string& timeouts = kTimeouts);

// A host with one copy of the plug-in.
class NetHost
{
public:
    // The copy is named name in folder, its settings naming the servers; a
    // copy of that name already there is loaded as it is, with its settings.
    NetHost(const Folder& folder, const std::wstring& name, const std::vector<std::string>& servers,
            const std::string& timeouts = kTimeouts);
    ~NetHost();
    bool Load();
    Driver driver() { return Driver{m_driver}; }
    void* instance() const { return m_driver; }
    // Release through its slot, then FreeLibrary.
    void ReleaseAndUnload();
    // Whether the DLL is still loaded in the process (held by a thread of its own).
    bool StillLoaded() const;
    // Reads until count bytes came or limitMs passed.
    std::string Read(size_t count, uint32_t limitMs);
    const std::wstring& path() const { return m_path; }

private:
    std::wstring m_path;
    HMODULE m_module = nullptr;
    void* m_driver = nullptr;
};
