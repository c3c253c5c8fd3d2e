// A file the tool writes: created under a name that says it is unfinished,
// beside its target, and given the target's name only once it is whole, so
// that a run that stops early never leaves a file that looks complete. An
// existing target is replaced only when the user said so. Or standard output.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>

class NewFile
{
public:
    NewFile() = default;
    ~NewFile() { Abandon(); }
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // Fails, with a one-line reason, when the target exists and replace is
    // false, or when no unfinished name beside it can be created.
    bool Create(const std::wstring& target, bool replace, std::string* error);
    // What the last failure was, for --json: "file_exists", "output_is_folder",
    // "folder_missing", "folder_not_writable", "stdout_is_terminal" or
    // "cannot_write".
    const char* FailureCode() const { return m_failureCode; }
    // Fails when standard output is a terminal: a stream is no text.
    bool UseStandardOutput(std::string* error);

    // *written counts the bytes that went out, also when it fails midway.
    bool Write(const void* data, DWORD size, DWORD* written, std::string* error);
    // Flushes, closes and renames the file to its target.
    bool Finish(std::string* error);
    // Closes and keeps what was written under the unfinished name; a file
    // with nothing in it is removed.
    void Abandon();

    // Where the bytes are: the target, the unfinished name, "-", or "" once
    // an empty file was removed.
    std::string Shown() const;
    // What the file holds on disk once closed; before that, what was written.
    uint64_t Size() const;

private:
    bool Close(std::string* error);

    std::wstring m_target;
    std::wstring m_path;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    bool m_toStdout = false;
    bool m_replace = false;
    uint64_t m_written = 0;
    const char* m_failureCode = "";
};
