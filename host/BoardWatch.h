// The board library that a loaded plug-in imports, asked for its count of
// boards: a removed board is seen there, where the host interface shows only
// a stream that stopped. record and serve ask it while a stream pauses.
#pragma once

#include <stdint.h>

#include "board/EarthPtDll.h"

class BoardWatch
{
public:
    // Finds the library in the process, where the plug-in loaded it.
    BoardWatch();
    // The boards the library counts now; -1 when it is not loaded.
    int32_t Count() const { return m_count != nullptr ? m_count() : -1; }

private:
    decltype(&PtDllGetDevCount) m_count = nullptr;
};
