// Handing the transport stream to the host. The board library buffers the
// stream; these operations ask it what is ready and copy it out.
#include "driver/DriverCore.h"

namespace {

const uint32_t kDefaultWaitMs = 3600000;  // a timeout of 0 waits one hour
const uint32_t kPollMs = 10;

}  // namespace

bool DriverCore::StreamRunning()
{
    uint8_t running = 0;
    m_board->PtDllGetStreamEnable(m_tuner, &running);
    return running != 0;
}

// A library that writes nothing has nothing ready.
uint32_t DriverCore::ReadyCount()
{
    uint32_t ready = 0;
    m_board->PtDllGetStreamSize(m_tuner, &ready);
    return ready;
}

uint32_t DriverCore::WaitTsStream(uint32_t timeoutMs)
{
    Operation operation(this, false);
    if (operation.Refused())
        return 0;
    uint32_t closesBefore = 0;
    {
        Locked locked(this);
        // Release began meanwhile, and may have closed the tuner already.
        if (m_released.load())
            return 0;
        if (m_tuner == -1)
            return kWaitNoTuner;
        if (!StreamRunning()) {
            if (!m_isOpen)
                return kWaitStreamStopped;
            if (!m_tuneFailed)
                m_board->PtDllSetStreamEnable(m_tuner, 1);
        }
        closesBefore = m_closeCount;
    }
    uint32_t limit = timeoutMs ? timeoutMs : kDefaultWaitMs;
    uint32_t start = m_os->Milliseconds();
    uint32_t ready = 0;
    if (PollReady(closesBefore, &ready))
        return ready;
    // Unsigned subtraction: the clock's wrap-around after 49.7 days does no
    // harm, and a limit of 0xFFFFFFFF never passes.
    while (m_os->Milliseconds() - start <= limit) {
        m_os->Sleep(kPollMs);
        if (PollReady(closesBefore, &ready))
            return ready;
    }
    return 0;
}

bool DriverCore::PollReady(uint32_t closesBefore, uint32_t* ready)
{
    Locked locked(this);
    if (m_closeCount != closesBefore || m_released.load()) {
        *ready = 0;
        return true;
    }
    // After a failed tune nothing counts as ready: the wait goes on, and
    // ends with the data of the next successful tune or with its timeout.
    *ready = m_tuneFailed ? 0 : ReadyCount();
    return *ready != 0;
}

uint32_t DriverCore::GetReadyCount()
{
    Operation operation(this, true);
    if (operation.Refused() || m_tuneFailed)
        return 0;
    return ReadyCount();
}

// remain tells whether more is ready: 1 or 0, not a count.
bool DriverCore::CopyStream(uint8_t* dest, uint32_t* size, uint32_t* remain)
{
    uint32_t capacity = *size;
    if (m_tuner == -1 || !m_isOpen)
        return false;
    if (m_tuneFailed) {
        *size = 0;
        if (remain != nullptr)
            *remain = 0;
        return false;
    }
    if (!StreamRunning())
        m_board->PtDllSetStreamEnable(m_tuner, 1);
    uint32_t copied = 0;
    m_board->PtDllGetStreamData(m_tuner, dest, capacity, &copied);
    // A host would read past what its buffer holds.
    if (copied > capacity)
        copied = capacity;
    *size = copied;
    if (remain != nullptr)
        *remain = ReadyCount() != 0 ? 1 : 0;
    return copied != 0;
}

bool DriverCore::GetTsStream(uint8_t* dest, uint32_t* size, uint32_t* remain)
{
    if (dest == nullptr || size == nullptr)
        return false;
    Operation operation(this, true);
    if (operation.Refused())
        return false;
    return CopyStream(dest, size, remain);
}

bool DriverCore::GetTsStream(uint8_t** dest, uint32_t* size, uint32_t* remain)
{
    if (dest == nullptr || size == nullptr)
        return false;
    Operation operation(this, true);
    if (operation.Refused()) {
        *dest = m_streamBuffer;
        *size = 0;
        return false;
    }
    uint32_t copied = kStreamBufferSize;
    bool ok = CopyStream(m_streamBuffer, &copied, remain);
    *dest = m_streamBuffer;
    *size = ok ? copied : 0;
    return ok && copied != 0;
}

void DriverCore::PurgeTsStream()
{
    Operation operation(this, true);
    if (operation.Refused())
        return;
    m_board->PtDllGetStreamFlush(m_tuner);
}
