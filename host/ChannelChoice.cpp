#include "host/ChannelChoice.h"

#include <algorithm>

#include "host/Text.h"

namespace {

// Near misses shown at most.
const size_t kSuggestions = 3;

std::string Where(const ListedChannel& c)
{
    return "space " + std::to_string(c.space) + " channel " + std::to_string(c.channel);
}

// A name the folded text begins, or one a few edits away; the closest first.
std::string NearMisses(const std::vector<const ListedChannel*>& candidates, const std::string& folded)
{
    std::vector<std::pair<size_t, std::string>> near;
    size_t allowed = std::max<size_t>(1, folded.size() / 4);
    for (const ListedChannel* c : candidates) {
        std::string name = FoldName(c->name);
        bool begins = name.compare(0, folded.size(), folded) == 0;
        size_t distance = begins ? 0 : EditDistance(folded, name);
        bool known = std::any_of(near.begin(), near.end(), [&](const std::pair<size_t, std::string>& n) {
            return n.second == c->name;
        });
        if ((begins || distance <= allowed) && !known)
            near.push_back({distance, c->name});
    }
    std::stable_sort(near.begin(), near.end(),
                     [](const std::pair<size_t, std::string>& a, const std::pair<size_t, std::string>& b) {
                         return a.first < b.first;
                     });
    std::string text;
    for (size_t i = 0; i < near.size() && i < kSuggestions; ++i)
        text += std::string(i == 0 ? "" : i + 1 == near.size() || i + 1 == kSuggestions ? " or " : ", ") + "\"" +
                near[i].second + "\"";
    return text.empty() ? text : "; did you mean " + text + "?";
}

}  // namespace

std::string FoldName(const std::string& utf8)
{
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        unsigned char next = i + 2 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
        unsigned char last = i + 2 < utf8.size() ? static_cast<unsigned char>(utf8[i + 2]) : 0;
        if (c == 0xEF && (next == 0xBC || next == 0xBD) && last >= 0x80 && last <= 0xBF &&
            !(next == 0xBC && last == 0x80) && !(next == 0xBD && last > 0x9E)) {
            // U+FF01..U+FF5E: EF BC 81..BF, EF BD 80..9E, each 0xFEE0 above ASCII.
            c = static_cast<unsigned char>((next == 0xBC ? 0x20 : 0x60) + (last - 0x80));
            i += 2;
        } else if (c == 0xE3 && next == 0x80 && last == 0x80) {
            c = ' ';
            i += 2;
        }
        out += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return out;
}

ChannelChoice ChooseChannel(const std::vector<ListedChannel>& listed, const std::string& wanted, bool haveSpace,
                            uint32_t space, const ChoiceWords& words)
{
    std::vector<const ListedChannel*> candidates, exact, folded;
    std::string want = FoldName(wanted);
    for (const ListedChannel& c : listed) {
        if (haveSpace && c.space != space)
            continue;
        candidates.push_back(&c);
        if (c.name == wanted)
            exact.push_back(&c);
        else if (FoldName(c.name) == want)
            folded.push_back(&c);
    }
    const std::vector<const ListedChannel*>& matches = exact.empty() ? folded : exact;
    ChannelChoice choice;
    if (matches.size() == 1) {
        choice.found = true;
        choice.channel = *matches[0];
        return choice;
    }
    std::string in = haveSpace ? " in space " + std::to_string(space) : std::string();
    if (matches.empty()) {
        choice.code = "no_channel";
        choice.error = "no channel is named \"" + wanted + "\"" + in + " (see " + words.list + ")" +
                       NearMisses(candidates, want);
        return choice;
    }
    std::string places;
    bool sameName = true;
    for (const ListedChannel* c : matches) {
        places += (places.empty() ? "" : ", ") + Where(*c) + " \"" + c->name + "\"";
        sameName = sameName && c->name == matches[0]->name;
    }
    choice.code = "ambiguous_channel";
    choice.error = "\"" + wanted + "\" names more than one channel" + in + " (" + places + ")" +
                   (sameName ? std::string("; ") + words.giveSpace
                             : std::string("; give the name exactly as ") + words.list + " shows it");
    return choice;
}
