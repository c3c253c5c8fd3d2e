// init: a copy's default side files, written by the plug-in itself. The copy
// is loaded as a host loads it and released at once; at release the plug-in
// writes each side file that is missing, exactly as it would under any host,
// and never one that exists. What was written, what was there already, and
// why nothing was, are then told.
#include "host/Commands.h"
#include "host/Console.h"
#include "host/Driver.h"
#include "host/JsonOutput.h"
#include "host/check/Diagnosis.h"

namespace {

struct SideFile {
    const char* what;  // "settings", "channel"
    std::wstring path;
    bool before = false;
    bool after = false;
    std::string state;  // "written", "existed", "renamed", "not_written"
    std::string note;
};

std::string StateText(const SideFile& f)
{
    if (f.state == "written")
        return "written, with the plug-in's defaults";
    if (f.state == "existed")
        return "exists already, left as it was";
    if (f.state == "renamed")
        return "the plug-in renamed the legacy file to this name";
    return "not written" + (f.note.empty() ? std::string() : ": " + f.note);
}

}  // namespace

int RunInit(const Command& command)
{
    std::string driverPath = ToUtf8(FullPath(command.driver));
    std::string error = MissingDriver(command.driver);
    const char* code = "no_driver";
    Judgement j;
    if (error.empty()) {
        code = "not_tuner_plugin";
        error = NotTunerPlugin(command.driver, "init");
    }
    if (error.empty()) {
        j = Diagnose(command.driver, false);
        code = "load_failed";
        if (!j.names.ok)
            error = "the plug-in refuses to load: " + j.names.why;
    }
    if (!error.empty()) {
        Complain(error + "; nothing was written");
        if (command.json)
            WriteText(STD_OUTPUT_HANDLE, JsonText(FailureJson("init", driverPath, code, error, "")) + "\n");
        return 1;
    }
    SideFile files[2];
    files[0].what = "settings";
    files[0].path = j.names.settingsPath;
    files[0].before = j.files.settingsExists;
    files[1].what = "channel";
    files[1].path = j.names.channelPath;
    files[1].before = j.files.channelExists;
    bool legacy = j.files.legacyExists && !j.files.channelExists;

    // Why the plug-in will write nothing, known before it is loaded; then
    // it is not loaded at all.
    std::string none;
    const char* failure = "not_written";
    if (!j.files.autoMake) {
        failure = "auto_make_off";
        none = "AutoMake=0 in " + ToUtf8(j.names.settingsPath) +
               ": the plug-in writes no side file (set AutoMake=1 to let it)";
    } else if (j.files.folderWritable == 0) {
        failure = "folder_not_writable";
        none = "nothing can be written in the plug-in's folder (" + j.files.folderError + ")";
    }
    if (!(files[0].before && files[1].before) && none.empty()) {
        Driver driver;
        if (!LoadDriver(&driver, command, "init", STD_OUTPUT_HANDLE)) {
            Complain("nothing was written: the plug-in writes its side files only when a copy that loaded is "
                     "released");
            return 1;
        }
        driver.Unload();
    }
    bool allThere = true;
    for (SideFile& f : files) {
        f.after = Exists(f.path);
        allThere = allThere && f.after;
        bool isChannelFile = &f == &files[1];
        f.state = f.before ? "existed" : !f.after ? "not_written" : isChannelFile && legacy ? "renamed" : "written";
        if (f.after)
            continue;
        f.note = !none.empty() ? none
                 : isChannelFile && j.names.isTerrestrial
                     ? "the plug-in did not write it: the board listed no channel, or the file could not be "
                       "made (see check --board)"
                     : "the plug-in did not write it (see check)";
    }

    if (command.json) {
        Json o;
        o["command"] = "init";
        o["ok"] = allThere;
        o["code"] = allThere ? Json(nullptr) : Json(failure);
        o["driver"] = driverPath;
        Json list = Json::array();
        for (const SideFile& f : files)
            list.push_back(
                {{"file", f.what}, {"path", ToUtf8(f.path)}, {"state", f.state}, {"note", TextOrNull(f.note)}});
        o["files"] = list;
        WriteText(STD_OUTPUT_HANDLE, JsonText(o) + "\n");
    } else {
        std::string text = "plug-in: " + driverPath + "\n";
        for (const SideFile& f : files)
            text += std::string(f.what) + " file: " + ToUtf8(f.path) + "\n  " + StateText(f) + "\n";
        WriteText(STD_OUTPUT_HANDLE, text);
    }
    if (!allThere)
        Complain(none.empty() ? "a side file is still missing" : none);
    return allThere ? 0 : 1;
}
