#ifndef MORV_CTRANSLITMODEL_H
#define MORV_CTRANSLITMODEL_H

#include <cstddef>
#include <cstdint>
#include <vector>

// The transliteration model (Translit.tm): what each character says about the
// names written in transliteration characters (foreign persons and places),
// learnt by the trainer from the corpus's transliterated person names and the
// place names written like them. Per character key, in hundredths of a
// natural logarithm:
//   inName  how much likelier the character is inside such a name than in text;
//   place   how much likelier inside a foreign place name than a person name;
//   before  as the character just before a name: place rather than person;
//   after   as the character just after a name: place rather than person.
// Key 0 holds the values of a character the corpus never showed.
class CTranslitModel {
public:
    struct Entry {
        int16_t inName = 0;
        int16_t place = 0;
        int16_t before = 0;
        int16_t after = 0;
    };
    static constexpr char kMagic[4] = {'M', 'T', 'R', 'L'};
    static constexpr uint32_t kVersion = 1;
    static constexpr int kHeaderBytes = 16;
    static constexpr int kRecordBytes = 12;
    static constexpr int kKeyCount = 65536;
    static constexpr int kMaxValue = 1000; // ±10 in natural-log units

    CTranslitModel() = default;
    virtual ~CTranslitModel() = default;

    // False (keeping what it held) when the file cannot be read, its magic,
    // version or reserved fields are wrong, its size is not what its count
    // demands, keys are not strictly increasing or a value is out of range.
    bool Load(const char* path);
    bool IsLoaded() const { return !table.empty(); }
    int GetCharCount() const { return chars; }
    // The entry of a character key (GBK code, below 65536); the unseen
    // character's for a key the model lacks.
    const Entry& Of(int key) const
    {
        return key > 0 && key < kKeyCount && known[static_cast<size_t>(key)] ? table[static_cast<size_t>(key)]
                                                                             : table[0];
    }

private:
    std::vector<Entry> table;
    std::vector<bool> known;
    int chars = 0;
};

#endif
