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
    ModelArray<Pair> newPairs(static_cast<size_t>(header[0]), Pair{-1, 0});
    ModelArray<Row> newRows(static_cast<size_t>(header[1]), Row{-1, -1});
    file.Read(newPairs.data(), newPairs.size() * sizeof(Pair));
    // Rows the file supplies whole must be sound; a row cut short keeps the
    // preset 0xFF in its high bytes and reads as no pairs.
    const size_t wholeRows = static_cast<size_t>(file.Remaining() / int64_t(sizeof(Row)));
    file.Read(newRows.data(), newRows.size() * sizeof(Row));
    if (!RowsAreSound(newPairs, newRows, wholeRows < newRows.size() ? wholeRows : newRows.size()))
        return false;
    pairCount = header[0];
    rowCount = header[1];
    BuildIndex(newPairs, newRows);
    return true;
}

bool CBigram::RowsAreSound(const ModelArray<Pair>& pairs, const ModelArray<Row>& rows, size_t checked)
{
    // Each row spans its own pairs, sorted by rising second id; -1 is a word
    // without pairs, and a span that ends just before it starts is empty. Rows
    // reaching outside the pairs, sharing pairs or out of order come from no
    // trainer: another file read as a bigram table.
    const int64_t count = static_cast<int64_t>(pairs.size());
    // Rows whose spans follow each other cannot share pairs (the trainer writes
    // them so); only rows out of that order need every pair marked.
    bool ascending = true;
    int64_t previousLast = -1;
    for (size_t r = 0; r < checked; ++r) {
        const Row& row = rows[r];
        if (row.first == -1)
            continue;
        if (row.first < 0 || int64_t(row.first) > int64_t(row.last) + 1 || row.last >= count)
            return false;
        for (int32_t i = row.first + 1; i <= row.last; ++i)
            if (pairs[size_t(i)].second <= pairs[size_t(i - 1)].second)
                return false;
        if (row.first <= row.last) {
            ascending = ascending && row.first > previousLast;
            previousLast = row.last;
        }
    }
    if (ascending)
        return true;
    std::vector<bool> taken(pairs.size(), false);
    for (size_t r = 0; r < checked; ++r) {
        const Row& row = rows[r];
        for (int32_t i = row.first; row.first >= 0 && i <= row.last; ++i) {
            if (taken[size_t(i)])
                return false;
            taken[size_t(i)] = true;
        }
    }
    return true;
}

void CBigram::BuildIndex(const ModelArray<Pair>& pairs, const ModelArray<Row>& rows)
{
    // Only pairs a lookup can reach are indexed: rows within the pairs (a row
    // record cut short is out of range and empty) and second ids 0..rowCount.
    const auto inRange = [&](const Row& row) { return row.first >= 0 && row.first <= row.last && row.last < pairCount; };
    const auto indexed = [&](int32_t i) { return pairs[size_t(i)].second >= 0 && pairs[size_t(i)].second <= rowCount; };
    // A row of n pairs gets 2n home slots; linear probing (without wrapping
    // round) may place a key up to n - 1 slots past the last home.
    size_t bound = kWindow;
    for (const Row& row : rows)
        if (inRange(row))
            bound += 3 * (size_t(row.last) - size_t(row.first) + 1) + kWindow;
    ModelArray<RowSlots> newRows(rows.size(), RowSlots{0, 0, kWindow});
    ModelArray<int32_t> keys;
    ModelArray<int32_t> frequencies;
    keys.reserve(bound);
    frequencies.reserve(bound);
    keys.assign(kWindow, kEmptySlot); // the window of every word without pairs
    frequencies.assign(kWindow, 0);
    std::vector<int32_t> rowKeys;
    std::vector<int32_t> rowFrequencies;
    for (size_t r = 0; r < rows.size(); ++r) {
        const Row& row = rows[r];
        if (!inRange(row))
            continue;
        uint32_t n = 0;
        for (int32_t i = row.first; i <= row.last; ++i)
            n += indexed(i) ? 1 : 0;
        if (n == 0)
            continue;
        const uint32_t size = 2 * n;
        rowKeys.assign(size + n + kWindow, kEmptySlot);
        rowFrequencies.assign(rowKeys.size(), 0);
        uint32_t reach = kWindow;
        for (int32_t i = row.first; i <= row.last; ++i) {
            if (!indexed(i))
                continue;
            const uint32_t home = Home(static_cast<uint32_t>(pairs[size_t(i)].second), size);
            uint32_t d = 0;
            while (rowKeys[home + d] != kEmptySlot)
                ++d;
            rowKeys[home + d] = pairs[size_t(i)].second;
            rowFrequencies[home + d] = pairs[size_t(i)].frequency;
            if (d + 1 > reach)
                reach = d + 1;
        }
        const RowSlots slots{static_cast<uint32_t>(keys.size()), size, reach};
        const uint32_t owned = SlotsOwned(slots);
        keys.insert(keys.end(), rowKeys.begin(), rowKeys.begin() + owned);
        frequencies.insert(frequencies.end(), rowFrequencies.begin(), rowFrequencies.begin() + owned);
        newRows[r] = slots;
    }
    rowSlots.swap(newRows);
    slotKeys.swap(keys);
    slotFrequencies.swap(frequencies);
}
