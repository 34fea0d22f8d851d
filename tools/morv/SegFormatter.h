#ifndef MORV_TOOLS_SEGFORMATTER_H
#define MORV_TOOLS_SEGFORMATTER_H

#include "tools/morv/LineFormatter.h"

// The words separated by single spaces, as segmentation scorers read them: a
// recognised person name is written as surname and given name, and blank tokens
// are left out.
class SegFormatter : public LineFormatter {
public:
    using LineFormatter::LineFormatter;

protected:
    void Emit(const Word& word) override;
    void EndLine(const char* terminator) override;

private:
    void Append(const char* bytes, size_t length);
    bool lineStarted = false;
};

#endif
