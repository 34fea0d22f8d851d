#include "tools/morv/CompactFormatter.h"

#include <string>

void CompactFormatter::Emit(const Word& word)
{
    AppendText(word.bytes, word.length);
    buffer += '\t';
    buffer += word.tag;
    buffer += '\t';
    buffer += std::to_string(word.charBegin);
    buffer += '\t';
    buffer += std::to_string(word.charEnd);
    if (word.sub)
        buffer += "\tsub";
    buffer += '\n';
}

void CompactFormatter::EndLine(const char*)
{
    buffer += '\n';
    Flush();
}
