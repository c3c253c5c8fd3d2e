// Waking and sleeping the tuner, the tuning spaces and channels the host can
// list, tuning, and the signal level.
#include "driver/DriverCore.h"
#include "sidefiles/Bounded.h"
#include "sidefiles/FixedTexts.h"

namespace {

// Wait between tuning and reading the TMCC, so that the demodulator has locked.
const uint32_t kTuneSettleMs = 60;

}  // namespace

bool DriverCore::OpenTuner()
{
    Locked locked(this);
    if (m_tuner == -1)
        return false;
    m_board->PtDllSetTunerSleep(m_tuner, 0);
    m_isOpen = true;
    return true;
}

void DriverCore::CloseTuner()
{
    Locked locked(this);
    m_board->PtDllSetStreamEnable(m_tuner, 0);
    m_board->PtDllSetTunerSleep(m_tuner, 1);
    m_isOpen = false;
    ++m_closeCount;
}

float DriverCore::GetSignalLevel()
{
    Locked locked(this);
    uint32_t cn100 = 0;
    uint32_t agc = 0;
    uint32_t agcMax = 0;
    m_board->PtDllGetCnAgc(m_tuner, &cn100, &agc, &agcMax);
    return static_cast<float>(cn100 / 100.0);
}

// The tables do not change after construction, so listing needs no lock.
const wchar_t* DriverCore::EnumTuningSpace(uint32_t space)
{
    int32_t table = TableForSpace(Channels(), space);
    if (table < 0)
        return nullptr;
    return m_isTerrestrial ? g_terrestrialSpaceNames[table] : g_satelliteSpaceNames[table];
}

const wchar_t* DriverCore::EnumChannelName(uint32_t space, uint32_t channel)
{
    int32_t table = TableForSpace(Channels(), space);
    if (table < 0 || channel >= static_cast<uint32_t>(m_bandTable[table].count))
        return nullptr;
    // Converted whole first (a pooled name has at most 255 bytes, so at most
    // 255 characters), then cut to the field: a conversion into too small a
    // buffer fails outright instead of cutting. Code page 932 has no
    // characters outside the BMP, so no surrogate pair is split by the cut.
    // A channel without a name reads as an empty one: hosts stop listing at
    // the first null.
    wchar_t converted[kMaxNameLength + 1];
    const char* text = NameText(m_bandTable[table].entries[channel].name);
    if (m_os->AnsiToWide(text, converted, kMaxNameLength + 1) <= 0)
        converted[0] = L'\0';
    converted[kMaxNameLength] = L'\0';
    Locked locked(this);
    CopyBounded(m_channelNameW, kNameCapacity, converted);
    return m_channelNameW;
}

bool DriverCore::SetChannel(uint32_t space, uint32_t channel)
{
    int32_t table = TableForSpace(Channels(), space);
    if (table < 0 || channel >= static_cast<uint32_t>(m_bandTable[table].count))
        return false;
    const ChannelEntry& entry = m_bandTable[table].entries[channel];
    Locked locked(this);
    m_board->PtDllSetStreamEnable(m_tuner, 0);
    if (m_board->PtDllSetFrequency(m_tuner, entry.ptChannel) != 0)
        return false;
    m_os->Sleep(kTuneSettleMs);
    uint8_t tmcc[20];
    if (m_board->PtDllGetTmcc(m_tuner, tmcc) != 0)
        return false;
    if (!m_isTerrestrial)
        m_board->PtDllSetIdS(m_tuner, entry.tsId);
    m_board->PtDllSetStreamEnable(m_tuner, 1);
    m_curSpace = space;
    m_curChannel = channel;
    return true;
}

uint32_t DriverCore::GetCurSpace()
{
    Locked locked(this);
    return m_curSpace;
}

uint32_t DriverCore::GetCurChannel()
{
    Locked locked(this);
    return m_curChannel;
}
