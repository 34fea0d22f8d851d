#ifndef MORV_CRUNFILTER_H
#define MORV_CRUNFILTER_H

#include <cstdint>
#include <vector>

#include "segment/TokenRecord.h"

class CPosLexicon;
class CRoleTagger;

// Tells, before any role tagging, whether a role automaton could accept a run
// of a sentence's tokens at all: whether some run of tokens, each taking one of
// the roles its lexicon gives it (the default role for a word it lacks), leads
// from the start into an accepting state. When none can, the automaton merges
// nothing whatever roles the tagger picks, and the tagging can be skipped; most
// sentences hold no name of a kind. The automaton is followed over sets of
// states, a run beginning at any token.
class CRunFilter {
public:
    // Automata of more states or role codes than this pass every sentence.
    static constexpr int kMaxStates = 32;
    static constexpr int kMaxRoles = 32;

    CRunFilter() = default;
    virtual ~CRunFilter() = default;

    // Reads the automaton and the role lexicon (both only during the call).
    // False when they exceed the bounds or there is no lexicon: the filter
    // then answers yes for every sentence. everyToken: roles every token takes
    // besides its lexicon's (a back-off that gives every word one more role).
    bool Build(const CRoleTagger& automaton, const CPosLexicon* lexicon, uint8_t defaultRole,
               uint32_t everyToken = 0);
    bool IsBuilt() const { return built; }

    // Whether the automaton could accept a run of items[0, count). A token of
    // word passWordId (>= 0) answers yes at once: the tagger treats such a
    // token apart.
    bool MayAccept(const TokenRecord* items, int count, int32_t passWordId = -1) const;
    // The same, token i also taking the roles of bit set extra[i] (role r: bit
    // r; roles of kMaxRoles and beyond are none the automaton reads).
    bool MayAccept(const TokenRecord* items, int count, const uint32_t* extra) const;

private:
    bool built = false;
    // Words with the same roles share a row: per word id the index of its
    // set of roles, and per set and state the states its roles lead to (a bit
    // per state), so that a token costs one read per state a run may be in.
    std::vector<uint16_t> setOf;
    uint16_t defaultSet = 0;
    int stride = 0; // states
    std::vector<uint32_t> reachable;
    uint32_t acceptingStates = 0;
    // For the extra roles: per set its roles, per role and state its target.
    std::vector<uint32_t> setRoles;
    std::vector<int8_t> roleTargets;
};

#endif
