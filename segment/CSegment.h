#ifndef MORV_CSEGMENT_H
#define MORV_CSEGMENT_H

#include <vector>

#include "segment/TokenRecord.h"

class CPDAT;
class CUnigram;
class CBigram;

// Best path through a sentence's word lattice under an interpolated word-bigram
// model, found by a backward dynamic programme.
class CSegment {
public:
    CSegment(const CPDAT* coreDict, const CUnigram* unigram, const CBigram* bigram);
    virtual ~CSegment() = default;

    int Segment(TokenRecord* const* lattice, int slotCount, const int* slotSizes, int atomCount);
    // ln P(d | c) for the interpolated model.
    double TransitionScore(int fromId, double fromFrequency, int toId, double toFrequency) const;

    TokenRecord* GetItems() { return items.data(); }
    int& GetCount() { return count; }

private:
    const CUnigram* unigram;
    const CBigram* bigram;
    double lambda = 0.95;
    double totalFrequency;
    double entryCount;

    std::vector<TokenRecord> items;
    int count = 0;
    std::vector<double> best;
    std::vector<int> back;
    std::vector<double> unigramTerm;
    std::vector<int> slotFirst; // index of a slot's first candidate in best/back
};

#endif
