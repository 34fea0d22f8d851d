#ifndef MORV_TOOLS_JSONFORMATTER_H
#define MORV_TOOLS_JSONFORMATTER_H

#include <cstdio>

#include "tools/morv/LineFormatter.h"

// One JSON object per input line, in UTF-8 whatever the input's encoding:
//   {"text":"...","tokens":[{"word":"...","tag":"...","start":0,"end":2},...]}
// start and end count characters (code points) of the line's text, end exclusive.
// A line whose output grows past a limit is not held in memory: its text goes out
// at once and its tokens wait in a temporary file until the line ends.
class JsonFormatter : public LineFormatter {
public:
    static constexpr size_t kDefaultSpillBytes = 4 * 1024 * 1024;

    explicit JsonFormatter(std::FILE* out, size_t spillBytes = kDefaultSpillBytes);
    ~JsonFormatter() override;

    void BeginPiece(const char* piece, size_t size, size_t textLength, Encoding enc) override;

protected:
    void Emit(const Word& word) override;
    void EndLine(const char* terminator) override;

private:
    void Spill();

    size_t spillBytes;
    std::string text;
    std::string tokens;
    bool lineHasTokens = false;
    bool streaming = false;  // the line's head and text have been written
    std::FILE* spool = nullptr;
};

#endif
