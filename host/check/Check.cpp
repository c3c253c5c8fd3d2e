// check: what the plug-in would make of its name, its side files and,
// with --board, the board, without changing any of them.
#include "host/Commands.h"
#include "host/Console.h"
#include "host/check/Diagnosis.h"

int RunCheck(const Command& command)
{
    Judgement j = Diagnose(command.driver, command.board);
    WriteText(STD_OUTPUT_HANDLE, command.json ? CheckJson(j) + "\n" : CheckText(j));
    return CheckExitCode(j);
}
