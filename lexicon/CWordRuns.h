#ifndef MORV_CWORDRUNS_H
#define MORV_CWORDRUNS_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// A set of word runs: two to four words, by word id, looked up whole. The
// place and organisation recognisers read one each (ns.apart, nt.apart,
// written by morv-train): the runs of words that training saw often and
// hardly ever as one name of the kind (台湾/当局 47 times, never one
// organisation), which the role models, scoring each word alone, would merge.
//
// File: a 16-byte header ("MWRA", u32 version 1, u32 record count, u32 0)
// and the records, 16 bytes each: four i32 word ids, the unused last ones -1,
// at least two used; records in ascending order (ids compared in turn as
// signed numbers), none twice.
class CWordRuns {
public:
    static constexpr int kMaxWords = 4;
    static constexpr char kMagic[4] = {'M', 'W', 'R', 'A'};
    static constexpr uint32_t kVersion = 1;
    static constexpr size_t kRecordBytes = 16;
    // No valid file holds more (a damaged count is refused before it is read).
    static constexpr uint32_t kMaxCount = 1u << 22;

    using Run = std::array<int32_t, kMaxWords>;

    // Replaces the set with the file's; on any fault false and the set as it was.
    bool Load(const char* path);
    // Whether the n words ids[0..n) are a run of the set (false for n outside 2..4).
    bool Contains(const int32_t* ids, int n) const;
    size_t GetCount() const { return runs.size(); }

private:
    std::vector<Run> runs;
};

#endif
