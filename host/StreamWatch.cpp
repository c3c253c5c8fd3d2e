#include "host/StreamWatch.h"

#include "host/Text.h"

double StreamWatch::Data(double now)
{
    double pause = now - m_lastData;
    double gap = m_waitedInVain && pause >= kGapSeconds ? pause : 0;
    m_lastData = now;
    m_hadData = true;
    m_waitedInVain = false;
    return gap;
}

double StreamWatch::OpenGap(double now) const
{
    double pause = now - m_lastData;
    return m_hadData && m_waitedInVain && pause >= kGapSeconds ? pause : 0;
}

bool StreamWatch::TimeToAskBoard(double now)
{
    if (Quiet(now) < kGapSeconds || now - m_lastAsked < kGapSeconds)
        return false;
    m_lastAsked = now;
    return true;
}

std::string LostBoards(int32_t atStart, int32_t now, const std::string& when)
{
    if (atStart <= 0 || now >= atStart)
        return std::string();
    return "the board library reports " + Counted(now, "board") + ", " + std::to_string(atStart) + " " + when +
           ": the board was removed or stopped working";
}
