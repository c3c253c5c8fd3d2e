// Handing the transport stream to the host. The board library buffers the
// stream; these operations ask it what is ready and copy it out.
#include "plugin/Zendrel.h"

#include <mmsystem.h>

#include "board/EarthPtDll.h"

namespace {

const DWORD kDefaultWaitMs = 3600000;  // a timeout of 0 waits one hour
const DWORD kPollMs = 10;
// What WaitTsStream reports for a stopped stream of a tuner that is not open.
const DWORD kStreamStopped = 128;

bool StreamRunning(int32_t tuner)
{
    uint8_t running = 0;
    PtDllGetStreamEnable(tuner, &running);
    return running != 0;
}

}  // namespace

DWORD CZendrel::WaitTsStream(const DWORD timeoutMs)
{
    if (m_tuner == -1)
        return 0xFFFFFFFF;
    if (!StreamRunning(m_tuner)) {
        if (!m_isOpen)
            return kStreamStopped;
        PtDllSetStreamEnable(m_tuner, 1);
    }
    DWORD limit = timeoutMs ? timeoutMs : kDefaultWaitMs;
    DWORD start = timeGetTime();
    DWORD ready = GetReadyCount();
    // Unsigned subtraction: the clock's wrap-around after 49.7 days does no
    // harm, and a limit of 0xFFFFFFFF never passes.
    while (ready == 0 && timeGetTime() - start <= limit) {
        SleepEx(kPollMs, FALSE);
        ready = GetReadyCount();
    }
    return ready;
}

DWORD CZendrel::GetReadyCount(void)
{
    uint32_t ready = 0;
    PtDllGetStreamSize(m_tuner, &ready);
    return ready;
}

// remain tells whether more is ready: 1 or 0, not a count.
BOOL CZendrel::GetTsStream(BYTE* dest, DWORD* size, DWORD* remain)
{
    if (dest == nullptr || size == nullptr)
        return FALSE;
    DWORD capacity = *size;
    if (m_tuner == -1 || !m_isOpen)
        return FALSE;
    if (!StreamRunning(m_tuner))
        PtDllSetStreamEnable(m_tuner, 1);
    uint32_t copied = 0;
    PtDllGetStreamData(m_tuner, dest, capacity, &copied);
    *size = copied;
    if (remain != nullptr)
        *remain = GetReadyCount() != 0 ? 1 : 0;
    return copied != 0;
}

// The data stays valid until the next call of this form.
BOOL CZendrel::GetTsStream(BYTE** dest, DWORD* size, DWORD* remain)
{
    if (dest == nullptr || size == nullptr)
        return FALSE;
    DWORD copied = kStreamBufferSize;
    BOOL ok = GetTsStream(m_streamBuffer, &copied, remain);
    *dest = m_streamBuffer;
    *size = ok ? copied : 0;
    return ok && copied != 0;
}

void CZendrel::PurgeTsStream(void)
{
    PtDllGetStreamFlush(m_tuner);
}
