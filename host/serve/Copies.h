// Which files of a plug-in folder serve takes as tuners: the copies of the
// plug-in whose file names carry a kind letter by the plug-in's own naming
// rules (Zendrel-S.dll, Zendrel-S1.dll, Zendrel-T.dll, ...). A name without a
// kind letter is no tuner here, so that the board library and other DLLs in
// the folder are never loaded. No Windows header here.
#pragma once

#include <string>
#include <vector>

#include "host/serve/TunerPool.h"

// folder: the folder's full path; names: the file names in it. Copies come
// out in name order. The copies of one kind must share a channel file, or a
// channel's number would mean one channel on one tuner and another on the
// next: a copy named after another stem than most copies of its kind is left
// out, with a line in *skipped saying so.
std::vector<CopyInfo> FindCopies(const std::wstring& folder, std::vector<std::wstring> names,
                                 std::vector<std::string>* skipped);
