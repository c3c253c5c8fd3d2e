// Choosing and opening one tuner of one board (board/TunerNames.h names and
// numbers them).
#include "board/TunerNames.h"
#include "driver/DriverCore.h"
#include "sidefiles/FixedTexts.h"

// Every attempt asks the version first: a library of another version would
// not understand the calls that follow, so nothing is opened through it.
int32_t DriverCore::VersionGuardedOpen(const wchar_t* tunerName)
{
    if (m_board->GetDllVersion() != 1) {
        m_os->ShowMessage(g_versionMismatchText);
        return -1;
    }
    return m_board->PtDllOpen(tunerName);
}

// The file name's tuner digit picks one tuner number; without it the numbers
// are tried in order, so the first tuner of the kind that opens is taken,
// board by board, tuner 1 before tuner 2, on at most kMaxBoards boards.
// Copies of the DLL loaded side by side thus take different tuners, since
// the library refuses a held one.
bool DriverCore::SelectAndOpenTuner()
{
    int32_t first = 0;
    int32_t last = SearchedTuners(m_deviceCount) - 1;
    if (m_deviceNumber >= 0) {
        if (!TunerOnBoards(m_deviceNumber, m_deviceCount))
            return false;
        first = last = m_deviceNumber;
    }
    for (int32_t number = first; number <= last; ++number) {
        FormatTunerName(m_tunerName, m_isTerrestrial, number);
        m_tuner = VersionGuardedOpen(m_tunerName);
        if (m_tuner != -1) {
            m_tunerNumber = number;
            FormatTunerName(m_partnerName, m_isTerrestrial, PartnerTuner(number));
            return true;
        }
    }
    return false;
}
