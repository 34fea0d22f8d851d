#ifndef MORV_CUSERWORDRUN_H
#define MORV_CUSERWORDRUN_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A run-time word as the analysis sees it.
struct UserWord {
    int32_t wordId;
    int32_t frequency;
    uint8_t tag;
};

// One immutable run of run-time words: distinct texts (GBK) in byte order,
// back to back, each with its word. Lookups walk a text character by character
// (the engine's cut: a byte below 0x80, else two bytes), narrowing the range of
// words that share the part walked so far; a table of where each first
// character's words begin makes the first step a single read in a large run.
// Two runs merge in one pass over both, so a run never needs a trie build.
class CUserWordRun {
public:
    // texts[starts[i] .. starts[i + 1]) is word i; the texts distinct and in
    // byte order (unsigned), starts.size() == words.size() + 1.
    CUserWordRun(std::string texts, std::vector<uint32_t> starts, std::vector<UserWord> words);
    virtual ~CUserWordRun() = default;

    // The words of both, those of newer in place of older's with the same text.
    static std::shared_ptr<const CUserWordRun> Merge(const CUserWordRun& older, const CUserWordRun& newer);

    size_t Size() const { return words.size(); }
    std::string_view Text(size_t i) const
    {
        return std::string_view(texts.data() + starts[i], starts[i + 1] - starts[i]);
    }
    const UserWord& At(size_t i) const { return words[i]; }
    // The word whose text is exactly text, or null.
    const UserWord* Find(std::string_view text) const;
    // Calls onWord(byte length, word) for every word that prefixes the
    // NUL-terminated text and ends at one of its character boundaries,
    // shortest first.
    template <class OnWord> void Walk(const char* text, OnWord onWord) const;

private:
    // Words [*lo, *hi) all begin with text[0 .. depth); keeps those whose next
    // `bytes` bytes are text[depth .. depth + bytes).
    void Narrow(const unsigned char* text, uint32_t depth, uint32_t bytes, size_t* lo, size_t* hi) const;

    std::string texts;
    std::vector<uint32_t> starts;
    std::vector<UserWord> words;
    // For large runs: keyStart[k] is the first word whose first character has
    // a key >= k (keys in byte order: a byte below 0x80, else lead x 256 +
    // trail), 65537 entries; empty for small runs, searched whole instead.
    std::vector<uint32_t> keyStart;
};

template <class OnWord> void CUserWordRun::Walk(const char* text, OnWord onWord) const
{
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    if (words.empty() || s == nullptr || s[0] == 0)
        return;
    size_t lo = 0, hi = words.size();
    uint32_t depth = 0;
    while (s[depth] != 0) {
        const unsigned char c = s[depth];
        // A lead byte before the NUL stands alone and matches nothing.
        if (c >= 0x80 && s[depth + 1] == 0)
            return;
        const uint32_t bytes = c < 0x80 ? 1 : 2;
        if (depth == 0 && !keyStart.empty()) {
            const uint32_t key = bytes == 1 ? c : c * 256u + s[1];
            // The words of a key share its bytes (a word that is a lone lead
            // byte has the key of lead x 256, which no text has).
            lo = keyStart[key];
            hi = keyStart[key + 1];
        } else {
            Narrow(s, depth, bytes, &lo, &hi);
        }
        if (lo >= hi)
            return;
        depth += bytes;
        // Of the words sharing the walked part, the one that is just that part comes first.
        if (starts[lo + 1] - starts[lo] == depth)
            onWord(static_cast<int>(depth), &words[lo]);
    }
}

#endif
