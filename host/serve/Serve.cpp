// serve: the tuners of a plug-in folder on the network, until Ctrl+C.
#include "host/Commands.h"
#include "host/Console.h"
#include "host/serve/Copies.h"
#include "host/serve/DriverDevice.h"
#include "host/serve/HttpServer.h"
#include "host/serve/LocalNames.h"

namespace {

// The file names in a folder; false when it cannot be read.
bool FolderNames(const std::wstring& folder, std::vector<std::wstring>* names)
{
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            names->push_back(found.cFileName);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return true;
}

// "21:30:05 " from the local time, to start a line of the log.
std::string Clock()
{
    std::string now = LocalTimeText();
    return now.size() >= 19 ? now.substr(11, 8) + " " : std::string();
}

int Fail(const Command& command, ServeSummary* summary, const char* code, const std::string& error)
{
    Complain(error);
    summary->code = code;
    summary->error = error;
    if (command.json)
        WriteText(STD_OUTPUT_HANDLE, ServeSummaryJson(*summary) + "\n");
    return 1;
}

}  // namespace

int RunServe(const Command& command)
{
    ServeSummary summary;
    std::wstring folder = FullPath(command.driver);
    summary.folder = ToUtf8(folder);
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.pop_back();
    DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return Fail(command, &summary, "no_folder", summary.folder + " is not a folder");
    std::vector<std::wstring> names;
    if (!FolderNames(folder, &names))
        return Fail(command, &summary, "folder_unreadable", "cannot read the folder " + summary.folder + ": " +
                                           SystemMessage(GetLastError(), summary.folder));
    std::vector<std::string> skipped;
    std::vector<CopyInfo> copies = FindCopies(folder, names, &skipped);
    for (const std::string& line : skipped)
        Complain(line);
    if (copies.empty())
        return Fail(command, &summary, "no_copies",
                    "no copy of the plug-in in " + summary.folder +
                        ": serve takes the DLLs whose names end in a kind letter, as Zendrel-S.dll or Zendrel-T1.dll");

    PoolSettings pool;
    pool.idleSeconds = command.idleSeconds;
    pool.maxClients = command.maxClients;
    pool.now = Now;
    pool.localTime = [] { return LocalTimeText(); };
    pool.log = [](const std::string& line) { WriteText(STD_ERROR_HANDLE, Clock() + line + "\n"); };
    TunerPool tuners(copies, MakeDriverDevice, pool);

    HttpSettings http;
    http.address = command.listenAddress;
    http.port = command.listenPort;
    http.allow = command.allow;
    http.hosts = command.hosts;
    http.maxClients = command.maxClients;
    http.log = pool.log;
    http.info.folder = summary.folder;
    http.info.since = LocalTimeText();
    http.info.idleSeconds = command.idleSeconds;
    http.info.maxClients = command.maxClients;
    HttpServer server(tuners, http);
    std::string error;
    uint16_t port = 0;
    if (!server.Bind(&error, &port))
        return Fail(command, &summary, "cannot_listen", error);
    std::string listen = Ipv4Text(command.listenAddress) + ":" + std::to_string(port);
    summary.url = BaseUrl("", listen) + "/";
    summary.start = LocalTimeText();
    double start = Now();
    std::string list;
    for (const CopyInfo& copy : copies)
        list += (list.empty() ? "" : ", ") + copy.name;
    WriteText(STD_ERROR_HANDLE, "zendrel-host: serving " + summary.folder + " at " + summary.url + " (tuners: " +
                                    list + "); Ctrl+C stops\n");
    // On every network: the URLs other machines use.
    if (command.listenAddress == 0) {
        std::string urls;
        for (uint32_t address : ReadLocalNames().addresses)
            urls += (urls.empty() ? "" : ", ") + BaseUrl("", Ipv4Text(address) + ":" + std::to_string(port)) + "/";
        if (!urls.empty())
            WriteText(STD_ERROR_HANDLE, "zendrel-host: from other machines: " + urls + "\n");
    }
    if ((command.listenAddress >> 24) != 127 && command.allow.empty())
        Complain("listening beyond this machine with no --allow: any machine that reaches " + listen +
                 " can watch");
    server.Start();
    while (!StopRequested())
        Sleep(100);

    WriteText(STD_ERROR_HANDLE, Clock() + "stopping: closing the streams and releasing the tuners\n");
    // Streams end first, and every copy is released (writing its side files)
    // before the last connections close.
    tuners.Shutdown();
    // Each stream sends what its queue still holds and its proper end.
    for (int i = 0; i < 20 && !tuners.Status().clients.empty(); ++i)
        Sleep(100);
    server.Stop();
    summary.end = LocalTimeText();
    summary.seconds = Now() - start;
    summary.status = tuners.Status();
    WriteText(STD_OUTPUT_HANDLE, command.json ? ServeSummaryJson(summary) + "\n" : ServeSummaryText(summary));
    return 0;
}
