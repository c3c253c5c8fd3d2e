// Reads a channel file line by line and splits each line into tokens, in
// place and without allocating. The file is byte text in code page 932: bytes
// 0 to 32 are blanks, every byte from 33 up passes through, so double-byte
// characters survive whole. A line ends at CR or LF; blank lines, comments
// (from ";" on) and the tail beyond 255 bytes count for nothing.
#pragma once

#include <stdint.h>

const int32_t kChunkSize = 65536;
const int32_t kMaxLineLength = 255;
const int32_t kMaxTokens = 16;

// Where the chunks of text come from. read copies up to size bytes into dest
// and returns how many it copied; fewer than asked ends the text.
struct ChunkSource {
    int32_t (*read)(void* context, uint8_t* dest, int32_t size);
    void* context;
};

// The reader's whole state. It lives in storage that the driver zeroes before
// use, so all-zero is a valid start: nothing read yet, no source (an empty
// text) until file is set.
struct LineReader {
    int32_t chunkSize;  // bytes asked of each read, 1 to kChunkSize
    ChunkSource file;
    bool atEnd;    // no further read is to be made
    bool tooLong;  // the current line reached 255 bytes; its rest is skipped
    int32_t tokenCount;
    char* tokens[kMaxTokens];  // NUL-terminated in place, inside line
    int32_t lineLength;
    char line[kMaxLineLength + 1];
    int32_t bufferLength;  // bytes valid in buffer
    int32_t position;      // next byte of buffer to look at
    // Line ends passed so far (CR LF, LF and CR count one each), so that the
    // current line is number lineEnds + 1, as an editor counts.
    int32_t lineEnds;
    bool afterCr;  // the last byte passed was a CR: an LF now ends no new line
    // Last, so that the fields before it can be cleared without touching it.
    uint8_t buffer[kChunkSize + 1];
};

// Places a whole text in the buffer at once, as if it were the file; at most
// kChunkSize bytes.
void PlaceText(LineReader* reader, const uint8_t* text, int32_t length);

// The next line that holds anything besides blanks and comment, split into
// tokens (at least one, at most 16). False once the text is exhausted.
// Text after the last CR or LF is not a line: ReadLine then returns false with
// that text, if any, in line and lineLength (not split, comment included). A
// line that runs over a chunk boundary is read whole.
bool ReadLine(LineReader* reader);

// A token read as a number by the rule of strtol with base 0 (sign, "0x" hex,
// leading-0 octal, decimal; stops at the first byte that is not a digit),
// kept within the signed 32-bit range. As with strtol, *end (when given)
// becomes the byte after the digits, or token itself when there are none.
int32_t ReadNumber(const char* token, const char** end = nullptr);
