#ifndef MORV_CSENTENCE_H
#define MORV_CSENTENCE_H

#include <cstdint>
#include <utility>
#include <vector>

#include "segment/TokenRecord.h"

// A word of a token merged from several words (a place or organisation name):
// byte offsets from the sentence start and its tag code.
struct TokenPart {
    int32_t start;
    int32_t end;
    uint8_t tag;
};

// One sentence on its way through the pipeline: what every stage reads and
// rewrites. The tokens belong to the stage that made them last (the segmenter,
// or a stage that re-cut them) and stay valid until that stage's next call;
// a stage that re-cuts them hands its own array over with SetTokens.
class CSentence {
public:
    CSentence() = default;
    virtual ~CSentence() = default;

    // A new sentence: its text (not NUL-terminated at its end), its byte length
    // and its tokens with the two markers.
    void Begin(const char* sentenceText, int sentenceLength, TokenRecord* tokens, int tokenCount);
    void SetTokens(TokenRecord* tokens, int tokenCount)
    {
        items = tokens;
        count = tokenCount;
    }
    // Notes the tokens' bounds as they stand, before person names are merged
    // (where a name's surname ends, for the token interface).
    void KeepBoundsBeforeNames();

    const char* text = nullptr;
    int length = 0;
    // The length without the line breaks that close the sentence: the
    // character models read that much, so that a line comes out the same with
    // or without its break (a pipe's lines have one, a program's strings often
    // not).
    int spoken = 0;
    TokenRecord* items = nullptr;
    int count = 0;

    // Whether every token carries its person-name role in `tag`.
    bool rolesTagged = false;
    // Byte spans [first, second) of the person names of the plain segmentation,
    // which no proposed word may cross.
    std::vector<std::pair<int, int>> protectedNames;
    // Whether the stages keep what the token interface needs beyond the tokens
    // (the bounds before names were merged); the page needs none of it.
    bool keepBounds = false;
    std::vector<int32_t> startsBeforeNames;
    std::vector<int32_t> endsBeforeNames;
    // The words of merged names: those of token i are
    // parts[partOffsets[i]] .. parts[partOffsets[i + 1]) (count + 1 offsets),
    // or null when no token has words of its own.
    const int32_t* partOffsets = nullptr;
    const TokenPart* parts = nullptr;
};

#endif
