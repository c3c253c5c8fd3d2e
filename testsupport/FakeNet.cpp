#include "testsupport/FakeNet.h"

#include <string.h>

#include <chrono>
#include <thread>

namespace {

FakeNet* g_net = nullptr;
const std::chrono::steady_clock::time_point g_start = std::chrono::steady_clock::now();

typedef std::unique_lock<std::mutex> Lock;

struct FakeEvent {
    std::mutex mutex;
    std::condition_variable changed;
    bool set = false;
};

enum class HandleKind { kSession, kConnection, kRequest };

struct FakeHandle {
    HandleKind kind;
    std::string server;  // host:port
    FakeAnswer answer;
    uint32_t receiveMs = 0;
};

std::string Narrow(const wchar_t* text)
{
    std::string out;
    for (; *text != L'\0'; ++text)
        out += static_cast<char>(*text < 0x80 ? *text : '?');
    return out;
}

}  // namespace

void FakeBody::Push(const std::string& bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pending += bytes;
    m_changed.notify_all();
}

void FakeBody::End()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ended = true;
    m_changed.notify_all();
}

void FakeBody::Fail()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failed = true;
    m_changed.notify_all();
}

int32_t FakeBody::Read(uint8_t* dest, uint32_t capacity, uint32_t receiveMs)
{
    Lock lock(m_mutex);
    ++m_waiting;
    m_changed.notify_all();
    bool ready = m_changed.wait_for(lock, std::chrono::milliseconds(receiveMs),
                                    [this] { return !m_pending.empty() || m_ended || m_failed; });
    --m_waiting;
    if (!m_pending.empty()) {
        size_t n = m_pending.size() < capacity ? m_pending.size() : capacity;
        memcpy(dest, m_pending.data(), n);
        m_pending.erase(0, n);
        return static_cast<int32_t>(n);
    }
    if (!ready || m_failed)
        return -1;
    return 0;
}

int FakeBody::Waiting()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_waiting;
}

FakeAnswer TextAnswer(int32_t status, const std::string& text)
{
    FakeAnswer answer;
    answer.status = status;
    answer.body->Push(text);
    answer.body->End();
    return answer;
}

struct FakeNetCalls {
    static bool Replace(const wchar_t* from, const wchar_t* to)
    {
        FakeOs& os = *g_net->m_os;
        auto it = os.files.find(from);
        if (it == os.files.end())
            return false;
        os.files[to] = it->second;
        os.files.erase(it);
        return true;
    }

    static uint32_t ProfileText(const wchar_t* section, const wchar_t* key, wchar_t* value, uint32_t capacity,
                                const wchar_t* path)
    {
        // Through the fake profile reader, which gives the number at the
        // start; the text is read here the same way.
        value[0] = L'\0';
        FakeOs& os = *g_net->m_os;
        auto it = os.files.find(path);
        if (it == os.files.end())
            return 0;
        const std::string& text = it->second;
        bool inSection = false;
        std::string wantSection = Narrow(section), wantKey = Narrow(key);
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find_first_of("\r\n", start);
            if (end == std::string::npos)
                end = text.size();
            std::string line = text.substr(start, end - start);
            start = end + 1;
            if (!line.empty() && line[0] == '[') {
                inSection = line.substr(1, line.find(']') - 1) == wantSection;
                continue;
            }
            size_t equals = line.find('=');
            if (!inSection || equals == std::string::npos || line.substr(0, equals) != wantKey)
                continue;
            std::string found = line.substr(equals + 1);
            uint32_t n = 0;
            for (; n < found.size() && n + 1 < capacity; ++n)
                value[n] = static_cast<unsigned char>(found[n]);
            value[n] = L'\0';
            return n;
        }
        return 0;
    }

    static uint32_t Milliseconds(void)
    {
        return static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - g_start).count());
    }

    static void Sleep(uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

    static void* NewEvent(void)
    {
        if (g_net->Enter(NetCall::NewEvent))
            return nullptr;
        return new FakeEvent;
    }

    static void SetEvent(void* event)
    {
        FakeEvent* e = static_cast<FakeEvent*>(event);
        std::lock_guard<std::mutex> lock(e->mutex);
        e->set = true;
        e->changed.notify_all();
    }

    static void ResetEvent(void* event)
    {
        FakeEvent* e = static_cast<FakeEvent*>(event);
        std::lock_guard<std::mutex> lock(e->mutex);
        e->set = false;
    }

    static bool WaitEvent(void* event, uint32_t milliseconds)
    {
        FakeEvent* e = static_cast<FakeEvent*>(event);
        Lock lock(e->mutex);
        if (milliseconds == 0xFFFFFFFF) {
            e->changed.wait(lock, [e] { return e->set; });
            return true;
        }
        return e->changed.wait_for(lock, std::chrono::milliseconds(milliseconds), [e] { return e->set; });
    }

    static void CloseEvent(void* event) { delete static_cast<FakeEvent*>(event); }

    static bool StartThread(const ThreadEntry* entry)
    {
        FakeNet* net = g_net;
        {
            std::lock_guard<std::mutex> lock(net->m_mutex);
            if (net->Enter(NetCall::StartThread))
                return false;
            ++net->m_threads;
        }
        std::thread([entry, net] {
            ThreadEntry copy = *entry;
            copy.run(copy.context);
            std::lock_guard<std::mutex> lock(net->m_mutex);
            --net->m_threads;
            net->m_threadEnded.notify_all();
        }).detach();
        return true;
    }

    static void* NewHandle(HandleKind kind, const std::string& server)
    {
        FakeHandle* handle = new FakeHandle;
        handle->kind = kind;
        handle->server = server;
        ++g_net->m_handles;
        return handle;
    }

    static void* HttpSession(void)
    {
        std::lock_guard<std::mutex> lock(g_net->m_mutex);
        return g_net->Enter(NetCall::HttpSession) ? nullptr : NewHandle(HandleKind::kSession, "");
    }

    static void* HttpConnect(void*, const wchar_t* host, uint16_t port)
    {
        std::lock_guard<std::mutex> lock(g_net->m_mutex);
        return g_net->Enter(NetCall::HttpConnect) ? nullptr
                                                  : NewHandle(HandleKind::kConnection,
                                                              Narrow(host) + ":" + std::to_string(port));
    }

    static void* HttpGet(void* connection, const wchar_t* path, uint32_t, uint32_t answerMs, uint32_t receiveMs,
                         int32_t* status)
    {
        FakeNet* net = g_net;
        std::string server = static_cast<FakeHandle*>(connection)->server;
        std::function<FakeAnswer(const std::string&)> handler;
        *status = 0;
        {
            std::lock_guard<std::mutex> lock(net->m_mutex);
            net->m_requests.push_back(server + Narrow(path));
            if (net->Enter(NetCall::HttpGet))
                return nullptr;
            auto it = net->m_servers.find(server);
            if (it == net->m_servers.end())
                return nullptr;
            handler = it->second;
        }
        FakeAnswer answer = handler(Narrow(path));
        uint32_t wait = answer.status == 0 || answer.delayMs > answerMs ? answerMs : answer.delayMs;
        std::this_thread::sleep_for(std::chrono::milliseconds(answer.delayMs > 0 ? wait : 0));
        if (answer.status == 0 || answer.delayMs > answerMs)
            return nullptr;
        std::lock_guard<std::mutex> lock(net->m_mutex);
        FakeHandle* request = static_cast<FakeHandle*>(NewHandle(HandleKind::kRequest, server));
        request->answer = answer;
        request->receiveMs = receiveMs;
        *status = answer.status;
        return request;
    }

    static uint32_t HttpHeader(void* request, const wchar_t* name, char* value, uint32_t capacity)
    {
        FakeHandle* r = static_cast<FakeHandle*>(request);
        auto it = r->answer.headers.find(Narrow(name));
        value[0] = '\0';
        if (it == r->answer.headers.end())
            return 0;
        uint32_t n = 0;
        for (; n < it->second.size() && n + 1 < capacity; ++n)
            value[n] = it->second[n];
        value[n] = '\0';
        return n;
    }

    static int32_t HttpRead(void* request, uint8_t* dest, uint32_t capacity)
    {
        {
            std::lock_guard<std::mutex> lock(g_net->m_mutex);
            if (g_net->Enter(NetCall::HttpRead))
                return -1;
        }
        FakeHandle* r = static_cast<FakeHandle*>(request);
        return r->answer.body->Read(dest, capacity, r->receiveMs);
    }

    static void HttpClose(void* handle)
    {
        std::lock_guard<std::mutex> lock(g_net->m_mutex);
        delete static_cast<FakeHandle*>(handle);
        --g_net->m_handles;
    }
};

FakeNet::FakeNet(FakeOs* os) : m_os(os)
{
    g_net = this;
}

FakeNet::~FakeNet()
{
    WaitForThreads(60000);
    g_net = nullptr;
}

namespace {

NetCalls MakeCalls()
{
    NetCalls calls;
    const OsCalls* os = FakeOs::Calls();
    calls.files = {os->Exists,         os->CreateNew, os->Write,  os->Flush,
                   os->Close,          os->Move,      FakeNetCalls::Replace, os->Remove};
    calls.OpenRead = os->OpenRead;
    calls.Read = os->Read;
    calls.Exists = os->Exists;
    calls.ModuleFileName = os->ModuleFileName;
    calls.LongPathName = os->LongPathName;
    calls.ProfileInt = os->ProfileInt;
    calls.ProfileText = FakeNetCalls::ProfileText;
    calls.Milliseconds = FakeNetCalls::Milliseconds;
    calls.Sleep = FakeNetCalls::Sleep;
    calls.Lock = os->Lock;
    calls.Unlock = os->Unlock;
    calls.NewEvent = FakeNetCalls::NewEvent;
    calls.SetEvent = FakeNetCalls::SetEvent;
    calls.ResetEvent = FakeNetCalls::ResetEvent;
    calls.WaitEvent = FakeNetCalls::WaitEvent;
    calls.CloseEvent = FakeNetCalls::CloseEvent;
    calls.StartThread = FakeNetCalls::StartThread;
    calls.AllocZeroed = os->AllocZeroed;
    calls.Free = os->Free;
    calls.HttpSession = FakeNetCalls::HttpSession;
    calls.HttpConnect = FakeNetCalls::HttpConnect;
    calls.HttpGet = FakeNetCalls::HttpGet;
    calls.HttpHeader = FakeNetCalls::HttpHeader;
    calls.HttpRead = FakeNetCalls::HttpRead;
    calls.HttpClose = FakeNetCalls::HttpClose;
    return calls;
}

}  // namespace

const NetCalls* FakeNet::Calls()
{
    static const NetCalls calls = MakeCalls();
    return &calls;
}

void FakeNet::Serve(const std::string& hostPort, std::function<FakeAnswer(const std::string& path)> handler)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_servers[hostPort] = handler;
}

void FakeNet::Stop(const std::string& hostPort)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_servers.erase(hostPort);
}

void FakeNet::Fail(NetCall call, int occurrence)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.emplace_back(call, occurrence);
}

bool FakeNet::Enter(NetCall call)
{
    int n = ++m_counts[static_cast<int>(call)];
    for (const auto& fault : m_faults)
        if (fault.first == call && (fault.second == 0 || fault.second == n))
            return true;
    return false;
}

std::vector<std::string> FakeNet::Requests()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

int FakeNet::HandlesOpen()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_handles;
}

int FakeNet::ThreadsAlive()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_threads;
}

bool FakeNet::WaitForThreads(uint32_t milliseconds)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_threadEnded.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_threads == 0; });
}
