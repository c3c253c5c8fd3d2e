// The headers of a Windows image read from its bytes: machine type and
// imports of both formats, and bytes that are no image or are cut anywhere.
#include <gtest/gtest.h>

#include "host/PeHeaders.h"

namespace {

void Put16(std::string& b, size_t at, uint32_t v)
{
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8 & 0xFF);
}
void Put32(std::string& b, size_t at, uint32_t v)
{
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

// A minimal image: the DOS header, the PE header, an optional header with
// 16 directories, and one section at RVA 0x1000 (file offset 0x200) holding
// the import descriptors, closed by an empty one unless `terminated` is
// false, and the names after them.
std::string Image(uint16_t machine, const std::vector<std::string>& dlls, bool terminated = true)
{
    const size_t pe = 64, optional = pe + 24, raw = 0x200;
    bool plus = machine == kMachineAmd64;
    size_t optionalSize = (plus ? 112 : 96) + 16 * 8;
    std::string b(raw, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 60, pe);
    b.replace(pe, 4, std::string("PE\0\0", 4));
    Put16(b, pe + 4, machine);
    Put16(b, pe + 6, 1);
    Put16(b, pe + 20, static_cast<uint32_t>(optionalSize));
    Put16(b, pe + 22, 0x2000);
    Put16(b, optional, plus ? 0x20B : 0x10B);
    Put32(b, optional + (plus ? 108 : 92), 16);
    Put32(b, optional + (plus ? 112 : 96) + 8, 0x1000);

    size_t descriptors = 20 * (dlls.size() + (terminated ? 1 : 0));
    std::string data(descriptors, '\0');
    for (size_t i = 0; i < dlls.size(); ++i) {
        Put32(data, 20 * i + 12, static_cast<uint32_t>(0x1000 + data.size()));
        data += dlls[i] + '\0';
    }
    size_t sections = optional + optionalSize;
    Put32(b, sections + 8, static_cast<uint32_t>(data.size()));
    Put32(b, sections + 12, 0x1000);
    Put32(b, sections + 16, static_cast<uint32_t>(data.size()));
    Put32(b, sections + 20, raw);
    return b + data;
}

TEST(PeHeaders, ReadsMachineAndImportsOfBothFormats)
{
    PeHeaders x86 = ReadPeHeaders(Image(kMachineI386, {"KERNEL32.dll", "EarthPtDll.dll"}));
    EXPECT_TRUE(x86.isPe);
    EXPECT_TRUE(x86.isDll);
    EXPECT_EQ(x86.machine, kMachineI386);
    EXPECT_TRUE(x86.importsRead);
    EXPECT_EQ(x86.imports, (std::vector<std::string>{"kernel32.dll", "earthptdll.dll"}));
    EXPECT_TRUE(ImportsDll(x86, "EARTHPTDLL.DLL"));

    PeHeaders x64 = ReadPeHeaders(Image(kMachineAmd64, {"KERNEL32.dll", "WINHTTP.dll"}));
    EXPECT_EQ(x64.machine, kMachineAmd64);
    EXPECT_TRUE(x64.importsRead);
    EXPECT_FALSE(ImportsDll(x64, "EarthPtDll.dll"));
    EXPECT_EQ(MachineBits(x64.machine), "64-bit");
}

TEST(PeHeaders, BytesThatAreNoImageOrAreCutAnywhere)
{
    EXPECT_FALSE(ReadPeHeaders("").isPe);
    EXPECT_FALSE(ReadPeHeaders("not a program\n").isPe);
    std::string whole = Image(kMachineI386, {"KERNEL32.dll", "EarthPtDll.dll"});
    // Cut short, the headers or the table are partly missing: nothing is
    // read past the end (the sanitizers would say), and a table that does
    // not fit is never taken as read.
    for (size_t size = 0; size < whole.size(); ++size) {
        PeHeaders cut = ReadPeHeaders(whole.substr(0, size));
        EXPECT_FALSE(cut.importsRead) << size;
        EXPECT_EQ(cut.isPe, size >= 0x58) << size;
    }
    // A table without its closing descriptor runs off its section.
    PeHeaders open = ReadPeHeaders(Image(kMachineI386, {"KERNEL32.dll"}, false));
    EXPECT_FALSE(open.importsRead);
    // A header offset far past the end.
    std::string far = whole;
    Put32(far, 60, 0xFFFFFFF0u);
    EXPECT_FALSE(ReadPeHeaders(far).isPe);
}

}  // namespace
