#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sidefiles/ModuleName.h"

namespace {

struct NameCase {
    const wchar_t* file;
    char kind;  // 'S' or 'T' from a kind letter; '-' none: the kind stays as it was
    int32_t number;
    const wchar_t* paths[3];  // settings, channel file, legacy channel file
};

const NameCase kNames[] = {
    {L"Zendrel-S.dll", 'S', -1, {L"Zendrel-ST.ini", L"Zendrel-S.SetCh.txt", L"Zendrel-S..SetCh.txt"}},
    {L"Zendrel-T1.dll", 'T', 1, {L"Zendrel-ST.ini", L"Zendrel-T.SetCh.txt", L"Zendrel-T..SetCh.txt"}},
    {L"Zendrel-s0.dll", 'S', 0, {L"Zendrel-ST.ini", L"Zendrel-s.SetCh.txt", L"Zendrel-s..SetCh.txt"}},
    {L"ZendrelT.dll", 'T', -1, {L"ZendrelST.ini", L"ZendrelT.SetCh.txt", L"ZendrelT..SetCh.txt"}},
    {L"Zendrel.dll", '-', -1, {L"Zendrel-ST.ini", L"Zendrel-T.SetCh.txt", L"Zendrel-.SetCh.txt"}},
    {L"Zendrel3.dll", '-', 3, {L"Zendrel-ST.ini", L"Zendrel-T.SetCh.txt", L"Zendrel-.SetCh.txt"}},
    {L"Zendrel-S12.dll", '-', 2, {L"Zendrel-S1-ST.ini", L"Zendrel-S1-T.SetCh.txt", L"Zendrel-S1-.SetCh.txt"}},
    {L"Zendrel-S.x.dll", '-', -1, {L"Zendrel-S.x-ST.ini", L"Zendrel-S.x-T.SetCh.txt", L"Zendrel-S.x-.SetCh.txt"}},
    {L"S.dll", 'S', -1, {L"ST.ini", L"S.SetCh.txt", L"S..SetCh.txt"}},
    {L"5.dll", '-', 5, {L"-ST.ini", L"-T.SetCh.txt", L"-.SetCh.txt"}},
    {L".dll", '-', -1, {L"-ST.ini", L"-T.SetCh.txt", L"-.SetCh.txt"}},
    {L"Zendrel-T9.ax", 'T', 9, {L"Zendrel-ST.ini", L"Zendrel-T.SetCh.txt", L"Zendrel-T..SetCh.txt"}},
};

// Parses into three fresh path fields, each followed by a canary that must
// survive; returns the fields' text up to their terminator.
bool ParsePath(const std::wstring& path, bool* terrestrial, int32_t* number, std::wstring out[3])
{
    wchar_t fields[3][kPathCapacity + 1];
    for (auto& f : fields)
        std::fill(std::begin(f), std::end(f), L'#');
    const bool parsed = ParseModulePath(path.c_str(), terrestrial, number, {fields[0], fields[1], fields[2]});
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(fields[i][kPathCapacity], L'#') << "canary of path " << i;
        out[i].assign(fields[i], std::find(fields[i], fields[i] + kPathCapacity, L'\0'));
    }
    return parsed;
}

}  // namespace

// Each name in a short directory, and in long ones that take each side-file
// path across 259 characters: there it is cut and terminated.
TEST(ModuleName, KindNumberAndSideFilesFollowTheFileName)
{
    std::vector<std::wstring> dirs = {L"C:\\TV.v2\\"};
    for (int n = 225; n <= 260; ++n)
        dirs.push_back(L"C:\\" + std::wstring(n, L'd') + L"\\");
    for (const std::wstring& dir : dirs) {
        for (const NameCase& c : kNames) {
            for (bool terrestrialBefore : {true, false}) {
                SCOPED_TRACE(testing::Message() << c.file << (terrestrialBefore ? " from T" : " from S") << ", dir "
                                                << dir.size());
                bool terrestrial = terrestrialBefore;
                int32_t number = 77;
                std::wstring paths[3];
                ASSERT_TRUE(ParsePath(dir + c.file, &terrestrial, &number, paths));
                EXPECT_EQ(terrestrial, c.kind == '-' ? terrestrialBefore : c.kind == 'T');
                EXPECT_EQ(number, c.number);
                for (int i = 0; i < 3; ++i)
                    EXPECT_EQ(paths[i], (dir + c.paths[i]).substr(0, kPathCapacity - 1));
            }
        }
    }
}

TEST(ModuleName, FailsWithoutBackslashOrWithoutDotInTheFileName)
{
    for (const wchar_t* path : {L"", L"Zendrel-S.dll", L"C:/TV/Zendrel-S.dll", L"C:\\TV.v2\\Zendrel-S", L"C:\\a.b\\"}) {
        bool terrestrial = true;
        int32_t number = 77;
        std::wstring paths[3];
        EXPECT_FALSE(ParsePath(path, &terrestrial, &number, paths)) << path;
        EXPECT_TRUE(terrestrial);
    }
}
