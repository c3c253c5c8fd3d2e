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

}  // namespace

bool BeginWholeFile(WholeFile* file, const FileCalls* calls, const wchar_t* path)
{
    file->calls = calls;
    file->path = path;
    file->whole = true;
    file->file = nullptr;
    size_t length = Length(path);
    if (CopyBounded(file->tempPath, kPathCapacity, path) != kResultOk ||
        CopyBounded(file->tempPath + length, kPathCapacity - length, L".tmp") != kResultOk)
        return false;
    calls->Remove(file->tempPath);
    file->file = calls->CreateNew(file->tempPath);
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
    if (!calls->Close(file->file))
        file->whole = false;
    bool placed = file->whole && (replace ? calls->Replace(file->tempPath, file->path)
                                          : calls->Move(file->tempPath, file->path));
    if (!placed)
        calls->Remove(file->tempPath);
    return placed;
}
