// cpp-httplib as zendrel-host builds it. Every file that includes the library
// includes it through here, so that its inline functions are the same
// everywhere. Such files are built with C++ exceptions: the library parses a
// request's Range header with std::stoll and relies on catching what it
// throws, so that `Range: bytes=99999999999999999999-` is answered 416; with
// CPPHTTPLIB_NO_EXCEPTIONS, that one request would end the server.
//
// Every read the library makes from a connection passes through BoundedRecv:
// while a request is being read on a thread (RequestBounds), a read that takes
// it past kMaxRequestBytes, or past kMaxRequestSeconds since it began, fails,
// and the library answers 400 or closes the connection. The library bounds
// each header line but neither their number nor a line still waiting for its
// end, which it keeps growing in memory.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <chrono>

namespace request_bounds {

// A request's line and headers (a GET has no body here), and how long it may
// take to send them.
const size_t kMaxRequestBytes = 16 * 1024;
const double kMaxRequestSeconds = 10.0;

// Set on a connection's thread while its request is being read.
inline thread_local bool t_reading = false;
inline thread_local size_t t_bytes = 0;
inline thread_local std::chrono::steady_clock::time_point t_start;

inline double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// From now on this thread reads a request, until Done.
inline void Begin()
{
    t_reading = true;
    t_bytes = 0;
    t_start = std::chrono::steady_clock::now();
}

inline void Done()
{
    t_reading = false;
}

inline int BoundedRecv(SOCKET socket, char* buffer, int size, int flags)
{
    int got = ::recv(socket, buffer, size, flags);
    if (!t_reading || got <= 0 || (flags & MSG_PEEK) != 0)
        return got;
    t_bytes += static_cast<size_t>(got);
    if (t_bytes > kMaxRequestBytes || SecondsSince(t_start) > kMaxRequestSeconds) {
        WSASetLastError(WSAEMSGSIZE);
        return SOCKET_ERROR;
    }
    return got;
}

}  // namespace request_bounds

// Bodies are read in pieces of this size (the library's own is 4 KB): a
// client reading a stream makes a sixteenth of the calls. serve reads no
// bodies; the benchmark's clients do.
#define CPPHTTPLIB_RECV_BUFSIZ size_t(65536u)

#define recv request_bounds::BoundedRecv
#include <httplib.h>
#undef recv
