// What the tool reports: check's likely cause and exit code, the JSON shapes
// that programs rely on, the channel file scan writes, and the texts built
// from system messages and file names.
#include <gtest/gtest.h>

#include "host/check/CheckReport.h"
#include "host/JsonOutput.h"
#include "host/ChannelChoice.h"
#include "host/record/Summary.h"
#include "host/Text.h"
#include "sidefiles/FixedTexts.h"
#include "tests/host/TsBuilder.h"

namespace {

std::string Same(const std::string& bytes) { return bytes; }

Judgement JudgeWith(const wchar_t* path, const std::string& channelFile, const BoardFacts& board,
                    bool pluginExists = true)
{
    SideFileNames names = LocateSideFiles(path);
    SideFileFacts files;
    files.pluginExists = pluginExists;
    files.channelExists = files.channelRead = true;
    files.channelBytes = channelFile;
    return Judge(path, names, files, board, Same);
}

BoardFacts Board(int32_t boards, const char* tuner)
{
    BoardFacts b;
    b.probed = true;
    b.library = "C:\\TV\\EarthPtDll.dll";
    b.version = 1;
    b.boards = boards;
    b.tuner = tuner;
    return b;
}

// Every key of a flat or nested JSON object text, in order.
std::string Keys(const std::string& json)
{
    std::string keys;
    for (size_t at = json.find("\":"); at != std::string::npos; at = json.find("\":", at + 2))
        keys += json.substr(json.rfind('"', at - 1) + 1, at - json.rfind('"', at - 1) - 1) + " ";
    return keys;
}

}  // namespace

TEST(Report, SideFileNamesFollowTheDriversRule)
{
    SideFileNames s5 = LocateSideFiles(L"C:\\TV\\Zendrel-S5.dll");
    EXPECT_TRUE(s5.ok);
    EXPECT_FALSE(s5.isTerrestrial);
    EXPECT_EQ(s5.kindLetter, 'S');
    EXPECT_EQ(s5.tunerDigit, 5);
    EXPECT_EQ(s5.channelPath, L"C:\\TV\\Zendrel-S.SetCh.txt");
    EXPECT_EQ(s5.legacyPath, L"C:\\TV\\Zendrel-S..SetCh.txt");
    EXPECT_EQ(LocateSideFiles(L"C:\\TV\\Zendrel.dll").kindLetter, 0);
    EXPECT_FALSE(LocateSideFiles(L"C:\\TV\\Zendrel").ok);
    EXPECT_FALSE(LocateSideFiles(L"C:\\" + std::wstring(300, L'x') + L"-S.dll").ok);
}

TEST(Report, LikelyCauseInTheOrderThePluginMeetsThem)
{
    const std::string good = "$BS 0\r\nA 0 1 0x10\r\n";
    Judgement ok = JudgeWith(L"C:\\TV\\Zendrel-S.dll", good, Board(1, "Ec1Bs1"));
    EXPECT_EQ(ok.loads, 1);
    EXPECT_EQ(CheckExitCode(ok), 0);

    BoardFacts missing;
    missing.probed = true;
    missing.error = "EarthPtDll.dll is missing";
    EXPECT_EQ(JudgeWith(L"C:\\TV\\Zendrel-S5.dll", "", missing).cause, "EarthPtDll.dll is missing");
    EXPECT_NE(JudgeWith(L"C:\\TV\\Zendrel-S5.dll", good, Board(1, "")).cause.find("tuner digit 5 selects board 3"),
              std::string::npos);
    BoardFacts old = Board(1, "");
    old.version = 2;
    EXPECT_NE(JudgeWith(L"C:\\TV\\Zendrel-S.dll", good, old).cause.find("version 2"), std::string::npos);
    EXPECT_NE(JudgeWith(L"C:\\TV\\Zendrel-S.dll", good, Board(2, "")).cause.find("can be opened"), std::string::npos);
    // A library that counts no board: no tuner was tried, so none is "held".
    Judgement none = JudgeWith(L"C:\\TV\\Zendrel-S.dll", good, Board(0, ""));
    EXPECT_EQ(none.cause, "the board library reports no board");
    EXPECT_EQ(none.loads, 0);
    Judgement bom = JudgeWith(L"C:\\TV\\Zendrel-S.dll", "\xEF\xBB\xBF" + good, Board(1, "Ec1Bs1"));
    EXPECT_NE(bom.cause.find("byte-order mark"), std::string::npos);
    EXPECT_EQ(CheckExitCode(bom), 1);

    EXPECT_EQ(CheckExitCode(JudgeWith(L"C:\\TV\\Zendrel-S.dll", good, BoardFacts(), false)), 1);

    // Without the board only the side files are judged; a dropped line fails.
    Judgement unchecked = JudgeWith(L"C:\\TV\\Zendrel-S.dll", good + "B 0 1\r\n", BoardFacts());
    EXPECT_EQ(unchecked.loads, -1);
    EXPECT_EQ(CheckExitCode(unchecked), 1);
}

TEST(Report, RepeatedVerdictsShareALine)
{
    // As in the terrestrial file the plug-in writes: the cable band's rows
    // behind a declaration that is commented out.
    const std::string file = "$UHF 0\r\n;$CATV 1\r\n13ch 0 0\r\nC13ch 1 50\r\nC14ch 1 51\r\n; x\r\nC15ch 1 52\r\n";
    std::string text = CheckText(JudgeWith(L"C:\\TV\\Zendrel-T.dll", file, Board(1, "Ec1Bt1")));
    EXPECT_NE(text.find("\n  lines 4 to 7 (3): disabled: CATV (space 1) is commented out on line 2;"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("line 5:"), std::string::npos) << text;
    EXPECT_NE(text.find(": 1 channel\nboard: C:\\TV\\EarthPtDll.dll: version 1, 1 board\n"), std::string::npos) << text;
    EXPECT_NE(text.find("verdict: 5 lines read: 0 dropped, 3 disabled on purpose, 0 not taken as written, 0 warnings"),
              std::string::npos)
        << text;
}

TEST(Report, JsonShapesKeepTheirFieldNames)
{
    // Bytes that are not UTF-8 must not abort a tool built without exceptions.
    EXPECT_EQ(JsonText(Json("a\"b\\c\n\x01\xE3\x83\x86\xFF")), "\"a\\\"b\\\\c\\n\\u0001\xE3\x83\x86\xEF\xBF\xBD\"");

    TsAnalyzer ts;
    Bytes stream = Stream(70, 0x4010);
    ts.Feed(stream.data(), stream.size());
    RecordSummary s;
    s.outcome = "complete";
    EXPECT_EQ(Keys(RecordSummaryJson(s, ts)),
              "command ok code outcome error driver file space space_name channel channel_name start end seconds bytes "
              "average_mbps peak_mbps packets partial_packet_bytes sync_losses skipped_bytes continuity_errors "
              "transport_errors scrambled_packets ts_id signal_db min average max pids pid packets continuity_errors "
              "transport_errors scrambled_packets pid packets continuity_errors transport_errors scrambled_packets "
              "gaps no_signal ");
    EXPECT_EQ(Keys(ScanJson("D", "T", {ScanRow()}, 1, false, "", "", "")),
              "command ok code interrupted error driver tuner seconds channels space space_name channel name tuned "
              "signal_db ts_id tuned with_ts_id channel_file ");
    Judgement j = JudgeWith(L"C:\\TV\\Zendrel-S.dll", "$BS 0\r\n", Board(1, "Ec1Bs1"));
    EXPECT_EQ(Keys(CheckJson(j)),
              "command ok code driver kind kind_letter tuner_digit settings_file path exists out_lnb auto_make "
              "channel_file path exists legacy_path legacy_exists source bytes encoding error folder_writable lines "
              "line fate reason message text band space channel name pt_channel ts_id problems warnings spaces space "
              "name channels dropped disabled changed board library error version boards tried tuner loads cause ");
}

TEST(Report, ScanWritesAChannelFileTheRulesReadBack)
{
    ChannelVerdict builtIn = CheckChannelText(
        std::string(reinterpret_cast<const char*>(g_satelliteChannelText), sizeof g_satelliteChannelText), false, Same);
    std::vector<ScanRow> rows(3);
    rows[0] = {0, 0, "BS", "BS1/TS0", true, 18.5, 0x4010};
    rows[1] = {0, 1, "BS", "BS1/TS1", false, 0, -1};  // not tuned: written disabled
    rows[2] = {1, 0, "CS110", "ND2", true, 17, 0x6020};
    std::string text, error;
    ASSERT_TRUE(FoundChannelText(*builtIn.tables, false, rows, Same, "today", &text, &error)) << error;
    ChannelVerdict found = CheckChannelText(text, false, Same);
    EXPECT_TRUE(found.Clean());
    ASSERT_EQ(found.tables->table[0].count, 1);
    EXPECT_EQ(found.tables->table[0].entries[0].tsId, 0x4010);
    EXPECT_EQ(found.tables->table[1].entries[0].ptChannel, 12);

    rows[2].name = "ND4";  // the list the plug-in showed is not these tables
    EXPECT_FALSE(FoundChannelText(*builtIn.tables, false, rows, Same, "today", &text, &error));
}

TEST(Report, TextsFromMessagesAndNames)
{
    EXPECT_EQ(FillInserts("%1 is not a valid application; %2!s! too", "x.dll"),
              "x.dll is not a valid application; x.dll too");
    EXPECT_EQ(PartialName(L"C:\\rec\\bs.ts", 1), L"C:\\rec\\bs.partial.ts");
    EXPECT_EQ(PartialName(L"C:\\rec.d\\bs", 2), L"C:\\rec.d\\bs.partial-2");
    EXPECT_EQ(FirstCharacters("\xE3\x83\x86\xE3\x82\xB9x", 2), "\xE3\x83\x86\xE3\x82\xB9");

    RateMeter rate;
    rate.Add(0.5, 1000000);
    rate.Add(1.5, 4000000);  // 4 MB in the first 1.5 s: 21.33 Mbit/s
    rate.Add(2.5, 4500000);
    EXPECT_NEAR(rate.PeakMbps(10), 21.33, 0.01);
}

TEST(Report, ChannelNamesFoundRegardlessOfCaseAndWidth)
{
    std::vector<ListedChannel> listed = {{0, 0, "BS", "BS1/TS0"}, {0, 1, "BS", "BS13/TS0"}, {0, 2, "BS", "BS13/TS1"},
                                         {1, 0, "CS110", "ND2"},  {1, 1, "CS110", "nd2"}};
    const struct {
        const char* wanted;
        bool haveSpace;
        uint32_t space;
        const char* expected;  // "space/channel", or the start of the error and a part of it
    } cases[] = {
        {"BS1/TS0", false, 0, "0/0"},
        {"bs1/ts0", false, 0, "0/0"},
        {"\xEF\xBC\xA2\xEF\xBD\x93\xEF\xBC\x91/TS0", false, 0, "0/0"},  // full-width "Ｂｓ１"
        {"nd2", false, 0, "1/1"},                                       // exact beats folded
        {"Nd2", false, 0, "ambiguous_channel: give the name exactly"},
        {"bs13", false, 0, "no_channel: did you mean \"BS13/TS0\" or \"BS13/TS1\"?"},
        {"BS1/TS9", false, 0, "no_channel: did you mean \"BS1/TS0\"?"},
        {"BS1/TS0", true, 1, "no_channel: in space 1"},
    };
    for (const auto& c : cases) {
        ChannelChoice choice = ChooseChannel(listed, c.wanted, c.haveSpace, c.space);
        std::string got = choice.found ? std::to_string(choice.channel.space) + "/" +
                                             std::to_string(choice.channel.channel)
                                       : choice.code + ": " + choice.error;
        std::string expected = c.expected;
        size_t part = expected.find(": ");
        if (part == std::string::npos)
            EXPECT_EQ(got, expected) << c.wanted;
        else
            EXPECT_TRUE(got.compare(0, part, expected, 0, part) == 0 &&
                        got.find(expected.substr(part + 2)) != std::string::npos)
                << c.wanted << ": " << got;
    }
}

TEST(Report, RecordOutcomesKeepTheirExitCodes)
{
    EXPECT_EQ(RecordExitCode("complete"), 0);
    EXPECT_EQ(RecordExitCode("failed"), 1);
    EXPECT_EQ(RecordExitCode("no_data"), 3);
    EXPECT_EQ(RecordExitCode("device_lost"), 4);
    EXPECT_EQ(RecordExitCode("gaps"), 5);
    EXPECT_EQ(RecordExitCode("interrupted"), 130);

    // What went wrong leads the summary, before any figure.
    TsAnalyzer ts;
    RecordSummary s;
    s.outcome = "gaps";
    s.error = "1 gap(s)";
    s.gaps.push_back({1.5, "2024-05-01T21:30:05+09:00", 2.25});
    const std::string lead =
        "outcome: gaps: 1 gap(s)\nwarning: the stream stopped at 1.50 s (21:30:05), for 2.25 s\nfile:";
    EXPECT_EQ(RecordSummaryText(s, ts).substr(0, lead.size()), lead);
}
