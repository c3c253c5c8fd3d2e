// zendrel-host's command line: what it accepts and, above all, what it turns
// away before any driver is loaded.
#include <gtest/gtest.h>

#include "host/CommandLine.h"

namespace {

bool Parse(std::vector<std::wstring> args, Command* command, std::wstring* error)
{
    return ParseCommandLine(args, command, error);
}

// For failure messages; anything beyond ASCII shows as '?'.
std::string Shown(const std::vector<std::wstring>& args)
{
    std::string text;
    for (const std::wstring& arg : args) {
        text += '[';
        for (wchar_t c : arg)
            text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
        text += "] ";
    }
    return text;
}

}  // namespace

TEST(CommandLine, RecordTakesItsOptionsInAnyOrder)
{
    Command c;
    std::wstring error;
    ASSERT_TRUE(Parse({L"record", L"--out", L"a b.ts", L"D.dll", L"--channel", L"12", L"--space", L"1",
                       L"--seconds", L"30"},
                      &c, &error))
        << Shown({error});
    EXPECT_EQ(c.kind, CommandKind::kRecord);
    EXPECT_EQ(c.driver, L"D.dll");
    EXPECT_EQ(c.space, 1u);
    EXPECT_EQ(c.channel, 12u);
    EXPECT_EQ(c.seconds, 30u);
    EXPECT_EQ(c.bytes, 0u);
    EXPECT_EQ(c.out, L"a b.ts");
}

TEST(CommandLine, NumbersReachTheirLimits)
{
    Command c;
    std::wstring error;
    ASSERT_TRUE(Parse({L"record", L"D.dll", L"--space", L"4294967295", L"--channel", L"0", L"--bytes",
                       L"18446744073709551615", L"--out", L"x.ts"},
                      &c, &error));
    EXPECT_EQ(c.space, 0xFFFFFFFFu);
    EXPECT_EQ(c.bytes, UINT64_MAX);
    EXPECT_EQ(c.seconds, 0u);
}

TEST(CommandLine, ListScanAndHelp)
{
    Command c;
    std::wstring error;
    ASSERT_TRUE(Parse({L"list", L"C:\\x\\D.dll"}, &c, &error));
    EXPECT_EQ(c.kind, CommandKind::kList);
    EXPECT_EQ(c.driver, L"C:\\x\\D.dll");
    ASSERT_TRUE(Parse({L"scan", L"D.dll"}, &c, &error));
    EXPECT_EQ(c.kind, CommandKind::kScan);
    ASSERT_TRUE(Parse({L"--help"}, &c, &error));
    EXPECT_EQ(c.kind, CommandKind::kHelp);
    ASSERT_TRUE(Parse({L"--version"}, &c, &error));
    EXPECT_EQ(c.kind, CommandKind::kVersion);
    ASSERT_TRUE(Parse({L"init", L"D.dll", L"--json"}, &c, &error));
    EXPECT_EQ(c.kind, CommandKind::kInit);
    EXPECT_TRUE(c.json);
    // init never replaces a file, so it takes no --force; a failed parse
    // still names the verb, for the JSON failure object.
    EXPECT_FALSE(Parse({L"init", L"D.dll", L"--force"}, &c, &error));
    EXPECT_EQ(c.kind, CommandKind::kInit);
}

TEST(CommandLine, EveryCommandHasItsHelpAndAMisspeltOneASuggestion)
{
    Command c;
    std::wstring error;
    const std::vector<std::vector<std::wstring>> asks = {
        {L"record", L"--help"}, {L"record", L"D.dll", L"--bogus", L"-h"}, {L"help", L"record"}};
    for (const std::vector<std::wstring>& args : asks) {
        ASSERT_TRUE(Parse(args, &c, &error)) << Shown(args);
        EXPECT_TRUE(c.help) << Shown(args);
        EXPECT_EQ(c.kind, CommandKind::kRecord) << Shown(args);
    }
    std::string help = CommandHelp(CommandKind::kRecord);
    EXPECT_EQ(help.compare(0, 27, "usage: zendrel-host record "), 0) << help;
    EXPECT_NE(help.find("  record  tune channel C"), std::string::npos) << help;
    EXPECT_EQ(help.find("serve"), std::string::npos) << help;
    for (CommandKind kind : {CommandKind::kList, CommandKind::kScan, CommandKind::kCheck, CommandKind::kInit,
                             CommandKind::kServe})
        EXPECT_NE(UsageText().find(CommandUsage(kind).substr(7)), std::string::npos);

    EXPECT_FALSE(Parse({L"recrod", L"D.dll"}, &c, &error));
    EXPECT_EQ(error, L"unknown command \"recrod\"; did you mean \"record\"?");
    EXPECT_FALSE(Parse({L"Sevre", L"tv"}, &c, &error));
    EXPECT_EQ(error, L"unknown command \"Sevre\"; did you mean \"serve\"?");
    EXPECT_FALSE(Parse({L"play", L"D.dll"}, &c, &error));
    EXPECT_EQ(error, L"unknown command \"play\"; zendrel-host --help lists the commands");
}

TEST(CommandLine, TurnsAwayBadArguments)
{
    const std::vector<std::vector<std::wstring>> bad = {
        {},
        {L"play", L"D.dll"},
        {L"list"},
        {L"list", L"D.dll", L"E.dll"},
        {L"list", L"D.dll", L"--space", L"0"},  // options belong to record
        {L"scan", L""},
        {L"record", L"D.dll", L"--channel", L"0", L"--seconds", L"1", L"--out", L"x.ts"},
        {L"record", L"D.dll", L"--space", L"0", L"--seconds", L"1", L"--out", L"x.ts"},
        {L"record", L"D.dll", L"--space", L"0", L"--channel", L"0", L"--seconds", L"1"},
        {L"record", L"D.dll", L"--space", L"0", L"--channel", L"0", L"--out", L"x.ts"},
        {L"record", L"D.dll", L"--space", L"0", L"--channel", L"0", L"--seconds", L"1", L"--bytes", L"9",
         L"--out", L"x.ts"},
        {L"record", L"D.dll", L"--space", L"0", L"--space", L"1", L"--channel", L"0", L"--seconds", L"1",
         L"--out", L"x.ts"},
        {L"record", L"D.dll", L"--space", L"0", L"--channel", L"0", L"--seconds", L"1", L"--out"},
        {L"record", L"D.dll", L"--space", L"0", L"--channel", L"0", L"--seconds", L"1", L"--out", L""},
        {L"record", L"D.dll", L"--space", L"0", L"--channel", L"0", L"--seconds", L"1", L"--out", L"x.ts",
         L"--rate", L"2"},
    };
    for (const std::vector<std::wstring>& args : bad) {
        Command c;
        std::wstring error;
        EXPECT_FALSE(Parse(args, &c, &error)) << Shown(args);
        EXPECT_FALSE(error.empty()) << Shown(args);
    }
}

TEST(CommandLine, TurnsAwayBadNumbers)
{
    // Each in turn as --space, --channel and --seconds or --bytes.
    const wchar_t* bad[] = {L"", L"-1", L"+1", L" 1", L"1 ", L"12x", L"0x10", L"1.5", L"\uff11"};
    for (const wchar_t* value : bad) {
        for (int slot = 0; slot < 4; ++slot) {
            std::vector<std::wstring> args = {L"record", L"D.dll", L"--space", L"0", L"--channel", L"0",
                                              slot == 3 ? L"--bytes" : L"--seconds", L"1", L"--out", L"x.ts"};
            args[slot == 0 ? 3 : slot == 1 ? 5 : 7] = value;
            Command c;
            std::wstring error;
            // --channel takes what is not an index as a channel's name.
            if (slot == 1 && value[0] != L'\0') {
                EXPECT_TRUE(Parse(args, &c, &error)) << Shown(args);
                EXPECT_EQ(c.channelName, value);
                continue;
            }
            EXPECT_FALSE(Parse(args, &c, &error)) << Shown(args);
        }
    }
    Command c;
    std::wstring error;
    EXPECT_FALSE(Parse({L"record", L"D.dll", L"--space", L"4294967296", L"--channel", L"0", L"--seconds", L"1",
                        L"--out", L"x.ts"},
                       &c, &error))
        << "one past 32 bits";
    EXPECT_FALSE(Parse({L"record", L"D.dll", L"--space", L"0", L"--channel", L"0", L"--bytes",
                        L"18446744073709551616", L"--out", L"x.ts"},
                       &c, &error))
        << "one past 64 bits";
    EXPECT_FALSE(Parse({L"record", L"D.dll", L"--space", L"0", L"--channel", L"0", L"--seconds", L"0",
                        L"--out", L"x.ts"},
                       &c, &error));
    EXPECT_FALSE(Parse({L"record", L"D.dll", L"--space", L"0", L"--channel", L"0", L"--bytes", L"0", L"--out",
                        L"x.ts"},
                       &c, &error));
}

TEST(CommandLine, NamesSwitchesAndTheNewCommands)
{
    Command c;
    std::wstring error;
    ASSERT_TRUE(Parse({L"record", L"D.dll", L"--channel", L"NHK BS1", L"--bytes", L"9", L"--out", L"-", L"--force",
                       L"--json"},
                      &c, &error))
        << Shown({error});
    EXPECT_EQ(c.channelName, L"NHK BS1");
    EXPECT_FALSE(c.haveSpace);
    EXPECT_EQ(c.out, L"-");
    EXPECT_TRUE(c.force && c.json);
    ASSERT_TRUE(Parse({L"check", L"D.dll", L"--board", L"--json"}, &c, &error));
    EXPECT_EQ(c.kind, CommandKind::kCheck);
    EXPECT_TRUE(c.board && c.json);
    ASSERT_TRUE(Parse({L"scan", L"D.dll", L"--write-channels", L"x.txt", L"--force"}, &c, &error));
    EXPECT_EQ(c.writeChannels, L"x.txt");
    EXPECT_TRUE(c.force);

    const std::vector<std::vector<std::wstring>> bad = {
        {L"check", L"D.dll", L"--force"},               // nothing to replace
        {L"list", L"D.dll", L"--board"},                // check only
        {L"scan", L"D.dll", L"--write-channels", L""},  // no file
        {L"record", L"D.dll", L"--channel", L"", L"--seconds", L"1", L"--out", L"x.ts"},
        {L"record", L"D.dll", L"--channel", L"3", L"--seconds", L"1", L"--out", L"x.ts"},  // index without space
    };
    for (const std::vector<std::wstring>& args : bad)
        EXPECT_FALSE(Parse(args, &c, &error)) << Shown(args);
}

TEST(CommandLine, ServeTakesAFolderAndItsLimits)
{
    Command c;
    std::wstring error;
    ASSERT_TRUE(Parse({L"serve", L"C:\\tv"}, &c, &error)) << Shown({error});
    EXPECT_EQ(c.kind, CommandKind::kServe);
    EXPECT_EQ(c.driver, L"C:\\tv");
    EXPECT_EQ(c.listenAddress, 0x7F000001u) << "127.0.0.1 unless told otherwise";
    EXPECT_EQ(c.listenPort, 40080);
    EXPECT_TRUE(c.allow.empty());
    EXPECT_EQ(c.idleSeconds, 10u);
    EXPECT_EQ(c.maxClients, 16u);
    ASSERT_TRUE(Parse({L"serve", L"tv", L"--listen", L"0.0.0.0:8080", L"--allow", L"192.168.1.0/24", L"--allow",
                       L"10.0.0.7", L"--idle-seconds", L"0", L"--max-clients", L"64", L"--json"},
                      &c, &error))
        << Shown({error});
    EXPECT_EQ(c.listenAddress, 0u);
    EXPECT_EQ(c.listenPort, 8080);
    ASSERT_EQ(c.allow.size(), 2u);
    EXPECT_EQ(c.allow[1].prefix, 32);
    EXPECT_EQ(c.idleSeconds, 0u);
    EXPECT_EQ(c.maxClients, 64u);
    EXPECT_TRUE(c.json);

    const std::vector<std::vector<std::wstring>> bad = {
        {L"serve"},
        {L"serve", L"tv", L"--listen", L"40080"},
        {L"serve", L"tv", L"--listen", L"localhost:40080"},
        {L"serve", L"tv", L"--allow", L"192.168.1.1/24"},
        {L"serve", L"tv", L"--allow", L"all"},
        {L"serve", L"tv", L"--max-clients", L"0"},
        {L"serve", L"tv", L"--max-clients", L"65"},
        {L"serve", L"tv", L"--idle-seconds", L"-1"},
        {L"serve", L"tv", L"--listen", L"127.0.0.1:1", L"--listen", L"127.0.0.1:2"},
        {L"serve", L"tv", L"--force"},
        {L"list", L"D.dll", L"--listen", L"127.0.0.1:1"},
    };
    for (const std::vector<std::wstring>& args : bad)
        EXPECT_FALSE(Parse(args, &c, &error)) << Shown(args);
}

TEST(CommandLine, ServeTakesHostNamesAndSaysWhyANetworkIsRefused)
{
    Command c;
    std::wstring error;
    ASSERT_TRUE(Parse({L"serve", L"tv", L"--host", L"tv.home.arpa", L"--host", L"203.0.113.9"}, &c, &error))
        << Shown({error});
    EXPECT_EQ(c.hosts, (std::vector<std::string>{"tv.home.arpa", "203.0.113.9"}));
    EXPECT_FALSE(Parse({L"serve", L"tv", L"--host", L"tv/home"}, &c, &error));
    EXPECT_FALSE(Parse({L"serve", L"tv", L"--host", L"テレビ"}, &c, &error));
    ASSERT_FALSE(Parse({L"serve", L"tv", L"--allow", L"192.168.1.20/24"}, &c, &error));
    EXPECT_NE(error.find(L"must be zero"), std::wstring::npos) << Shown({error});
    EXPECT_NE(error.find(L"192.168.1.0/24"), std::wstring::npos) << Shown({error});
}
