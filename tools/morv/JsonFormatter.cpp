#include "tools/morv/JsonFormatter.h"

#include <cstring>

JsonFormatter::JsonFormatter(std::FILE* out, size_t spillBytes) : LineFormatter(out), spillBytes(spillBytes)
{
}

JsonFormatter::~JsonFormatter()
{
    if (spool != nullptr)
        std::fclose(spool);
}

void JsonFormatter::BeginPiece(const char* piece, size_t size, size_t textLength, Encoding enc)
{
    LineFormatter::BeginPiece(piece, size, textLength, enc);
    TextCodec::Instance().AppendJson(streaming ? buffer : text, piece, textLength, encoding);
    if (streaming)
        Flush();
}

void JsonFormatter::Emit(const Word& word)
{
    if (lineHasTokens)
        tokens += ',';
    lineHasTokens = true;
    tokens += "{\"word\":\"";
    TextCodec::Instance().AppendJson(tokens, word.bytes, word.length, encoding);
    tokens += "\",\"tag\":\"";
    TextCodec::Instance().AppendJson(tokens, word.tag, std::strlen(word.tag), Encoding::Utf8);
    tokens += "\",\"start\":";
    tokens += std::to_string(word.charBegin);
    tokens += ",\"end\":";
    tokens += std::to_string(word.charEnd);
    if (word.sub)
        tokens += ",\"sub\":true";
    if (word.partCount > 0) {
        // A compound's words, with character offsets like the token's.
        tokens += ",\"parts\":[";
        for (size_t k = 0; k < word.partCount; ++k) {
            const morv_part& p = word.parts[k];
            if (p.start < word.pieceStart || p.end > word.pieceStart + word.length || p.end <= p.start)
                continue;
            const char* bytes = word.bytes + (p.start - word.pieceStart);
            const size_t begin = word.charBegin + CharCount(word.bytes, p.start - word.pieceStart);
            tokens += k > 0 ? ",{\"word\":\"" : "{\"word\":\"";
            TextCodec::Instance().AppendJson(tokens, bytes, p.end - p.start, encoding);
            tokens += "\",\"tag\":\"";
            TextCodec::Instance().AppendJson(tokens, p.tag, std::strlen(p.tag), Encoding::Utf8);
            tokens += "\",\"start\":";
            tokens += std::to_string(begin);
            tokens += ",\"end\":";
            tokens += std::to_string(begin + CharCount(bytes, p.end - p.start));
            tokens += '}';
        }
        tokens += ']';
    }
    tokens += '}';
    if (tokens.size() + text.size() >= spillBytes)
        Spill();
}

// Writes the line's head and text so far, and moves the tokens to the spool.
void JsonFormatter::Spill()
{
    if (!streaming) {
        if (spool == nullptr)
            spool = std::tmpfile();
        if (spool == nullptr)
            return; // keep holding the line in memory
        std::rewind(spool);
        buffer += "{\"text\":\"";
        buffer += text;
        text.clear();
        text.shrink_to_fit();
        Flush();
        streaming = true;
    }
    std::fwrite(tokens.data(), 1, tokens.size(), spool);
    tokens.clear();
}

void JsonFormatter::EndLine(const char*)
{
    if (!streaming) {
        buffer += "{\"text\":\"";
        buffer += text;
        buffer += "\",\"tokens\":[";
        buffer += tokens;
        buffer += "]}\n";
        text.clear();
        tokens.clear();
        lineHasTokens = false;
        Flush();
        return;
    }
    buffer += "\",\"tokens\":[";
    Flush();
    const long spooled = std::ftell(spool);
    std::rewind(spool);
    char chunk[65536];
    long left = spooled;
    while (left > 0) {
        const size_t want = left < static_cast<long>(sizeof chunk) ? static_cast<size_t>(left) : sizeof chunk;
        const size_t got = std::fread(chunk, 1, want, spool);
        if (got == 0)
            break;
        std::fwrite(chunk, 1, got, out);
        left -= static_cast<long>(got);
    }
    std::rewind(spool);
    buffer += tokens;
    buffer += "]}\n";
    tokens.clear();
    lineHasTokens = false;
    streaming = false;
    Flush();
}
