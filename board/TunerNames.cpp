#include "board/TunerNames.h"

#include "board/FormatBounded.h"

void FormatTunerName(wchar_t (&name)[kTunerNameCapacity], bool isTerrestrial, int32_t number)
{
    FormatBounded(name, kTunerNameCapacity, isTerrestrial ? L"Ec%dBt%d" : L"Ec%dBs%d", number / 2 + 1,
                  number % 2 + 1);
}

void FormatBoardLockName(wchar_t (&name)[kTunerNameCapacity], int32_t number)
{
    FormatBounded(name, kTunerNameCapacity, L"Global\\Zendrel-Board%d", number / 2 + 1);
}
