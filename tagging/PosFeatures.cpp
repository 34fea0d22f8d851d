#include "tagging/PosFeatures.h"

#include <algorithm>

#include "lexicon/GbkChar.h"
#include "segment/TokenRecord.h"

namespace {

// Coarse classes of a character for the shape feature.
enum CharClass : uint32_t {
    kHan = 0,
    kDigit = 1,
    kLetter = 2,
    kSign = 3,     // punctuation, blanks, ASCII signs
    kSymbol = 4,   // other non-Chinese two-byte characters, lone lead bytes
    kNumeral = 5,  // Chinese numerals and magnitudes
    kDateUnit = 6, // 年 月 日
    kNoChar = 7,
};

uint32_t ClassOf(int32_t key)
{
    if (key < 0)
        return kNoChar;
    if (key < 0x80) {
        if (key >= '0' && key <= '9')
            return kDigit;
        if ((key >= 'A' && key <= 'Z') || (key >= 'a' && key <= 'z'))
            return kLetter;
        return kSign;
    }
    if (key < 0x100)
        return kSymbol;
    const int lead = key >> 8, trail = key & 0xFF;
    if (lead == 0xA3) {
        if (trail >= 0xB0 && trail <= 0xB9)
            return kDigit;
        if ((trail >= 0xC1 && trail <= 0xDA) || (trail >= 0xE1 && trail <= 0xFA))
            return kLetter;
        return kSign;
    }
    if (lead == 0xA1)
        return kSign;
    if (lead < 0xB0)
        return kSymbol;
    switch (key) {
    case 0xC1E3: case 0xD2BB: case 0xB6FE: case 0xC8FD: case 0xCBC4: case 0xCEE5: case 0xC1F9: case 0xC6DF:
    case 0xB0CB: case 0xBEC5: case 0xCAAE: case 0xB0D9: case 0xC7A7: case 0xCDF2: case 0xD2DA: case 0xC1BD:
        return kNumeral; // 零 一 二 三 四 五 六 七 八 九 十 百 千 万 亿 两
    case 0xC4EA: case 0xD4C2: case 0xC8D5:
        return kDateUnit; // 年 月 日
    default:
        return kHan;
    }
}

} // namespace

uint32_t PosFeatures::LexClass(const CPosLexicon::Entry* entries, int entryCount)
{
    // The lexicon's tags in its order (most frequent first), the first four:
    // the ambiguity class of a known word, one class of its own for a word the
    // lexicon lacks.
    uint32_t h = 2166136261u;
    const int listed = entries != nullptr ? std::max(0, std::min(entryCount, 4)) : 0;
    for (int i = 0; i < listed; ++i) {
        h ^= entries[i].tag;
        h *= 16777619u;
    }
    return h ^ static_cast<uint32_t>(listed);
}

void PosFeatures::DescribeText(const char* text, int length, const TokenRecord& token, int entryCount, TokenInfo& info)
{
    const int start = std::max(0, std::min(token.start, length));
    const int end = std::max(start, std::min(token.end, length));
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    int chars = 0;
    int32_t before = -1, key = -1;
    info.first = -1;
    info.prefix = info.suffix = 0;
    info.twoChars = false;
    for (int i = start; i < end && p != nullptr;) {
        // Characters as the engine cuts them; a token never ends inside one.
        int bytes;
        const int32_t k = static_cast<int32_t>(gbkchar::TableIndex(gbkchar::Key(p, i, end, &bytes)));
        if (chars == 0)
            info.first = k;
        else if (chars == 1)
            info.prefix = static_cast<uint32_t>(info.first) << 16 | static_cast<uint32_t>(k);
        before = key;
        key = k;
        ++chars;
        i += bytes;
    }
    info.last = key;
    if (chars >= 2) {
        info.twoChars = true;
        info.suffix = static_cast<uint32_t>(before) << 16 | static_cast<uint32_t>(key);
    }
    const uint32_t isNew = (token.flags & kFlagNewWord) != 0;
    info.shape = isNew << 15 | uint32_t(entryCount > 0) << 14 | uint32_t(std::min(chars, 7)) << 8 |
                 ClassOf(info.first) << 4 | ClassOf(info.last);
}

void PosFeatures::Describe(const char* text, int length, const TokenRecord& token, const CPosLexicon::Entry* entries,
                         int entryCount, TokenInfo& info)
{
    info = TokenInfo();
    info.word = token.wordId >= 0 ? token.wordId : -1;
    if (entries == nullptr)
        entryCount = 0;
    info.lexClass = LexClass(entries, entryCount);
    DescribeText(text, length, token, entryCount, info);
}

int PosFeatures::Keys(const TokenInfo* infos, int count, int i, Key* out)
{
    int n = 0;
    auto add = [&](Template t, uint32_t key) { out[n++] = Key{static_cast<uint8_t>(t), key}; };
    const TokenInfo& cur = infos[i];
    const TokenInfo* prev = i > 0 ? &infos[i - 1] : nullptr;
    const TokenInfo* next = i + 1 < count ? &infos[i + 1] : nullptr;
    if (cur.word >= 0)
        add(kWord, static_cast<uint32_t>(cur.word));
    if (!cur.folded) {
        if (cur.first >= 0)
            add(kFirstChar, static_cast<uint32_t>(cur.first));
        if (cur.last >= 0)
            add(kLastChar, static_cast<uint32_t>(cur.last));
        if (cur.twoChars) {
            add(kSuffix, cur.suffix);
            add(kPrefix, cur.prefix);
        }
        add(kLexClass, cur.lexClass);
        add(kShape, cur.shape);
    }
    if (prev != nullptr && prev->word >= 0)
        add(kPrevWord, static_cast<uint32_t>(prev->word));
    if (next != nullptr && next->word >= 0)
        add(kNextWord, static_cast<uint32_t>(next->word));
    if (i > 1 && infos[i - 2].word >= 0)
        add(kPrev2Word, static_cast<uint32_t>(infos[i - 2].word));
    if (i + 2 < count && infos[i + 2].word >= 0)
        add(kNext2Word, static_cast<uint32_t>(infos[i + 2].word));
    if (cur.word >= 0 && prev != nullptr && prev->word >= 0)
        add(kPrevWordPair, Mix(static_cast<uint32_t>(prev->word), static_cast<uint32_t>(cur.word)));
    if (cur.word >= 0 && next != nullptr && next->word >= 0)
        add(kNextWordPair, Mix(static_cast<uint32_t>(cur.word), static_cast<uint32_t>(next->word)));
    if (cur.word >= 0 && prev != nullptr)
        add(kWordPrevClass, Mix(static_cast<uint32_t>(cur.word), prev->lexClass));
    if (cur.word >= 0 && next != nullptr)
        add(kWordNextClass, Mix(static_cast<uint32_t>(cur.word), next->lexClass));
    return n;
}
