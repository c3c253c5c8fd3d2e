#include "host/CommandLine.h"

#include <string.h>

#include "host/Text.h"

namespace {

// Each command's synopsis (continued lines indented to stand under the
// first after "usage: ") and what it does.
const struct {
    CommandKind kind;
    const char* name;
    const char* synopsis;
    const char* description;
} kCommandHelp[] = {
    {CommandKind::kList, "list", "zendrel-host list DRIVER.dll [--json]\n",
     "  list    the tuner name, the tuning spaces and their channels, with indices\n"},
    {CommandKind::kRecord, "record",
     "zendrel-host record DRIVER.dll [--space S] --channel C (--seconds N | --bytes N)\n"
     "                           --out FILE.ts [--force] [--json]\n",
     "  record  tune channel C (its index in space S, or its name as list shows it)\n"
     "          and write the stream to FILE.ts for N seconds or N bytes; --out -\n"
     "          writes it to standard output. An existing file is replaced only\n"
     "          with --force; an unfinished recording is kept as FILE.partial.ts.\n"
     "          Ctrl+C stops early and keeps what was received.\n"},
    {CommandKind::kScan, "scan", "zendrel-host scan DRIVER.dll [--write-channels FILE] [--force] [--json]\n",
     "  scan    tune every channel of every space and show whether it tuned, the\n"
     "          signal level and the TS ID of its PAT; --write-channels writes the\n"
     "          channels found as a channel file\n"},
    {CommandKind::kCheck, "check", "zendrel-host check DRIVER.dll [--board] [--json]\n",
     "  check   which side files this DLL name uses and what the plug-in makes of\n"
     "          every line of its channel file, without changing anything; --board\n"
     "          also loads the board library from where the plug-in will, and asks\n"
     "          whether the tuner can be opened\n"},
    {CommandKind::kInit, "init", "zendrel-host init DRIVER.dll [--json]\n",
     "  init    load and release the copy as a host does, so that the plug-in\n"
     "          writes its missing side files (it never replaces one), and say\n"
     "          which were written\n"},
    {CommandKind::kServe, "serve",
     "zendrel-host serve FOLDER [--listen HOST:PORT] [--allow CIDR]... [--host NAME]...\n"
     "                          [--idle-seconds N] [--max-clients N] [--json]\n",
     "  serve   stream the channels of the plug-in copies in FOLDER over HTTP, with\n"
     "          a JSON API and a status page at http://HOST:PORT/ (default\n"
     "          127.0.0.1:40080); --allow limits the clients (repeatable; this PC\n"
     "          is always served), --host adds a name clients reach it by besides\n"
     "          this PC's own (repeatable), a tuner is released --idle-seconds (10)\n"
     "          after its last client, at most --max-clients (16, up to 64)\n"
     "          streams; Ctrl+C stops it\n"},
};

const char kJsonHelp[] = "  --json  the result as one JSON object on standard output\n";
const char kExitHelp[] =
    "exit status: 0 ok, 1 failure (check: a line dropped or not taken as written,\n"
    "or the plug-in would not load), 2 usage, 3 record received nothing, 4 record\n"
    "lost the device, 5 record has gaps, 130 interrupted\n";

}  // namespace

std::string UsageText()
{
    std::string synopses, descriptions;
    for (const auto& c : kCommandHelp) {
        synopses += (synopses.empty() ? "usage: " : "       ") + std::string(c.synopsis);
        descriptions += c.description;
    }
    return synopses + "       zendrel-host --version\n       zendrel-host COMMAND --help\n\n" + descriptions +
           kJsonHelp + "\n" + kExitHelp;
}

std::string CommandUsage(CommandKind kind)
{
    for (const auto& c : kCommandHelp) {
        if (c.kind == kind)
            return "usage: " + std::string(c.synopsis);
    }
    return UsageText();
}

std::string CommandHelp(CommandKind kind)
{
    for (const auto& c : kCommandHelp) {
        if (c.kind == kind)
            return CommandUsage(kind) + "\n" + c.description + kJsonHelp;
    }
    return UsageText();
}

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

bool AllDigits(const std::wstring& text)
{
    return !text.empty() && text.find_first_not_of(L"0123456789") == std::wstring::npos;
}

enum Verbs {
    kListVerb = 1,
    kRecordVerb = 2,
    kScanVerb = 4,
    kCheckVerb = 8,
    kInitVerb = 16,
    kServeVerb = 32,
    kAnyVerb = 63
};

struct Option {
    const wchar_t* name;
    int verbs;        // which commands take it
    bool takesValue;  // otherwise a switch
    bool seen;
    std::wstring value;
};

bool ParseRecord(Option* space, Option* channel, Option* seconds, Option* bytes, Option* out, Command* command,
                 std::wstring* error)
{
    if (!channel->seen || !out->seen) {
        *error = L"record needs --channel and --out";
        return false;
    }
    if (seconds->seen == bytes->seen) {
        *error = L"record needs either --seconds or --bytes";
        return false;
    }
    uint64_t value = 0;
    command->haveSpace = space->seen;
    if (space->seen) {
        if (!ParseNumber(space->value, 0xFFFFFFFFu, &value)) {
            *error = L"--space takes a space index, not \"" + space->value + L"\"";
            return false;
        }
        command->space = static_cast<uint32_t>(value);
    }
    if (AllDigits(channel->value)) {
        if (!ParseNumber(channel->value, 0xFFFFFFFFu, &value)) {
            *error = L"--channel takes a channel index or name, not \"" + channel->value + L"\"";
            return false;
        }
        if (!space->seen) {
            *error = L"a channel index needs --space; a channel name does not";
            return false;
        }
        command->channel = static_cast<uint32_t>(value);
    } else if (channel->value.empty()) {
        *error = L"--channel needs a channel index or name";
        return false;
    } else {
        command->channelName = channel->value;
    }
    if (seconds->seen) {
        if (!ParseNumber(seconds->value, 0xFFFFFFFFu, &value) || value == 0) {
            *error = L"--seconds takes a whole number above 0, not \"" + seconds->value + L"\"";
            return false;
        }
        command->seconds = static_cast<uint32_t>(value);
    } else {
        if (!ParseNumber(bytes->value, UINT64_MAX, &value) || value == 0) {
            *error = L"--bytes takes a whole number above 0, not \"" + bytes->value + L"\"";
            return false;
        }
        command->bytes = value;
    }
    if (out->value.empty()) {
        *error = L"--out needs a file name, or - for standard output";
        return false;
    }
    command->out = out->value;
    return true;
}

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += (c > 0 && c < 0x80) ? static_cast<char>(c) : '?';
    return out;
}

// "; did you mean "record"?" for a command two edits or fewer from a known
// one (a swap of two letters is two), else where the commands are listed.
std::wstring NearestVerb(const std::wstring& verb)
{
    std::string typed = AsciiLower(Narrow(verb));
    const char* nearest = nullptr;
    size_t best = 3;
    for (const auto& c : kCommandHelp) {
        size_t distance = EditDistance(typed, c.name);
        if (distance < best && distance < typed.size()) {
            best = distance;
            nearest = c.name;
        }
    }
    if (nearest == nullptr)
        return L"; zendrel-host --help lists the commands";
    return L"; did you mean \"" + std::wstring(nearest, nearest + strlen(nearest)) + L"\"?";
}

std::wstring Wide(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

bool ParseServe(Option* listen, const std::vector<std::wstring>& allow, const std::vector<std::wstring>& hosts,
                Option* idle, Option* maxClients, Command* command, std::wstring* error)
{
    if (listen->seen && !ParseListen(Narrow(listen->value), &command->listenAddress, &command->listenPort)) {
        *error = L"--listen takes an IPv4 address and a port, as 127.0.0.1:40080, not \"" + listen->value + L"\"";
        return false;
    }
    for (const std::wstring& value : allow) {
        Ipv4Net net;
        std::string why;
        if (!ParseIpv4Net(Narrow(value), &net, &why)) {
            *error = why.empty()
                         ? L"--allow takes an IPv4 address or network, as 192.168.1.0/24, not \"" + value + L"\""
                         : L"--allow " + value + L": " + Wide(why);
            return false;
        }
        command->allow.push_back(net);
    }
    for (const std::wstring& value : hosts) {
        std::string name = Narrow(value);
        if (!ValidHostName(name)) {
            *error = L"--host takes a host name or IPv4 address, as tv.home.arpa, not \"" + value + L"\"";
            return false;
        }
        command->hosts.push_back(name);
    }
    uint64_t value = 0;
    if (idle->seen) {
        if (!ParseNumber(idle->value, 86400, &value)) {
            *error = L"--idle-seconds takes a whole number from 0 to 86400, not \"" + idle->value + L"\"";
            return false;
        }
        command->idleSeconds = static_cast<uint32_t>(value);
    }
    if (maxClients->seen) {
        if (!ParseNumber(maxClients->value, kMaxClientsLimit, &value) || value == 0) {
            *error = L"--max-clients takes a whole number from 1 to " + std::to_wstring(kMaxClientsLimit) +
                     L", not \"" + maxClients->value + L"\"";
            return false;
        }
        command->maxClients = static_cast<uint32_t>(value);
    }
    return true;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::wstring>& args, Command* command, std::wstring* error)
{
    *command = Command();
    if (args.empty()) {
        *error = L"no command given";
        return false;
    }
    auto isHelp = [](const std::wstring& arg) {
        return arg == L"help" || arg == L"-h" || arg == L"--help" || arg == L"/?";
    };
    // "help record" asks what "record --help" asks.
    bool helpFirst = isHelp(args[0]);
    if (helpFirst && args.size() == 1) {
        command->kind = CommandKind::kHelp;
        return true;
    }
    const std::wstring& verb = helpFirst ? args[1] : args[0];
    if (verb == L"--version") {
        command->kind = CommandKind::kVersion;
        return true;
    }
    static const struct {
        const wchar_t* name;
        CommandKind kind;
        int bit;
    } kVerbs[] = {{L"list", CommandKind::kList, kListVerb},
                  {L"record", CommandKind::kRecord, kRecordVerb},
                  {L"scan", CommandKind::kScan, kScanVerb},
                  {L"check", CommandKind::kCheck, kCheckVerb},
                  {L"init", CommandKind::kInit, kInitVerb},
                  {L"serve", CommandKind::kServe, kServeVerb}};
    int verbBit = 0;
    for (const auto& known : kVerbs) {
        if (verb == known.name) {
            command->kind = known.kind;
            verbBit = known.bit;
        }
    }
    if (verbBit == 0) {
        *error = L"unknown command \"" + verb + L"\"" + NearestVerb(verb);
        return false;
    }
    // Whatever else is given: what a command takes is asked, not run.
    for (const std::wstring& arg : args) {
        if (helpFirst || arg == L"--help" || arg == L"-h") {
            command->help = true;
            return true;
        }
    }

    Option options[] = {
        {L"--space", kRecordVerb, true, false, {}},    {L"--channel", kRecordVerb, true, false, {}},
        {L"--seconds", kRecordVerb, true, false, {}},  {L"--bytes", kRecordVerb, true, false, {}},
        {L"--out", kRecordVerb, true, false, {}},      {L"--write-channels", kScanVerb, true, false, {}},
        {L"--force", kRecordVerb | kScanVerb, false, false, {}}, {L"--board", kCheckVerb, false, false, {}},
        {L"--json", kAnyVerb, false, false, {}},
        {L"--listen", kServeVerb, true, false, {}},    {L"--allow", kServeVerb, true, false, {}},
        {L"--idle-seconds", kServeVerb, true, false, {}}, {L"--max-clients", kServeVerb, true, false, {}},
        {L"--host", kServeVerb, true, false, {}},
    };
    Option& writeChannels = options[5];
    Option& force = options[6];
    Option& board = options[7];
    Option& json = options[8];
    Option& allow = options[10];
    Option& host = options[13];
    std::vector<std::wstring> allowed, hosts;  // --allow and --host, any number of times
    bool haveDriver = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (arg.size() >= 2 && arg[0] == L'-' && arg[1] == L'-') {
            Option* option = nullptr;
            for (Option& candidate : options) {
                if ((candidate.verbs & verbBit) && arg == candidate.name)
                    option = &candidate;
            }
            if (option == nullptr) {
                *error = L"unknown option " + arg + L" for " + verb;
                return false;
            }
            if (option->seen && option != &allow && option != &host) {
                *error = arg + L" given twice";
                return false;
            }
            if (option->takesValue && i + 1 >= args.size()) {
                *error = arg + L" needs a value";
                return false;
            }
            option->seen = true;
            if (option->takesValue)
                option->value = args[++i];
            if (option == &allow)
                allowed.push_back(option->value);
            if (option == &host)
                hosts.push_back(option->value);
        } else if (!haveDriver) {
            command->driver = arg;
            haveDriver = true;
        } else {
            *error = L"unexpected argument \"" + arg + L"\"";
            return false;
        }
    }
    if (!haveDriver || command->driver.empty()) {
        *error = verb + (verbBit == kServeVerb ? L" needs the plug-in folder" : L" needs the driver DLL");
        return false;
    }
    command->force = force.seen;
    command->board = board.seen;
    command->json = json.seen;
    if (writeChannels.seen && writeChannels.value.empty()) {
        *error = L"--write-channels needs a file name";
        return false;
    }
    command->writeChannels = writeChannels.value;
    if (command->kind == CommandKind::kServe)
        return ParseServe(&options[9], allowed, hosts, &options[11], &options[12], command, error);
    if (command->kind != CommandKind::kRecord)
        return true;
    return ParseRecord(&options[0], &options[1], &options[2], &options[3], &options[4], command, error);
}
