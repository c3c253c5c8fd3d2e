#include "host/NewFile.h"

#include "host/Console.h"

namespace {

// Attempts at an unfinished name before giving up: rec.partial.ts, then
// rec.partial-2.ts and on, so that an earlier run's leftover is never
// written over.
const int kPartialNames = 99;

}  // namespace

bool NewFile::Create(const std::wstring& target, bool replace, std::string* error)
{
    m_target = FullPath(target);
    m_replace = replace;
    std::string shown = ToUtf8(target);
    DWORD attributes = GetFileAttributesW(m_target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        m_failureCode = "output_is_folder";
        *error = shown + " is a folder";
        return false;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && !replace) {
        m_failureCode = "file_exists";
        *error = shown + " exists; give --force to replace it";
        return false;
    }
    // Said of the folder the user named, not of the unfinished file's name,
    // which the user never typed.
    std::wstring folder = m_target.substr(0, m_target.find_last_of(L"\\/") + 1);
    DWORD folderAttributes = GetFileAttributesW(folder.c_str());
    if (folderAttributes == INVALID_FILE_ATTRIBUTES || !(folderAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        m_failureCode = "folder_missing";
        *error = "cannot write " + shown + ": the folder " + ToUtf8(folder) + " does not exist";
        return false;
    }
    for (int attempt = 1; attempt <= kPartialNames; ++attempt) {
        m_path = PartialName(m_target, attempt);
        m_handle = CreateFileW(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (m_handle != INVALID_HANDLE_VALUE)
            return true;
        DWORD code = GetLastError();
        if (code == ERROR_ACCESS_DENIED || code == ERROR_WRITE_PROTECT) {
            m_failureCode = "folder_not_writable";
            *error = "cannot write " + shown + ": nothing can be written in the folder " + ToUtf8(folder) + " (" +
                     SystemMessage(code, ToUtf8(folder)) + ")";
            return false;
        }
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            m_failureCode = "cannot_write";
            *error = "cannot write " + ToUtf8(m_path) + ": " + SystemMessage(code, ToUtf8(m_path));
            return false;
        }
    }
    m_failureCode = "cannot_write";
    *error = "cannot write beside " + shown + ": " + ToUtf8(PartialName(m_target, 1)) +
             " and the next 98 such names are taken";
    return false;
}

bool NewFile::UseStandardOutput(std::string* error)
{
    m_toStdout = true;
    m_handle = GetStdHandle(STD_OUTPUT_HANDLE);
    if (m_handle == nullptr || m_handle == INVALID_HANDLE_VALUE || IsTerminal(STD_OUTPUT_HANDLE)) {
        m_handle = INVALID_HANDLE_VALUE;
        m_failureCode = "stdout_is_terminal";
        *error = "--out - writes the stream to standard output, which is not redirected here";
        return false;
    }
    return true;
}

bool NewFile::Write(const void* data, DWORD size, DWORD* written, std::string* error)
{
    const BYTE* bytes = static_cast<const BYTE*>(data);
    *written = 0;
    while (*written < size) {
        DWORD done = 0;
        if (!WriteFile(m_handle, bytes + *written, size - *written, &done, nullptr) || done == 0) {
            DWORD code = GetLastError();
            m_written += *written;
            m_failureCode = "cannot_write";
            *error = m_toStdout ? "cannot write to standard output: " + SystemMessage(code, "-")
                                : "cannot write " + ToUtf8(m_path) + ": " + SystemMessage(code, ToUtf8(m_path));
            return false;
        }
        *written += done;
    }
    m_written += *written;
    return true;
}

bool NewFile::Close(std::string* error)
{
    if (m_handle == INVALID_HANDLE_VALUE || m_toStdout) {
        m_handle = INVALID_HANDLE_VALUE;
        return true;
    }
    bool ok = FlushFileBuffers(m_handle) != FALSE;
    if (!ok) {
        m_failureCode = "cannot_write";
        *error = "cannot write " + ToUtf8(m_path) + ": " + SystemMessage(GetLastError(), ToUtf8(m_path));
    }
    CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    return ok;
}

bool NewFile::Finish(std::string* error)
{
    if (!Close(error))
        return false;
    if (m_toStdout)
        return true;
    if (!MoveFileExW(m_path.c_str(), m_target.c_str(), m_replace ? MOVEFILE_REPLACE_EXISTING : 0)) {
        DWORD code = GetLastError();
        m_failureCode = "cannot_write";
        *error = "cannot rename " + ToUtf8(m_path) + " to " + ToUtf8(m_target) + ": " +
                 SystemMessage(code, ToUtf8(m_target));
        return false;
    }
    m_path = m_target;
    return true;
}

void NewFile::Abandon()
{
    std::string ignored;
    bool wasOpen = m_handle != INVALID_HANDLE_VALUE;
    Close(&ignored);
    if (wasOpen && !m_toStdout && m_path != m_target && Size() == 0 && DeleteFileW(m_path.c_str()))
        m_path.clear();
}

std::string NewFile::Shown() const
{
    return m_toStdout ? "-" : ToUtf8(m_path);
}

uint64_t NewFile::Size() const
{
    if (m_toStdout || m_handle != INVALID_HANDLE_VALUE)
        return m_written;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (m_path.empty() || !GetFileAttributesExW(m_path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}
