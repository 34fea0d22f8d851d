#include "tagging/CTranslitModel.h"

#include <cstring>

#include "lexicon/BinaryFile.h"

namespace {

int16_t I16(const unsigned char* p) { return static_cast<int16_t>(p[0] | p[1] << 8); }

} // namespace

constexpr char CTranslitModel::kMagic[4];

bool CTranslitModel::Load(const char* path)
{
    std::vector<unsigned char> bytes;
    uint32_t count = 0;
    if (!BinaryFile::ReadRecords(path, kMagic, kVersion, static_cast<uint32_t>(kKeyCount), kRecordBytes, bytes, count))
        return false;
    std::vector<Entry> newTable(kKeyCount);
    std::vector<bool> newKnown(kKeyCount, false);
    int previous = -1;
    bool unseen = false;
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char* r = &bytes[kHeaderBytes + static_cast<size_t>(i) * kRecordBytes];
        const int key = r[0] | r[1] << 8;
        if (key <= previous || I16(r + 10) != 0)
            return false;
        previous = key;
        Entry e;
        e.inName = I16(r + 2);
        e.place = I16(r + 4);
        e.before = I16(r + 6);
        e.after = I16(r + 8);
        for (int16_t v : {e.inName, e.place, e.before, e.after})
            if (v < -kMaxValue || v > kMaxValue)
                return false;
        newTable[static_cast<size_t>(key)] = e;
        newKnown[static_cast<size_t>(key)] = key != 0;
        unseen = unseen || key == 0;
    }
    if (!unseen) // every file names what an unseen character says
        return false;
    table.swap(newTable);
    known.swap(newKnown);
    chars = static_cast<int>(count) - 1;
    return true;
}
