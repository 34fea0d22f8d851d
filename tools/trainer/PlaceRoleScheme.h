#ifndef MORV_TRAINER_PLACEROLESCHEME_H
#define MORV_TRAINER_PLACEROLESCHEME_H

#include "tools/trainer/EntityRoleScheme.h"

// The place-name role model (ns.role, ns.ctx, ns.fsa): names from the corpus's
// ns words and [...]ns compounds; recognised names are tagged ns.
class PlaceRoleScheme : public EntityRoleScheme {
public:
    static constexpr int kTagCode = 29; // ns

    // paragraphs: the training corpus, for the words that may open a name
    // (places: 山西省/吕梁/地区).
    explicit PlaceRoleScheme(const std::vector<Paragraph>& paragraphs) : EntityRoleScheme("ns", kTagCode, {"ns"}, {})
    {
        CollectTags(paragraphs);
    }

    std::string FileStem() const override { return "ns"; }
    std::string Description() const override { return "place-name"; }
};

#endif
