#include "sidefiles/ChannelWriter.h"

#include "sidefiles/BoundedPrint.h"
#include "sidefiles/FixedTexts.h"

namespace {

int PrintRow(char* row, ...)
{
    va_list args;
    va_start(args, row);
    int length = PrintBounded(row, kRowBufferSize, g_channelRowFormat, args);
    va_end(args);
    return length;
}

}  // namespace

int32_t FormatChannelRow(char (&row)[kRowBufferSize], const char* name, int32_t space,
                         uint8_t ptChannel, int32_t index)
{
    int length = PrintRow(row, name, space, static_cast<int>(ptChannel), index);
    // A row that did not fit is cut, as the fixed buffer demands.
    if (length < 0 || length >= kRowBufferSize) {
        row[kRowBufferSize - 1] = '\0';
        return kRowBufferSize - 1;
    }
    return length;
}

namespace {

void WriteRows(const ChannelTable& table, int32_t space, ByteSink sink)
{
    char row[kRowBufferSize];
    for (int32_t i = 0; i < table.count; ++i) {
        const ChannelEntry& entry = table.entries[i];
        int32_t length = FormatChannelRow(row, NameText(entry.name), space, entry.ptChannel, i);
        sink.write(sink.context, reinterpret_cast<const uint8_t*>(row), static_cast<uint32_t>(length));
    }
}

}  // namespace

void WriteChannelText(bool isTerrestrial, const ChannelSetup& setup, ByteSink sink)
{
    if (!isTerrestrial) {
        sink.write(sink.context, g_satelliteChannelText, sizeof g_satelliteChannelText);
        return;
    }
    // The rows must carry the numbers that the header declares: UHF 0 and
    // the disabled CATV 1, unless the bands were numbered otherwise.
    int32_t uhfSpace = *setup.bandSpace[kBandUhf];
    int32_t catvSpace = *setup.bandSpace[kBandCatv];
    sink.write(sink.context, g_terrestrialHeader, sizeof g_terrestrialHeader);
    WriteRows(setup.bandTable[0], uhfSpace < 0 ? 0 : uhfSpace, sink);
    sink.write(sink.context, g_catvHeader, sizeof g_catvHeader);
    WriteRows(setup.bandTable[1], catvSpace < 0 ? 1 : catvSpace, sink);
}
