#include "host/BoardWatch.h"

#include <windows.h>

BoardWatch::BoardWatch()
{
    // No reference of its own: the library goes when the plug-in does.
    HMODULE library = GetModuleHandleW(L"EarthPtDll.dll");
    if (library != nullptr)
        m_count = reinterpret_cast<decltype(&PtDllGetDevCount)>(
            reinterpret_cast<void*>(GetProcAddress(library, "PtDllGetDevCount")));
}
