#ifndef MORV_CBIGRAM_H
#define MORV_CBIGRAM_H

#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    // One first word's table: its slots begin at `begin`; a second id hashes
    // to one of the first `size` of them and lies within `reach` slots of that
    // home (never fewer than kWindow). Every row owns at least kWindow - 1
    // slots past its last home, so a window never reads another row's keys.
    struct RowSlots {
        uint32_t begin;
        uint32_t size;
        uint32_t reach;
    };
    static constexpr int32_t kEmptySlot = -1;
    static constexpr uint32_t kWindow = 4;

    CBigram() = default;
    virtual ~CBigram() = default;

    // False when the file cannot be opened, lacks the header, its header cannot
    // be right for its size, or a row reaches outside the pairs, shares pairs
    // with another or is not sorted; the table held then stays. Records a short
    // file lacks read as absent pairs and empty rows.
    bool Load(const char* path);
    int PairFrequency(int first, int second) const
    {
        const int32_t slot = FindIn(SlotsOf(first), second);
        return slot < 0 ? 0 : slotFrequencies[static_cast<size_t>(slot)];
    }
    int GetPairCount() const { return pairCount; }
    int GetRowCount() const { return rowCount; }

    // The pair index. Each first word has a small open-addressing table of its
    // own, about twice as many slots as it has pairs, so that its lookups stay
    // within its own few cache lines and the tables of the frequent words, which
    // most lookups go to, stay in the cache. A lookup compares the kWindow keys
    // from the home slot at once, without a branch per key. Slots are numbered
    // across all rows, so a caller may keep values of its own per slot (see
    // CPairScores).
    RowSlots SlotsOf(int first) const
    {
        // Words without pairs (and ids outside the table) share one empty window.
        if (first < 0 || first >= rowCount)
            return RowSlots{0, 0, kWindow};
        return rowSlots[static_cast<size_t>(first)];
    }
    // Slot of the pair (the row's first word, second), or -1 when it is not stored.
    int32_t FindIn(RowSlots row, int second) const { return FindFrom(HomeOf(row, second), row, second); }
    // The two halves of FindIn, for callers that look up many pairs and want
    // their memory reads in flight together: the home slot where the search
    // starts (kNoHome when the pair cannot be stored), and the search from it.
    static constexpr uint32_t kNoHome = UINT32_MAX;
    uint32_t HomeOf(RowSlots row, int second) const
    {
        // Seconds above rowCount are never stored; negative ones wrap above it too.
        if (static_cast<uint32_t>(second) > static_cast<uint32_t>(rowCount))
            return kNoHome;
        return row.begin + Home(static_cast<uint32_t>(second), row.size);
    }
    // The first of the keys a search from home reads (to prefetch them).
    const int32_t* KeysAt(uint32_t home) const { return slotKeys.data() + (home == kNoHome ? 0 : home); }
    int32_t FindFrom(uint32_t home, RowSlots row, int second) const
    {
        if (home == kNoHome)
            return -1;
        const int32_t* keys = slotKeys.data() + home;
#if defined(__SSE2__)
        // Keys are placed by linear probing: a stored key lies before the first
        // free slot from its home, so a window holding the key or a free slot
        // answers the lookup, and the rare full one goes on beyond it.
        const __m128i window = _mm_loadu_si128(reinterpret_cast<const __m128i*>(keys));
        const int match = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(window, _mm_set1_epi32(second))));
        const int free = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(window, _mm_set1_epi32(kEmptySlot))));
        if ((match | free) != 0)
            return match != 0 ? static_cast<int32_t>(home + static_cast<uint32_t>(__builtin_ctz(static_cast<unsigned>(match))))
                              : -1;
        uint32_t from = kWindow;
#else
        uint32_t from = 0;
#endif
        for (uint32_t j = from; j < row.reach && keys[j] != kEmptySlot; ++j)
            if (keys[j] == second)
                return static_cast<int32_t>(home + j);
        return -1;
    }
    // How many slots from row.begin on belong to the row (0 for a word without pairs).
    static uint32_t SlotsOwned(RowSlots row) { return row.size == 0 ? 0 : row.size + row.reach - 1; }
    size_t GetSlotCount() const { return slotKeys.size(); }
    // Second word of a slot (kEmptySlot for none) and the pair's frequency.
    int32_t SlotSecond(size_t slot) const { return slotKeys[slot]; }
    int32_t SlotFrequency(size_t slot) const { return slotFrequencies[slot]; }

private:
    static bool RowsAreSound(const Pair* pairs, size_t pairTotal, const Row* rows, size_t checked);
    static uint32_t Home(uint32_t second, uint32_t size)
    {
        // A multiplicative hash scaled to the table's size (no power of two needed).
        return static_cast<uint32_t>((uint64_t(second * 0x9E3779B1u) * size) >> 32);
    }
    void BuildIndex(const Pair* pairs, const Row* rows, size_t rowTotal);

    int32_t pairCount = 0;
    int32_t rowCount = 0;
    ModelArray<RowSlots> rowSlots;    // one per first word
    ModelArray<int32_t> slotKeys;     // second word, kEmptySlot when free; the first kWindow stay free
    ModelArray<int32_t> slotFrequencies;
};

#endif
