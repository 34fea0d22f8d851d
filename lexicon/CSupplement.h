#ifndef MORV_CSUPPLEMENT_H
#define MORV_CSUPPLEMENT_H

#include <cstdint>
#include <memory>
#include <vector>

#include "lexicon/CPDAT.h"
#include "lexicon/GbkChar.h"

// The supplementary lexicon: words of a modern word list that the core
// dictionary lacks, each with a frequency on the training corpus's scale and a
// tag. Two files: Supplement.pdat, a trie in the dictionary's layout whose
// word i has the value i, and Supplement.tab:
//   magic "MSUP", version (uint32, 1), word count N (uint32), reserved (0),
//   N frequencies (float32, finite, > 0, at most kMaxFrequency),
//   N tag codes (uint8; 255: the tagger chooses).
// Read-only once loaded; shared by every analyser of a model.
class CSupplement {
public:
    static constexpr char kMagic[5] = "MSUP";
    static constexpr uint32_t kVersion = 1;
    static constexpr int kHeaderBytes = 16;
    static constexpr float kMaxFrequency = 1e9f;
    // A word count beyond this is damage (the lists hold a few hundred thousand).
    static constexpr uint32_t kMaxWords = 1u << 24;
    static constexpr uint8_t kNoTag = 255;

    CSupplement() = default;
    virtual ~CSupplement() = default;

    // Loads both files; false, keeping what was held, when either cannot be
    // read, is damaged or truncated, or the two disagree (word counts, a word
    // whose value names no table row). On failure *tableFailed (when given)
    // says whether the table is to blame (true) or the trie.
    bool Load(const char* triePath, const char* tablePath, bool* tableFailed = nullptr);
    bool IsLoaded() const { return loaded; }
    int GetWordCount() const { return static_cast<int>(frequencies.size()); }

    // Every supplementary word that prefixes text (NUL-terminated) and is at
    // most maxLength bytes long, shortest first: its index and byte length.
    void Matches(const char* text, int maxLength, std::vector<int>& indices, std::vector<int>& lengths) const;
    // Whether some word longer than `bytes` bytes may prefix text
    // (NUL-terminated); false only when none does. Two trie steps at most, so
    // that a caller can pass over the many starts where Matches finds nothing
    // it keeps.
    // Answered from a bitmap of the trie's walks of two characters (hashed:
    // a stray bit only costs a Matches that finds nothing longer), so that
    // most starts cost one load instead of two trie steps.
    bool MayMatchBeyond(const char* text, int bytes) const
    {
        if (!loaded || text == nullptr)
            return false;
        const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
        int first = 0, second = 0;
        const int32_t a = gbkchar::KeyInText(s, &first);
        if (first > bytes)
            return true;
        if (a < 0)
            return false;
        const int32_t b = gbkchar::KeyInText(s + first, &second);
        if (b < 0)
            return false;
        const uint32_t bit = WalkBit(uint32_t(a) << 16 | uint32_t(b));
        return (walkBits[bit >> 6] >> (bit & 63)) & 1;
    }
    // Asks for the trie nodes of a later Matches at text (a hint).
    void Prefetch(const char* text, int depth) const
    {
        if (loaded)
            trie->PrefetchTextWalk(text, depth);
    }
    // The frequency and tag of word `index` (0 <= index < GetWordCount()).
    float Frequency(int index) const { return frequencies[static_cast<size_t>(index)]; }
    uint8_t Tag(int index) const { return tags[static_cast<size_t>(index)]; }

private:
    // The bit of a walk of two characters (keys first << 16 | second).
    uint32_t WalkBit(uint32_t keys) const { return (keys * 0x9E3779B1u) >> (32 - walkBitsLog2); }

    std::unique_ptr<CPDAT> trie;
    std::vector<uint64_t> walkBits; // 2^walkBitsLog2 bits, set for every walk of two characters
    int walkBitsLog2 = 6;
    std::vector<float> frequencies;
    std::vector<uint8_t> tags;
    bool loaded = false;
};

#endif
