#ifndef MORV_SEGMENT_CHARMODELFILE_H
#define MORV_SEGMENT_CHARMODELFILE_H

#include <algorithm>
#include <cstddef>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
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
//
// The table is ordered: along the probe run from any key's home slot the keys
// decrease (an empty slot, key 0, is below every key), so that a lookup stops
// at the first key not above its own. A third of the keys a sentence asks for
// are not stored, and without the order each of them would walk to the end of
// its cluster. A key met by a larger one takes its slot and moves the smaller
// one on, which still passes through that slot on its own run.
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
            Slot entry{key, static_cast<int32_t>(done + i)};
            for (size_t at = charkeys::SlotOf(key, bits);; at = (at + 1) & mask) {
                if (table[at].row < 0) {
                    table[at] = entry;
                    break;
                }
                if (table[at].key < entry.key)
                    std::swap(table[at], entry);
            }
        }
        done += static_cast<uint32_t>(n);
    }
    return true;
}

// The pair table of a model's block: 2^bits slots at base + offset (none
// when bits < 0), emptied, then filled with the `count` keys the file holds
// next (ReadPairTable).
template <class Slot>
bool ReadPairs(BinaryFile& file, uint32_t count, uint32_t rows, uint8_t* base, size_t offset, int bits, Slot*& table)
{
    table = bits < 0 ? nullptr : reinterpret_cast<Slot*>(base + offset);
    if (table != nullptr)
        std::fill(table, table + (size_t(1) << bits), Slot{0, -1});
    return ReadPairTable(file, count, rows, table, bits);
}

// The header both files open with: the four-byte magic, `fieldCount` 32-bit
// counts (the version first), the scale, a reserved 32-bit zero and
// `transitionCount` transition weights, padded to headerBytes. False for a
// short header, another magic, a reserved field that is not zero, a scale that
// is not finite or lies outside (0, maxScale], or a transition beyond
// +-maxTransition; the counts are the model's to judge.
inline bool ReadHeader(BinaryFile& file, const char (&magic)[4], size_t headerBytes, uint32_t* fields,
                       size_t fieldCount, float* scale, int32_t* transitions, size_t transitionCount, float maxScale,
                       int32_t maxTransition)
{
    const size_t scaleAt = 4 + 4 * fieldCount, transitionsAt = scaleAt + 8;
    if (transitionsAt + 4 * transitionCount > headerBytes)
        return false;
    std::vector<uint8_t> header(headerBytes);
    if (file.Read(header.data(), headerBytes) != headerBytes || std::memcmp(header.data(), magic, 4) != 0)
        return false;
    uint32_t reserved = 0;
    std::memcpy(fields, header.data() + 4, 4 * fieldCount);
    std::memcpy(scale, header.data() + scaleAt, 4);
    std::memcpy(&reserved, header.data() + scaleAt + 4, 4);
    std::memcpy(transitions, header.data() + transitionsAt, 4 * transitionCount);
    if (reserved != 0 || !std::isfinite(*scale) || *scale <= 0 || *scale > maxScale)
        return false;
    for (size_t i = 0; i < transitionCount; ++i)
        if (transitions[i] < -maxTransition || transitions[i] > maxTransition)
            return false;
    return true;
}

// Where each array of a model goes in its one block: one after another, each
// on a 64-byte boundary (a cache line), in the order they are placed.
class BlockPlan {
public:
    // The offset of an array of `bytes` bytes.
    size_t Place(size_t bytes)
    {
        const size_t here = at;
        at = (at + bytes + 63) / 64 * 64;
        return here;
    }
    size_t Total() const { return at; }

private:
    size_t at = 0;
};

// The rows of weights (each `width` long) of every key (0: none, and so is a
// key the table lacks: missing, null unless the caller gives a row of zeros
// to add instead). Every slot is asked for before any is read, and
// every row found before it is read: the slots and rows of a sentence lie
// scattered over megabytes, and asking for all of them first lets the cache
// misses overlap.
template <class Slot>
void FindRows(const Slot* table, int bits, const int16_t* weights, size_t width, const std::vector<uint32_t>& keys,
              std::vector<const int16_t*>& out, const int16_t* missing = nullptr)
{
    // Each entry is written once, below: a fill first would be a second pass.
    out.resize(keys.size());
    if (table == nullptr) {
        std::fill(out.begin(), out.end(), missing);
        return;
    }
    const size_t mask = (size_t(1) << bits) - 1;
    for (uint32_t key : keys)
        if (key != 0)
            __builtin_prefetch(&table[charkeys::SlotOf(key, bits)]);
    for (size_t i = 0; i < keys.size(); ++i) {
        out[i] = missing;
        if (keys[i] == 0)
            continue;
        // The run of an ordered table (ReadPairTable) holds the key before the
        // first key below it; a quarter of the slots at least is empty (key 0),
        // so every run ends.
        size_t at = charkeys::SlotOf(keys[i], bits);
        while (table[at].key > keys[i])
            at = (at + 1) & mask;
        const Slot& slot = table[at];
        if (slot.key == keys[i]) {
            out[i] = weights + static_cast<size_t>(slot.row) * width;
            __builtin_prefetch(out[i]);
            __builtin_prefetch(out[i] + width - 1);
        }
    }
}

// The character window of a text of n characters (character i begins at
// byte charStarts[i] of text, length bytes): window index w is character
// w - 2, with two pads at either end. A pad has no character's key (-1 before
// the text, -2 after it, so that pads never repeat a character), the row of
// the position before or after the text, and the last class, which no
// character has.
inline void FillWindow(const unsigned char* text, int length, const int* charStarts, int n, const uint8_t* classOf,
                       const uint16_t* rowOf, int classCount, uint16_t beforeRow, uint16_t afterRow,
                       std::vector<int32_t>& keys, std::vector<uint16_t>& rows, std::vector<uint8_t>& classes)
{
    const size_t width = static_cast<size_t>(n) + 4;
    keys.resize(width);
    rows.resize(width);
    classes.resize(width);
    const uint8_t padClass = static_cast<uint8_t>(classCount - 1);
    for (size_t w = 0; w < width; ++w) {
        const int c = static_cast<int>(w) - 2;
        if (c < 0 || c >= n) {
            keys[w] = c < 0 ? -1 : -2;
            rows[w] = c < 0 ? beforeRow : afterRow;
            classes[w] = padClass;
        } else {
            const int32_t key = charkeys::KeyAt(text, charStarts[c], length);
            keys[w] = key;
            rows[w] = rowOf[static_cast<size_t>(key)];
            classes[w] = classOf[static_cast<size_t>(key)];
        }
    }
}

} // namespace charmodelfile

#endif
