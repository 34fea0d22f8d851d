#ifndef MORV_CUSERWORDS_H
#define MORV_CUSERWORDS_H

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "lexicon/CPDAT.h"
#include "lexicon/CUserWordList.h"
#include "lexicon/CUserWordRun.h"

// Words a program adds at run time, each with an optional frequency and tag. Like
// the user dictionary they become atoms of their own wherever they begin; unlike
// it, a word the core dictionary already has keeps its core id (and with it its
// statistics), and the frequency and tag given replace the ones of the models.
//
// A snapshot: never changed once made, so analysers on many threads may share
// it while a new one is made beside it. The words lie in a few sorted runs,
// the largest and oldest first, each at least twice the size of the next;
// adding words makes a run of them and merges it with the runs that are not
// much larger. Each word is thus copied about log2(words) times over its life
// instead of every word being rebuilt at every change.
class CUserWords {
public:
    static constexpr int32_t kNoFrequency = -1;
    static constexpr uint8_t kNoTag = 255;

    struct Entry {
        std::string text;                  // GBK
        int32_t frequency = kNoFrequency;  // kNoFrequency: the unigram table's
        uint8_t tag = kNoTag;              // kNoTag: the tagger decides
    };
    using Word = UserWord;

    CUserWords() = default;
    virtual ~CUserWords() = default;

    // Of two entries with the same text the later one counts. Words the core
    // dictionary lacks get the ids after its words, in list order.
    void Build(const std::vector<Entry>& entries, const CPDAT& core);
    // This snapshot's words followed by the list's (the same rules, as if the
    // list had been appended to this snapshot's entries); this one stays as it is.
    std::shared_ptr<const CUserWords> With(const CUserWordList& list, const CPDAT& core) const;
    // Byte length of the longest word that prefixes text (0 if none) and the word.
    int LongestMatch(const char* text, const Word** word) const;
    // Every word that prefixes text, shortest first: its byte length and the word.
    void Matches(const char* text, std::vector<std::pair<int, const Word*>>& out) const;
    // Distinct words.
    size_t Size() const { return wordCount; }
    // Runs the words lie in (for tests and benchmarks).
    size_t RunCount() const { return runs.size(); }

private:
    // The word with that text as it stands (the newest run that has it), or null.
    const Word* Find(std::string_view text) const;
    void Add(const CUserWordList& list, const CPDAT& core);

    std::vector<std::shared_ptr<const CUserWordRun>> runs;
    size_t wordCount = 0;
    int32_t nextId = -1; // the id of the next word the core lacks; -1: the core's word count
};

#endif
