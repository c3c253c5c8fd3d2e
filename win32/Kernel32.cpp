#include <windows.h>

#include "win32/Kernel32.h"

namespace {

HANDLE FileHandle(void* file)
{
    return static_cast<HANDLE>(file);
}

void* FileOrNull(HANDLE handle)
{
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

}  // namespace

namespace kernel32 {

bool Exists(const wchar_t* path)
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

bool Move(const wchar_t* from, const wchar_t* to)
{
    return MoveFileW(from, to) != FALSE;
}

bool Replace(const wchar_t* from, const wchar_t* to)
{
    return MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

void* OpenRead(const wchar_t* path)
{
    return FileOrNull(
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

int32_t Read(void* file, uint8_t* dest, int32_t size)
{
    DWORD got = 0;
    if (size <= 0 || !ReadFile(FileHandle(file), dest, static_cast<DWORD>(size), &got, nullptr))
        return 0;
    return static_cast<int32_t>(got);
}

// Shared for deleting only, which is what lets MoveFileW rename it while it
// is open; nothing else can open it, and Remove below cannot take it.
void* CreateNew(const wchar_t* path)
{
    return FileOrNull(
        CreateFileW(path, GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool Write(void* file, const uint8_t* bytes, uint32_t size)
{
    DWORD written = 0;
    return WriteFile(FileHandle(file), bytes, size, &written, nullptr) && written == size;
}

bool Flush(void* file)
{
    return FlushFileBuffers(FileHandle(file)) != FALSE;
}

bool Close(void* file)
{
    return CloseHandle(FileHandle(file)) != FALSE;
}

// Opened for deleting and shared with no one, which fails while anyone
// holds the file open (DeleteFileW would take a file opened by CreateNew);
// the file goes when this handle closes.
bool Remove(const wchar_t* path)
{
    HANDLE file = CreateFileW(path, DELETE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    return CloseHandle(file) != FALSE;
}

uint32_t ModuleFileName(void* module, wchar_t* path, uint32_t capacity)
{
    return GetModuleFileNameW(static_cast<HMODULE>(module), path, capacity);
}

uint32_t LongPathName(const wchar_t* path, wchar_t* longPath, uint32_t capacity)
{
    return GetLongPathNameW(path, longPath, capacity);
}

uint32_t ProfileInt(const wchar_t* section, const wchar_t* key, int32_t defaultValue, const wchar_t* path)
{
    return GetPrivateProfileIntW(section, key, defaultValue, path);
}

// A slim reader/writer lock is one pointer, zero when free: it needs no
// creation, no closing and no kernel object.
void Lock(void** storage)
{
    AcquireSRWLockExclusive(reinterpret_cast<PSRWLOCK>(storage));
}

void Unlock(void** storage)
{
    ReleaseSRWLockExclusive(reinterpret_cast<PSRWLOCK>(storage));
}

void* AllocZeroed(uint32_t size)
{
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
}

void Free(void* block)
{
    HeapFree(GetProcessHeap(), 0, block);
}

}  // namespace kernel32
