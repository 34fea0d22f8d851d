#ifndef MORV_TRAINER_ENTITYAUTOMATON_H
#define MORV_TRAINER_ENTITYAUTOMATON_H

#include <cstdint>
#include <string>
#include <vector>

#include "tagging/CEntityRecognizer.h"

// The role inventory of the place and organisation models (ns.*, nt.*; data/
// places.md explains each role) and the automaton over role codes that ns.fsa
// and nt.fsa hold.
namespace entityrole {
// Inside a name of two or more tokens, a token's role tells where it lies and
// whether it starts and ends a word of the name: in 中国/国际/广播/电台 every
// token is a word, in 格/拉/斯/哥 the four are one word, in 八方/集团 with the
// new word 八方 read as 八/方 the first two are one word.
enum Code : uint8_t {
    kFirst = 1,      // first token, a word by itself: 中国 in 中国/国际/广播/电台
    kFirstPiece = 2, // first token, its word going on: 格 in 格/拉/斯/哥
    kInner = 3,      // an inner token, a word by itself: 国际, 广播
    kInnerBegin = 4, // an inner token starting a word that goes on
    kInnerMiddle = 5, // an inner token inside a word: 拉, 斯
    kInnerEnd = 6,   // an inner token ending a word begun before
    kLast = 7,       // last token, a word by itself: 电台, the suffix word (省 市 公司 大学 ...)
    kLastPiece = 8,  // last token, ending a word begun before: 哥
    kWhole = 9,      // a token that is a whole name by itself: 北京, 新华社
    kBefore = 10,    // the token just before a name
    kAfter = 11,     // the token just after one
    kBetween = 12,   // a token just after one name and just before the next
    kSentenceBegin = 13,
    kSentenceEnd = 14,
    kOther = 15, // every other token; the default role, the highest code
    kCount = 16,
};
}

// Deterministic automaton over the entity roles: a first token, inner tokens,
// a last token, with a word that a token leaves open closed by a later one.
// Only the last token accepts, so a name is always two or more tokens, and
// every context role fails at once. The output code of the accepting state is
// the name's tag code; the output code of the state inside an open word
// carries kWordGoesOn, which tells the recogniser that the token read into it
// and the next one are one word.
class EntityAutomaton {
public:
    static constexpr int32_t kWordGoesOn = CEntityRecognizer::kWordGoesOn;

    explicit EntityAutomaton(int tagCode);
    virtual ~EntityAutomaton() = default;

    bool Write(const std::string& path) const;
    int Next(int state, int code) const;
    bool IsAccepting(int state) const { return accepting.at(static_cast<size_t>(state)) == 1; }
    int Output(int state) const { return outputs.at(static_cast<size_t>(state)); }
    int StateCount() const { return static_cast<int>(accepting.size()); }

private:
    int AddState(bool accept, int32_t output);
    void Link(int from, int code, int to);

    std::vector<int32_t> accepting;
    std::vector<int32_t> outputs;
    std::vector<int32_t> transitions; // state x entityrole::kCount
};

#endif
