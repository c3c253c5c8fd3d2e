// zendrel-bench: loads copies of the plug-in beside the stand-in board library,
// as a host would, and prints the benchmark report. Goals are reported, never
// enforced: the exit status is non-zero only when a benchmark could not run.
#include <stdio.h>

#include "bench/Bench.h"

int main()
{
    // Unbuffered, so that each part of the report shows as soon as it is done.
    setvbuf(stdout, nullptr, _IONBF, 0);
    printf("Zendrel benchmarks: copies of Zendrel.dll in fresh temporary folders,\n"
           "board library: the stand-in (standin\\EarthPtDll.dll), call log off.\n\n");
    const Standin* board = LoadStandin();
    if (board == nullptr) {
        printf("standin\\EarthPtDll.dll beside this program is missing or lacks a call\n");
        return 1;
    }
    bool ran = RunThroughput(*board);
    ran = RunLoadTime(*board) && ran;
    ran = RunWakeUp(*board) && ran;
    ran = RunServeBench(*board) && ran;
    if (!ran)
        printf("Some benchmark could not run; see above.\n");
    return ran ? 0 : 1;
}
