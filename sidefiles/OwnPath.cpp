#include "sidefiles/OwnPath.h"

#include "sidefiles/Bounded.h"

bool ReadOwnPath(void* module, wchar_t (&path)[kPathCapacity], const OwnPathCalls& calls)
{
    uint32_t length = calls.ModuleFileName(module, path, kPathCapacity);
    path[kPathCapacity - 1] = L'\0';
    if (length == 0 || length >= static_cast<uint32_t>(kPathCapacity)) {
        path[0] = L'\0';
        return false;
    }
    const wchar_t* name = path;
    for (const wchar_t* c = path; *c != L'\0'; ++c)
        if (*c == L'\\')
            name = c + 1;
    bool shortName = false;
    for (const wchar_t* c = name; *c != L'\0'; ++c)
        shortName = shortName || *c == L'~';
    if (shortName) {
        wchar_t longPath[kPathCapacity];
        uint32_t longLength = calls.LongPathName(path, longPath, kPathCapacity);
        longPath[kPathCapacity - 1] = L'\0';
        if (longLength > 0 && longLength < static_cast<uint32_t>(kPathCapacity))
            CopyBounded(path, kPathCapacity, longPath);
    }
    return true;
}
