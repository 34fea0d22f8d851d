#include "segment/CSegment.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

#include "lexicon/CBigram.h"
#include "lexicon/CUnigram.h"

CSegment::CSegment(const CPDAT* /*coreDict: the search needs no dictionary*/, const CUnigram* unigram,
                   const CBigram* bigram, const CPairScores* scores)
    : unigram(unigram), bigram(bigram), pairScores(scores)
{
    if (pairScores == nullptr || !pairScores->IsFor(unigram, bigram)) {
        ownScores.reset(new CPairScores(*unigram, *bigram));
        pairScores = ownScores.get();
    }
}

double CSegment::TransitionScore(int fromId, double fromFrequency, int toId, double toFrequency) const
{
    const CPairScores::Terms& terms = pairScores->GetTerms();
    const double pairFrequency = bigram->PairFrequency(fromId, toId);
    return std::log(terms.Unigram(toFrequency) +
                    CPairScores::Terms::Bigram(pairFrequency, terms.BigramDenominator(fromFrequency)));
}

template <class Visit>
void CSegment::ForEachCandidate(TokenRecord* const* lattice, int last, const int* slotSizes, bool fromLast,
                                Visit visit) const
{
    for (int i = 0; i < last; ++i) {
        const int s = fromLast ? last - 1 - i : i;
        TokenRecord* const slot = lattice[s];
        if (slot == nullptr)
            continue;
        const size_t slotBase = static_cast<size_t>(slotFirst[static_cast<size_t>(s)]);
        const int size = slotSizes[s];
        for (int k = 0; k < size; ++k)
            visit(s, slot[k], slotBase + static_cast<size_t>(k));
    }
}

int CSegment::Segment(TokenRecord* const* lattice, int slotCount, const int* slotSizes, int atomCount,
                      const ExtraScores* extra)
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
    best.resize(static_cast<size_t>(total));
    back.resize(static_cast<size_t>(total));

    const int last = slotCount - 1;
    if (lattice[last] == nullptr || slotSizes[last] < 1)
        return 0;
    // Per candidate, the unigram term of a transition into it, and the bigram term
    // of a transition out of it to a word it was never seen with: computed once
    // per candidate instead of per edge. A pair the bigram table stores has its
    // whole score in the pair table, unless one of its words has a frequency of
    // its own (a run-time user word).
    using Terms = CPairScores::Terms;
    const Terms& terms = pairScores->GetTerms();
    const double* pairScore = pairScores->Scores();
    unigramTerm.resize(static_cast<size_t>(total));
    TokenRecord& endMarker = lattice[last][0];
    endMarker.frequency = unigram->Frequency(endMarker.wordId);
    const size_t endIndex = static_cast<size_t>(slotFirst[last]);
    unigramTerm[endIndex] = terms.Unigram(endMarker.frequency);

    // The search runs in two passes. First, slot after slot, every candidate's
    // frequency and unigram term and the home slots of its edges' pairs, their
    // keys and scores fetched ahead: those lookups are independent reads
    // scattered over the pair table, issued together so that their cache misses
    // overlap. Then the dynamic programme from the last slot, scoring each edge
    // as it goes (its successors' terms are all known by then).
    edgeFirst.resize(static_cast<size_t>(total) + 1);
    size_t edgeCount = 0;
    ForEachCandidate(lattice, last, slotSizes, false, [&](int s, TokenRecord& c, size_t ck) {
        const CPairScores::Word& word = pairScores->WordOf(c.wordId);
        // A word whose source gave it a frequency (a run-time user word) keeps it.
        if ((c.flags & kFlagPresetFrequency) == 0)
            c.frequency = word.frequency;
        unigramTerm[ck] = terms.Unigram(c.frequency);
        edgeFirst[ck] = edgeCount;
        const int next = c.end + 1;
        if (next <= s || next > last || lattice[next] == nullptr)
            return;
        const size_t first = edgeCount;
        edgeCount += static_cast<size_t>(slotSizes[next]);
        // Grown, never shrunk: after the first long sentences this costs nothing.
        if (edgeHome.size() < edgeCount)
            edgeHome.resize(std::max(edgeCount, 2 * edgeHome.size()));
        const CBigram::RowSlots row = word.row;
        const TokenRecord* successors = lattice[next];
        for (size_t e = first; e < edgeCount; ++e) {
            const uint32_t home = bigram->HomeOf(row, successors[e - first].wordId);
            edgeHome[e] = home;
            __builtin_prefetch(bigram->KeysAt(home));
            __builtin_prefetch(pairScore + (home == CBigram::kNoHome ? 0 : home));
        }
    });
    edgeFirst[endIndex] = edgeCount;
    edgeFirst[static_cast<size_t>(total)] = edgeCount;

    // A candidate without a scored successor has no score; -2 marks it.
    constexpr int kNoScore = -2;
    best[endIndex] = 0.0;
    back[endIndex] = -1;
    // The programme is compiled twice, with and without extra scores, so that
    // the search without them pays nothing for them.
    const auto search = [&](auto withExtra) {
        const float* extraEntry = withExtra ? extra->entry : nullptr;
        const uint8_t* extraFirst = withExtra ? extra->firstLabel : nullptr;
        const uint8_t* extraLast = withExtra ? extra->lastLabel : nullptr;
        const float* extraTransitions = withExtra ? extra->transitions : nullptr;
        const double extraWeight = withExtra ? extra->weight : 0;
        // The label transitions padded with a row and a column of zeros, where
        // every label of 4 and more (and every label without a table) lands, so
        // that an edge adds its transition without a branch.
        double labelScores[5 * 5] = {};
        if (withExtra && extraTransitions != nullptr)
            for (int a = 0; a < 4; ++a)
                for (int b = 0; b < 4; ++b)
                    labelScores[a * 5 + b] = extraTransitions[a * 4 + b];
        ForEachCandidate(lattice, last, slotSizes, true, [&](int, const TokenRecord& c, size_t ck) {
            best[ck] = 0.0;
            back[ck] = kNoScore;
            const size_t first = edgeFirst[ck], stop = edgeFirst[ck + 1];
            if (first == stop)
                return;
            const bool fromPreset = (c.flags & kFlagPresetFrequency) != 0;
            const CBigram::RowSlots row = pairScores->WordOf(c.wordId).row;
            const double bigramDenominator = terms.BigramDenominator(c.frequency);
            const double unseenPairTerm = Terms::Bigram(0.0, bigramDenominator);
            const TokenRecord* successors = lattice[c.end + 1];
            const size_t nextBase = static_cast<size_t>(slotFirst[c.end + 1]);
            const uint32_t* home = edgeHome.data() + first;
            // The label row of this candidate's transitions.
            const double* transitionRow =
                withExtra ? labelScores + 5 * std::min<int>(extraLast[ck], 4) : nullptr;
            const int successorCount = static_cast<int>(stop - first);
            double bestScore = 0.0;
            int bestIndex = kNoScore;
            for (int j = 0; j < successorCount; ++j) {
                const size_t dj = nextBase + static_cast<size_t>(j);
                if (back[dj] == kNoScore)
                    continue;
                const TokenRecord& d = successors[j];
                const int32_t pairSlot = bigram->FindFrom(home[j], row, d.wordId);
                double transition;
                if (pairSlot < 0) {
                    transition = Log(unigramTerm[dj] + unseenPairTerm);
                } else if (!fromPreset && (d.flags & kFlagPresetFrequency) == 0) {
                    transition = pairScore[pairSlot];
                } else {
                    const int pair = bigram->SlotFrequency(static_cast<size_t>(pairSlot));
                    transition = Log(unigramTerm[dj] +
                                          (pair == 0 ? unseenPairTerm : Terms::Bigram(pair, bigramDenominator)));
                }
                double v = transition + best[dj];
                if (withExtra) {
                    const double added = double(extraEntry[dj]) + transitionRow[std::min<int>(extraFirst[dj], 4)];
                    v += extraWeight * added;
                }
                // The first successor sets the score; a later one must be strictly better,
                // so on equal scores the atom beats the longer dictionary words.
                const bool better = (bestIndex == kNoScore) | (v > bestScore);
                bestScore = better ? v : bestScore;
                bestIndex = better ? j : bestIndex;
            }
            best[ck] = bestScore;
            back[ck] = bestIndex;
        });
    };
    if (extra != nullptr && extra->entry != nullptr)
        search(std::true_type());
    else
        search(std::false_type());

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
