#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ModuleNameExamples.h"

namespace {

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
