#ifndef MORV_TRAINER_PERSONROLESCHEME_H
#define MORV_TRAINER_PERSONROLESCHEME_H

#include "tools/trainer/CorpusNames.h"
#include "tools/trainer/RoleScheme.h"

// The person-name role model (nr.role, nr.ctx, nr.fsa): the inventory of
// tools/trainer/NameRoles.h, names found from the corpus's nr tokens, and the
// automaton RoleAutomaton. data/roles.md describes the roles.
class PersonRoleScheme : public RoleScheme {
public:
    // Kinds of name, Entity::type.
    enum NameType { kChinese, kPrefixed, kGivenAlone, kForeign };

    explicit PersonRoleScheme(const CorpusNames& names);

    const Inventory& GetInventory() const override { return inventory; }
    std::string FileStem() const override { return "nr"; }
    std::string Description() const override { return "person-name"; }
    std::vector<Entity> FindEntities(const Paragraph& p, const std::vector<int>& offsets) const override;
    int InsideRole(const Entity& e, int start, int end) const override;
    void CompleteLexicon(std::vector<std::map<int, int32_t>>& counts,
                         const std::vector<std::string>& words) const override;
    bool WriteAutomaton(const std::string& path) const override;

private:
    const CorpusNames& names;
    Inventory inventory;
};

#endif
