#include "sidefiles/WholeFile.h"

#include "sidefiles/Bounded.h"
#include "sidefiles/ResultCodes.h"

namespace {

size_t Length(const wchar_t* text)
{
    size_t length = 0;
    while (text[length] != L'\0')
        ++length;
    return length;
}

// The path with its name's last three characters to become "~" and a slot's
// two digits (Slot); its length. 0 for a name too short to hold them, which
// only a path cut to fit its field can have.
size_t TempBase(wchar_t (&temp)[kPathCapacity], const wchar_t* path)
{
    size_t length = Length(path);
    size_t name = length;
    while (name > 0 && path[name - 1] != L'\\')
        --name;
    if (length - name < 3 || CopyBounded(temp, kPathCapacity, path) != kResultOk)
        return 0;
    temp[length - 3] = L'~';
    return length;
}

void Slot(wchar_t (&temp)[kPathCapacity], size_t length, int32_t slot)
{
    temp[length - 2] = static_cast<wchar_t>(L'0' + slot / 10);
    temp[length - 1] = static_cast<wchar_t>(L'0' + slot % 10);
}

}  // namespace

bool BeginWholeFile(WholeFile* file, const FileCalls* calls, const wchar_t* path)
{
    file->calls = calls;
    file->path = path;
    file->whole = true;
    file->file = nullptr;
    size_t length = TempBase(file->tempPath, path);
    if (length == 0)
        return false;
    for (int32_t slot = 0; slot < kTempSlots; ++slot) {
        Slot(file->tempPath, length, slot);
        if (calls->Exists(file->tempPath))
            calls->Remove(file->tempPath);
    }
    for (int32_t slot = 0; slot < kTempSlots && file->file == nullptr; ++slot) {
        Slot(file->tempPath, length, slot);
        file->file = calls->CreateNew(file->tempPath);
    }
    return file->file != nullptr;
}

void WriteWholeFile(void* context, const uint8_t* bytes, uint32_t size)
{
    WholeFile* file = static_cast<WholeFile*>(context);
    if (!file->calls->Write(file->file, bytes, size))
        file->whole = false;
}

bool FinishWholeFile(WholeFile* file, bool replace)
{
    const FileCalls* calls = file->calls;
    if (!calls->Flush(file->file))
        file->whole = false;
    // Placed while still open, so that it is this writer's until it has its
    // name.
    bool placed = file->whole && (replace ? calls->Replace(file->tempPath, file->path)
                                          : calls->Move(file->tempPath, file->path));
    calls->Close(file->file);
    if (!placed)
        calls->Remove(file->tempPath);
    return placed;
}
