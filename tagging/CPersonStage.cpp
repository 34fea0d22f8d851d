#include "tagging/CPersonStage.h"

#include <algorithm>

#include "lexicon/CPDAT.h"
#include "lexicon/GbkChar.h"
#include "segment/CSentence.h"
#include "tagging/CHmmTagger.h"
#include "tagging/CNameStage.h"
#include "tagging/CRoleTagger.h"

CPersonStage::CPersonStage(CHmmTagger& hmm, const CRoleTagger& automaton, int32_t personId,
                           std::unique_ptr<CNameStage> names)
    : roleHmm(hmm), roleTagger(automaton), personWordId(personId), nameModel(std::move(names))
{
    // Only the name model's path skips role tagging: the automaton's path
    // keeps every token's role as it always had it.
    if (nameModel)
        runFilter.Build(roleTagger, roleHmm.GetLexicon(), roleHmm.GetDefaultTag());
}

CPersonStage::~CPersonStage() = default;

void CPersonStage::BeginText()
{
    if (nameModel)
        nameModel->BeginText();
}

void CPersonStage::GuardNames(CSentence& s)
{
    firstCut.assign(s.items, s.items + s.count);
    roleHmm.Tag(s.items, s.count);
    s.rolesTagged = true;
    firstRoles.assign(s.items, s.items + s.count);
    guarded = true;
    // The person names of the plain segmentation, found on a copy.
    automatonNames = firstRoles;
    automatonCount = s.count;
    roleTagger.Recognize(automatonNames.data(), automatonCount, personWordId);
    s.protectedNames.clear();
    for (int i = 1; i + 1 < automatonCount; ++i) {
        const TokenRecord& t = automatonNames[static_cast<size_t>(i)];
        if (t.wordId == personWordId)
            s.protectedNames.emplace_back(t.start, t.end);
    }
}

void CPersonStage::TagRoles(CSentence& s)
{
    // The role tagger reads nothing but the tokens, so the same tokens get the
    // same roles; most sentences come out of both searches alike.
    const auto same = [](const TokenRecord& a, const TokenRecord& b) {
        return a.wordId == b.wordId && a.start == b.start && a.end == b.end && a.frequency == b.frequency &&
               a.kind == b.kind && a.tag == b.tag && a.flags == b.flags && a.fixedTag == b.fixedTag;
    };
    if (guarded && static_cast<size_t>(s.count) == firstCut.size() &&
        std::equal(s.items, s.items + s.count, firstCut.begin(), same)) {
        std::copy(firstRoles.begin(), firstRoles.end(), s.items);
    } else {
        guarded = false; // the tokens are not those GuardNames saw
        rolesSkipped = nameModel && !MayHoldName(s.items, s.count);
        if (!rolesSkipped)
            roleHmm.Tag(s.items, s.count);
    }
    s.rolesTagged = true;
}

bool CPersonStage::SpellNewWords(const CSentence& s)
{
    if (characterDict == nullptr || newWordClass < 0 || s.text == nullptr || s.count < 3)
        return false;
    const auto* text = reinterpret_cast<const unsigned char*>(s.text);
    // A new word (or supplementary word) of several characters, between the
    // markers.
    const auto spellable = [&](int i) {
        const TokenRecord& t = s.items[i];
        const bool proposed = (t.wordId == newWordClass && (t.flags & kFlagNewWord)) ||
                              (spellSupplement && (t.flags & kFlagSupplementWord) && !(t.flags & kFlagUserWord));
        return i > 0 && i + 1 < s.count && proposed && t.start >= 0 &&
               t.end > t.start && t.end <= s.length && gbkchar::Length(text, t.start, t.end) < t.end - t.start;
    };
    // Most sentences hold none: they are not copied.
    int first = 1;
    while (first + 1 < s.count && !spellable(first))
        ++first;
    if (first + 1 >= s.count)
        return false;
    spelled.assign(s.items, s.items + first);
    for (int i = first; i < s.count; ++i) {
        const TokenRecord& t = s.items[i];
        if (!spellable(i)) {
            spelled.push_back(t);
            continue;
        }
        for (int at = t.start; at < t.end;) {
            const int bytes = gbkchar::Length(text, at, t.end);
            TokenRecord c = t;
            c.start = at;
            c.end = at + bytes;
            c.wordId = characterDict->ExactMatch(s.text + at, bytes);
            c.flags = 0;
            c.tag = 255;
            spelled.push_back(c);
            at += bytes;
        }
    }
    return true;
}

void CPersonStage::Run(CSentence& s)
{
    rolesSkipped = false;
    if (!s.rolesTagged)
        TagRoles(s);
    TokenRecord* items = s.items;
    int count = s.count;
    if (nameModel) {
        // The name model decides the names; the tokens are re-cut at their bounds.
        if (guarded)
            nameModel->Find(s.text, s.spoken, items, count, automatonNames.data(), automatonCount);
        else if (SpellNewWords(s)) {
            const int spelledCount = static_cast<int>(spelled.size());
            automatonCount = spelledCount;
            if (MayHoldName(spelled.data(), spelledCount)) {
                roleHmm.Tag(spelled.data(), spelledCount);
                automatonNames = spelled;
                roleTagger.Recognize(automatonNames.data(), automatonCount, personWordId);
            } else {
                automatonNames = spelled; // nothing to merge
            }
            nameModel->Find(s.text, s.spoken, items, count, automatonNames.data(), automatonCount, spelled.data(),
                            spelledCount);
        } else if (rolesSkipped)
            nameModel->Find(s.text, s.spoken, items, count, items, count);
        else
            nameModel->Find(s.text, s.spoken, items, count, roleTagger);
        items = nameModel->Layout(s.text, items, count);
        s.SetTokens(items, count);
        s.KeepBoundsBeforeNames();
        nameModel->Merge(items, count);
    } else {
        s.KeepBoundsBeforeNames();
        roleTagger.Recognize(items, count, personWordId);
    }
    s.SetTokens(items, count);
    guarded = false;
}
