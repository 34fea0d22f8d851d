#include "lexicon/CBigram.h"

#include "lexicon/BinaryFile.h"

bool CBigram::Load(const char* path)
{
    BinaryFile file(path, "rb");
    if (!file.IsOpen())
        return false;
    // Both counts are the table even when it is empty: a file without them (an
    // empty file) is no table.
    int32_t header[2] = {0, 0};
    if (file.Read(header, sizeof header) != sizeof header)
        return false;
    const int64_t available = file.Remaining();
    // Records beyond what a file of this size could hold, or bytes after the
    // last row record, are damage (or another file), not truncation.
    if (!BinaryFile::PlausibleCount(int64_t(header[0]) + header[1], 8, available) || header[1] < 0 ||
        header[0] < 0 || available > (int64_t(header[0]) + header[1]) * 8)
        return false;
    std::vector<Pair> newPairs(static_cast<size_t>(header[0]), Pair{-1, 0});
    std::vector<Row> newRows(static_cast<size_t>(header[1]), Row{-1, -1});
    file.Read(newPairs.data(), newPairs.size() * sizeof(Pair));
    // Rows the file supplies whole must be sound; a row cut short keeps the
    // preset 0xFF in its high bytes and reads as no pairs.
    const size_t wholeRows = static_cast<size_t>(file.Remaining() / int64_t(sizeof(Row)));
    file.Read(newRows.data(), newRows.size() * sizeof(Row));
    if (!RowsAreSound(newPairs, newRows, wholeRows < newRows.size() ? wholeRows : newRows.size()))
        return false;
    pairCount = header[0];
    rowCount = header[1];
    pairs.swap(newPairs);
    rows.swap(newRows);
    BuildIndex();
    return true;
}

bool CBigram::RowsAreSound(const std::vector<Pair>& pairs, const std::vector<Row>& rows, size_t checked)
{
    // Each row spans its own pairs, sorted by rising second id; -1 is a word
    // without pairs, and a span that ends just before it starts is empty. Rows
    // reaching outside the pairs, sharing pairs or out of order come from no
    // trainer: another file read as a bigram table.
    const int64_t count = static_cast<int64_t>(pairs.size());
    std::vector<bool> taken(pairs.size(), false);
    for (size_t r = 0; r < checked; ++r) {
        const Row& row = rows[r];
        if (row.first == -1)
            continue;
        if (row.first < 0 || int64_t(row.first) > int64_t(row.last) + 1 || row.last >= count)
            return false;
        for (int32_t i = row.first; i <= row.last; ++i) {
            if (taken[size_t(i)] || (i > row.first && pairs[size_t(i)].second <= pairs[size_t(i - 1)].second))
                return false;
            taken[size_t(i)] = true;
        }
    }
    return true;
}

namespace {

constexpr uint64_t kEmptyKey = ~uint64_t(0);
constexpr uint64_t kHashMultiplier = 0x9E3779B97F4A7C15ull;

uint64_t PairKey(int first, int second)
{
    return (uint64_t(uint32_t(first)) << 32) | uint32_t(second);
}

} // namespace

void CBigram::BuildIndex()
{
    index.clear();
    indexMask = 0;
    // Rows of a damaged file may overlap: then they would insert more pairs than
    // the table was sized for (and as many as rows x pairs); such files keep the search.
    int64_t indexed = 0;
    for (const Row& row : rows) {
        if (row.first == -1 || row.first > row.last)
            continue;
        if (row.first < 0 || row.last >= pairCount)
            return;
        indexed += int64_t(row.last) - row.first + 1;
        if (indexed > pairCount)
            return;
        for (int32_t i = row.first + 1; i <= row.last; ++i)
            if (pairs[size_t(i)].second <= pairs[size_t(i - 1)].second)
                return;
    }
    size_t size = 16;
    int bits = 4;
    while (size < 2 * size_t(pairCount) + 16) {
        size *= 2;
        ++bits;
    }
    std::vector<Slot> table(size, Slot{kEmptyKey, 0});
    const uint64_t mask = size - 1;
    const int shift = 64 - bits;
    for (size_t r = 0; r < rows.size(); ++r) {
        const Row& row = rows[r];
        if (row.first == -1 || row.first > row.last)
            continue;
        for (int32_t i = row.first; i <= row.last; ++i) {
            const uint64_t key = PairKey(int(r), pairs[size_t(i)].second);
            uint64_t h = (key * kHashMultiplier) >> shift;
            while (table[h].key != kEmptyKey)
                h = (h + 1) & mask;
            table[h] = Slot{key, pairs[size_t(i)].frequency};
        }
    }
    index.swap(table);
    indexMask = mask;
    indexShift = shift;
}

int CBigram::PairFrequency(int first, int second) const
{
    if (first < 0 || first >= rowCount || second < 0 || second > rowCount)
        return 0;
    if (!index.empty()) {
        const uint64_t key = PairKey(first, second);
        for (uint64_t h = (key * kHashMultiplier) >> indexShift;; h = (h + 1) & indexMask) {
            const Slot& slot = index[h];
            if (slot.key == key)
                return slot.frequency;
            if (slot.key == kEmptyKey)
                return 0;
        }
    }
    return SearchRow(first, second);
}

int CBigram::SearchRow(int first, int second) const
{
    const Row& row = rows[static_cast<size_t>(first)];
    if (row.first == -1)
        return 0;
    // In 64 bits: a damaged row may hold any two indices, and hi - lo (or lo + hi)
    // of two 32-bit values can overflow.
    int64_t lo = row.first;
    int64_t hi = row.last;
    while (lo <= hi) {
        const int64_t mid = (lo + hi) / 2;
        if (mid < 0 || mid >= pairCount)
            return 0;
        const Pair& pair = pairs[static_cast<size_t>(mid)];
        if (pair.second == second)
            return pair.frequency;
        if (pair.second < second)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return 0;
}
