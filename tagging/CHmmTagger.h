#ifndef MORV_CHMMTAGGER_H
#define MORV_CHMMTAGGER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "segment/TokenRecord.h"
#include "tagging/CPosLexicon.h"

class CTagTransitions;

// First-order HMM tagger: Viterbi over each token's lexicon candidates.
class CHmmTagger {
public:
    // personWordId is the id of the person-name placeholder word; a token carrying
    // it takes its tag from its kind (the code the name recogniser left there) and
    // is marked as a person name. -1: no such word.
    CHmmTagger(const CPosLexicon* lexicon, const CTagTransitions* transitions,
               double vocabularySize, uint8_t defaultTag, int32_t personWordId = -1);
    virtual ~CHmmTagger() = default;

    // A token's own candidates, in place of the lexicon's (entries null: the
    // lexicon's).
    struct Candidates {
        const CPosLexicon::Entry* entries = nullptr;
        int count = 0;
    };

    // Tags items[0..count-1] in place; always 0.
    int Tag(TokenRecord* items, int count) { return Tag(items, count, nullptr); }
    // The same, token j taking own[j] as its candidates where own[j] has any
    // (own may be null; fixed tags and merged names still come first).
    int Tag(TokenRecord* items, int count, const Candidates* own);

    void SetPersonWordId(int32_t id) { personWordId = id; }
    // The ids of the place- and organisation-name words (-1: none). A token
    // carrying one is a name the entity recogniser merged, with its tag code in
    // kind: that code is its only candidate and its tag, and its kind becomes
    // kKindPlaceName or kKindOrganizationName.
    void SetEntityWordIds(int32_t placeWordId, int32_t organizationWordId)
    {
        placeId = placeWordId;
        organizationId = organizationWordId;
    }
    // Whether a token's fixedTag, when set, is its only candidate (for the
    // part-of-speech pass: a tag the caller gave a word is the tag it gets).
    void SetUseFixedTags(bool use) { useFixedTags = use; }
    int32_t GetPersonWordId() const { return personWordId; }
    const CPosLexicon* GetLexicon() const { return lexicon; }
    // The tag of a token whose word the lexicon lacks.
    uint8_t GetDefaultTag() const { return defaultEntry.tag; }

    // The Viterbi table of the last call: best score of candidate `candidate` of
    // token `token`, and the candidate of the previous token it came from.
    // 0 and -1 for positions the last call did not have.
    double GetScore(int token, int candidate) const;
    int GetBack(int token, int candidate) const;

private:
    bool HasSlot(int token, int candidate) const;
    // Asks for the lexicon records of the tokens at once (a hint: the records of
    // a sentence's words lie far apart, and asked for together their cache
    // misses overlap).
    void Prefetch(const TokenRecord* items, int count) const
    {
        if (lexicon != nullptr)
            for (int j = 0; j < count; ++j)
                lexicon->Prefetch(items[j].wordId);
    }

    const CPosLexicon* lexicon;
    const CTagTransitions* transitions;
    double vocabularySize;
    CPosLexicon::Entry defaultEntry;
    int32_t personWordId;
    int32_t placeId = -1;
    int32_t organizationId = -1;
    bool IsEntity(int32_t wordId) const
    {
        return wordId >= 0 && (wordId == placeId || wordId == organizationId);
    }
    bool useFixedTags = false;
    std::vector<CPosLexicon::Entry> fixedEntries; // one per token, for fixed tags and merged names
    int maxCandidates; // candidates per token at most
    // Working arrays, kept between sentences so that their capacity is reused.
    std::vector<size_t> firstSlot; // first slot of each token, and one past the last
    // Per slot (one per candidate of a token): its tag, the transition row of
    // that tag and the emission term.
    std::vector<uint8_t> slotTags;
    std::vector<const double*> slotRows;
    std::vector<double> slotEmissions;
    double noTransitions[256]; // the row used without transition statistics
    std::vector<double> scores;
    std::vector<int> back;
    int lastCount = 0;
    // The emission term's two logarithms, computed once: ln(F + 0.02 V) per tag and
    // ln(f + 0.02) for the small frequencies that most entries have.
    // Larger ones go through a small cache of the last logarithm per bucket.
    double EmissionNumerator(int32_t frequency);
    double emissionDenominator[256];
    std::vector<double> smallNumerators;
    struct LargeNumerator {
        int32_t frequency = -1;
        double value = 0;
    };
    static constexpr size_t kLargeNumerators = 256;
    LargeNumerator largeNumerators[kLargeNumerators];
};

#endif
