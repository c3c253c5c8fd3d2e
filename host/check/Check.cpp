// check: what the plug-in would make of its name, its side files and,
// with --board, the board, without changing any of them.
#include "host/Commands.h"
#include "host/Console.h"
#include "host/Driver.h"
#include "host/JsonOutput.h"
#include "host/check/Diagnosis.h"

int RunCheck(const Command& command)
{
    // A report on a file that is not there would read as a normal one.
    std::string missing = MissingDriver(command.driver);
    if (!missing.empty()) {
        Complain(missing);
        if (command.json)
            WriteText(STD_OUTPUT_HANDLE,
                      JsonText(FailureJson("check", ToUtf8(FullPath(command.driver)), "no_driver", missing, "")) +
                          "\n");
        return 1;
    }
    // check reads the tuner plug-in's side files from a zendrel-host of
    // either bitness, but asks the board only through the plug-in's own.
    std::string driverPath = ToUtf8(FullPath(command.driver));
    const char* code = "not_tuner_plugin";
    std::string refused = NotTunerPlugin(command.driver, "check");
    if (refused.empty() && command.board) {
        code = "wrong_bitness";
        refused = WrongBitness(ReadPeFile(command.driver), ToUtf8(command.driver));
        if (!refused.empty())
            refused += "; --board asks the board library through it, check without --board reads its side files";
    }
    if (!refused.empty()) {
        Complain(refused);
        if (command.json)
            WriteText(STD_OUTPUT_HANDLE, JsonText(FailureJson("check", driverPath, code, refused, "")) + "\n");
        return 1;
    }
    Judgement j = Diagnose(command.driver, command.board);
    WriteText(STD_OUTPUT_HANDLE, command.json ? CheckJson(j) + "\n" : CheckText(j));
    return CheckExitCode(j);
}
