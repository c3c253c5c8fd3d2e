// Choosing and opening one tuner of one board. Each board has two tuners of
// each kind, named "Ec<board>Bt<n>" (terrestrial) and "Ec<board>Bs<n>"
// (satellite), board counted from 1 and n being 1 or 2.
#include "board/FormatBounded.h"
#include "driver/DriverCore.h"
#include "sidefiles/FixedTexts.h"

namespace {

const wchar_t* TunerNameFormat(bool isTerrestrial)
{
    return isTerrestrial ? L"Ec%dBt%d" : L"Ec%dBs%d";
}

}  // namespace

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

// Tuners are numbered across boards: number n is board n / 2 + 1, tuner
// n % 2 + 1. The file name's tuner digit picks one number; without it the
// numbers are tried in order, so the first tuner of the kind that opens is
// taken, board by board, tuner 1 before tuner 2. Copies of the DLL loaded side
// by side thus take different tuners, since the library refuses a held one.
bool DriverCore::SelectAndOpenTuner()
{
    int64_t first = 0;
    int64_t last = static_cast<int64_t>(m_deviceCount) * 2 - 1;
    if (m_deviceNumber >= 0) {
        if (m_deviceNumber / 2 >= m_deviceCount)
            return false;
        first = last = m_deviceNumber;
    }
    const wchar_t* format = TunerNameFormat(m_isTerrestrial);
    for (int64_t number = first; number <= last; ++number) {
        int board = static_cast<int>(number / 2) + 1;
        int tuner = static_cast<int>(number % 2) + 1;
        FormatBounded(m_tunerName, kNameCapacity, format, board, tuner);
        m_tuner = VersionGuardedOpen(m_tunerName);
        if (m_tuner != -1) {
            FormatBounded(m_partnerName, kNameCapacity, format, board, 3 - tuner);
            return true;
        }
    }
    return false;
}
