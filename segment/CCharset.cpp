#include "segment/CCharset.h"

#include "lexicon/BinaryFile.h"

CCharset::CCharset() : classTable(kKeyCount, 0) {}

bool CCharset::Load(const char* path)
{
    BinaryFile file(path, "rb");
    if (!file.IsOpen())
        return false;
    // A short file leaves the rest of the table at class 0 (no special role).
    std::vector<uint8_t> table(kKeyCount, 0);
    uint8_t header[4] = {0, 0, 0, 0};
    file.Read(header, sizeof header);
    file.Read(table.data(), table.size());
    for (int i = 0; i < 4; ++i)
        fileHeader[i] = header[i];
    classTable.swap(table);
    return true;
}
