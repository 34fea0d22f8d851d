#include "engine/CSymbolTagger.h"

#include <bitset>

#include "engine/CTagSet.h"
#include "engine/TextCodec.h"
#include "lexicon/GbkChar.h"
#include "tagging/TagCodes.h"

namespace {

struct Range {
    uint32_t first;
    uint32_t last;
};

// White space, punctuation and symbols among the characters GBK holds, in
// ascending order. Left out: units and letter-like signs (° ℃ № ㎏), number
// forms (Ⅻ ①), marks that are part of words (々 〆 〇, and ○, which writes a
// zero in years: 一九九○年).
constexpr Range kSymbols[] = {
    {0x09, 0x0D},     {0x20, 0x2F},     {0x3A, 0x40},     {0x5B, 0x60},     {0x7B, 0x7E},
    {0xA0, 0xA9},     {0xAB, 0xAF},     {0xB1, 0xB1},     {0xB4, 0xB4},     {0xB6, 0xB8},
    {0xBB, 0xBB},     {0xBF, 0xBF},     {0xD7, 0xD7},     {0xF7, 0xF7},     {0x2C7, 0x2C7},
    {0x2C9, 0x2CB},   {0x2D9, 0x2D9},   {0x2000, 0x200A}, {0x2010, 0x2027}, {0x202F, 0x205F},
    {0x20A0, 0x20CF}, {0x2190, 0x245F}, {0x2500, 0x25CA}, {0x25CC, 0x2775}, {0x2794, 0x2BFF},
    {0x3000, 0x3004}, {0x3008, 0x3020}, {0x3030, 0x3030}, {0x303D, 0x303F}, {0xFE10, 0xFE19},
    {0xFE30, 0xFE6B}, {0xFF01, 0xFF0F}, {0xFF1A, 0xFF20}, {0xFF3B, 0xFF40}, {0xFF5B, 0xFF65},
    {0xFFE0, 0xFFEE},
};

// IsSymbol of every character key (a byte, or lead x 256 + trail), worked out
// once: most tokens are Chinese words, and their first character would
// otherwise cost a conversion to Unicode and a search of the ranges.
const std::bitset<65536>& SymbolKeys()
{
    static const std::bitset<65536> keys = [] {
        std::bitset<65536> k;
        for (uint32_t c = 0; c < 0x80; ++c)
            k[c] = CSymbolTagger::IsSymbol(c);
        for (uint32_t key = 0x8000; key < 0x10000; ++key)
            k[key] = CSymbolTagger::IsSymbol(TextCodec::Instance().GbkToUnicode(key));
        return k;
    }();
    return keys;
}

} // namespace

CSymbolTagger::CSymbolTagger(const CTagSet* tagSet)
{
    if (tagSet != nullptr)
        symbolTag = tagSet->Code("w");
}

bool CSymbolTagger::IsSymbol(uint32_t cp)
{
    size_t lo = 0, hi = sizeof kSymbols / sizeof kSymbols[0];
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (cp > kSymbols[mid].last)
            lo = mid + 1;
        else if (cp < kSymbols[mid].first)
            hi = mid;
        else
            return true;
    }
    return false;
}

bool CSymbolTagger::IsSymbolText(const char* gbk, int length)
{
    if (gbk == nullptr || length <= 0)
        return false;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(gbk);
    const std::bitset<65536>& symbolKeys = SymbolKeys();
    for (int i = 0; i < length;) {
        int bytes = 1;
        const int32_t key = gbkchar::Key(s, i, length, &bytes);
        if (key < 0)
            return false; // a lone lead byte is no character
        if (!symbolKeys[static_cast<size_t>(key)])
            return false;
        i += bytes;
    }
    return true;
}

void CSymbolTagger::Apply(const char* sentence, TokenRecord* items, int count) const
{
    if (symbolTag < 0 || sentence == nullptr || items == nullptr)
        return;
    for (int i = 1; i + 1 < count; ++i) {
        TokenRecord& t = items[i];
        if (t.fixedTag != kTagNone || t.start < 0 || t.end <= t.start)
            continue;
        if (t.tag != symbolTag && IsSymbolText(sentence + t.start, t.end - t.start))
            t.tag = static_cast<uint8_t>(symbolTag);
    }
}

void CSymbolTagger::ApplyToParts(const char* sentence, TokenPart* parts, size_t count) const
{
    if (symbolTag < 0 || sentence == nullptr || parts == nullptr)
        return;
    for (size_t i = 0; i < count; ++i) {
        TokenPart& p = parts[i];
        if (p.start >= 0 && p.end > p.start && IsSymbolText(sentence + p.start, p.end - p.start))
            p.tag = static_cast<uint8_t>(symbolTag);
    }
}
