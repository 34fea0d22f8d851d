#ifndef MORV_EVAL_EVALUATOR_H
#define MORV_EVAL_EVALUATOR_H

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tools/trainer/CorpusReader.h"

// Scores the engine's analysis of held-out corpus paragraphs against the
// corpus: words as character spans, tags of the correctly cut words, person
// names, place and organisation names.
class Evaluator {
public:
    struct Word {
        int start;
        int end;
        std::string tag; // corpus tag set (extended tags mapped back)
        // A word the character model proposed (MORV_FLAG_NEW_WORD), which no
        // dictionary has.
        bool proposed = false;
    };
    struct Counts {
        size_t gold = 0, system = 0, correct = 0;
        size_t oovGold = 0, oovCorrect = 0;
        size_t posCorrect = 0;
        size_t oovPosCorrect = 0; // of the correctly cut OOV words
        // The system's words the training vocabulary lacks, and those of them
        // the gold has; the same for the proposed words.
        size_t oovSystem = 0, oovSystemCorrect = 0;
        size_t proposed = 0, proposedCorrect = 0;
        size_t goldNames = 0, systemNames = 0, correctNames = 0;
        size_t goldPlaces = 0, systemPlaces = 0, correctPlaces = 0;
        size_t goldOrgs = 0, systemOrgs = 0, correctOrgs = 0;
        // The same with the places and organisations inside a name of the
        // other kind (or of another tag: [玉溪/ns 卷烟厂/n]nt holds the place
        // 玉溪) counted too, on both sides: a missed compound then costs its
        // own name only, not a spurious one for each name inside it.
        size_t goldPlacesAll = 0, systemPlacesAll = 0, correctPlacesAll = 0;
        size_t goldOrgsAll = 0, systemOrgsAll = 0, correctOrgsAll = 0;
    };

    explicit Evaluator(const std::set<std::string>& trainingVocabulary);
    virtual ~Evaluator() = default;

    // Scores one paragraph: gold from the corpus, system words from the engine.
    // systemEntities: the engine's place and organisation names as whole spans
    // (a name merged from several words is one span, while its words are in
    // system), tagged ns, nsf or nt; other tags are ignored.
    void Score(const Paragraph& gold, const std::vector<Word>& system, const std::vector<Word>& systemEntities);
    // The same with every ns, nsf and nt word of system as an entity.
    void Score(const Paragraph& gold, const std::vector<Word>& system);
    void Print() const;
    const Counts& GetCounts() const { return counts; }

    static std::string CorpusTag(const std::string& tag);
    // Maximal runs of nr words, as spans.
    static std::vector<std::pair<int, int>> Names(const std::vector<Word>& words);
    // The place (ns) and organisation (nt) names of a corpus paragraph: the ns
    // and nt words outside brackets and the bracketed ns and nt compounds, each
    // as one span.
    // With inner: also the ns and nt words inside a compound of another tag.
    static std::vector<Word> GoldEntities(const Paragraph& p, bool inner = false);

private:
    const std::set<std::string>& vocabulary;
    Counts counts;
    std::map<std::string, size_t> missedByClass; // gold words not found, by kind
    std::map<std::pair<std::string, std::string>, size_t> posConfusions;
    size_t namesMissed = 0, namesSpurious = 0, namesPartial = 0;
};

#endif
