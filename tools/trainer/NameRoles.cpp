#include "tools/trainer/NameRoles.h"

#include "tools/trainer/ModelWriter.h"

using namespace role;

RoleAutomaton::RoleAutomaton()
{
    const int start = AddState(false, 0);
    const int surname = AddState(false, 0);
    // Surname + first given character needs the second: accepting it alone found
    // more words that merely begin with a surname than one-character given names.
    const int surnameGiven1 = AddState(false, 0);
    const int fused = AddState(false, 0); // 王国/华
    const int fullName = AddState(true, nametag::kFullName);
    const int prefix = AddState(false, 0);
    const int prefixed = AddState(true, nametag::kSurnameForm);
    const int foreign1 = AddState(false, 0);
    const int foreignMid = AddState(false, 0);
    const int foreignEnd = AddState(true, nametag::kForeign);
    (void)start;

    Link(0, kSurname, surname);
    Link(0, kSurnameGiven1, fused);
    Link(0, kPrefix, prefix);
    Link(0, kForeignFirst, foreign1);

    Link(surname, kGiven1, surnameGiven1);
    Link(surname, kSingleGiven, fullName);
    Link(surname, kWholeGiven, fullName);
    Link(surname, kGiven2, fullName);
    Link(surnameGiven1, kGiven2, fullName);
    Link(surnameGiven1, kSingleGiven, fullName);
    Link(fused, kGiven2, fullName);
    Link(fused, kSingleGiven, fullName);

    Link(prefix, kSurname, prefixed);

    Link(foreign1, kForeignMiddle, foreignMid);
    Link(foreign1, kForeignLast, foreignEnd);
    Link(foreignMid, kForeignMiddle, foreignMid);
    Link(foreignMid, kForeignLast, foreignEnd);
    Link(foreignEnd, kForeignMiddle, foreignMid); // 约翰·施特劳斯: the name goes on after ·
}

int RoleAutomaton::AddState(bool accept, int output)
{
    accepting.push_back(accept ? 1 : 0);
    outputs.push_back(accept ? output : 0);
    transitions.insert(transitions.end(), kCount, -1);
    return static_cast<int>(accepting.size()) - 1;
}

void RoleAutomaton::Link(int from, int code, int to)
{
    transitions.at(static_cast<size_t>(from) * kCount + code) = to;
}

int RoleAutomaton::Next(int state, int code) const
{
    if (state < 0 || state >= StateCount() || code < 0 || code >= kCount)
        return -1;
    return transitions[static_cast<size_t>(state) * kCount + static_cast<size_t>(code)];
}

bool RoleAutomaton::Write(const std::string& path) const
{
    return ModelWriter::WriteAutomaton(path, kCount, accepting, outputs, transitions);
}
