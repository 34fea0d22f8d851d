#ifndef MORV_CPOSSTAGE_H
#define MORV_CPOSSTAGE_H

#include <cstdint>
#include <vector>

#include "segment/TokenRecord.h"
#include "tagging/CPosModel.h"

class CHmmTagger;
class CNameStage;
class CPosLexicon;
class CSentence;

// The part-of-speech stage: every token gets its tag, from the HMM tagger or,
// with the new stages, from the discriminative model (which reads the lexicon
// the HMM would read). Recognised names keep the code their recogniser left in
// kind; a tag the program gave a word is the word's tag. With the name model,
// a word tagged as a person name that is none of the names found loses that
// tag (its veto).
class CPosStage {
public:
    // posTagger is the analyser's HMM tagger; model, lexicon and veto may be null.
    CPosStage(CHmmTagger& posTagger, const CPosModel* model, const CPosLexicon* lexicon, int32_t personWordId,
              const CNameStage* veto);
    virtual ~CPosStage() = default;
    CPosStage(const CPosStage&) = delete;
    CPosStage& operator=(const CPosStage&) = delete;

    // The ids of the place- and organisation-name words, when those names are
    // recognised (see CPosModel::Workspace::SetEntityWordIds).
    void SetEntityWordIds(int32_t placeWordId, int32_t organizationWordId)
    {
        ws.SetEntityWordIds(placeWordId, organizationWordId);
    }

    // The word class a user word without a tag of its own is tagged as, and
    // the tags it may not get (see CPosModel::Workspace::SetUserWordClass).
    void SetUserWordClass(int32_t classWordId, const bool (&closed)[256]) { ws.SetUserWordClass(classWordId, closed); }
    void SetListedAlternative(uint8_t listed, uint8_t other) { ws.SetListedAlternative(listed, other); }
    void SetListedInLists(bool on) { ws.SetListedInLists(on); }

    void Run(CSentence& sentence);
    // Tags tokens as Run tags a sentence's (text, length: the sentence's).
    void TagTokens(const char* text, int length, TokenRecord* items, int count);

private:
    void TagWithModel(const char* text, int length, TokenRecord* items, int count);

    CHmmTagger& posTagger;
    const CPosModel* model;
    const CPosLexicon* lexicon;
    const int32_t personWordId;
    const CNameStage* veto;
    CPosModel::Workspace ws;
    std::vector<TokenRecord> part; // a sentence's words or closing line breaks, tagged apart
};

#endif
