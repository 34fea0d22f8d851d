#ifndef MORV_CBIGRAM_H
#define MORV_CBIGRAM_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "lexicon/HugePageAllocator.h"

// Word-pair frequencies (BiWord.big): pairCount, rowCount, pair records
// (second id, frequency), row records (first pair, last pair inclusive).
class CBigram {
public:
    struct Pair {
        int32_t second;
        int32_t frequency;
    };
    struct Row {
        int32_t first;
        int32_t last;
    };
    // The slots of one first word's table: [begin, begin + size).
    struct RowSlots {
        uint32_t begin;
        uint32_t size;
    };

    CBigram() = default;
    virtual ~CBigram() = default;

    // False when the file cannot be opened, lacks the header, its header cannot
    // be right for its size, or a row reaches outside the pairs, shares pairs
    // with another or is not sorted; the table held then stays. Records a short
    // file lacks read as absent pairs and empty rows.
    bool Load(const char* path);
    int PairFrequency(int first, int second) const
    {
        if (first < 0 || first >= rowCount)
            return 0;
        const int32_t slot = FindIn(SlotsOf(first), second);
        return slot < 0 ? 0 : slotFrequencies[static_cast<size_t>(slot)];
    }
    int GetPairCount() const { return pairCount; }
    int GetRowCount() const { return rowCount; }

    // The pair index. Each first word has a small open-addressing table of its
    // own, twice as many slots as it has pairs: a lookup reads one or two
    // neighbouring keys, and the tables of the frequent words, which most
    // lookups go to, stay in the cache. Slots are numbered across all rows, so
    // a caller may keep values of its own per slot (see CPairScores).
    RowSlots SlotsOf(int first) const
    {
        if (first < 0 || first >= rowCount)
            return RowSlots{0, 0};
        const uint32_t begin = slotStarts[static_cast<size_t>(first)];
        return RowSlots{begin, slotStarts[static_cast<size_t>(first) + 1] - begin};
    }
    // Slot of the pair (row's first word, second), or -1 when it is not stored.
    int32_t FindIn(RowSlots row, int second) const
    {
        // Seconds above rowCount are never stored; negative ones wrap above it too.
        if (row.size == 0 || static_cast<uint32_t>(second) > static_cast<uint32_t>(rowCount))
            return -1;
        uint32_t h = Home(static_cast<uint32_t>(second), row.size);
        for (;;) {
            const int32_t key = slotKeys[row.begin + h];
            if (key == second)
                return static_cast<int32_t>(row.begin + h);
            if (key == kEmptySlot)
                return -1;
            if (++h == row.size)
                h = 0;
        }
    }
    size_t GetSlotCount() const { return slotKeys.size(); }
    // Second word of a slot (kEmptySlot for none) and the pair's frequency.
    int32_t SlotSecond(size_t slot) const { return slotKeys[slot]; }
    int32_t SlotFrequency(size_t slot) const { return slotFrequencies[slot]; }

    static constexpr int32_t kEmptySlot = -1;

private:
    static bool RowsAreSound(const ModelArray<Pair>& pairs, const ModelArray<Row>& rows, size_t checked);
    static uint32_t Home(uint32_t second, uint32_t size)
    {
        // A multiplicative hash scaled to the table's size (no power of two needed).
        return static_cast<uint32_t>((uint64_t(second * 0x9E3779B1u) * size) >> 32);
    }
    void BuildIndex(const ModelArray<Pair>& pairs, const ModelArray<Row>& rows);

    int32_t pairCount = 0;
    int32_t rowCount = 0;
    ModelArray<uint32_t> slotStarts; // rowCount + 1: first slot of each row's table
    ModelArray<int32_t> slotKeys;    // second word, kEmptySlot when free
    ModelArray<int32_t> slotFrequencies;
};

#endif
