// A plug-in loaded the way a host loads it: the DLL, its CreateBonDriver
// export and the interface it hands out. Nothing of the driver's own classes
// is known here.
#pragma once

#include <windows.h>

#include <string>

#include "host/PeHeaders.h"
#include "plugin/IBonDriver.h"

// The board library, which the tuner plug-in imports and no other plug-in.
constexpr char kBoardLibraryFile[] = "EarthPtDll.dll";

// Why `path` names no file to load (there is none, or it is a folder), in
// one line; empty when it names a file.
std::string MissingDriver(const std::wstring& path);

// The headers of the file at `path`, read without loading it (isPe false
// when it cannot be read or is no Windows image).
PeHeaders ReadPeFile(const std::wstring& path);
// Why this process cannot load an image of that machine type, naming the
// zendrel-host that can, with `shown` as the file's name; empty when it can
// (or when the headers tell nothing).
std::string WrongBitness(const PeHeaders& pe, const std::string& shown);

class Driver
{
public:
    Driver() = default;
    ~Driver() { Unload(); }
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // On failure *error holds a one-line reason and nothing stays loaded.
    bool Load(const std::wstring& path, std::string* error);
    // Why the loader refused the DLL (126: an import is missing, 1114: the
    // plug-in refused to load); 0 when it never got that far.
    DWORD LoadError() const { return m_loadError; }
    // The failed load's code for --json: "no_driver" (no such file),
    // "wrong_bitness" (a DLL of the other bitness), "load_failed" (the loader
    // or the plug-in refused it), "not_a_plugin".
    const char* FailureCode() const { return m_failureCode; }
    // Closes the tuner if it was opened, releases the instance, frees the DLL.
    void Unload();

    // Whether the DLL imports the board library, as the tuner plug-in does
    // (known once Load has read its headers).
    bool UsesBoardLibrary() const;

    bool OpenTuner();
    IBonDriver2* operator->() const { return m_driver; }

    // Names as UTF-8; false past the last space or channel.
    bool SpaceName(DWORD space, std::string* name) const;
    bool ChannelName(DWORD space, DWORD channel, std::string* name) const;

private:
    PeHeaders m_headers;
    HMODULE m_module = nullptr;
    IBonDriver2* m_driver = nullptr;
    bool m_tunerOpen = false;
    DWORD m_loadError = 0;
    const char* m_failureCode = "";
};
