// A host that dies, for the tests of what the plug-in leaves behind then.
//
//   dying_host tune|read PLUGIN   loads PLUGIN, opens and tunes it, starts
//       threads that tune (tune) or loop WaitTsStream and GetTsStream (read,
//       three of them), and ends the process with ExitProcess while they
//       run, without Release.
//   dying_host release PLUGIN SIDEFILE...   loads PLUGIN and releases it,
//       over and over, removing the side files after each release so that
//       the next one writes them again, until it is killed.
//   dying_host release-once PLUGIN   one load and release.
//
// The plug-in's board library is the one beside it.
#include <windows.h>

#include <thread>

#include "tests/dll/Plugin.h"

namespace {

typedef void* (*CreateFn)(void);

HMODULE LoadCopy(const wchar_t* path, Driver* driver)
{
    HMODULE module = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr)
        return nullptr;
    CreateFn create = reinterpret_cast<CreateFn>(GetProcAddress(module, "CreateBonDriver"));
    driver->self = create != nullptr ? create() : nullptr;
    return module;
}

// Runs until the process ends.
void KeepTuning(Driver driver)
{
    for (DWORD channel = 0;; channel ^= 1)
        driver.SetChannel(0, channel);
}

// Reads as a host that drains the board as fast as it can does: a short
// wait, then every byte ready.
void KeepReading(Driver driver)
{
    for (;;) {
        BYTE* data = nullptr;
        DWORD size = 0;
        DWORD remain = 1;
        driver.WaitTsStream(1);
        while (remain != 0 && driver.GetTsStream(&data, &size, &remain))
            ;
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    const std::wstring mode = argv[1];
    Driver driver = {nullptr};
    HMODULE module = LoadCopy(argv[2], &driver);
    if (module == nullptr || driver.self == nullptr)
        return 3;

    if (mode == L"release" || mode == L"release-once") {
        for (;;) {
            driver.Release();
            FreeLibrary(module);
            if (mode == L"release-once")
                return 0;
            for (int i = 3; i < argc; ++i)
                DeleteFileW(argv[i]);
            module = LoadCopy(argv[2], &driver);
            if (module == nullptr || driver.self == nullptr)
                return 3;
        }
    }

    if (!driver.OpenTuner() || !driver.SetChannel(0, 0))
        return 4;
    if (mode == L"tune") {
        std::thread(KeepTuning, driver).detach();
    } else if (mode == L"read") {
        for (int i = 0; i < 3; ++i)
            std::thread(KeepReading, driver).detach();
    } else {
        return 2;
    }
    Sleep(300);
    ExitProcess(0);
}
