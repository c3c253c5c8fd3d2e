// A host that reads the stream on one thread while its other thread tunes,
// as hosts in daily use do: for ten seconds a stream thread reads every 5 ms
// while a UI thread switches between two BS channels. No read sees a
// transport stream that was not selected, a read that no tune overlapped
// sees only the channel tuned last, and nothing hangs.
#include <atomic>
#include <thread>

#include "tests/dll/PluginTest.h"

namespace {

const DWORD kRunMs = 10000;
const uint16_t kTsIds[2] = {0x4010, 0x4011};  // BS channels 0 and 1

// transport_stream_id of every PAT that starts in the packets read.
std::vector<int> PatTsIds(const BYTE* data, DWORD size)
{
    std::vector<int> ids;
    for (DWORD at = 0; at + 188 <= size; at += 188) {
        const BYTE* p = data + at;
        bool patStart = p[0] == 0x47 && (p[1] & 0x5F) == 0x40 && p[2] == 0x00;
        if (!patStart || !(p[3] & 0x10))
            continue;
        DWORD payload = 4 + ((p[3] & 0x20) ? 1 + p[4] : 0);
        if (payload + 1 + p[payload] + 5 > 188)
            continue;
        const BYTE* section = p + payload + 1 + p[payload];
        if (section[0] == 0x00)
            ids.push_back((section[3] << 8) | section[4]);
    }
    return ids;
}

}  // namespace

class ThreadTest : public PluginTest
{
};

TEST_F(ThreadTest, StreamThreadAndTuningThreadForTenSeconds)
{
    Plugin plugin(folder.AddPlugin(L"Zendrel-S.dll"));
    ASSERT_TRUE(plugin.Load());
    Driver driver = plugin.driver();
    ASSERT_TRUE(driver.OpenTuner());
    ASSERT_TRUE(driver.SetChannel(0, 0));
    ept->EptSimSetLogging(0);

    // tunes counts finished tunes; tuning is set while one runs.
    std::atomic<int> tunes(0);
    std::atomic<bool> tuning(false);
    std::atomic<int> expected(kTsIds[0]);
    std::atomic<bool> stop(false);
    int reads = 0;
    int unselected = 0;
    int stale = 0;
    std::thread reader([&] {
        std::vector<BYTE> buffer(188 * 256);
        while (!stop.load()) {
            int before = tunes.load();
            bool quietBefore = !tuning.load();
            int id = expected.load();
            DWORD size = static_cast<DWORD>(buffer.size());
            DWORD remain = 0;
            driver.GetTsStream(buffer.data(), &size, &remain);
            bool quiet = quietBefore && !tuning.load() && tunes.load() == before;
            for (int got : PatTsIds(buffer.data(), size)) {
                if (got != kTsIds[0] && got != kTsIds[1])
                    ++unselected;
                else if (quiet && got != id)
                    ++stale;
            }
            ++reads;
            Sleep(5);
        }
    });
    DWORD start = timeGetTime();
    for (int i = 1; timeGetTime() - start < kRunMs; ++i) {
        tuning = true;
        EXPECT_TRUE(driver.SetChannel(0, i % 2));
        expected = kTsIds[i % 2];
        ++tunes;
        tuning = false;
        Sleep(40);
    }
    stop = true;
    reader.join();
    EXPECT_GT(tunes.load(), 50);
    EXPECT_GT(reads, 500);
    EXPECT_EQ(unselected, 0) << "packets of a transport stream that was never selected";
    EXPECT_EQ(stale, 0) << "packets of the channel before the last tune";
    driver.CloseTuner();
}
