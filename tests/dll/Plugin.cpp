#include "tests/dll/Plugin.h"

#include <string.h>

namespace {

MessageBoxRecord g_boxes = {0, nullptr, L"", false, 0};

int WINAPI CountingMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    ++g_boxes.count;
    g_boxes.owner = owner;
    g_boxes.text = text ? text : L"";
    g_boxes.captionNull = (caption == nullptr);
    g_boxes.type = type;
    return IDOK;
}

}  // namespace

bool Plugin::Load()
{
    m_module = LoadLibraryW(m_path.c_str());
    if (m_module == nullptr)
        return false;
    m_driver = CreateBonDriver();
    return true;
}

void* Plugin::CreateBonDriver()
{
    typedef void*(__cdecl * Create)(void);
    Create create = reinterpret_cast<Create>(
        reinterpret_cast<void*>(GetProcAddress(m_module, "CreateBonDriver")));
    return create ? create() : nullptr;
}

void Plugin::ReleaseAndUnload()
{
    if (m_driver != nullptr) {
        driver().Release();
        m_driver = nullptr;
    }
    Unload();
}

void Plugin::Unload()
{
    if (m_module != nullptr)
        FreeLibrary(m_module);
    m_module = nullptr;
    m_driver = nullptr;
}

std::vector<std::string> CallLog(const Standin* ept, int from)
{
    std::vector<std::string> log;
    int count = ept->EptSimLogCount();
    for (int i = from; i < count; ++i) {
        char text[256];
        uint32_t ms = 0;
        if (ept->EptSimLogEntry(i, text, sizeof text, &ms) != 0)
            break;
        log.push_back(text);
    }
    return log;
}

std::vector<std::string> CallsTo(const std::vector<std::string>& log, const std::string& prefix)
{
    std::vector<std::string> calls;
    for (const std::string& entry : log)
        if (entry.compare(0, prefix.size(), prefix) == 0)
            calls.push_back(entry);
    return calls;
}

// MessageBoxW itself is made to jump to the counter: the plug-in calls it
// during LoadLibraryW, before its import table could be patched.
void InterceptMessageBoxes()
{
    static bool done = false;
    if (done)
        return;
    HMODULE user32 = LoadLibraryW(L"user32.dll");
    BYTE* target = reinterpret_cast<BYTE*>(GetProcAddress(user32, "MessageBoxW"));
    DWORD old = 0;
    VirtualProtect(target, 5, PAGE_EXECUTE_READWRITE, &old);
    BYTE* hook = reinterpret_cast<BYTE*>(&CountingMessageBox);
    INT32 jump = static_cast<INT32>(hook - (target + 5));
    target[0] = 0xE9;  // jmp rel32
    memcpy(target + 1, &jump, 4);
    VirtualProtect(target, 5, old, &old);
    FlushInstructionCache(GetCurrentProcess(), target, 5);
    done = true;
}

MessageBoxRecord& MessageBoxes()
{
    return g_boxes;
}

std::string ToCp932(const std::wstring& text)
{
    int size = WideCharToMultiByte(932, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(932, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr,
                        nullptr);
    return bytes;
}
