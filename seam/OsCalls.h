// What the driver asks of the operating system, as one table of calls: the
// only way from the driver's logic to files, time, text conversion, the
// message box, locks and memory. win32/Win32Os.cpp fills it with Windows
// calls; the native tests fill it with a fake whose calls can be made to fail
// one by one. Paths and texts are NUL-terminated UTF-16; a file is an opaque
// pointer, null when it could not be opened or created.
#pragma once

#include <stdint.h>
#include <wchar.h>

const uint32_t kWaitForever = 0xFFFFFFFF;

struct OsCalls {
    // The full path of the module: the characters stored (cut to capacity - 1
    // and terminated), 0 on failure.
    uint32_t (*ModuleFileName)(void* module, wchar_t* path, uint32_t capacity);
    // The long form of a path: its length when it fit in capacity (including
    // the terminator), the capacity it needs when it did not, 0 on failure.
    uint32_t (*LongPathName)(const wchar_t* path, wchar_t* longPath, uint32_t capacity);
    // Whether any entry of that name exists, a folder too.
    bool (*Exists)(const wchar_t* path);
    // Renames; never replaces an existing entry. A file made by CreateNew
    // may be moved while its writer still holds it open.
    bool (*Move)(const wchar_t* from, const wchar_t* to);
    // The integer at the start of key's value in [section] of a profile file,
    // or defaultValue when the file, section or key is missing.
    uint32_t (*ProfileInt)(const wchar_t* section, const wchar_t* key, int32_t defaultValue, const wchar_t* path);

    // An existing file for reading, which others may read meanwhile.
    void* (*OpenRead)(const wchar_t* path);
    // Up to size bytes; the count read, 0 at the end and on failure.
    int32_t (*Read)(void* file, uint8_t* dest, int32_t size);
    // A new file for writing, which no one else may open while it is open;
    // fails when the name exists.
    void* (*CreateNew)(const wchar_t* path);
    // One write; true only when all size bytes were written.
    bool (*Write)(void* file, const uint8_t* bytes, uint32_t size);
    // True when what was written has reached the disk.
    bool (*Flush)(void* file);
    // False when what was written may not have reached the file.
    bool (*Close)(void* file);
    // Removes a file that no one holds open; false when it is missing or in
    // use, so that a file another writer is still writing is never removed.
    bool (*Remove)(const wchar_t* path);

    void (*Sleep)(uint32_t milliseconds);
    // A millisecond clock that wraps after 2^32 ms.
    uint32_t (*Milliseconds)(void);
    // A box with the text, no owner window, the system's default caption and
    // an OK button.
    void (*ShowMessage)(const wchar_t* text);
    // Text in the system's ANSI code page to UTF-16, terminator included:
    // the characters stored, 0 on failure (also when capacity is too small).
    int32_t (*AnsiToWide)(const char* text, wchar_t* dest, int32_t capacity);

    // A mutex that a thread may hold more than once: without a name, the
    // instance lock; with one, shared by every process that names it.
    void* (*NewMutex)(const wchar_t* name);
    // True once the mutex is held, also when its last holder ended without
    // giving it back; false when timeoutMs passed first (kWaitForever: never).
    bool (*WaitMutex)(void* mutex, uint32_t timeoutMs);
    void (*ReleaseMutex)(void* mutex);
    void (*CloseMutex)(void* mutex);
    // A lock whose whole state is the one pointer of storage it is given:
    // zero is unlocked, so a zeroed instance holds a ready lock. Not
    // re-entrant.
    void (*Lock)(void** storage);
    void (*Unlock)(void** storage);

    // A zero-filled block; null when there is no memory.
    void* (*AllocZeroed)(uint32_t size);
    void (*Free)(void* block);
};
