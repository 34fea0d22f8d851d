#ifndef MORV_CUSERWORDS_H
#define MORV_CUSERWORDS_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "lexicon/CPDAT.h"

// Words a program adds at run time, each with an optional frequency and tag. Like
// the user dictionary they become atoms of their own wherever they begin; unlike
// it, a word the core dictionary already has keeps its core id (and with it its
// statistics), and the frequency and tag given replace the ones of the models.
// Built once and then only read, so analysers on many threads may share it.
class CUserWords {
public:
    static constexpr int32_t kNoFrequency = -1;
    static constexpr uint8_t kNoTag = 255;

    struct Entry {
        std::string text;                  // GBK
        int32_t frequency = kNoFrequency;  // kNoFrequency: the unigram table's
        uint8_t tag = kNoTag;              // kNoTag: the tagger decides
    };
    struct Word {
        int32_t wordId;
        int32_t frequency;
        uint8_t tag;
    };

    CUserWords() = default;
    virtual ~CUserWords() = default;

    // Of two entries with the same text the later one counts. Words the core
    // dictionary lacks get the ids after its words, in list order.
    void Build(const std::vector<Entry>& entries, const CPDAT& core);
    // Byte length of the longest word that prefixes text (0 if none) and the word.
    int LongestMatch(const char* text, const Word** word) const;
    // Every word that prefixes text, shortest first: its byte length and the word.
    void Matches(const char* text, std::vector<std::pair<int, const Word*>>& out) const;
    size_t Size() const { return words.size(); }

private:
    CPDAT trie; // value: index into words
    std::vector<Word> words;
};

#endif
