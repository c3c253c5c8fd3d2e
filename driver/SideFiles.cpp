// The side files at work: the DLL's own path and the paths it gives, the
// legacy rename, the settings profile, and reading and writing the channel
// file. The rules themselves live in sidefiles/.
#include <wchar.h>

#include "driver/DriverCore.h"
#include "sidefiles/Bounded.h"
#include "sidefiles/ChannelText.h"
#include "sidefiles/ChannelWriter.h"
#include "sidefiles/FixedTexts.h"
#include "sidefiles/ResultCodes.h"

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

// A side file written at release. It is written whole under a temporary
// name beside it, flushed, and only then moved to its own name, so that a
// host killed at any moment, or a power loss, never leaves a cut or empty
// file where the next load looks; a file written only in part is removed.
// The move never replaces a file, so nothing the user made or edited, or
// another copy wrote meanwhile, is ever written over.
//
// Copies of the DLL in one folder, in one process or several, share side
// files, and may write one at the same moment. Each writer therefore has a
// temporary file of its own: the first of kTempSlots names that it can
// create, held open from its creation until it has been moved, so that no
// other writer can write, move or remove it (Remove takes no file that is
// open). What a killed writer left is closed, and the next writer of that
// file removes it. A temporary name is as long as the file's own, so it fits
// wherever that does, and no copy ever reads it:
//   Zendrel-T.SetCh.txt  ->  Zendrel-T.SetCh.~00 ... Zendrel-T.SetCh.~15
const int32_t kTempSlots = 16;

struct NewSideFile {
    const OsCalls* os;
    const wchar_t* path;
    wchar_t tempPath[kPathCapacity];
    void* file;
    bool whole;
};

// The name's last three characters become "~" and the slot's two digits.
// False for a name too short to hold them, which only a path cut to fit its
// field can have.
bool TempPath(wchar_t (&temp)[kPathCapacity], const wchar_t* path, int32_t slot)
{
    const wchar_t* slash = wcsrchr(path, L'\\');
    const wchar_t* name = slash != nullptr ? slash + 1 : path;
    size_t length = wcslen(path);
    if (wcslen(name) < 3 || CopyBounded(temp, kPathCapacity, path) != kResultOk)
        return false;
    temp[length - 3] = L'~';
    temp[length - 2] = static_cast<wchar_t>(L'0' + slot / 10);
    temp[length - 1] = static_cast<wchar_t>(L'0' + slot % 10);
    return true;
}

bool CreateNewSideFile(NewSideFile* side, const OsCalls* os, const wchar_t* path)
{
    side->os = os;
    side->path = path;
    side->whole = true;
    side->file = nullptr;
    for (int32_t slot = 0; slot < kTempSlots; ++slot)
        if (TempPath(side->tempPath, path, slot) && os->Exists(side->tempPath))
            os->Remove(side->tempPath);
    for (int32_t slot = 0; slot < kTempSlots && side->file == nullptr; ++slot)
        if (TempPath(side->tempPath, path, slot))
            side->file = os->CreateNew(side->tempPath);
    return side->file != nullptr;
}

void WriteToSideFile(void* context, const uint8_t* bytes, uint32_t size)
{
    NewSideFile* side = static_cast<NewSideFile*>(context);
    if (!side->os->Write(side->file, bytes, size))
        side->whole = false;
}

// Moved while still open, so that it is this writer's until it has its name.
// Once flushed and moved it is whole, whatever closing it reports.
void FinishSideFile(NewSideFile* side)
{
    if (!side->os->Flush(side->file))
        side->whole = false;
    bool moved = side->whole && side->os->Move(side->tempPath, side->path);
    side->os->Close(side->file);
    if (!moved)
        side->os->Remove(side->tempPath);
}

}  // namespace

bool DriverCore::ParseModuleName()
{
    m_modulePath[0] = L'\0';
    m_settingsPath[0] = L'\0';
    m_channelFilePath[0] = L'\0';
    m_deviceNumber = -1;

    uint32_t length = m_os->ModuleFileName(m_module, m_modulePath, kPathCapacity);
    m_modulePath[kPathCapacity - 1] = L'\0';
    // A path that had to be cut would name side files of some other DLL.
    if (length == 0 || length >= static_cast<uint32_t>(kPathCapacity))
        return false;
    // Loaded by its 8.3 short name (ZEND~XDB.DLL for Zendrel-S.dll), the DLL
    // would lose its kind letter and name other side files; the long form
    // is taken whenever there is one that fits. Generated short names carry
    // a "~"; a file name without one is asked about no further, since the
    // lookup searches the disk.
    const wchar_t* fileName = wcsrchr(m_modulePath, L'\\');
    if (fileName != nullptr && wcschr(fileName, L'~') != nullptr) {
        wchar_t longPath[kPathCapacity];
        uint32_t longLength = m_os->LongPathName(m_modulePath, longPath, kPathCapacity);
        longPath[kPathCapacity - 1] = L'\0';
        if (longLength > 0 && longLength < static_cast<uint32_t>(kPathCapacity))
            CopyBounded(m_modulePath, kPathCapacity, longPath);
    }

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
    NewSideFile side;
    if (!CreateNewSideFile(&side, m_os, m_settingsPath))
        return;
    WriteToSideFile(&side, g_defaultSettingsText, sizeof g_defaultSettingsText);
    FinishSideFile(&side);
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
    NewSideFile side;
    if (!CreateNewSideFile(&side, m_os, m_channelFilePath))
        return;
    ByteSink sink = {WriteToSideFile, &side};
    WriteChannelText(m_isTerrestrial, Channels(), sink);
    FinishSideFile(&side);
}
