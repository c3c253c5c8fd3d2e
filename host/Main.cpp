// zendrel-host: loads a tuner plug-in the way a host does, lists its channels,
// records a stream or scans every channel; checks what a copy of the plug-in
// makes of its name and side files, and has it write its default side files;
// serves the tuners of a folder over HTTP.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>

#include "host/CommandLine.h"
#include "host/Commands.h"
#include "host/Console.h"
#include "host/JsonOutput.h"

namespace {

const char* VerbName(CommandKind kind)
{
    switch (kind) {
    case CommandKind::kList:
        return "list";
    case CommandKind::kRecord:
        return "record";
    case CommandKind::kScan:
        return "scan";
    case CommandKind::kCheck:
        return "check";
    case CommandKind::kInit:
        return "init";
    case CommandKind::kServe:
        return "serve";
    default:
        return "";
    }
}

}  // namespace

int main()
{
    // No system dialog box for a missing drive or library: every failure is
    // a message on stderr.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    // Taken as UTF-16, so that paths outside the ANSI code page work.
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> args;
    for (int i = 1; argv != nullptr && i < count; ++i)
        args.push_back(argv[i]);
    if (argv != nullptr)
        LocalFree(argv);

    Command command;
    std::wstring error;
    if (!ParseCommandLine(args, &command, &error)) {
        Complain(ToUtf8(error));
        // The command's own synopsis; all of them only when none was given.
        if (command.kind != CommandKind::kHelp)
            WriteText(STD_ERROR_HANDLE, CommandUsage(command.kind));
        else if (args.empty())
            WriteText(STD_ERROR_HANDLE, UsageText());
        // A program that asked for JSON gets its object even now.
        if (std::find(args.begin(), args.end(), L"--json") != args.end())
            WriteText(STD_OUTPUT_HANDLE,
                      JsonText(FailureJson(VerbName(command.kind), "", "usage", ToUtf8(error), "")) + "\n");
        return 2;
    }
    if (command.help) {
        WriteText(STD_OUTPUT_HANDLE, CommandHelp(command.kind));
        return 0;
    }
    InstallStopHandler();
    int status = 0;
    switch (command.kind) {
    case CommandKind::kHelp:
        WriteText(STD_OUTPUT_HANDLE, UsageText());
        break;
    case CommandKind::kVersion:
        WriteText(STD_OUTPUT_HANDLE, "zendrel-host " ZENDREL_VERSION "\n");
        break;
    case CommandKind::kList:
        status = RunList(command);
        break;
    case CommandKind::kRecord:
        status = RunRecord(command);
        break;
    case CommandKind::kScan:
        status = RunScan(command);
        break;
    case CommandKind::kCheck:
        status = RunCheck(command);
        break;
    case CommandKind::kInit:
        status = RunInit(command);
        break;
    case CommandKind::kServe:
        status = RunServe(command);
        break;
    }
    StopHandled();
    return status;
}
