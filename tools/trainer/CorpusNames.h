#ifndef MORV_TRAINER_CORPUSNAMES_H
#define MORV_TRAINER_CORPUSNAMES_H

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tools/trainer/CorpusReader.h"

// The person names of the annotated corpus: how runs of nr tokens group into
// names, and what the names teach about surnames and transliteration characters.
// The word statistics and the person-name role model both read them.
class CorpusNames {
public:
    // A name: the token range [first, last] of its nr tokens.
    struct Group {
        size_t first;
        size_t last;
    };

    CorpusNames() = default;
    virtual ~CorpusNames() = default;

    // Inside a run of nr tokens: surname + given name pairs (1 or 2 characters
    // each, as the corpus writes Chinese names), else single tokens.
    static std::vector<Group> GroupNames(const std::vector<CorpusToken>& tokens);

    // Counts surnames (the first token of a two-token name) and the characters
    // of transliterated names over all paragraphs.
    void Collect(const std::vector<Paragraph>& paragraphs);

    int SurnameCount(const std::string& word) const;
    bool IsForeignChar(const std::string& ch) const { return foreignChars.count(ch) > 0; }
    bool IsCompoundSurname(const std::string& word) const { return compoundSurnames.count(word) > 0; }
    const std::set<std::string>& GetCompoundSurnames() const { return compoundSurnames; }

    static const char kMiddleDot[]; // ·, inside transliterated names

private:
    std::map<std::string, int> surnameCounts;
    std::map<std::string, int> foreignChars;
    std::set<std::string> compoundSurnames;
};

#endif
