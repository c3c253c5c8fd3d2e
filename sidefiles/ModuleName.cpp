#include "sidefiles/ModuleName.h"

#include "sidefiles/Bounded.h"

namespace {

// Appends to a path field, cutting the path at 259 characters. The length
// goes on counting past the cut so that later appends land nowhere.
struct PathWriter {
    wchar_t* path;
    int32_t length;

    void Put(wchar_t c)
    {
        if (length < kPathCapacity - 1)
            path[length] = c;
        ++length;
    }
    void PutText(const wchar_t* text)
    {
        if (length < kPathCapacity)
            CopyBounded(path + length, kPathCapacity - length, text);
        length += static_cast<int32_t>(wcslen(text));
    }
    void PutRange(const wchar_t* text, int32_t count)
    {
        for (int32_t i = 0; i < count; ++i)
            Put(text[i]);
    }
    void End() { path[length < kPathCapacity - 1 ? length : kPathCapacity - 1] = L'\0'; }
};

// 1 = satellite, 0 = terrestrial, -1 = no kind letter. ASCII letters only.
int KindOfLetter(wchar_t c)
{
    if (c == L'S' || c == L's')
        return 1;
    if (c == L'T' || c == L't')
        return 0;
    return -1;
}

}  // namespace

bool ParseModulePath(const wchar_t* modulePath, bool* isTerrestrial, int32_t* deviceNumber,
                     const SideFilePaths& paths)
{
    paths.settingsPath[0] = L'\0';
    paths.channelFilePath[0] = L'\0';
    paths.legacyChannelFilePath[0] = L'\0';
    *deviceNumber = -1;

    int32_t length = static_cast<int32_t>(wcslen(modulePath));
    int32_t slash = length - 1;
    while (slash >= 0 && modulePath[slash] != L'\\')
        --slash;
    if (slash < 0)
        return false;
    int32_t dot = length - 1;
    while (dot > slash && modulePath[dot] != L'.')
        --dot;
    if (dot == slash)
        return false;

    // The base path runs from the start to baseEnd (exclusive): the directory,
    // the stem less any tuner digit. A kind letter, when present, ends it.
    int32_t baseEnd = dot;
    wchar_t last = modulePath[dot - 1];  // the backslash itself when the stem is empty
    if (last >= L'0' && last <= L'9') {
        *deviceNumber = last - L'0';
        baseEnd = dot - 1;
    }
    int kind = KindOfLetter(modulePath[baseEnd - 1]);
    if (kind >= 0)
        *isTerrestrial = (kind == 0);

    PathWriter settings = {paths.settingsPath, 0};
    PathWriter channels = {paths.channelFilePath, 0};
    PathWriter legacy = {paths.legacyChannelFilePath, 0};
    if (kind >= 0) {
        settings.PutRange(modulePath, baseEnd - 1);
        channels.PutRange(modulePath, baseEnd);
        legacy.PutRange(modulePath, baseEnd);
        legacy.Put(L'.');
    } else {
        settings.PutRange(modulePath, baseEnd);
        settings.Put(L'-');
        channels.PutRange(modulePath, baseEnd);
        channels.Put(L'-');
        channels.Put(L'T');
        legacy.PutRange(modulePath, baseEnd);
        legacy.Put(L'-');
    }
    settings.Put(L'S');
    settings.Put(L'T');
    settings.PutText(L".ini");
    channels.PutText(L".SetCh.txt");
    legacy.PutText(L".SetCh.txt");
    settings.End();
    channels.End();
    legacy.End();
    return true;
}
