#ifndef MORV_TRAINER_KEYWORDIDF_H
#define MORV_TRAINER_KEYWORDIDF_H

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "tools/trainer/CorpusReader.h"

// The IDF table of keyword extraction (Data/Keywords.idf): for every word of
// two characters and more, ln(N / df), N the corpus's paragraphs and df the
// paragraphs that hold the word. Words are counted as the analyser gives them:
// a person name the corpus writes as surname and given name (江/nr 泽民/nr) is
// one word, and a bracketed name ([中国/ns 国际/n 广播/vn 电台/n]nt) counts
// whole as well as in its words. UTF-8 text, "word idf" a line in byte order,
// the format jieba reads, so either table loads in either program.
class KeywordIdf {
public:
    KeywordIdf() = default;
    virtual ~KeywordIdf() = default;

    void Count(const std::vector<Paragraph>& paragraphs);
    // The table's text.
    std::string Text() const;
    size_t WordCount() const { return documents.size(); }
    size_t ParagraphCount() const { return paragraphs; }
    // ln(N / df) of a counted word, 0 for another.
    double Idf(const std::string& utf8Word) const;

    // The words of one paragraph as the table counts them (GBK), each once.
    static std::vector<std::string> Words(const Paragraph& paragraph);

private:
    std::map<std::string, size_t> documents; // UTF-8 word -> paragraphs holding it
    size_t paragraphs = 0;
};

#endif
