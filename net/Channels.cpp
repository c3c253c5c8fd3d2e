#include "net/Channels.h"

#include "net/Text.h"

namespace {

// The cache's first line.
const char kCacheHeader[] = "Zendrel-Net channel cache 1\r\n";

bool SameName(const wchar_t* a, const wchar_t* b)
{
    size_t i = 0;
    for (; a[i] != L'\0' && a[i] == b[i]; ++i) {
    }
    return a[i] == b[i];
}

// A name as the host is shown it: UTF-8 to UTF-16, cut to 31 characters.
bool ReadName(const JsonDoc& doc, int index, wchar_t (&name)[kNameCapacity])
{
    char text[kNameCapacity * 4];
    if (!JsonText(doc, index, text, sizeof text))
        return false;
    Utf8ToWide(text, TextLength(text), name, kNameCapacity);
    return true;
}

struct Item {
    char kind;
    uint32_t space;
    uint32_t channel;
    wchar_t spaceName[kNameCapacity];
    wchar_t name[kNameCapacity];
};

bool ReadItem(const JsonDoc& doc, int index, Item* item)
{
    char kind[2];
    if (!JsonText(doc, JsonMember(doc, index, "kind"), kind, sizeof kind) || (kind[0] != 'S' && kind[0] != 'T'))
        return false;
    item->kind = kind[0];
    return JsonUnsigned(doc, JsonMember(doc, index, "space"), &item->space) &&
           JsonUnsigned(doc, JsonMember(doc, index, "channel"), &item->channel) &&
           ReadName(doc, JsonMember(doc, index, "space_name"), item->spaceName) &&
           ReadName(doc, JsonMember(doc, index, "name"), item->name);
}

NetSpace* SpaceFor(ChannelList* list, const Item& item)
{
    for (uint32_t s = 0; s < list->spaceCount; ++s)
        if (list->spaces[s].kind == item.kind && SameName(list->spaces[s].name, item.spaceName))
            return &list->spaces[s];
    if (list->spaceCount == kMaxSpaces)
        return nullptr;
    NetSpace* space = &list->spaces[list->spaceCount++];
    space->kind = item.kind;
    for (size_t i = 0; i < kNameCapacity; ++i)
        space->name[i] = item.spaceName[i];
    space->count = 0;
    return space;
}

void AddItem(ChannelList* list, int server, const Item& item)
{
    NetSpace* space = SpaceFor(list, item);
    if (space == nullptr)
        return;
    NetChannel* channel = nullptr;
    for (uint32_t c = 0; c < space->count && channel == nullptr; ++c)
        if (SameName(list->channels[space->channels[c]].name, item.name))
            channel = &list->channels[space->channels[c]];
    if (channel == nullptr) {
        if (list->channelCount == kMaxChannels)
            return;
        space->channels[space->count++] = static_cast<uint16_t>(list->channelCount);
        channel = &list->channels[list->channelCount++];
        channel->kind = item.kind;
        for (size_t i = 0; i < kNameCapacity; ++i)
            channel->name[i] = item.name[i];
        channel->listedBy = 0;
    }
    // A server that lists one name twice in a space is asked for the first.
    uint32_t bit = 1u << server;
    if ((channel->listedBy & bit) != 0)
        return;
    channel->listedBy |= bit;
    channel->serverSpace[server] = item.space;
    channel->serverChannel[server] = item.channel;
}

void WriteText(WholeFile* file, const char* text, size_t length)
{
    WriteWholeFile(file, reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(length));
}

}  // namespace

ListAnswer AddServerChannels(ChannelList* list, int server, const char* text, size_t length, jsmntok_t* tokens,
                             unsigned capacity)
{
    JsonDoc doc;
    if (!ParseJsonObject(&doc, text, length, tokens, capacity))
        return ListAnswer::kBad;
    int channels = JsonMember(doc, 0, "channels");
    if (!JsonIs(doc, channels, JSMN_ARRAY))
        return ListAnswer::kBad;
    int errors = JsonMember(doc, 0, "errors");
    ListAnswer answer = JsonIs(doc, errors, JSMN_ARRAY) && doc.tokens[errors].size > 0 ? ListAnswer::kPartial
                                                                                         : ListAnswer::kWhole;
    if (list == nullptr)
        return answer;
    int at = channels + 1;
    for (int i = 0; i < doc.tokens[channels].size; ++i) {
        Item item;
        if (ReadItem(doc, at, &item))
            AddItem(list, server, item);
        at = JsonNext(doc, at);
    }
    return answer;
}

const NetChannel* FindChannel(const ChannelList& list, uint32_t space, uint32_t channel)
{
    if (space >= list.spaceCount || channel >= list.spaces[space].count)
        return nullptr;
    return &list.channels[list.spaces[space].channels[channel]];
}

bool FindCachedAnswer(const char* cache, size_t size, const char* key, const char** answer, size_t* length)
{
    size_t header = sizeof kCacheHeader - 1;
    if (size < header)
        return false;
    for (size_t i = 0; i < header; ++i)
        if (cache[i] != kCacheHeader[i])
            return false;
    size_t at = header;
    // Each record: key CR LF, length CR LF, the answer, CR LF.
    while (at < size) {
        size_t keyEnd = at;
        while (keyEnd < size && cache[keyEnd] != '\r')
            ++keyEnd;
        size_t numberAt = keyEnd + 2;
        size_t numberEnd = numberAt;
        while (numberEnd < size && cache[numberEnd] != '\r')
            ++numberEnd;
        uint32_t bytes = 0;
        if (numberEnd + 2 > size ||
            !ParseUnsignedText(cache + numberAt, numberEnd - numberAt, 0x7FFFFFFF, &bytes) ||
            numberEnd + 2 + bytes + 2 > size)
            return false;
        bool same = true;
        size_t k = 0;
        for (; same && at + k < keyEnd; ++k)
            same = key[k] == cache[at + k];
        if (same && key[k] == '\0') {
            *answer = cache + numberEnd + 2;
            *length = bytes;
            return true;
        }
        at = numberEnd + 2 + bytes + 2;
    }
    return false;
}

void WriteCacheHeader(WholeFile* file)
{
    WriteText(file, kCacheHeader, sizeof kCacheHeader - 1);
}

void WriteCachedAnswer(WholeFile* file, const char* key, const char* answer, size_t length)
{
    WriteText(file, key, TextLength(key));
    char number[16];
    size_t digits = 0;
    char reversed[12];
    size_t value = length;
    do {
        reversed[digits++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    number[0] = '\r';
    number[1] = '\n';
    size_t n = 2;
    while (digits > 0)
        number[n++] = reversed[--digits];
    number[n++] = '\r';
    number[n++] = '\n';
    WriteText(file, number, n);
    WriteText(file, answer, length);
    WriteText(file, "\r\n", 2);
}
