// Opening and closing the tuner and handing the stream to the host, as the
// tuner plug-in does: the same results for the same states.
#include "net/NetCore.h"

namespace {

const uint32_t kDefaultWaitMs = 3600000;  // a timeout of 0 waits one hour
const uint32_t kNoLimit = 0xFFFFFFFF;

}  // namespace

bool NetCore::OpenTuner()
{
    Operation operation(this);
    if (operation.Refused())
        return false;
    Locked locked(this);
    m_isOpen = true;
    return true;
}

void NetCore::CloseTuner()
{
    Operation operation(this);
    if (operation.Refused())
        return;
    Locked locked(this);
    m_isOpen = false;
    ++m_closeCount;
    EndStreamLocked();
}

// Waits on the ring's event, which the reader sets when it adds bytes while
// someone waits; a CloseTuner or Release on another thread ends the wait.
uint32_t NetCore::WaitTsStream(uint32_t timeoutMs)
{
    Operation operation(this);
    if (operation.Refused())
        return 0;
    uint32_t limit = timeoutMs != 0 ? timeoutMs : kDefaultWaitMs;
    uint32_t start = m_calls->Milliseconds();
    m_calls->Lock(&m_lock);
    uint32_t result = 0;
    if (!m_streaming && !m_isOpen && m_ring.count == 0) {
        m_calls->Unlock(&m_lock);
        return kWaitStreamStopped;
    }
    uint32_t closes = m_closeCount;
    for (;;) {
        if (m_ring.count != 0) {
            result = m_ring.count;
            break;
        }
        if (closes != m_closeCount || m_released.load())
            break;
        uint32_t elapsed = m_calls->Milliseconds() - start;
        if (limit != kNoLimit && elapsed >= limit)
            break;
        ++m_waiting;
        m_calls->ResetEvent(m_dataEvent);
        m_calls->Unlock(&m_lock);
        m_calls->WaitEvent(m_dataEvent, limit == kNoLimit ? kNoLimit : limit - elapsed);
        m_calls->Lock(&m_lock);
        --m_waiting;
    }
    m_calls->Unlock(&m_lock);
    return result;
}

uint32_t NetCore::GetReadyCount()
{
    Operation operation(this);
    if (operation.Refused())
        return 0;
    Locked locked(this);
    return m_ring.count;
}

// remain tells whether more is ready: 1 or 0, not a count.
bool NetCore::GetTsStream(uint8_t* dest, uint32_t* size, uint32_t* remain)
{
    if (dest == nullptr || size == nullptr)
        return false;
    Operation operation(this);
    if (operation.Refused())
        return false;
    Locked locked(this);
    if (!m_isOpen)
        return false;
    *size = RingTake(&m_ring, dest, *size);
    if (remain != nullptr)
        *remain = m_ring.count != 0 ? 1 : 0;
    return *size != 0;
}

// The bytes stay in the instance's buffer until the next call of this form.
bool NetCore::GetTsStream(uint8_t** dest, uint32_t* size, uint32_t* remain)
{
    if (dest == nullptr || size == nullptr)
        return false;
    uint32_t copied = kPointerBufferSize;
    bool ok = GetTsStream(m_pointerBuffer, &copied, remain);
    *dest = m_pointerBuffer;
    *size = ok ? copied : 0;
    return ok;
}

void NetCore::PurgeTsStream()
{
    Operation operation(this);
    if (operation.Refused())
        return;
    Locked locked(this);
    RingClear(&m_ring);
}
