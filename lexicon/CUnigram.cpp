#include "lexicon/CUnigram.h"

#include "lexicon/BinaryFile.h"

bool CUnigram::Load(const char* path)
{
    BinaryFile file(path, "rb");
    if (!file.IsOpen())
        return false;
    int32_t header[3] = {0, 0, 0};
    file.Read(header, sizeof header);
    const int32_t newEntryCount = header[0];
    const int32_t newLastIndex = header[1];
    // lastIndex + 1 frequencies must be something this file could hold; a
    // negative entry count or lastIndex below -1 cannot be right.
    if (newEntryCount < 0 || newLastIndex < -1 ||
        !BinaryFile::PlausibleCount(int64_t(newLastIndex) + 1, 4, file.Remaining()))
        return false;
    std::vector<int32_t> table(static_cast<size_t>(newLastIndex) + 1, 0);
    // Frequencies a short file does not supply read as 0.
    file.Read(table.data(), table.size() * sizeof(int32_t));
    entryCount = newEntryCount;
    lastIndex = newLastIndex;
    totalFrequency = header[2];
    frequencies.swap(table);
    return true;
}

int CUnigram::Frequency(int wordId) const
{
    if (wordId < 0 || wordId >= entryCount || wordId > lastIndex)
        return 0;
    return frequencies[static_cast<size_t>(wordId)];
}
