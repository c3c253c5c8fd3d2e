#include "host/PeHeaders.h"

#include <algorithm>

#include "host/Text.h"

namespace {

// Past this many descriptors the table is taken as damaged: a program
// imports a few dozen DLLs at most.
const size_t kMaxImports = 512;
const size_t kMaxNameLength = 255;
const uint16_t kCharacteristicsDll = 0x2000;
const uint16_t kMagicPe32 = 0x10B;
const uint16_t kMagicPe32Plus = 0x20B;
const uint32_t kImportDirectory = 1;

class Bytes
{
public:
    explicit Bytes(const std::string& bytes) : m_bytes(bytes) {}

    bool Has(uint64_t offset, uint64_t count) const
    {
        return offset <= m_bytes.size() && count <= m_bytes.size() - offset;
    }
    uint16_t U16(uint64_t at) const { return static_cast<uint16_t>(Byte(at) | Byte(at + 1) << 8); }
    uint32_t U32(uint64_t at) const { return U16(at) | static_cast<uint32_t>(U16(at + 2)) << 16; }

    // A NUL-terminated name at `at`; false when it runs off the end or is
    // too long to be a DLL name.
    bool Name(uint64_t at, std::string* name) const
    {
        name->clear();
        for (uint64_t i = at; i < m_bytes.size() && name->size() <= kMaxNameLength; ++i) {
            if (m_bytes[i] == '\0')
                return !name->empty();
            name->push_back(m_bytes[i]);
        }
        return false;
    }

private:
    uint32_t Byte(uint64_t at) const { return at < m_bytes.size() ? static_cast<unsigned char>(m_bytes[at]) : 0; }

    const std::string& m_bytes;
};

struct Section {
    uint32_t address, fileOffset, fileSize;
};

// The file offset of a relative virtual address, through the section that
// holds it; false when none does.
bool FileOffset(const std::vector<Section>& sections, uint32_t rva, uint64_t* offset)
{
    for (const Section& s : sections) {
        if (rva >= s.address && rva - s.address < s.fileSize) {
            *offset = static_cast<uint64_t>(s.fileOffset) + (rva - s.address);
            return true;
        }
    }
    return false;
}


}  // namespace

PeHeaders ReadPeHeaders(const std::string& bytes)
{
    PeHeaders pe;
    Bytes b(bytes);
    if (!b.Has(0, 64) || bytes[0] != 'M' || bytes[1] != 'Z')
        return pe;
    uint64_t header = b.U32(60);
    if (!b.Has(header, 24) || bytes.compare(header, 4, std::string("PE\0\0", 4)) != 0)
        return pe;
    pe.isPe = true;
    pe.machine = b.U16(header + 4);
    uint16_t sectionCount = b.U16(header + 6);
    uint16_t optionalSize = b.U16(header + 20);
    pe.isDll = (b.U16(header + 22) & kCharacteristicsDll) != 0;

    uint64_t optional = header + 24;
    uint16_t magic = b.U16(optional);
    uint64_t directories = optional + (magic == kMagicPe32Plus ? 112 : 96);
    uint64_t directoryCount = b.U32(directories - 4);
    if ((magic != kMagicPe32 && magic != kMagicPe32Plus) || !b.Has(optional, optionalSize) ||
        directoryCount <= kImportDirectory || !b.Has(directories, 8 * (kImportDirectory + 1)) ||
        directories + 8 * (kImportDirectory + 1) > optional + optionalSize)
        return pe;
    uint32_t importTable = b.U32(directories + 8 * kImportDirectory);
    if (importTable == 0) {
        pe.importsRead = true;
        return pe;
    }

    std::vector<Section> sections;
    uint64_t table = optional + optionalSize;
    for (uint16_t i = 0; i < sectionCount && b.Has(table + 40 * i, 40); ++i) {
        uint64_t at = table + 40 * i;
        sections.push_back({b.U32(at + 12), b.U32(at + 20), b.U32(at + 16)});
    }
    // Import descriptors of 20 bytes, up to one whose name is 0.
    for (size_t i = 0; i < kMaxImports; ++i) {
        uint64_t descriptor = 0, nameAt = 0;
        if (!FileOffset(sections, importTable + static_cast<uint32_t>(20 * i), &descriptor) || !b.Has(descriptor, 20))
            return pe;
        uint32_t nameRva = b.U32(descriptor + 12);
        if (nameRva == 0) {
            pe.importsRead = true;
            return pe;
        }
        std::string name;
        if (!FileOffset(sections, nameRva, &nameAt) || !b.Name(nameAt, &name))
            return pe;
        pe.imports.push_back(AsciiLower(name));
    }
    return pe;
}

bool ImportsDll(const PeHeaders& pe, const std::string& dll)
{
    return std::find(pe.imports.begin(), pe.imports.end(), AsciiLower(dll)) != pe.imports.end();
}

std::string MachineBits(uint16_t machine)
{
    if (machine == kMachineI386)
        return "32-bit";
    if (machine == kMachineAmd64)
        return "64-bit";
    return "machine " + Hex4(machine);
}
