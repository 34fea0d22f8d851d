#ifndef MORV_EVAL_EVALUATOR_H
#define MORV_EVAL_EVALUATOR_H

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tools/trainer/CorpusReader.h"

// Scores the engine's analysis of held-out corpus paragraphs against the
// corpus: words as character spans, tags of the correctly cut words, names.
class Evaluator {
public:
    struct Word {
        int start;
        int end;
        std::string tag; // corpus tag set (extended tags mapped back)
    };
    struct Counts {
        size_t gold = 0, system = 0, correct = 0;
        size_t oovGold = 0, oovCorrect = 0;
        size_t posCorrect = 0;
        size_t oovPosCorrect = 0; // of the correctly cut OOV words
        size_t goldNames = 0, systemNames = 0, correctNames = 0;
    };

    explicit Evaluator(const std::set<std::string>& trainingVocabulary);
    virtual ~Evaluator() = default;

    // Scores one paragraph: gold from the corpus, system words from the engine.
    void Score(const Paragraph& gold, const std::vector<Word>& system);
    void Print() const;
    const Counts& GetCounts() const { return counts; }

    static std::string CorpusTag(const std::string& tag);
    // Maximal runs of nr words, as spans.
    static std::vector<std::pair<int, int>> Names(const std::vector<Word>& words);

private:
    const std::set<std::string>& vocabulary;
    Counts counts;
    std::map<std::string, size_t> missedByClass; // gold words not found, by kind
    std::map<std::pair<std::string, std::string>, size_t> posConfusions;
    size_t namesMissed = 0, namesSpurious = 0, namesPartial = 0;
};

#endif
