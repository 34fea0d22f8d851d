#ifndef MORV_CKEYWORDEXTRACTOR_H
#define MORV_CKEYWORDEXTRACTOR_H

#include <cstddef>
#include <string>
#include <vector>

class CKeywordTable;

// Keywords of an analysed text, by TF-IDF or by TextRank, computed the way
// jieba's keyword extraction computes them so that its users get comparable
// weights: TF-IDF weighs a word's count by its IDF over the count of all
// candidate words; TextRank ranks the candidates on the graph of their
// co-occurrences within a window of 5 tokens (damping 0.85, 10 rounds) and
// scales the ranks to at most 1.
class CKeywordExtractor {
public:
    // One token of the text, in order (every token, candidates or not: the
    // co-occurrence window counts positions).
    struct Term {
        std::string key;   // what the IDF table and the grouping know it by (UTF-8)
        std::string tag;
        size_t chars = 0;  // its length in characters
        bool plain = true; // not punctuation, a number, a time or a line break
    };
    struct Options {
        bool textRank = false;
        // Only words of these tags are candidates; empty: every tag (but not
        // punctuation, numbers, times and line breaks).
        std::vector<std::string> allowTags;
        // With allowTags: the same word under two tags is two keywords.
        bool byTag = false;
        size_t top = 20; // 0: all
    };
    struct Keyword {
        size_t first;  // index of its first token
        double weight;
    };

    explicit CKeywordExtractor(const CKeywordTable& table) : table(table) {}
    virtual ~CKeywordExtractor() = default;

    // The keywords of terms, heaviest first (the earlier on equal weights).
    std::vector<Keyword> Extract(const std::vector<Term>& terms, const Options& options) const;

    // Whether a term can be a keyword under options.
    bool IsCandidate(const Term& term, const Options& options) const;

    static constexpr int kWindow = 5;
    static constexpr double kDamping = 0.85;
    static constexpr int kRounds = 10;

private:
    // For every term, the index of its group (the first term of its key, or of
    // key and tag), or -1 when it is no candidate.
    std::vector<long> Groups(const std::vector<Term>& terms, const Options& options) const;
    std::vector<Keyword> TfIdf(const std::vector<Term>& terms, const std::vector<long>& groups) const;
    std::vector<Keyword> TextRank(const std::vector<Term>& terms, const std::vector<long>& groups,
                                  const Options& options) const;

    const CKeywordTable& table;
};

#endif
