// A side file written whole or not at all, for both plug-ins. It is written
// under a temporary name beside it, flushed, and only then moved to its own
// name, so that a host killed at any moment, or a power loss, never leaves a
// cut or empty file where the next load looks; a file written only in part is
// removed.
//
// Copies of a plug-in in one folder, in one process or several, share side
// files, and may write one at the same moment. Each writer therefore has a
// temporary file of its own: the first of kTempSlots names that it can
// create, held open from its creation until it has been moved, so that no
// other writer can write, move or remove it (Remove takes no file that is
// open). What a killed writer left is closed, and the next writer of that
// file removes it. A temporary name is as long as the file's own, so it fits
// wherever that does, and no copy ever reads it:
//   Zendrel-T.SetCh.txt  ->  Zendrel-T.SetCh.~00 ... Zendrel-T.SetCh.~15
//
// The file calls come as a table so that the rules stay free of Windows; each
// plug-in hands its own.
#pragma once

#include <stdint.h>
#include <wchar.h>

#include "sidefiles/ModuleName.h"

const int32_t kTempSlots = 16;

struct FileCalls {
    // Whether any entry of that name exists.
    bool (*Exists)(const wchar_t* path);
    // A new file for writing, which no one else may open while it is open;
    // null when the name exists or on failure.
    void* (*CreateNew)(const wchar_t* path);
    // One write; true only when all size bytes were written.
    bool (*Write)(void* file, const uint8_t* bytes, uint32_t size);
    // True when what was written has reached the disk.
    bool (*Flush)(void* file);
    // False when what was written may not have reached the file.
    bool (*Close)(void* file);
    // Renames, also a file its writer still holds open; never replaces an
    // existing entry.
    bool (*Move)(const wchar_t* from, const wchar_t* to);
    // Renames over an existing file; null where nothing is ever replaced.
    bool (*Replace)(const wchar_t* from, const wchar_t* to);
    // Removes a file that no one holds open.
    bool (*Remove)(const wchar_t* path);
};

struct WholeFile {
    const FileCalls* calls;
    const wchar_t* path;
    wchar_t tempPath[kPathCapacity];
    void* file;
    bool whole;
};

// Removes what killed writers left and opens a temporary file of its own.
// False when none can be made; nothing is written then.
bool BeginWholeFile(WholeFile* file, const FileCalls* calls, const wchar_t* path);
// Appends; context is the WholeFile (the shape of a ByteSink's write).
void WriteWholeFile(void* context, const uint8_t* bytes, uint32_t size);
// Puts it in place, when every byte was written and flushed, before it is
// closed: by Move, which leaves an existing file (one the user made or edited
// meanwhile) as it is, or, with replace, over the old file. Otherwise the
// temporary file is removed. Once flushed and placed it is whole, whatever
// closing it reports.
bool FinishWholeFile(WholeFile* file, bool replace);
