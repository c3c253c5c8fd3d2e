// Output, messages and Ctrl+C for the tool. All texts here are UTF-8.
#pragma once

#include <windows.h>

#include <string>

// null gives an empty text.
std::string ToUtf8(const wchar_t* text);
inline std::string ToUtf8(const std::wstring& text) { return ToUtf8(text.c_str()); }

// To stdout or stderr (STD_OUTPUT_HANDLE, STD_ERROR_HANDLE).
void WriteText(DWORD stdHandle, const std::string& text);
// "zendrel-host: <text>" as one line on stderr.
void Complain(const std::string& text);
// True when the handle is a console or a terminal rather than a file or pipe.
bool IsTerminal(DWORD stdHandle);
// The system's text for an error code, with the code: "<text> (error 1114)".
std::string SystemMessage(DWORD code);

// Ctrl+C, Ctrl+Break and closing the console ask the running command to stop;
// it ends its loop, keeps what it has and calls StopHandled.
void InstallStopHandler();
bool StopRequested();
void StopHandled();

// Seconds on a monotonic clock.
double Now();
