#ifndef MORV_CWORDFINDER_H
#define MORV_CWORDFINDER_H

#include <cstdint>
#include <utility>
#include <vector>

#include "lexicon/CUserWords.h"

class CModel;
class CPDAT;

// Finds the words the dictionaries know anywhere in a text, overlapping as
// they come: the core dictionary's, the user dictionary's, the supplementary
// lexicon's (when its stage is on) and the words added at run time. This is
// what a search index wants beside the segmentation: 农业 inside
// 中国农业发展银行. Each word comes with the tag it most often has. Read-only
// over the model; one finder per thread (it keeps scratch space).
class CWordFinder {
public:
    struct Word {
        int32_t start; // engine byte offsets
        int32_t end;
        uint8_t tag;   // tag code
        bool user;     // a word of the user dictionary or added at run time
    };

    explicit CWordFinder(const CModel& model);
    virtual ~CWordFinder() = default;

    // Appends to out every word of at least minChars characters that lies in
    // text[begin, end) (text is the engine's GBK, NUL-terminated at or after
    // end), ordered by start, then by end. A span several sources know comes
    // once: a run-time word's tag first, then the user dictionary's, the core
    // dictionary's, the supplementary lexicon's.
    void Find(const char* text, int begin, int end, int minChars, const CUserWords* userWords,
              std::vector<Word>& out);

private:
    uint8_t TagOfWord(int32_t wordId) const;
    // The words of trie that begin at text + start and end by limit.
    void AddTrieWords(const CPDAT& trie, const char* text, int start, int limit, int minChars, int rank);
    void Add(const char* text, int start, int end, int minChars, uint8_t tag, bool user, int rank);

    const CModel& model;
    uint8_t newWordTag = 255; // the tag a word no lexicon has gets: the new-word class's (255: none)
    uint8_t symbolTag = 255;  // "w"
    // Scratch: the words found at one position, with the rank of their source.
    struct Found {
        Word word;
        int rank;
    };
    std::vector<Found> found;
    std::vector<int> values;
    std::vector<int> lengths;
    std::vector<std::pair<int, const CUserWords::Word*>> userMatches;
};

#endif
