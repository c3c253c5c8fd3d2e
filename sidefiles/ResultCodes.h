// Result codes in the Windows HRESULT form, spelled out here so that the rules
// need no Windows header.
#pragma once

#include <stdint.h>

const int32_t kResultOk = 0;
// E_OUTOFMEMORY: the single code of every failed construction.
const int32_t kResultOutOfMemory = static_cast<int32_t>(0x8007000Eu);
// HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER): the text was cut to fit.
const int32_t kResultInsufficientBuffer = static_cast<int32_t>(0x8007007Au);
// E_INVALIDARG: a capacity of 0 or above 2,147,483,647.
const int32_t kResultInvalidArgument = static_cast<int32_t>(0x80070057u);

// Largest capacity, in characters, that a bounded string operation accepts.
const uint32_t kMaxBoundedCapacity = 2147483647u;
