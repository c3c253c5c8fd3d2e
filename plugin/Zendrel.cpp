// The host interface, slot by slot, handed to the driver. BOOL is a 32-bit
// 1 or 0.
#include "plugin/Zendrel.h"
#include "plugin/StreamCall.h"

BOOL CZendrel::OpenTuner(void)
{
    return m_core.OpenTuner() ? TRUE : FALSE;
}

void CZendrel::CloseTuner(void)
{
    m_core.CloseTuner();
}

// Hosts of the older interface call this; channels are chosen by space and
// channel number only.
BOOL CZendrel::SetChannel(const BYTE)
{
    return TRUE;
}

float CZendrel::GetSignalLevel(void)
{
    return m_core.GetSignalLevel();
}

DWORD CZendrel::WaitTsStream(const DWORD timeoutMs)
{
    return m_core.WaitTsStream(timeoutMs);
}

DWORD CZendrel::GetReadyCount(void)
{
    return m_core.GetReadyCount();
}

BOOL CZendrel::GetTsStream(BYTE** dest, DWORD* size, DWORD* remain)
{
    return CallGetTsStream(m_core, dest, size, remain);
}

BOOL CZendrel::GetTsStream(BYTE* dest, DWORD* size, DWORD* remain)
{
    return CallGetTsStream(m_core, dest, size, remain);
}

void CZendrel::PurgeTsStream(void)
{
    m_core.PurgeTsStream();
}

LPCWSTR CZendrel::GetTunerName(void)
{
    return m_core.GetTunerName();
}

BOOL CZendrel::IsTunerOpening(void)
{
    return FALSE;
}

LPCWSTR CZendrel::EnumTuningSpace(const DWORD space)
{
    return m_core.EnumTuningSpace(space);
}

LPCWSTR CZendrel::EnumChannelName(const DWORD space, const DWORD channel)
{
    return m_core.EnumChannelName(space, channel);
}

BOOL CZendrel::SetChannel(const DWORD space, const DWORD channel)
{
    return m_core.SetChannel(space, channel) ? TRUE : FALSE;
}

DWORD CZendrel::GetCurSpace(void)
{
    return m_core.GetCurSpace();
}

DWORD CZendrel::GetCurChannel(void)
{
    return m_core.GetCurChannel();
}
