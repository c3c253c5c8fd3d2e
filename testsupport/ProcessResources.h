// What a process holds that a DLL loaded and unloaded many times may leak:
// TLS slots, handles and committed private memory. Wine 8 answers 0 to
// GetProcessHandleCount and to PrivateUsage, so each is counted by probing.
#pragma once

#include <stddef.h>

struct ProcessResources {
    int tlsSlotsInUse;      // slots that TlsAlloc cannot hand out now
    int handles;            // open handle values found by probing
    size_t committedBytes;  // committed private memory, from VirtualQuery
};

ProcessResources MeasureProcessResources();
