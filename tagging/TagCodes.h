#ifndef MORV_TAGGING_TAGCODES_H
#define MORV_TAGGING_TAGCODES_H

#include <climits>
#include <cstdint>

#include "segment/SpecialWords.h"
#include "segment/TokenRecord.h"

// The tag codes the pipeline reads as numbers. The tag set is data
// (data/tagset.txt), but these keep their places in it, so that the taggers,
// the recognisers and the outputs agree on them.
enum TagCode : uint8_t {
    kTagNumeral = 18,             // m
    kTagNoun = 21,                // n: the part-of-speech tagger's default
    kTagPersonName = 24,          // nr
    kTagSurname = 25,             // nr1: a surname alone, or a prefix and a surname
    kTagTransliteratedName = 28,  // nrf
    kTagPlaceName = 29,           // ns
    kTagTransliteratedPlace = 30, // nsf
    kTagOrganization = 31,        // nt
    kTagTime = 52,                // t
    kTagString = 93,              // nx: letters or digits
    kTagNone = 255,               // not tagged
};
// The role tagger's default role (a role code of nr.role, not a tag).
constexpr uint8_t kRoleDefault = 22;

// Whether a tag code is one of the person-name tags (nr to nrf).
inline bool IsPersonTag(int tag) { return tag >= kTagPersonName && tag <= kTagTransliteratedName; }

// The kind of entity a token is, by its class word or its tag: the result
// page colours it and the token interface flags it accordingly. A token is
// one kind at most; the order of the tests decides.
enum class Entity { kNone, kNumber, kPerson, kPlace, kOrganization, kTime, kString };

// The class words EntityOf compares with. A class word the dictionary lacks
// becomes a value no token carries, so that it never matches a token without
// an id (-1).
struct EntityWords {
    int32_t number, person, place, organization, time, string;
    explicit EntityWords(const SpecialWords& ids)
        : number(Known(ids.unknownNumber)), person(Known(ids.unknownPerson)), place(Known(ids.unknownPlace)),
          organization(Known(ids.unknownOrganization)), time(Known(ids.unknownTime)),
          string(Known(ids.unknownString))
    {
    }
    static int32_t Known(int32_t id) { return id >= 0 ? id : INT32_MIN; }
};

inline Entity EntityOf(const TokenRecord& t, const EntityWords& w)
{
    const int tag = t.tag;
    if (t.wordId == w.number || tag == kTagNumeral)
        return Entity::kNumber;
    if (t.wordId == w.person || IsPersonTag(tag))
        return Entity::kPerson;
    if (t.wordId == w.place || tag == kTagPlaceName || tag == kTagTransliteratedPlace)
        return Entity::kPlace;
    if (t.wordId == w.organization || tag == kTagOrganization)
        return Entity::kOrganization;
    if (t.wordId == w.time || tag == kTagTime)
        return Entity::kTime;
    if (t.wordId == w.string || tag == kTagString)
        return Entity::kString;
    return Entity::kNone;
}

#endif
