#include "testsupport/ProcessResources.h"

#include <windows.h>

namespace {

// More than any process here opens; kernel handles are multiples of 4.
const ULONG_PTR kLastHandleProbed = 0x20000;

int TlsSlotsInUse()
{
    // A process has 64 + 1024 slots; take every free one, count, give back.
    static DWORD taken[1088];
    int free = 0;
    for (DWORD slot; free < 1088 && (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;)
        taken[free++] = slot;
    for (int i = 0; i < free; ++i)
        TlsFree(taken[i]);
    return 1088 - free;
}

int OpenHandles()
{
    int count = 0;
    for (ULONG_PTR value = 4; value <= kLastHandleProbed; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
            ++count;
    }
    return count;
}

size_t CommittedPrivateBytes()
{
    size_t total = 0;
    const BYTE* address = nullptr;
    MEMORY_BASIC_INFORMATION info;
    while (VirtualQuery(address, &info, sizeof info) == sizeof info) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE)
            total += info.RegionSize;
        const BYTE* next = static_cast<const BYTE*>(info.BaseAddress) + info.RegionSize;
        if (next <= address)
            break;
        address = next;
    }
    return total;
}

}  // namespace

ProcessResources MeasureProcessResources()
{
    ProcessResources r;
    r.tlsSlotsInUse = TlsSlotsInUse();
    r.handles = OpenHandles();
    r.committedBytes = CommittedPrivateBytes();
    return r;
}
