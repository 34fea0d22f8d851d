#ifndef MORV_TOOLS_SEGFORMATTER_H
#define MORV_TOOLS_SEGFORMATTER_H

#include "tools/morv/LineFormatter.h"

// The words separated by single spaces, as segmentation scorers read them, blank
// tokens left out. With splitNames a recognised person name is written as surname
// and given name, and a place or organisation name of several words as those
// words (the corpus's conventions), else whole.
class SegFormatter : public LineFormatter {
public:
    explicit SegFormatter(std::FILE* out, bool splitNames = true) : LineFormatter(out), splitNames(splitNames) {}

protected:
    void Emit(const Word& word) override;
    void EndLine(const char* terminator) override;

private:
    void Append(const char* bytes, size_t length);
    bool splitNames;
    bool lineStarted = false;
};

#endif
