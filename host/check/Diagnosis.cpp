#include "host/check/Diagnosis.h"

#include <stdio.h>

#include "board/EarthPtDll.h"
#include "board/TunerNames.h"
#include "host/Console.h"
#include "host/CommandLine.h"
#include "host/Driver.h"
#include "host/JsonOutput.h"
#include "sidefiles/ChannelStore.h"

namespace {

const wchar_t kBoardLibrary[] = L"EarthPtDll.dll";

// Whether a new file can be made in the folder: one of a name of this
// process's own, removed again as its handle closes, so nothing stays.
int32_t ProbeFolder(const std::wstring& path, std::string* why)
{
    std::wstring folder = path.substr(0, path.rfind(L'\\') + 1);
    std::wstring probe = folder + L"zendrel-host-" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return 1;
    }
    DWORD code = GetLastError();
    if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS)
        return -1;
    *why = SystemMessage(code, ToUtf8(folder));
    return 0;
}

// The side files as the plug-in opens them: the settings through the
// profile calls, the channel file for reading, others may read it too.
SideFileFacts ReadSideFiles(const SideFileNames& names)
{
    SideFileFacts f;
    f.settingsExists = Exists(names.settingsPath);
    if (f.settingsExists) {
        f.outLnb = static_cast<int32_t>(GetPrivateProfileIntW(L"SET", L"OutLNB", 0, names.settingsPath.c_str()));
        f.autoMake = static_cast<int32_t>(GetPrivateProfileIntW(L"SET", L"AutoMake", 1, names.settingsPath.c_str()));
    }
    f.channelExists = Exists(names.channelPath);
    f.legacyExists = Exists(names.legacyPath);
    bool writes = f.autoMake && (!f.settingsExists || !f.channelExists);
    if (writes || (f.legacyExists && !f.channelExists))
        f.folderWritable = ProbeFolder(names.channelPath, &f.folderError);
    // Without the channel file the plug-in renames a legacy one to its name
    // and reads that.
    const std::wstring& path = f.channelExists || !f.legacyExists ? names.channelPath : names.legacyPath;
    if (!f.channelExists && !f.legacyExists)
        return f;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        f.channelError = SystemMessage(GetLastError(), ToUtf8(path));
        return f;
    }
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        f.channelBytes.append(chunk, got);
    CloseHandle(file);
    f.channelRead = true;
    return f;
}

struct BoardCalls {
    decltype(&GetDllVersion) version;
    decltype(&PtDllGetDevCount) devCount;
    decltype(&PtDllOpen) open;
    decltype(&PtDllClose) close;
    decltype(&PtDllGetChannelMax) channelMax;
    decltype(&PtDllGetChannelInfo) channelInfo;

    bool Find(HMODULE library)
    {
        return Bind(library, "GetDllVersion", &version) && Bind(library, "PtDllGetDevCount", &devCount) &&
               Bind(library, "PtDllOpen", &open) && Bind(library, "PtDllClose", &close) &&
               Bind(library, "PtDllGetChannelMax", &channelMax) &&
               Bind(library, "PtDllGetChannelInfo", &channelInfo);
    }

    template <typename Call>
    static bool Bind(HMODULE library, const char* name, Call* call)
    {
        *call = reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(library, name)));
        return *call != nullptr;
    }
};

// The board's channel list as the plug-in reads it through its tuner.
void ReadChannelList(const BoardCalls& calls, int32_t handle, BoardFacts* board)
{
    uint32_t count = 0;
    // As the plug-in does: the count the library wrote, whatever it returns.
    calls.channelMax(handle, &count);
    if (count > kMaxBoardChannels)
        count = kMaxBoardChannels;
    for (uint32_t i = 0; i < count; ++i) {
        char name[16] = {0};
        uint32_t value = 0;
        calls.channelInfo(handle, i, &value, name);
        name[15] = '\0';
        board->channelNames.push_back(name);
    }
    board->haveChannelList = true;
}

// Tries the tuners in the plug-in's order: the one its digit pins, or every
// tuner of its kind, board by board, tuner 1 before tuner 2.
void FindTuner(const BoardCalls& calls, const SideFileNames& names, bool wantList, BoardFacts* board)
{
    int32_t first = 0, last = SearchedTuners(board->boards) - 1;
    if (names.tunerDigit >= 0) {
        if (!TunerOnBoards(names.tunerDigit, board->boards))
            return;
        first = last = names.tunerDigit;
    }
    for (int32_t n = first; n <= last; ++n) {
        wchar_t tuner[kTunerNameCapacity];
        FormatTunerName(tuner, names.isTerrestrial, n);
        int32_t handle = calls.open(tuner);
        board->tried.push_back({ToUtf8(tuner), handle != -1});
        if (handle == -1)
            continue;
        board->tuner = ToUtf8(tuner);
        if (wantList)
            ReadChannelList(calls, handle, board);
        calls.close(handle);
        return;
    }
}

BoardFacts AskBoard(const std::wstring& modulePath, const SideFileNames& names, bool wantList)
{
    BoardFacts board;
    board.probed = true;
    // The loader looks beside the plug-in first, then along the search path.
    std::wstring beside = modulePath.substr(0, modulePath.rfind(L'\\') + 1) + kBoardLibrary;
    bool isBeside = Exists(beside);
    HMODULE library = isBeside ? LoadLibraryExW(beside.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                               : LoadLibraryW(kBoardLibrary);
    if (library == nullptr) {
        DWORD code = GetLastError();
        board.error = !isBeside && code == ERROR_MOD_NOT_FOUND
                          ? "EarthPtDll.dll, the board library, is neither beside the plug-in nor on the search path"
                          : "the board library " + ToUtf8(isBeside ? beside : kBoardLibrary) +
                                " cannot be loaded: " + SystemMessage(code, ToUtf8(beside));
        return board;
    }
    wchar_t loaded[MAX_PATH] = L"";
    GetModuleFileNameW(library, loaded, MAX_PATH);
    BoardCalls calls;
    if (!calls.Find(library)) {
        board.error = "the board library " + ToUtf8(loaded) + " lacks calls the plug-in needs";
    } else {
        board.library = ToUtf8(loaded);
        board.version = calls.version();
        board.boards = calls.devCount();
        // The plug-in opens nothing through a library of another version.
        if (board.version == 1 && board.boards > 0 && names.ok)
            FindTuner(calls, names, wantList, &board);
    }
    FreeLibrary(library);
    return board;
}

}  // namespace

Judgement Diagnose(const std::wstring& driverPath, bool askBoard)
{
    std::wstring full = FullPath(driverPath);
    SideFileNames names = LocateSideFiles(full);
    SideFileFacts files;
    if (names.ok)
        files = ReadSideFiles(names);
    DWORD attributes = GetFileAttributesW(full.c_str());
    files.pluginExists = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    BoardFacts board;
    if (askBoard)
        board = AskBoard(full, names, names.isTerrestrial && !files.channelRead);
    return Judge(full, names, files, board, AnsiToUtf8);
}

std::string NotTunerPlugin(const std::wstring& driverPath, const char* verb)
{
    PeHeaders pe = ReadPeFile(driverPath);
    if (!pe.importsRead || ImportsDll(pe, kBoardLibraryFile))
        return std::string();
    return ToUtf8(driverPath) + " is not the tuner plug-in (it does not import " + kBoardLibraryFile + "): " + verb +
           " knows only the tuner plug-in's side files; list, record and scan work with any plug-in";
}

bool LoadDriver(Driver* driver, const Command& command, const char* verb, unsigned long jsonHandle)
{
    std::string error;
    if (driver->Load(command.driver, &error))
        return true;
    Complain(error);
    std::string cause;
    DWORD code = driver->LoadError();
    // The diagnosis knows the tuner plug-in's side files and board only.
    if ((code == ERROR_MOD_NOT_FOUND || code == ERROR_DLL_INIT_FAILED) && driver->UsesBoardLibrary()) {
        cause = Diagnose(command.driver, true).cause;
        Complain(cause.empty() ? "zendrel-host check --board finds no cause for it" : "likely cause: " + cause);
    }
    if (command.json)
        WriteText(jsonHandle,
                  JsonText(FailureJson(verb, ToUtf8(FullPath(command.driver)), driver->FailureCode(), error, cause)) +
                      "\n");
    return false;
}
