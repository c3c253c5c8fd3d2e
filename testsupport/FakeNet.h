// The network plug-in's call table (netseam/NetCalls.h) for its native
// tests: files, the profile, locks and memory from a FakeOs (which must live
// as long), real time, real threads, events, and HTTP servers in memory whose
// answers the test scripts. A server that is not there refuses at once. Any
// call can be made to fail on its Nth use. Safe to call from several threads.
#pragma once

#include <stdint.h>

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "netseam/NetCalls.h"
#include "testsupport/FakeOs.h"

enum class NetCall { NewEvent, StartThread, HttpSession, HttpConnect, HttpGet, HttpRead, Count };

// A response body that the test feeds while the plug-in reads it.
class FakeBody
{
public:
    void Push(const std::string& bytes);
    // The body's end as the reader sees it: 0 (a proper end or a clean close).
    void End();
    // A reset or a read error: -1.
    void Fail();
    // Reads wait for what comes next; after receiveMs without anything a read
    // fails as a timeout does.
    int32_t Read(uint8_t* dest, uint32_t capacity, uint32_t receiveMs);
    // Reads waiting now.
    int Waiting();

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_pending;
    bool m_ended = false;
    bool m_failed = false;
    int m_waiting = 0;
};

struct FakeAnswer {
    int32_t status = 200;  // 0: no answer at all (the connection fails)
    uint32_t delayMs = 0;  // before the headers; past answerMs there is no answer
    std::map<std::string, std::string> headers;
    std::shared_ptr<FakeBody> body = std::make_shared<FakeBody>();
};

// A whole answer: the text, then the end.
FakeAnswer TextAnswer(int32_t status, const std::string& text);

class FakeNet
{
public:
    // Becomes the table that Calls() reaches, until destroyed; waits then for
    // the threads the plug-in started.
    explicit FakeNet(FakeOs* os);
    ~FakeNet();
    FakeNet(const FakeNet&) = delete;
    FakeNet& operator=(const FakeNet&) = delete;

    static const NetCalls* Calls();

    // host:port answers each GET with what handler makes of the path.
    void Serve(const std::string& hostPort, std::function<FakeAnswer(const std::string& path)> handler);
    void Stop(const std::string& hostPort);
    // The occurrence-th call (from 1; 0 = every one) fails.
    void Fail(NetCall call, int occurrence);

    // "host:port/path" of every GET, in order.
    std::vector<std::string> Requests();
    int HandlesOpen();
    int ThreadsAlive();
    // Waits up to milliseconds for every thread to end; false if one is left.
    bool WaitForThreads(uint32_t milliseconds);

private:
    friend struct FakeNetCalls;
    bool Enter(NetCall call);

    FakeOs* m_os;
    std::mutex m_mutex;
    std::condition_variable m_threadEnded;
    std::map<std::string, std::function<FakeAnswer(const std::string&)>> m_servers;
    std::vector<std::string> m_requests;
    int m_counts[static_cast<int>(NetCall::Count)] = {};
    std::vector<std::pair<NetCall, int>> m_faults;
    int m_handles = 0;
    int m_threads = 0;
};
