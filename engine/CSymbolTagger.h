#ifndef MORV_CSYMBOLTAGGER_H
#define MORV_CSYMBOLTAGGER_H

#include <cstddef>
#include <cstdint>

#include "segment/CSentence.h"
#include "segment/TokenRecord.h"

class CTagSet;

// Tokens that are no words (white space, punctuation, symbols) take the tag
// "w", whatever the tagger chose for them: the taggers have seen few of these
// characters and guess content tags for them (a space as n or v), so a filter
// on tags would let them through. Runs on every sentence after tagging, so
// every output (page, tokens, every format) shows the same tag, and the
// neighbours keep the tags they were given.
class CSymbolTagger {
public:
    explicit CSymbolTagger(const CTagSet* tagSet);
    virtual ~CSymbolTagger() = default;

    // Retags the tokens of a sentence (GBK, offsets from its start) between
    // the two markers. A tag the caller gave a word of its own stays.
    void Apply(const char* sentence, TokenRecord* items, int count) const;
    // The same for the words of compound names (their parts), which their
    // stage tags in the context of the tokens before the merge.
    void ApplyToParts(const char* sentence, TokenPart* parts, size_t count) const;

    // Whether the GBK bytes are blanks, punctuation and symbols only.
    static bool IsSymbolText(const char* gbk, int length);
    // Whether a code point is white space, punctuation or a symbol. Units and
    // number signs (℃, №, ①, Ⅻ, ㎏) count as words: the corpus tags them q or m.
    static bool IsSymbol(uint32_t codePoint);

private:
    int symbolTag = -1; // code of "w"; -1 when the tag set has none
};

#endif
