#include "lexicon/CUnigram.h"

#include "lexicon/BinaryFile.h"

bool CUnigram::Load(const char* path)
{
    BinaryFile file(path, "rb");
    if (!file.IsOpen())
        return false;
    // The three header fields are the table even when it is empty: a file without
    // them (an empty file) is no table.
    int32_t header[3] = {0, 0, 0};
    if (file.Read(header, sizeof header) != sizeof header)
        return false;
    const int32_t newEntryCount = header[0];
    const int32_t newLastIndex = header[1];
    // lastIndex + 1 frequencies must be something this file could hold; a
    // negative entry count, lastIndex below -1, or bytes after the last
    // frequency cannot be right.
    if (newEntryCount < 0 || newLastIndex < -1 ||
        !BinaryFile::PlausibleCount(int64_t(newLastIndex) + 1, 4, file.Remaining()) ||
        file.Remaining() > (int64_t(newLastIndex) + 1) * 4)
        return false;
    ModelArray<int32_t> table(static_cast<size_t>(newLastIndex) + 1, 0);
    // Frequencies a short file does not supply read as 0.
    file.Read(table.data(), table.size() * sizeof(int32_t));
    entryCount = newEntryCount;
    lastIndex = newLastIndex;
    totalFrequency = header[2];
    frequencies.swap(table);
    return true;
}
