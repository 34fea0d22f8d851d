#ifndef MORV_TRAINER_ORGROLESCHEME_H
#define MORV_TRAINER_ORGROLESCHEME_H

#include "tools/trainer/EntityAutomaton.h"
#include "tools/trainer/EntityRoleScheme.h"

// The organisation-name role model (nt.role, nt.ctx, nt.fsa): names from the
// corpus's nt words and [...]nt compounds; recognised names are tagged nt.
class OrgRoleScheme : public EntityRoleScheme {
public:
    static constexpr int kTagCode = 31; // nt

    // paragraphs: the training corpus, for the words that may open a name
    // (places and organisations: 石家庄市/工商局) or stand inside one (common
    // nouns: 太原市/动物/检疫站).
    explicit OrgRoleScheme(const std::vector<Paragraph>& paragraphs) : EntityRoleScheme("nt", kTagCode, {"ns", "nt", "nz"}, {"n", "vn", "j"})
    {
        CollectTags(paragraphs);
    }

    std::string FileStem() const override { return "nt"; }
    std::string Description() const override { return "organisation-name"; }
    // Organisations end in a few suffix characters (厂 局 院 所 ...) far more
    // often than the one month of text shows each suffix word: 卷烟厂 may never
    // end one in training although 厂 ends many.
    int SuffixRole() const override { return entityrole::kLast; }
};

#endif
