// Bounded copy of wide text into the fixed character fields of the driver.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

// Copies source into dest, whose capacity counts characters including the
// terminator. At most capacity - 1 characters are copied and a terminator
// always follows them. Returns kResultOk, or kResultInsufficientBuffer when the
// source was longer and has been cut. A capacity of 0 or above
// kMaxBoundedCapacity writes nothing and returns kResultInvalidArgument.
int32_t CopyBounded(wchar_t* dest, size_t capacity, const wchar_t* source);
