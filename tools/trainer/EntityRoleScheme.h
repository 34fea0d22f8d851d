#ifndef MORV_TRAINER_ENTITYROLESCHEME_H
#define MORV_TRAINER_ENTITYROLESCHEME_H

#include "tools/trainer/RoleScheme.h"

// What the place and organisation role models share: the inventory of
// tools/trainer/EntityAutomaton.h, gold names found from one corpus tag (the
// words of that tag outside brackets and the bracketed compounds of that tag),
// roles by position and word boundary, new words read as characters, and the
// automaton EntityAutomaton. data/places.md describes the models.
class EntityRoleScheme : public RoleScheme {
public:
    // Entity::type.
    enum EntityType { kWord, kCompound };

    // tag: the corpus tag of the names ("ns"); tagCode: its code in the tag
    // set, the output of the automaton.
    EntityRoleScheme(std::string tag, int tagCode);

    const Inventory& GetInventory() const override { return inventory; }
    std::vector<Entity> FindEntities(const Paragraph& p, const std::vector<int>& offsets) const override;
    int InsideRole(const Entity& e, int start, int end) const override;
    void CompleteLexicon(std::vector<std::map<int, int32_t>>& counts,
                         const std::vector<std::string>& words) const override;
    bool WriteAutomaton(const std::string& path) const override;
    bool SplitsNewWords() const override { return true; }
    // Person names, which the engine merges before this model's tagger runs.
    std::vector<Entity> ClassSpans(const Paragraph& p, const std::vector<int>& offsets) const override;

    const std::string& Tag() const { return tag; }

private:
    std::string tag;
    int tagCode;
    Inventory inventory;
};

#endif
