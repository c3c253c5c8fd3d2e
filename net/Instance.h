// The network plug-in's instance as the DLL keeps it: built by the first
// CreateBonDriver, handed out by the later ones until Release, and built anew
// by a CreateBonDriver after Release (a reader thread of the old one may still
// hold the DLL loaded then, so a host that loads it again gets the same loaded
// copy). The object handed to the host (netplugin/'s adapter) is built around
// the NetCore in one zero-filled block.
#pragma once

#include <stdint.h>

#include "net/NetCore.h"

struct NetInstanceType {
    size_t size;
    // Builds the object in the zero-filled block; returns its NetCore.
    NetCore* (*emplace)(void* block, const NetCalls* calls, void* module);
    // Unbuilds it; the block is freed afterwards.
    void (*unmake)(void* block);
};

struct NetSlot {
    void* lock;  // zero = unlocked, so that a zeroed slot is ready
    void* object;
    NetCore* core;
};

// CreateBonDriver: the instance, built when there is none; null when it
// cannot be built.
void* NetInstance(NetSlot* slot, const NetInstanceType& type, const NetCalls* calls, void* module);
// Release of the instance that holds core.
void ReleaseNetInstance(NetSlot* slot, const NetCalls* calls, NetCore* core);
// The detach notification: for an instance the host did not release. Takes
// no lock: at process exit a thread that held one is gone.
void DetachNetInstance(NetSlot* slot, bool processExit);
