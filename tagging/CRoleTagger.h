#ifndef MORV_CROLETAGGER_H
#define MORV_CROLETAGGER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "segment/TokenRecord.h"

// The person-name automaton (nr.fsa): A, S, S accepting flags, S output codes,
// S x A transitions (-1: none). Recognize merges accepted role runs into names.
class CRoleTagger {
public:
    CRoleTagger() = default;
    virtual ~CRoleTagger() = default;

    // Role codes are one byte wide.
    static constexpr int kMaxSymbols = 256;
    // Longest run of tokens the automaton is followed through.
    static constexpr int kMaxRunTokens = 64;

    // False when the file cannot be opened, lacks the header, reads more than
    // kMaxSymbols codes or its header cannot be right for its size; the
    // automaton held then stays. A short file keeps the presets (no
    // transition, not accepting) for what it lacks.
    bool Load(const char* path);
    // Merges runs of two or more tokens accepted by the automaton in place; lowers
    // count by the number of tokens removed. A run is at most kMaxRunTokens
    // tokens long. Always 0.
    int Recognize(TokenRecord* items, int& count, int personWordId) const;

    // A run Recognize would merge: token indices [first, last] and the whole
    // output code of the state that accepted it.
    struct Run {
        int first;
        int last;
        int32_t output;
    };
    // The runs Recognize would merge, in order, without touching the tokens.
    // With retryFailing, a run that fails without an accept is tried again from
    // its failing token (Recognize skips that token).
    void FindRuns(const TokenRecord* items, int count, std::vector<Run>& runs, bool retryFailing = false) const;

    int GetSymbolCount() const { return symbolCount; }
    int GetStateCount() const { return stateCount; }
    // Next state, or -1 when there is none (also for codes and targets the
    // tables do not cover).
    int Next(int state, int role) const;
    // Whether a state accepts (false for a state the automaton lacks).
    bool IsAccepting(int state) const
    {
        return state >= 0 && state < stateCount && accepting[static_cast<size_t>(state)] == 1;
    }
    // The output code of a state (0 for a state the automaton lacks).
    int32_t GetOutput(int state) const
    {
        return state >= 0 && state < stateCount ? outputs[static_cast<size_t>(state)] : 0;
    }

private:

    int32_t symbolCount = 0;
    int32_t stateCount = 0;
    std::vector<int32_t> accepting;
    std::vector<int32_t> outputs;
    std::vector<int32_t> transitions; // stateCount x symbolCount
};

#endif
