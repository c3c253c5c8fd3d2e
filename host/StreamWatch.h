// How a stream read through the plug-in is going: its pauses, and when to
// ask the board library whether its board is still there. Through the host
// interface a removed board, a lost signal and a channel that carries
// nothing look alike (no data, a level of 0); record and serve tell them
// apart the same way, from the pauses this measures, the board library's
// count of boards and the signal. No Windows header here.
#pragma once

#include <stdint.h>

#include <string>

class StreamWatch
{
public:
    // A pause this long, in which a wait for data found none, is a gap; while
    // the stream pauses, the board is asked this often whether it is there.
    static constexpr double kGapSeconds = 1.0;

    // start: when the stream was asked for (the tune), on the caller's clock.
    explicit StreamWatch(double start) : m_lastData(start), m_lastAsked(start) {}

    // A wait for data found none. A pause counts as a gap only after one, so
    // that a pause of the reader itself (the stream waits in the driver
    // meanwhile, and the next wait finds it) is none.
    void WaitedInVain() { m_waitedInVain = true; }
    // Data came at `now`. Returns the length of the gap it ended (a late
    // start included), or 0.
    double Data(double now);
    // The pause still open at `now`: its length when it counts as a gap (data
    // came before it), else 0.
    double OpenGap(double now) const;
    // Seconds since the last data, or since the start when none came.
    double Quiet(double now) const { return now - m_lastData; }
    double LastData() const { return m_lastData; }
    bool HadData() const { return m_hadData; }
    // Whether to ask the board now: once every kGapSeconds while the stream
    // pauses.
    bool TimeToAskBoard(double now);

private:
    double m_lastData;
    double m_lastAsked;
    bool m_waitedInVain = false;
    bool m_hadData = false;
};

// What the board library's count of boards says: empty while it counts as
// many as at `when` (at least one then); else that the board is gone.
std::string LostBoards(int32_t atStart, int32_t now, const std::string& when);
