#ifndef MORV_TRAINER_CHARMODELTRAINER_H
#define MORV_TRAINER_CHARMODELTRAINER_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/trainer/CharModelWriter.h"
#include "tools/trainer/CorpusReader.h"

class CCharset;

// Trains the character-based new-word model (NewWord.cm, read by CCharModel):
// an averaged perceptron over the labels B, M, E, S of every character of the
// corpus words as annotated (a Chinese name stays two words, surname and given
// name), with first-order label transitions and the feature templates that
// CCharModel documents. Sentences are cut where the engine cuts them. The run
// is deterministic: the same corpus gives the same file, byte for byte.
class CharModelTrainer {
public:
    struct Options {
        int iterations = 10;
        // Character pairs seen fewer times than this get no feature of their own.
        int minPairCount = 1;
        // Pair rows whose quantised weights all lie within +-pruneBelow are left
        // out of the file (0: only rows that quantise to nothing at all).
        int pruneBelow = 0;
        // The pair around the character (C-1C1). Without it the model has no
        // skip rows, and the engine makes one table look-up per character fewer.
        bool skipPairs = true;
    };
    struct Report {
        size_t sentences = 0;
        size_t characters = 0;
        int chars = 0;     // distinct characters
        int pairsSeen = 0; // adjacent pairs with a feature row while training
        int skipsSeen = 0;
        size_t updates = 0; // sentences the last pass got wrong
        double seconds = 0;
    };
    // Coarse character classes of the model; the last is the class of the
    // positions outside the sentence.
    enum CoarseClass {
        kHan = 0,         // Chinese characters and everything not below
        kDigit = 1,       // ASCII and full-width digits, circled and Roman numerals
        kNumeral = 2,     // Chinese numerals and magnitudes (一 十 百 万 两 几)
        kLetter = 3,      // Latin letters, ASCII and full-width
        kPunctuation = 4, // punctuation, blanks and line breaks
        kDateUnit = 5,    // 年 月 日 时 分 点
        kSymbol = 6,      // other non-Chinese two-byte characters, lone lead bytes
        kOutside = 7,
        kClassCount = 8,
    };

    explicit CharModelTrainer(const CCharset& charset);
    CharModelTrainer(const CCharset& charset, const Options& options);
    virtual ~CharModelTrainer() = default;

    // Learns from the paragraphs. epochDone, when given, is called after every
    // pass with its number (from 1); BuildImage then gives the model averaged
    // up to that pass.
    void Train(const std::vector<Paragraph>& paragraphs, const std::function<void(int)>& epochDone = nullptr);
    // The model as the file holds it: averaged, quantised to 16 bits, pruned.
    CharModelWriter::Image BuildImage() const;
    // BuildImage, written atomically.
    bool Write(const std::string& path) const;
    const Report& GetReport() const { return report; }

    // The class of a character key given its class in the engine's table.
    static int ClassOf(int key, int engineClass);

private:
    struct Sentence {
        size_t window; // first window entry: 2 before the sentence, the sentence, 2 after
        size_t label;  // first label
        size_t pair;   // first pair row (pairs of adjacent window entries)
        int length;
    };

    void AddSentence(const std::vector<int>& keys, const std::vector<uint8_t>& labels);
    void IndexFeatures();
    // Offsets into weights of the 4-label blocks of character i's features.
    int Features(const Sentence& s, int i, int32_t* blocks) const;
    void Decode(const Sentence& s, std::vector<int64_t>& emission, std::vector<int64_t>& forward,
                std::vector<uint8_t>& back, std::vector<uint8_t>& labels) const;
    double Averaged(int64_t w, int64_t u) const;

    const CCharset& charset;
    Options options;
    Report report;

    std::vector<uint16_t> rowOf; // character key -> unigram row (0 unknown)
    std::vector<uint16_t> charKeys;
    std::vector<Sentence> sentences;
    std::vector<int32_t> windowKeys; // -1 / -2 outside the sentence
    std::vector<uint16_t> windowRows;
    std::vector<uint8_t> windowClasses;
    std::vector<uint8_t> gold;
    std::vector<int32_t> pairRows; // -1: no feature
    std::vector<int32_t> skipRows;
    std::vector<uint32_t> pairKeys; // by row
    std::vector<uint32_t> skipKeys;

    // Weights (int32 sums of +-1 updates) and their time-weighted sums for the
    // average, one array: unigram rows, class trigrams, repeats, pairs, skips.
    size_t trigramBase = 0, repeatBase = 0, pairBase = 0, skipBase = 0;
    std::vector<int32_t> weights;
    std::vector<int64_t> weightSums;
    int32_t transitions[16] = {};
    int64_t transitionSums[16] = {};
    int64_t clock = 1;
};

#endif
