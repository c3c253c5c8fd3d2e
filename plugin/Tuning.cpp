// Waking and sleeping the tuner, the tuning spaces and channels the host can
// list, tuning, and the signal level.
#include "board/EarthPtDll.h"
#include "plugin/Zendrel.h"
#include "sidefiles/Bounded.h"
#include "sidefiles/FixedTexts.h"

namespace {

// Wait between tuning and reading the TMCC, so that the demodulator has locked.
const DWORD kTuneSettleMs = 60;

}  // namespace

BOOL CZendrel::OpenTuner(void)
{
    if (m_tuner == -1)
        return FALSE;
    PtDllSetTunerSleep(m_tuner, 0);
    m_isOpen = true;
    return TRUE;
}

void CZendrel::CloseTuner(void)
{
    PtDllSetStreamEnable(m_tuner, 0);
    PtDllSetTunerSleep(m_tuner, 1);
    m_isOpen = false;
}

// Hosts of the older interface call this; channels are chosen by space and
// channel number only.
BOOL CZendrel::SetChannel(const BYTE)
{
    return TRUE;
}

float CZendrel::GetSignalLevel(void)
{
    uint32_t cn100 = 0;
    uint32_t agc = 0;
    uint32_t agcMax = 0;
    PtDllGetCnAgc(m_tuner, &cn100, &agc, &agcMax);
    return static_cast<float>(cn100 / 100.0);
}

LPCWSTR CZendrel::GetTunerName(void)
{
    return m_tunerName;
}

BOOL CZendrel::IsTunerOpening(void)
{
    return FALSE;
}

LPCWSTR CZendrel::EnumTuningSpace(const DWORD space)
{
    int32_t table = TableForSpace(Channels(), space);
    if (table < 0)
        return nullptr;
    return m_isTerrestrial ? g_terrestrialSpaceNames[table] : g_satelliteSpaceNames[table];
}

LPCWSTR CZendrel::EnumChannelName(const DWORD space, const DWORD channel)
{
    int32_t table = TableForSpace(Channels(), space);
    if (table < 0 || channel >= static_cast<DWORD>(m_bandTable[table].count))
        return nullptr;
    // Converted whole first (a pooled name has at most 255 bytes, so at most
    // 255 characters), then cut to the field: a conversion into too small a
    // buffer fails outright instead of cutting. Code page 932 has no
    // characters outside the BMP, so no surrogate pair is split by the cut.
    // A channel without a name reads as an empty one: hosts stop listing at
    // the first null.
    wchar_t converted[kMaxNameLength + 1];
    const char* text = NameText(m_bandTable[table].entries[channel].name);
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, converted, kMaxNameLength + 1) == 0)
        converted[0] = L'\0';
    CopyBounded(m_channelNameW, kNameCapacity, converted);
    return m_channelNameW;
}

BOOL CZendrel::SetChannel(const DWORD space, const DWORD channel)
{
    int32_t table = TableForSpace(Channels(), space);
    if (table < 0 || channel >= static_cast<DWORD>(m_bandTable[table].count))
        return FALSE;
    const ChannelEntry& entry = m_bandTable[table].entries[channel];
    PtDllSetStreamEnable(m_tuner, 0);
    if (PtDllSetFrequency(m_tuner, entry.ptChannel) != 0)
        return FALSE;
    SleepEx(kTuneSettleMs, FALSE);
    uint8_t tmcc[20];
    if (PtDllGetTmcc(m_tuner, tmcc) != 0)
        return FALSE;
    if (!m_isTerrestrial)
        PtDllSetIdS(m_tuner, entry.tsId);
    PtDllSetStreamEnable(m_tuner, 1);
    m_curSpace = space;
    m_curChannel = channel;
    return TRUE;
}

DWORD CZendrel::GetCurSpace(void)
{
    return m_curSpace;
}

DWORD CZendrel::GetCurChannel(void)
{
    return m_curChannel;
}
