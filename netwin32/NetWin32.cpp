// The call table of netseam/NetCalls.h, filled with kernel32 and WinHTTP.
// Each call does only what its entry says; WinHTTP's ways are kept here:
//
// - Under Wine a read waits until its whole buffer is full, so each read
//   first asks how much is there and takes that much.
// - A clean close of the connection mid-stream reads as success with 0
//   bytes, the same as the body's proper end.
// - The receive timeout bounds body reads, not the wait for the response's
//   headers, which has an option of its own.
// - After an error a request is never read again (under Wine that can
//   crash): the logic only closes it.
// - Keep-alive is off: serve answers one request per connection.
#include <windows.h>
#include <winhttp.h>

#include "netwin32/NetWin32.h"
#include "win32/Kernel32.h"

namespace {

uint32_t ProfileText(const wchar_t* section, const wchar_t* key, wchar_t* value, uint32_t capacity,
                     const wchar_t* path)
{
    return GetPrivateProfileStringW(section, key, L"", value, capacity, path);
}

uint32_t Milliseconds(void)
{
    return GetTickCount();
}

void SleepMilliseconds(uint32_t milliseconds)
{
    SleepEx(milliseconds, FALSE);
}

void* NewEvent(void)
{
    return CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

void SetEventHandle(void* event)
{
    SetEvent(static_cast<HANDLE>(event));
}

void ResetEventHandle(void* event)
{
    ResetEvent(static_cast<HANDLE>(event));
}

bool WaitEvent(void* event, uint32_t milliseconds)
{
    return WaitForSingleObject(static_cast<HANDLE>(event), milliseconds) == WAIT_OBJECT_0;
}

void CloseEvent(void* event)
{
    CloseHandle(static_cast<HANDLE>(event));
}

// A thread's start: it runs its entry, then lets go of the reference to the
// DLL that StartThread took for it, and ends in the same call, so that no
// code of the DLL runs after the DLL may have been unloaded.
DWORD WINAPI ThreadStart(LPVOID parameter)
{
    const ThreadEntry* entry = static_cast<const ThreadEntry*>(parameter);
    entry->run(entry->context);
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThreadStart), &self);
    FreeLibraryAndExitThread(self, 0);
    return 0;
}

// The stack a thread reserves: its piece buffer is 64 KB.
const SIZE_T kThreadStack = 256 * 1024;

bool StartThread(const ThreadEntry* entry)
{
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ThreadStart), &self))
        return false;
    HANDLE thread = CreateThread(nullptr, kThreadStack, ThreadStart, const_cast<ThreadEntry*>(entry),
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) {
        FreeLibrary(self);
        return false;
    }
    CloseHandle(thread);
    return true;
}

void* HttpSession(void)
{
    // No proxy: the servers are on the house network.
    return WinHttpOpen(L"Zendrel-Net", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                       WINHTTP_NO_PROXY_BYPASS, 0);
}

void* HttpConnect(void* session, const wchar_t* host, uint16_t port)
{
    return WinHttpConnect(static_cast<HINTERNET>(session), host, port, 0);
}

void* HttpGet(void* connection, const wchar_t* path, uint32_t connectMs, uint32_t answerMs, uint32_t receiveMs,
              int32_t* status)
{
    *status = 0;
    HINTERNET request = WinHttpOpenRequest(static_cast<HINTERNET>(connection), L"GET", path, nullptr,
                                           WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0);
    if (request == nullptr)
        return nullptr;
    DWORD features = WINHTTP_DISABLE_KEEP_ALIVE | WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES;
    WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &features, sizeof features);
    DWORD start = GetTickCount();
    bool answered = WinHttpSetTimeouts(request, static_cast<int>(connectMs), static_cast<int>(connectMs),
                                       static_cast<int>(answerMs), static_cast<int>(receiveMs)) &&
                    WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
    if (answered) {
        // What is left of answerMs for the headers.
        DWORD spent = GetTickCount() - start;
        DWORD left = spent < answerMs ? answerMs - spent : 1;
        WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &left, sizeof left);
        answered = WinHttpReceiveResponse(request, nullptr);
    }
    DWORD code = 0;
    DWORD size = sizeof code;
    if (answered && WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                        WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX)) {
        *status = static_cast<int32_t>(code);
        return request;
    }
    WinHttpCloseHandle(request);
    return nullptr;
}

// WinHTTP gives header values as UTF-16 made from the bytes one for one.
uint32_t HttpHeader(void* request, const wchar_t* name, char* value, uint32_t capacity)
{
    wchar_t text[256];
    DWORD size = sizeof text;
    value[0] = '\0';
    if (!WinHttpQueryHeaders(static_cast<HINTERNET>(request), WINHTTP_QUERY_CUSTOM, name, text, &size,
                             WINHTTP_NO_HEADER_INDEX))
        return 0;
    uint32_t length = 0;
    for (DWORD i = 0; i < size / sizeof text[0] && length + 1 < capacity; ++i)
        value[length++] = static_cast<char>(text[i] < 0x100 ? text[i] : '?');
    value[length] = '\0';
    return length;
}

int32_t HttpRead(void* request, uint8_t* dest, uint32_t capacity)
{
    HINTERNET handle = static_cast<HINTERNET>(request);
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(handle, &available))
        return -1;
    if (available == 0)
        return 0;
    DWORD got = 0;
    if (!WinHttpReadData(handle, dest, available < capacity ? available : capacity, &got))
        return -1;
    return static_cast<int32_t>(got);
}

void HttpClose(void* handle)
{
    WinHttpCloseHandle(static_cast<HINTERNET>(handle));
}

}  // namespace

const NetCalls g_netWin32 = {
    {kernel32::Exists, kernel32::CreateNew, kernel32::Write, kernel32::Flush, kernel32::Close, kernel32::Move,
     kernel32::Replace, kernel32::Remove},
    kernel32::OpenRead,
    kernel32::Read,
    kernel32::Exists,
    kernel32::ModuleFileName,
    kernel32::LongPathName,
    kernel32::ProfileInt,
    ProfileText,
    Milliseconds,
    SleepMilliseconds,
    kernel32::Lock,
    kernel32::Unlock,
    NewEvent,
    SetEventHandle,
    ResetEventHandle,
    WaitEvent,
    CloseEvent,
    StartThread,
    kernel32::AllocZeroed,
    kernel32::Free,
    HttpSession,
    HttpConnect,
    HttpGet,
    HttpHeader,
    HttpRead,
    HttpClose,
};
