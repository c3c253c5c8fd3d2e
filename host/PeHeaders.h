// What a Windows program or DLL says of itself in its headers, read from its
// bytes without loading it: its machine type, whether it is a DLL, and the
// DLLs it imports. A process loads only DLLs of its own machine type, and the
// tuner plug-in is the one that imports the board library. Any bytes may
// come in (a text file named .dll, a cut file): every read is bounded.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

const uint16_t kMachineI386 = 0x014C;
const uint16_t kMachineAmd64 = 0x8664;

struct PeHeaders {
    bool isPe = false;  // the DOS and PE headers are there
    uint16_t machine = 0;
    bool isDll = false;
    bool importsRead = false;  // the whole import table could be read
    std::vector<std::string> imports;  // in lower case, as the table lists them
};

PeHeaders ReadPeHeaders(const std::string& bytes);

// Whether the import table names `dll` (ASCII, any case).
bool ImportsDll(const PeHeaders& pe, const std::string& dll);

// "32-bit" (i386), "64-bit" (x86-64), or the machine number in hex.
std::string MachineBits(uint16_t machine);
