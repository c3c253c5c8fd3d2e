// A board library in memory, for the driver's native tests: the board call
// table of seam/BoardCalls.h over one FakeBoard at a time. It simulates
// boards of two terrestrial and two satellite tuners, a channel list, tuning
// and a stream whose ready bytes a test sets; it logs every call, and any
// call can be made to misbehave on its Nth use. Safe to call from several
// threads.
#pragma once

#include <stdint.h>

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "seam/BoardCalls.h"

enum class BoardCall {
    GetDllVersion,
    PtDllOpen,
    PtDllClose,
    PtDllGetDevCount,
    PtDllSetLnbPower,
    PtDllSetTunerSleep,
    PtDllGetChannelMax,
    PtDllGetChannelInfo,
    PtDllSetFrequency,
    PtDllGetTmcc,
    PtDllSetIdS,
    PtDllGetCnAgc,
    PtDllSetStreamEnable,
    PtDllGetStreamEnable,
    PtDllGetStreamSize,
    PtDllGetStreamData,
    PtDllGetStreamFlush,
    Count
};

const char* BoardCallName(BoardCall call);

// How a call misbehaves.
enum class BoardFault {
    None,
    ResultOne,      // returns 1 (a failure code; for counts and handles, a value)
    ResultMinusOne,  // returns -1
    OutputUnwritten,  // returns 0 and writes none of its outputs
    OutputOversized,  // writes outputs beyond what was asked: huge counts and
                      // sizes, a copied count above the capacity, a name of
                      // 16 bytes without a terminator
};

struct FakeTuner {
    bool open = false;
    bool sleeping = true;
    bool streaming = false;
    int32_t ptChannel = -1;
    uint32_t tsId = 0;
    // Set by PtDllSetFrequency, cleared by PtDllSetIdS: a satellite tuner
    // between the two is tuned to a carrier without its transport stream.
    bool awaitingTsId = false;
};

class FakeBoard
{
public:
    // Becomes the board that Calls() reaches, until destroyed.
    FakeBoard();
    ~FakeBoard();
    FakeBoard(const FakeBoard&) = delete;
    FakeBoard& operator=(const FakeBoard&) = delete;

    static const BoardCalls* Calls();

    // Set-up, before the driver runs.
    int32_t version = 1;
    int32_t devCount = 1;
    std::set<std::wstring> refused;  // names PtDllOpen refuses, as if held elsewhere
    std::vector<std::string> channels;  // the terrestrial list; names of 16 bytes stay unterminated
    int32_t frequencyResult = 0;
    int32_t tmccResult = 0;
    uint32_t cn100 = 2345;
    // Bytes the stream has ready while enabled; a read takes from them.
    uint32_t readyBytes = 0;
    // Each call sleeps this long, so that threads overlap inside it.
    uint32_t callMicros = 0;

    // The occurrence-th call (from 1; 0 = every one) misbehaves.
    void Fail(BoardCall call, int occurrence, BoardFault fault);

    // What happened. Locked readers for use while threads run.
    std::vector<std::string> Log();
    std::vector<std::string> CallsTo(const std::string& prefix);
    int Count(BoardCall call);
    // Handles opened and not yet closed.
    std::set<int32_t> OpenHandles();
    FakeTuner Tuner(const std::wstring& name);
    // Calls that enabled the stream or read it while a satellite tuner
    // awaited its TS ID: a host would receive another stream's packets.
    int StreamDuringTune();

    void ClearLog();
    // readyBytes, while threads run.
    void SetReadyBytes(uint32_t bytes);

private:
    friend struct FakeBoardCalls;
    struct Fault {
        BoardCall call;
        int occurrence;
        BoardFault fault;
    };
    BoardFault Enter(BoardCall call);
    FakeTuner* ByHandle(int32_t handle);
    void Record(const std::string& entry);
    // Logs "call=result" with the result a call on that tuner gives: 1 on a
    // handle that is not open, else what the fault makes of success.
    int32_t Result(const std::string& call, FakeTuner* tuner, BoardFault fault);

    std::mutex m_mutex;
    std::vector<std::string> m_log;
    int m_counts[static_cast<int>(BoardCall::Count)] = {};
    std::vector<Fault> m_faults;
    std::map<int32_t, FakeTuner> m_tuners;  // by handle
    int m_streamDuringTune = 0;
};
