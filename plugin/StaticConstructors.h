// For DLLs linked without the C runtime's start-up objects (whose DLL entry
// looks for the GCC runtime DLL on disk at every load) and entered at their
// own entry: what that start-up code would still have to do, run the static
// constructors that GCC lists between __CTOR_LIST__'s -1 and a null, last
// first. The plug-ins have none today; should one appear, it runs.
#pragma once

#if defined(__GNUC__)
extern "C" void (*__CTOR_LIST__[])(void);

inline void RunStaticConstructors()
{
    int count = 0;
    while (__CTOR_LIST__[count + 1] != nullptr)
        ++count;
    for (int i = count; i >= 1; --i)
        __CTOR_LIST__[i]();
}
#endif
