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

// The name of a mutex shared by every process, one per board: the board
// of tuner number, whatever its kind.
void FormatBoardLockName(wchar_t (&name)[kTunerNameCapacity], int32_t number);

// The other tuner of the same kind on the same board.
inline int32_t PartnerTuner(int32_t number)
{
    return number ^ 1;
}

// Boards searched for a tuner at most. A board holds two tuners of each
// kind, and no machine has slots for more boards than this; a library that
// reports an absurd count (a version mismatch, say) would otherwise have the
// load try billions of opens under the loader lock.
const int32_t kMaxBoards = 64;

// Tuner numbers a search tries, 0 up to this count less one: both tuners of
// the kind on each board, for no more than kMaxBoards boards.
inline int32_t SearchedTuners(int32_t boardCount)
{
    if (boardCount <= 0)
        return 0;
    return (boardCount < kMaxBoards ? boardCount : kMaxBoards) * 2;
}

// Whether tuner number lies on one of boardCount boards.
inline bool TunerOnBoards(int32_t number, int32_t boardCount)
{
    return number >= 0 && number / 2 < boardCount;
}
