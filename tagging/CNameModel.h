#ifndef MORV_CNAMEMODEL_H
#define MORV_CNAMEMODEL_H

#include <cstdint>
#include <memory>
#include <vector>

#include "lexicon/ModelBlock.h"

// The character-based person-name model (PersonName.nm, written by morv-train;
// the layout is in data/personname.md). A linear model gives every character of
// a sentence one of seven labels: outside any name, the parts of a Chinese name
// (surname, second character of a two-character surname, first and second
// given-name character) or the parts of a name written as one word
// (transliterated names, given names alone, 老张, a surname alone). A
// first-order Viterbi over the labels, constrained to well-formed names, picks
// the labelling; the caller may add scores of its own per label and per place
// where a name would end (what the rest of the pipeline knows).
//
// Features of a character: the characters two to each side (with statistics of
// how often each serves as surname, given-name or transliteration character,
// folded into the character's weights by the trainer), the pairs of adjacent
// characters around it, the classes of it and its neighbours, and the strings
// of the training text that begin, end or run across it or end just before or
// begin just after it: a lexicon of words and names, each with a class that says
// how often it was a name (whole, or part of one), a place or another proper
// noun, and whether it was rare.
//
// Read-only after Load: one model may serve many threads at once, each with its
// own Workspace.
class CNameModel {
public:
    enum Label : uint8_t {
        kO = 0,  // outside any name
        kSB = 1, // first character of a Chinese name (the surname)
        kS2 = 2, // second character of a two-character surname
        kG1 = 3, // first given-name character
        kG2 = 4, // second given-name character
        kWB = 5, // first character of a name written as one word
        kWI = 6, // further character of such a name
    };
    static constexpr int kLabelCount = 7;

    // File layout constants, shared with the trainer.
    static constexpr char kMagic[4] = {'M', 'P', 'N', 'M'};
    static constexpr uint32_t kVersion = 1;
    static constexpr int kHeaderBytes = 36 + 4 * kLabelCount * kLabelCount;
    static constexpr int kKeyCount = 65536;
    static constexpr int kReservedRows = 3; // unknown character, before and after the sentence
    static constexpr int kUnknownChar = 0;
    static constexpr int kBeforeSentence = 1;
    static constexpr int kAfterSentence = 2;
    // Every block of weights has one weight per label and a zero after them, so
    // that a block is eight 16-bit numbers, summed in one vector operation.
    static constexpr int kRowWidth = 8;
    // A character's score for a label sums at most kMaxBlocks blocks; every
    // weight lies within +-kMaxWeight, so the sums fit 16 bits.
    static constexpr int kMaxBlocks = 17;
    static constexpr int kMaxWeight = 32767 / kMaxBlocks;
    static constexpr int kOffsets = 5;                             // characters -2..2
    static constexpr int kUnigramWeights = kOffsets * kRowWidth;   // per character row
    static constexpr int kPairPlaces = 4;                          // C-2C-1, C-1C0, C0C1, C1C2
    static constexpr int kPairWeights = kPairPlaces * kRowWidth;   // per pair row
    static constexpr int kMaxClasses = 16;
    static constexpr int kMaxChars = 65536 - kReservedRows;
    static constexpr int32_t kMaxTransition = 1 << 24;
    // The lexicon: strings of 2..kMaxLexLength characters, found by a walk over
    // their prefixes. Each is known by a 64-bit fingerprint of its character keys
    // (Fingerprint, from kFingerprintSeed, one key at a time; never 0), with a
    // class below kLexClasses, kContinues added when longer entries begin with
    // it, or kPrefixOnly for a prefix that is no entry.
    static constexpr int kMaxLexLength = 8;
    static constexpr int kLexClasses = 12;
    // The string begins at, ends at, runs across the character; ends just before
    // it, begins just after it.
    static constexpr int kLexPlaces = 5;
    static constexpr int kLexMatches = 3; // the first three places, found per character
    static constexpr int kLexLengths = 4; // 2, 3, 4, 5 or more characters
    static constexpr int kLexWeights = kLexClasses * kLexPlaces * kLexLengths * kRowWidth;
    // Each string also says how often a name followed it and how often one came
    // just before it (kContextBuckets shares each, as context = before x
    // kContextBuckets + after): the string that ends just before a character,
    // or begins just after it, gives those as features too.
    static constexpr int kContextBuckets = 5;
    static constexpr int kContextWeights = 2 * kContextBuckets * kLexLengths * kRowWidth;
    static constexpr uint8_t kContinues = 0x80;
    static constexpr uint8_t kPrefixOnly = 255;
    static constexpr uint64_t kFingerprintSeed = 0xCBF29CE484222325ull;
    static uint64_t Fingerprint(uint64_t previous, int32_t key)
    {
        const uint64_t h = (previous ^ static_cast<uint64_t>(key & 0xFFFF)) * 0x9E3779B97F4A7C15ull;
        return h == 0 ? 1 : h;
    }
    // Offset in the lexicon weights of a string of `length` characters of class
    // `lexClass` at place `place` of a character.
    static int LexBlock(int lexClass, int place, int length)
    {
        const int bucket = (length < 5 ? length : 5) - 2;
        return ((lexClass * kLexPlaces + place) * kLexLengths + bucket) * kRowWidth;
    }
    // Offset in the context weights: side 0 for the share of a name following
    // the string that ends just before the character, 1 for the share of a name
    // preceding the string that begins just after it.
    static int ContextBlock(int side, int bucket, int length)
    {
        const int lengthBucket = (length < 5 ? length : 5) - 2;
        return ((side * kContextBuckets + bucket) * kLexLengths + lengthBucket) * kRowWidth;
    }
    // A found string as the workspace keeps it: context, class and length.
    static int32_t LexCode(int context, int lexClass, int length) { return context << 8 | lexClass << 4 | length; }

    // Which label may follow which (kAllowed[previous][label]), which may begin
    // a sentence, which may end one. A Chinese name is SB [S2] G1 [G2]; a
    // one-word name WB WI*.
    static const bool kAllowed[kLabelCount][kLabelCount];
    static const bool kCanStart[kLabelCount];
    static const bool kCanEnd[kLabelCount];
    // Whether a label continues the name of the label before it (S2, G1, G2, WI).
    static bool Continues(int label) { return label == kS2 || label == kG1 || label == kG2 || label == kWI; }

    // A name of the labelling: byte offsets in the text; split is where the
    // surname of a Chinese name ends (-1 for a one-word name).
    struct Name {
        int start;
        int end;
        int split;
    };

    class Workspace {
    public:
        Workspace() = default;
        virtual ~Workspace() = default;

        int GetCharCount() const { return charCount; }
        // charCount + 1 byte offsets: character i is [starts[i], starts[i + 1]).
        const int* GetCharStarts() const { return starts.data() + 2; }
        const uint8_t* GetLabels() const { return labels.data(); }
        const std::vector<Name>& GetNames() const { return names; }

        // Scores the caller adds between Prepare (which clears them) and Decode,
        // in score units: to label `label` of character i, and to every labelling
        // in which a name ends at place j (just before character j; j =
        // GetCharCount() is the end of the text). Out-of-range places are ignored.
        void AddLabelBonus(int i, int label, float score);
        void AddEndBonus(int j, float score);
        // The same in weight units, for callers that add one score in many places.
        int64_t Units(float score) const;
        void AddLabelUnits(int i, int label, int64_t units)
        {
            if (i >= 0 && i < charCount && label >= 0 && label < kLabelCount)
                Accumulate(labelBonus[static_cast<size_t>(i) * kLabelCount + static_cast<size_t>(label)], units);
        }
        void AddEndUnits(int j, int64_t units)
        {
            if (j >= 0 && j <= charCount)
                Accumulate(endBonus[static_cast<size_t>(j)], units);
        }
        // What a name pays for each bound (its start, its end) at a place the
        // caller marks as no boundary (place j: just before character j).
        void SetBoundaryPenalty(float score) { boundaryPenalty = Units(score); }
        void MarkNoBoundary(int j)
        {
            if (j > 0 && j < charCount)
                noBoundary[static_cast<size_t>(j)] = 1;
        }

    private:
        friend class CNameModel;
        // Bonuses stay within +-kMaxBonus weight units, so no sum of scores can
        // overflow.
        static constexpr int64_t kMaxBonus = int64_t(1) << 40;
        static void Accumulate(int64_t& slot, int64_t units)
        {
            const int64_t u = units < -kMaxBonus ? -kMaxBonus : units > kMaxBonus ? kMaxBonus : units;
            const int64_t sum = slot + u;
            slot = sum < -kMaxBonus ? -kMaxBonus : sum > kMaxBonus ? kMaxBonus : sum;
        }
        int charCount = 0;
        std::vector<int> starts; // two pads, the characters, their end, two pads
        std::vector<int32_t> keys;
        std::vector<uint16_t> dense;
        std::vector<uint8_t> classes;
        std::vector<uint32_t> pairKeys;
        std::vector<const int16_t*> pairAt;
        // charCount x kLexMatches: the longest string at each place, as LexCode
        // (0: none).
        std::vector<int32_t> lexFound;
        std::vector<uint64_t> lexFirst; // fingerprint of the two characters from each
        std::vector<int32_t> emission; // charCount x labels, weight units
        std::vector<int64_t> forward;
        std::vector<uint32_t> back; // per character: the label before, 3 bits per label
        std::vector<uint8_t> labels;
        double perUnit = 1;                // weight units per score unit
        std::vector<int64_t> labelBonus;   // charCount x labels, weight units
        std::vector<int64_t> endBonus;     // charCount + 1
        int64_t boundaryPenalty = 0;
        std::vector<uint8_t> noBoundary;   // charCount + 1
        std::vector<Name> names;
    };

    CNameModel();
    virtual ~CNameModel();

    // Reads the whole file. False when it cannot be opened or is no sound model
    // (wrong magic, version or reserved field, a size other than its counts
    // demand, keys out of order or naming rows that do not exist, a class out of
    // range, a bad scale or transition); the object then keeps what it held.
    bool Load(const char* path);
    bool IsLoaded() const { return loaded; }

    // Cuts text[0, length) into characters as the engine reads them, computes
    // every character's label scores and zeroes the bonuses. Returns the number
    // of characters (0 when the model is not loaded or the text is empty).
    int Prepare(const char* text, int length, Workspace& ws) const;
    // The same for characters the caller has already cut: n characters, the
    // i-th at bytes [charStarts[i], charStarts[i + 1]) of its text, with its key
    // (charkeys::KeyAt). The workspace's offsets count from charStarts[0]. A
    // stage that reads many stretches of one sentence cuts it only once.
    int Prepare(const int* charStarts, const int32_t* keys, int n, Workspace& ws) const;
    // The best labelling of what Prepare read, with the bonuses added, and its
    // names. Returns the number of names.
    int Decode(Workspace& ws) const;

    // The part of the score of a labelling that characters [first, last) of
    // the last Decode decide when they carry `labels` (last - first of them)
    // and every other character keeps its decoded label: their emissions and
    // bonuses, the transitions into, inside and out of them, and the end
    // bonuses and cut penalties of the bounds there. Comparing two
    // alternatives for the same characters compares whole labellings. A
    // labelling the grammar forbids scores kNoLabelling.
    static constexpr int64_t kNoLabelling = INT64_MIN / 4;
    int64_t LabellingScore(const Workspace& ws, int first, int last, const uint8_t* labels) const;

    // How much the weights a character gives itself favour the first label of
    // a name (SB or WB) over O, in weight units; 0 when no model is loaded.
    int OpeningMargin(int32_t key) const;
    // Weight units to score units.
    float GetScale() const { return scale; }
    int GetCharCount() const { return charCount; }
    int GetPairCount() const { return pairCount; }
    int GetClassCount() const { return classCount; }
    int GetLexiconSize() const { return lexCount; }

private:
    struct Slot {
        uint32_t key;
        int32_t row;
    };
public:
    // A lexicon slot: the low half of the fingerprint (the high bits chose the
    // slot), the class and context; one cache line holds eight.
    struct LexSlot {
        uint32_t check;
        uint8_t lexClass;
        uint8_t context;
        uint16_t used; // 0: empty
    };

private:
    // Rows, classes and emissions of the characters whose keys fill the
    // window, then the bonuses cleared.
    int Score(Workspace& ws) const;
    void Emissions(Workspace& ws) const;
    void Lexicon(Workspace& ws) const;
    // The slot of a lexicon fingerprint; null when the lexicon has no such prefix.
    const LexSlot* FindLex(uint64_t fingerprint) const;
    size_t LexHome(uint64_t fingerprint) const
    {
        return lexBits == 0 ? 0 : static_cast<size_t>(fingerprint >> (64 - lexBits));
    }

    bool loaded = false;
    int classCount = 0;
    int charCount = 0;
    int pairCount = 0;
    int lexCount = 0;
    float scale = 0;
    int32_t transitions[kLabelCount * kLabelCount] = {};
    ModelBlock block;
    const uint8_t* classOf = nullptr;
    const uint16_t* denseOf = nullptr;
    const int16_t* unigram = nullptr;
    const int16_t* classTrigram = nullptr;
    const int16_t* pairWeights = nullptr;
    const Slot* pairTable = nullptr;
    int pairBits = 0;
    const int16_t* lexWeights = nullptr;
    const LexSlot* lexTable = nullptr; // 2^lexBits slots
    const int16_t* contextWeights = nullptr;
    int lexBits = 0;
};

#endif
