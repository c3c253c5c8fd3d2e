#include "sidefiles/ChannelStore.h"

#include <string.h>

void ClearChannelStore(ChannelTable* bandTable, NamePool* pool)
{
    memset(bandTable, 0, 2 * sizeof(ChannelTable));
    memset(pool, 0, sizeof(NamePool));
    SetChannelStoreCapacities(bandTable, pool);
}

void SetChannelStoreCapacities(ChannelTable* bandTable, NamePool* pool)
{
    bandTable[0].capacity = kTableCapacity;
    bandTable[1].capacity = kTableCapacity;
    pool->capacity = kNamePoolCapacity;
}

int32_t TableForSpace(const ChannelSetup& setup, uint32_t space)
{
    static const Band kOrder[] = {kBandUhf, kBandBs, kBandCatv, kBandCs110};
    for (Band band : kOrder) {
        int32_t bandSpace = *setup.bandSpace[band];
        if (bandSpace >= 0 && static_cast<uint32_t>(bandSpace) == space)
            return TableOfBand(band);
    }
    return -1;
}

const uint8_t* StoreName(NamePool* pool, const char* name)
{
    size_t length = strlen(name);
    if (length > static_cast<size_t>(kMaxNameLength))
        length = kMaxNameLength;
    int32_t size = static_cast<int32_t>(length) + 2;
    if (pool->capacity - pool->used < size)
        return nullptr;
    uint8_t* pooled = pool->bytes + pool->used;
    pooled[0] = static_cast<uint8_t>(length);
    memcpy(pooled + 1, name, length);
    pooled[1 + length] = 0;
    pool->used += size;
    return pooled;
}

const char* NameText(const uint8_t* pooled)
{
    return pooled ? reinterpret_cast<const char*>(pooled + 1) : "";
}

void AppendChannel(ChannelTable* table, NamePool* pool, const char* name, uint8_t ptChannel,
                   uint16_t tsId)
{
    if (table->count >= table->capacity || table->count >= kTableCapacity)
        return;
    ChannelEntry& entry = table->entries[table->count];
    entry.name = StoreName(pool, name);
    entry.ptChannel = ptChannel;
    entry.tsId = tsId;
    ++table->count;
}

void AppendBoardChannel(const ChannelSetup& setup, uint32_t index, const char* name)
{
    int32_t table = (name[0] == 'C') ? 1 : 0;
    AppendChannel(&setup.bandTable[table], setup.namePool, name, static_cast<uint8_t>(index), 0);
}
