#ifndef MORV_TRAINER_ENTITYROLESCHEME_H
#define MORV_TRAINER_ENTITYROLESCHEME_H

#include <unordered_map>
#include <utility>

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
    // set, the output of the automaton; openingTags, innerTags: the corpus tags
    // of the words that may open, or stand inside, a name of several words
    // although the corpus never shows them there (see CompleteLexicon).
    EntityRoleScheme(std::string tag, int tagCode, std::vector<std::string> openingTags,
                     std::vector<std::string> innerTags);

    // Finds, for CompleteLexicon, the tag each word of the corpus mostly carries.
    void CollectTags(const std::vector<Paragraph>& paragraphs);

    const Inventory& GetInventory() const override { return inventory; }
    std::vector<Entity> FindEntities(const Paragraph& p, const std::vector<int>& offsets) const override;
    int InsideRole(const Entity& e, int start, int end) const override;
    // A word mostly tagged with an opening tag (a place, an organisation) may
    // open or continue a name of several words (石家庄市 in 石家庄市/工商局) even
    // when training never showed it there: it gets the first and inner roles
    // with a count of one; a word mostly tagged with an inner tag (a common
    // noun) gets the inner role. Roles inside names that a word shows only a
    // few times against far more of others (the 、 of a few names that list
    // two bodies) are dropped: kept, they let names run across lists.
    void CompleteLexicon(std::vector<std::map<int, int32_t>>& counts,
                         const std::vector<std::string>& words) const override;
    bool WriteAutomaton(const std::string& path) const override;
    bool SplitsNewWords() const override { return true; }
    bool KeepsRunsApart() const override { return true; }
    // Person names, which the engine merges before this model's tagger runs.
    std::vector<Entity> ClassSpans(const Paragraph& p, const std::vector<int>& offsets) const override;

    const std::string& Tag() const { return tag; }

private:
    std::string tag;
    int tagCode;
    std::vector<std::string> openingTags;
    std::vector<std::string> innerTags;
    // word -> the tag it carries in more than half of its occurrences
    std::unordered_map<std::string, std::string> majorityTags;
    Inventory inventory;
};

#endif
