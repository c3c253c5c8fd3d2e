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
    Operation operation(this, true);
    if (operation.Refused() || m_tuner == -1)
        return false;
    m_board->PtDllSetTunerSleep(m_tuner, 0);
    m_isOpen = true;
    return true;
}

void DriverCore::CloseTuner()
{
    Operation operation(this, true);
    if (operation.Refused())
        return;
    m_board->PtDllSetStreamEnable(m_tuner, 0);
    m_board->PtDllSetTunerSleep(m_tuner, 1);
    m_isOpen = false;
    ++m_closeCount;
}

float DriverCore::GetSignalLevel()
{
    Operation operation(this, true);
    if (operation.Refused())
        return 0;
    uint32_t cn100 = 0;
    uint32_t agc = 0;
    uint32_t agcMax = 0;
    m_board->PtDllGetCnAgc(m_tuner, &cn100, &agc, &agcMax);
    return static_cast<float>(cn100 / 100.0);
}

// The tables and names do not change after construction, so listing needs
// no lock.
const wchar_t* DriverCore::EnumTuningSpace(uint32_t space)
{
    Operation operation(this, false);
    int32_t table = TableForSpace(Channels(), space);
    if (operation.Refused() || table < 0)
        return nullptr;
    return m_isTerrestrial ? g_terrestrialSpaceNames[table] : g_satelliteSpaceNames[table];
}

const wchar_t* DriverCore::EnumChannelName(uint32_t space, uint32_t channel)
{
    Operation operation(this, false);
    int32_t table = TableForSpace(Channels(), space);
    if (operation.Refused() || table < 0 || channel >= static_cast<uint32_t>(m_bandTable[table].count))
        return nullptr;
    return m_channelNameW[table][channel];
}

// Converted whole first (a pooled name has at most 255 bytes, so at most 255
// characters), then cut to the field: a conversion into too small a buffer
// fails outright instead of cutting. Code page 932 has no characters outside
// the BMP, so no surrogate pair is split by the cut. A channel without a
// name reads as an empty one: hosts stop listing at the first null.
void DriverCore::ConvertChannelNames()
{
    for (int32_t table = 0; table < 2; ++table) {
        for (int32_t channel = 0; channel < m_bandTable[table].count; ++channel) {
            wchar_t converted[kMaxNameLength + 1];
            const char* text = NameText(m_bandTable[table].entries[channel].name);
            if (m_os->AnsiToWide(text, converted, kMaxNameLength + 1) <= 0)
                converted[0] = L'\0';
            converted[kMaxNameLength] = L'\0';
            CopyBounded(m_channelNameW[table][channel], kNameCapacity, converted);
        }
    }
}

bool DriverCore::SetChannel(uint32_t space, uint32_t channel)
{
    Operation operation(this, true);
    int32_t table = TableForSpace(Channels(), space);
    if (operation.Refused() || table < 0 || channel >= static_cast<uint32_t>(m_bandTable[table].count))
        return false;
    const ChannelEntry& entry = m_bandTable[table].entries[channel];
    m_board->PtDllSetStreamEnable(m_tuner, 0);
    // Cleared only by success: whatever the tuner is on after a failure, it
    // is not the channel the host asked for.
    m_tuneFailed = true;
    if (m_board->PtDllSetFrequency(m_tuner, entry.ptChannel) != 0)
        return false;
    m_os->Sleep(kTuneSettleMs);
    uint8_t tmcc[20];
    if (m_board->PtDllGetTmcc(m_tuner, tmcc) != 0)
        return false;
    if (!m_isTerrestrial)
        m_board->PtDllSetIdS(m_tuner, entry.tsId);
    m_board->PtDllSetStreamEnable(m_tuner, 1);
    m_tuneFailed = false;
    m_curSpace = space;
    m_curChannel = channel;
    return true;
}

uint32_t DriverCore::GetCurSpace()
{
    Operation operation(this, false);
    return operation.Refused() ? kNoChannel : m_curSpace.load();
}

uint32_t DriverCore::GetCurChannel()
{
    Operation operation(this, false);
    return operation.Refused() ? kNoChannel : m_curChannel.load();
}
