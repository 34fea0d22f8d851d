#ifndef MORV_TRAINER_NAMEROLES_H
#define MORV_TRAINER_NAMEROLES_H

#include <cstdint>
#include <string>
#include <vector>

// The person-name role inventory (data/roles.md explains each role) and the
// automaton over role codes that nr.fsa holds.
namespace role {
enum Code : uint8_t {
    kSurname = 1,       // 江 in 江泽民, 欧阳 in 欧阳中石
    kGiven1 = 2,        // 泽: first character of a two-character given name
    kGiven2 = 3,        // 民: second character of a two-character given name
    kSingleGiven = 4,   // 鹏 in 李鹏: a one-character given name
    kWholeGiven = 5,    // 国华 in 王国华 when segmentation keeps it one word
    kPrefix = 6,        // 老 小 阿 before a surname: 老张
    kBefore = 7,        // the word just before a name
    kAfter = 8,         // the word just after a name
    kBetween = 9,       // a word between two names (李鹏、江泽民)
    kForeignFirst = 10, // first token of a transliterated name
    kForeignMiddle = 11,
    kForeignLast = 12,
    kSurnameGiven1 = 13, // 王国 in 王国/华: surname and first given character as one word
    kSentenceBegin = 20,
    kSentenceEnd = 21,
    kOther = 22, // every other token; the role tagger's default
    kCount = 23,
};
}

// Tag codes the automaton gives recognised names.
namespace nametag {
constexpr int kFullName = 24;   // surname + given name (nr)
constexpr int kSurnameForm = 25; // prefix + surname, 老张 (nr1)
constexpr int kForeign = 28;    // transliterated name (nrf)
}

// Deterministic automaton over role codes. Context roles (before, after,
// between, markers, other) have no transition from the start state, so they
// never begin a run; every name needs at least two tokens.
class RoleAutomaton {
public:
    RoleAutomaton();
    virtual ~RoleAutomaton() = default;

    bool Write(const std::string& path) const;
    int Next(int state, int code) const;
    bool IsAccepting(int state) const { return accepting.at(static_cast<size_t>(state)) == 1; }
    int Output(int state) const { return outputs.at(static_cast<size_t>(state)); }
    int StateCount() const { return static_cast<int>(accepting.size()); }

private:
    int AddState(bool accept, int output);
    void Link(int from, int code, int to);

    std::vector<int32_t> accepting;
    std::vector<int32_t> outputs;
    std::vector<int32_t> transitions; // state x role::kCount
};

#endif
