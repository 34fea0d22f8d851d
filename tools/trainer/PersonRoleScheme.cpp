#include "tools/trainer/PersonRoleScheme.h"

#include "segment/SpecialWords.h"
#include "tools/trainer/GbkChars.h"
#include "tools/trainer/NameRoles.h"

// Count given to a given-name role a name character was not seen in.
constexpr int32_t kSharedGivenRoleCount = 1;

namespace {

const char* const kPrefixChars[] = {"\xC0\xCF", "\xD0\xA1", "\xB0\xA2", "\xB4\xF3"}; // 老 小 阿 大

} // namespace

PersonRoleScheme::PersonRoleScheme(const CorpusNames& n) : names(n)
{
    inventory.count = role::kCount;
    inventory.sentenceBegin = role::kSentenceBegin;
    inventory.sentenceEnd = role::kSentenceEnd;
    inventory.other = role::kOther;
    inventory.before = role::kBefore;
    inventory.after = role::kAfter;
    inventory.between = role::kBetween;
}

std::vector<RoleScheme::Entity> PersonRoleScheme::FindEntities(const Paragraph& p,
                                                               const std::vector<int>& offsets) const
{
    std::vector<Entity> found;
    for (const CorpusNames::Group& g : CorpusNames::GroupNames(p.tokens)) {
        Entity n{offsets[g.first], offsets[g.last + 1], offsets[g.first + 1], kChinese};
        const std::string& w = p.tokens[g.first].word;
        if (g.last == g.first) {
            std::vector<std::string> cs = gbk::Chars(w);
            bool prefix = false;
            for (const char* pc : kPrefixChars)
                prefix = prefix || (cs.size() == 2 && cs[0] == pc);
            if (cs.size() == 1)
                n.type = kChinese;
            else if (cs.size() == 2 && prefix && names.SurnameCount(cs[1]) >= 3) {
                n.type = kPrefixed;
                n.split = n.start + static_cast<int>(cs[0].size());
            } else if (cs.size() >= 3 || w.find(CorpusNames::kMiddleDot) != std::string::npos ||
                       (names.IsForeignChar(cs[0]) && names.IsForeignChar(cs[1]) && names.SurnameCount(cs[0]) < 10))
                n.type = kForeign;
            else
                n.type = kGivenAlone;
        }
        found.push_back(n);
    }
    return found;
}

int PersonRoleScheme::InsideRole(const Entity& n, int start, int end) const
{
    using namespace role;
    const bool atStart = start == n.start, atEnd = end == n.end;
    switch (n.type) {
    case kChinese:
        if (atStart && end == n.split)
            return n.split == n.end ? kOther : kSurname;
        if (atStart)
            return atEnd ? kOther : kSurnameGiven1;
        if (start == n.split && atEnd)
            return n.end - n.split <= 2 ? kSingleGiven : kWholeGiven;
        if (start == n.split)
            return kGiven1;
        return kGiven2;
    case kPrefixed:
        return atStart && end == n.split ? kPrefix : start == n.split && atEnd ? kSurname : kOther;
    case kGivenAlone:
        // The automaton merges no given name standing alone; as given-name roles
        // these tokens would only teach the tagger given names without a surname
        // before them.
        return kOther;
    case kForeign:
        return atStart && atEnd ? kOther : atStart ? kForeignFirst : atEnd ? kForeignLast : kForeignMiddle;
    default:
        return kOther;
    }
}

void PersonRoleScheme::CompleteLexicon(std::vector<std::map<int, int32_t>>& counts,
                                       const std::vector<std::string>& words) const
{
    // A character seen in one given-name position may stand in the others too
    // (刘昕晨 with 晨 seen only as a one-character given name), and a surname
    // character in a given name (林 of 张林): each missing given-name role gets
    // a count of one, so that the automaton can complete the name instead of
    // stopping short or missing it.
    for (size_t id = SpecialWords::kCount; id < counts.size(); ++id) {
        auto& c = counts[id];
        const int given[] = {role::kGiven1, role::kGiven2, role::kSingleGiven};
        bool named = c.count(role::kSurname) > 0;
        for (int r : given)
            named = named || c.count(r) > 0;
        if (!named || gbk::CharCount(words[id]) != 1)
            continue;
        for (int r : given)
            c.emplace(r, kSharedGivenRoleCount);
    }
    // Likewise a character of a transliterated name may come inside another one
    // (奥尔布赖特 ends with 赖特 where 赖 was only seen first).
    for (size_t id = SpecialWords::kCount; id < counts.size(); ++id) {
        auto& c = counts[id];
        if (gbk::CharCount(words[id]) == 1 &&
            (c.count(role::kForeignFirst) || c.count(role::kForeignMiddle) || c.count(role::kForeignLast)))
            c.emplace(role::kForeignMiddle, kSharedGivenRoleCount);
    }
}

bool PersonRoleScheme::WriteAutomaton(const std::string& path) const
{
    return RoleAutomaton().Write(path);
}
