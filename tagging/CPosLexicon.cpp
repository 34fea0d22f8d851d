#include "tagging/CPosLexicon.h"

#include <cstring>

#include "lexicon/BinaryFile.h"

namespace {

const size_t kRecordBytes = 8;
// Records are decoded through a bounded buffer rather than one as large as the file.
const size_t kChunkRecords = 8192;

int32_t Int32At(const uint8_t* p)
{
    int32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

void PutInt32(uint8_t* p, int32_t value) { std::memcpy(p, &value, sizeof value); }

// Reads `count` 8-byte records. Each record's bytes start out as `preset`, so
// whatever a short file does not supply keeps the preset value, byte for byte.
template <class Decode>
void ReadRecords(BinaryFile& file, size_t count, const uint8_t (&preset)[kRecordBytes], Decode decode)
{
    std::vector<uint8_t> buffer(kRecordBytes * (count < kChunkRecords ? count : kChunkRecords));
    for (size_t done = 0; done < count;) {
        const size_t n = count - done < kChunkRecords ? count - done : kChunkRecords;
        for (size_t i = 0; i < n; ++i)
            std::memcpy(&buffer[i * kRecordBytes], preset, kRecordBytes);
        file.Read(buffer.data(), n * kRecordBytes);
        for (size_t i = 0; i < n; ++i)
            decode(done + i, &buffer[i * kRecordBytes]);
        done += n;
    }
}

} // namespace

bool CPosLexicon::Load(const char* path)
{
    BinaryFile file(path, "rb");
    if (!file.IsOpen())
        return false;
    // M and W are the lexicon even when it is empty: a file without them (an
    // empty file) is no lexicon.
    int32_t header[2] = {0, 0};
    if (file.Read(header, sizeof header) != sizeof header)
        return false;
    const int32_t m = header[0];
    const int32_t w = header[1];
    const int64_t records = int64_t(m) + w;
    if (m < 0 || w < 0 || !BinaryFile::PlausibleCount(records, kRecordBytes, file.Remaining()) ||
        file.Remaining() > records * int64_t(kRecordBytes))
        return false;

    ModelArray<Entry> newEntries(static_cast<size_t>(m), Entry{255, 0});
    uint8_t entryPreset[kRecordBytes] = {255, 0, 0, 0, 0, 0, 0, 0};
    ReadRecords(file, newEntries.size(), entryPreset, [&](size_t i, const uint8_t* p) {
        newEntries[i].tag = p[0];
        newEntries[i].frequency = Int32At(p + 4);
    });

    ModelArray<IndexRecord> newIndex(static_cast<size_t>(w), IndexRecord{-1, -1});
    uint8_t indexPreset[kRecordBytes];
    PutInt32(indexPreset, -1);
    PutInt32(indexPreset + 4, -1);
    // Records the file supplies whole must be sound. A record cut short keeps the
    // preset 0xFF in its high bytes, which reads as "no entries".
    const size_t whole = static_cast<size_t>(file.Remaining() / int64_t(kRecordBytes));
    bool sound = true;
    int longest = 0;
    ReadRecords(file, newIndex.size(), indexPreset, [&](size_t i, const uint8_t* p) {
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

const CPosLexicon::Entry* CPosLexicon::Lookup(int wordId, int* count) const
{
    int ignored = 0;
    if (count == nullptr)
        count = &ignored;
    *count = 0;
    if (wordId < 0 || static_cast<size_t>(wordId) >= index.size())
        return nullptr;
    const IndexRecord& record = index[static_cast<size_t>(wordId)];
    if (record.first < 0 || record.count <= 0)
        return nullptr;
    const size_t first = static_cast<size_t>(record.first);
    if (first >= entries.size())
        return nullptr;
    // A damaged record may promise more entries than the array holds: hand out
    // only those that exist.
    const size_t available = entries.size() - first;
    const size_t n = static_cast<size_t>(record.count) < available ? static_cast<size_t>(record.count)
                                                                   : available;
    *count = static_cast<int>(n);
    return &entries[first];
}
