// Zendrel-Net.dll loaded as a host loads it, against scripted servers that
// stop sending, close, reset, are busy or refuse: what the host sees, and
// that it never waits for a server when it closes.
#include "tests/netdll/NetDll.h"
#include "testsupport/ScriptedServer.h"

namespace {

const std::string kList = ChannelsJson({"BS1", "BS3"});

// Lists kList; the index-th stream request (from 0) gets stream(index).
ScriptedServer* Serving(std::function<Reply(int streamIndex)> stream)
{
    auto streams = std::make_shared<int>(0);
    return new ScriptedServer([stream, streams](const std::string& path, int) {
        Reply reply;
        if (path == "/api/channels")
            reply.body = kList;
        else if (path == "/api/status")
            reply.body = "{\"tuners\":[{\"copy\":\"Zendrel-S1.dll\",\"signal_db\":31.5}]}";
        else
            reply = stream((*streams)++);
        return reply;
    });
}

Reply Stream(const std::string& bytes, Reply::End end)
{
    Reply reply;
    reply.stream = true;
    reply.headers = "Zendrel-Tuner: Zendrel-S1.dll\r\n";
    reply.chunks = {bytes};
    reply.end = end;
    return reply;
}

Reply Status(int status)
{
    Reply reply;
    reply.status = status;
    reply.body = "{\"error\":\"busy\"}";
    return reply;
}

// A server that has stopped sending: CloseTuner, a tune elsewhere and
// Release return at once. The reader left in its read ends at StallMs on its
// own and only then lets the DLL go; meanwhile a host that loads it again
// gets a new instance.
TEST(NetDll, StalledServerNeverHoldsTheHost)
{
    Folder folder;
    std::unique_ptr<ScriptedServer> server(Serving([](int) { return Stream(Packets(20), Reply::kStall); }));
    NetHost host(folder, L"Zendrel-Net.dll", {server->Url()});
    ASSERT_TRUE(host.Load());
    Driver d = host.driver();
    ASSERT_TRUE(d.OpenTuner());
    ASSERT_TRUE(d.SetChannel(0, 0));
    EXPECT_EQ(host.Read(20 * 188, 3000).substr(0, 20 * 188), Packets(20));
    LARGE_INTEGER start = Now();
    d.CloseTuner();
    // Far below StallMs (1000): it did not wait for the reader. How fast it
    // returns is the benchmark's to measure.
    EXPECT_LT(MsSince(start), 500);
    ASSERT_TRUE(d.OpenTuner());
    ASSERT_TRUE(d.SetChannel(0, 1));
    EXPECT_EQ(host.Read(20 * 188, 3000).substr(0, 20 * 188), Packets(20));
    start = Now();
    d.Release();
    EXPECT_LT(MsSince(start), 500);
    host.ReleaseAndUnload();
    EXPECT_TRUE(host.StillLoaded());

    NetHost again(folder, L"Zendrel-Net.dll", {server->Url()});
    ASSERT_TRUE(again.Load());
    EXPECT_NE(again.instance(), nullptr);
    again.ReleaseAndUnload();
    for (int i = 0; i < 100 && host.StillLoaded(); ++i)
        Sleep(50);
    EXPECT_FALSE(host.StillLoaded());
    for (int i = 0; i < 100 && server->Open() != 0; ++i)
        Sleep(20);
    EXPECT_EQ(server->Open(), 0);
}

// A stream that ends without its last chunk (a clean close) or is reset is
// tuned again; the host gets every whole packet, in order.
TEST(NetDll, ClosedAndResetStreamsTunedAgain)
{
    Folder folder;
    std::unique_ptr<ScriptedServer> server(Serving([](int index) {
        if (index == 0)
            return Stream(Packets(5, 0), Reply::kClose);
        if (index == 1)
            return Stream(Packets(5, 5), Reply::kReset);
        return Stream(Packets(5, 10), Reply::kStall);
    }));
    NetHost host(folder, L"Zendrel-Net.dll", {server->Url()});
    ASSERT_TRUE(host.Load());
    Driver d = host.driver();
    ASSERT_TRUE(d.OpenTuner());
    ASSERT_TRUE(d.SetChannel(0, 0));
    // Less the stuffing packets of ScriptedServer, which a server may add.
    std::string got, stuffing = "\x47\x1F";
    for (int i = 0; i < 50 && got.size() < 15 * 188; ++i) {
        std::string more = host.Read(188, 200);
        for (size_t at = 0; at + 188 <= more.size(); at += 188)
            if (more.compare(at, 2, stuffing) != 0)
                got += more.substr(at, 188);
    }
    std::string firsts;
    for (size_t at = 0; at + 1 < got.size(); at += 188)
        firsts += std::to_string(static_cast<unsigned char>(got[at + 1])) + " ";
    EXPECT_TRUE(got.substr(0, 15 * 188) == Packets(15)) << firsts;
    int streams = 0;
    for (const std::string& path : server->Requests())
        streams += path == "/stream/S/0/0" ? 1 : 0;
    EXPECT_EQ(streams, 3);
    EXPECT_STREQ(d.GetTunerName(), (L"Zendrel-Net 127.0.0.1:" + std::to_wstring(server->Port())).c_str());
}

// A server that refuses connections and one that is busy (503) are passed
// over for the next that lists the channel; the signal is that of the tuner
// serving the stream.
TEST(NetDll, RefusedAndBusyServersPassedOver)
{
    Folder folder;
    std::unique_ptr<ScriptedServer> busy(new ScriptedServer([](const std::string& path, int) {
        Reply reply = Status(503);
        if (path == "/api/channels") {
            reply.status = 200;
            reply.body = kList;
        }
        return reply;
    }));
    std::unique_ptr<ScriptedServer> good(Serving([](int) { return Stream(Packets(3), Reply::kStall); }));
    std::string refusing = "127.0.0.1:" + std::to_string(RefusingPort());
    NetHost host(folder, L"Zendrel-Net.dll", {refusing, busy->Url(), good->Url()});
    ASSERT_TRUE(host.Load());
    Driver d = host.driver();
    ASSERT_TRUE(d.OpenTuner());
    ASSERT_TRUE(d.SetChannel(0, 1));
    EXPECT_EQ(host.Read(3 * 188, 3000).substr(0, 3 * 188), Packets(3));
    EXPECT_EQ(busy->Requests().back(), "/stream/S/0/1");
    EXPECT_STREQ(d.GetTunerName(), (L"Zendrel-Net 127.0.0.1:" + std::to_wstring(good->Port())).c_str());
    float level = 0;
    for (int i = 0; i < 100 && (level = d.GetSignalLevel()) == 0; ++i)
        Sleep(20);
    EXPECT_FLOAT_EQ(level, 31.5f);
}

// The first load writes the channel cache; the settings file comes at the
// first release. With every server down, the channels are still listed, and
// a tune fails within TuneMs.
TEST(NetDll, ChannelsListedWhileServersAreDown)
{
    Folder folder;
    std::unique_ptr<ScriptedServer> server(Serving([](int) { return Stream("", Reply::kLastChunk); }));
    {
        NetHost host(folder, L"Zendrel-Net.dll", {server->Url()});
        DeleteFileW(folder.Path(L"Zendrel-Net.ini").c_str());  // none yet: the default server
        ASSERT_TRUE(host.Load());
        EXPECT_STREQ(host.driver().GetTunerName(), L"Zendrel-Net 127.0.0.1:40080");
    }
    std::string written = folder.Read(L"Zendrel-Net.ini");
    EXPECT_NE(written.find("[Servers]\r\nServer1=http://127.0.0.1:40080/\r\n"), std::string::npos);
    folder.Write(L"Zendrel-Net.ini", SettingsText({server->Url()}));
    NetHost host(folder, L"Zendrel-Net.dll", {});
    ASSERT_TRUE(host.Load());
    host.ReleaseAndUnload();
    EXPECT_TRUE(folder.Exists(L"Zendrel-Net.channels.cache"));
    server->Stop();

    folder.Write(L"Zendrel-Net.ini", SettingsText({server->Url()}, "TuneMs=700\r\n"));
    NetHost later(folder, L"Zendrel-Net.dll", {});
    LARGE_INTEGER start = Now();
    ASSERT_TRUE(later.Load());
    EXPECT_LT(MsSince(start), 1000);
    Driver d = later.driver();
    EXPECT_STREQ(d.EnumTuningSpace(0), L"BS");
    EXPECT_STREQ(d.EnumChannelName(0, 1), L"BS3");
    EXPECT_EQ(d.EnumChannelName(0, 2), nullptr);
    start = Now();
    EXPECT_FALSE(d.SetChannel(0, 1));
    EXPECT_LT(MsSince(start), 900);
    EXPECT_EQ(d.GetCurChannel(), 0xFFFFFFFFu);
}

}  // namespace
