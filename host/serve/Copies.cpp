#include "host/serve/Copies.h"

#include <algorithm>

#include "host/Text.h"
#include "sidefiles/ModuleName.h"

namespace {

bool EndsWithDll(const std::wstring& name)
{
    if (name.size() < 5)
        return false;
    std::wstring end = name.substr(name.size() - 4);
    for (wchar_t& c : end)
        c = (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
    return end == L".dll";
}

// The kind the name gives, or 0 when it carries no kind letter; the channel
// file it uses goes to *channelFile.
char KindOf(const std::wstring& path, std::wstring* channelFile)
{
    wchar_t settings[kPathCapacity], channels[kPathCapacity], legacy[kPathCapacity];
    SideFilePaths paths = {settings, channels, legacy};
    // The rules change the kind only when the name carries a letter, so a
    // name that leaves either starting guess alone has one.
    bool fromTerrestrial = true;
    bool fromSatellite = false;
    int32_t digit = -1;
    if (!ParseModulePath(path.c_str(), &fromTerrestrial, &digit, paths) ||
        !ParseModulePath(path.c_str(), &fromSatellite, &digit, paths) || fromTerrestrial != fromSatellite)
        return 0;
    *channelFile = channels;
    return fromTerrestrial ? 'T' : 'S';
}

}  // namespace

std::vector<CopyInfo> FindCopies(const std::wstring& folder, std::vector<std::wstring> names,
                                 std::vector<std::string>* skipped)
{
    std::sort(names.begin(), names.end());
    std::vector<CopyInfo> candidates;
    std::vector<std::wstring> channelFiles;
    for (const std::wstring& name : names) {
        if (!EndsWithDll(name))
            continue;
        std::wstring path = folder;
        if (!path.empty() && path.back() != L'\\')
            path += L'\\';
        path += name;
        std::wstring channelFile;
        char kind = KindOf(path, &channelFile);
        if (kind == 0)
            continue;
        CopyInfo copy;
        copy.path = path;
        copy.name = ToUtf8(name);
        copy.kind = kind;
        candidates.push_back(copy);
        channelFiles.push_back(channelFile);
    }
    // Per kind, the channel file most copies use (the first such on a tie).
    std::wstring chosen[2];
    for (int k = 0; k < 2; ++k) {
        size_t best = 0;
        for (size_t i = 0; i < candidates.size(); ++i) {
            if ((candidates[i].kind == 'S') != (k == 1))
                continue;
            size_t uses = 0;
            for (size_t j = 0; j < candidates.size(); ++j)
                uses += candidates[j].kind == candidates[i].kind && channelFiles[j] == channelFiles[i];
            if (uses > best) {
                best = uses;
                chosen[k] = channelFiles[i];
            }
        }
    }
    std::vector<CopyInfo> copies;
    for (size_t i = 0; i < candidates.size(); ++i) {
        const std::wstring& wanted = chosen[candidates[i].kind == 'S' ? 1 : 0];
        if (channelFiles[i] == wanted) {
            copies.push_back(candidates[i]);
            continue;
        }
        skipped->push_back(candidates[i].name + " is not used: its channel file is " + ToUtf8(channelFiles[i]) +
                           ", not " + ToUtf8(wanted) + " as for the other copies of its kind");
    }
    return copies;
}
