// serve's /api/status as the plug-in reads it: the signal level of the tuner
// that carries its stream, found by the copy's name that the stream's
// Zendrel-Tuner header gave.
#pragma once

#include <stddef.h>

#include "net/Json.h"

// False when the answer is no status, lists no tuner of that name, or its
// signal is null (the tuner is not tuned).
bool FindTunerSignal(const char* text, size_t length, jsmntok_t* tokens, unsigned capacity, const char* copy,
                     double* signalDb);
