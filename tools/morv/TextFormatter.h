#ifndef MORV_TOOLS_TEXTFORMATTER_H
#define MORV_TOOLS_TEXTFORMATTER_H

#include "tools/morv/LineFormatter.h"

// "word/tag" items separated by two spaces, in the input's encoding.
class TextFormatter : public LineFormatter {
public:
    using LineFormatter::LineFormatter;

protected:
    void Emit(const Word& word) override;
    void EndLine(const char* terminator) override;

private:
    bool lineStarted = false;
};

#endif
