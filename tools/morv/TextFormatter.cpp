#include "tools/morv/TextFormatter.h"

void TextFormatter::Emit(const Word& word)
{
    if (lineStarted)
        buffer += "  ";
    lineStarted = true;
    AppendText(word.bytes, word.length);
    buffer += '/';
    buffer += word.tag;
}

void TextFormatter::EndLine(const char* terminator)
{
    buffer += terminator;
    lineStarted = false;
    Flush();
}
