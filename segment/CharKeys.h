#ifndef MORV_SEGMENT_CHARKEYS_H
#define MORV_SEGMENT_CHARKEYS_H

#include <cstddef>
#include <cstdint>

#include "lexicon/GbkChar.h"

// Character keys and the open-addressing tables of the character-based models
// (new words, names, part of speech): one definition, so that their trainers,
// writers and loaders cannot drift apart.
namespace charkeys {

// Bytes of the character at pos, as the engine cuts characters.
inline int CharLength(const unsigned char* p, int pos, int length) { return gbkchar::Length(p, pos, length); }

// The character's entry in the models' tables of all keys (a lone lead byte
// takes its byte's).
inline int32_t KeyAt(const unsigned char* p, int pos, int length)
{
    int bytes;
    return static_cast<int32_t>(gbkchar::TableIndex(gbkchar::Key(p, pos, length, &bytes)));
}

inline uint32_t PairKey(uint32_t a, uint32_t b) { return a << 16 | b; }

// Fibonacci hashing: the top bits of the product index a table of 2^bits slots.
inline size_t SlotOf(uint32_t key, int bits)
{
    return bits == 0 ? 0 : static_cast<size_t>(static_cast<uint32_t>(key * 0x9E3779B1u) >> (32 - bits));
}

// The smallest table at most three quarters full; -1 for no table.
inline int TableBits(uint32_t count)
{
    if (count == 0)
        return -1;
    int bits = 0;
    while ((uint64_t(1) << bits) * 3 < uint64_t(count) * 4)
        ++bits;
    return bits;
}

} // namespace charkeys

#endif
