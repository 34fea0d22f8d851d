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

// One corpus line: "YYYYMMDD-PP-AAA-NNN/m  word/tag  [word/tag  word/tag]nt ...".
struct Paragraph {
    int date = 0; // YYYYMMDD
    int line = 0; // 1-based line number in the corpus file
    std::vector<CorpusToken> tokens;
    std::string Text() const; // the words concatenated (GBK)
};

// Reads the segmented, tagged corpus (UTF-8, one paragraph a line). Lines that
// do not parse are reported and skipped, never half counted.
class CorpusReader {
public:
    struct Error {
        int line;
        std::string message;
    };

    CorpusReader() = default;
    virtual ~CorpusReader() = default;

    // Reads every paragraph dated firstDate..lastDate (YYYYMMDD, 0 = no bound).
    // False only when the file cannot be opened.
    bool Read(const std::string& path, int firstDate, int lastDate);
    // Parses one line; false with a message when it is malformed.
    bool ParseLine(const std::string& line, Paragraph& out, std::string& message);

    const std::vector<Paragraph>& GetParagraphs() const { return paragraphs; }
    const std::vector<Error>& GetErrors() const { return errors; }
    size_t GetTokenCount() const;

private:
    GbkConverter converter;
    std::vector<Paragraph> paragraphs;
    std::vector<Error> errors;
};

#endif
