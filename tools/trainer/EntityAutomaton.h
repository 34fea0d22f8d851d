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
enum Code : uint8_t {
    kFirst = 1,      // first token of a name of several tokens, ending a word: 中国 in 中国/国际/广播/电台
    kFirstPiece = 2, // first token, the word going on in the next one: 格 in 格/拉/斯/哥
    kInner = 3,      // an inner token ending a word: 国际, 广播
    kInnerPiece = 4, // an inner token, the word going on: 拉, 斯
    kLast = 5,       // last token: 电台, 哥, the suffix word (省 市 公司 大学 ...)
    kWhole = 6,      // a token that is a whole name by itself: 北京, 新华社
    kBefore = 7,     // the token just before a name
    kAfter = 8,      // the token just after one
    kBetween = 9,    // a token just after one name and just before the next
    kSentenceBegin = 10,
    kSentenceEnd = 11,
    kOther = 12, // every other token; the default role, the highest code
    kCount = 13,
};
}

// Deterministic automaton over the entity roles: first token, any number of
// inner tokens, last token. Only the last token accepts, so a name is always
// two or more tokens, and every context role fails at once. The output code of
// the accepting state is the name's tag code; the output code of a state that
// a piece role enters carries kWordGoesOn, which tells the recogniser that the
// token read into it and the next one are one word.
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
