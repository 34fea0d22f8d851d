#include "tools/morv/TextFormatter.h"

#include <algorithm>
#include <cstring>

void TextFormatter::Emit(const Word& word)
{
    // Called once a token, so a word that needs no conversion is written with
    // one size check and plain copies rather than four appends.
    const size_t tagLength = std::strlen(word.tag);
    if (outputEncoding == Encoding::Unknown || outputEncoding == encoding) {
        const size_t gap = lineStarted ? 2 : 0;
        const size_t at = buffer.size();
        const size_t size = gap + word.length + 1 + tagLength;
        if (buffer.capacity() - at < size)
            buffer.reserve(std::max(2 * buffer.capacity(), at + size));
        buffer.resize(at + size);
        char* out = &buffer[at];
        if (gap != 0) {
            out[0] = ' ';
            out[1] = ' ';
        }
        out += gap;
        std::memcpy(out, word.bytes, word.length);
        out += word.length;
        *out++ = '/';
        std::memcpy(out, word.tag, tagLength);
        lineStarted = true;
        return;
    }
    if (lineStarted)
        buffer += "  ";
    lineStarted = true;
    AppendText(word.bytes, word.length);
    buffer += '/';
    buffer.append(word.tag, tagLength);
}

void TextFormatter::EndLine(const char* terminator)
{
    buffer += terminator;
    lineStarted = false;
    Flush();
}
