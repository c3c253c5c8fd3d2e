#include "testsupport/FakeOs.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>
#include <wctype.h>

#include <chrono>
#include <thread>

#if defined(_MSC_VER)
#include <intrin.h>
#endif

namespace {

FakeOs* g_os = nullptr;
const std::chrono::steady_clock::time_point g_start = std::chrono::steady_clock::now();

struct FakeFile {
    std::wstring path;
    size_t position;
    bool writing;
    bool flushed;  // nothing written since the last flush
};

struct FakeMutex {
    int holds;
};

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    return out;
}

bool SameIgnoringCase(const std::string& a, const std::wstring& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (tolower(static_cast<unsigned char>(a[i])) != towlower(b[i]))
            return false;
    return true;
}

// The leading integer of a profile value, as the Windows profile reader
// takes it: an optional sign and decimal digits.
uint32_t LeadingInteger(const std::string& value)
{
    return static_cast<uint32_t>(strtol(value.c_str(), nullptr, 10));
}

// The value of key in [section] of an INI text; false when there is none.
bool ProfileValue(const std::string& text, const std::wstring& section, const std::wstring& key, std::string* value)
{
    bool inSection = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line[0] == '[') {
            size_t close = line.find(']');
            inSection = close != std::string::npos && SameIgnoringCase(line.substr(1, close - 1), section);
            continue;
        }
        size_t equals = line.find('=');
        if (inSection && equals != std::string::npos && SameIgnoringCase(line.substr(0, equals), key)) {
            *value = line.substr(equals + 1);
            return true;
        }
    }
    return false;
}

}  // namespace

const char* OsCallName(OsCall call)
{
    static const char* const kNames[] = {
        "ModuleFileName", "LongPathName", "Exists",   "Move",         "ProfileInt", "OpenRead",
        "Read",           "CreateNew",    "Write",    "Flush",        "Close",      "Remove",     "Sleep",
        "Milliseconds",   "ShowMessage",  "AnsiToWide", "NewMutex",   "WaitMutex",  "ReleaseMutex",
        "CloseMutex",     "Lock",         "Unlock",   "AllocZeroed",  "Free"};
    return kNames[static_cast<int>(call)];
}

struct FakeOsCalls {
    typedef std::lock_guard<std::mutex> Guard;

    static uint32_t ModuleFileName(void* module, wchar_t* path, uint32_t capacity)
    {
        FakeOs& os = *g_os;
        Guard guard(os.m_mutex);
        if (os.Enter(OsCall::ModuleFileName) || capacity == 0)
            return 0;
        auto other = os.modulePaths.find(module);
        const std::wstring& own = other != os.modulePaths.end() ? other->second : os.modulePath;
        // As Windows does: cut to capacity - 1, terminated.
        size_t n = own.size() < capacity - 1 ? own.size() : capacity - 1;
        wmemcpy(path, own.c_str(), n);
        path[n] = L'\0';
        return static_cast<uint32_t>(own.size() >= capacity ? capacity : n);
    }

    static uint32_t LongPathName(const wchar_t* path, wchar_t* longPath, uint32_t capacity)
    {
        FakeOs& os = *g_os;
        Guard guard(os.m_mutex);
        auto it = os.longPaths.find(path);
        if (os.Enter(OsCall::LongPathName) || it == os.longPaths.end())
            return 0;
        if (it->second.size() + 1 > capacity)
            return static_cast<uint32_t>(it->second.size() + 1);
        wmemcpy(longPath, it->second.c_str(), it->second.size() + 1);
        return static_cast<uint32_t>(it->second.size());
    }

    static bool Exists(const wchar_t* path)
    {
        FakeOs& os = *g_os;
        Guard guard(os.m_mutex);
        if (os.Enter(OsCall::Exists))
            return false;
        return os.files.count(path) != 0 || os.folders.count(path) != 0;
    }

    static bool Move(const wchar_t* from, const wchar_t* to)
    {
        FakeOs& os = *g_os;
        os.Step();
        Guard guard(os.m_mutex);
        os.Record("Move(" + Narrow(from) + "," + Narrow(to) + ")");
        if (os.Enter(OsCall::Move) || os.files.count(from) == 0 || os.files.count(to) != 0 || os.folders.count(to))
            return false;
        os.files[to] = os.files[from];
        os.files.erase(from);
        // An open file keeps its handle under its new name.
        for (void* open : os.m_open)
            if (static_cast<FakeFile*>(open)->path == from)
                static_cast<FakeFile*>(open)->path = to;
        if (os.m_torn.erase(from) != 0)
            os.m_torn.insert(to);
        os.KeepCrashImage();
        return true;
    }

    static uint32_t ProfileInt(const wchar_t* section, const wchar_t* key, int32_t defaultValue, const wchar_t* path)
    {
        FakeOs& os = *g_os;
        Guard guard(os.m_mutex);
        std::string value;
        auto it = os.files.find(path);
        if (os.Enter(OsCall::ProfileInt) || it == os.files.end() || !ProfileValue(it->second, section, key, &value))
            return static_cast<uint32_t>(defaultValue);
        return LeadingInteger(value);
    }

    static void* OpenRead(const wchar_t* path)
    {
        FakeOs& os = *g_os;
        os.Step();
        Guard guard(os.m_mutex);
        os.Record("OpenRead(" + Narrow(path) + ")");
        if (os.Enter(OsCall::OpenRead) || os.files.count(path) == 0)
            return nullptr;
        ++os.m_filesOpen;
        FakeFile* file = new FakeFile{path, 0, false, true};
        os.m_open.insert(file);
        return file;
    }

    static int32_t Read(void* file, uint8_t* dest, int32_t size)
    {
        FakeOs& os = *g_os;
        Guard guard(os.m_mutex);
        FakeFile* f = static_cast<FakeFile*>(file);
        if (os.Enter(OsCall::Read) || size <= 0)
            return 0;
        const std::string& bytes = os.files[f->path];
        size_t n = bytes.size() - f->position < static_cast<size_t>(size) ? bytes.size() - f->position
                                                                          : static_cast<size_t>(size);
        memcpy(dest, bytes.data() + f->position, n);
        f->position += n;
        return static_cast<int32_t>(n);
    }

    static void* CreateNew(const wchar_t* path)
    {
        FakeOs& os = *g_os;
        os.Step();
        Guard guard(os.m_mutex);
        os.Record("CreateNew(" + Narrow(path) + ")");
        if (os.Enter(OsCall::CreateNew) || os.files.count(path) != 0 || os.folders.count(path) != 0)
            return nullptr;
        os.files[path] = std::string();
        os.KeepCrashImage();
        ++os.m_filesOpen;
        FakeFile* file = new FakeFile{path, 0, true, true};
        os.m_open.insert(file);
        return file;
    }

    static bool Write(void* file, const uint8_t* bytes, uint32_t size)
    {
        FakeOs& os = *g_os;
        os.Step();
        Guard guard(os.m_mutex);
        FakeFile* f = static_cast<FakeFile*>(file);
        os.Record("Write(" + Narrow(f->path) + "," + std::to_string(size) + ")");
        // A failing write still writes half, as a full disk does.
        bool fails = os.Enter(OsCall::Write);
        uint32_t written = fails ? size / 2 : size;
        if (written > os.diskFree) {
            written = static_cast<uint32_t>(os.diskFree);
            fails = true;
        }
        if (os.diskFree != UINT64_MAX)
            os.diskFree -= written;
        if (fails)
            os.m_torn.insert(f->path);
        f->flushed = false;
        for (uint32_t i = 0; os.keepCrashImages && i < written; ++i) {
            os.files[f->path] += static_cast<char>(bytes[i]);
            os.KeepCrashImage();
        }
        if (!os.keepCrashImages)
            os.files[f->path].append(reinterpret_cast<const char*>(bytes), written);
        return !fails;
    }

    static bool Flush(void* file)
    {
        FakeOs& os = *g_os;
        os.Step();
        Guard guard(os.m_mutex);
        FakeFile* f = static_cast<FakeFile*>(file);
        os.Record("Flush(" + Narrow(f->path) + ")");
        bool fails = os.Enter(OsCall::Flush);
        if (fails)
            os.m_torn.insert(f->path);
        else
            f->flushed = true;
        return !fails;
    }

    static bool Close(void* file)
    {
        FakeOs& os = *g_os;
        os.Step();
        Guard guard(os.m_mutex);
        FakeFile* f = static_cast<FakeFile*>(file);
        os.Record("Close(" + Narrow(f->path) + ")");
        bool fails = os.Enter(OsCall::Close);
        if (fails && f->writing && !f->flushed)
            os.m_torn.insert(f->path);
        os.m_open.erase(f);
        delete f;
        --os.m_filesOpen;
        return !fails;
    }

    // As on Windows, a file that anyone holds open cannot be removed.
    static bool Remove(const wchar_t* path)
    {
        FakeOs& os = *g_os;
        os.Step();
        Guard guard(os.m_mutex);
        os.Record("Remove(" + Narrow(path) + ")");
        if (os.Enter(OsCall::Remove) || os.IsOpen(path))
            return false;
        os.m_torn.erase(path);
        bool removed = os.files.erase(path) != 0;
        os.KeepCrashImage();
        return removed;
    }

    static void Sleep(uint32_t milliseconds)
    {
        FakeOs& os = *g_os;
        bool real = false;
        {
            std::unique_lock<std::mutex> lock(os.m_mutex);
            os.Enter(OsCall::Sleep);
            os.m_sleeps.push_back(milliseconds);
            uint32_t ticks = os.tickMs == 0 ? 0 : (milliseconds + os.tickMs - 1) / os.tickMs;
            os.m_clockMs += os.tickMs == 0 ? milliseconds : (ticks == 0 ? 1 : ticks) * os.tickMs;
            real = os.realTime;
            if (os.m_parkMs != 0 && milliseconds == os.m_parkMs) {
                os.WaitUnparked(lock);
                return;
            }
        }
        if (real)
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }

    static uint32_t Milliseconds(void)
    {
        FakeOs& os = *g_os;
        Guard guard(os.m_mutex);
        os.Enter(OsCall::Milliseconds);
        if (os.realTime)
            return static_cast<uint32_t>(
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - g_start)
                    .count());
        // Time passes a little even for a caller that never sleeps, so that
        // a loop that forgot to sleep still ends.
        if (++os.m_clockReads % 1000 == 0)
            ++os.m_clockMs;
        return os.m_clockMs;
    }

    static void ShowMessage(const wchar_t*)
    {
        FakeOs& os = *g_os;
        Guard guard(os.m_mutex);
        os.Enter(OsCall::ShowMessage);
    }

    // The fake's code page: each byte is one character of the same value.
    static int32_t AnsiToWide(const char* text, wchar_t* dest, int32_t capacity)
    {
        FakeOs& os = *g_os;
        Guard guard(os.m_mutex);
        size_t length = strlen(text);
        if (os.Enter(OsCall::AnsiToWide) || static_cast<size_t>(capacity) < length + 1)
            return 0;
        for (size_t i = 0; i <= length; ++i)
            dest[i] = static_cast<unsigned char>(text[i]);
        return static_cast<int32_t>(length + 1);
    }

    // A named mutex is as good as its own here: waits never block.
    static void* NewMutex(const wchar_t*)
    {
        FakeOs& os = *g_os;
        Guard guard(os.m_mutex);
        if (os.Enter(OsCall::NewMutex))
            return nullptr;
        ++os.m_mutexes;
        return new FakeMutex{0};
    }

    static bool WaitMutex(void* mutex, uint32_t)
    {
        FakeOs& os = *g_os;
        Guard guard(os.m_mutex);
        if (os.Enter(OsCall::WaitMutex))
            return false;
        ++static_cast<FakeMutex*>(mutex)->holds;
        ++os.m_mutexHolds;
        return true;
    }

    static void ReleaseMutex(void* mutex)
    {
        FakeOs& os = *g_os;
        Guard guard(os.m_mutex);
        os.Enter(OsCall::ReleaseMutex);
        --static_cast<FakeMutex*>(mutex)->holds;
        --os.m_mutexHolds;
    }

    static void CloseMutex(void* mutex)
    {
        FakeOs& os = *g_os;
        Guard guard(os.m_mutex);
        os.Enter(OsCall::CloseMutex);
        delete static_cast<FakeMutex*>(mutex);
        --os.m_mutexes;
    }

    // A spin lock on the pointer itself, as the real one keeps its whole
    // state there.
    static void Lock(void** storage)
    {
        {
            std::unique_lock<std::mutex> lock(g_os->m_mutex);
            g_os->Enter(OsCall::Lock);
            if (g_os->m_parkLocks > 0) {
                --g_os->m_parkLocks;
                g_os->WaitUnparked(lock);
            }
        }
        while (!TryTake(storage))
            std::this_thread::yield();
    }

    static void Unlock(void** storage)
    {
        Give(storage);
        Guard guard(g_os->m_mutex);
        g_os->Enter(OsCall::Unlock);
    }

#if defined(_MSC_VER)
    static bool TryTake(void** storage)
    {
        return _InterlockedCompareExchangePointer(storage, reinterpret_cast<void*>(1), nullptr) == nullptr;
    }
    static void Give(void** storage) { _InterlockedExchangePointer(storage, nullptr); }
#else
    static bool TryTake(void** storage)
    {
        void* expected = nullptr;
        return __atomic_compare_exchange_n(storage, &expected, reinterpret_cast<void*>(1), false, __ATOMIC_ACQUIRE,
                                           __ATOMIC_RELAXED);
    }
    static void Give(void** storage) { __atomic_store_n(storage, nullptr, __ATOMIC_RELEASE); }
#endif

    static void* AllocZeroed(uint32_t size)
    {
        FakeOs& os = *g_os;
        Guard guard(os.m_mutex);
        if (os.Enter(OsCall::AllocZeroed))
            return nullptr;
        ++os.m_blocks;
        return calloc(1, size);
    }

    static void Free(void* block)
    {
        FakeOs& os = *g_os;
        Guard guard(os.m_mutex);
        os.Enter(OsCall::Free);
        --os.m_blocks;
        free(block);
    }
};

namespace {

const OsCalls kCalls = {
    FakeOsCalls::ModuleFileName, FakeOsCalls::LongPathName, FakeOsCalls::Exists,       FakeOsCalls::Move,
    FakeOsCalls::ProfileInt,     FakeOsCalls::OpenRead,     FakeOsCalls::Read,         FakeOsCalls::CreateNew,
    FakeOsCalls::Write,          FakeOsCalls::Flush,        FakeOsCalls::Close,        FakeOsCalls::Remove,
    FakeOsCalls::Sleep,
    FakeOsCalls::Milliseconds,   FakeOsCalls::ShowMessage,  FakeOsCalls::AnsiToWide,   FakeOsCalls::NewMutex,
    FakeOsCalls::WaitMutex,      FakeOsCalls::ReleaseMutex, FakeOsCalls::CloseMutex,   FakeOsCalls::Lock,
    FakeOsCalls::Unlock,         FakeOsCalls::AllocZeroed,  FakeOsCalls::Free,
};

}  // namespace

FakeOs::FakeOs()
{
    g_os = this;
}

FakeOs::~FakeOs()
{
    if (g_os == this)
        g_os = nullptr;
}

const OsCalls* FakeOs::Calls()
{
    return &kCalls;
}

void FakeOs::Fail(OsCall call, int occurrence)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_faults.push_back({call, occurrence});
}

bool FakeOs::Enter(OsCall call)
{
    int n = ++m_counts[static_cast<int>(call)];
    for (const Fault& f : m_faults)
        if (f.call == call && (f.occurrence == 0 || f.occurrence == n))
            return true;
    return false;
}

void FakeOs::Record(const std::string& entry)
{
    m_log.push_back(entry);
}

void FakeOs::KeepCrashImage()
{
    if (keepCrashImages)
        crashImages.push_back(files);
}

void FakeOs::ParkSleepsOf(uint32_t milliseconds)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_parkMs = milliseconds;
}

void FakeOs::ParkLocks(int count)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_parkLocks = count;
}

void FakeOs::BeforeStep(int step, std::function<void()> action)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_actionStep = step;
    m_action = std::move(action);
}

void FakeOs::ParkAfterSteps(int steps)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_parkStep = m_steps + steps;
}

int FakeOs::Steps()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_steps;
}

void FakeOs::Step()
{
    std::function<void()> action;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_steps;
        if (m_steps == m_actionStep)
            action.swap(m_action);
        else if (m_steps == m_parkStep)
            WaitUnparked(lock);
    }
    if (action)
        action();
}

void FakeOs::WaitUnparked(std::unique_lock<std::mutex>& lock)
{
    int unparks = m_unparks;
    ++m_parked;
    m_unparked.wait(lock, [this, unparks] { return m_unparks != unparks; });
    --m_parked;
}

bool FakeOs::IsOpen(const std::wstring& path)
{
    for (void* open : m_open)
        if (static_cast<FakeFile*>(open)->path == path)
            return true;
    return false;
}

void FakeOs::Unpark()
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_parkMs = 0;
        m_parkLocks = 0;
        m_parkStep = 0;
        ++m_unparks;
    }
    m_unparked.notify_all();
}

int FakeOs::Parked()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_parked;
}

std::vector<std::string> FakeOs::Log()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_log;
}

int FakeOs::Count(OsCall call)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_counts[static_cast<int>(call)];
}

std::vector<uint32_t> FakeOs::Sleeps()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_sleeps;
}

uint32_t FakeOs::ClockMs()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_clockMs;
}

int FakeOs::MutexesAlive()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_mutexes;
}

int FakeOs::MutexHolds()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_mutexHolds;
}

int FakeOs::BlocksAlive()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_blocks;
}

int FakeOs::FilesOpen()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_filesOpen;
}

std::string FakeOs::File(const std::wstring& path)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    auto it = files.find(path);
    return it == files.end() ? std::string() : it->second;
}

void FakeOs::ClearLog()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_log.clear();
}

std::set<std::wstring> FakeOs::TornFiles()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    std::set<std::wstring> torn;
    for (const std::wstring& path : m_torn)
        if (files.count(path) != 0)
            torn.insert(path);
    return torn;
}
