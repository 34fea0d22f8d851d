#ifndef MORV_CNAMEOPENERS_H
#define MORV_CNAMEOPENERS_H

#include <cstddef>
#include <cstdint>
#include <vector>

class CNameModel;
class CTranslitModel;

// Per character key, what the person-name stage asks of every character of a
// sentence: whether it may open a name (by the name model's own weights for
// it, or its odds in transliterated names) and whether it is likely in
// transliterated names (or is the · that joins their parts). The answers
// depend on the loaded models alone, so one table, built once beside them,
// serves every analyser (64 KB, some 65,000 model reads to build).
class CNameOpeners {
public:
    // A character may open a name when the model's own weights for it favour
    // the first label of a name over O by more than this (in weight units;
    // nearly every character that opens a name in text lies above it) ...
    static constexpr int kOpeningMargin = -800;
    // ... or when it is that much likelier (e) in transliterated names.
    static constexpr int kMinOdds = 100;
    static constexpr int kKeyCount = 65536;

    // translit: none when the stage hears no transliteration model.
    CNameOpeners(const CNameModel& model, const CTranslitModel* translit);
    virtual ~CNameOpeners() = default;

    bool Opens(int key) const { return (flags[static_cast<size_t>(key & 0xFFFF)] & kOpens) != 0; }
    bool Foreign(int key) const { return (flags[static_cast<size_t>(key & 0xFFFF)] & kForeign) != 0; }
    // Whether the table answers for this pair of models.
    bool BuiltFor(const CNameModel& m, const CTranslitModel* t) const { return &m == model && t == translit; }

private:
    static constexpr uint8_t kOpens = 1;
    static constexpr uint8_t kForeign = 2;
    std::vector<uint8_t> flags;
    const CNameModel* model;
    const CTranslitModel* translit;
};

#endif
