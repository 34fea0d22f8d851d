#ifndef MORV_SEGMENT_CHARMODELFILE_H
#define MORV_SEGMENT_CHARMODELFILE_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "lexicon/BinaryFile.h"
#include "segment/CharKeys.h"

// The parts of a file that the character-based models (new words, names) lay
// out alike, read by one definition. Each reader returns false for a short
// read or a record no sound file holds.
namespace charmodelfile {

// The class of every character key (65536 bytes; the last class belongs to
// the positions outside the sentence, so no key has it), then the keys of the
// characters with rows of their own, strictly increasing: row i +
// reservedRows for the i-th, and unknownRow for every other key.
inline bool ReadCharRows(BinaryFile& file, uint8_t* classOf, uint16_t* rowOf, uint32_t classes, uint32_t chars,
                         uint16_t unknownRow, uint16_t reservedRows)
{
    constexpr size_t kKeys = 65536;
    if (file.Read(classOf, kKeys) != kKeys)
        return false;
    for (size_t key = 0; key < kKeys; ++key)
        if (classOf[key] >= classes - 1)
            return false;
    std::vector<uint16_t> charKeys(chars);
    if (chars > 0 && file.Read(charKeys.data(), 2 * size_t(chars)) != 2 * size_t(chars))
        return false;
    std::fill(rowOf, rowOf + kKeys, unknownRow);
    for (size_t i = 0; i < charKeys.size(); ++i) {
        if (i > 0 && charKeys[i] <= charKeys[i - 1])
            return false;
        rowOf[charKeys[i]] = static_cast<uint16_t>(i + reservedRows);
    }
    return true;
}

// Reads `count` pair keys in chunks and enters them into the table (2^bits
// slots, all empty: row -1). False when a key is out of order or names a row
// that does not exist or the unknown character's row 0 (which has no pairs).
template <class Slot> bool ReadPairTable(BinaryFile& file, uint32_t count, uint32_t rows, Slot* table, int bits)
{
    constexpr size_t kKeyChunk = 4096;
    constexpr size_t kPrefetchAhead = 16;
    std::vector<uint32_t> chunk(std::min<size_t>(count, kKeyChunk));
    const size_t mask = bits < 0 ? 0 : (size_t(1) << bits) - 1;
    uint32_t previous = 0;
    for (uint32_t done = 0; done < count;) {
        const size_t n = std::min<size_t>(count - done, kKeyChunk);
        if (file.Read(chunk.data(), n * sizeof(uint32_t)) != n * sizeof(uint32_t))
            return false;
        for (size_t i = 0; i < n; ++i) {
            // Sorted keys land all over the table; fetching the slot a few keys
            // ahead keeps several cache misses under way at once.
            if (i + kPrefetchAhead < n)
                __builtin_prefetch(&table[charkeys::SlotOf(chunk[i + kPrefetchAhead], bits)], 1);
            const uint32_t key = chunk[i], a = key >> 16, b = key & 0xFFFF;
            if ((done + i > 0 && key <= previous) || a == 0 || b == 0 || a >= rows || b >= rows)
                return false;
            previous = key;
            size_t at = charkeys::SlotOf(key, bits);
            while (table[at].row >= 0)
                at = (at + 1) & mask;
            table[at] = Slot{key, static_cast<int32_t>(done + i)};
        }
        done += static_cast<uint32_t>(n);
    }
    return true;
}

} // namespace charmodelfile

#endif
