#include "net/Instance.h"

void* NetInstance(NetSlot* slot, const NetInstanceType& type, const NetCalls* calls, void* module)
{
    calls->Lock(&slot->lock);
    if (slot->object == nullptr) {
        void* block = calls->AllocZeroed(type.size);
        if (block != nullptr) {
            NetCore* core = type.emplace(block, calls, module);
            if (core->Construct(block, type.unmake)) {
                slot->object = block;
                slot->core = core;
            } else {
                type.unmake(block);
                calls->Free(block);
            }
        }
    }
    void* object = slot->object;
    calls->Unlock(&slot->lock);
    return object;
}

void ReleaseNetInstance(NetSlot* slot, const NetCalls* calls, NetCore* core)
{
    calls->Lock(&slot->lock);
    if (slot->core == core) {
        slot->object = nullptr;
        slot->core = nullptr;
    }
    calls->Unlock(&slot->lock);
    core->Release();
}

void DetachNetInstance(NetSlot* slot, bool processExit)
{
    NetCore* core = slot->core;
    if (core == nullptr)
        return;
    slot->object = nullptr;
    slot->core = nullptr;
    core->Detach(processExit);
}
