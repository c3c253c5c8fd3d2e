// Random and mutated channel texts through the reader and the rules, in random
// chunk sizes. Besides the harness's invariants, the sanitizers of the
// native build catch any access outside the buffers.
#include <random>

#include "RuleTestSupport.h"

TEST(RandomText, ReaderAndRulesStayInBounds)
{
    std::mt19937 random(20240607u);
    auto below = [&](size_t n) { return static_cast<size_t>(random() % n); };
    const std::string satellite = Bytes(g_satelliteChannelText, sizeof g_satelliteChannelText);
    const char* pieces[] = {"$UHF 0\r\n", "$CATV 1\n", "$BS 0\r\n", "$CS110 1\r", "N 0 5 0x4010\r\n", "N 1 7\n", "$UHF",
                            "0", "-1", "0x", "010", "99999999999", "\x83\x60", ";", " ", "\t", "\r", "\n"};

    for (int round = 0; round < 3000 && !HasFailure(); ++round) {
        std::string text;
        if (round % 3 == 0) {  // the satellite list with bytes changed and lines repeated
            text = satellite;
            for (size_t n = 1 + below(8); n > 0; --n) {
                text[below(text.size())] = static_cast<char>(below(256));
                text.insert(below(text.size()), text.substr(below(text.size()), below(300)));
            }
        } else {  // pieces, random bytes and long names
            for (size_t n = below(600); n > 0; --n) {
                const size_t kind = below(10);
                if (kind < 6)
                    text += pieces[below(sizeof pieces / sizeof pieces[0])];
                else if (kind < 9)
                    text += static_cast<char>(below(256));
                else
                    text += std::string(1 + below(400), static_cast<char>('!' + below(90))) + " 0 1\r\n";
            }
        }
        text.resize(std::min(text.size(), static_cast<size_t>(kChunkSize)));
        const int32_t chunk = below(4) == 0 ? kChunkSize : static_cast<int32_t>(1 + below(64));
        const bool terrestrial = below(2) == 0;
        SCOPED_TRACE(testing::Message() << "round " << round << ", chunk " << chunk);

        Reading reading(text, chunk);
        std::vector<std::string> lines;
        while (!HasFailure() && ReadLine(reading.reader.get())) {
            EXPECT_TRUE(LineInBounds(*reading.reader)) << reading.Tokens();
            lines.push_back(reading.Tokens());
        }
        EXPECT_EQ(lines, ReadLines(text, 0));

        Store whole, chunked;
        Parse(whole, text, terrestrial);
        Parse(chunked, text, terrestrial, chunk);
        EXPECT_TRUE(StoreInBounds(chunked));
        EXPECT_EQ(Dump(chunked.table[0]), Dump(whole.table[0]));
        EXPECT_EQ(Dump(chunked.table[1]), Dump(whole.table[1]));
    }
}
