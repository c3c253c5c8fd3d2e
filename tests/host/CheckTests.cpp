// check's verdict on edited channel files: one row per mistake a user makes,
// with the fate it must report for each line that matters.
#include <gtest/gtest.h>

#include "host/diagnosis/ChannelCheck.h"

namespace {

std::string Same(const std::string& bytes) { return bytes; }

// "line:fate[:reason][+problem...]" for each line that was dropped or has a
// problem (or just the line `only`), then "|" and the warnings' codes.
std::string Compact(const ChannelVerdict& v, int32_t only)
{
    std::string text;
    for (const LineVerdict& line : v.lines) {
        if (only ? line.line != only : line.fate != "dropped" && line.fate != "disabled" && line.problems.empty())
            continue;
        text += (text.empty() ? "" : " ") + std::to_string(line.line) + ":" + line.fate;
        text += line.reason.empty() ? "" : ":" + line.reason;
        for (const Problem& p : line.problems)
            text += "+" + p.code;
    }
    text += "|";
    for (const Problem& w : v.warnings)
        text += w.code + " ";
    return text;
}

std::string Rows(int count, const std::string& name)
{
    std::string rows;
    for (int i = 0; i < count; ++i)
        rows += name + " 0 1 0x10\r\n";
    return rows;
}

}  // namespace

TEST(Check, ReportsEveryMistakeWithItsLineAndReason)
{
    const std::string bs = "$BS 0\r\n";
    const struct {
        const char* mistake;
        bool terrestrial;
        std::string text;
        int32_t only;
        const char* expected;
    } cases[] = {
        {"correct", false, bs + "A 0 1 0x10\r\n; comment\r\n", 0, "|"},
        {"satellite row without its TS ID", false, bs + "A 0 1\r\n", 0, "2:dropped:ts_id_missing|"},
        {"name with a blank", false, bs + "NHK BS1 0 7 0x40f1\r\n", 0, "2:kept+not_a_number+extra_tokens|"},
        {"four", true, "$UHF 0\r\nA 0 four\r\n", 0, "2:kept+not_a_number|"},
        {"0x409l", false, bs + "A 0 1 0x409l\r\n", 0, "2:kept+not_a_number|"},
        {"$CS 110", false, bs + "$CS 110\r\n", 0, "2:dropped:unknown_keyword|"},
        {"lower-case keyword", true, "$uhf 0\r\n", 0, "1:dropped:unknown_keyword|no_band "},
        {"negative space number", false, "$BS -1\r\n", 0, "1:dropped:negative|no_band "},
        {"last line without a line end", false, bs + "A 0 1 0x10", 0, "2:dropped:no_line_end|"},
        {"row before its declaration", false, "A 0 1 0x10\r\n" + bs, 0, "1:dropped:no_band|"},
        {"name over 31 characters", false, bs + std::string(32, 'N') + " 0 1 0x10\r\n", 0, "2:kept+name_cut|"},
        {"leading zero: octal", true, "$UHF 0\r\nA 0 010\r\nB 0 07\r\n", 0, "2:kept+octal|"},
        {"08 is no octal number", true, "$UHF 0\r\nA 0 08\r\n", 0, "2:kept+not_a_number|"},
        {"PT channel and TS ID out of range", true, "$UHF 0\r\nA 0 256 0x14010\r\n", 0,
         "2:kept+out_of_range+out_of_range|"},
        {"line over 255 bytes", false, bs + "A 0 1 0x10" + std::string(260, ' ') + "x\r\n", 0, "2:kept+line_cut|"},
        {"declaration alone", false, "$BS\r\n" + bs, 0, "1:dropped:too_few_tokens|"},
        {"65 rows in one table", false, bs + Rows(65, "A"), 66, "66:dropped:table_full|"},
        {"names fill the pool", false, bs + Rows(34, std::string(240, 'N')), 35, "35:kept+no_name|"},
        {"two bands on one space", true, "$UHF 0\r\n$CATV 0\r\n", 0, "2:declared+shared_space|"},
        {"no space 0", false, "$BS 1\r\nA 1 1 0x10\r\n", 0, "2:kept+not_listed|"},
        {"saved as UTF-8", false, bs + "\xE3\x83\x86\xE3\x82\xB9 0 1 0x10\r\n", 0, "|utf-8 "},
        {"UTF-8 byte-order mark", false, "\xEF\xBB\xBF" + bs + "A 0 1 0x10\r\n", 0,
         "1:dropped:too_few_tokens+bom 2:dropped:no_band|bom utf-8 no_band "},
        {"UTF-16", false, std::string("\xFF\xFE$\0B\0S\0 \0" "0\0\r\0\n\0", 16), 0,
         "1:dropped:no_band+not_a_number|bom utf-16 no_band "},
        {"empty file", true, "", 0, "|no_band "},
        {"comments only", true, "; nothing\r\n", 0, "|no_band "},
    };
    for (const auto& c : cases) {
        ChannelVerdict v = CheckChannelText(c.text, c.terrestrial, Same);
        EXPECT_EQ(Compact(v, c.only), c.expected) << c.mistake;
        EXPECT_EQ(v.Clean(), std::string(c.expected) == "|") << c.mistake;
    }
}

TEST(Check, KeptRowsSayWhereHostsFindThem)
{
    // CATV rows land in table 1, which hosts list as space 1 once UHF is 0.
    ChannelVerdict v = CheckChannelText("$CATV 1\r\nC1 1 60\r\n$UHF 0\r\nU1 0 13\r\nU2 0 14 0x7F10\r\n", true, Same);
    ASSERT_EQ(v.lines.size(), 5u);
    const LineVerdict& c1 = v.lines[1];
    EXPECT_EQ(c1.space, 1);
    EXPECT_EQ(c1.channel, 0);
    EXPECT_EQ(c1.ptChannel, 60);
    EXPECT_EQ(v.lines[4].space, 0);
    EXPECT_EQ(v.lines[4].channel, 1);
    EXPECT_EQ(v.lines[4].tsId, 0x7F10);
    EXPECT_EQ(v.lines[4].name, "U2");
    EXPECT_EQ(v.tables->ListedSpaces(), 2u);
}

TEST(Check, RowsOfACommentedOutBandAreDisabledNotDropped)
{
    // As the plug-in writes a terrestrial file: the cable band behind ";".
    const std::string text = "; channels\r\n$UHF\t0\t; UHF\r\n;$CATV\t1\t; cable\r\n13ch\t\t\t0\t  0\t;  0:\r\n"
                             "C13ch\t\t\t1\t 50\t;  0:\r\nX 2 3\r\n";
    ChannelVerdict v = CheckChannelText(text, true, Same);
    EXPECT_EQ(Compact(v, 0), "5:disabled 6:dropped:no_band|");
    EXPECT_NE(v.lines[2].message.find("line 3"), std::string::npos) << v.lines[2].message;
    EXPECT_EQ(v.disabled, 1);
    EXPECT_EQ(v.dropped, 1);
    EXPECT_TRUE(CheckChannelText(text.substr(0, text.rfind("X 2 3")), true, Same).Clean());

    ChannelVerdict octal = CheckChannelText("$UHF 0\r\nA 0 010\r\nB 0 09\r\n", true, Same);
    EXPECT_NE(octal.lines[1].problems[0].message.find("read as octal: 8"), std::string::npos);
    EXPECT_NE(octal.lines[2].problems[0].message.find("8 and 9 are no digits"), std::string::npos);
}
