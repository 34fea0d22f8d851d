#ifndef MORV_TRAINER_APARTRUNS_H
#define MORV_TRAINER_APARTRUNS_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "lexicon/CWordRuns.h"

// The runs of words that training keeps apart for one kind of name
// (<stem>.apart, read by the engine as CWordRuns): two to four tokens, as the
// role tagger meets them, that make a run the kind's automaton could merge
// (the first may open a name, the last end one) but that the corpus shows as
// one name of the kind in under a tenth of at least three occurrences. The
// role models score each token alone, so 台湾/当局 (台湾 opens organisations,
// 当局 ends a few) is read as one organisation, while the corpus writes it
// apart 47 times and never as one.
class ApartRuns {
public:
    static constexpr int kMinSeen = 3;
    static constexpr int kMaxShareTenths = 1; // merged in under a tenth of the runs

    // The tokens of one sentence, markers left out (ids as the role lexicon
    // keys them), and for each the lengths n (2..4) such that the n tokens
    // from it are exactly one name of the kind: bit n.
    void AddSentence(const std::vector<int32_t>& ids, const std::vector<uint8_t>& nameLengths);
    // The runs kept apart, given the completed role lexicon (word id -> role
    // -> count): the first token must have a first role, the last a last role.
    std::vector<CWordRuns::Run> Runs(const std::vector<std::map<int, int32_t>>& roles) const;
    static std::string Bytes(const std::vector<CWordRuns::Run>& runs);

private:
    std::vector<int32_t> ids;       // the sentences one after the other, -1 between
    std::vector<uint8_t> lengths;   // per token: bit n, a name of n tokens starts here
};

#endif
