// Hosts that read the stream on one thread while they tune and close on
// another, with real threads and the real clock (and, in the thread-checking
// build, ThreadSanitizer watching every shared field).
#include <atomic>
#include <chrono>
#include <thread>

#include "tests/driver/DriverTest.h"

namespace {

const int32_t kHandleBs1 = 258;

void ReadUntil(DriverCore& core, const std::atomic<bool>& stop)
{
    uint8_t buffer[188 * 16];
    while (!stop.load()) {
        uint32_t size = sizeof buffer;
        uint32_t remain = 0;
        core.GetTsStream(buffer, &size, &remain);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

}  // namespace

class ThreadTest : public DriverTest
{
protected:
    void SetUp() override
    {
        os.realTime = true;
        ASSERT_TRUE(Load(L"Zendrel-S.dll"));
    }
};

TEST_F(ThreadTest, ReadsOverlappingATuneWaitInsteadOfRestartingTheStream)
{
    board.SetReadyBytes(1u << 30);
    ASSERT_TRUE(Core().OpenTuner());
    std::atomic<bool> stop(false);
    std::thread reader(ReadUntil, std::ref(Core()), std::cref(stop));
    for (int i = 0; i < 12; ++i)
        EXPECT_TRUE(Core().SetChannel(0, i % 2));
    stop = true;
    reader.join();
    EXPECT_EQ(board.StreamDuringTune(), 0) << "the stream ran before the TS ID was selected";
    EXPECT_EQ(Core().GetCurChannel(), 1u);
}

TEST_F(ThreadTest, CloseTunerIsNeverUndoneByARacingRead)
{
    board.SetReadyBytes(1u << 30);
    board.callMicros = 50;  // widens the window between a read's checks
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(Core().OpenTuner());
        std::atomic<bool> stop(false);
        std::thread reader(ReadUntil, std::ref(Core()), std::cref(stop));
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        Core().CloseTuner();
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        stop = true;
        reader.join();
        FakeTuner tuner = board.Tuner(L"Ec1Bs1");
        ASSERT_FALSE(tuner.streaming) << "try " << i;
        ASSERT_TRUE(tuner.sleeping) << "try " << i;
    }
}

TEST_F(ThreadTest, WaitingForeverEndsWhenAnotherThreadClosesTheTuner)
{
    ASSERT_TRUE(Core().OpenTuner());
    std::atomic<bool> returned(false);
    std::atomic<uint32_t> result(1);
    std::thread waiter([&] {
        result = Core().WaitTsStream(0);
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Core().CloseTuner();
    // A generous bound: this checks that the wait ends, not how fast.
    for (int i = 0; i < 200 && !returned.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    bool ended = returned.load();
    if (!ended) {
        // Let a waiter that missed the close go, so that the test can end.
        FakeBoard::Calls()->PtDllSetStreamEnable(kHandleBs1, 1);
        board.SetReadyBytes(188);
    }
    waiter.join();
    EXPECT_TRUE(ended) << "WaitTsStream(0) went on waiting after CloseTuner";
    EXPECT_EQ(result.load(), 0u);
}

TEST_F(ThreadTest, ReleaseEndsAWaitOnAnotherThreadBeforeTheInstanceGoes)
{
    ASSERT_TRUE(Core().OpenTuner());
    ASSERT_TRUE(Core().SetChannel(0, 0));
    DriverCore& core = Core();
    std::atomic<uint32_t> result(1);
    std::thread waiter([&] { result = core.WaitTsStream(0); });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    Release();  // the sanitizers see any touch of the freed instance
    waiter.join();
    EXPECT_EQ(result.load(), 0u);
    EXPECT_EQ(os.BlocksAlive(), 0);
}

TEST_F(ThreadTest, TwoThreadsListingChannelsEachGetTheNamesTheyAskedFor)
{
    std::atomic<int> wrong(0);
    auto list = [&](uint32_t channel) {
        for (int i = 0; i < 2000; ++i) {
            const wchar_t* name = Core().EnumChannelName(0, channel);
            std::this_thread::yield();  // as a list view does before it draws the name
            if (name == nullptr || name[2] != (channel == 0 ? L'1' : L'9'))
                ++wrong;
        }
    };
    std::thread a(list, 0);  // BS1/TS0
    std::thread b(list, 4);  // BS9/TS0
    a.join();
    b.join();
    EXPECT_EQ(wrong.load(), 0);
}
