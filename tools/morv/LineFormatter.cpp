#include "tools/morv/LineFormatter.h"

#include <cstring>

#include "engine/CTagSet.h"
#include "segment/TokenRecord.h"

LineFormatter::LineFormatter(std::FILE* out, const CTagSet* tagSet) : out(out)
{
    // Every name in both encodings up front: a token then costs an index.
    for (int code = 0; code < 256; ++code) {
        const char* name = tagSet != nullptr ? tagSet->GetName(code) : nullptr;
        if (name == nullptr)
            name = "?";
        names[0][code] = name;
        TextCodec::Instance().AppendAsUtf8(names[1][code], name, std::strlen(name), Encoding::Gbk);
        if (symbolTag < 0 && code < 255 && std::strcmp(name, "w") == 0)
            symbolTag = code;
    }
}

void LineFormatter::BeginPiece(const EngineText& piece, size_t)
{
    encoding = piece.GetEncoding();
}

void LineFormatter::Sentence(const EngineText& piece, const CAnalyzer::Sentence& sentence)
{
    const size_t base = static_cast<size_t>(sentence.text - piece.Text());
    const bool wantChars = NeedsCharacters();
    const char* text = piece.Text();
    for (int i = 1; i < sentence.count - 1; ++i) {
        const TokenRecord& token = sentence.items[i];
        if (token.start < 0 || token.end <= token.start)
            continue;
        const size_t g0 = base + static_cast<size_t>(token.start);
        const size_t g1 = base + static_cast<size_t>(token.end);
        if (g1 > piece.Length())
            continue;
        // Line breaks end the output line instead of appearing in it.
        if (token.kind == kKindLineBreak) {
            bool breaksOnly = true;
            for (size_t g = g0; g < g1 && breaksOnly; ++g)
                breaksOnly = text[g] == '\n' || text[g] == '\r';
            if (breaksOnly)
                continue;
        }
        const size_t b0 = piece.InputOffset(g0);
        const size_t b1 = piece.InputOffset(g1);
        if (b1 <= b0)
            continue;
        Word word;
        word.bytes = piece.Input() + b0;
        word.length = b1 - b0;
        word.split = 0;
        if (sentence.nameSplits != nullptr && sentence.nameSplits[i] > token.start &&
            sentence.nameSplits[i] < token.end) {
            const size_t bs = piece.InputOffset(base + static_cast<size_t>(sentence.nameSplits[i]));
            if (bs > b0 && bs < b1)
                word.split = bs - b0;
        }
        word.charBegin = wantChars ? charBase + piece.CharIndex(g0) : 0;
        word.charEnd = wantChars ? charBase + piece.CharIndex(g1) : 0;
        uint8_t tag = token.tag;
        if (symbolTag >= 0 && piece.IsPlaceholdersOnly(g0, g1))
            tag = static_cast<uint8_t>(symbolTag);
        word.tag = &names[encoding == Encoding::Utf8 ? 1 : 0][tag];
        word.tagUtf8 = &names[1][tag];
        Emit(word);
    }
}

void LineFormatter::FinishPiece(const EngineText& piece, bool endsLine, const char* terminator)
{
    if (endsLine) {
        EndLine(terminator);
        charBase = 0;
    } else {
        charBase += piece.CharCount();
        // A line too long for one piece is written as it goes, to keep memory bounded.
        if (buffer.size() >= kFlushBytes)
            Flush();
    }
}

bool LineFormatter::Flush()
{
    if (!buffer.empty()) {
        std::fwrite(buffer.data(), 1, buffer.size(), out);
        buffer.clear();
    }
    return std::ferror(out) == 0;
}
