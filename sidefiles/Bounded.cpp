#include "sidefiles/Bounded.h"

#include "sidefiles/ResultCodes.h"

int32_t CopyBounded(wchar_t* dest, size_t capacity, const wchar_t* source)
{
    if (capacity == 0 || capacity > kMaxBoundedCapacity)
        return kResultInvalidArgument;
    size_t i = 0;
    while (i + 1 < capacity && source[i] != L'\0') {
        dest[i] = source[i];
        ++i;
    }
    dest[i] = L'\0';
    return source[i] == L'\0' ? kResultOk : kResultInsufficientBuffer;
}
