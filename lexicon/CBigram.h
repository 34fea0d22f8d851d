#ifndef MORV_CBIGRAM_H
#define MORV_CBIGRAM_H

#include <cstddef>
#include <cstdint>
#include <vector>

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

    CBigram() = default;
    virtual ~CBigram() = default;

    // False when the file cannot be opened, lacks the header, its header cannot
    // be right for its size, or a row reaches outside the pairs, shares pairs
    // with another or is not sorted; the table held then stays. Records a short
    // file lacks read as absent pairs and empty rows.
    bool Load(const char* path);
    int PairFrequency(int first, int second) const;
    int GetPairCount() const { return pairCount; }
    int GetRowCount() const { return rowCount; }

private:
    static bool RowsAreSound(const std::vector<Pair>& pairs, const std::vector<Row>& rows, size_t checked);
    int SearchRow(int first, int second) const;
    void BuildIndex();

    int32_t pairCount = 0;
    int32_t rowCount = 0;
    std::vector<Pair> pairs;
    std::vector<Row> rows;
    // Every pair of a well-formed file (rows in range, seconds strictly rising)
    // in an open-addressing table keyed by (first, second): one probe instead of a
    // binary search, with the same answers. Empty when the file is not well formed.
    struct Slot {
        uint64_t key;
        int32_t frequency;
    };
    std::vector<Slot> index;
    uint64_t indexMask = 0;
    int indexShift = 0;
};

#endif
