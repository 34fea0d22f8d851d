#ifndef MORV_CUNIGRAM_H
#define MORV_CUNIGRAM_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "lexicon/HugePageAllocator.h"

// Word frequencies by word id (CoreDict.unig): entryCount, lastIndex,
// totalFrequency, then lastIndex + 1 int32 frequencies.
class CUnigram {
public:
    CUnigram() = default;
    virtual ~CUnigram() = default;

    // False when the file cannot be opened, lacks the header or its header
    // cannot be right for its size; the table held then stays. Frequencies a
    // short file lacks read as 0.
    bool Load(const char* path);
    int Frequency(int wordId) const
    {
        if (wordId < 0 || wordId >= entryCount || wordId > lastIndex)
            return 0;
        return frequencies[static_cast<size_t>(wordId)];
    }
    int GetTotalFrequency() const { return totalFrequency; }
    int GetEntryCount() const { return entryCount; }
    // One past the last id with a stored frequency: every id from here on reads 0.
    int GetStoredCount() const { return std::min(entryCount, lastIndex + 1); }

private:
    int32_t entryCount = 0;
    int32_t lastIndex = -1;
    int32_t totalFrequency = 0;
    ModelArray<int32_t> frequencies;
};

#endif
