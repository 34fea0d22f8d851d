#ifndef MORV_TRAINER_CHARCLASSSOURCE_H
#define MORV_TRAINER_CHARCLASSSOURCE_H

#include <cstdint>
#include <string>
#include <vector>

class CCharset;

// The readable source of the character-class table (data/charclasses.txt):
// "class N" sections listing characters, ranges FIRST..LAST and 0xHH keys.
// Compiles to charset.type: a 4-byte header, then 65536 class bytes.
class CharClassSource {
public:
    CharClassSource();
    virtual ~CharClassSource() = default;

    // False with messages (line numbers) when the file is missing or malformed.
    bool Load(const std::string& path);
    bool Parse(const std::string& text);
    const std::vector<std::string>& GetErrors() const { return errors; }

    int GetClass(int key) const { return key < 0 || key > 0xFFFF ? -1 : table[key]; }
    void FillCharset(CCharset& charset) const;
    bool WriteCharsetFile(const std::string& path) const;

    static constexpr uint8_t kHeader[4] = {'M', 'C', 'C', '1'};

private:
    bool ParseItem(const std::string& item, std::vector<int>& keys, std::string& message);

    std::vector<uint8_t> table;
    std::vector<std::string> errors;
};

#endif
