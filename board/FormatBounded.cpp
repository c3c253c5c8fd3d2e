#include "board/FormatBounded.h"

#include "sidefiles/BoundedPrint.h"
#include "sidefiles/ResultCodes.h"

int32_t FormatBounded(wchar_t* dest, size_t capacity, const wchar_t* format, ...)
{
    if (capacity == 0 || capacity > kMaxBoundedCapacity)
        return kResultInvalidArgument;
    dest[0] = L'\0';
    va_list args;
    va_start(args, format);
    // On overflow, runtimes differ: some return the full length, some -1, and
    // not all of them terminate what they wrote. Only the count is trusted.
    int written = PrintBoundedWide(dest, capacity, format, args);
    va_end(args);
    if (written < 0 || static_cast<size_t>(written) >= capacity) {
        dest[capacity - 1] = L'\0';
        return kResultInsufficientBuffer;
    }
    return kResultOk;
}
