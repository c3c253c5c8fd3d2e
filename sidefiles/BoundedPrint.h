// The C library's bounded formatted print, narrow and wide. On Windows these
// are the system runtime's own _vsnprintf and _vsnwprintf, so that the DLL
// links no formatting code of its own: they return -1, or the capacity
// without a terminator, where C99's functions return the full length. The
// callers accept all three forms of "did not fit": a result below 0 or not
// below the capacity, and terminate the text themselves.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <wchar.h>

inline int PrintBounded(char* dest, size_t capacity, const char* format, va_list args)
{
#if defined(_WIN32)
    return _vsnprintf(dest, capacity, format, args);
#else
    return vsnprintf(dest, capacity, format, args);
#endif
}

inline int PrintBoundedWide(wchar_t* dest, size_t capacity, const wchar_t* format, va_list args)
{
#if defined(_WIN32)
    return _vsnwprintf(dest, capacity, format, args);
#else
    return vswprintf(dest, capacity, format, args);
#endif
}
