#include "engine/CPageWriter.h"

#include <cstdio>
#include <cstring>

#include "engine/CTagSet.h"
#include "engine/EngineText.h"
#include "engine/TextCodec.h"

namespace {

// The page goes to its file in blocks of about this size.
constexpr size_t kPageBlock = 64 * 1024;

// Token formats of the result page; each token is T0, then one of these around
// its text, then the tag name (S1) and the separator (S2).
// Pieces of markup with their lengths, so that appending one needs no strlen.
struct Piece {
    const char* text;
    size_t size;
};
template <size_t N> constexpr Piece P(const char (&text)[N]) { return Piece{text, N - 1}; }
constexpr Piece kT0 = P("<font face=\"\xBF\xAC\xCC\xE5_GB2312\""); // 楷体_GB2312
struct TokenFormat {
    Piece open;
    Piece close;
};
const TokenFormat kNumeral = {P(" color=\"#800000\"><i>"), P("</i></font></font>")};
const TokenFormat kPerson = {P(" color=\"#FF0000\"><i>"), P("</i></font></font>")};
const TokenFormat kPlace = {P(" color=\"FF99FF\"><i>"), P("</i></font></font>")};
const TokenFormat kOrganization = {P(" color=\"FF00FF\"><i>"), P("</i></font></font>")};
const TokenFormat kTime = {P(" color=\"C0C0C0\"><i>"), P("</i></font></font>")};
const TokenFormat kString = {P(" color=\"00FFFF\"><i>"), P("</i></font></font>")};
const TokenFormat kUserWord = {P(" color=\"#0000FF\"><u>"), P("</u></font></font>")};
const TokenFormat kPlain = {P(">"), P("</font>")};
// By Entity: the entities' colours.
const TokenFormat* const kEntityFormats[] = {&kPlain, &kNumeral, &kPerson, &kPlace, &kOrganization, &kTime, &kString};
const char* const kS1Open = "<font face=\"Times New Roman\" color=\"#0000FF\">/";
const char* const kS1Close = "</font>";
const char* const kS2 = "  ";
constexpr Piece kP1 = P("</p><p>");
inline void Append(std::string& out, Piece piece) { out.append(piece.text, piece.size); }

} // namespace

void CPageWriter::SetModels(const CTagSet* tags, const SpecialWords& words)
{
    tagSet = tags;
    ids = words;
    entityWords = EntityWords(words);
    for (std::string& s : tagSuffix)
        s.clear();
}

void CPageWriter::ToFile(std::FILE* target)
{
    file = target;
    out = &buffer;
    buffer.clear();
    writeFailed = false;
    originals = nullptr;
}

void CPageWriter::ToString(std::string& target, const EngineText* text)
{
    file = nullptr;
    out = &target;
    originals = text;
    nextOriginal = 0;
}

void CPageWriter::Flush()
{
    if (file != nullptr && !buffer.empty() && std::fwrite(buffer.data(), 1, buffer.size(), file) != buffer.size())
        writeFailed = true;
    buffer.clear();
}

void CPageWriter::AppendEscaped(std::string& out, const char* text, size_t length)
{
    // Token text is copied byte for byte but for the characters that would
    // break the page or inject markup, wherever they stand. A GBK character is
    // copied whole (no trail byte is one of those characters); a byte of 0x80
    // or more that no trail byte completes becomes U+FFFD, so that no reader's
    // decoder can take the page's next byte into it.
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t run = 0; // bytes copied as they are, not yet appended
    for (size_t i = 0; i < length; ++i) {
        const char* entity = nullptr;
        if (bytes[i] >= 0x80) {
            if (i + 1 < length && TextCodec::IsGbkTrail(bytes[i + 1])) {
                ++i;
                run += 2;
                continue;
            }
            entity = "&#xFFFD;";
        } else {
            switch (bytes[i]) {
            case '<': entity = "&lt;"; break;
            case '>': entity = "&gt;"; break;
            case '&': entity = "&amp;"; break;
            case '"': entity = "&quot;"; break;
            case '\'': entity = "&#39;"; break;
            default: ++run; continue;
            }
        }
        out.append(text + i - run, run);
        run = 0;
        out += entity;
    }
    out.append(text + length - run, run);
}

void CPageWriter::AppendText(std::string& page, const char* text, size_t length)
{
    // The placeholders in order: each sentence's tokens are written once, in
    // the text's order, so the next placeholder is never behind this token.
    const std::vector<uint32_t>& at = originals->SubstitutedOffsets();
    const std::vector<uint32_t>& codes = originals->Substitutions();
    const size_t start = static_cast<size_t>(text - originals->Text());
    // Characters rewritten for the analysis (traditional ones read as
    // simplified) are written as the caller gave them.
    text = originals->Unrewritten() + start;
    size_t done = 0;
    for (; nextOriginal < at.size() && at[nextOriginal] < start + length; ++nextOriginal) {
        if (at[nextOriginal] < start + done)
            continue;
        if (at[nextOriginal] + 2 > start + length)
            break; // not a whole character of this token (no sound text has one)
        const size_t offset = at[nextOriginal] - start;
        AppendEscaped(page, text + done, offset - done);
        const uint32_t code = codes[nextOriginal];
        if (code == EngineText::kOwnBytes) {
            page.append(text + offset, 2);
        } else {
            char reference[16];
            std::snprintf(reference, sizeof reference, "&#x%X;", static_cast<unsigned>(code));
            page += reference;
        }
        done = offset + 2;
    }
    AppendEscaped(page, text + done, length - done);
}

const std::string& CPageWriter::TagSuffix(int tag)
{
    const size_t code = static_cast<uint8_t>(tag);
    // Never empty once made: it holds at least the separator.
    if (tagSuffix[code].empty()) {
        // The markup after a token: its tag name (escaped; a tag without a name
        // in the tag set shows as an empty name) and the separator. Made once
        // per tag: the tag set does not change under a writer.
        std::string suffix = kS1Open;
        const char* name = tagSet != nullptr ? tagSet->GetName(tag) : nullptr;
        if (name != nullptr)
            AppendEscaped(suffix, name, std::strlen(name));
        suffix += kS1Close;
        suffix += kS2;
        tagSuffix[code] = std::move(suffix);
    }
    return tagSuffix[code];
}

void CPageWriter::WriteTokens(const char* sentence, TokenRecord* items, int count)
{
    if (items == nullptr || (out == &buffer && file == nullptr))
        return;
    std::string& page = *out;
    int i = 1;
    while (i < count - 1) {
        TokenRecord& token = items[i];
        int step = 1;
        int length = token.end - token.start;
        // "一" followed by a doubled one-character token reads as one numeral (一个个).
        if (token.wordId == ids.one && ids.one >= 0 && i + 2 < count &&
            items[i + 1].end == items[i + 1].start + 2 && items[i + 1].wordId == items[i + 2].wordId) {
            length = items[i + 2].end - token.start;
            token.wordId = ids.unknownNumber;
            token.tag = kTagNumeral;
            step = 3;
        }
        if (length < 0)
            length = 0;

        const Entity entity = EntityOf(token, entityWords);
        const TokenFormat* format = entity != Entity::kNone    ? kEntityFormats[static_cast<int>(entity)]
                                    : token.kind == kKindUserWord ? &kUserWord
                                                                  : &kPlain;
        Append(page, kT0);
        Append(page, format->open);
        if (originals == nullptr)
            AppendEscaped(page, sentence + token.start, static_cast<size_t>(length));
        else
            AppendText(page, sentence + token.start, static_cast<size_t>(length));
        Append(page, format->close);

        if (token.kind == kKindLineBreak) {
            const char first = length > 0 ? sentence[token.start] : '\0';
            if (first == '\n' || first == '\r')
                Append(page, kP1);
        } else {
            page += TagSuffix(token.tag);
        }
        i += step;
    }
    if (out == &buffer && buffer.size() >= kPageBlock)
        Flush();
}
