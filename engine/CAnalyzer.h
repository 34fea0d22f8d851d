#ifndef MORV_CANALYZER_H
#define MORV_CANALYZER_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/StageTimes.h"
#include "engine/CPageWriter.h"
#include "segment/CSentence.h"
#include "segment/SpecialWords.h"
#include "segment/TokenRecord.h"

class CCharset;
class CPDAT;
class CUnigram;
class CBigram;
class CPosLexicon;
class CTagSet;
class CTagTransitions;
class CRoleTagger;
class CPreProcess;
class CSegment;
class CHmmTagger;
class CModel;
class CPairScores;
class CUserWords;
class CNewWordStage;
class CPersonStage;
class CEntityRecognizer;
class CPosStage;
class CSymbolTagger;
class CWebText;
class EngineText;

// Runs the pipeline over a text, sentence by sentence: pre-processing and
// segmentation, then the stages in their order (new words, person names,
// place and organisation names, parts of speech), then the output. Each stage
// is a class of its own with one entry on the sentence (CSentence); the
// analyser builds them from the model and orders them.
class CAnalyzer {
public:
    using Part = TokenPart;
    // Each analysed sentence as the stages left it.
    using Sentence = CSentence;
    using SentenceSink = std::function<void(const CSentence&)>;

    CAnalyzer(const CCharset* charset, const CPDAT* coreDict, const CUnigram* unigram,
              const CBigram* bigram, const CPDAT* userDict, const CPosLexicon* posLexicon,
              const CTagSet* tagSet, const CTagTransitions* posContext,
              const CPosLexicon* roleLexicon, const CTagTransitions* roleContext,
              const CRoleTagger* roleTagger);
    // Over every model of a loaded model, with its user dictionary file and the
    // words added to it at run time (as they stand when each analysis starts).
    explicit CAnalyzer(const CModel& model);
    virtual ~CAnalyzer();

    // Writes every sentence's tokens to htmlFile.
    void Analyze(const char* text);
    // Hands every sentence to sink instead of the page.
    void Analyze(const char* text, const SentenceSink& sink);
    // Appends every sentence's tokens, as the page writes them, to page; text
    // lies in originals, when given, whose placeholders the page shows as the
    // characters they stand for.
    void AnalyzeToPage(const char* text, std::string& page, const EngineText* originals = nullptr);
    // Writes one sentence's tokens to htmlFile (Analyze does it for each).
    void WriteTokens(const char* sentence, TokenRecord* items, int count);
    // Whether a write to htmlFile failed since the last Analyze(text) began.
    bool PageWriteFailed() const { return pageWriter.WriteFailed(); }
    bool SetUserDict(const CPDAT* dict);
    // Whether construction built the pre-processor, segmenter, taggers and stages.
    bool IsComplete() const;
    // The run-time words the running analysis uses (null outside one).
    const CUserWords* CurrentUserWords() const { return userWords.get(); }

    using StageTimes = ::StageTimes;
    // times (borrowed; null: none) collects from the next sentence on.
    void SetStageTimes(StageTimes* times) { stageTimes = times; }

    std::FILE* htmlFile = nullptr;

private:
    void Build(const CCharset* charset, const CPDAT* coreDict, const CUnigram* unigram, const CBigram* bigram,
               const CPDAT* userDict, const CPosLexicon* posLexicon, const CTagTransitions* posContext,
               const CPosLexicon* roleLexicon, const CTagTransitions* roleContext,
               const CPairScores* pairScores = nullptr);
    // The stages beyond the classic pipeline that the model switches on.
    void BuildNewStages(const CModel& model);
    template <class Emit> void Run(const char* text, Emit emit);
    const CModel* model = nullptr;
    const CTagSet* tagSet;
    const CRoleTagger* roleTagger;
    SpecialWords ids;
    std::unique_ptr<CPreProcess> preProcessor;
    std::unique_ptr<CSegment> segmenter;
    std::unique_ptr<CHmmTagger> posTagger;
    std::unique_ptr<CHmmTagger> roleHmm;
    // The stages, in their order; those the model leaves off are null.
    std::unique_ptr<CNewWordStage> newWordStage;
    // Whether the new-word stage's words join the first search (one search).
    bool singleSearch = false;
    std::unique_ptr<CPersonStage> personStage;
    std::unique_ptr<CEntityRecognizer> entityStage;
    std::unique_ptr<CPosStage> posStage;
    // White space, punctuation and symbols: "w" in every pipeline.
    std::unique_ptr<CSymbolTagger> symbolTagger;
    // The web-text atoms of the pre-processor (WebText on); null otherwise.
    std::unique_ptr<CWebText> webText;
    CSentence sentence;
    // The run-time words of the model, held for the length of one analysis.
    std::shared_ptr<const CUserWords> userWords;
    CPageWriter pageWriter;
    StageTimes* stageTimes = nullptr;
};

#endif
