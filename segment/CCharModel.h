#ifndef MORV_CCHARMODEL_H
#define MORV_CCHARMODEL_H

#include <cstdint>
#include <memory>
#include <vector>

#include "lexicon/ModelBlock.h"
#include "segment/LabelDecoder.h"

// The character-based new-word model (NewWord.cm, written by morv-train; the
// layout is in data/newword.md). A linear model labels every character of a
// span B, M, E or S (first, inner, last character of a word, or a word of one
// character); a first-order Viterbi over the four labels picks the labelling.
// Features of a character: the characters two to each side, the character
// pairs around it, the pair skipping it, the classes of it and its neighbours,
// and whether it repeats the character one or two before.
//
// Read-only after Load: one model may serve many threads at once, each with its
// own Workspace, which holds all per-call state and keeps its buffers, so that
// calls after the first few allocate nothing.
class CCharModel {
public:
    enum Label : uint8_t { kB = 0, kM = 1, kE = 2, kS = 3 };
    static constexpr int kLabelCount = 4;
    // The longest span SpanDeficits scores, in characters.
    static constexpr int kMaxSpanChars = 6;
    // The label grammar: a word that has begun goes on (M) or ends (E); after
    // a word's end (E) or a one-character word (S) a new word begins. Each
    // label has two labels it may follow and two it may precede, in label order.
    static constexpr uint8_t kPredecessors[kLabelCount][2] = {{kE, kS}, {kB, kM}, {kB, kM}, {kE, kS}};
    // The label grammar for LabelDecoder (the engine's labelling and the trainer's).
    static const LabelDecoder::Grammar& WordGrammar();
    static constexpr uint8_t kSuccessors[kLabelCount][2] = {{kM, kE}, {kM, kE}, {kB, kS}, {kB, kS}};

    // File layout constants, shared with the trainer's writer.
    static constexpr char kMagic[4] = {'M', 'N', 'W', 'C'};
    static constexpr uint32_t kVersion = 1;
    static constexpr int kHeaderBytes = 96;     // fixed fields and the transition matrix
    static constexpr int kKeyCount = 65536;     // character keys of the class table
    static constexpr int kReservedRows = 3;     // unigram rows: unknown, before and after the sentence
    static constexpr int kUnknownChar = 0;
    static constexpr int kBeforeSentence = 1;
    static constexpr int kAfterSentence = 2;
    static constexpr int kUnigramWeights = 20;  // offsets -2..2 x labels
    static constexpr int kPairWeights = 16;     // C-2C-1, C-1C0, C0C1, C1C2 x labels
    static constexpr int kSkipWeights = 4;      // C-1C1 x labels
    static constexpr int kRepeatWeights = 8;    // C-1 = C0, C-2 = C0 x labels
    static constexpr int kMaxClasses = 16;
    static constexpr int kMaxChars = 65536 - kReservedRows;
    static constexpr int32_t kMaxTransition = 1 << 24;

    // A word of the Viterbi labelling: byte offsets in the text, and how sure the
    // model is of it (see Words).
    struct Word {
        int start;
        int end;
        float confidence;
    };

    // Per-call state. Results stay valid until the next call with the same
    // workspace.
    class Workspace {
    public:
        Workspace() = default;
        virtual ~Workspace() = default;

        int GetCharCount() const { return charCount; }
        // charCount + 1 byte offsets: character i is [starts[i], starts[i + 1]).
        const int* GetCharStarts() const { return starts.data(); }
        const uint8_t* GetLabels() const { return labels.data(); }
        // charCount x 4 label scores (B, M, E, S per character), in the same unit
        // as the transition scores; a labelling scores the sum of its label and
        // transition scores.
        const float* GetLabelScores() const { return scores.data(); }
        // 4 x 4 transition scores [previous label * 4 + label]; -infinity where
        // the label may not follow (B or M before B or S, E or S before M or E).
        const float* GetTransitionScores() const { return transitions; }
        const std::vector<Word>& GetWords() const { return words; }
        // After SpanDeficits: the deficit of the span of n characters (2 to
        // kMaxSpanChars) from character i.
        float GetSpanDeficit(int i, int n) const
        {
            return spanDeficit[static_cast<size_t>(i) * kMaxSpanChars + static_cast<size_t>(n - 1)];
        }
        // After SetStretches: whether character i lies in a stretch (every
        // character does without them), and where its stretch ends (one past
        // its last character; charCount without stretches).
        bool InStretch(int i) const { return !stretched || inStretch[static_cast<size_t>(i)] != 0; }
        int GetStretchEnd(int i) const { return stretched ? stretchEnd[static_cast<size_t>(i)] : charCount; }

    private:
        friend class CCharModel;
        int charCount = 0;
        std::vector<int> starts;
        std::vector<int32_t> keys;      // window: 2 pads, the characters, 2 pads
        std::vector<uint16_t> dense;
        std::vector<uint8_t> classes;
        std::vector<uint32_t> pairKeys; // pair (window j, window j + 1); 0 when it has an unknown character
        std::vector<uint32_t> skipKeys; // the pair around character i
        std::vector<const int16_t*> pairAt; // their weights, a row of zeros when none
        std::vector<const int16_t*> skipAt;
        std::vector<int32_t> emission;  // charCount x 4, weight units (Label only)
        std::vector<int64_t> emissionWide; // the same, as the decoder reads them
        std::vector<int64_t> forward;   // charCount x 4: best prefix ending in the label
        std::vector<int64_t> backward;  // charCount x 4: best suffix after the label
        std::vector<uint8_t> back;      // Viterbi back pointers
        std::vector<uint8_t> labels;
        std::vector<float> scores;
        float transitions[16] = {};
        std::vector<Word> words;
        std::vector<float> spanForward;  // charCount x 4: best labelling of 0..i ending in the label
        std::vector<float> spanBackward; // charCount x 4: best labelling of i..end starting with it
        std::vector<float> spanDeficit;  // charCount x kMaxSpanChars
        float spanAll = 0;               // the best labelling's score (SpanPasses)
        std::vector<float> spanLeft;     // the best labelling of 0..i-1 with a word after it (0 for i = 0)
        std::vector<float> spanRight;    // the best of i+1..end after a word ending at i (0 at the end), padded
        // SpanPasses: the label scores of B, M and E, each label's in a row of
        // its own (padded), for SpansWithin's four starts at once.
        static constexpr size_t kLabelPad = 8;
        std::vector<float> labelB, labelM, labelE;
        // SetStretches: the passes and deficits read each stretch as a text of
        // its own, and nothing outside them.
        bool stretched = false;
        std::vector<uint8_t> inStretch;  // per character
        std::vector<int> stretchEnd;     // per character in a stretch: one past its stretch's last character
        std::vector<float> stretchBest;  // per character in a stretch: its stretch's best labelling (SpanPasses)
    };

    CCharModel();
    virtual ~CCharModel();

    // Reads the whole file. False when it cannot be opened or is no sound model
    // (wrong magic or version, a size other than its counts demand, keys out of
    // order or out of range, a bad scale); the object then keeps what it held.
    bool Load(const char* path);
    bool IsLoaded() const { return loaded; }

    // Labels the characters of text[0, length), cut as the engine reads them: a
    // byte below 0x80 is one character, a byte of 0x80 or above takes the next
    // byte with it, a lone lead byte at the end stands alone. The first
    // character begins a word and the last ends one. Returns the number of
    // characters labelled (0 when the model is not loaded or the text is empty).
    int Label(const char* text, int length, Workspace& ws) const;

    // Label, then the words of the labelling (ws.GetWords()), each with its
    // margin: how much lower the best labelling that does not contain the word
    // scores than the chosen one, in score units (0 on a tie; larger is surer;
    // a word of a labelling the model prefers by 10 scores 10). Returns the
    // number of words.
    int Words(const char* text, int length, Workspace& ws) const;

    // As Label, but only the label scores (GetLabelScores, for SpanDeficits and
    // WordScore): no labelling, no words. For a caller that reads nothing else
    // it is the same result for less than half the work.
    int Score(const char* text, int length, Workspace& ws) const;
    // After Score: the passes and deficits that follow cover only the
    // stretches around the seeds, the characters within context characters of
    // a character whose first byte is marked in seeds (by byte offset, one
    // entry per byte of the text). Each stretch is a labelling of its own, and
    // an end of it that is not the text's is open: any label may begin or end
    // it there. The label scores (and so WordScore) stay those of the text.
    static void SetStretches(Workspace& ws, const uint8_t* seeds, int context);

    // For every span of 2 to kMaxSpanChars characters of the workspace's
    // labelling, how much lower the best labelling that makes the span one word
    // scores than the best labelling of all (Workspace::GetSpanDeficit; 0 for
    // the best labelling's own words).
    static void SpanDeficits(Workspace& ws);
    // The two passes SpanDeficits begins with, alone: for a caller that asks
    // for the deficits of a few starts only (SpanDeficitsAt), most characters
    // then cost no deficit at all.
    // After SetStretches the passes run over each stretch alone.
    static void SpanPasses(Workspace& ws);
    // After SpanPasses: the deficits of the spans of 2 to maxChars characters
    // (at most kMaxSpanChars, and within the text or within the stretch of
    // character i, which must lie in one) from character i, into out[n - 2];
    // the values SpanDeficits gives them.
    static void SpanDeficitsAt(const Workspace& ws, int i, int maxChars, float* out);
    // After SpanPasses, for every character i: which spans of 2 to
    // longest[i] characters from it (at most kMaxSpanChars, within the text or
    // the stretch of i; none outside the stretches)
    // have a deficit (as SpanDeficitsAt gives it) of at most margin2 (two
    // characters) or margin (longer), into within[i]: bit n - 2 for the span of
    // n. The test of a caller that reads the deficits only to compare them.
    static void SpansWithin(const Workspace& ws, const uint8_t* longest, float margin2, float margin,
                            uint8_t* within);
    // After SpanPasses: how much better the best labelling that makes
    // characters [from, to) (two or more, within one stretch) one word scores
    // than the best labelling that does not, in score units: positive for a
    // word of the best labelling (its margin, as Words gives it), minus its
    // deficit for any other span.
    static float SpanConfidence(const Workspace& ws, int from, int to);
    // The labelling score of characters [from, to) of the workspace as one word
    // (S, or B M..M E), with the labels of its first and last character.
    // Inline: the new-word step asks it for every candidate of a sentence.
    static float WordScore(const Workspace& ws, int from, int to, uint8_t* firstLabel, uint8_t* lastLabel)
    {
        return WordScore(ws.GetLabelScores(), ws.GetTransitionScores(), from, to, firstLabel, lastLabel);
    }
    // The same from the workspace's label and transition scores, for a caller
    // that holds them in locals across many calls (its byte stores would make
    // the compiler read them from the workspace again each time).
    static float WordScore(const float* score, const float* t, int from, int to, uint8_t* firstLabel,
                           uint8_t* lastLabel)
    {
        if (to - from == 1) {
            *firstLabel = *lastLabel = kS;
            return score[from * 4 + kS];
        }
        float sum = score[from * 4 + kB] + score[(to - 1) * 4 + kE];
        int previous = kB;
        for (int k = from + 1; k < to - 1; ++k) {
            sum += score[k * 4 + kM] + t[previous * 4 + kM];
            previous = kM;
        }
        sum += t[previous * 4 + kE];
        *firstLabel = kB;
        *lastLabel = kE;
        return sum;
    }

    // The transition matrix as Workspace::GetTransitionScores gives it.
    const float* GetTransitionScores() const { return transitionScores; }
    // Weight units to score units.
    float GetScale() const { return scale; }
    int GetCharCount() const { return charCount; }
    int GetPairCount() const { return pairCount; }
    int GetSkipCount() const { return skipCount; }
    int GetClassCount() const { return classCount; }

private:
    // Open addressing with linear probing, a power-of-two size, at most three
    // quarters full, eight slots to a cache line; row -1 marks an empty slot.
    struct Slot {
        uint32_t key;
        int32_t row;
    };
    // The window and the label scores of Label; returns the characters labelled.
    // With weights, also the scores in weight units that the labelling reads
    // (Score's callers read only the label scores).
    int Prepare(const char* text, int length, Workspace& ws, bool weights) const;
    // The forward and backward passes over characters [from, to), into the
    // workspace's arrays at the same indices; an open end lets every label
    // begin (or end) the labelling there. Returns the best labelling's score.
    static float Passes(Workspace& ws, int from, int to, bool openStart, bool openEnd);
    void Emissions(Workspace& ws, bool weights) const;
    void Viterbi(Workspace& ws) const;
    void Margins(Workspace& ws) const;

    bool loaded = false;
    int classCount = 0;
    int charCount = 0;
    int pairCount = 0;
    int skipCount = 0;
    float scale = 0;
    int32_t transitions[16] = {};
    float transitionScores[16] = {};
    // Every array below lives in this one block (see Load).
    ModelBlock block;
    const uint8_t* classOf = nullptr;  // character key -> class
    const uint16_t* denseOf = nullptr; // character key -> unigram row (0: unknown)
    const int16_t* unigram = nullptr;
    const int16_t* classTrigram = nullptr;
    const int16_t* repeat = nullptr;
    const int16_t* pairWeights = nullptr;
    const int16_t* skipWeights = nullptr;
    const Slot* pairTable = nullptr; // 2^pairBits slots; null when there are no pairs
    const Slot* skipTable = nullptr;
    int pairBits = 0;
    int skipBits = 0;
};

#endif
