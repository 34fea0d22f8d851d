#ifndef MORV_CSUPPLEMENTWORDS_H
#define MORV_CSUPPLEMENTWORDS_H

#include <cstdint>
#include <utility>
#include <vector>

#include "segment/TokenRecord.h"

class CSupplement;

// The supplementary lexicon's stage: finds, in one sentence, the words of the
// supplementary lexicon that begin where an atom begins and end where one
// ends, for the lattice to take them as candidates beside the dictionary's
// words. One per analyser (it keeps its scratch); the lexicon is shared.
class CSupplementWords {
public:
    explicit CSupplementWords(const CSupplement* lexicon) : lexicon(lexicon) {}
    virtual ~CSupplementWords() = default;

    // The candidates of the sentence `text` (NUL-terminated at or after its
    // `length` bytes) whose atoms are `atoms` (markers included, as the
    // pre-processor made them), in start order, shortest first. A word that
    // overlaps one of the protected byte spans [first, second) is left out.
    // Each candidate has flag kFlagSupplementWord, the list's tag as fixedTag
    // (255 when it has none), the kind of the atom it begins with, and either
    // the word id classWordId with no frequency of its own (classWordId >= 0),
    // or no word id and its frequency preset.
    const std::vector<TokenRecord>& Find(const char* text, int length, const std::vector<TokenRecord>& atoms,
                                         const std::vector<std::pair<int, int>>& protectedSpans,
                                         int32_t classWordId);
    // The supplementary lexicon's frequency of the word of the last Find that
    // spans [start, end); 0 when there is none.
    float FrequencyOf(int start, int end) const;

private:
    const CSupplement* lexicon;
    std::vector<TokenRecord> words;
    std::vector<float> frequencies;
    std::vector<uint8_t> atomEnds; // 1 at every byte offset where an atom ends
    std::vector<int> indices;
    std::vector<int> lengths;
};

#endif
