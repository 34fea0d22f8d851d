#ifndef MORV_TRAINER_ORGROLESCHEME_H
#define MORV_TRAINER_ORGROLESCHEME_H

#include "tools/trainer/EntityRoleScheme.h"

// The organisation-name role model (nt.role, nt.ctx, nt.fsa): names from the
// corpus's nt words and [...]nt compounds; recognised names are tagged nt. The
// engine looks for organisations after places, so a place name of several
// tokens reaches this model's tagger as one token of 未##地.
class OrgRoleScheme : public EntityRoleScheme {
public:
    static constexpr int kTagCode = 31; // nt

    OrgRoleScheme() : EntityRoleScheme("nt", kTagCode) {}

    std::string FileStem() const override { return "nt"; }
    std::string Description() const override { return "organisation-name"; }
    // Person names, and every ns word and ns compound, as the place stage would
    // merge them.
    std::vector<Entity> ClassSpans(const Paragraph& p, const std::vector<int>& offsets) const override;
};

#endif
