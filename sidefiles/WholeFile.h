// A side file written whole or not at all, for both plug-ins. It is written
// under a temporary name beside it (its own name and ".tmp", which no copy of
// a plug-in reads), flushed, and only then moved to its own name, so that a
// host killed at any moment, or a power loss, never leaves a cut or empty file
// where the next load looks; a file written only in part is removed. The
// temporary file that a killed host left is removed by the next writer.
//
// The file calls come as a table so that the rules stay free of Windows; each
// plug-in hands its own.
#pragma once

#include <stdint.h>
#include <wchar.h>

#include "sidefiles/ModuleName.h"

struct FileCalls {
    // A new file for writing, not shared; null when the name exists or on failure.
    void* (*CreateNew)(const wchar_t* path);
    // One write; true only when all size bytes were written.
    bool (*Write)(void* file, const uint8_t* bytes, uint32_t size);
    // True when what was written has reached the disk.
    bool (*Flush)(void* file);
    // False when what was written may not have reached the file.
    bool (*Close)(void* file);
    // Renames; never replaces an existing entry.
    bool (*Move)(const wchar_t* from, const wchar_t* to);
    // Renames over an existing file; null where nothing is ever replaced.
    bool (*Replace)(const wchar_t* from, const wchar_t* to);
    bool (*Remove)(const wchar_t* path);
};

struct WholeFile {
    const FileCalls* calls;
    const wchar_t* path;
    wchar_t tempPath[kPathCapacity];
    void* file;
    bool whole;
};

// Opens the temporary file. False when it cannot be made; nothing is written
// then. A path without room for the suffix gets no file rather than a cut name.
bool BeginWholeFile(WholeFile* file, const FileCalls* calls, const wchar_t* path);
// Appends; context is the WholeFile (the shape of a ByteSink's write).
void WriteWholeFile(void* context, const uint8_t* bytes, uint32_t size);
// Closes it and puts it in place, when every byte was written: by Move, which
// leaves an existing file (one the user made or edited meanwhile) as it is, or,
// with replace, over the old file. Otherwise the temporary file is removed.
bool FinishWholeFile(WholeFile* file, bool replace);
