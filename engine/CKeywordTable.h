#ifndef MORV_CKEYWORDTABLE_H
#define MORV_CKEYWORDTABLE_H

#include <string>
#include <unordered_map>
#include <unordered_set>

// What keyword extraction knows beyond the text: the inverse document frequency
// of words (Keywords.idf, or a list the caller names) and the stop words that
// are never keywords. Both are UTF-8 text, one entry a line, as jieba reads
// them ("word idf"; "word"), so that a jieba user's own files load unchanged.
// Read-only once loaded; shared by every analyser of a model.
class CKeywordTable {
public:
    CKeywordTable() = default;
    virtual ~CKeywordTable() = default;

    // Replaces the IDF table by the file's; false with the file, line and why
    // (the table is left as it was). A line that is blank or starts with '#' is
    // skipped.
    bool LoadIdf(const std::string& path, std::string* error);
    bool ParseIdf(const std::string& content, const std::string& name, std::string* error);
    // Replaces the stop words by the file's (one word a line; blank lines and
    // '#' lines skipped).
    bool LoadStopWords(const std::string& path, std::string* error);
    void ParseStopWords(const std::string& content);

    // The word's IDF, or the median of the table for a word it lacks (what
    // jieba gives an unseen word: neither rare nor common).
    double Idf(const std::string& word) const;
    double MedianIdf() const { return median; }
    size_t IdfSize() const { return idf.size(); }
    // Stop words compare with ASCII letters folded to lower case.
    bool IsStopWord(const std::string& word) const;
    size_t StopWordCount() const { return stops.size(); }

    static std::string LowerAscii(const std::string& s);

private:
    std::unordered_map<std::string, double> idf;
    std::unordered_set<std::string> stops;
    double median = 0;
};

#endif
