#ifndef MORV_EVAL_PLAINSCORER_H
#define MORV_EVAL_PLAINSCORER_H

#include <cstddef>
#include <set>
#include <string>

// Scores a segmentation written as words separated by blanks, one sentence a
// line, against a gold file of the same form: words compared as byte spans of
// each line's text, which must be the same in both files. Either file may also
// hold corpus items (word/tag, compounds in brackets): their words count.
class PlainScorer {
public:
    struct Counts {
        size_t gold = 0, system = 0, correct = 0;
        size_t oovGold = 0, oovCorrect = 0;
    };

    PlainScorer() = default;
    virtual ~PlainScorer() = default;

    // Words counted out of vocabulary are the gold words not in it; without a
    // vocabulary no OOV recall is given.
    void SetVocabulary(const std::set<std::string>* words) { vocabulary = words; }
    // Scores the two files; false with a message (which line, why) when a file
    // cannot be read or the lines do not correspond.
    bool Score(const std::string& systemPath, const std::string& goldPath, std::string* error);
    // Scores one pair of lines; false when their texts differ.
    bool ScoreLine(const std::string& system, const std::string& gold);
    void Print() const;
    const Counts& GetCounts() const { return counts; }

private:
    const std::set<std::string>* vocabulary = nullptr;
    Counts counts;
};

#endif
