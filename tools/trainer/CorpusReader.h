#ifndef MORV_TRAINER_CORPUSREADER_H
#define MORV_TRAINER_CORPUSREADER_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/trainer/GbkConverter.h"

// One word of the annotated corpus, converted to GBK.
struct CorpusToken {
    std::string word; // GBK
    std::string tag;  // as the corpus writes it (n, nr, Ng ...)
    bool inCompound = false;
};

// A bracketed compound, "[word/tag word/tag]nt": the token range [first, last]
// and the compound's own tag.
struct CorpusCompound {
    size_t first;
    size_t last;
    std::string tag;
};

// One corpus line: "YYYYMMDD-PP-AAA-NNN/m  word/tag  [word/tag  word/tag]nt ...".
struct Paragraph {
    int date = 0; // YYYYMMDD
    int line = 0; // 1-based line number in the corpus file
    // Page and article of the paragraph id (PP * 1000 + AAA); 0 without ids.
    int article = 0;
    std::vector<CorpusToken> tokens;
    std::vector<CorpusCompound> compounds; // in token order
    std::string Text() const; // the words concatenated (GBK)
};

// Reads the segmented, tagged corpus (UTF-8, one paragraph a line). Lines that
// do not parse, or are not UTF-8, are counted and skipped, never half counted.
// A corpus whose first line starts with a paragraph id ("19980101-01-001-001/m")
// needs one on every line; any other corpus is one sentence a line, word/tag items
// separated by blanks, without ids or dates.
class CorpusReader {
public:
    struct Error {
        int line;
        std::string message;
    };
    // Errors kept with their line and message; every one is counted.
    static constexpr size_t kKeptErrors = 100;

    CorpusReader() = default;
    virtual ~CorpusReader() = default;

    // Reads every paragraph dated firstDate..lastDate (YYYYMMDD, 0 = no bound).
    // False only when the file cannot be opened.
    bool Read(const std::string& path, int firstDate, int lastDate);
    // Parses one line; false with a message when it is malformed.
    bool ParseLine(const std::string& line, Paragraph& out, std::string& message);
    // Whether the corpus read last has paragraph ids (and so dates).
    bool HasParagraphIds() const { return withIds; }
    // Why the corpus read last cannot be trained on, empty when it can: most of
    // its lines are not UTF-8 (a corpus in another encoding; always refused), or
    // more than 5% of its lines were skipped (unless allowBadLines).
    std::string Refusal(bool allowBadLines) const;

    const std::vector<Paragraph>& GetParagraphs() const { return paragraphs; }
    // The first kKeptErrors errors, in line order.
    const std::vector<Error>& GetErrors() const { return errors; }
    size_t GetTokenCount() const;
    size_t GetLineCount() const { return lines; }         // lines that are not blank
    size_t GetBadLineCount() const { return badLines; }   // of those, lines skipped
    size_t GetUndecodableCount() const { return undecodable; } // of those, lines not UTF-8

private:
    void AddError(int line, std::string message);

    GbkConverter converter;
    std::vector<Paragraph> paragraphs;
    std::vector<Error> errors;
    size_t lines = 0;
    size_t badLines = 0;
    size_t undecodable = 0;
    bool withIds = true;
};

#endif
