#include "driver/Instance.h"

#include "sidefiles/ResultCodes.h"

bool AttachInstance(InstanceSlot* slot, const InstanceType& type, const BoardCalls* board, const OsCalls* os,
                    void* module)
{
    slot->type = type;
    slot->os = os;
    void* block = os->AllocZeroed(type.size);
    if (block == nullptr)
        return false;
    DriverCore* core = type.emplace(block, board, os, module);
    slot->core.store(core);
    // Stored even when construction fails: the release below finds it there.
    slot->object.store(block);
    if (core->Construct(&slot->lock) == kResultOk)
        return true;
    ReleaseInstance(slot);
    return false;
}

void ReleaseInstance(InstanceSlot* slot)
{
    const OsCalls* os = slot->os;
    // Construction makes the lock before anything that needs undoing, so
    // only an instance whose lock could not be made gets here without one.
    bool locked = slot->lock != nullptr && os->WaitMutex(slot->lock, kWaitForever);
    // Taken first, so that the export never hands out an instance being
    // destroyed, and a second release finds nothing to do.
    void* object = slot->object.exchange(nullptr);
    if (object != nullptr) {
        // The core stays in the slot until it is destroyed: should the
        // process end while this release waits (for a tune stuck in the
        // board, say), the exit's detach finds it there and finishes.
        DriverCore* core = slot->core.load();
        bool idle = core->StopOperations();
        core->Destroy(false);
        slot->core.store(nullptr);
        // A thread still inside would go on in freed memory; the block is
        // then left to it.
        if (idle) {
            slot->type.unmake(object);
            os->Free(object);
        }
    }
    if (locked)
        os->ReleaseMutex(slot->lock);
}

void DetachInstance(InstanceSlot* slot, bool unloading)
{
    if (slot->os == nullptr)
        return;
    if (!unloading) {
        // The process is ending: every other thread has been ended wherever
        // it was, and a lock one of them held stays held, so nothing is
        // waited for. The side files are still written and the tuner
        // closed, also when a release that another thread began did not
        // finish; the memory goes with the process.
        slot->object.store(nullptr);
        DriverCore* core = slot->core.exchange(nullptr);
        if (core != nullptr)
            core->Destroy(true);
        return;
    }
    if (slot->object.load() != nullptr)
        ReleaseInstance(slot);
    // At process exit the system takes the handle back itself.
    if (slot->lock != nullptr) {
        slot->os->CloseMutex(slot->lock);
        slot->lock = nullptr;
    }
}
