#include "segment/CCharset.h"

#include "lexicon/BinaryFile.h"

CCharset::CCharset() : classTable(kKeyCount, 0) {}

bool CCharset::Load(const char* path)
{
    BinaryFile file(path, "rb");
    if (!file.IsOpen())
        return false;
    // Every key has its class byte, so a class table has exactly one length. A
    // shorter file (empty, cut) would leave the keys it lacks without their class
    // (digits cut one by one, no sentence ends); a longer one is some other file.
    if (file.Size() != kFileSize)
        return false;
    std::vector<uint8_t> table(kKeyCount, 0);
    uint8_t header[4] = {0, 0, 0, 0};
    if (file.Read(header, sizeof header) != sizeof header || file.Read(table.data(), table.size()) != table.size())
        return false;
    for (int i = 0; i < 4; ++i)
        fileHeader[i] = header[i];
    classTable.swap(table);
    return true;
}
