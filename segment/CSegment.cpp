#include "segment/CSegment.h"

#include <cmath>

#include "lexicon/CBigram.h"
#include "lexicon/CUnigram.h"

CSegment::CSegment(const CPDAT* /*coreDict: the search needs no dictionary*/, const CUnigram* unigram,
                   const CBigram* bigram)
    : unigram(unigram), bigram(bigram), totalFrequency(unigram->GetTotalFrequency()),
      entryCount(unigram->GetEntryCount())
{
}

double CSegment::TransitionScore(int fromId, double fromFrequency, int toId, double toFrequency) const
{
    const double pairFrequency = bigram->PairFrequency(fromId, toId);
    const double p = (1.0 - lambda) * (toFrequency + 0.5) / (totalFrequency + 0.5 * entryCount) +
                     lambda * (pairFrequency + 0.00001) / (fromFrequency + 0.00001 * entryCount);
    return std::log(p);
}

int CSegment::Segment(TokenRecord* const* lattice, int slotCount, const int* slotSizes, int atomCount)
{
    count = 0;
    if (lattice == nullptr || slotCount < 2 || atomCount < 2)
        return 0;

    // One score and back-reference per candidate, laid out slot after slot.
    slotFirst.resize(static_cast<size_t>(slotCount) + 1);
    int total = 0;
    for (int s = 0; s < slotCount; ++s) {
        slotFirst[static_cast<size_t>(s)] = total;
        total += lattice[s] != nullptr ? slotSizes[s] : 0;
    }
    slotFirst[static_cast<size_t>(slotCount)] = total;
    best.assign(static_cast<size_t>(total), 0.0);
    back.assign(static_cast<size_t>(total), -1);
    // A candidate without a scored successor has no score; -2 marks it.
    constexpr int kNoScore = -2;

    const int last = slotCount - 1;
    if (lattice[last] == nullptr || slotSizes[last] < 1)
        return 0;
    // Per candidate, the unigram term of a transition into it, and the bigram term
    // of a transition out of it to a word it was never seen with: the same
    // operations as TransitionScore, done once per candidate instead of per edge.
    unigramTerm.resize(static_cast<size_t>(total));
    const double unigramDenominator = totalFrequency + 0.5 * entryCount;
    const double smoothedVocabulary = 0.00001 * entryCount;
    TokenRecord& endMarker = lattice[last][0];
    endMarker.frequency = unigram->Frequency(endMarker.wordId);
    best[static_cast<size_t>(slotFirst[last])] = 0.0;
    back[static_cast<size_t>(slotFirst[last])] = -1;
    unigramTerm[static_cast<size_t>(slotFirst[last])] =
        (1.0 - lambda) * (endMarker.frequency + 0.5) / unigramDenominator;

    for (int s = last - 1; s >= 0; --s) {
        if (lattice[s] == nullptr)
            continue;
        for (int k = 0; k < slotSizes[s]; ++k) {
            TokenRecord& c = lattice[s][k];
            const size_t ck = static_cast<size_t>(slotFirst[s] + k);
            // A word whose source gave it a frequency (a run-time user word) keeps it.
            if (!(c.flags & kFlagPresetFrequency))
                c.frequency = unigram->Frequency(c.wordId);
            unigramTerm[ck] = (1.0 - lambda) * (c.frequency + 0.5) / unigramDenominator;
            back[ck] = kNoScore;
            const int next = c.end + 1;
            if (next <= s || next > last || lattice[next] == nullptr)
                continue;
            const double bigramDenominator = c.frequency + smoothedVocabulary;
            const double unseenPairTerm = lambda * (0.0 + 0.00001) / bigramDenominator;
            for (int j = 0; j < slotSizes[next]; ++j) {
                const size_t dj = static_cast<size_t>(slotFirst[next] + j);
                if (back[dj] == kNoScore)
                    continue;
                const TokenRecord& d = lattice[next][j];
                const int pair = bigram->PairFrequency(c.wordId, d.wordId);
                const double bigramTerm =
                    pair == 0 ? unseenPairTerm : lambda * (pair + 0.00001) / bigramDenominator;
                double v = std::log(unigramTerm[dj] + bigramTerm) + best[dj];
                if (extraEntry != nullptr) {
                    double extra = extraEntry[dj];
                    if (extraLast[ck] < 4 && extraFirst[dj] < 4)
                        extra += extraTransitions[extraLast[ck] * 4 + extraFirst[dj]];
                    v += extraWeight * extra;
                }
                // The first successor sets the score; a later one must be strictly better,
                // so on equal scores the atom beats the longer dictionary words.
                if (back[ck] == kNoScore || v > best[ck]) {
                    best[ck] = v;
                    back[ck] = j;
                }
            }
        }
    }

    items.assign(static_cast<size_t>(atomCount), TokenRecord());
    if (lattice[0] == nullptr || slotSizes[0] < 1)
        return 0;
    items[0] = lattice[0][0];
    count = 1;
    int i = back[static_cast<size_t>(slotFirst[0])];
    int slot = items[0].end + 1;
    while (i >= 0 && count < atomCount && slot > 0 && slot <= last) {
        const TokenRecord& token = lattice[slot][i];
        items[static_cast<size_t>(count++)] = token;
        i = back[static_cast<size_t>(slotFirst[slot] + i)];
        slot = token.end + 1;
    }
    return count;
}
