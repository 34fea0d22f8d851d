#ifndef MORV_CHMMTAGGER_H
#define MORV_CHMMTAGGER_H

#include <cstdint>
#include <vector>

#include "segment/TokenRecord.h"
#include "tagging/CPosLexicon.h"

class CTagTransitions;

// First-order HMM tagger: Viterbi over each token's lexicon candidates.
class CHmmTagger {
public:
    CHmmTagger(const CPosLexicon* lexicon, const CTagTransitions* transitions,
               double vocabularySize, uint8_t defaultTag);
    virtual ~CHmmTagger() = default;

    // Tags items[0..count-1] in place; always 0.
    int Tag(TokenRecord* items, int count);

private:
    const CPosLexicon* lexicon;
    const CTagTransitions* transitions;
    double vocabularySize;
    CPosLexicon::Entry defaultEntry;
    // Working arrays, kept between sentences so that their capacity is reused.
    std::vector<const CPosLexicon::Entry*> candidates;
    std::vector<int> candidateCounts;
    std::vector<int> firstSlot; // first score slot of each token
    std::vector<double> scores;
    std::vector<int> back;
};

#endif
