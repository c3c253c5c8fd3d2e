#include "RuleTestSupport.h"

TEST(NamePool, PacksEachNameBehindItsLength)
{
    Store s;
    std::string longName;
    for (int i = 0; i < 300; ++i)
        longName += static_cast<char>('a' + i % 26);
    EXPECT_EQ(StoreName(&s.pool, "BS1/TS0"), s.pool.bytes);
    EXPECT_EQ(StoreName(&s.pool, ""), s.pool.bytes + 9);
    const uint8_t* cut = StoreName(&s.pool, longName.c_str());
    EXPECT_EQ(cut, s.pool.bytes + 11);
    EXPECT_EQ(Bytes(s.pool.bytes, 12), std::string("\7BS1/TS0\0\0\0\xff", 12));
    EXPECT_EQ(NameText(cut), longName.substr(0, 255));
    EXPECT_EQ(s.pool.used, 11 + 257);
    EXPECT_STREQ(NameText(nullptr), "");
}

// A 255-byte name needs 257 bytes; without them its channel has no name.
TEST(NamePool, FullPoolStillAppendsTheChannel)
{
    for (int32_t free : {257, 256}) {
        Store s;
        s.pool.used = kNamePoolCapacity - free;
        AppendChannel(&s.table[0], &s.pool, std::string(255, 'n').c_str(), 9, 0x4010);
        ASSERT_EQ(s.table[0].count, 1);
        EXPECT_EQ(s.table[0].entries[0].ptChannel, 9);
        EXPECT_EQ(s.table[0].entries[0].tsId, 0x4010);
        EXPECT_EQ(s.table[0].entries[0].name, free == 257 ? s.pool.bytes + kNamePoolCapacity - 257 : nullptr);
        EXPECT_EQ(s.pool.used, free == 257 ? kNamePoolCapacity : kNamePoolCapacity - 256);
    }
}

TEST(ChannelTable, SixtyFifthChannelIsDroppedWithoutUsingThePool)
{
    Store s;
    for (int i = 0; i < kTableCapacity; ++i)
        AppendChannel(&s.table[0], &s.pool, "UHF", static_cast<uint8_t>(i), 0);
    const int32_t used = s.pool.used;
    AppendChannel(&s.table[0], &s.pool, "UHF", 64, 0);
    EXPECT_EQ(s.table[0].count, kTableCapacity);
    EXPECT_EQ(s.table[0].entries[63].ptChannel, 63);
    EXPECT_EQ(s.pool.used, used);
    AppendChannel(&s.table[1], &s.pool, "C13", 1, 0);
    EXPECT_EQ(Dump(s.table[1]), "C13,1,0");
}

TEST(ChannelTable, BoardChannelsStartingWithCGoToTableOne)
{
    Store s;
    const char* names[] = {"13", "C13", "", "c14", "C", "14"};
    for (uint32_t i = 0; i < 6; ++i)
        AppendBoardChannel(s.Setup(), i, names[i]);
    AppendBoardChannel(s.Setup(), 300, "C63");  // the PT channel keeps the low 8 bits
    EXPECT_EQ(Dump(s.table[0]), "13,0,0 ,2,0 c14,3,0 14,5,0");
    EXPECT_EQ(Dump(s.table[1]), "C13,1,0 C,4,0 C63,44,0");
}

TEST(TableForSpace, UhfThenBsThenCatvThenCs110AndNeverAnAbsentBand)
{
    struct Case {
        int32_t bands[kBandCount];  // UHF, CATV, BS, CS110
        uint32_t space;
        int32_t table;
    };
    const Case cases[] = {
        {{0, 0, -1, -1}, 0, 0},   {{-1, 0, 0, -1}, 0, 0},   {{-1, -1, 0, 0}, 0, 0},   {{-1, 3, -1, 3}, 3, 1},
        {{2, 1, -1, 3}, 2, 0},    {{2, 1, -1, 3}, 1, 1},    {{2, 1, -1, 3}, 3, 1},    {{2, 1, -1, 3}, 4, -1},
        {{-1, -1, -1, -1}, 0, -1}, {{-1, -1, -1, -1}, 0xFFFFFFFFu, -1}, {{0, -1, 0, -1}, 0xFFFFFFFFu, -1},
    };
    for (const Case& c : cases) {
        Store s;
        std::copy(c.bands, c.bands + kBandCount, s.space);
        EXPECT_EQ(TableForSpace(s.Setup(), c.space), c.table) << "case " << (&c - cases);
    }
}
