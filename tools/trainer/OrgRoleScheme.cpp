#include "tools/trainer/OrgRoleScheme.h"

namespace {

// The index of 未##地 among the special words.
constexpr int kPlaceClass = 4;

} // namespace

std::vector<RoleScheme::Entity> OrgRoleScheme::ClassSpans(const Paragraph& p, const std::vector<int>& offsets) const
{
    std::vector<Entity> spans = EntityRoleScheme::ClassSpans(p, offsets);
    for (size_t k = 0; k < p.tokens.size(); ++k)
        if (p.tokens[k].tag == "ns")
            spans.push_back({offsets[k], offsets[k + 1], 0, kPlaceClass});
    for (const CorpusCompound& c : p.compounds)
        if (c.tag == "ns")
            spans.push_back({offsets[c.first], offsets[c.last + 1], 0, kPlaceClass});
    return spans;
}
