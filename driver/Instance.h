// The single driver instance of a loaded copy of the DLL and its instance
// lock, and what the loader's attach and detach notifications and Release do
// with them. The DLL keeps one InstanceSlot; the object it hands the host
// (plugin/'s adapter) is built around the driver in one zero-filled block.
#pragma once

#include <stdint.h>

#include <atomic>

#include "driver/DriverCore.h"

// How to build and unbuild the host's object in a block.
struct InstanceType {
    uint32_t size;
    // Constructs the object in the zero-filled block; returns its driver.
    DriverCore* (*emplace)(void* block, const BoardCalls* board, const OsCalls* os, void* module);
    // Runs the object's destructor; the block is freed afterwards.
    void (*unmake)(void* object);
};

struct InstanceSlot {
    // What the export hands out; null before attach and once released. Set
    // and cleared atomically, since a host may ask on one thread while it
    // releases on another.
    std::atomic<void*> object;
    // The driver in it, from construction until it has been destroyed.
    std::atomic<DriverCore*> core;
    InstanceType type;
    const OsCalls* os;
    // The instance lock: an unnamed mutex, created by the first construction
    // and closed when the DLL is unloaded.
    void* lock;
};

// The attach notification: allocates and constructs the instance. False when
// the load is to fail; the instance has then been released already, its
// tuner closed, whether or not a detach follows.
bool AttachInstance(InstanceSlot* slot, const InstanceType& type, const BoardCalls* board, const OsCalls* os,
                    void* module);
// Release: under the instance lock, stops the operations of other threads
// (a wait returns; the others are waited for, bounded), then destroys and
// frees the instance. Once released, it is never built again while the DLL
// stays loaded.
void ReleaseInstance(InstanceSlot* slot);
// The detach notification: releases an instance the host did not release.
// When the DLL is being unloaded it then closes the instance lock; at process
// exit (not unloading) it destroys the instance without waiting for any
// lock, since the threads that could hold one are gone.
void DetachInstance(InstanceSlot* slot, bool unloading);
