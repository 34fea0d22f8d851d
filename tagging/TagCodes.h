#ifndef MORV_TAGGING_TAGCODES_H
#define MORV_TAGGING_TAGCODES_H

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

inline Entity EntityOf(const TokenRecord& t, const SpecialWords& ids)
{
    // A class word the dictionary lacks (-1) never matches a token without an id.
    const auto is = [&t](int32_t special) { return t.wordId == special && special >= 0; };
    const int tag = t.tag;
    if (is(ids.unknownNumber) || tag == kTagNumeral)
        return Entity::kNumber;
    if (is(ids.unknownPerson) || IsPersonTag(tag))
        return Entity::kPerson;
    if (is(ids.unknownPlace) || tag == kTagPlaceName || tag == kTagTransliteratedPlace)
        return Entity::kPlace;
    if (is(ids.unknownOrganization) || tag == kTagOrganization)
        return Entity::kOrganization;
    if (is(ids.unknownTime) || tag == kTagTime)
        return Entity::kTime;
    if (is(ids.unknownString) || tag == kTagString)
        return Entity::kString;
    return Entity::kNone;
}

#endif
