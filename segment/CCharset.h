#ifndef MORV_CCHARSET_H
#define MORV_CCHARSET_H

#include <cstdint>
#include <vector>

// The character-class table (charset.type): a 4-byte header kept as it is, then
// one class byte per character key 0..65535.
class CCharset {
public:
    static constexpr int kKeyCount = 65536;
    static constexpr int kFileSize = 4 + kKeyCount;

    CCharset();
    virtual ~CCharset() = default;

    // False when the file cannot be opened or is not kFileSize bytes long; the
    // table held before then stays.
    bool Load(const char* path);
    // -1 for a key outside 0..65535, else the class 0..255.
    int GetClass(int key) const
    {
        return (key < 0 || key >= kKeyCount) ? -1 : classTable[static_cast<unsigned>(key)];
    }
    // For tools and tests that build tables in memory.
    void SetClass(int key, uint8_t cls) { classTable.at(static_cast<unsigned>(key)) = cls; }
    const uint8_t* GetFileHeader() const { return fileHeader; }

private:
    std::vector<uint8_t> classTable;
    uint8_t fileHeader[4] = {0, 0, 0, 0};
};

#endif
