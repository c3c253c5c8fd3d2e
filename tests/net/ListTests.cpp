// Settings, the servers' channel lists merged, and the cache that lists them
// while the servers are down.
#include "net/Json.h"
#include "net/Settings.h"
#include "net/Text.h"
#include "tests/net/NetTest.h"

namespace {

const char kTwoServers[] = "[Servers]\r\nServer1=http://a:40080/\r\nServer2=b\r\n";

// 地上波 and ＮＨＫ総合 in UTF-8, the second with an escaped character.
const char kTerrestrial[] = "\xE5\x9C\xB0\xE4\xB8\x8A\xE6\xB3\xA2";
const char kNhk[] = "\xEF\xBC\xAE\\uFF28\xEF\xBC\xAB\xE7\xB7\x8F\xE5\x90\x88";

TEST(NetSettings, ServerAddresses)
{
    ServerAddress s;
    ASSERT_TRUE(ParseServerAddress(L" http://192.168.1.20:40081/ ", &s));
    EXPECT_EQ(std::wstring(s.host), L"192.168.1.20");
    EXPECT_EQ(s.port, 40081);
    EXPECT_STREQ(s.key, "192.168.1.20:40081");
    ASSERT_TRUE(ParseServerAddress(L"HTTP://tv-pc", &s));
    EXPECT_STREQ(s.key, "tv-pc:40080");
    for (const wchar_t* bad : {L"https://tv-pc/", L"http://tv-pc/stream", L"tv-pc:0", L"tv-pc:65536", L"",
                               L"http://", L"tv pc", L"ftp://tv-pc"})
        EXPECT_FALSE(ParseServerAddress(bad, &s)) << std::wstring(bad).size();
}

// The file written at the first release holds the defaults, read back as
// they were; a file that exists is read and never written over.
TEST_F(NetTest, DefaultSettingsWrittenAtReleaseAndReadBack)
{
    NetCore* core = Load();
    Timeouts defaults = core->GetTimeouts();
    EXPECT_EQ(os.File(kNetIni), "");
    Release();
    std::string written = os.File(kNetIni);
    EXPECT_EQ(written, std::string(g_defaultNetSettingsText));

    os.files[kNetIni] += "; mine\r\n";
    core = Load();
    EXPECT_EQ(core->GetTimeouts().connectMs, defaults.connectMs);
    EXPECT_EQ(core->GetTimeouts().listMs, defaults.listMs);
    EXPECT_EQ(core->GetTimeouts().tuneMs, defaults.tuneMs);
    EXPECT_EQ(core->GetTimeouts().stallMs, defaults.stallMs);
    EXPECT_EQ(std::wstring(core->GetTunerName()), L"Zendrel-Net 127.0.0.1:40080");
    Release();
    EXPECT_EQ(os.File(kNetIni), written + "; mine\r\n");
}

TEST_F(NetTest, SettingsServersInOrderTimeoutsHeldToRange)
{
    Settings("[Servers]\r\nServer1=nonsense://x\r\nServer2=b\r\nServer3=http://a:40080/\r\nServer4=b:40080\r\n"
             "[Timeouts]\r\nConnectMs=1\r\nStallMs=99999999\r\nTuneMs=700\r\n");
    ServeChannels(kServerA, {{"S", 0, "BS", 0, "A1"}});
    ServeChannels(kServerB, {{"S", 0, "BS", 0, "B1"}});
    NetCore* core = Load();
    EXPECT_EQ(core->GetTimeouts().connectMs, 100u);
    EXPECT_EQ(core->GetTimeouts().stallMs, 60000u);
    EXPECT_EQ(core->GetTimeouts().tuneMs, 700u);
    // b first, a second, b once.
    EXPECT_EQ(Names(core, 0), (std::vector<std::wstring>{L"B1", L"A1"}));
    EXPECT_EQ(net.Requests(), (std::vector<std::string>{"b:40080/api/channels", "a:40080/api/channels"}));
}

// Two servers with one channel in common: one entry for it, asked of each
// server with that server's own numbers; the names as the servers give them.
TEST_F(NetTest, ListsOfServersMerged)
{
    Settings(kTwoServers);
    auto stream = std::make_shared<FakeBody>();
    ServeChannels(kServerA, {{"T", 0, kTerrestrial, 0, kNhk}, {"T", 0, kTerrestrial, 1, "E"}});
    ServeChannels(kServerB, {{"S", 0, "BS", 0, "BS1"}, {"T", 1, kTerrestrial, 5, "E"}, {"T", 1, kTerrestrial, 6, "F"}},
                  stream);
    NetCore* core = Load();
    EXPECT_EQ(std::wstring(core->EnumTuningSpace(0)), L"\u5730\u4E0A\u6CE2");
    EXPECT_EQ(std::wstring(core->EnumTuningSpace(1)), L"BS");
    EXPECT_EQ(core->EnumTuningSpace(2), nullptr);
    EXPECT_EQ(Names(core, 0), (std::vector<std::wstring>{L"\uFF2E\uFF28\uFF2B\u7DCF\u5408", L"E", L"F"}));
    EXPECT_EQ(Names(core, 1), (std::vector<std::wstring>{L"BS1"}));

    // E is a's channel 1 first; with a busy it is b's space 1 channel 5.
    net.Serve(kServerA, [](const std::string&) { return TextAnswer(503, "{}"); });
    EXPECT_TRUE(core->SetChannel(0, 1));
    std::vector<std::string> streams;
    for (const std::string& asked : net.Requests())
        if (asked.find("/stream/") != std::string::npos)
            streams.push_back(asked);
    EXPECT_EQ(streams, (std::vector<std::string>{"a:40080/stream/T/0/1", "b:40080/stream/T/1/5"}));
    EXPECT_EQ(std::wstring(core->GetTunerName()), L"Zendrel-Net b:40080");
    Release();
    stream->End();
}

// The lists as last read come back when every server is down, with the same
// numbers; an answer that is no list (a page of HTML, cut JSON) or one that
// could not read a kind keeps the last whole one.
TEST_F(NetTest, CacheListsChannelsWhileServersAreDown)
{
    Settings(kTwoServers);
    ServeChannels(kServerA, {{"T", 0, "T0", 0, "A"}, {"T", 0, "T0", 1, "B"}});
    ServeChannels(kServerB, {{"S", 0, "BS", 3, "C"}});
    NetCore* core = Load();
    std::vector<std::wstring> before = Names(core, 0);
    Release();
    std::string cache = os.File(kNetCache);
    ASSERT_NE(cache, "");

    net.Stop(kServerA);
    net.Serve(kServerB, [](const std::string&) { return TextAnswer(200, "<html><body>router</body></html>"); });
    core = Load();
    EXPECT_EQ(Names(core, 0), before);
    EXPECT_EQ(Names(core, 1), (std::vector<std::wstring>{L"C"}));
    Release();
    EXPECT_EQ(os.File(kNetCache), cache);

    net.Serve(kServerB, [](const std::string&) {
        return TextAnswer(200, "{\"channels\":[],\"errors\":[{\"kind\":\"S\",\"error\":\"busy\"}]}");
    });
    ServeChannels(kServerA, {{"T", 0, "T0", 0, "A"}, {"T", 0, "T0", 1, "B"}, {"T", 0, "T0", 2, "New"}});
    core = Load();
    EXPECT_EQ(Names(core, 0), (std::vector<std::wstring>{L"A", L"B", L"New"}));
    EXPECT_EQ(Names(core, 1), (std::vector<std::wstring>{L"C"}));
    Release();
    EXPECT_NE(os.File(kNetCache).find("New"), std::string::npos);
    EXPECT_NE(os.File(kNetCache).find("\"C\""), std::string::npos);

    // Bad JSON in the cache itself lists nothing and harms nothing.
    net.Stop(kServerA);
    net.Stop(kServerB);
    os.files[kNetCache] = os.File(kNetCache).substr(0, 60);
    core = Load();
    EXPECT_EQ(core->EnumTuningSpace(0), nullptr);
    EXPECT_EQ(core->EnumChannelName(0, 0), nullptr);
}

// A server that takes the connection and never answers holds the load no
// longer than ListMs, all servers together: one after it that the time does
// not reach is listed from the cache (here there is none).
TEST_F(NetTest, LoadBoundedByListMs)
{
    Settings(std::string(kTwoServers) + "[Timeouts]\r\nListMs=600\r\nConnectMs=300\r\n");
    net.Serve(kServerA, [](const std::string&) {
        FakeAnswer answer;
        answer.delayMs = 60000;
        return answer;
    });
    ServeChannels(kServerB, {{"S", 0, "BS", 0, "B1"}});
    auto start = std::chrono::steady_clock::now();
    NetCore* core = Load();
    EXPECT_LT(MsSince(start), 900);
    EXPECT_EQ(core->EnumChannelName(0, 0), nullptr);
}

TEST(NetJson, StringsAndNumbers)
{
    const char text[] = "{\"a\":\"x\\\"\\\\\\/\\n\\u00e9\\ud83d\\ude00\\ud800z\",\"n\":-12.5e1,\"u\":4294967295,"
                        "\"big\":4294967296,\"nothing\":null,\"list\":[1,{\"a\":2}],\"last\":\"\xE6\x97\xA5\"}";
    jsmntok_t tokens[32];
    JsonDoc doc;
    ASSERT_TRUE(ParseJsonObject(&doc, text, sizeof text - 1, tokens, 32));
    char out[64];
    ASSERT_TRUE(JsonText(doc, JsonMember(doc, 0, "a"), out, sizeof out));
    EXPECT_EQ(std::string(out), "x\"\\/\n\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBDz");
    double number = 0;
    EXPECT_TRUE(JsonNumber(doc, JsonMember(doc, 0, "n"), &number));
    EXPECT_DOUBLE_EQ(number, -125);
    EXPECT_FALSE(JsonNumber(doc, JsonMember(doc, 0, "nothing"), &number));
    uint32_t value = 0;
    EXPECT_TRUE(JsonUnsigned(doc, JsonMember(doc, 0, "u"), &value));
    EXPECT_FALSE(JsonUnsigned(doc, JsonMember(doc, 0, "big"), &value));
    EXPECT_FALSE(JsonUnsigned(doc, JsonMember(doc, 0, "n"), &value));
    ASSERT_TRUE(JsonText(doc, JsonMember(doc, 0, "last"), out, sizeof out));
    EXPECT_EQ(std::string(out), "\xE6\x97\xA5");
    // Cut whole characters only.
    ASSERT_TRUE(JsonText(doc, JsonMember(doc, 0, "a"), out, 8));
    EXPECT_EQ(std::string(out), "x\"\\/\n\xC3\xA9");

    for (const char* bad : {"<html></html>", "[1,2]", "{\"a\":\"\\q\"}", "{\"a\":1", "{\"a\":x}"}) {
        JsonDoc d;
        EXPECT_FALSE(ParseJsonObject(&d, bad, strlen(bad), tokens, 32)) << bad;
    }
}

TEST(NetText, Utf8ToWide)
{
    wchar_t out[8];
    // A stray continuation byte, an overlong form, a cut sequence.
    const char text[] = "a\x80\xC0\xAF\xE6\x97";
    EXPECT_EQ(Utf8ToWide(text, sizeof text - 1, out, 8), 6u);
    EXPECT_EQ(std::wstring(out), L"a\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
    // Cut to the field, never between the halves of a pair.
    const char pair[] = "ab\xF0\x9F\x98\x80";
    EXPECT_EQ(Utf8ToWide(pair, sizeof pair - 1, out, 4), 2u);
    EXPECT_EQ(std::wstring(out), L"ab");
}

}  // namespace
