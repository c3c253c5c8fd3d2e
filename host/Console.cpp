#include "host/Console.h"

#include <stdio.h>

namespace {

volatile LONG g_stopRequested = 0;
// Set once the command has stopped; a console that is closing waits for it,
// because the process ends as soon as the handler returns.
HANDLE g_stopHandled = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    InterlockedExchange(&g_stopRequested, 1);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        if (g_stopHandled != nullptr)
            WaitForSingleObject(g_stopHandled, 5000);
    }
    return TRUE;
}

}  // namespace

// A console gets the text as UTF-16, so that it shows whatever the console's
// code page; a file or pipe gets the UTF-8 bytes themselves.
void WriteText(DWORD stdHandle, const std::string& text)
{
    HANDLE handle = GetStdHandle(stdHandle);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty())
        return;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        std::wstring wide(static_cast<size_t>(size), L'\0');
        if (size > 0)
            MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], size);
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    const char* data = text.data();
    DWORD left = static_cast<DWORD>(text.size());
    while (left > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, data, left, &written, nullptr) || written == 0)
            return;
        data += written;
        left -= written;
    }
}

void Complain(const std::string& text)
{
    WriteText(STD_ERROR_HANDLE, "zendrel-host: " + text + "\n");
}

bool IsTerminal(DWORD stdHandle)
{
    HANDLE handle = GetStdHandle(stdHandle);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return false;
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) || GetFileType(handle) == FILE_TYPE_CHAR;
}

std::string SystemMessage(DWORD code, const std::string& insert)
{
    wchar_t text[512];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                  text, sizeof text / sizeof text[0], nullptr);
    // The system's texts end with a line break, often after a full stop
    // (U+3002 in Japanese).
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' ' ||
                          text[length - 1] == L'.' || text[length - 1] == 0x3002))
        --length;
    text[length] = L'\0';
    char number[32];
    snprintf(number, sizeof number, "error %lu", static_cast<unsigned long>(code));
    if (length == 0)
        return number;
    return FillInserts(ToUtf8(text), insert) + " (" + number + ")";
}

std::string AnsiToUtf8(const std::string& bytes)
{
    if (bytes.empty())
        return std::string();
    int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), &wide[0], size);
    return ToUtf8(wide);
}

std::wstring FullPath(const std::wstring& path)
{
    DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    size = GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
    if (size == 0 || size >= full.size())
        return path;
    full.resize(size);
    return full;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string LocalTimeText(double secondsAgo)
{
    FILETIME utc, local;
    GetSystemTimeAsFileTime(&utc);
    ULARGE_INTEGER then = {{utc.dwLowDateTime, utc.dwHighDateTime}};
    then.QuadPart -= static_cast<ULONGLONG>(secondsAgo * 1e7);
    utc.dwLowDateTime = then.LowPart;
    utc.dwHighDateTime = then.HighPart;
    FileTimeToLocalFileTime(&utc, &local);
    ULARGE_INTEGER u = {{utc.dwLowDateTime, utc.dwHighDateTime}};
    ULARGE_INTEGER l = {{local.dwLowDateTime, local.dwHighDateTime}};
    long long offset = (static_cast<long long>(l.QuadPart) - static_cast<long long>(u.QuadPart)) / 600000000LL;
    SYSTEMTIME t;
    FileTimeToSystemTime(&local, &t);
    char text[40];
    snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u%c%02lld:%02lld", t.wYear, t.wMonth, t.wDay, t.wHour,
             t.wMinute, t.wSecond, offset < 0 ? '-' : '+', (offset < 0 ? -offset : offset) / 60,
             (offset < 0 ? -offset : offset) % 60);
    return text;
}

void InstallStopHandler()
{
    g_stopHandled = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool StopRequested()
{
    return InterlockedCompareExchange(&g_stopRequested, 0, 0) != 0;
}

void StopHandled()
{
    if (g_stopHandled != nullptr)
        SetEvent(g_stopHandled);
}

double Now()
{
    static LARGE_INTEGER frequency = {};
    if (frequency.QuadPart == 0)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}
