#ifndef MORV_CPERSONSTAGE_H
#define MORV_CPERSONSTAGE_H

#include <cstdint>
#include <memory>
#include <vector>

#include "segment/TokenRecord.h"
#include "tagging/CRunFilter.h"

class CHmmTagger;
class CPDAT;
class CNameStage;
class CRoleTagger;
class CSentence;

// The person-name stage: the role tagger gives every token its role, then the
// person names are merged into single tokens of 未##人 (with the tag code in
// kind, which the part-of-speech pass makes the tag). The names come from the
// role automaton (nr.fsa), or, with the name model, from that model, which
// hears what the automaton found.
class CPersonStage {
public:
    // roleHmm is the analyser's role tagger (its working arrays are used
    // here); roleTagger the automaton. nameModel, when given, decides the names
    // and is owned by the stage.
    CPersonStage(CHmmTagger& roleHmm, const CRoleTagger& roleTagger, int32_t personWordId,
                 std::unique_ptr<CNameStage> nameModel);
    virtual ~CPersonStage();
    CPersonStage(const CPersonStage&) = delete;
    CPersonStage& operator=(const CPersonStage&) = delete;

    // Before the new-word stage: the roles of the plain segmentation, and its
    // person names as the sentence's protected spans. The stage remembers both
    // for Run, where a re-cut that came out alike takes them again.
    void GuardNames(CSentence& sentence);
    // The names of the sentence, each merged into one token.
    void Run(CSentence& sentence);
    // A new text begins (the name model forgets the names of the last).
    void BeginText();
    // With the name model: the role automaton, whose models were trained on
    // the plain segmentation, reads each new word (newWordId, flagged) in its
    // characters (their ids in dict), as it met them there. Without this a
    // foreign name that one search made a new word is lost to the automaton.
    // With supplementWords the same holds for the supplementary words, which
    // the plain segmentation never made either.
    void ReadNewWordsAsCharacters(const CPDAT* dict, int32_t newWordId, bool supplementWords = false)
    {
        characterDict = dict;
        newWordClass = newWordId;
        spellSupplement = supplementWords;
    }

private:
    void TagRoles(CSentence& sentence);
    // Whether the automaton could merge a name in the tokens whatever roles
    // the tagger gives them (a person name among them already: yes).
    bool MayHoldName(const TokenRecord* items, int count) const
    {
        return runFilter.MayAccept(items, count, personWordId);
    }
    // The tokens with every new word in characters, into spelled; false when
    // the sentence has no new word of two characters or more.
    bool SpellNewWords(const CSentence& sentence);

    CHmmTagger& roleHmm;
    const CRoleTagger& roleTagger;
    const int32_t personWordId;
    std::unique_ptr<CNameStage> nameModel;

    // What GuardNames saw (valid until the end of the sentence's Run): the
    // tokens before and after role tagging, and the automaton's merge of them.
    bool guarded = false;
    std::vector<TokenRecord> firstCut;
    std::vector<TokenRecord> firstRoles;
    std::vector<TokenRecord> automatonNames;
    int automatonCount = 0;

    const CPDAT* characterDict = nullptr;
    int32_t newWordClass = -1;
    bool spellSupplement = false;
    std::vector<TokenRecord> spelled;

    // Whether the automaton could merge any name, before role tagging (built
    // only with the name model).
    CRunFilter runFilter;
    // Set when the tokens' roles were left untagged because no name can be in
    // them: the automaton's merge of them is the tokens themselves.
    bool rolesSkipped = false;
};

#endif
