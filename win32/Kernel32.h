// The Windows calls that both plug-ins' tables are filled with (seam/
// OsCalls.h, netseam/NetCalls.h): files, the module's name, the profile, the
// slim lock, memory. Each does only what its entry in the tables says.
// Kernel32 only, so that either DLL may link them.
#pragma once

#include <stdint.h>
#include <wchar.h>

namespace kernel32 {

bool Exists(const wchar_t* path);
bool Move(const wchar_t* from, const wchar_t* to);
bool Replace(const wchar_t* from, const wchar_t* to);
void* OpenRead(const wchar_t* path);
int32_t Read(void* file, uint8_t* dest, int32_t size);
void* CreateNew(const wchar_t* path);
bool Write(void* file, const uint8_t* bytes, uint32_t size);
bool Flush(void* file);
bool Close(void* file);
bool Remove(const wchar_t* path);
uint32_t ModuleFileName(void* module, wchar_t* path, uint32_t capacity);
uint32_t LongPathName(const wchar_t* path, wchar_t* longPath, uint32_t capacity);
uint32_t ProfileInt(const wchar_t* section, const wchar_t* key, int32_t defaultValue, const wchar_t* path);
void Lock(void** storage);
void Unlock(void** storage);
void* AllocZeroed(uint32_t size);
void Free(void* block);

}  // namespace kernel32
