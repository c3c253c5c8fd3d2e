#include "host/diagnosis/Judgement.h"

#include "board/TunerNames.h"
#include "host/Text.h"
#include "sidefiles/FixedTexts.h"
#include "sidefiles/ModuleName.h"

namespace {

// In the order construction meets them; empty when nothing stops it.
std::string FindCause(const Judgement& j)
{
    const BoardFacts& b = j.board;
    if (!j.files.pluginExists)
        return "there is no file " + ToUtf8(j.modulePath);
    if (b.probed && b.library.empty())
        return b.error;
    if (b.probed && b.boards <= 0)
        return "the board library reports no board";
    if (!j.names.ok)
        return j.names.why;
    if (b.probed && b.version != 1)
        return "the board library is version " + std::to_string(b.version) +
               "; the plug-in needs version 1 (it shows a message box and refuses to load)";
    if (b.probed && j.names.tunerDigit >= 0 && !TunerOnBoards(j.names.tunerDigit, b.boards))
        return "the tuner digit " + std::to_string(j.names.tunerDigit) + " selects " + PinnedTuner(j.names.tunerDigit) +
               ", but the board library reports " + Counted(b.boards, "board");
    if (b.probed && b.tuner.empty()) {
        std::string tried;
        for (const BoardFacts::Tuner& t : b.tried)
            tried += (tried.empty() ? "" : ", ") + t.name;
        return "no " + TunerKind(j.names.isTerrestrial) + " tuner this name selects can be opened (" + tried +
               "): another program holds it";
    }
    if (!j.channels.declaresBand) {
        std::string why = "the channel file declares no band";
        if (j.channels.encoding == "empty")
            why = "the channel file is empty, so it declares no band";
        else if (j.channels.encoding == "utf-16")
            why = "the channel file is UTF-16 text, so it declares no band";
        else if (j.files.channelBytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
            why = "the channel file begins with a byte-order mark and declares no band";
        return why + ": " + ToUtf8(j.names.channelPath);
    }
    return std::string();
}

// The list the plug-in builds from the board when it has no channel file.
void FillFromBoard(const BoardFacts& board, ChannelVerdict* channels)
{
    channels->tables.reset(new ChannelTables);
    channels->declaresBand = true;
    for (size_t i = 0; i < board.channelNames.size(); ++i)
        AppendBoardChannel(channels->tables->Setup(), static_cast<uint32_t>(i), board.channelNames[i].c_str());
}

}  // namespace

std::string TunerKind(bool isTerrestrial)
{
    return isTerrestrial ? "terrestrial" : "satellite";
}

// Board digit / 2 + 1, tuner digit % 2 + 1.
std::string PinnedTuner(int32_t digit)
{
    return "board " + std::to_string(digit / 2 + 1) + ", tuner " + std::to_string(digit % 2 + 1);
}

SideFileNames LocateSideFiles(const std::wstring& modulePath)
{
    SideFileNames names;
    if (modulePath.size() >= static_cast<size_t>(kPathCapacity)) {
        names.why = "the plug-in's path has " + std::to_string(modulePath.size()) +
                    " characters; it must have fewer than 260";
        return names;
    }
    wchar_t settings[kPathCapacity], channels[kPathCapacity], legacy[kPathCapacity];
    SideFilePaths paths = {settings, channels, legacy};
    names.ok = ParseModulePath(modulePath.c_str(), &names.isTerrestrial, &names.tunerDigit, paths);
    if (!names.ok) {
        names.why = modulePath.find(L'\\') == std::wstring::npos ? "the plug-in's path has no backslash"
                                                                   : "the plug-in's file name has no dot";
        return names;
    }
    names.settingsPath = settings;
    names.channelPath = channels;
    names.legacyPath = legacy;
    // The kind letter stands just before the dot, or before the tuner digit.
    size_t dot = modulePath.rfind(L'.');
    size_t at = dot - (names.tunerDigit >= 0 ? 2 : 1);
    wchar_t letter = at < modulePath.size() ? modulePath[at] : 0;
    if (letter == L'S' || letter == L's' || letter == L'T' || letter == L't')
        names.kindLetter = static_cast<char>(letter);
    return names;
}

Judgement Judge(const std::wstring& modulePath, const SideFileNames& names, const SideFileFacts& files,
                const BoardFacts& board, Decoder decode)
{
    Judgement j;
    j.modulePath = modulePath;
    j.names = names;
    j.files = files;
    j.board = board;
    if (files.channelRead) {
        j.source = files.channelExists ? "file" : "legacy";
        j.channels = CheckChannelText(files.channelBytes, names.isTerrestrial, decode);
    } else if (!names.isTerrestrial) {
        j.source = "built-in";
        std::string text(reinterpret_cast<const char*>(g_satelliteChannelText), sizeof g_satelliteChannelText);
        j.channels = CheckChannelText(text, false, decode);
    } else {
        j.source = "board";
        FillFromBoard(board, &j.channels);
    }
    j.cause = FindCause(j);
    j.loads = !j.cause.empty() ? 0 : board.probed ? 1 : -1;
    return j;
}

