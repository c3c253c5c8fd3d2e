// Output, messages and Ctrl+C for the tool. All texts here are UTF-8.
#pragma once

#include <windows.h>

#include <string>

#include "host/Text.h"

// To stdout or stderr (STD_OUTPUT_HANDLE, STD_ERROR_HANDLE).
void WriteText(DWORD stdHandle, const std::string& text);
// "zendrel-host: <text>" as one line on stderr.
void Complain(const std::string& text);
// True when the handle is a console or a terminal rather than a file or pipe.
bool IsTerminal(DWORD stdHandle);
// The system's text for an error code, with the code: "<text> (error 1114)".
// Its inserts (%1) are filled with `insert`, a file name as a rule.
std::string SystemMessage(DWORD code, const std::string& insert = "?");
// Code page 932 text, as the plug-in converts it for the host (the system's
// ANSI code page), in UTF-8.
std::string AnsiToUtf8(const std::string& bytes);
// The full path of a file; the path as given when that fails.
std::wstring FullPath(const std::wstring& path);
// Any entry of that name, a folder too.
bool Exists(const std::wstring& path);
// Now, or that many seconds ago, in local time: "2024-05-01T21:30:05+09:00".
std::string LocalTimeText(double secondsAgo = 0);

// Ctrl+C, Ctrl+Break and closing the console ask the running command to stop;
// it ends its loop, keeps what it has and calls StopHandled.
void InstallStopHandler();
bool StopRequested();
void StopHandled();

// Seconds on a monotonic clock.
double Now();
