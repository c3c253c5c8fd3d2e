#include <array>

#include "RuleTestSupport.h"

namespace {

using Spaces = std::array<int32_t, kBandCount>;  // UHF, CATV, BS, CS110

Spaces SpacesOf(const Store& s) { return {s.space[0], s.space[1], s.space[2], s.space[3]}; }

// Texts are read placed whole and in chunks of these sizes; a line that runs
// over a chunk boundary must come out whole.
const int32_t kChunkSizes[] = {0, 1, 7, 16, kChunkSize};

}  // namespace

TEST(LineReader, SplitsLinesIntoTokens)
{
    const std::string x253(253, 'x'), dbcs = "\x83\x60\x95\x5c";  // two double-byte characters
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"", {}},
        {"; title\r\n\r\n \t \r\n  A\t0  1 \r\n", {"A|0|1"}},
        {"A 0 1\rB 0 2\nC 0 3\r\n\n\rD\r\n", {"A|0|1", "B|0|2", "C|0|3", "D"}},
        {std::string("A\0" "0\x1f" "1\x7f!\r\n", 9), {"A|0|1\x7f!"}},
        {"A 0 1;comment 0 2\r\n;B 0 2\r\n  ; C 0 3\r\n", {"A|0|1"}},
        {"A 0 1\r\nB 0 2", {"A|0|1"}},
        {"A 0 1\r\n; last", {"A|0|1"}},
        {"A 0 1\r\n; last\r\n", {"A|0|1"}},
        {"; only\r\n;comments\n\r\n", {}},
        {"A 0 1\r\n" + std::string(300, 'z'), {"A|0|1"}},
        {"A " + x253 + ";" + std::string(44, 'y') + "\r\nB 0 2\r\n", {"A|" + x253, "B|0|2"}},
        {"A 0 1 ;" + std::string(300, 'y') + "\r\n", {"A|0|1"}},
        {"a b c d e f g h i j k l m n o pp\tq r s t\r\n", {"a|b|c|d|e|f|g|h|i|j|k|l|m|n|o|pp"}},
        {dbcs + " 0 1\r\n", {dbcs + "|0|1"}},
    };
    for (const auto& c : cases) {
        for (int32_t chunk : kChunkSizes)
            EXPECT_EQ(ReadLines(c.first, chunk), c.second) << "chunk " << chunk << ": " << c.first.substr(0, 40);
    }
}

TEST(LineReader, EndsAtAShortReadAndAtTheChunkSize)
{
    Reading reading("A 0 1\r\nB 0 2\r\nC 0 3\r\n", 16, 9);  // the first read gives "A 0 1\r\nB "
    ASSERT_TRUE(ReadLine(reading.reader.get()));
    EXPECT_EQ(reading.Tokens(), "A|0|1");
    EXPECT_FALSE(ReadLine(reading.reader.get()));
    EXPECT_FALSE(ReadLine(reading.reader.get()));
    EXPECT_EQ(reading.reads, 1);

    // Placed text is kept to one chunk: "B" lies beyond it.
    const std::string placed = std::string(kChunkSize - 7, ';') + "\nA 0 1\rB 0 2\r\n";
    EXPECT_EQ(ReadLines(placed, 0), std::vector<std::string>{"A|0|1"});
}

TEST(ReadNumber, BaseZeroWithinThe32BitRange)
{
    const std::pair<const char*, int32_t> cases[] = {
        {"12", 12},         {"+7", 7},         {"-1", -1},       {"010", 8},     {"08", 0},     {"0x10", 16},
        {"0X1f", 31},       {"-0x10", -16},    {"0x", 0},        {"0xg", 0},     {"12ab", 12},  {"abc", 0},
        {"", 0},            {"2147483647", INT32_MAX},           {"2147483648", INT32_MAX},     {"0xFFFFFFFF", INT32_MAX},
        {"99999999999", INT32_MAX},            {"-2147483648", INT32_MIN},       {"-99999999999", INT32_MIN},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadNumber(c.first), c.second) << '"' << c.first << '"';
    // Where reading stopped, as strtol tells it: after the digits, or at the
    // token's start when there were none.
    const std::pair<const char*, size_t> stops[] = {{"12ab", 2}, {"0x", 1}, {"08", 1}, {"-0x10", 5}, {"+", 0}, {"", 0}};
    for (const auto& c : stops) {
        const char* end = nullptr;
        ReadNumber(c.first, &end);
        EXPECT_EQ(static_cast<size_t>(end - c.first), c.second) << '"' << c.first << '"';
    }
}

TEST(ChannelText, DeclarationsAndRows)
{
    struct Case {
        bool terrestrial;
        std::string text;
        Spaces spaces;
        std::string table0, table1;
    };
    const Case cases[] = {
        {true, "$UHF 0\nA 0 010\nB 0 0x10\nC 0 08\nD 0 256\nE 0 -1\nF 0 1 0x14010\nG x 2 junk\n", {0, -1, -1, -1},
         "A,8,0 B,16,0 C,0,0 D,0,0 E,255,0 F,1,4010 G,2,0", ""},
        {true, "A 0 1\n$UHF 0\nB 0 2\n", {0, -1, -1, -1}, "B,2,0", ""},
        {true, "$UHF 0\n$uhf 0 5\n$Uhf 3\n$VHF 0 6\n$UHFX 2\n$CATV\n$ 0 8\n", {0, -1, -1, -1}, "", ""},
        {true, "$UHF 2\n$UHF -1\n$CATV -3\nA 2 1\nB -1 1\n", {2, -1, -1, -1}, "A,1,0", ""},
        {true, "$UHF 0\nA 0 1\n$UHF 3\nB 0 2\nC 3 4\n", {3, -1, -1, -1}, "A,1,0 C,4,0", ""},
        {true, "$CATV 0\n$UHF 0\nA 0 1\n", {0, 0, -1, -1}, "A,1,0", ""},
        {true, "$UHF 0\n$CATV 1\nA 0 1\nB 1 2\nC 2 3\nD 1\n", {0, 1, -1, -1}, "A,1,0", "B,2,0"},
        {true, "$CS110 4\n$BS 5\nA 4 1\nB 5 2\n", {-1, -1, 5, 4}, "B,2,0", "A,1,0"},
        {false, "$BS 0\n$CS110 1\nA 0 1\nB 0 2 0x4010\nC 1 3 0x6020 x\n", {-1, -1, 0, 1}, "B,2,4010", "C,3,6020"},
        {true, "; only\n\nA 0 1\n", {-1, -1, -1, -1}, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Store s;
        std::fill(std::begin(s.space), std::end(s.space), 9);  // a parse starts afresh
        s.table[0].count = s.table[1].count = 1;
        Parse(s, c.text, c.terrestrial, 5);
        EXPECT_EQ(SpacesOf(s), c.spaces);
        EXPECT_EQ(Dump(s.table[0]), c.table0);
        EXPECT_EQ(Dump(s.table[1]), c.table1);
    }
}

TEST(ChannelText, BuiltInSatelliteList)
{
    for (int32_t chunk : kChunkSizes) {
        Store s;
        Parse(s, Bytes(g_satelliteChannelText, sizeof g_satelliteChannelText), false, chunk);
        EXPECT_EQ(SpacesOf(s), (Spaces{-1, -1, 0, 1}));
        EXPECT_EQ(Dump(s.table[0]),
                  "BS1/TS0,0,4010 BS1/TS1,0,4011 BS3/TS0,1,4030 BS3/TS1,1,4031 BS9/TS0,4,4090 "
                  "BS9/TS1,4,4091 BS9/TS2,4,4092 BS13/TS0,6,40d0 BS13/TS1,6,40d1 BS15/TS0,7,40f1 "
                  "BS15/TS1,7,40f2 BS17/TS0,8,4310 BS17/TS1,8,4311");
        EXPECT_EQ(Dump(s.table[1]),
                  "ND2,12,6020 ND4,13,7040 ND6,14,7060 ND8,15,6080 ND10,16,60a0 ND12,17,70c0 "
                  "ND14,18,70e0 ND16,19,7100 ND18,20,7120 ND20,21,7140 ND22,22,7160 ND24,23,7180");
    }
}

// Every line the rules read is told with its number as an editor counts it
// (CR LF, LF and CR each end one line, also when split across chunks), and
// its fate; the tables end as they would without an observer.
TEST(ChannelText, ObserverToldEachLineAndItsFate)
{
    std::string text = "; title\r\n$BS 0\r\nA 0 1 0x10\rB 0 2\n\n$bs 1\r\n\r\nC 5 1 0x1\r\n"
                       "D 0 1\r\n$CS110 -1\r\nE\r\n$CS110 1\r\n";
    for (int i = 0; i < 64; ++i)
        text += "F 1 2 0x3\r\n";
    text += "G 1 2 0x3\r\nL 0 1 0x1 " + std::string(300, 'x') + "\r\n  H 0 1 0x2 ; no line end";
    const std::string expected =
        "2:declared:2 3:kept:0/0 4:too-few 6:unknown 8:no-table 9:too-few 10:negative 11:too-few 12:declared:3 "
        "13:kept:1/0 76:kept:1/63 77:full:1 78:kept:0/1:cut 79:unterminated";
    for (int32_t chunk : kChunkSizes) {
        std::string told;
        LineObserver observer = {[](void* context, const LineEvent& e) {
                                     static const char* const kNames[] = {"declared", "kept",     "full",
                                                                          "no-table", "too-few",  "negative",
                                                                          "unknown",  "unterminated"};
                                     std::string& t = *static_cast<std::string*>(context);
                                     if (e.fate == kLineKept && e.table == 1 && e.index > 0 && e.index < 63)
                                         return;
                                     t += (t.empty() ? "" : " ") + std::to_string(e.lineNumber) + ":" + kNames[e.fate];
                                     if (e.fate == kLineDeclared)
                                         t += ":" + std::to_string(e.band);
                                     if (e.fate == kLineKept)
                                         t += ":" + std::to_string(e.table) + "/" + std::to_string(e.index);
                                     if (e.fate == kLineTableFull)
                                         t += ":" + std::to_string(e.table);
                                     if (e.reader->tooLong)
                                         t += ":cut";
                                 },
                                 &told};
        Store observed, plain;
        Reading reading(text, chunk);
        ParseChannelText(reading.reader.get(), false, observed.Setup(), &observer);
        Parse(plain, text, false, chunk);
        EXPECT_EQ(told, expected) << "chunk " << chunk;
        EXPECT_EQ(Dump(observed.table[0]) + "|" + Dump(observed.table[1]), Dump(plain.table[0]) + "|" + Dump(plain.table[1]));
    }
}
