#include "RuleTestSupport.h"

namespace {

// Board channels: UHF 13 and 14 for table 0, cable C13 between them for table 1.
void AddBoardChannels(Store& s)
{
    AppendBoardChannel(s.Setup(), 0, "13");
    AppendBoardChannel(s.Setup(), 1, "C13");
    AppendBoardChannel(s.Setup(), 2, "14");
}

}  // namespace

TEST(ChannelWriter, RowIsNameBandPtChannelAndIndexComment)
{
    char row[kRowBufferSize];
    EXPECT_EQ(FormatChannelRow(row, "UHF13", 0, 5, 0), 21);
    EXPECT_EQ(std::string(row), "UHF13\t\t\t0\t  5\t;  0:\r\n");
    const std::string longName(300, 'n');
    EXPECT_EQ(FormatChannelRow(row, longName.c_str(), 1, 255, 63), kRowBufferSize - 1);
    EXPECT_EQ(std::string(row), longName.substr(0, kRowBufferSize - 1));
}

// Terrestrial: each table under its header; satellite: the built-in list.
TEST(ChannelWriter, WritesTheFileOfTheKind)
{
    const std::string header = Bytes(g_terrestrialHeader, sizeof g_terrestrialHeader);
    const std::string catvHeader = Bytes(g_catvHeader, sizeof g_catvHeader);
    Store s;
    EXPECT_EQ(Written(true, s), header + catvHeader);
    EXPECT_EQ(Written(true, s).size(), 400u);
    AddBoardChannels(s);
    EXPECT_EQ(Written(true, s), header + "13\t\t\t0\t  0\t;  0:\r\n14\t\t\t0\t  2\t;  1:\r\n" + catvHeader +
                                    "C13\t\t\t1\t  1\t;  0:\r\n");
    s.space[kBandUhf] = 2;
    s.space[kBandCatv] = 3;
    EXPECT_EQ(Written(true, s), header + "13\t\t\t2\t  0\t;  0:\r\n14\t\t\t2\t  2\t;  1:\r\n" + catvHeader +
                                    "C13\t\t\t3\t  1\t;  0:\r\n");
    EXPECT_EQ(Written(false, s), Bytes(g_satelliteChannelText, sizeof g_satelliteChannelText));
}

// The written file reads back as the same table 0; table 1 only once the user
// enables the CATV declaration. Enabling the VHF line changes nothing.
TEST(ChannelWriter, GeneratedTerrestrialFileReadsBack)
{
    Store built;
    AddBoardChannels(built);
    AppendBoardChannel(built.Setup(), 3, "C14");
    std::string text = Written(true, built);
    for (std::string enable : {"", ";$VHF", ";$CATV"}) {
        SCOPED_TRACE(enable);
        if (!enable.empty())
            text.erase(text.find(enable), 1);
        const bool catv = enable == ";$CATV";
        Store read;
        Parse(read, text, true);
        EXPECT_EQ(read.space[kBandUhf], 0);
        EXPECT_EQ(read.space[kBandCatv], catv ? 1 : -1);
        EXPECT_EQ(Dump(read.table[0]), Dump(built.table[0]));
        EXPECT_EQ(Dump(read.table[1]), catv ? Dump(built.table[1]) : "");
    }
}
