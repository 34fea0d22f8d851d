#ifndef MORV_SEGMENT_CHARKEYS_H
#define MORV_SEGMENT_CHARKEYS_H

#include <cstddef>
#include <cstdint>

// Character keys and the open-addressing tables of the character-based models
// (new words, names, part of speech): one definition, so that their trainers,
// writers and loaders cannot drift apart.
namespace charkeys {

// Bytes of the character at pos: two for a lead byte with a byte after it.
inline int CharLength(const unsigned char* p, int pos, int length)
{
    return (p[pos] >= 0x80 && pos + 1 < length) ? 2 : 1;
}

// The character's key: its byte, or lead byte x 256 + trail byte. A lone lead
// byte keeps its byte value, which no pair of bytes has.
inline int32_t KeyAt(const unsigned char* p, int pos, int length)
{
    if (p[pos] < 0x80 || pos + 1 >= length)
        return p[pos];
    return p[pos] * 256 + p[pos + 1];
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
