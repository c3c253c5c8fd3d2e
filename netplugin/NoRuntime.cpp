// What the network plug-in would otherwise take from a C or C++ runtime DLL:
// the compiler's own calls for copying, filling and comparing memory, and the
// slot filler of abstract classes. The DLL imports only KERNEL32 and WINHTTP.
// Built without the compiler turning these loops back into calls of
// themselves (see CMakeLists.txt).
#include <stddef.h>

extern "C" {

void* memcpy(void* dest, const void* source, size_t size)
{
#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
    void* d = dest;
    __asm__ volatile("rep movsb" : "+D"(d), "+S"(source), "+c"(size) : : "memory");
#else
    unsigned char* d = static_cast<unsigned char*>(dest);
    const unsigned char* s = static_cast<const unsigned char*>(source);
    for (size_t i = 0; i < size; ++i)
        d[i] = s[i];
#endif
    return dest;
}

void* memmove(void* dest, const void* source, size_t size)
{
    unsigned char* d = static_cast<unsigned char*>(dest);
    const unsigned char* s = static_cast<const unsigned char*>(source);
    if (d <= s || d >= s + size)
        return memcpy(dest, source, size);
    for (size_t i = size; i > 0; --i)
        d[i - 1] = s[i - 1];
    return dest;
}

void* memset(void* dest, int value, size_t size)
{
#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
    void* d = dest;
    __asm__ volatile("rep stosb" : "+D"(d), "+c"(size) : "a"(value) : "memory");
#else
    unsigned char* d = static_cast<unsigned char*>(dest);
    for (size_t i = 0; i < size; ++i)
        d[i] = static_cast<unsigned char>(value);
#endif
    return dest;
}

int memcmp(const void* a, const void* b, size_t size)
{
    const unsigned char* x = static_cast<const unsigned char*>(a);
    const unsigned char* y = static_cast<const unsigned char*>(b);
    for (size_t i = 0; i < size; ++i)
        if (x[i] != y[i])
            return x[i] < y[i] ? -1 : 1;
    return 0;
}

size_t strlen(const char* text)
{
    size_t length = 0;
    while (text[length] != '\0')
        ++length;
    return length;
}

// Reached only through an abstract class's own table, which nothing calls.
void __cxa_pure_virtual(void)
{
    __builtin_trap();
}

}  // extern "C"
