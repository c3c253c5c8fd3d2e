// The tool's commands. Each returns the exit status: 0 ok, 1 failure, 2
// usage, 130 interrupted (Ctrl+C, or SIGTERM through scripts/wine-run.sh);
// record has its own for its outcomes (RecordExitCode).
#pragma once

#include "host/CommandLine.h"

int RunList(const Command& command);
int RunRecord(const Command& command);
int RunScan(const Command& command);
int RunCheck(const Command& command);
int RunInit(const Command& command);
// Runs until Ctrl+C or SIGTERM, then 0; 1 when it cannot start.
int RunServe(const Command& command);

// Every wait for the stream is this short, so that Ctrl+C and the progress
// line stay responsive. Never 0: a driver takes that as a very long wait.
const unsigned kStreamWaitMs = 100;
