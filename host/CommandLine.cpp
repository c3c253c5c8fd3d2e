#include "host/CommandLine.h"

const char kUsage[] =
    "usage: zendrel-host list DRIVER.dll\n"
    "       zendrel-host record DRIVER.dll --space S --channel C (--seconds N | --bytes N) --out FILE.ts\n"
    "       zendrel-host scan DRIVER.dll\n"
    "\n"
    "  list    the tuner name, the tuning spaces and their channels, with indices\n"
    "  record  tune space S, channel C (indices as list shows them) and write the\n"
    "          stream to FILE.ts for N seconds or N bytes; Ctrl+C stops early and\n"
    "          keeps what was received\n"
    "  scan    tune every channel of every space and show whether it tuned, the\n"
    "          signal level and the TS ID of its PAT\n"
    "\n"
    "exit status: 0 ok, 1 runtime failure, 2 usage\n";

namespace {

// Plain decimal digits only: no sign, no spaces, nothing after them.
bool ParseNumber(const std::wstring& text, uint64_t max, uint64_t* value)
{
    if (text.empty())
        return false;
    uint64_t result = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return false;
        uint64_t digit = static_cast<uint64_t>(c - L'0');
        if (result > (max - digit) / 10)
            return false;
        result = result * 10 + digit;
    }
    *value = result;
    return true;
}

struct Option {
    const wchar_t* name;
    bool seen;
    std::wstring value;
};

}  // namespace

bool ParseCommandLine(const std::vector<std::wstring>& args, Command* command, std::wstring* error)
{
    *command = Command();
    if (args.empty()) {
        *error = L"no command given";
        return false;
    }
    const std::wstring& verb = args[0];
    if (verb == L"help" || verb == L"-h" || verb == L"--help" || verb == L"/?") {
        command->kind = CommandKind::kHelp;
        return true;
    }
    if (verb == L"list")
        command->kind = CommandKind::kList;
    else if (verb == L"record")
        command->kind = CommandKind::kRecord;
    else if (verb == L"scan")
        command->kind = CommandKind::kScan;
    else {
        *error = L"unknown command \"" + verb + L"\"";
        return false;
    }

    Option options[] = {{L"--space", false, {}},   {L"--channel", false, {}},
                        {L"--seconds", false, {}}, {L"--bytes", false, {}},
                        {L"--out", false, {}}};
    Option& space = options[0];
    Option& channel = options[1];
    Option& seconds = options[2];
    Option& bytes = options[3];
    Option& out = options[4];
    bool takesOptions = command->kind == CommandKind::kRecord;
    bool haveDriver = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (arg.size() >= 2 && arg[0] == L'-' && arg[1] == L'-') {
            Option* option = nullptr;
            for (Option& candidate : options) {
                if (takesOptions && arg == candidate.name)
                    option = &candidate;
            }
            if (option == nullptr) {
                *error = L"unknown option " + arg + L" for " + verb;
                return false;
            }
            if (option->seen) {
                *error = arg + L" given twice";
                return false;
            }
            if (i + 1 >= args.size()) {
                *error = arg + L" needs a value";
                return false;
            }
            option->seen = true;
            option->value = args[++i];
        } else if (!haveDriver) {
            command->driver = arg;
            haveDriver = true;
        } else {
            *error = L"unexpected argument \"" + arg + L"\"";
            return false;
        }
    }
    if (!haveDriver || command->driver.empty()) {
        *error = verb + L" needs the driver DLL";
        return false;
    }
    if (!takesOptions)
        return true;

    if (!space.seen || !channel.seen || !out.seen) {
        *error = L"record needs --space, --channel and --out";
        return false;
    }
    if (seconds.seen == bytes.seen) {
        *error = L"record needs either --seconds or --bytes";
        return false;
    }
    uint64_t value = 0;
    if (!ParseNumber(space.value, 0xFFFFFFFFu, &value)) {
        *error = L"--space takes a space index, not \"" + space.value + L"\"";
        return false;
    }
    command->space = static_cast<uint32_t>(value);
    if (!ParseNumber(channel.value, 0xFFFFFFFFu, &value)) {
        *error = L"--channel takes a channel index, not \"" + channel.value + L"\"";
        return false;
    }
    command->channel = static_cast<uint32_t>(value);
    if (seconds.seen) {
        if (!ParseNumber(seconds.value, 0xFFFFFFFFu, &value) || value == 0) {
            *error = L"--seconds takes a whole number above 0, not \"" + seconds.value + L"\"";
            return false;
        }
        command->seconds = static_cast<uint32_t>(value);
    } else {
        if (!ParseNumber(bytes.value, UINT64_MAX, &value) || value == 0) {
            *error = L"--bytes takes a whole number above 0, not \"" + bytes.value + L"\"";
            return false;
        }
        command->bytes = value;
    }
    if (out.value.empty()) {
        *error = L"--out needs a file name";
        return false;
    }
    command->out = out.value;
    return true;
}
