// An invariant of a fuzz target: a broken one aborts, which libFuzzer reports
// as a crash and keeps the input that broke it.
#pragma once

#include <stdio.h>
#include <stdlib.h>

inline void Check(bool holds, const char* what)
{
    if (!holds) {
        fprintf(stderr, "invariant broken: %s\n", what);
        abort();
    }
}
