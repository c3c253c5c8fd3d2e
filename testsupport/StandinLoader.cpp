#include "testsupport/StandinLoader.h"

#include <wchar.h>

namespace {

HMODULE LoadBesideExe(const wchar_t* relative)
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return nullptr;
    wchar_t* slash = wcsrchr(path, L'\\');
    if (slash == nullptr || (slash + 1 - path) + wcslen(relative) >= MAX_PATH)
        return nullptr;
    wcscpy(slash + 1, relative);
    return LoadLibraryW(path);
}

bool Resolve(HMODULE module, Standin& s)
{
    bool all = true;
#define STANDIN_RESOLVE(name)                                                              \
    s.name = reinterpret_cast<decltype(s.name)>(reinterpret_cast<void*>(GetProcAddress(module, #name))); \
    all = all && s.name != nullptr;
    STANDIN_CALLS(STANDIN_RESOLVE)
#undef STANDIN_RESOLVE
    return all;
}

}  // namespace

const Standin* LoadStandin(void)
{
    static Standin s;
    static const bool loaded = [] {
        HMODULE module = LoadBesideExe(L"standin\\EarthPtDll.dll");
        return module != nullptr && Resolve(module, s);
    }();
    return loaded ? &s : nullptr;
}
