// Zendrel-Net.dll against a real zendrel-host serve of the stand-in with two
// satellite tuners, run by tests/netdll/net_e2e.sh, which passes serve's port
// in ZENDREL_SERVE_PORT (without it these tests are skipped). Hosts are copies
// of the DLL under their own names, each with its own settings file.
#include <stdlib.h>

#include "tests/netdll/NetDll.h"

namespace {

uint16_t ServePort()
{
    const char* port = getenv("ZENDREL_SERVE_PORT");
    return port != nullptr ? static_cast<uint16_t>(atoi(port)) : 0;
}

bool WholePackets(const std::string& bytes)
{
    for (size_t at = 0; at < bytes.size(); at += 188)
        if (bytes[at] != '\x47')
            return false;
    return !bytes.empty();
}

// Waits until serve's status holds text.
bool StatusHas(uint16_t port, const std::string& text)
{
    for (int i = 0; i < 100; ++i) {
        if (GetText(port, "/api/status").find(text) != std::string::npos)
            return true;
        Sleep(50);
    }
    return false;
}

// Two hosts of one channel share a tuner; a third channel takes the second
// tuner; a fourth is refused while both are taken, and a host that closes
// frees its tuner for the next.
TEST(ServeNet, TunersSharedAndRefused)
{
    uint16_t port = ServePort();
    if (port == 0)
        GTEST_SKIP() << "run by net_e2e.sh, which starts serve";
    std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
    Folder folder;
    NetHost a(folder, L"Zendrel-Net-A.dll", {url}), b(folder, L"Zendrel-Net-B.dll", {url});
    NetHost c(folder, L"Zendrel-Net-C.dll", {url}), d(folder, L"Zendrel-Net-D.dll", {url});
    for (NetHost* host : {&a, &b, &c, &d}) {
        ASSERT_TRUE(host->Load());
        ASSERT_TRUE(host->driver().OpenTuner());
    }
    EXPECT_STREQ(a.driver().EnumTuningSpace(0), L"BS");
    EXPECT_STREQ(a.driver().EnumChannelName(0, 0), L"BS1/TS0");

    ASSERT_TRUE(a.driver().SetChannel(0, 0));
    ASSERT_TRUE(b.driver().SetChannel(0, 0));
    EXPECT_TRUE(StatusHas(port, "\"clients\":2"));
    std::string fromA = a.Read(188 * 1000, 5000), fromB = b.Read(188 * 1000, 5000);
    EXPECT_TRUE(WholePackets(fromA) && fromA.size() >= 188 * 1000);
    EXPECT_TRUE(WholePackets(fromB) && fromB.size() >= 188 * 1000);

    ASSERT_TRUE(c.driver().SetChannel(0, 1));
    EXPECT_TRUE(WholePackets(c.Read(188 * 100, 5000)));
    LARGE_INTEGER start = Now();
    EXPECT_FALSE(d.driver().SetChannel(0, 2));
    EXPECT_LT(MsSince(start), 3500);

    // Once serve has seen the stream end, the next host gets the tuner.
    c.driver().CloseTuner();
    bool tuned = false;
    for (int i = 0; i < 10 && !(tuned = d.driver().SetChannel(0, 2)); ++i)
        Sleep(100);
    ASSERT_TRUE(tuned);
    EXPECT_TRUE(WholePackets(d.Read(188 * 100, 5000)));
    float level = 0;
    for (int i = 0; i < 100 && (level = a.driver().GetSignalLevel()) == 0; ++i)
        Sleep(20);
    EXPECT_GT(level, 0.0f);
}

}  // namespace
