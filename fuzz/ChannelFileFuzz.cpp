// A channel file through the reader and the channel rules of both tuner kinds,
// then written as the generated terrestrial file and read back. The first five
// bytes choose how the text is read and how large the name pool is (see Plan);
// the rest is the text.
#include "fuzz/FuzzCheck.h"
#include "tests/unit/RuleHarness.h"

namespace {

// The input's first five bytes. Bytes 0-1 (big-endian) are the chunk size, 0
// meaning the full 65,536; bytes 2-3 the most that one read hands out, 0
// meaning no limit. A read that hands out less than a chunk ends the text, so
// a limit below the chunk size keeps only that many bytes. Byte 4 times 32 is
// the name pool's capacity, 0 meaning the full 8,192, so that short texts fill
// the pool too.
const size_t kPlanSize = 5;
struct Plan {
    int32_t chunk;
    size_t limit;
    int32_t poolCapacity;
    explicit Plan(const uint8_t* header)
    {
        const int32_t chunkCode = header[0] << 8 | header[1];
        chunk = chunkCode ? chunkCode : kChunkSize;
        limit = header[2] << 8 | header[3];
        poolCapacity = header[4] ? header[4] * 32 : kNamePoolCapacity;
    }
    std::string Delivered(const std::string& text) const
    {
        return limit && limit < static_cast<size_t>(chunk) ? text.substr(0, limit) : text;
    }
};

// Every line the reader yields, each checked as it comes.
std::vector<std::string> Lines(Reading& reading)
{
    std::vector<std::string> lines;
    while (ReadLine(reading.reader.get())) {
        Check(LineInBounds(*reading.reader), "line within 255 bytes, 1 to 16 terminated tokens without blanks or ';'");
        lines.push_back(reading.Tokens());
    }
    return lines;
}

// The written text, and whether any write did not end its line: the writer
// cuts a row that does not fit its buffer, line end and all.
struct CheckedSink {
    std::string text;
    bool cut = false;
    static void Append(void* context, const uint8_t* bytes, uint32_t size)
    {
        CheckedSink* w = static_cast<CheckedSink*>(context);
        w->text.append(reinterpret_cast<const char*>(bytes), size);
        w->cut = w->cut || size == 0 || bytes[size - 1] != '\n';
    }
};

// The generated terrestrial file declares only UHF 0 (CATV 1 is commented
// out), and its rows carry UHF's number for table 0 (0 when absent) and CATV's
// for table 1 (1 when absent). Reading it back, exactly the rows written with
// space 0 return, in order, into table 0 up to its capacity: table 0's when UHF
// was absent or 0, then table 1's when CATV was 0. Of those, a row without a
// pooled name is written nameless and drops out (too few tokens); the others
// keep name and PT channel (names are tokens: no blank, no ';', no leading
// '$'), and the TS ID, never written, reads back as 0. A row longer than the
// writer's 255-byte buffer loses its line end and runs into the next line;
// nothing is promised then, so such a text is not read back.
void CheckRoundTrip(Store& parsed, int32_t chunk)
{
    CheckedSink written;
    WriteChannelText(true, parsed.Setup(), {&CheckedSink::Append, &written});
    if (written.cut)
        return;

    std::vector<const ChannelEntry*> expected;
    const bool spaceZero[2] = {parsed.space[kBandUhf] <= 0, parsed.space[kBandCatv] == 0};
    for (int32_t t = 0; t < 2; ++t) {
        for (int32_t i = 0; spaceZero[t] && i < parsed.table[t].count; ++i) {
            if (parsed.table[t].entries[i].name)
                expected.push_back(&parsed.table[t].entries[i]);
        }
    }
    expected.resize(std::min(expected.size(), static_cast<size_t>(kTableCapacity)));

    Store back;
    Reading reading(written.text, chunk);
    ParseChannelText(reading.reader.get(), true, back.Setup());
    Check(StoreInBounds(back), "read-back store in bounds");
    Check(back.space[kBandUhf] == 0 && back.space[kBandCatv] == -1 && back.space[kBandBs] == -1 &&
              back.space[kBandCs110] == -1,
          "read-back bands are UHF 0 alone");
    Check(back.table[1].count == 0, "read-back table 1 empty");
    Check(back.table[0].count == static_cast<int32_t>(expected.size()), "read-back row count");
    for (size_t i = 0; i < expected.size(); ++i) {
        const ChannelEntry& got = back.table[0].entries[i];
        Check(strcmp(NameText(got.name), NameText(expected[i]->name)) == 0, "read-back name");
        Check(got.ptChannel == expected[i]->ptChannel && got.tsId == 0, "read-back PT channel and TS ID");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kPlanSize)
        return 0;
    const Plan plan(data);
    const std::string text(reinterpret_cast<const char*>(data + kPlanSize), size - kPlanSize);

    // In whatever chunks it comes, the text yields the lines of the same text
    // placed whole (as far as one chunk holds it).
    Reading chunked(text, plan.chunk, plan.limit);
    const std::vector<std::string> lines = Lines(chunked);
    const std::string delivered = plan.Delivered(text);
    if (delivered.size() <= static_cast<size_t>(kChunkSize)) {
        Reading whole(delivered, 0);
        Check(Lines(whole) == lines, "chunked lines equal the lines of the whole text");
    }

    for (bool isTerrestrial : {true, false}) {
        Store store;
        store.pool.capacity = plan.poolCapacity;
        Reading reading(text, plan.chunk, plan.limit);
        ParseChannelText(reading.reader.get(), isTerrestrial, store.Setup());
        Check(StoreInBounds(store), "store in bounds");
        CheckRoundTrip(store, plan.chunk);
    }
    return 0;
}
