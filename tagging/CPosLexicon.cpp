#include "tagging/CPosLexicon.h"

#include <algorithm>
#include <cstring>

#include "lexicon/BinaryFile.h"
#include "lexicon/MappedFile.h"

namespace {

const size_t kRecordBytes = 8;

int32_t Int32At(const uint8_t* p)
{
    int32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

void PutInt32(uint8_t* p, int32_t value) { std::memcpy(p, &value, sizeof value); }

// Decodes `count` 8-byte records from `bytes` (the `have` bytes a file still
// holds). Each record's bytes start out as `preset`, so whatever a short file
// does not supply keeps the preset value, byte for byte.
template <class Decode>
void DecodeRecords(const uint8_t* bytes, size_t have, size_t count, const uint8_t (&preset)[kRecordBytes],
                   Decode decode)
{
    const size_t whole = have / kRecordBytes < count ? have / kRecordBytes : count;
    for (size_t i = 0; i < whole; ++i)
        decode(i, bytes + i * kRecordBytes);
    for (size_t i = whole; i < count; ++i) {
        uint8_t record[kRecordBytes];
        std::memcpy(record, preset, kRecordBytes);
        if (i == whole)
            std::memcpy(record, bytes + i * kRecordBytes, have - whole * kRecordBytes);
        decode(i, record);
    }
}

} // namespace

bool CPosLexicon::Load(const char* path)
{
    MappedFile file(path);
    if (!file.IsOpen())
        return false;
    // M and W are the lexicon even when it is empty: a file without them (an
    // empty file) is no lexicon.
    if (file.Size() < 8)
        return false;
    const int32_t m = Int32At(file.Data());
    const int32_t w = Int32At(file.Data() + 4);
    const int64_t records = int64_t(m) + w;
    const size_t available = file.Size() - 8;
    if (m < 0 || w < 0 || !BinaryFile::PlausibleCount(records, kRecordBytes, int64_t(available)) ||
        int64_t(available) > records * int64_t(kRecordBytes))
        return false;
    const uint8_t* body = file.Data() + 8;
    const size_t entryBytes = std::min(available, size_t(m) * kRecordBytes);

    // Every record is decoded, from the file or from its preset.
    ModelArray<Entry> newEntries(static_cast<size_t>(m));
    uint8_t entryPreset[kRecordBytes] = {255, 0, 0, 0, 0, 0, 0, 0};
    DecodeRecords(body, entryBytes, newEntries.size(), entryPreset, [&](size_t i, const uint8_t* p) {
        newEntries[i].tag = p[0];
        newEntries[i].frequency = Int32At(p + 4);
    });

    ModelArray<IndexRecord> newIndex(static_cast<size_t>(w));
    uint8_t indexPreset[kRecordBytes];
    PutInt32(indexPreset, -1);
    PutInt32(indexPreset + 4, -1);
    // Records the file supplies whole must be sound. A record cut short keeps the
    // preset 0xFF in its high bytes, which reads as "no entries".
    const size_t whole = (available - entryBytes) / kRecordBytes;
    bool sound = true;
    int longest = 0;
    DecodeRecords(body + entryBytes, available - entryBytes, newIndex.size(), indexPreset,
                  [&](size_t i, const uint8_t* p) {
        const IndexRecord record{Int32At(p), Int32At(p + 4)};
        newIndex[i] = record;
        if (i >= whole)
            return;
        if (!RecordIsSound(record, m))
            sound = false;
        else if (record.first >= 0 && record.count > longest)
            longest = record.count;
    });
    if (!sound)
        return false;

    entries.swap(newEntries);
    index.swap(newIndex);
    longestRecord = longest;
    return true;
}

bool CPosLexicon::RecordIsSound(const IndexRecord& record, int32_t entryCount)
{
    // -1 (with any count) is a word without entries. Otherwise the word's entries
    // lie within the entry array, one per tag code at most: a record beyond that
    // is another file read as a lexicon, and would hand the tagger hundreds of
    // thousands of candidates for one token.
    if (record.first == -1)
        return true;
    return record.first >= 0 && record.count >= 0 && record.count <= kMaxEntriesPerWord &&
           int64_t(record.first) + record.count <= entryCount;
}
