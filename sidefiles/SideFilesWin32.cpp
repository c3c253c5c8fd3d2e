// The side files' dealings with Windows: the DLL's own path, existence tests,
// the legacy rename, the settings profile, and reading and writing the
// channel file. The rules themselves live in the files without Windows.
#include "board/EarthPtDll.h"
#include "plugin/Zendrel.h"
#include "sidefiles/Bounded.h"
#include "sidefiles/ChannelText.h"
#include "sidefiles/ChannelWriter.h"
#include "sidefiles/FixedTexts.h"

namespace {

// Any entry of that name counts, a directory too.
bool Exists(const wchar_t* path)
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

int32_t ReadChunk(void* context, uint8_t* dest, int32_t size)
{
    DWORD got = 0;
    if (!ReadFile(static_cast<HANDLE>(context), dest, static_cast<DWORD>(size), &got, nullptr))
        return 0;  // a failed read ends the text
    return static_cast<int32_t>(got);
}

// A side file written at release. It is created only where no file of that
// name exists, so that nothing the user made or edited is ever written over,
// and removed again unless it was written whole, so that the next load falls
// back to the defaults and writes it anew instead of reading a torn file.
struct NewSideFile {
    const wchar_t* path;
    HANDLE handle;
    bool whole;
};

bool CreateNewSideFile(NewSideFile* file, const wchar_t* path)
{
    file->path = path;
    file->whole = true;
    file->handle = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
    return file->handle != INVALID_HANDLE_VALUE;
}

void WriteToSideFile(void* context, const uint8_t* bytes, uint32_t size)
{
    NewSideFile* file = static_cast<NewSideFile*>(context);
    DWORD written = 0;
    if (!WriteFile(file->handle, bytes, size, &written, nullptr) || written != size)
        file->whole = false;
}

void FinishSideFile(NewSideFile* file)
{
    if (!CloseHandle(file->handle))
        file->whole = false;
    if (!file->whole)
        DeleteFileW(file->path);
}

}  // namespace

bool CZendrel::ParseModuleName()
{
    m_modulePath[0] = L'\0';
    m_settingsPath[0] = L'\0';
    m_channelFilePath[0] = L'\0';
    m_deviceNumber = -1;

    DWORD length = GetModuleFileNameW(m_module, m_modulePath, kPathCapacity);
    m_modulePath[kPathCapacity - 1] = L'\0';
    // A path that had to be cut would name side files of some other DLL.
    if (length == 0 || length >= static_cast<DWORD>(kPathCapacity))
        return false;
    // Loaded by its 8.3 short name (ZEND~XDB.DLL for Zendrel-S.dll), the DLL
    // would lose its kind letter and name other side files; the long form
    // is taken whenever there is one that fits. Generated short names carry
    // a "~"; a file name without one is asked about no further, since the
    // lookup searches the disk.
    const wchar_t* fileName = wcsrchr(m_modulePath, L'\\');
    if (fileName != nullptr && wcschr(fileName, L'~') != nullptr) {
        wchar_t longPath[kPathCapacity];
        DWORD longLength = GetLongPathNameW(m_modulePath, longPath, kPathCapacity);
        if (longLength > 0 && longLength < static_cast<DWORD>(kPathCapacity))
            CopyBounded(m_modulePath, kPathCapacity, longPath);
    }

    wchar_t legacyPath[kPathCapacity];
    SideFilePaths paths = {m_settingsPath, m_channelFilePath, legacyPath};
    if (!ParseModulePath(m_modulePath, &m_isTerrestrial, &m_deviceNumber, paths))
        return false;
    // MoveFileW never replaces an existing file, and its outcome does not
    // matter: without the file the channel list falls back to the defaults.
    if (Exists(legacyPath) && !Exists(m_channelFilePath))
        MoveFileW(legacyPath, m_channelFilePath);
    return true;
}

void CZendrel::LoadSettingsFile()
{
    if (!Exists(m_settingsPath))
        return;
    UINT outLnb = GetPrivateProfileIntW(L"SET", L"OutLNB", m_lnbPower, m_settingsPath);
    m_lnbPower = (outLnb == 1) ? 1 : 0;
    UINT autoMake = GetPrivateProfileIntW(L"SET", L"AutoMake", m_autoMake ? 1 : 0, m_settingsPath);
    m_autoMake = (autoMake != 0);
    m_haveSettingsFile = true;
}

void CZendrel::CreateDefaultSettingsFile()
{
    NewSideFile file;
    if (!CreateNewSideFile(&file, m_settingsPath))
        return;
    WriteToSideFile(&file, g_defaultSettingsText, sizeof g_defaultSettingsText);
    FinishSideFile(&file);
}

void CZendrel::LoadChannels()
{
    HANDLE file = INVALID_HANDLE_VALUE;
    if (m_channelFilePath[0] != L'\0')
        file = CreateFileW(m_channelFilePath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (m_isTerrestrial) {
            BuildChannelsFromTuner();
            return;
        }
        PlaceText(&m_lineReader, g_satelliteChannelText, sizeof g_satelliteChannelText);
    } else {
        m_haveChannelFile = true;
        m_lineReader.file.read = ReadChunk;
        m_lineReader.file.context = file;
    }
    ParseChannelText(&m_lineReader, m_isTerrestrial, Channels());
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

// The terrestrial list as the board knows it; the band numbers keep their
// construction values (UHF and BS at space 0, CATV absent), so the cable
// channels are listed only once the user enables "$CATV" in the written file.
void CZendrel::BuildChannelsFromTuner()
{
    for (ChannelTable& table : m_bandTable) {
        table.capacity = kTableCapacity;
        table.count = 0;
    }
    uint32_t count = 0;
    if (PtDllGetChannelMax(m_tuner, &count) != 0)
        count = 0;
    ChannelSetup setup = Channels();
    for (uint32_t index = 0; index < count; ++index) {
        char name[16] = {0};
        uint32_t value = 0;
        PtDllGetChannelInfo(m_tuner, index, &value, name);
        name[15] = '\0';
        AppendBoardChannel(setup, index, name);
    }
}

void CZendrel::WriteChannelFile()
{
    NewSideFile file;
    if (!CreateNewSideFile(&file, m_channelFilePath))
        return;
    ByteSink sink = {WriteToSideFile, &file};
    WriteChannelText(m_isTerrestrial, Channels(), sink);
    FinishSideFile(&file);
}
