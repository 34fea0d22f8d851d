#ifndef MORV_CANALYZER_H
#define MORV_CANALYZER_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "segment/CCharModel.h"
#include "segment/SpecialWords.h"
#include "segment/TokenRecord.h"
#include "tagging/CEntityRecognizer.h"
#include "tagging/CPosModel.h"

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
class CSupplementWords;
class CNameStage;
class CSymbolTagger;

// Runs the pipeline over a text, sentence by sentence: pre-processing,
// segmentation, role tagging, person names, part-of-speech tagging, output.
class CAnalyzer {
public:
    // A word of a place or organisation name merged from several words: byte
    // offsets from the sentence start and its tag code.
    using Part = CEntityRecognizer::Part;
    // Receives each analysed sentence: its text (not NUL-terminated at the sentence
    // end), its byte length and its tokens with the two markers. nameSplits[i] is,
    // for a recognised person name at index i, the byte offset where its first
    // part (the surname) ends, else -1. When a place or organisation name was
    // merged from several words, the words of token i are parts[partOffsets[i]]
    // up to parts[partOffsets[i + 1]] (count + 1 offsets; a person name among
    // them comes as surname and given name, both with the name's tag); else
    // partOffsets and parts are null.
    struct Sentence {
        const char* text;
        int length;
        const TokenRecord* items;
        int count;
        const int32_t* nameSplits;
        const int32_t* partOffsets = nullptr;
        const Part* parts = nullptr;
    };
    using SentenceSink = std::function<void(const Sentence&)>;

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
    // Appends every sentence's tokens, as the page writes them, to page.
    void AnalyzeToPage(const char* text, std::string& page);
    void WriteTokens(const char* sentence, TokenRecord* items, int count);
    // Whether a write to htmlFile failed since the last Analyze(text) began.
    bool PageWriteFailed() const { return pageWriteFailed; }
    bool SetUserDict(const CPDAT* dict);
    // Whether construction built the pre-processor, segmenter and taggers.
    bool IsComplete() const;
    const SpecialWords& GetSpecialWords() const { return ids; }
    // The run-time words the running analysis uses (null outside one).
    const CUserWords* CurrentUserWords() const { return userWords.get(); }

    std::FILE* htmlFile = nullptr;

private:
    void Build(const CCharset* charset, const CPDAT* coreDict, const CUnigram* unigram, const CBigram* bigram,
               const CPDAT* userDict, const CPosLexicon* posLexicon, const CTagTransitions* posContext,
               const CPosLexicon* roleLexicon, const CTagTransitions* roleContext,
               const CPairScores* pairScores = nullptr);
    template <class Emit> void Run(const char* text, Emit emit);
    // The new-word stage: the words the new-word model proposes for the sentence
    // (the dictionaries lack them), as the class word of new words, into
    // newWords. Returns whether there are any. Words overlapping the protected
    // person names stay out.
    bool ProposeNewWords(const char* sentence, int length);
    // The person names the role tagger finds in items (the plain segmentation):
    // spans no proposed or supplementary word may overlap.
    void ProtectNames(const TokenRecord* items, int count);
    // The words of the new stages join the lattice: the supplementary lexicon's
    // and the new-word model's, a supplementary word before a proposed one of
    // the same span (which is then left out). Returns whether the lattice
    // gained a word.
    bool AddNewStageWords(const char* sentence, int length);
    // What a supplementary candidate adds to a path's score, in log probability.
    double SupplementScore(const TokenRecord& candidate) const;
    // Appends a token's text to the page, HTML-escaped.
    static void AppendEscaped(std::string& out, const char* text, size_t length);
    // Writes what the page buffer holds to htmlFile.
    void FlushPage();

    const CModel* model = nullptr;
    const CTagSet* tagSet;
    const CCharModel* newWordModel = nullptr;
    float newWordMargin = 0;
    float newWordMargin2 = 0;
    float newWordPenalty = 0;
    CCharModel::Workspace newWordSpace;
    std::vector<TokenRecord> newWords;
    std::vector<TokenRecord> stageWords; // supplementary and proposed words merged
    std::vector<TokenRecord> nameScratch;
    // The first search's tokens before and after role tagging: a second search
    // that cuts the sentence the same way takes their roles instead of tagging
    // anew.
    std::vector<TokenRecord> firstCut;
    std::vector<TokenRecord> firstRoles;
    void TagRolesAgain(TokenRecord* items, int count);
    std::vector<std::pair<int, int>> protectedSpans;
    // The new-word model's scores of the lattice's candidates (see SetExtraScores).
    double newWordWeight = 0;
    std::vector<int> charAt; // character index at each byte offset of the sentence
    std::vector<float> candidateScores;
    std::vector<uint8_t> firstLabels;
    std::vector<uint8_t> lastLabels;
    void ScoreCandidates(int length);
    // For every span of up to kMaxNewWordChars characters, how much lower the best
    // labelling that makes it a word scores than the best labelling of all.
    void SpanDeficits();
    static constexpr int kMaxNewWordChars = 6;
    std::vector<float> forward;
    std::vector<float> backward;
    std::vector<float> spanDeficit; // chars x kMaxNewWordChars, index n - 1
    bool labelled = false; // whether the last Words call labelled this sentence
    std::vector<uint8_t> plainAtom;  // by byte offset: an atom that may be part of a new word
    // With the supplementary lexicon: its stage, and how its words are scored.
    std::unique_ptr<CSupplementWords> supplementWords;
    double supplementBonus = 0;
    double supplementClassFrequency = 1; // the count of the class of new words
    // The part-of-speech model of the new stages, when on; it reads the lexicon
    // the HMM would read.
    const CPosModel* posModel = nullptr;
    const CPosLexicon* posLexicon = nullptr;
    CPosModel::Workspace posSpace;
    std::vector<TokenRecord> posPart; // a sentence's words or closing line breaks, tagged apart
    void TagWithModel(const char* text, int length, TokenRecord* items, int count);
    const CRoleTagger* roleTagger;
    SpecialWords ids;
    std::unique_ptr<CPreProcess> preProcessor;
    std::unique_ptr<CSegment> segmenter;
    std::unique_ptr<CHmmTagger> posTagger;
    std::unique_ptr<CHmmTagger> roleHmm;
    // With NewWords and NameModel on: the person names of the name model.
    std::unique_ptr<CNameStage> nameStage;
    // Place and organisation names (with NewWords and PlaceNames on).
    std::unique_ptr<CEntityRecognizer> entityRecognizer;
    // White space, punctuation and symbols: "w" in every pipeline.
    std::unique_ptr<CSymbolTagger> symbolTagger;
    // The page being written: sentences are appended here and go to htmlFile in
    // large blocks (or stay with the caller of AnalyzeToPage).
    std::string pageBuffer;
    std::string* page = &pageBuffer;
    // Per tag code, the page's markup after a token of that tag.
    const std::string& TagSuffix(int tag);
    std::string tagSuffix[256]; // empty until made
    bool pageWriteFailed = false;
    // The run-time words of the model, held for the length of one analysis.
    std::shared_ptr<const CUserWords> userWords;
    std::vector<int32_t> preStarts; // tokens before recognition (for name splits)
    std::vector<int32_t> preEnds;
    std::vector<int32_t> nameSplits;
    std::vector<int32_t> partOffsets;
    std::vector<Part> parts;
};

#endif
