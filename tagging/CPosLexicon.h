#ifndef MORV_CPOSLEXICON_H
#define MORV_CPOSLEXICON_H

#include <cstdint>
#include <vector>

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

    CPosLexicon() = default;
    virtual ~CPosLexicon() = default;

    // False when the file cannot be opened or its header cannot be right for its
    // size (negative counts, far more records than the file could hold); the
    // object then keeps what it held. Records a short file lacks mean "no entries".
    bool Load(const char* path);
    // The word's entries (contiguous) and their number; nullptr and 0 for none.
    // A record reaching past the entry array is clipped to the entries that exist.
    const Entry* Lookup(int wordId, int* count) const;
    int GetEntryCount() const { return static_cast<int>(entries.size()); }
    int GetIndexSize() const { return static_cast<int>(index.size()); }

private:
    std::vector<Entry> entries;
    std::vector<IndexRecord> index;
};

#endif
