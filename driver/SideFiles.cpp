// The side files at work: the DLL's own path and the paths it gives, the
// legacy rename, the settings profile, and reading and writing the channel
// file. The rules themselves live in sidefiles/.
#include "driver/DriverCore.h"
#include "sidefiles/ChannelText.h"
#include "sidefiles/ChannelWriter.h"
#include "sidefiles/FixedTexts.h"
#include "sidefiles/OwnPath.h"
#include "sidefiles/WholeFile.h"

namespace {

struct OpenFile {
    const OsCalls* os;
    void* file;
};

int32_t ReadChunk(void* context, uint8_t* dest, int32_t size)
{
    OpenFile* open = static_cast<OpenFile*>(context);
    return open->os->Read(open->file, dest, size);
}

// The OS table's file calls, as the whole-file writer takes them.
FileCalls SideFileCalls(const OsCalls* os)
{
    FileCalls calls = {os->Exists, os->CreateNew, os->Write, os->Flush, os->Close, os->Move, nullptr, os->Remove};
    return calls;
}

}  // namespace

bool DriverCore::ParseModuleName()
{
    m_settingsPath[0] = L'\0';
    m_channelFilePath[0] = L'\0';
    m_deviceNumber = -1;

    OwnPathCalls calls = {m_os->ModuleFileName, m_os->LongPathName};
    if (!ReadOwnPath(m_module, m_modulePath, calls))
        return false;

    wchar_t legacyPath[kPathCapacity];
    SideFilePaths paths = {m_settingsPath, m_channelFilePath, legacyPath};
    if (!ParseModulePath(m_modulePath, &m_isTerrestrial, &m_deviceNumber, paths))
        return false;
    // The rename never replaces an existing file, and its outcome does not
    // matter: without the file the channel list falls back to the defaults.
    if (m_os->Exists(legacyPath) && !m_os->Exists(m_channelFilePath))
        m_os->Move(legacyPath, m_channelFilePath);
    return true;
}

void DriverCore::LoadSettingsFile()
{
    if (!m_os->Exists(m_settingsPath))
        return;
    uint32_t outLnb = m_os->ProfileInt(L"SET", L"OutLNB", m_lnbPower, m_settingsPath);
    m_lnbPower = (outLnb == 1) ? 1 : 0;
    uint32_t autoMake = m_os->ProfileInt(L"SET", L"AutoMake", m_autoMake ? 1 : 0, m_settingsPath);
    m_autoMake = (autoMake != 0);
    m_haveSettingsFile = true;
}

void DriverCore::CreateDefaultSettingsFile()
{
    // Never over a file the user made meanwhile (see sidefiles/WholeFile.h).
    FileCalls calls = SideFileCalls(m_os);
    WholeFile file;
    if (!BeginWholeFile(&file, &calls, m_settingsPath))
        return;
    WriteWholeFile(&file, g_defaultSettingsText, sizeof g_defaultSettingsText);
    FinishWholeFile(&file, false);
}

void DriverCore::LoadChannels()
{
    OpenFile open = {m_os, nullptr};
    if (m_channelFilePath[0] != L'\0')
        open.file = m_os->OpenRead(m_channelFilePath);
    if (open.file == nullptr) {
        if (m_isTerrestrial) {
            BuildChannelsFromTuner();
            return;
        }
        PlaceText(&m_lineReader, g_satelliteChannelText, sizeof g_satelliteChannelText);
    } else {
        m_haveChannelFile = true;
        m_lineReader.file.read = ReadChunk;
        m_lineReader.file.context = &open;
    }
    ParseChannelText(&m_lineReader, m_isTerrestrial, Channels());
    m_lineReader.file.context = nullptr;
    if (open.file != nullptr)
        m_os->Close(open.file);
}

// The terrestrial list as the board knows it; the band numbers keep their
// construction values (UHF and BS at space 0, CATV absent), so the cable
// channels are listed only once the user enables "$CATV" in the written file.
void DriverCore::BuildChannelsFromTuner()
{
    for (ChannelTable& table : m_bandTable) {
        table.capacity = kTableCapacity;
        table.count = 0;
    }
    // The result is not looked at: what counts is the count written. A
    // library that writes none lists no channels.
    uint32_t count = 0;
    m_board->PtDllGetChannelMax(m_tuner, &count);
    if (count > kMaxBoardChannels)
        count = kMaxBoardChannels;
    m_boardListedNone = count == 0;
    ChannelSetup setup = Channels();
    for (uint32_t index = 0; index < count; ++index) {
        // Names have at most 15 bytes; one the library leaves unterminated
        // is cut there.
        char name[16] = {0};
        uint32_t value = 0;
        m_board->PtDllGetChannelInfo(m_tuner, index, &value, name);
        name[15] = '\0';
        AppendBoardChannel(setup, index, name);
    }
}

void DriverCore::WriteChannelFile()
{
    FileCalls calls = SideFileCalls(m_os);
    WholeFile file;
    if (!BeginWholeFile(&file, &calls, m_channelFilePath))
        return;
    ByteSink sink = {WriteWholeFile, &file};
    WriteChannelText(m_isTerrestrial, Channels(), sink);
    FinishWholeFile(&file, false);
}
