#include "tools/morv/SegFormatter.h"

namespace {

// Whether the bytes are white space only: ASCII blanks, or the ideographic space
// (GBK A1A1, UTF-8 E3 80 80).
bool IsBlank(const char* bytes, size_t length, Encoding enc)
{
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
    size_t i = 0;
    while (i < length) {
        if (s[i] == ' ' || s[i] == '\t' || s[i] == '\v' || s[i] == '\f' || s[i] == '\r' || s[i] == '\n') {
            ++i;
        } else if (enc != Encoding::Utf8 && i + 1 < length && s[i] == 0xA1 && s[i + 1] == 0xA1) {
            i += 2;
        } else if (enc == Encoding::Utf8 && i + 2 < length && s[i] == 0xE3 && s[i + 1] == 0x80 &&
                   s[i + 2] == 0x80) {
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

void SegFormatter::Append(const char* bytes, size_t length)
{
    if (IsBlank(bytes, length, encoding))
        return;
    if (lineStarted)
        buffer += ' ';
    lineStarted = true;
    AppendText(bytes, length);
}

void SegFormatter::Emit(const Word& word)
{
    if (splitNames && word.partCount > 0) {
        for (size_t k = 0; k < word.partCount; ++k) {
            const morv_part& p = word.parts[k];
            if (p.start >= word.pieceStart && p.end <= word.pieceStart + word.length && p.end > p.start)
                Append(word.bytes + (p.start - word.pieceStart), p.end - p.start);
        }
    } else if (splitNames && word.split > 0) {
        Append(word.bytes, word.split);
        Append(word.bytes + word.split, word.length - word.split);
    } else {
        Append(word.bytes, word.length);
    }
}

void SegFormatter::EndLine(const char* terminator)
{
    buffer += terminator;
    lineStarted = false;
    Flush();
}
