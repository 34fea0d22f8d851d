#ifndef MORV_POSFEATURES_H
#define MORV_POSFEATURES_H

#include <cstdint>

#include "tagging/CPosLexicon.h"

struct TokenRecord;

// The part-of-speech model's feature contract: the templates of NewPos.pm's
// row blocks, what a token is described by, and the keys of its features.
// The trainer and the tagger (CPosModel) both read features through it alone,
// so that a feature means the same in the file as in the engine.
class PosFeatures {
public:
    // Feature templates, in the order of the file's row blocks. Word templates
    // key on word ids, character templates on character keys, hashed templates
    // on 32-bit keys.
    enum Template : uint8_t {
        kWord = 0,      // the token's word id
        kPrevWord,      // the previous token's
        kNextWord,      // the next token's
        kPrev2Word,     // the token's two before
        kNext2Word,     // the token's two after
        kFirstChar,     // the token's first character
        kLastChar,      // its last character
        kSuffix,        // the token's last two characters
        kPrefix,        // its first two characters
        kLexClass,      // the tags the lexicon lists for the token, in its order
        kShape,         // new word or not, listed or not, length, classes of the first and last characters
        kPrevWordPair,  // the previous token's word id and the token's
        kNextWordPair,  // the token's word id and the next token's
        kWordPrevClass, // the token's word id and the previous token's lexicon tags
        kWordNextClass, // the token's word id and the next token's lexicon tags
        kTemplateCount
    };
    static constexpr int kWordTemplates = 5;
    static constexpr int kCharTemplates = 2;
    static constexpr int kHashedTemplates = kTemplateCount - kWordTemplates - kCharTemplates;
    static constexpr int kFirstHashed = kWordTemplates + kCharTemplates;

    // One feature: its template and key.
    struct Key {
        uint8_t templ;
        uint32_t key;
    };
    // What the features read of one token.
    struct TokenInfo {
        int32_t word = -1;    // word id, -1 for none
        int32_t first = -1;   // character keys, -1 for an empty token
        int32_t last = -1;
        uint32_t prefix = 0;  // first two and last two characters (valid with two characters or more)
        uint32_t suffix = 0;
        bool twoChars = false;
        uint32_t lexClass = 0;
        uint32_t shape = 0;
        // A word whose own features the model holds summed in its word row: only
        // that row is read for it.
        bool folded = false;
    };

    // Describes token of text (its byte offsets index text[0, length)) with the
    // lexicon's entries for it. The trainer and the tagger share it, so that
    // features mean the same in both.
    static void Describe(const char* text, int length, const TokenRecord& token, const CPosLexicon::Entry* entries,
                         int entryCount, TokenInfo& info);
    // The parts of Describe: the lexicon class, and what the token's text and
    // flags give (characters, edge pairs, shape).
    static uint32_t LexClass(const CPosLexicon::Entry* entries, int entryCount);
    static void DescribeText(const char* text, int length, const TokenRecord& token, int entryCount, TokenInfo& info);
    // The features of token i of the count tokens described by infos; returns
    // how many were written to out (at most kTemplateCount). A folded token has
    // its word row only, of the features of its own.
    static int Keys(const TokenInfo* infos, int count, int i, Key* out);
    // Two 32-bit values into one key (a conjunction of features); a collision
    // merely merges two rare features. Inline: the tagger mixes its keys itself.
    static uint32_t Mix(uint32_t a, uint32_t b)
    {
        uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u);
        h ^= h >> 16;
        h *= 0x85EBCA6Bu;
        h ^= h >> 13;
        h *= 0xC2B2AE35u;
        return h ^ (h >> 16);
    }
};

#endif
