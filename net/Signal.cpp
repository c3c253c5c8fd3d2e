// The signal level: that of the server's tuner carrying the stream, asked of
// the server by a thread of its own at most once a second, so that neither
// the host's call nor the stream ever waits for it.
#include "net/NetCore.h"
#include "net/Status.h"
#include "net/Text.h"

float NetCore::GetSignalLevel()
{
    Operation operation(this);
    if (operation.Refused())
        return 0;
    float level = 0;
    {
        Locked locked(this);
        level = m_signal;
    }
    AskSignal();
    return level;
}

// Starts the signal thread unless one runs or the last began less than a
// second ago.
void NetCore::AskSignal()
{
    {
        Locked locked(this);
        uint32_t now = m_calls->Milliseconds();
        if (m_server < 0 || m_copy[0] == '\0' || m_signalBusy ||
            (m_signalAsked && now - m_signalAskedAt < kSignalEveryMs))
            return;
        m_signalBusy = true;
        m_signalAsked = true;
        m_signalAskedAt = now;
    }
    AddRef();
    if (!m_calls->StartThread(&m_signalEntry)) {
        {
            Locked locked(this);
            m_signalBusy = false;
        }
        Unref();
    }
}

void NetCore::RunSignal(void* context)
{
    static_cast<NetCore*>(context)->FetchSignal();
}

void NetCore::FetchSignal()
{
    int server = -1;
    char copy[kCopyNameCapacity];
    uint32_t generation = 0;
    {
        Locked locked(this);
        server = m_server;
        generation = m_generation;
        for (size_t i = 0; i < kCopyNameCapacity; ++i)
            copy[i] = m_copy[i];
    }
    double level = 0;
    uint32_t length = 0;
    bool found = server >= 0 &&
                 Fetch(server, L"/api/status", kSignalLimitMs, m_signalAnswer, kAnswerCapacity, &length) &&
                 FindTunerSignal(m_signalAnswer, length, m_signalTokens, kStatusTokens, copy, &level);
    {
        Locked locked(this);
        // The same stream, on the same tuner: a retune may have moved it.
        bool same = generation == m_generation && server == m_server && SameText(copy, m_copy);
        if (found && same)
            m_signal = static_cast<float>(level);
        m_signalBusy = false;
    }
    Unref();
}
