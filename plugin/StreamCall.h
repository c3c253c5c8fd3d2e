// GetTsStream as both plug-ins hand it to their logic: DWORD and uint32_t are
// distinct types of one size, so the values go through locals of the logic's
// type and back, unchanged where it left them.
#pragma once

#include <windows.h>
#include <stdint.h>

template <typename Core, typename Dest>
BOOL CallGetTsStream(Core& core, Dest dest, DWORD* size, DWORD* remain)
{
    if (size == nullptr)
        return FALSE;
    uint32_t size32 = *size;
    uint32_t remain32 = remain != nullptr ? *remain : 0;
    bool ok = core.GetTsStream(dest, &size32, remain != nullptr ? &remain32 : nullptr);
    *size = size32;
    if (remain != nullptr)
        *remain = remain32;
    return ok ? TRUE : FALSE;
}
