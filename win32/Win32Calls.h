// The two call tables of seam/ as the DLL fills them: the board library's
// imports and the Windows calls. Only this folder and plugin/ include
// windows.h.
#pragma once

#include "seam/BoardCalls.h"
#include "seam/OsCalls.h"

extern const BoardCalls g_boardImports;
extern const OsCalls g_win32Os;
