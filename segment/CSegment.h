#ifndef MORV_CSEGMENT_H
#define MORV_CSEGMENT_H

#include <memory>
#include <vector>

#include "segment/CPairScores.h"
#include "segment/TokenRecord.h"

class CPDAT;
class CUnigram;
class CBigram;

// Best path through a sentence's word lattice under an interpolated word-bigram
// model, found by a backward dynamic programme.
class CSegment {
public:
    // scores: the pair scores of the model the two tables belong to, shared by
    // its analysers; without them (or with those of other tables) the segmenter
    // computes its own.
    CSegment(const CPDAT* coreDict, const CUnigram* unigram, const CBigram* bigram,
             const CPairScores* scores = nullptr);
    virtual ~CSegment() = default;

    int Segment(TokenRecord* const* lattice, int slotCount, const int* slotSizes, int atomCount);
    // A second model's say in the next Segment call (null: none). Per candidate,
    // in lattice order: a score added when a path enters it, and the labels of its
    // first and last character; a 4 x 4 table of scores between the last label of
    // a candidate and the first of its successor. All are multiplied by weight
    // and added to the path's log probability. The arrays must outlive the call.
    void SetExtraScores(const float* entry, const uint8_t* firstLabel, const uint8_t* lastLabel,
                        const float* transitions, double weight)
    {
        extraEntry = entry;
        extraFirst = firstLabel;
        extraLast = lastLabel;
        extraTransitions = transitions;
        extraWeight = weight;
    }
    // ln P(d | c) for the interpolated model.
    double TransitionScore(int fromId, double fromFrequency, int toId, double toFrequency) const;

    TokenRecord* GetItems() { return items.data(); }
    int& GetCount() { return count; }

private:
    // Calls visit(slot, candidate, index in best/back) for every candidate of the
    // slots before the last, slot after slot, from the first or from the last.
    template <class Visit>
    void ForEachCandidate(TokenRecord* const* lattice, int last, const int* slotSizes, bool fromLast,
                          Visit visit) const;

    const CUnigram* unigram;
    const CBigram* bigram;
    std::unique_ptr<CPairScores> ownScores;
    const CPairScores* pairScores;

    std::vector<TokenRecord> items;
    int count = 0;
    std::vector<double> best;
    std::vector<int> back;
    std::vector<double> unigramTerm;
    std::vector<int> slotFirst; // index of a slot's first candidate in best/back
    std::vector<size_t> edgeFirst;  // per candidate, its first edge (to its successors in order)
    std::vector<uint32_t> edgeHome; // per edge, the home slot of its pair
    std::vector<double> edgeScore;  // per edge, its transition score
    const float* extraEntry = nullptr;
    const uint8_t* extraFirst = nullptr;
    const uint8_t* extraLast = nullptr;
    const float* extraTransitions = nullptr;
    double extraWeight = 0;
};

#endif
