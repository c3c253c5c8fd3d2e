// A module path through ParseModulePath: the input is UTF-16 code units, two
// bytes each, little-endian; the target adds the terminator. Each output field
// is its own heap block of exactly 260 characters, so that the sanitizer
// catches a write past it.
#include <wchar.h>

#include <algorithm>
#include <memory>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "sidefiles/ModuleName.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::wstring path;
    for (size_t i = 0; i + 1 < size; i += 2)
        path += static_cast<wchar_t>(data[i] | data[i + 1] << 8);
    path.resize(wcslen(path.c_str()));  // a zero code unit ends the path, as it would in the DLL

    std::unique_ptr<wchar_t[]> fields[3];
    for (auto& field : fields) {
        field.reset(new wchar_t[kPathCapacity]);
        wmemset(field.get(), L'#', kPathCapacity);
    }
    bool isTerrestrial = true;
    int32_t deviceNumber = 77;
    const bool parsed =
        ParseModulePath(path.c_str(), &isTerrestrial, &deviceNumber, {fields[0].get(), fields[1].get(), fields[2].get()});

    // The folder runs up to and including the last backslash; the file name
    // after it needs a dot.
    const size_t slash = path.rfind(L'\\');
    Check(parsed == (slash != std::wstring::npos && path.find(L'.', slash) != std::wstring::npos),
          "parsed exactly when there is a folder and a dot in the file name");
    Check(deviceNumber >= -1 && deviceNumber <= 9, "device number -1 to 9");
    Check(parsed || isTerrestrial, "kind unchanged on failure");

    for (auto& field : fields) {
        const wchar_t* end = wmemchr(field.get(), L'\0', kPathCapacity);
        Check(end != nullptr, "output terminated within 260 characters");
        const std::wstring out(field.get(), end - field.get());
        if (!parsed) {
            Check(out.empty(), "outputs empty on failure");
            continue;
        }
        // A folder longer than 259 characters is cut with the path.
        const size_t folder = std::min(slash + 1, static_cast<size_t>(kPathCapacity - 1));
        Check(out.compare(0, folder, path, 0, folder) == 0, "output starts with the input's folder");
        Check(out.find(L'\\', folder) == std::wstring::npos, "no backslash after the folder");
    }
    return 0;
}
