// zendrel-bench: loads copies of the plug-in beside the stand-in board library,
// as a host would, and prints the benchmark report. Goals are reported, never
// enforced: the exit status is non-zero only when a benchmark could not run.
//
//   zendrel-bench [throughput|load|wakeup|serve|connections|net]...   only those parts
#include <stdio.h>
#include <string.h>

#include "bench/Bench.h"

namespace {

int g_argc = 0;
char** g_argv = nullptr;

// Every part runs when none is named.
bool Wanted(const char* part)
{
    for (int i = 1; i < g_argc; ++i)
        if (strcmp(g_argv[i], part) == 0)
            return true;
    return g_argc < 2;
}

}  // namespace

int main(int argc, char** argv)
{
    g_argc = argc;
    g_argv = argv;
    // Unbuffered, so that each part of the report shows as soon as it is done.
    setvbuf(stdout, nullptr, _IONBF, 0);
    printf("Zendrel benchmarks: copies of Zendrel.dll in fresh temporary folders,\n"
           "board library: the stand-in (standin\\EarthPtDll.dll), call log off.\n\n");
    const Standin* board = LoadStandin();
    if (board == nullptr) {
        printf("standin\\EarthPtDll.dll beside this program is missing or lacks a call\n");
        return 1;
    }
    bool ran = !Wanted("throughput") || RunThroughput(*board);
    ran = (!Wanted("load") || RunLoadTime(*board)) && ran;
    ran = (!Wanted("wakeup") || RunWakeUp(*board)) && ran;
    ran = (!Wanted("serve") || RunServeBench(*board)) && ran;
    ran = (!Wanted("connections") || RunConnectionsBench(*board)) && ran;
    ran = (!Wanted("net") || RunNetBench(*board)) && ran;
    if (!ran)
        printf("Some benchmark could not run; see above.\n");
    return ran ? 0 : 1;
}
