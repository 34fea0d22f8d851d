#include "tools/morv/LineFormatter.h"

void LineFormatter::BeginPiece(const char*, size_t, size_t, Encoding enc)
{
    encoding = enc;
    pieceChars = 0;
}

void LineFormatter::Tokens(const morv_token* tokens, size_t count, const PartList* parts)
{
    for (size_t i = 0; i < count; ++i) {
        const morv_token& t = tokens[i];
        if (t.char_end > pieceChars)
            pieceChars = t.char_end;
        // Line breaks end the output line instead of appearing in it.
        if (t.flags & MORV_FLAG_LINE_BREAK)
            continue;
        Word word;
        word.bytes = t.word;
        word.length = t.length;
        word.split = t.name_split > t.start ? t.name_split - t.start : 0;
        word.charBegin = charBase + t.char_start;
        word.charEnd = charBase + t.char_end;
        word.tag = t.tag;
        word.pieceStart = t.start;
        word.sub = (t.flags & MORV_FLAG_SUBTOKEN) != 0;
        if (parts != nullptr && parts->offsets[i + 1] > parts->offsets[i]) {
            word.parts = parts->parts + parts->offsets[i];
            word.partCount = parts->offsets[i + 1] - parts->offsets[i];
        }
        Emit(word);
    }
}

void LineFormatter::FinishPiece(bool endsLine, const char* terminator)
{
    if (endsLine) {
        EndLine(terminator);
        charBase = 0;
    } else {
        charBase += pieceChars;
        // A line too long for one piece is written as it goes, to keep memory bounded.
        if (buffer.size() >= kFlushBytes)
            Flush();
    }
    pieceChars = 0;
}

bool LineFormatter::Flush()
{
    if (!buffer.empty()) {
        std::fwrite(buffer.data(), 1, buffer.size(), out);
        buffer.clear();
    }
    return std::ferror(out) == 0;
}

void LineFormatter::AppendText(const char* bytes, size_t length)
{
    if (outputEncoding == Encoding::Unknown || outputEncoding == encoding)
        buffer.append(bytes, length);
    else if (outputEncoding == Encoding::Utf8)
        TextCodec::Instance().AppendAsUtf8(buffer, bytes, length, encoding);
    else
        replaced += TextCodec::Instance().AppendUtf8AsGbk(buffer, bytes, length);
}

size_t LineFormatter::CharCount(const char* bytes, size_t length) const
{
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
    size_t chars = 0;
    for (size_t i = 0; i < length; ++chars) {
        if (encoding == Encoding::Utf8) {
            ++i;
            while (i < length && (s[i] & 0xC0) == 0x80)
                ++i;
        } else {
            i += s[i] >= 0x81 && s[i] <= 0xFE && i + 1 < length ? 2 : 1;
        }
    }
    return chars;
}
