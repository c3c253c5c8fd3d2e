#include "host/Driver.h"

#include "host/Console.h"

namespace {

// On x86 the export is cdecl; on x86-64 there is one calling convention,
// and the compiler ignores the keyword.
typedef IBonDriver*(__cdecl* CreateBonDriverFunction)(void);

// A plug-in's import table lies near its start; this bounds what is read of
// a file that is no plug-in at all.
const DWORD kMostBytesRead = 64u << 20;

const uint16_t kOwnMachine = sizeof(void*) == 8 ? kMachineAmd64 : kMachineI386;

}  // namespace

PeHeaders ReadPeFile(const std::wstring& path)
{
    HANDLE file = CreateFileW(FullPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return PeHeaders();
    std::string bytes;
    LARGE_INTEGER size;
    if (GetFileSizeEx(file, &size)) {
        bytes.resize(static_cast<size_t>(size.QuadPart < kMostBytesRead ? size.QuadPart : kMostBytesRead));
        DWORD got = 0;
        if (!ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr))
            got = 0;
        bytes.resize(got);
    }
    CloseHandle(file);
    return ReadPeHeaders(bytes);
}

std::string WrongBitness(const PeHeaders& pe, const std::string& shown)
{
    if (!pe.isPe || pe.machine == kOwnMachine)
        return std::string();
    std::string other = pe.machine == kMachineI386    ? " (use the 32-bit zendrel-host.exe)"
                        : pe.machine == kMachineAmd64 ? " (use the 64-bit x64\\zendrel-host.exe)"
                                                      : "";
    return shown + " is a " + MachineBits(pe.machine) + (pe.isDll ? " DLL" : " program") +
           ", and this zendrel-host is " + MachineBits(kOwnMachine) + ": a program loads only DLLs of its own bitness" +
           other;
}

std::string MissingDriver(const std::wstring& path)
{
    std::string shown = ToUtf8(path);
    DWORD attributes = GetFileAttributesW(FullPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return "cannot find the driver " + shown + ": " + SystemMessage(GetLastError(), shown);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return "the driver " + shown + " is a folder";
    return std::string();
}

bool Driver::Load(const std::wstring& path, std::string* error)
{
    Unload();
    m_loadError = 0;
    m_failureCode = "no_driver";
    std::wstring full = FullPath(path);
    std::string shown = ToUtf8(path);
    *error = MissingDriver(path);
    if (!error->empty())
        return false;
    m_headers = ReadPeFile(path);
    m_failureCode = "wrong_bitness";
    *error = WrongBitness(m_headers, shown);
    if (!error->empty())
        return false;
    // A plug-in normally sits in the host's own folder, where the loader finds
    // the libraries it imports. This tool lives elsewhere, so the plug-in's
    // folder is searched for them in its place.
    m_failureCode = "load_failed";
    m_module = LoadLibraryExW(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (m_module == nullptr) {
        m_loadError = GetLastError();
        *error = "cannot load the driver " + shown + ": " + SystemMessage(m_loadError, shown);
        // The file is there, so what was not found is a library it imports.
        if (m_loadError == ERROR_MOD_NOT_FOUND)
            *error += "; a library it imports was not found";
        return false;
    }
    m_failureCode = "not_a_plugin";
    FARPROC export_ = GetProcAddress(m_module, "CreateBonDriver");
    if (export_ == nullptr) {
        *error = shown + " has no CreateBonDriver export; is it a tuner driver?";
        Unload();
        return false;
    }
    CreateBonDriverFunction create = reinterpret_cast<CreateBonDriverFunction>(reinterpret_cast<void*>(export_));
    IBonDriver* driver = create();
    if (driver == nullptr) {
        *error = "CreateBonDriver of " + shown + " gave no driver instance";
        Unload();
        return false;
    }
    // Drivers built without RTTI cannot be asked for IBonDriver2; every driver
    // this tool is meant for implements it, and with single inheritance both
    // interfaces share one address.
    m_driver = static_cast<IBonDriver2*>(driver);
    m_failureCode = "";
    return true;
}

void Driver::Unload()
{
    if (m_driver != nullptr) {
        if (m_tunerOpen)
            m_driver->CloseTuner();
        m_driver->Release();
    }
    m_driver = nullptr;
    m_tunerOpen = false;
    if (m_module != nullptr)
        FreeLibrary(m_module);
    m_module = nullptr;
}

bool Driver::UsesBoardLibrary() const
{
    return ImportsDll(m_headers, kBoardLibraryFile);
}

bool Driver::OpenTuner()
{
    m_tunerOpen = m_driver->OpenTuner() != FALSE;
    return m_tunerOpen;
}

bool Driver::SpaceName(DWORD space, std::string* name) const
{
    LPCWSTR text = m_driver->EnumTuningSpace(space);
    *name = ToUtf8(text);
    return text != nullptr;
}

bool Driver::ChannelName(DWORD space, DWORD channel, std::string* name) const
{
    LPCWSTR text = m_driver->EnumChannelName(space, channel);
    *name = ToUtf8(text);
    return text != nullptr;
}
