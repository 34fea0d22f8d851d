#ifndef MORV_CPDAT_H
#define MORV_CPDAT_H

#include <cstdint>
#include <string>
#include <vector>

#include "lexicon/HugePageAllocator.h"

// The dictionary: a double-array trie mapping GB2312 words to word ids.
// Layout of a .pdat file (little-endian int32): code table (65536 entries,
// index = character key), highestIndex, wordCount, then entries 0..highestIndex
// as (base, check, value).
class CPDAT {
public:
    struct Entry {
        int32_t base;
        int32_t check;
        int32_t value;
    };
    static constexpr int kKeyCount = 65536;
    // Size of the fixed part of a .pdat file: code table, highestIndex, wordCount.
    static constexpr int64_t kHeaderBytes = int64_t(kKeyCount) * 4 + 8;

    CPDAT();
    virtual ~CPDAT();

    // False when the file cannot be opened or cannot be a dictionary: shorter
    // than kHeaderBytes, a code table no build makes, impossible counts, bytes
    // after the last entry. The trie held before then stays. A file cut inside
    // its entries loads, the missing entries free.
    bool Load(const char* path);
    bool Save(const char* path) const;
    // Builds the trie from a text word list (first token of each line). Words the
    // exclude dictionary knows are skipped; ids start at its word count. Returns the
    // number of words taken (0 when the list cannot be opened).
    int BuildFromWordList(const char* path, const CPDAT* exclude = nullptr);
    // Builds the trie from words in memory; word i gets the id i (of two equal
    // words the later id wins). Returns the number of words.
    int BuildFromWords(const std::vector<std::string>& words);

    int ExactMatch(const char* word) const;
    int ExactMatch(const char* word, int length) const;
    int CharacterWord(int key) const;
    // Byte length of the longest word that prefixes text (0 if none); its value in *value.
    int LongestMatch(const char* text, int* value = nullptr) const;
    // Every prefix word longer than minLength, shortest first; returns the byte
    // length of the longest prefix word (0 if none).
    int AllPrefixMatches(const char* text, std::vector<int>& values, std::vector<int>& lengths,
                         int minLength) const;
    // The walk of AllPrefixMatches over characters already turned into their
    // codes (GetCode): calls onWord(characters, value) for every word that the
    // first `count` codes begin with, shortest first, until onWord returns false.
    // A caller that walks from every position of a text converts each character
    // once instead of once per walk that passes it.
    template <class OnWord> void WalkCodes(const int32_t* codes, int count, OnWord onWord) const
    {
        int64_t base = 0;
        int32_t parent = -2;
        for (int i = 0; i < count; ++i) {
            const int32_t t = StepCode(base, parent, codes[i]);
            if (t < 0)
                return;
            const Entry& e = entries[static_cast<size_t>(t)];
            if (e.base < 0) {
                if (!onWord(i + 1, e.value) || base == t)
                    return; // stopped, or a leaf: nothing can follow
            }
        }
    }
    // Asks for the node a walk over codes[0..depth - 1] reaches at its last
    // step, reading the nodes before it (hints; a walk's first step stays in
    // the cache, its later ones seldom do). Callers walking position after
    // position ask for the second node kAheadFar positions on and the third
    // kAheadNear on, when the second has arrived.
    static constexpr int kAheadFar = 8;
    static constexpr int kAheadNear = 4;
    void PrefetchWalk(const int32_t* codes, int depth) const
    {
        int64_t base = 0;
        int32_t parent = -2;
        for (int i = 0; i + 1 < depth; ++i)
            if (StepCode(base, parent, codes[i]) < 0)
                return;
        const int64_t u = base + codes[depth - 1];
        if (codes[depth - 1] >= 0 && u < lookupLimit)
            __builtin_prefetch(&entries[static_cast<size_t>(u)]);
    }
    // PrefetchWalk for a walk over the first `depth` (at most 3) characters of
    // a NUL-terminated text.
    void PrefetchTextWalk(const char* text, int depth) const;
    // Whether the walk of text (NUL-terminated) gets past its first character:
    // false when no word of two or more characters can prefix it. The byte
    // length of that first character (0 at the NUL) goes to *firstBytes.
    bool WalksPastFirstCharacter(const char* text, int* firstBytes) const;
    // The character keys of every walk of two characters from the root (a
    // path, whether or not a word ends there), as (first << 16 | second):
    // exactly the texts WalksPastFirstCharacter is true for begin with one.
    void TwoCharacterWalks(std::vector<uint32_t>& keys) const;
    int GetWordCount() const { return wordCount; }

    // Read-only views for tests and tools.
    int GetHighestIndex() const { return highestIndex; }
    // Entries allocated. Not part of the file; at least highestIndex + 1 once built or loaded.
    int GetCapacity() const { return capacity; }
    // Code of a character key; -1 for keys no word has (and keys outside 0..65535).
    int GetCode(int key) const
    {
        return (key < 0 || key >= kKeyCount) ? -1 : codeTable[static_cast<size_t>(key)];
    }
    const ModelArray<Entry>& GetEntries() const { return entries; }

private:
    static bool CodesAreSound(const ModelArray<int32_t>& codes);
    // One step of a walk over codes: follows `code` from the node whose children
    // start at `base` and whose index is `parent` (-2 for the root). Returns the
    // index reached (and moves base and parent there), or -1.
    int32_t StepCode(int64_t& base, int32_t& parent, int32_t code) const
    {
        // Only -1 occurs in a built table; any other negative code is damage.
        if (code < 0)
            return -1;
        const int64_t t = base + code;
        if (t >= lookupLimit)
            return -1;
        const Entry& e = entries[static_cast<size_t>(t)];
        if (e.check != parent)
            return -1;
        parent = static_cast<int32_t>(t);
        // In 64 bits, so that a damaged INT_MIN base has a magnitude too.
        base = e.base < 0 ? -int64_t(e.base) : int64_t(e.base);
        return parent;
    }
    // One step of a walk: follows the character with `key` from the node whose
    // children start at `base` and whose index is `parent` (-2 for the root).
    // Returns the index reached, or -1 when there is no transition.
    inline int32_t Step(int64_t& base, int32_t& parent, int key) const;
    template <class OnWord> int WalkPrefixes(const char* text, OnWord onWord) const;
    // Lays out the trie of words stored back to back in `words` (word w spans
    // wordStart[w] .. wordStart[w + 1]) with the ids wordIds.
    int Build(std::string& words, const std::vector<size_t>& wordStart, const std::vector<int32_t>& wordIds);

    ModelArray<int32_t> codeTable; // kKeyCount codes, -1 for keys that occur in no word
    ModelArray<Entry> entries;
    int32_t capacity = 0;
    int32_t highestIndex = 0;
    int32_t wordCount = 0;
    // Entries a walk may read: highestIndex + 1 once built or loaded, 0 before.
    int32_t lookupLimit = 0;
    // Key range met by the last build (65536 and 0 before any).
    int32_t lowestKeySeen = kKeyCount;
    int32_t highestKeySeen = 0;
};

#endif
