#include "lexicon/CBigram.h"

#include "lexicon/BinaryFile.h"

bool CBigram::Load(const char* path)
{
    BinaryFile file(path, "rb");
    if (!file.IsOpen())
        return false;
    int32_t header[2] = {0, 0};
    file.Read(header, sizeof header);
    const int64_t available = file.Remaining();
    if (!BinaryFile::PlausibleCount(int64_t(header[0]) + header[1], 8, available) || header[1] < 0 ||
        header[0] < 0)
        return false;
    std::vector<Pair> newPairs(static_cast<size_t>(header[0]), Pair{-1, 0});
    std::vector<Row> newRows(static_cast<size_t>(header[1]), Row{-1, -1});
    file.Read(newPairs.data(), newPairs.size() * sizeof(Pair));
    file.Read(newRows.data(), newRows.size() * sizeof(Row));
    pairCount = header[0];
    rowCount = header[1];
    pairs.swap(newPairs);
    rows.swap(newRows);
    return true;
}

int CBigram::PairFrequency(int first, int second) const
{
    if (first < 0 || first >= rowCount || second < 0 || second > rowCount)
        return 0;
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
