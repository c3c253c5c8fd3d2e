// The board library's names of tuners. Tuners of one kind are numbered across
// boards: number n is tuner n % 2 + 1 of board n / 2 + 1, so that the file
// name's tuner digit 0 is board 1, tuner 1; 1 is board 1, tuner 2; 2 is
// board 2, tuner 1; and so on.
#pragma once

#include <stdint.h>
#include <wchar.h>

// Characters of a tuner name field, terminator included.
const int32_t kTunerNameCapacity = 32;

// Tuner number's name: "Ec<board>Bt<tuner>" for the terrestrial kind,
// "Ec<board>Bs<tuner>" for the satellite kind, e.g. Ec1Bs2 for satellite
// number 1.
void FormatTunerName(wchar_t (&name)[kTunerNameCapacity], bool isTerrestrial, int32_t number);

// The other tuner of the same kind on the same board.
inline int32_t PartnerTuner(int32_t number)
{
    return number ^ 1;
}

// Whether tuner number lies on one of boardCount boards.
inline bool TunerOnBoards(int32_t number, int32_t boardCount)
{
    return number >= 0 && number / 2 < boardCount;
}
