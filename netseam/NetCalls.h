// What the network plug-in asks of the operating system and of HTTP, as one
// table of calls: the only way from its logic (net/) to files, the profile,
// time, locks, events, threads, memory and the servers. netwin32/ fills it
// with Windows and WinHTTP; the native tests fill it with a fake whose calls
// can be made to fail and whose servers are scripted. Paths and texts for
// Windows are NUL-terminated UTF-16.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#include "sidefiles/WholeFile.h"

// A thread's work. The record must stay where it is while the thread may
// start; the thread does not touch it once run has returned.
struct ThreadEntry {
    void (*run)(void* context);
    void* context;
};

struct NetCalls {
    // Writing side files whole (sidefiles/WholeFile.h); Replace is filled.
    FileCalls files;
    // An existing file for reading, which others may read meanwhile.
    void* (*OpenRead)(const wchar_t* path);
    // Up to size bytes; the count read, 0 at the end and on failure.
    int32_t (*Read)(void* file, uint8_t* dest, int32_t size);
    bool (*Exists)(const wchar_t* path);

    // The full path of the module: the characters stored (cut to capacity - 1
    // and terminated), 0 on failure.
    uint32_t (*ModuleFileName)(void* module, wchar_t* path, uint32_t capacity);
    // The long form of a path: its length when it fit in capacity, the
    // capacity it needs when it did not, 0 on failure.
    uint32_t (*LongPathName)(const wchar_t* path, wchar_t* longPath, uint32_t capacity);
    // [section] key= of a profile file: the integer at the start of the
    // value, or defaultValue when the file, section or key is missing.
    uint32_t (*ProfileInt)(const wchar_t* section, const wchar_t* key, int32_t defaultValue, const wchar_t* path);
    // The value as text (cut to capacity - 1, terminated): its length; an
    // empty text when the file, section or key is missing.
    uint32_t (*ProfileText)(const wchar_t* section, const wchar_t* key, wchar_t* value, uint32_t capacity,
                            const wchar_t* path);

    // A millisecond clock that wraps after 2^32 ms.
    uint32_t (*Milliseconds)(void);
    void (*Sleep)(uint32_t milliseconds);

    // A lock whose whole state is the one pointer it is given: zero is
    // unlocked. Not re-entrant.
    void (*Lock)(void** storage);
    void (*Unlock)(void** storage);
    // An event that stays set until reset; null when none can be made.
    void* (*NewEvent)(void);
    void (*SetEvent)(void* event);
    void (*ResetEvent)(void* event);
    // True when it was set within milliseconds (0xFFFFFFFF: no limit).
    bool (*WaitEvent)(void* event, uint32_t milliseconds);
    void (*CloseEvent)(void* event);
    // Runs entry->run(entry->context) on a thread of its own, which holds
    // the DLL loaded until run returns, whatever the host unloads meanwhile.
    // False when no thread could be started (run is then not called).
    bool (*StartThread)(const ThreadEntry* entry);

    // A zero-filled block; null when there is no memory.
    void* (*AllocZeroed)(uint32_t size);
    void (*Free)(void* block);

    // HTTP. A session for the instance's requests, null on failure.
    void* (*HttpSession)(void);
    // A connection's handle to host:port (nothing is sent yet), null on failure.
    void* (*HttpConnect)(void* session, const wchar_t* host, uint16_t port);
    // GET path on the connection, within answerMs from the start to the
    // response's headers, the connection itself within connectMs; each later
    // read waits at most receiveMs. Returns the request with *status set to
    // the answer's status, or null with *status 0 when no answer came (refused,
    // unreachable, timed out, reset). The request is closed by the caller.
    void* (*HttpGet)(void* connection, const wchar_t* path, uint32_t connectMs, uint32_t answerMs,
                     uint32_t receiveMs, int32_t* status);
    // A response header's value as its bytes (cut to capacity - 1,
    // terminated): its length, 0 when there is none.
    uint32_t (*HttpHeader)(void* request, const wchar_t* name, char* value, uint32_t capacity);
    // Up to capacity bytes of the body, as soon as any are there: the count,
    // 0 at the end (the body's end, or the server closed the connection), -1
    // on an error (a reset, or nothing for receiveMs). After 0 or -1 the
    // request is never read again, only closed.
    int32_t (*HttpRead)(void* request, uint8_t* dest, uint32_t capacity);
    // Closes a session, connection or request. A read in progress on another
    // thread may go on until its own timeout.
    void (*HttpClose)(void* handle);
};
