// Writes the seed corpora of the fuzz targets into DIR/channel-file and
// DIR/module-path: the texts the rules write, a few worked channel files, and
// the worked module names in a short folder and in one that takes the paths
// across 259 characters.
#include <errno.h>
#include <sys/stat.h>

#include "tests/unit/ModuleNameExamples.h"
#include "tests/unit/RuleHarness.h"

namespace {

bool WriteSeed(const std::string& folder, int index, const std::string& bytes)
{
    const std::string path = folder + "/seed-" + std::to_string(index);
    FILE* file = fopen(path.c_str(), "wb");
    const bool ok = file && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file && fclose(file) != 0)
        return false;
    return ok;
}

// The file generated from board channels 13, C13, 14 and C14.
std::string GeneratedTerrestrialFile()
{
    Store store;
    const char* boardChannels[] = {"13", "C13", "14", "C14"};
    for (uint32_t i = 0; i < 4; ++i)
        AppendBoardChannel(store.Setup(), i, boardChannels[i]);
    return Written(true, store);
}

// More rows than table 0 holds, and a line of more than 16 tokens.
std::string FullTable()
{
    std::string text = "$UHF 0\r\nA 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16\r\n";
    for (int i = 0; i < 70; ++i)
        text += "R" + std::to_string(i) + " 0 " + std::to_string(i) + "\r\n";
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const std::string channelDir = std::string(argv[1]) + "/channel-file";
    const std::string pathDir = std::string(argv[1]) + "/module-path";
    for (const std::string& dir : {std::string(argv[1]), channelDir, pathDir}) {
        if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
            perror(dir.c_str());
            return 1;
        }
    }

    const std::string generated = GeneratedTerrestrialFile();
    std::string catvEnabled = generated;
    catvEnabled.erase(catvEnabled.find(";$CATV"), 1);
    const std::string texts[] = {
        Bytes(g_satelliteChannelText, sizeof g_satelliteChannelText),
        generated,
        catvEnabled,
        Bytes(g_defaultSettingsText, sizeof g_defaultSettingsText),
        FullTable(),
        "$UHF 0\r\nA 0 1\r\n" + std::string(245, 'N') + " 0 2\r\nB 0 3\r\n",  // too long for a written row
        "$UHF 0\nA 0 010\nB 0 0x10\nC 0 08\nD 0 256\nE 0 -1\nF 0 1 0x14010\nG x 2 junk\n",
        "$UHF 2\n$UHF -1\n$CATV -3\nA 2 1\nB -1 1\n",
        "$CS110 4\n$BS 5\nA 4 1\nB 5 2\n",
        "$BS 0\n$CS110 1\nA 0 1\nB 0 2 0x4010\nC 1 3 0x6020 x\n",
    };
    // Plans (chunk size, per-read limit, pool size; see ChannelFileFuzz.cpp):
    // whole, byte by byte, in 7-byte chunks, and in 333-byte chunks cut short
    // at 500 into a pool of 64 bytes.
    const char* plans[] = {"\0\0\0\0\0", "\0\1\0\0\0", "\0\7\0\0\0", "\1\x4d\1\xf4\2"};
    int index = 0;
    bool ok = true;
    for (const std::string& text : texts) {
        for (const char* plan : plans)
            ok = WriteSeed(channelDir, index++, std::string(plan, 5) + text) && ok;
    }

    index = 0;
    for (const std::wstring& folder : {std::wstring(L"C:\\TV.v2\\"), L"C:\\" + std::wstring(240, L'd') + L"\\"}) {
        for (const NameCase& c : kNames) {
            std::string utf16;
            for (wchar_t unit : folder + c.file)
                utf16 += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
            ok = WriteSeed(pathDir, index++, utf16) && ok;
        }
    }
    if (!ok)
        perror("writing seeds");
    return ok ? 0 : 1;
}
