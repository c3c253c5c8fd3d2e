#include "testsupport/FakeBoard.h"

#include <string.h>

#include <chrono>
#include <thread>

namespace {

FakeBoard* g_board = nullptr;

const int32_t kFirstHandle = 0x100;
const wchar_t* const kSlotNames[4] = {L"Bt1", L"Bt2", L"Bs1", L"Bs2"};

// Handle of "Ec<board><slot>" on a board that exists, or -1.
int32_t HandleOf(const wchar_t* name, int32_t boards)
{
    if (name == nullptr || wcsncmp(name, L"Ec", 2) != 0)
        return -1;
    wchar_t* end = nullptr;
    long board = wcstol(name + 2, &end, 10);
    if (end == name + 2 || board < 1 || board > boards || board > 64)
        return -1;
    for (int slot = 0; slot < 4; ++slot) {
        if (wcscmp(end, kSlotNames[slot]) == 0)
            return kFirstHandle + static_cast<int32_t>(board - 1) * 4 + slot;
    }
    return -1;
}

std::string Narrow(const wchar_t* text)
{
    std::string out;
    for (; text != nullptr && *text != L'\0'; ++text)
        out += (*text >= 0x20 && *text < 0x7F) ? static_cast<char>(*text) : '?';
    return text == nullptr ? "null" : out;
}

}  // namespace

const char* BoardCallName(BoardCall call)
{
    static const char* const kNames[] = {
        "GetDllVersion",        "PtDllOpen",          "PtDllClose",           "PtDllGetDevCount",
        "PtDllSetLnbPower",     "PtDllSetTunerSleep", "PtDllGetChannelMax",   "PtDllGetChannelInfo",
        "PtDllSetFrequency",    "PtDllGetTmcc",       "PtDllSetIdS",          "PtDllGetCnAgc",
        "PtDllSetStreamEnable", "PtDllGetStreamEnable", "PtDllGetStreamSize", "PtDllGetStreamData",
        "PtDllGetStreamFlush"};
    return kNames[static_cast<int>(call)];
}

// The calls themselves: each takes the board's lock for its whole run.
struct FakeBoardCalls {
    typedef std::lock_guard<std::mutex> Guard;

    static int32_t PTDLL_CALL GetDllVersion(void)
    {
        FakeBoard& b = *g_board;
        Guard guard(b.m_mutex);
        BoardFault fault = b.Enter(BoardCall::GetDllVersion);
        int32_t result = fault == BoardFault::None             ? b.version
                         : fault == BoardFault::ResultOne      ? 1
                         : fault == BoardFault::ResultMinusOne ? -1
                                                               : 2;
        b.Record("GetDllVersion()=" + std::to_string(result));
        return result;
    }

    static int32_t PTDLL_CALL PtDllOpen(const wchar_t* name)
    {
        FakeBoard& b = *g_board;
        Guard guard(b.m_mutex);
        BoardFault fault = b.Enter(BoardCall::PtDllOpen);
        int32_t result = HandleOf(name, b.devCount);
        if (result != -1 && (b.refused.count(name) != 0 || b.m_tuners[result].open))
            result = -1;
        if (fault == BoardFault::ResultMinusOne || fault == BoardFault::OutputUnwritten)
            result = -1;
        else if (fault != BoardFault::None)
            result = 1;  // a handle of no tuner
        if (result >= kFirstHandle) {
            FakeTuner& t = b.m_tuners[result];
            t = FakeTuner();
            t.open = true;
        }
        b.Record("PtDllOpen(" + Narrow(name) + ")=" + std::to_string(result));
        return result;
    }

    static int32_t PTDLL_CALL PtDllClose(int32_t handle)
    {
        FakeBoard& b = *g_board;
        Guard guard(b.m_mutex);
        BoardFault fault = b.Enter(BoardCall::PtDllClose);
        // Closed even when it reports a failure: the handle is gone either way.
        FakeTuner* t = b.ByHandle(handle);
        if (t != nullptr) {
            t->open = false;
            t->streaming = false;
        }
        int32_t result = t == nullptr ? 1 : FaultResult(fault);
        b.Record("PtDllClose(" + std::to_string(handle) + ")=" + std::to_string(result));
        return result;
    }

    static int32_t PTDLL_CALL PtDllGetDevCount(void)
    {
        FakeBoard& b = *g_board;
        Guard guard(b.m_mutex);
        BoardFault fault = b.Enter(BoardCall::PtDllGetDevCount);
        int32_t result = fault == BoardFault::None             ? b.devCount
                         : fault == BoardFault::ResultOne       ? 1
                         : fault == BoardFault::ResultMinusOne  ? -1
                         : fault == BoardFault::OutputUnwritten ? 0
                                                                : 0x7FFFFFFF;
        b.Record("PtDllGetDevCount()=" + std::to_string(result));
        return result;
    }

    static int32_t PTDLL_CALL PtDllSetLnbPower(int32_t handle, int32_t mode)
    {
        FakeBoard& b = *g_board;
        Guard guard(b.m_mutex);
        BoardFault fault = b.Enter(BoardCall::PtDllSetLnbPower);
        FakeTuner* t = b.ByHandle(handle);
        return b.Result("PtDllSetLnbPower(" + std::to_string(handle) + "," + std::to_string(mode) + ")", t, fault);
    }

    static int32_t PTDLL_CALL PtDllSetTunerSleep(int32_t handle, int32_t sleep)
    {
        FakeBoard& b = *g_board;
        Guard guard(b.m_mutex);
        BoardFault fault = b.Enter(BoardCall::PtDllSetTunerSleep);
        FakeTuner* t = b.ByHandle(handle);
        if (t != nullptr && fault == BoardFault::None)
            t->sleeping = sleep != 0;
        return b.Result("PtDllSetTunerSleep(" + std::to_string(handle) + "," + std::to_string(sleep) + ")", t,
                        fault);
    }

    static int32_t PTDLL_CALL PtDllGetChannelMax(int32_t handle, uint32_t* count)
    {
        FakeBoard& b = *g_board;
        Guard guard(b.m_mutex);
        BoardFault fault = b.Enter(BoardCall::PtDllGetChannelMax);
        FakeTuner* t = b.ByHandle(handle);
        if (t != nullptr && fault != BoardFault::OutputUnwritten)
            *count = fault == BoardFault::OutputOversized ? 0xFFFFFFFFu : static_cast<uint32_t>(b.channels.size());
        return b.Result("PtDllGetChannelMax(" + std::to_string(handle) + ")", t, fault);
    }

    static int32_t PTDLL_CALL PtDllGetChannelInfo(int32_t handle, uint32_t index, uint32_t* value, char* name16)
    {
        FakeBoard& b = *g_board;
        Guard guard(b.m_mutex);
        BoardFault fault = b.Enter(BoardCall::PtDllGetChannelInfo);
        FakeTuner* t = b.ByHandle(handle);
        if (t != nullptr && fault != BoardFault::OutputUnwritten) {
            std::string name = index < b.channels.size() ? b.channels[index] : std::string();
            if (fault == BoardFault::OutputOversized)
                name = "CCCCCCCCCCCCCCCC";
            // A 16-byte name leaves the buffer without a terminator.
            memset(name16, 0, 16);
            memcpy(name16, name.data(), name.size() < 16 ? name.size() : 16);
            *value = index;
        }
        return b.Result("PtDllGetChannelInfo(" + std::to_string(handle) + "," + std::to_string(index) + ")", t,
                        fault);
    }

    static int32_t PTDLL_CALL PtDllSetFrequency(int32_t handle, uint32_t ptChannel)
    {
        FakeBoard& b = *g_board;
        Guard guard(b.m_mutex);
        BoardFault fault = b.Enter(BoardCall::PtDllSetFrequency);
        FakeTuner* t = b.ByHandle(handle);
        int32_t result = t == nullptr ? 1 : fault != BoardFault::None ? FaultResult(fault) : b.frequencyResult;
        if (t != nullptr && result == 0) {
            t->ptChannel = static_cast<int32_t>(ptChannel);
            t->tsId = 0;
            t->awaitingTsId = handle % 4 >= 2;
        }
        b.Record("PtDllSetFrequency(" + std::to_string(handle) + "," + std::to_string(ptChannel) + ")=" +
                 std::to_string(result));
        return result;
    }

    static int32_t PTDLL_CALL PtDllGetTmcc(int32_t handle, void* tmcc20)
    {
        FakeBoard& b = *g_board;
        Guard guard(b.m_mutex);
        BoardFault fault = b.Enter(BoardCall::PtDllGetTmcc);
        FakeTuner* t = b.ByHandle(handle);
        if (t != nullptr && fault != BoardFault::OutputUnwritten)
            memset(tmcc20, 0x5A, 20);
        int32_t result = t == nullptr ? 1 : fault != BoardFault::None ? FaultResult(fault) : b.tmccResult;
        b.Record("PtDllGetTmcc(" + std::to_string(handle) + ")=" + std::to_string(result));
        return result;
    }

    static int32_t PTDLL_CALL PtDllSetIdS(int32_t handle, uint32_t tsId)
    {
        FakeBoard& b = *g_board;
        Guard guard(b.m_mutex);
        BoardFault fault = b.Enter(BoardCall::PtDllSetIdS);
        FakeTuner* t = b.ByHandle(handle);
        if (t != nullptr && fault == BoardFault::None) {
            t->tsId = tsId;
            t->awaitingTsId = false;
        }
        return b.Result("PtDllSetIdS(" + std::to_string(handle) + "," + std::to_string(tsId) + ")", t, fault);
    }

    static int32_t PTDLL_CALL PtDllGetCnAgc(int32_t handle, uint32_t* cn100, uint32_t* agc, uint32_t* agcMax)
    {
        FakeBoard& b = *g_board;
        Guard guard(b.m_mutex);
        BoardFault fault = b.Enter(BoardCall::PtDllGetCnAgc);
        FakeTuner* t = b.ByHandle(handle);
        if (t != nullptr && fault != BoardFault::OutputUnwritten) {
            *cn100 = fault == BoardFault::OutputOversized ? 0xFFFFFFFFu : b.cn100;
            *agc = 100;
            *agcMax = 255;
        }
        return b.Result("PtDllGetCnAgc(" + std::to_string(handle) + ")", t, fault);
    }

    static int32_t PTDLL_CALL PtDllSetStreamEnable(int32_t handle, int32_t enable)
    {
        FakeBoard& b = *g_board;
        Guard guard(b.m_mutex);
        BoardFault fault = b.Enter(BoardCall::PtDllSetStreamEnable);
        FakeTuner* t = b.ByHandle(handle);
        if (t != nullptr && fault == BoardFault::None) {
            t->streaming = enable != 0;
            if (enable != 0 && t->awaitingTsId)
                ++b.m_streamDuringTune;
        }
        return b.Result("PtDllSetStreamEnable(" + std::to_string(handle) + "," + std::to_string(enable) + ")", t,
                        fault);
    }

    static int32_t PTDLL_CALL PtDllGetStreamEnable(int32_t handle, uint8_t* running)
    {
        FakeBoard& b = *g_board;
        Guard guard(b.m_mutex);
        BoardFault fault = b.Enter(BoardCall::PtDllGetStreamEnable);
        FakeTuner* t = b.ByHandle(handle);
        if (t != nullptr && fault != BoardFault::OutputUnwritten)
            *running = fault == BoardFault::OutputOversized ? 0xFF : (t->streaming ? 1 : 0);
        return b.Result("PtDllGetStreamEnable(" + std::to_string(handle) + ")", t, fault);
    }

    static int32_t PTDLL_CALL PtDllGetStreamSize(int32_t handle, uint32_t* size)
    {
        FakeBoard& b = *g_board;
        Guard guard(b.m_mutex);
        BoardFault fault = b.Enter(BoardCall::PtDllGetStreamSize);
        FakeTuner* t = b.ByHandle(handle);
        if (t != nullptr && fault != BoardFault::OutputUnwritten)
            *size = fault == BoardFault::OutputOversized ? 0xFFFFFFFFu : (t->streaming ? b.readyBytes : 0);
        return b.Result("PtDllGetStreamSize(" + std::to_string(handle) + ")", t, fault);
    }

    static int32_t PTDLL_CALL PtDllGetStreamData(int32_t handle, uint8_t* dest, uint32_t capacity, uint32_t* copied)
    {
        FakeBoard& b = *g_board;
        Guard guard(b.m_mutex);
        BoardFault fault = b.Enter(BoardCall::PtDllGetStreamData);
        FakeTuner* t = b.ByHandle(handle);
        if (t != nullptr && fault != BoardFault::OutputUnwritten) {
            uint32_t n = t->streaming ? (b.readyBytes < capacity ? b.readyBytes : capacity) : 0;
            if (t->awaitingTsId && n > 0)
                ++b.m_streamDuringTune;
            memset(dest, 0x47, n);
            b.readyBytes -= n;
            // A library that claims more than it was allowed to copy.
            *copied = fault == BoardFault::OutputOversized ? capacity + 188 : n;
        }
        return b.Result("PtDllGetStreamData(" + std::to_string(handle) + "," + std::to_string(capacity) + ")", t,
                        fault);
    }

    static int32_t PTDLL_CALL PtDllGetStreamFlush(int32_t handle)
    {
        FakeBoard& b = *g_board;
        Guard guard(b.m_mutex);
        BoardFault fault = b.Enter(BoardCall::PtDllGetStreamFlush);
        FakeTuner* t = b.ByHandle(handle);
        if (t != nullptr && fault == BoardFault::None)
            b.readyBytes = 0;
        return b.Result("PtDllGetStreamFlush(" + std::to_string(handle) + ")", t, fault);
    }

    static int32_t FaultResult(BoardFault fault)
    {
        return fault == BoardFault::ResultOne ? 1 : fault == BoardFault::ResultMinusOne ? -1 : 0;
    }
};

namespace {

const BoardCalls kCalls = {
    FakeBoardCalls::GetDllVersion,        FakeBoardCalls::PtDllOpen,
    FakeBoardCalls::PtDllClose,           FakeBoardCalls::PtDllGetDevCount,
    FakeBoardCalls::PtDllSetLnbPower,     FakeBoardCalls::PtDllSetTunerSleep,
    FakeBoardCalls::PtDllGetChannelMax,   FakeBoardCalls::PtDllGetChannelInfo,
    FakeBoardCalls::PtDllSetFrequency,    FakeBoardCalls::PtDllGetTmcc,
    FakeBoardCalls::PtDllSetIdS,          FakeBoardCalls::PtDllGetCnAgc,
    FakeBoardCalls::PtDllSetStreamEnable, FakeBoardCalls::PtDllGetStreamEnable,
    FakeBoardCalls::PtDllGetStreamSize,   FakeBoardCalls::PtDllGetStreamData,
    FakeBoardCalls::PtDllGetStreamFlush,
};

}  // namespace

FakeBoard::FakeBoard()
{
    for (int ch = 13; ch <= 62; ++ch)
        channels.push_back(std::to_string(ch) + "ch");
    g_board = this;
}

FakeBoard::~FakeBoard()
{
    if (g_board == this)
        g_board = nullptr;
}

const BoardCalls* FakeBoard::Calls()
{
    return &kCalls;
}

void FakeBoard::Fail(BoardCall call, int occurrence, BoardFault fault)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_faults.push_back({call, occurrence, fault});
}

BoardFault FakeBoard::Enter(BoardCall call)
{
    int n = ++m_counts[static_cast<int>(call)];
    if (callMicros != 0)
        std::this_thread::sleep_for(std::chrono::microseconds(callMicros));
    for (const Fault& f : m_faults) {
        if (f.call == call && (f.occurrence == 0 || f.occurrence == n))
            return f.fault;
    }
    return BoardFault::None;
}

FakeTuner* FakeBoard::ByHandle(int32_t handle)
{
    std::map<int32_t, FakeTuner>::iterator it = m_tuners.find(handle);
    return (it != m_tuners.end() && it->second.open) ? &it->second : nullptr;
}

void FakeBoard::Record(const std::string& entry)
{
    m_log.push_back(entry);
}

int32_t FakeBoard::Result(const std::string& call, FakeTuner* tuner, BoardFault fault)
{
    int32_t result = tuner == nullptr ? 1 : FakeBoardCalls::FaultResult(fault);
    Record(call + "=" + std::to_string(result));
    return result;
}

std::vector<std::string> FakeBoard::Log()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_log;
}

std::vector<std::string> FakeBoard::CallsTo(const std::string& prefix)
{
    std::vector<std::string> calls;
    for (const std::string& entry : Log())
        if (entry.compare(0, prefix.size(), prefix) == 0)
            calls.push_back(entry);
    return calls;
}

int FakeBoard::Count(BoardCall call)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_counts[static_cast<int>(call)];
}

std::set<int32_t> FakeBoard::OpenHandles()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    std::set<int32_t> open;
    for (const auto& entry : m_tuners)
        if (entry.second.open)
            open.insert(entry.first);
    return open;
}

FakeTuner FakeBoard::Tuner(const std::wstring& name)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    int32_t handle = HandleOf(name.c_str(), 64);
    std::map<int32_t, FakeTuner>::iterator it = m_tuners.find(handle);
    return it != m_tuners.end() ? it->second : FakeTuner();
}

int FakeBoard::StreamDuringTune()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_streamDuringTune;
}

void FakeBoard::ClearLog()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_log.clear();
}

void FakeBoard::SetReadyBytes(uint32_t bytes)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    readyBytes = bytes;
}
