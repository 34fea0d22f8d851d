#ifndef MORV_CSEGMENT_H
#define MORV_CSEGMENT_H

#include <cmath>
#include <cstdint>
#include <cstring>
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

    // A second model's say in a search. Per candidate, in lattice order: a score
    // added when a path enters it, and the labels of its first and last
    // character; a 4 x 4 table of scores between the last label of a candidate
    // and the first of its successor (null: none; a label of 4 or more has no
    // transition). All are multiplied by weight and added to the path's log
    // probability.
    struct ExtraScores {
        const float* entry = nullptr;
        const uint8_t* firstLabel = nullptr;
        const uint8_t* lastLabel = nullptr;
        const float* transitions = nullptr;
        double weight = 0;
    };

    // The best path; with extra, the extra scores join its score.
    int Segment(TokenRecord* const* lattice, int slotCount, const int* slotSizes, int atomCount,
                const ExtraScores* extra = nullptr);
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

    // ln x, remembered: a transition to a word its predecessor was never seen
    // with scores ln(unigram term + unseen-pair term), a function of the two
    // words' frequencies, and the same few frequent words meet in such pairs
    // sentence after sentence. Direct-mapped by the bits of x; an entry holds
    // the exact value std::log gave, so a hit changes no score.
    double Log(double x)
    {
        uint64_t bits;
        std::memcpy(&bits, &x, sizeof bits);
        LogEntry& e = logCache[(bits * 0x9E3779B97F4A7C15ull) >> (64 - kLogCacheBits)];
        if (e.x != bits) {
            e.x = bits;
            e.log = std::log(x);
        }
        return e.log;
    }
    struct LogEntry {
        uint64_t x = 0; // +0.0, whose logarithm the entries start with
        double log = -HUGE_VAL;
    };
    static constexpr int kLogCacheBits = 10;

    const CUnigram* unigram;
    const CBigram* bigram;
    std::unique_ptr<CPairScores> ownScores;
    const CPairScores* pairScores;

    std::vector<TokenRecord> items;
    int count = 0;
    std::vector<LogEntry> logCache = std::vector<LogEntry>(size_t(1) << kLogCacheBits);
    std::vector<double> best;
    std::vector<int> back;
    std::vector<double> unigramTerm;
    std::vector<int> slotFirst; // index of a slot's first candidate in best/back
    std::vector<size_t> edgeFirst;  // per candidate, its first edge (to its successors in order)
    std::vector<uint32_t> edgeHome; // per edge, the home slot of its pair (may be longer)
};

#endif
