#include "engine/EngineText.h"

#include <algorithm>

void EngineText::Build(const char* data, size_t size, Encoding enc, bool wantChars)
{
    input = data;
    inputSize = size;
    encoding = enc == Encoding::Utf8 ? Encoding::Utf8 : Encoding::Gbk;
    text.clear();
    unrewritten.clear();
    substituted.clear();
    substitutions.clear();
    if (encoding == Encoding::Utf8) {
        BuildUtf8(wantChars);
    } else {
        inputOffsets.clear();
        charIndices.clear();
        BuildGbk(wantChars);
        charTotal = charIndices.empty() ? 0 : charIndices.back();
    }
}

// Appends one engine character that stands for the input character at inputPos.
void EngineText::Substitute(size_t inputPos, uint32_t code, bool wantChars, size_t chars)
{
    substituted.push_back(static_cast<uint32_t>(text.size()));
    substitutions.push_back(code);
    text += static_cast<char>(kPlaceholderLead);
    text += static_cast<char>(kPlaceholderTrail);
    inputOffsets.push_back(static_cast<uint32_t>(inputPos));
    inputOffsets.push_back(static_cast<uint32_t>(inputPos));
    if (wantChars) {
        charIndices.push_back(static_cast<uint32_t>(chars));
        charIndices.push_back(static_cast<uint32_t>(chars));
    }
}

void EngineText::Keep(size_t inputPos, size_t length, bool wantChars, size_t chars)
{
    text.append(input + inputPos, length);
    for (size_t k = 0; k < length; ++k) {
        inputOffsets.push_back(static_cast<uint32_t>(inputPos));
        if (wantChars)
            charIndices.push_back(static_cast<uint32_t>(chars));
    }
}

void EngineText::BuildGbk(bool wantChars)
{
    const unsigned char* s = reinterpret_cast<const unsigned char*>(input);
    // Most GBK text goes to the engine unchanged: then no offset table is needed.
    bool clean = true;
    for (size_t i = 0; i < inputSize && clean;) {
        const size_t n = TextCodec::GbkUnitLength(s + i, inputSize - i);
        if (s[i] == 0 || (s[i] >= 0x80 && n == 1) ||
            (n == 2 && s[i] == kPlaceholderLead &&
             (s[i + 1] == kPlaceholderTrail || s[i + 1] == kLetterPlaceholderTrail)))
            clean = false;
        i += n;
    }
    identity = clean;
    if (clean) {
        text.assign(input, inputSize);
        if (wantChars) {
            charIndices.reserve(inputSize + 1);
            size_t chars = 0;
            for (size_t i = 0; i < inputSize;) {
                const size_t n = TextCodec::GbkUnitLength(s + i, inputSize - i);
                for (size_t k = 0; k < n; ++k)
                    charIndices.push_back(static_cast<uint32_t>(chars));
                ++chars;
                i += n;
            }
            charIndices.push_back(static_cast<uint32_t>(chars));
        }
        return;
    }
    text.reserve(inputSize + 16);
    inputOffsets.reserve(inputSize + 17);
    size_t chars = 0;
    for (size_t i = 0; i < inputSize; ++chars) {
        const size_t n = TextCodec::GbkUnitLength(s + i, inputSize - i);
        if (s[i] == 0)
            Substitute(i, TextCodec::kReplacement, wantChars, chars);
        else if (s[i] >= 0x80 && n == 1) // a lead byte without its trail: keep the next character whole
            Substitute(i, TextCodec::kReplacement, wantChars, chars);
        else if (n == 2 && s[i] == kPlaceholderLead &&
                 (s[i + 1] == kPlaceholderTrail || s[i + 1] == kLetterPlaceholderTrail))
            Substitute(i, kOwnBytes, wantChars, chars);
        else
            Keep(i, n, wantChars, chars);
        i += n;
    }
    inputOffsets.push_back(static_cast<uint32_t>(inputSize));
    if (wantChars)
        charIndices.push_back(static_cast<uint32_t>(chars));
}

void EngineText::BuildUtf8(bool wantChars)
{
    const TextCodec& codec = TextCodec::Instance();
    const unsigned char* s = reinterpret_cast<const unsigned char*>(input);
    identity = false;
    // No input character becomes more than two engine bytes, so the arrays are sized
    // once and written through pointers. The two tables are only grown, never
    // shrunk: every entry up to the text's end is written below, and a resize
    // after a shrink would zero them all again first, for every piece.
    text.resize(2 * inputSize);
    if (inputOffsets.size() < 2 * inputSize + 1)
        inputOffsets.resize(2 * inputSize + 1);
    if (wantChars && charIndices.size() < 2 * inputSize + 1)
        charIndices.resize(2 * inputSize + 1);
    char* t = &text[0];
    uint32_t* offsets = inputOffsets.data();
    uint32_t* chars = wantChars ? charIndices.data() : nullptr;
    size_t g = 0;
    uint32_t ch = 0;
    auto put = [&](unsigned code, size_t from, size_t bytes) {
        if (bytes == 1) {
            t[g] = static_cast<char>(code);
        } else {
            t[g] = static_cast<char>(code >> 8);
            t[g + 1] = static_cast<char>(code & 0xFF);
        }
        for (size_t k = 0; k < bytes; ++k) {
            offsets[g + k] = static_cast<uint32_t>(from);
            if (chars != nullptr)
                chars[g + k] = ch;
        }
        g += bytes;
    };
    auto substitute = [&](size_t from, uint32_t code) {
        substituted.push_back(static_cast<uint32_t>(g));
        substitutions.push_back(code);
        put(kPlaceholderLead << 8 | (IsHangul(code) ? kLetterPlaceholderTrail : kPlaceholderTrail), from, 2);
    };
    for (size_t i = 0; i < inputSize; ++ch) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            if (b == 0)
                substitute(i, TextCodec::kReplacement);
            else
                put(b, i, 1);
            ++i;
            continue;
        }
        uint32_t cp;
        int n;
        // Most Chinese text is three-byte sequences led by E1-EC or EE-EF, which
        // need no range checks beyond their continuation bytes.
        if (((b >= 0xE1 && b <= 0xEC) || b >= 0xEE) && b <= 0xEF && i + 2 < inputSize &&
            (s[i + 1] & 0xC0) == 0x80 && (s[i + 2] & 0xC0) == 0x80) {
            cp = (b & 0x0Fu) << 12 | (s[i + 1] & 0x3Fu) << 6 | (s[i + 2] & 0x3Fu);
            n = 3;
        } else {
            n = TextCodec::DecodeUtf8(s + i, inputSize - i, &cp);
        }
        if (n <= 0) {
            substitute(i, TextCodec::kReplacement);
            ++i;
            continue;
        }
        const unsigned code = codec.UnicodeToGbk(cp);
        if (code == 0 || code == (kPlaceholderLead << 8 | kPlaceholderTrail) ||
            code == (kPlaceholderLead << 8 | kLetterPlaceholderTrail))
            substitute(i, cp);
        else
            put(code, i, 2);
        i += static_cast<size_t>(n);
    }
    offsets[g] = static_cast<uint32_t>(inputSize);
    if (chars != nullptr)
        chars[g] = ch;
    text.resize(g);
    charTotal = wantChars ? ch : 0;
}

bool EngineText::IsHangul(uint32_t cp)
{
    // Jamo, compatibility jamo, the extended jamo and the syllables.
    return (cp >= 0x1100 && cp <= 0x11FF) || (cp >= 0x3130 && cp <= 0x318F) || (cp >= 0xA960 && cp <= 0xA97F) ||
           (cp >= 0xAC00 && cp <= 0xD7FF);
}

void EngineText::Rewrite(size_t g, unsigned code)
{
    if (g + 1 >= text.size())
        return;
    if (unrewritten.empty())
        unrewritten = text;
    text[g] = static_cast<char>(code >> 8);
    text[g + 1] = static_cast<char>(code & 0xFF);
}

bool EngineText::IsPlaceholdersOnly(size_t begin, size_t end) const
{
    if (substituted.empty() || end <= begin || (end - begin) % 2 != 0)
        return false;
    const auto first = std::lower_bound(substituted.begin(), substituted.end(), begin);
    const auto last = std::lower_bound(substituted.begin(), substituted.end(), end);
    return static_cast<size_t>(last - first) * 2 == end - begin;
}
