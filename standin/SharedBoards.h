// What every process that loads the stand-in sees alike: which process has
// each tuner open, and each board's LNB supply. It lives in named shared
// memory under a named mutex, so it lasts while any process holds the
// stand-in. A tuner whose process has ended, by any path, is free again:
// ownership records the process's ID and creation time, and an owner that no
// longer runs owns nothing.
//
// Where the shared memory cannot be had, the same state is kept for this
// process alone.
#pragma once

#include <stdint.h>

// Takes tuner index for this process; false when another live process has it.
bool SharedClaimTuner(int index);
void SharedReleaseTuner(int index);
// Releases every tuner this process holds.
void SharedReleaseOwn(void);
// True when a live process other than this one has it.
bool SharedTunerHeldElsewhere(int index);

int32_t SharedLnbMode(int board);
void SharedSetLnbMode(int board, int32_t mode);
void SharedResetLnb(void);
