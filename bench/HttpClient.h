// The HTTP client of the serve benchmarks, on Boost.Beast as serve's server
// is: one GET on 127.0.0.1 whose body is handed over as it arrives. No Boost
// header here, so that only HttpClient.cpp is built with exceptions.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>

struct HttpResult {
    int status = 0;         // 0: no answer
    bool complete = false;  // the body ended properly
    double firstByte = -1;  // Seconds() when the first byte of the body came
};

// sink gets each piece of the body as it arrives and returns false to stop
// reading. Every read waits at most timeoutSeconds.
HttpResult HttpGet(uint16_t port, const std::string& target, const std::function<bool(const char*, size_t)>& sink,
                   double timeoutSeconds = 30);
