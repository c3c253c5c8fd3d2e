// The DLL's own full path, after which both plug-ins name their side files.
// No C runtime here: the network plug-in links none.
#pragma once

#include <stdint.h>
#include <wchar.h>

#include "sidefiles/ModuleName.h"

struct OwnPathCalls {
    // The module's full path: the characters stored (cut to capacity - 1 and
    // terminated), 0 on failure.
    uint32_t (*ModuleFileName)(void* module, wchar_t* path, uint32_t capacity);
    // The long form of a path: its length when it fit in capacity (including
    // the terminator), the capacity it needs when it did not, 0 on failure.
    uint32_t (*LongPathName)(const wchar_t* path, wchar_t* longPath, uint32_t capacity);
};

// The path of `module` into path. False, with path empty, when it cannot be
// had or had to be cut: a cut path would name some other DLL's side files.
// Loaded by its 8.3 short name (ZEND~XDB.DLL for Zendrel-S.dll), a DLL would
// lose the name its side files follow, so the long form is taken whenever
// there is one that fits. Generated short names carry a "~"; a file name
// without one is asked about no further, since the lookup searches the disk.
bool ReadOwnPath(void* module, wchar_t (&path)[kPathCapacity], const OwnPathCalls& calls);
