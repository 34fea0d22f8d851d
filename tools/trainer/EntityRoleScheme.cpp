#include "tools/trainer/EntityRoleScheme.h"

#include "segment/SpecialWords.h"
#include "tools/trainer/CorpusNames.h"
#include "tools/trainer/EntityAutomaton.h"
#include "tools/trainer/GbkChars.h"

namespace {

// The index of 未##人 among the special words.
constexpr int kPersonClass = 3;

} // namespace

EntityRoleScheme::EntityRoleScheme(std::string t, int code) : tag(std::move(t)), tagCode(code)
{
    inventory.count = entityrole::kCount;
    inventory.sentenceBegin = entityrole::kSentenceBegin;
    inventory.sentenceEnd = entityrole::kSentenceEnd;
    inventory.other = entityrole::kOther;
    inventory.before = entityrole::kBefore;
    inventory.after = entityrole::kAfter;
    inventory.between = entityrole::kBetween;
}

std::vector<RoleScheme::Entity> EntityRoleScheme::FindEntities(const Paragraph& p,
                                                               const std::vector<int>& offsets) const
{
    std::vector<Entity> found;
    size_t next = 0; // the next compound
    for (size_t k = 0; k < p.tokens.size();) {
        if (next < p.compounds.size() && p.compounds[next].first == k) {
            const CorpusCompound& c = p.compounds[next++];
            if (c.tag == tag) {
                Entity e{offsets[c.first], offsets[c.last + 1], offsets[c.last + 1], kCompound};
                for (size_t j = c.first; j < c.last; ++j)
                    e.wordEnds.push_back(offsets[j + 1]);
                found.push_back(std::move(e));
            }
            k = c.last + 1;
            continue;
        }
        if (p.tokens[k].tag == tag)
            found.push_back({offsets[k], offsets[k + 1], offsets[k + 1], kWord});
        ++k;
    }
    return found;
}

int EntityRoleScheme::InsideRole(const Entity& e, int start, int end) const
{
    using namespace entityrole;
    if (start == e.start && end == e.end)
        return kWhole;
    // A token ends a word where the entity ends or one of its inner words does;
    // a token that stops inside a word is a piece of it.
    bool endsWord = end == e.end;
    for (int w : e.wordEnds)
        endsWord = endsWord || w == end;
    if (end == e.end)
        return kLast;
    if (start == e.start)
        return endsWord ? kFirst : kFirstPiece;
    return endsWord ? kInner : kInnerPiece;
}

void EntityRoleScheme::CompleteLexicon(std::vector<std::map<int, int32_t>>&, const std::vector<std::string>&) const {}

bool EntityRoleScheme::WriteAutomaton(const std::string& path) const
{
    return EntityAutomaton(tagCode).Write(path);
}

std::vector<RoleScheme::Entity> EntityRoleScheme::ClassSpans(const Paragraph& p, const std::vector<int>& offsets) const
{
    std::vector<Entity> spans;
    for (const CorpusNames::Group& g : CorpusNames::GroupNames(p.tokens)) {
        // A name of one character is never merged.
        if (g.first == g.last && gbk::CharCount(p.tokens[g.first].word) < 2)
            continue;
        spans.push_back({offsets[g.first], offsets[g.last + 1], 0, kPersonClass});
    }
    return spans;
}
