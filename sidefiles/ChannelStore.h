// The channel list of one driver instance: two band tables of fixed size and
// one pool holding the channels' names. Table 0 holds the UHF channels
// (terrestrial) or the BS channels (satellite), table 1 the CATV or CS110
// channels. The host never sees a table: it names a tuning space, and the space
// numbers of the four bands decide which table that is.
#pragma once

#include <stdint.h>

const int32_t kTableCapacity = 64;
const int32_t kNamePoolCapacity = 8192;
// Longest name the pool keeps; longer ones lose their tail.
const int32_t kMaxNameLength = 255;

struct ChannelEntry {
    uint8_t ptChannel;    // the board's physical channel, for PtDllSetFrequency
    uint16_t tsId;        // satellite transport stream, for PtDllSetIdS; 0 = none
    const uint8_t* name;  // pooled name (length byte first); null = no room
};

struct ChannelTable {
    int32_t capacity;
    int32_t count;  // entries[0 .. count - 1] are valid, in the order added
    ChannelEntry entries[kTableCapacity];
};

// Names are packed one after the other: a length byte L, the L bytes of the
// name (code page 932 text, kept as it came), a NUL. Nothing is ever removed.
struct NamePool {
    int32_t capacity;
    int32_t used;
    uint8_t bytes[kNamePoolCapacity];
};

// The bands, in the order of their keywords in a channel file.
enum Band { kBandUhf = 0, kBandCatv = 1, kBandBs = 2, kBandCs110 = 3, kBandCount = 4 };

// The driver's channel fields, named for the rules that fill and read them.
struct ChannelSetup {
    int32_t* bandSpace[kBandCount];  // space number of each Band; -1 = band absent
    ChannelTable* bandTable;         // two tables
    NamePool* namePool;
};

// Zeroes both tables and the pool and sets their capacities.
void ClearChannelStore(ChannelTable* bandTable, NamePool* pool);
// Sets the capacities of tables and pool that are zero already.
void SetChannelStoreCapacities(ChannelTable* bandTable, NamePool* pool);

// The channel fields of one instance gathered in one object, as construction
// leaves them (UHF and BS at space 0), for tools and tests that apply the
// rules outside the driver. Not to be copied: names point into pool.
struct ChannelStorage {
    int32_t space[kBandCount] = {0, -1, 0, -1};  // by Band
    ChannelTable table[2];
    NamePool pool;

    ChannelStorage() { ClearChannelStore(table, &pool); }
    ChannelStorage(const ChannelStorage&) = delete;
    ChannelStorage& operator=(const ChannelStorage&) = delete;
    ChannelSetup Setup() { return {{&space[0], &space[1], &space[2], &space[3]}, table, &pool}; }
};

// The table a band's channels belong to: UHF and BS table 0, CATV and CS110
// table 1.
inline int32_t TableOfBand(int32_t band)
{
    return (band == kBandUhf || band == kBandBs) ? 0 : 1;
}

// Table 0 or 1 that a host's space number selects, -1 for none. UHF and BS
// lead to table 0, CATV and CS110 to table 1, tested in the order UHF, BS,
// CATV, CS110, so that table 0 wins when two bands share a number. An absent
// band selects nothing, whatever the space number.
int32_t TableForSpace(const ChannelSetup& setup, uint32_t space);

// Pools a copy of a NUL-terminated name (its first 255 bytes at most) and
// returns it, or null when the pool has no room left for it.
const uint8_t* StoreName(NamePool* pool, const char* name);

// The NUL-terminated text of a pooled name; "" for a channel that has none.
const char* NameText(const uint8_t* pooled);

// Appends a channel unless the table is full; a full table drops it without
// pooling its name. The channel is appended even when its name found no room.
void AppendChannel(ChannelTable* table, NamePool* pool, const char* name, uint8_t ptChannel,
                   uint16_t tsId);

// PT channels are 8-bit: a board channel index beyond 255 could only be
// stored as some lower channel, so the board's list is read no further.
const uint32_t kMaxBoardChannels = 256;

// A channel from the board's own list: cable channels (names beginning with
// "C") go to table 1, all others to table 0; the PT channel is its index in
// that list.
void AppendBoardChannel(const ChannelSetup& setup, uint32_t index, const char* name);
