#ifndef MORV_CANALYZER_H
#define MORV_CANALYZER_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

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

// Runs the pipeline over a text, sentence by sentence: pre-processing,
// segmentation, role tagging, person names, part-of-speech tagging, output.
class CAnalyzer {
public:
    // Receives each analysed sentence: its text (not NUL-terminated at the sentence
    // end), its byte length and its tokens with the two markers. nameSplits[i] is,
    // for a recognised person name at index i, the byte offset where its first
    // part (the surname) ends, else -1.
    struct Sentence {
        const char* text;
        int length;
        const TokenRecord* items;
        int count;
        const int32_t* nameSplits;
    };
    using SentenceSink = std::function<void(const Sentence&)>;

    CAnalyzer(const CCharset* charset, const CPDAT* coreDict, const CUnigram* unigram,
              const CBigram* bigram, const CPDAT* userDict, const CPosLexicon* posLexicon,
              const CTagSet* tagSet, const CTagTransitions* posContext,
              const CPosLexicon* roleLexicon, const CTagTransitions* roleContext,
              const CRoleTagger* roleTagger);
    virtual ~CAnalyzer();

    // Writes every sentence's tokens to htmlFile.
    void Analyze(const char* text);
    // Hands every sentence to sink instead of the page.
    void Analyze(const char* text, const SentenceSink& sink);
    void WriteTokens(const char* sentence, TokenRecord* items, int count);
    bool SetUserDict(const CPDAT* dict);
    // Whether construction built the pre-processor, segmenter and taggers.
    bool IsComplete() const;
    const SpecialWords& GetSpecialWords() const { return ids; }

    std::FILE* htmlFile = nullptr;

private:
    template <class Emit> void Run(const char* text, Emit emit);
    // Copies a token's text into outBuf, HTML-escaped; returns its length.
    size_t EscapeToken(const char* text, size_t length);

    const CTagSet* tagSet;
    const CRoleTagger* roleTagger;
    SpecialWords ids;
    std::unique_ptr<CPreProcess> preProcessor;
    std::unique_ptr<CSegment> segmenter;
    std::unique_ptr<CHmmTagger> posTagger;
    std::unique_ptr<CHmmTagger> roleHmm;
    // Scratch for one token's escaped text; grows to six bytes per byte of the
    // longest token met, so its size can neither overflow nor follow the text size.
    std::vector<char> outBuf;
    std::vector<int32_t> preStarts; // tokens before recognition (for name splits)
    std::vector<int32_t> preEnds;
    std::vector<int32_t> nameSplits;
};

#endif
