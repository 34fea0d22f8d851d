#include "lexicon/CBigram.h"

#include <algorithm>
#include <cstring>

#include "lexicon/BinaryFile.h"
#include "lexicon/MappedFile.h"

bool CBigram::Load(const char* path)
{
    MappedFile file(path);
    if (!file.IsOpen())
        return false;
    // Both counts are the table even when it is empty: a file without them (an
    // empty file) is no table.
    int32_t header[2] = {0, 0};
    if (file.Size() < sizeof header)
        return false;
    std::memcpy(header, file.Data(), sizeof header);
    const int64_t available = static_cast<int64_t>(file.Size() - sizeof header);
    // Records beyond what a file of this size could hold, or bytes after the
    // last row record, are damage (or another file), not truncation.
    if (!BinaryFile::PlausibleCount(int64_t(header[0]) + header[1], 8, available) || header[1] < 0 ||
        header[0] < 0 || available > (int64_t(header[0]) + header[1]) * 8)
        return false;
    const size_t pairTotal = static_cast<size_t>(header[0]), rowTotal = static_cast<size_t>(header[1]);
    const uint8_t* body = file.Data() + sizeof header;
    const Pair* pairs = reinterpret_cast<const Pair*>(body);
    const Row* rows = reinterpret_cast<const Row*>(body + pairTotal * sizeof(Pair));
    size_t wholeRows = rowTotal;
    // A short file: the records it lacks read as absent pairs and empty rows,
    // from a copy padded with them. A row cut short keeps the preset 0xFF in its
    // high bytes and reads as no pairs.
    ModelArray<Pair> paddedPairs;
    ModelArray<Row> paddedRows;
    const size_t have = static_cast<size_t>(available);
    if (have < (pairTotal + rowTotal) * 8) {
        paddedPairs.assign(pairTotal, Pair{-1, 0});
        paddedRows.assign(rowTotal, Row{-1, -1});
        const size_t pairBytes = std::min(have, pairTotal * sizeof(Pair));
        if (pairBytes > 0)
            std::memcpy(paddedPairs.data(), body, pairBytes);
        const size_t rowBytes = have - pairBytes;
        if (rowBytes > 0)
            std::memcpy(paddedRows.data(), body + pairBytes, rowBytes);
        wholeRows = rowBytes / sizeof(Row);
        pairs = paddedPairs.data();
        rows = paddedRows.data();
    }
    // Rows the file supplies whole must be sound.
    if (!RowsAreSound(pairs, pairTotal, rows, wholeRows))
        return false;
    pairCount = header[0];
    rowCount = header[1];
    BuildIndex(pairs, rows, rowTotal);
    return true;
}

bool CBigram::RowsAreSound(const Pair* pairs, size_t pairTotal, const Row* rows, size_t checked)
{
    // Each row spans its own pairs, sorted by rising second id; -1 is a word
    // without pairs, and a span that ends just before it starts is empty. Rows
    // reaching outside the pairs, sharing pairs or out of order come from no
    // trainer: another file read as a bigram table.
    const int64_t count = static_cast<int64_t>(pairTotal);
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
    std::vector<bool> taken(pairTotal, false);
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

void CBigram::BuildIndex(const Pair* pairs, const Row* rows, size_t rowTotal)
{
    // Only pairs a lookup can reach are indexed: rows within the pairs (a row
    // record cut short is out of range and empty) and second ids 0..rowCount.
    const auto inRange = [&](const Row& row) { return row.first >= 0 && row.first <= row.last && row.last < pairCount; };
    const auto indexed = [&](int32_t i) { return pairs[size_t(i)].second >= 0 && pairs[size_t(i)].second <= rowCount; };
    // A row of n pairs gets 2n home slots; linear probing (without wrapping
    // round) may place a key up to n - 1 slots past the last home.
    size_t bound = kWindow;
    for (size_t r = 0; r < rowTotal; ++r)
        if (inRange(rows[r]))
            bound += 3 * (size_t(rows[r].last) - size_t(rows[r].first) + 1) + kWindow;
    ModelArray<RowSlots> newRows(rowTotal, RowSlots{0, 0, kWindow});
    ModelArray<int32_t> keys;
    ModelArray<int32_t> frequencies;
    keys.reserve(bound);
    frequencies.reserve(bound);
    keys.assign(kWindow, kEmptySlot); // the window of every word without pairs
    frequencies.assign(kWindow, 0);
    for (size_t r = 0; r < rowTotal; ++r) {
        const Row& row = rows[r];
        if (!inRange(row))
            continue;
        uint32_t n = 0;
        for (int32_t i = row.first; i <= row.last; ++i)
            n += indexed(i) ? 1 : 0;
        if (n == 0)
            continue;
        // The row's table is laid out in place at the end of the arrays (within
        // the capacity reserved above), then cut to the slots it owns.
        const uint32_t size = 2 * n;
        const size_t begin = keys.size();
        keys.resize(begin + size + n + kWindow, kEmptySlot);
        frequencies.resize(keys.size(), 0);
        int32_t* rowKeys = keys.data() + begin;
        int32_t* rowFrequencies = frequencies.data() + begin;
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
        const RowSlots slots{static_cast<uint32_t>(begin), size, reach};
        keys.resize(begin + SlotsOwned(slots));
        frequencies.resize(keys.size());
        newRows[r] = slots;
    }
    rowSlots.swap(newRows);
    slotKeys.swap(keys);
    slotFrequencies.swap(frequencies);
}
