// The stream buffer between the reader thread and the host: a ring of bytes.
// When the host falls so far behind that a piece no longer fits, the oldest
// whole packets are dropped, as a tuner's own buffer drops them: the reader
// never waits for the host, and what the host gets stays aligned on packets.
// No locking here; the instance's lock guards it.
#pragma once

#include <stdint.h>

const uint32_t kPacketSize = 188;

struct Ring {
    uint8_t* data;
    uint32_t capacity;  // a multiple of kPacketSize
    uint32_t head;      // where the oldest byte is
    uint32_t count;
};

void RingClear(Ring* ring);
// Adds size bytes (at most the capacity); returns how many old bytes were
// dropped for them, a multiple of kPacketSize.
uint32_t RingAdd(Ring* ring, const uint8_t* bytes, uint32_t size);
// Moves up to capacity of the oldest bytes to dest; returns how many.
uint32_t RingTake(Ring* ring, uint8_t* dest, uint32_t capacity);
// Takes back up to size of the newest bytes.
void RingDropNewest(Ring* ring, uint32_t size);
