#include "tools/trainer/EntityAutomaton.h"

// The recogniser rewrites these roles where a merge stops.
static_assert(entityrole::kFirst == CEntityRecognizer::kRoleFirst && entityrole::kFirstPiece == CEntityRecognizer::kRoleFirstPiece &&
                  entityrole::kInner == CEntityRecognizer::kRoleInner &&
                  entityrole::kInnerBegin == CEntityRecognizer::kRoleInnerBegin &&
                  entityrole::kInnerEnd == CEntityRecognizer::kRoleInnerEnd &&
                  entityrole::kLast == CEntityRecognizer::kRoleLast &&
                  entityrole::kLastPiece == CEntityRecognizer::kRoleLastPiece &&
                  entityrole::kWhole == CEntityRecognizer::kRoleWhole,
              "entity role codes");

#include "tools/trainer/ModelWriter.h"

using namespace entityrole;

EntityAutomaton::EntityAutomaton(int tagCode)
{
    const int start = AddState(false, 0);
    const int boundary = AddState(false, 0);        // a word of the name has ended
    const int inside = AddState(false, kWordGoesOn); // a word goes on
    const int name = AddState(true, tagCode);

    Link(start, kFirst, boundary);
    Link(start, kFirstPiece, inside);
    Link(boundary, kInner, boundary);
    Link(boundary, kInnerBegin, inside);
    Link(boundary, kLast, name);
    Link(inside, kInnerMiddle, inside);
    Link(inside, kInnerEnd, boundary);
    Link(inside, kLastPiece, name);
}

int EntityAutomaton::AddState(bool accept, int32_t output)
{
    accepting.push_back(accept ? 1 : 0);
    outputs.push_back(output);
    transitions.insert(transitions.end(), kCount, -1);
    return static_cast<int>(accepting.size()) - 1;
}

void EntityAutomaton::Link(int from, int code, int to)
{
    transitions.at(static_cast<size_t>(from) * kCount + code) = to;
}

int EntityAutomaton::Next(int state, int code) const
{
    if (state < 0 || state >= StateCount() || code < 0 || code >= kCount)
        return -1;
    return transitions[static_cast<size_t>(state) * kCount + static_cast<size_t>(code)];
}

bool EntityAutomaton::Write(const std::string& path) const
{
    return ModelWriter::WriteAutomaton(path, kCount, accepting, outputs, transitions);
}
