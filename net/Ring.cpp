#include "net/Ring.h"

#include <string.h>

void RingClear(Ring* ring)
{
    ring->head = 0;
    ring->count = 0;
}

uint32_t RingAdd(Ring* ring, const uint8_t* bytes, uint32_t size)
{
    uint32_t dropped = 0;
    if (ring->count + size > ring->capacity) {
        // Whole packets, so that the host's reads keep their phase.
        uint32_t over = ring->count + size - ring->capacity;
        dropped = (over + kPacketSize - 1) / kPacketSize * kPacketSize;
        if (dropped > ring->count)
            dropped = ring->count;
        ring->head = (ring->head + dropped) % ring->capacity;
        ring->count -= dropped;
    }
    uint32_t tail = (ring->head + ring->count) % ring->capacity;
    uint32_t first = ring->capacity - tail < size ? ring->capacity - tail : size;
    memcpy(ring->data + tail, bytes, first);
    memcpy(ring->data, bytes + first, size - first);
    ring->count += size;
    return dropped;
}

uint32_t RingTake(Ring* ring, uint8_t* dest, uint32_t capacity)
{
    uint32_t size = ring->count < capacity ? ring->count : capacity;
    uint32_t first = ring->capacity - ring->head < size ? ring->capacity - ring->head : size;
    memcpy(dest, ring->data + ring->head, first);
    memcpy(dest + first, ring->data, size - first);
    ring->head = (ring->head + size) % ring->capacity;
    ring->count -= size;
    return size;
}

void RingDropNewest(Ring* ring, uint32_t size)
{
    ring->count -= size < ring->count ? size : ring->count;
}
