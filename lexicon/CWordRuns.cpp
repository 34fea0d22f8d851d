#include "lexicon/CWordRuns.h"

#include <algorithm>

#include "lexicon/BinaryFile.h"

constexpr char CWordRuns::kMagic[4];

bool CWordRuns::Load(const char* path)
{
    // (An empty set is sound: a small corpus may keep no run apart often enough.)
    std::vector<unsigned char> bytes;
    uint32_t count = 0;
    if (!BinaryFile::ReadRecords(path, kMagic, kVersion, kMaxCount, kRecordBytes, bytes, count, 0))
        return false;
    std::vector<Run> loaded(count);
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char* r = &bytes[BinaryFile::kRecordHeaderBytes + size_t(i) * kRecordBytes];
        Run& run = loaded[i];
        int used = 0;
        for (int k = 0; k < kMaxWords; ++k) {
            const int32_t id = static_cast<int32_t>(BinaryFile::U32At(r + 4 * k));
            run[size_t(k)] = id;
            if (id >= 0 && used == k)
                ++used;
            else if (id != -1)
                return false; // a negative id, or a word after an unused slot
        }
        if (used < 2 || (i > 0 && !(loaded[i - 1] < run)))
            return false;
    }
    runs.swap(loaded);
    return true;
}

bool CWordRuns::Contains(const int32_t* ids, int n) const
{
    if (ids == nullptr || n < 2 || n > kMaxWords || runs.empty())
        return false;
    Run key;
    key.fill(-1);
    for (int k = 0; k < n; ++k) {
        if (ids[k] < 0)
            return false;
        key[size_t(k)] = ids[k];
    }
    return std::binary_search(runs.begin(), runs.end(), key);
}
