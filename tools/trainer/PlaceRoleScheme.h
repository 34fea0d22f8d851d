#ifndef MORV_TRAINER_PLACEROLESCHEME_H
#define MORV_TRAINER_PLACEROLESCHEME_H

#include "tools/trainer/EntityRoleScheme.h"

// The place-name role model (ns.role, ns.ctx, ns.fsa): names from the corpus's
// ns words and [...]ns compounds; recognised names are tagged ns.
class PlaceRoleScheme : public EntityRoleScheme {
public:
    static constexpr int kTagCode = 29; // ns

    PlaceRoleScheme() : EntityRoleScheme("ns", kTagCode) {}

    std::string FileStem() const override { return "ns"; }
    std::string Description() const override { return "place-name"; }
};

#endif
