#ifndef MORV_CNEWWORDSTAGE_H
#define MORV_CNEWWORDSTAGE_H

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "segment/CCharModel.h"
#include "segment/CSegment.h"
#include "segment/CSupplementWords.h"
#include "segment/SpecialWords.h"
#include "segment/TokenRecord.h"

class CPreProcess;
class CSentence;
class CSupplement;

// The new-word stage: words the dictionaries lack join the sentence's lattice
// as the class word of new words (未##专), and the sentence is segmented again
// with them. They come from the supplementary lexicon (today's words) and from
// the character-based new-word model, which proposes every span whose best
// labelling as a word scores within a margin of its best labelling of all; with
// a weight, the model's labelling scores of every candidate also join the path
// score. No such word may cut through a person name of the plain segmentation.
// One stage per analyser: it works on the analyser's pre-processor and
// segmenter and keeps its own scratch; the models are only read.
class CNewWordStage {
public:
    struct Settings {
        // A span of two characters is proposed within margin2 of the best
        // labelling, a longer one within margin.
        float margin = 0;
        float margin2 = 0;
        // What a proposed word pays for its class's generous statistics.
        float penalty = 0;
        // The weight of the labelling scores in the path score (0: none).
        double weight = 0;
        // The proposed word's penalty lowered by confidenceWeight for each unit
        // of the character model's confidence in it (SpanConfidence), counted
        // up to confidenceCap each way: the model's surest words pay least,
        // its close calls most (0: the same penalty for every proposed word).
        float confidenceWeight = 0;
        float confidenceCap = 0;
        // What a proposed word's penalty falls by when its characters occur
        // again in the same line of the text (every pair of neighbours twice
        // or more): a word written twice is rarely a chance merge (0: off).
        float repeatBonus = 0;
        // What a supplementary word gains over its share of its class's count.
        double supplementBonus = 0;
        // Proposals only from the stretches around the characters no
        // dictionary word of the lattice covers, with stretchContext
        // characters of context each side, each stretch labelled alone; the
        // label scores of every candidate stay.
        bool stretches = false;
        int stretchContext = 2;
    };
    // Tags the roles of the plain segmentation and notes its person names in
    // the sentence's protectedNames (the person-name stage does it).
    using NameGuard = std::function<void(CSentence&)>;

    // model (may be null: no proposals) and supplement (may be null: no
    // supplementary words) are borrowed, as are the pre-processor and the
    // segmenter the stage works on. classFrequency is the unigram count of the
    // class word of new words.
    CNewWordStage(const CCharModel* model, const CSupplement* supplement, const Settings& settings,
                  const SpecialWords& ids, double classFrequency, CPreProcess& preProcessor, CSegment& segmenter,
                  NameGuard guard);
    virtual ~CNewWordStage();
    CNewWordStage(const CNewWordStage&) = delete;
    CNewWordStage& operator=(const CNewWordStage&) = delete;

    // The sentence's lattice takes the new words; when it gained one (or the
    // model has a weight) the sentence is segmented again, and its tokens are
    // then the new cut, with their roles still to tag.
    void Run(CSentence& sentence);
    // The text the sentences come from (null: none), NUL-terminated, so that
    // a proposed word can be looked for in the rest of its line. It must
    // outlive the calls until the next SetText.
    void SetText(const char* text);
    // The one search of a sentence begun without tokens, its lattice built: the
    // new words join the lattice first, then it is segmented once (no person
    // names are guarded). Returns the token count, as CSegment::Segment does.
    int SegmentOnce(CSentence& sentence);

private:
    // The search over the lattice as it now stands, with the candidates' scores;
    // the sentence takes its tokens. Returns their count.
    int Search(CSentence& sentence);
    // The words the new-word model proposes, into proposed; whether there are any.
    bool Propose(const CSentence& sentence);
    // The supplementary and proposed words join the lattice, a supplementary
    // word before a proposed one of the same span (which is then left out).
    // Returns whether the lattice gained a word.
    bool AddWords(const CSentence& sentence);
    // What a supplementary candidate adds to a path's score, in log probability.
    double SupplementScore(const TokenRecord& candidate) const;
    // Every candidate's extra score for the second search, into extra.
    void ScoreCandidates(const CSentence& sentence);
    // What the proposed word of characters [from, to) pays, in log
    // probability: the penalty, moved by the evidence it brings.
    double ProposedPenalty(const CSentence& sentence, int from, int to);
    // The character pairs of the line the sentence lies in, once per line
    // (a call for the line already counted returns at once).
    void CountLinePairs(const CSentence& sentence);
    // Whether every pair of neighbouring characters of text[start, end) occurs
    // at least twice in the sentence's line.
    bool RepeatsInLine(const char* text, int start, int end) const;

    const CCharModel* model;
    const Settings settings;
    const SpecialWords ids;
    const double classFrequency; // at least one, so that a share stays finite
    CPreProcess& preProcessor;
    CSegment& segmenter;
    NameGuard guard;
    std::unique_ptr<CSupplementWords> supplementWords;

    CCharModel::Workspace ws;
    bool labelled = false; // whether the model labelled this sentence
    std::vector<TokenRecord> proposed;
    std::vector<TokenRecord> merged; // supplementary and proposed words in slot order
    std::vector<uint8_t> plainRun;   // by character: plain characters from it on (at most the longest span)
    std::vector<uint8_t> kindAt;     // by character: the kind of the first atom that begins there
    std::vector<uint8_t> spansWithin; // by character: the spans from it within the margins (bit n - 2)
    std::vector<uint8_t> seeds;      // by byte offset: a plain atom no dictionary word covers
    std::vector<int> charAt;         // character index at each byte offset of the sentence
    std::vector<float> candidateScores;
    std::vector<uint8_t> firstLabels;
    std::vector<uint8_t> lastLabels;
    CSegment::ExtraScores extra;
    const char* text = nullptr;        // SetText's
    const char* lineBegin = nullptr;   // the line whose pairs linePairs holds
    const char* lineEnd = nullptr;
    std::vector<uint32_t> linePairs;   // sorted: the pairs of two-byte characters of the line
};

#endif
