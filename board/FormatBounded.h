// Bounded formatted print of wide text into a fixed character field.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

// printf-style formatting (the standard library's vswprintf) into dest, whose
// capacity counts characters including the terminator. Returns kResultOk when
// the whole text fit; kResultInsufficientBuffer when it was longer or the
// formatting failed, the output then cut to capacity - 1 characters and
// terminated; kResultInvalidArgument, writing nothing, for a capacity of 0 or
// above kMaxBoundedCapacity.
int32_t FormatBounded(wchar_t* dest, size_t capacity, const wchar_t* format, ...);
