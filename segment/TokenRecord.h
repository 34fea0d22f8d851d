#ifndef MORV_TOKENRECORD_H
#define MORV_TOKENRECORD_H

#include <cstdint>

// One token of a sentence: what segmentation produces and the taggers and the
// page writer read and rewrite. Offsets are bytes from the sentence start.
struct TokenRecord {
    int32_t wordId = -1;
    int32_t start = -1;
    int32_t end = -1;       // exclusive
    double frequency = 0.0; // unigram frequency of wordId
    uint8_t kind = 255;     // how the token arose (character class, 101 user word, ...)
    uint8_t tag = 255;      // tag or role code; 255 = not tagged
    // Beyond the six fields the pipeline passes on: they sit in the record's
    // padding, so the record keeps its size.
    uint8_t flags = 0;        // kFlag* bits
    uint8_t fixedTag = 255;   // a tag the caller chose for this word; 255 = the tagger decides
};

// TokenRecord::flags.
enum : uint8_t {
    kFlagUserWord = 1,        // the atom is a word of a user dictionary
    kFlagPresetFrequency = 2, // `frequency` is set by its source, not looked up by word id
    kFlagNewWord = 4,         // proposed by the new-word model
    kFlagSupplementWord = 8,  // from the supplementary lexicon
};

// Token kinds beyond the character classes.
enum : uint8_t {
    kKindLetterString = 8,
    kKindNumber = 9,
    kKindLineBreak = 28,
    kKindUserWord = 101,
    kKindPersonName = 102,
    kKindPlaceName = 103,
    kKindOrganizationName = 104,
    kKindSentenceBegin = 120,
    kKindSentenceEnd = 121,
    kKindNoClass = 255,
};

#endif
