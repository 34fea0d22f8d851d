#ifndef MORV_CTRANSLITKINDMODEL_H
#define MORV_CTRANSLITKINDMODEL_H

#include <cstddef>
#include <cstdint>
#include <vector>

// Whether a name written in transliteration characters is a place or a person
// (TranslitKind.tk): a logistic model the trainer learns from the corpus's
// foreign place names against its transliterated person names. The name
// stage's transliteration model only says that a run of characters is a
// foreign name; which kind it is shows in its endings (亚, 尼亚, 斯坦, 兰), its
// openings and the characters around it (在, 到, 访问, 首都 before a place; 说,
// 总统 after a person).
//
// The features of a name, each a key (Key) with a weight in hundredths of a
// natural log; their sum is the log odds of a place:
//   B        always (the prior);
//   W        the whole name (a name the corpus shows often is what it was);
//   E1 E2 E3 the name's last one, two, three characters;
//   S1 S2    its first one, two characters;
//   G        each pair of neighbouring characters inside it;
//   L        its length in characters (3, 4, 5, 6 for six and more);
//   P1 P2    the one, two characters just before it;
//   N1 N2    the one, two characters just after it;
//   PW NW    the words just before and after it, when the caller knows them
//            (访问, 首都 before a place; 总统, 表示 beside a person).
// Characters are cut as the engine cuts GBK text (a byte below 0x80 alone).
class CTranslitKindModel {
public:
    static constexpr char kMagic[4] = {'M', 'T', 'K', 'D'};
    static constexpr uint32_t kVersion = 1;
    static constexpr int kHeaderBytes = 16;
    static constexpr int kRecordBytes = 8; // u32 key, i16 weight, u16 reserved (0)
    static constexpr uint32_t kMaxCount = 1u << 22;
    static constexpr int kMaxWeight = 1000; // ±10 in natural-log units

    CTranslitKindModel() = default;
    virtual ~CTranslitKindModel() = default;

    // False (keeping what it held) when the file cannot be read, its magic,
    // version or reserved fields are wrong, its size is not what its count
    // demands, keys are not strictly increasing or a weight is out of range.
    bool Load(const char* path);
    bool IsLoaded() const { return loaded; }
    int GetFeatureCount() const { return static_cast<int>(keys.size()); }

    // A word beside a name: byte offsets in the text (start < 0: none known).
    struct Word {
        int start;
        int end;
    };
    // The keys of the name [start, end) of text (byte offsets, GBK), appended
    // to out. The trainer and the engine both read names through this.
    static void Features(const char* text, int length, int start, int end, std::vector<uint32_t>& out,
                         Word previous = {-1, -1}, Word next = {-1, -1});
    // The key of a feature: its kind (as "E2") and its characters.
    static uint32_t Key(const char* kind, const char* bytes, int count);

    // The log odds of a place, in hundredths, of the name [start, end).
    int Score(const char* text, int length, int start, int end, Word previous = {-1, -1}, Word next = {-1, -1}) const;
    // The weight of one key (0 for a key the model lacks).
    int Weight(uint32_t key) const;

private:
    std::vector<uint32_t> keys; // strictly increasing
    std::vector<int16_t> weights;
    bool loaded = false;
};

#endif
