// The host interface, slot by slot, handed to NetCore. BOOL is a 32-bit 1 or 0.
#include "netplugin/NetPlugin.h"
#include "plugin/StreamCall.h"

BOOL CZendrelNet::OpenTuner(void)
{
    return m_core.OpenTuner() ? TRUE : FALSE;
}

void CZendrelNet::CloseTuner(void)
{
    m_core.CloseTuner();
}

// Hosts of the older interface call this; channels are chosen by space and
// channel number only, as with the tuner plug-in.
BOOL CZendrelNet::SetChannel(const BYTE)
{
    return TRUE;
}

float CZendrelNet::GetSignalLevel(void)
{
    return m_core.GetSignalLevel();
}

DWORD CZendrelNet::WaitTsStream(const DWORD timeoutMs)
{
    return m_core.WaitTsStream(timeoutMs);
}

DWORD CZendrelNet::GetReadyCount(void)
{
    return m_core.GetReadyCount();
}

BOOL CZendrelNet::GetTsStream(BYTE** dest, DWORD* size, DWORD* remain)
{
    return CallGetTsStream(m_core, dest, size, remain);
}

BOOL CZendrelNet::GetTsStream(BYTE* dest, DWORD* size, DWORD* remain)
{
    return CallGetTsStream(m_core, dest, size, remain);
}

void CZendrelNet::PurgeTsStream(void)
{
    m_core.PurgeTsStream();
}

LPCWSTR CZendrelNet::GetTunerName(void)
{
    return m_core.GetTunerName();
}

BOOL CZendrelNet::IsTunerOpening(void)
{
    return FALSE;
}

LPCWSTR CZendrelNet::EnumTuningSpace(const DWORD space)
{
    return m_core.EnumTuningSpace(space);
}

LPCWSTR CZendrelNet::EnumChannelName(const DWORD space, const DWORD channel)
{
    return m_core.EnumChannelName(space, channel);
}

BOOL CZendrelNet::SetChannel(const DWORD space, const DWORD channel)
{
    return m_core.SetChannel(space, channel) ? TRUE : FALSE;
}

DWORD CZendrelNet::GetCurSpace(void)
{
    return m_core.GetCurSpace();
}

DWORD CZendrelNet::GetCurChannel(void)
{
    return m_core.GetCurChannel();
}
