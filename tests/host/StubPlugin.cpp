// StubPlugin.dll: a plug-in of the host interface that is not the tuner
// plug-in, for zendrel-host's tests with any plug-in. No board, no side
// files: one space of two channels, whose streams it makes up from a block of
// packets that loops without a continuity error, each channel with a TS ID
// of its own in its PAT.
#include <windows.h>

#include "plugin/IBonDriver.h"
#include "tests/host/TsBuilder.h"

namespace {

// 16 PATs and 1,008 data packets: each PID's counter comes round whole.
const size_t kBlockPackets = 1024;
const DWORD kChannels = 2;
const wchar_t* const kChannelNames[kChannels] = {L"Alpha", L"Beta"};
const uint16_t kFirstTsId = 0x7001;

class StubPlugin : public IBonDriver2
{
public:
    BOOL OpenTuner() override { return m_open = TRUE; }
    void CloseTuner() override { m_open = FALSE; }
    BOOL SetChannel(const BYTE channel) override { return SetChannel(0, channel); }
    float GetSignalLevel() override { return m_tuned ? 20.0f : 0.0f; }
    DWORD WaitTsStream(const DWORD) override { return m_tuned ? 1 : 0; }
    DWORD GetReadyCount() override { return m_tuned ? 1 : 0; }
    BOOL GetTsStream(BYTE** dest, DWORD* size, DWORD* remain) override
    {
        *dest = m_tuned ? m_block.data() : nullptr;
        *size = m_tuned ? static_cast<DWORD>(m_block.size()) : 0;
        if (remain != nullptr)
            *remain = 0;
        return m_tuned;
    }
    // zendrel-host reads through the other form only.
    BOOL GetTsStream(BYTE*, DWORD* size, DWORD* remain) override
    {
        *size = 0;
        if (remain != nullptr)
            *remain = 0;
        return FALSE;
    }
    void PurgeTsStream() override {}
    void Release() override { delete this; }

    LPCWSTR GetTunerName() override { return L"Stub tuner"; }
    BOOL IsTunerOpening() override { return m_open; }
    LPCWSTR EnumTuningSpace(const DWORD space) override { return space == 0 ? L"Stub" : nullptr; }
    LPCWSTR EnumChannelName(const DWORD space, const DWORD channel) override
    {
        return space == 0 && channel < kChannels ? kChannelNames[channel] : nullptr;
    }
    BOOL SetChannel(const DWORD space, const DWORD channel) override
    {
        if (!m_open || space != 0 || channel >= kChannels)
            return FALSE;
        m_channel = channel;
        m_block = Stream(kBlockPackets, static_cast<uint16_t>(kFirstTsId + channel));
        return m_tuned = TRUE;
    }
    DWORD GetCurSpace() override { return 0; }
    DWORD GetCurChannel() override { return m_channel; }

private:
    BOOL m_open = FALSE;
    BOOL m_tuned = FALSE;
    DWORD m_channel = 0;
    Bytes m_block;
};

}  // namespace

extern "C" __declspec(dllexport) IBonDriver* CreateBonDriver()
{
    return new StubPlugin;
}
