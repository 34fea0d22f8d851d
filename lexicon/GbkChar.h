#ifndef MORV_LEXICON_GBKCHAR_H
#define MORV_LEXICON_GBKCHAR_H

#include <cstdint>

// How the engine cuts GB2312/GBK bytes into characters, stated once for every
// layer: a byte below 0x80 is one character; a byte of 0x80 or above takes the
// byte after it, when there is one (within a span, or before the NUL of a
// NUL-terminated text). A lead byte without a byte after it stands alone and
// has the negative key byte - 256, which no character has: it matches nothing.
namespace gbkchar {

// Whether a two-byte character with this lead byte may be a Chinese
// character: rows A1 to A9 hold the punctuation, symbols, full-width letters
// and box drawing of GB2312 and GBK, every other row characters.
inline bool IsHanziLead(unsigned char lead) { return lead >= 0x81 && (lead < 0xA1 || lead > 0xA9); }

// Bytes of the character at p[pos] of a span that ends at `end`.
template <class Offset> inline Offset Length(const unsigned char* p, Offset pos, Offset end)
{
    return p[pos] >= 0x80 && pos + 1 < end ? 2 : 1;
}

// The key of that character (the byte, or lead byte x 256 + trail byte); its
// length in *bytes.
inline int32_t Key(const unsigned char* p, int pos, int end, int* bytes)
{
    const unsigned c = p[pos];
    if (c < 0x80) {
        *bytes = 1;
        return static_cast<int32_t>(c);
    }
    if (pos + 1 >= end) {
        *bytes = 1;
        return static_cast<int32_t>(c) - 256;
    }
    *bytes = 2;
    return static_cast<int32_t>(c * 256 + p[pos + 1]);
}

// The same in a NUL-terminated text, whose span ends at its NUL. At the NUL
// itself: key -1 and length 0.
inline int32_t KeyInText(const unsigned char* p, int* bytes)
{
    const unsigned c = p[0];
    if (c == 0) {
        *bytes = 0;
        return -1;
    }
    if (c < 0x80) {
        *bytes = 1;
        return static_cast<int32_t>(c);
    }
    if (p[1] == 0) {
        *bytes = 1;
        return static_cast<int32_t>(c) - 256;
    }
    *bytes = 2;
    return static_cast<int32_t>(c * 256 + p[1]);
}

// Where a key lies in a table of all 65536 keys (the character models'): a
// lone lead byte takes the entry of its byte.
inline uint32_t TableIndex(int32_t key) { return static_cast<uint32_t>(key < 0 ? key + 256 : key); }

} // namespace gbkchar

#endif
