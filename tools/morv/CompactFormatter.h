#ifndef MORV_TOOLS_COMPACTFORMATTER_H
#define MORV_TOOLS_COMPACTFORMATTER_H

#include "tools/morv/LineFormatter.h"

// One token a line: word, tag, character start and end in its input line,
// separated by tabs; a blank line after each input line. Easy to read back in any
// language, and a line per token keeps diffs readable.
class CompactFormatter : public LineFormatter {
public:
    using LineFormatter::LineFormatter;

protected:
    void Emit(const Word& word) override;
    void EndLine(const char* terminator) override;
};

#endif
