#ifndef MORV_CPOSLEXICON_H
#define MORV_CPOSLEXICON_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "lexicon/HugePageAllocator.h"

// Per-word tag candidates with frequencies (CoreDict.pos, nr.role): M, W,
// M entries (tag byte, 3 ignored bytes, int32 frequency), W index records
// (first entry, entry count).
class CPosLexicon {
public:
    struct Entry {
        uint8_t tag;
        int32_t frequency;
    };
    struct IndexRecord {
        int32_t first;
        int32_t count;
    };

    // Tag codes are one byte: a word carries each at most once.
    static constexpr int kMaxEntriesPerWord = 256;

    CPosLexicon() = default;
    virtual ~CPosLexicon() = default;

    // False when the file cannot be opened or cannot be a lexicon: no header,
    // negative counts, far more records than the file could hold, bytes after
    // the last record, or a word whose entries lie outside the entry array or
    // number more than kMaxEntriesPerWord. The object then keeps what it held.
    // Records a short file lacks mean "no entries".
    bool Load(const char* path);
    // The word's entries (contiguous) and their number; nullptr and 0 for none.
    // Inline: every tagger asks it for every token.
    const Entry* Lookup(int wordId, int* count) const
    {
        int ignored = 0;
        if (count == nullptr)
            count = &ignored;
        *count = 0;
        if (wordId < 0 || static_cast<size_t>(wordId) >= index.size())
            return nullptr;
        const IndexRecord& record = index[static_cast<size_t>(wordId)];
        if (record.first < 0 || record.count <= 0)
            return nullptr;
        const size_t first = static_cast<size_t>(record.first);
        if (first >= entries.size())
            return nullptr;
        // A damaged record may promise more entries than the array holds: hand
        // out only those that exist.
        const size_t available = entries.size() - first;
        const size_t n =
            static_cast<size_t>(record.count) < available ? static_cast<size_t>(record.count) : available;
        *count = static_cast<int>(n);
        return &entries[first];
    }
    // Asks for the word's index record ahead of a Lookup (a hint; never reads).
    void Prefetch(int wordId) const
    {
        if (wordId >= 0 && static_cast<size_t>(wordId) < index.size())
            __builtin_prefetch(&index[static_cast<size_t>(wordId)]);
    }
    int GetEntryCount() const { return static_cast<int>(entries.size()); }
    int GetIndexSize() const { return static_cast<int>(index.size()); }
    // The most entries any word has: a lexicon made for a tag set of N tags
    // gives no word more than N.
    int GetLongestRecord() const { return longestRecord; }

private:
    static bool RecordIsSound(const IndexRecord& record, int32_t entryCount);

    ModelArray<Entry> entries;
    ModelArray<IndexRecord> index;
    int longestRecord = 0;
};

#endif
