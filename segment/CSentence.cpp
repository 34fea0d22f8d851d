#include "segment/CSentence.h"

#include <cstddef>

void CSentence::Begin(const char* sentenceText, int sentenceLength, TokenRecord* tokens, int tokenCount)
{
    text = sentenceText;
    length = sentenceLength;
    spoken = sentenceLength;
    while (spoken > 0 && (text[spoken - 1] == '\n' || text[spoken - 1] == '\r'))
        --spoken;
    items = tokens;
    count = tokenCount;
    rolesTagged = false;
    protectedNames.clear();
    startsBeforeNames.clear();
    endsBeforeNames.clear();
    partOffsets = nullptr;
    parts = nullptr;
}

void CSentence::KeepBoundsBeforeNames()
{
    if (!keepBounds)
        return;
    startsBeforeNames.resize(static_cast<std::size_t>(count));
    endsBeforeNames.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        startsBeforeNames[static_cast<std::size_t>(i)] = items[i].start;
        endsBeforeNames[static_cast<std::size_t>(i)] = items[i].end;
    }
}
