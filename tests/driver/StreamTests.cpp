// Waiting for and reading the stream, against a board whose ready bytes the
// test sets and an OS whose clock only sleeping moves.
#include <algorithm>

#include "tests/driver/DriverTest.h"

class StreamTest : public DriverTest
{
protected:
    void SetUp() override { LoadAndTune(L"Zendrel-S.dll"); }
};

TEST_F(StreamTest, WaitPollsEveryTenMillisecondsUntilItsTimeoutPasses)
{
    EXPECT_EQ(Core().WaitTsStream(100), 0u);
    std::vector<uint32_t> sleeps = os.Sleeps();
    sleeps.erase(sleeps.begin());  // the tuning's settle
    EXPECT_EQ(sleeps, std::vector<uint32_t>(11, 10)) << "polls at 0, 10, ... 100 ms, gives up past 100";
}

TEST_F(StreamTest, WaitWithTimeoutZeroWaitsOneHour)
{
    uint32_t start = os.ClockMs();
    EXPECT_EQ(Core().WaitTsStream(0), 0u);
    uint32_t waited = os.ClockMs() - start;
    EXPECT_GT(waited, 3600000u);
    EXPECT_LE(waited, 3600000u + 20);
    std::vector<uint32_t> sleeps = os.Sleeps();
    EXPECT_TRUE(std::all_of(sleeps.begin() + 1, sleeps.end(), [](uint32_t ms) { return ms == 10; }));
}

TEST_F(StreamTest, WaitReturnsWhatIsReadyWithoutSleeping)
{
    board.readyBytes = 188 * 7;
    EXPECT_EQ(Core().WaitTsStream(0), 188u * 7);
    EXPECT_EQ(os.Sleeps().size(), 1u) << "only the tuning's settle";
}

TEST_F(StreamTest, CopiedCountIsNeverAboveTheCapacity)
{
    board.readyBytes = 188 * 100;
    board.Fail(BoardCall::PtDllGetStreamData, 0, BoardFault::OutputOversized);
    uint8_t buffer[188 * 10];
    uint32_t size = sizeof buffer;
    uint32_t remain = 7;
    EXPECT_TRUE(Core().GetTsStream(buffer, &size, &remain));
    EXPECT_EQ(size, static_cast<uint32_t>(sizeof buffer));
    EXPECT_EQ(remain, 1u);

    uint8_t* data = nullptr;
    EXPECT_TRUE(Core().GetTsStream(&data, &size, &remain));
    EXPECT_EQ(size, kStreamBufferSize);
}

TEST_F(StreamTest, LibraryThatWritesNoCountHasNothingReady)
{
    board.readyBytes = 188;
    board.Fail(BoardCall::PtDllGetStreamSize, 0, BoardFault::OutputUnwritten);
    EXPECT_EQ(Core().GetReadyCount(), 0u);
}
