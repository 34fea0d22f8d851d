#include "tools/trainer/EntityRoleScheme.h"

#include <algorithm>

#include "segment/SpecialWords.h"
#include "tools/trainer/CorpusNames.h"
#include "tools/trainer/EntityAutomaton.h"
#include "tools/trainer/GbkChars.h"

namespace {

// The index of 未##人 among the special words.
constexpr int kPersonClass = 3;
// Count given to a role a word that may open a name was not seen in.
constexpr int32_t kBackoffRoleCount = 1;
// A role inside names seen at most this often with a word that shows more than
// kRareInsideShare times as many roles in all is dropped.
constexpr int32_t kRareInsideCount = 4;
constexpr int64_t kRareInsideShare = 1000;

} // namespace

EntityRoleScheme::EntityRoleScheme(std::string t, int code, std::vector<std::string> opening,
                                   std::vector<std::string> inner)
    : tag(std::move(t)), tagCode(code), openingTags(std::move(opening)), innerTags(std::move(inner))
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
    // A compound of the tag is one name; a word of the tag is one too, also
    // inside a compound of another tag (玉溪 in [玉溪/ns 卷烟厂/n]nt): the
    // recogniser finds both and keeps the larger.
    std::vector<Entity> found;
    size_t next = 0; // the next compound
    for (size_t k = 0; k < p.tokens.size();) {
        if (next < p.compounds.size() && p.compounds[next].first == k && p.compounds[next].tag == tag) {
            const CorpusCompound& c = p.compounds[next++];
            Entity e{offsets[c.first], offsets[c.last + 1], offsets[c.last + 1], kCompound};
            for (size_t j = c.first; j < c.last; ++j)
                e.wordEnds.push_back(offsets[j + 1]);
            found.push_back(std::move(e));
            k = c.last + 1;
            continue;
        }
        if (next < p.compounds.size() && p.compounds[next].last == k)
            ++next;
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
    // A token starts a word where the entity or one of its inner words starts,
    // and ends one where the entity or one of its inner words ends.
    bool startsWord = start == e.start, endsWord = end == e.end;
    for (int w : e.wordEnds) {
        startsWord = startsWord || w == start;
        endsWord = endsWord || w == end;
    }
    if (start == e.start)
        return endsWord ? kFirst : kFirstPiece;
    if (end == e.end)
        return startsWord ? kLast : kLastPiece;
    if (startsWord)
        return endsWord ? kInner : kInnerBegin;
    return endsWord ? kInnerEnd : kInnerMiddle;
}

void EntityRoleScheme::CollectTags(const std::vector<Paragraph>& paragraphs)
{
    std::unordered_map<std::string, std::map<std::string, int32_t>> tags;
    for (const Paragraph& p : paragraphs)
        for (const CorpusToken& t : p.tokens)
            ++tags[t.word][t.tag];
    majorityTags.clear();
    for (const auto& w : tags) {
        int32_t total = 0;
        for (const auto& t : w.second)
            total += t.second;
        for (const auto& t : w.second)
            if (t.second * 2 > total)
                majorityTags.emplace(w.first, t.first);
    }
}

void EntityRoleScheme::CompleteLexicon(std::vector<std::map<int, int32_t>>& counts,
                                       const std::vector<std::string>& words) const
{
    using namespace entityrole;
    const int inside[] = {kFirst, kFirstPiece, kInner, kInnerBegin, kInnerMiddle, kInnerEnd, kLast, kLastPiece};
    for (size_t id = 0; id < counts.size() && id < words.size(); ++id) {
        auto& c = counts[id];
        int64_t total = 0;
        for (const auto& e : c)
            total += e.second;
        for (int r : inside) {
            const auto found = c.find(r);
            if (found != c.end() && found->second <= kRareInsideCount && found->second * kRareInsideShare < total)
                c.erase(found);
        }
        if (id < SpecialWords::kCount)
            continue;
        const auto majority = majorityTags.find(words[id]);
        if (majority == majorityTags.end())
            continue;
        const auto is = [&](const std::vector<std::string>& tags) {
            return std::find(tags.begin(), tags.end(), majority->second) != tags.end();
        };
        if (is(openingTags)) {
            c.emplace(kFirst, kBackoffRoleCount);
            c.emplace(kInner, kBackoffRoleCount);
        } else if (is(innerTags)) {
            c.emplace(kInner, kBackoffRoleCount);
        }
    }
}

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
