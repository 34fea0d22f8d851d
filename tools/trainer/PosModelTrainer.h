#ifndef MORV_TRAINER_POSMODELTRAINER_H
#define MORV_TRAINER_POSMODELTRAINER_H

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/trainer/CorpusReader.h"
#include "tools/trainer/PosModelWriter.h"

class CPosLexicon;
class WordStatistics;

// Trains the discriminative part-of-speech model (NewPos.pm, read by
// CPosModel): an averaged perceptron over the tags of the tokens the tagger
// meets (person names merged, numbers, times and strings as their class
// words), with first-order tag transitions and the features CPosModel
// describes. A word of one fold of the corpus only is presented as a new word
// would be (the class word of new words, no lexicon entries of its own), so
// that the model learns to tag unknown words by their characters. Candidates
// are the lexicon's tags, as when tagging. The run is deterministic: the same
// corpus gives the same file, byte for byte.
class PosModelTrainer {
public:
    struct Options {
        // Passes over the corpus; held-out days of the training month showed a
        // plateau from four to seven.
        int iterations = 6;
        // Weights that quantise within +-pruneBelow are left out of the file.
        int pruneBelow = 0;
        // A tag that the lexicon drops for the words that list another (vn
        // beside v, say) becomes an extra candidate of those words when the
        // corpus shows the pair at least this often per token.
        double expansionShare = 1e-4;
    };
    struct Report {
        size_t sentences = 0;
        size_t tokens = 0;
        size_t choiceTokens = 0; // tokens with more than one candidate
        size_t newWordTokens = 0; // tokens presented as new words
        size_t features = 0;
        size_t cells = 0;        // weights while training
        size_t errors = 0;       // tokens the last pass tagged wrong
        size_t expansions = 0;   // expansion pairs chosen
        double seconds = 0;
    };

    // words: the run's word statistics (dictionary ids, the tagger's tokens);
    // lexicon: the part-of-speech lexicon the engine reads beside the model.
    // Both must outlive the trainer.
    PosModelTrainer(const WordStatistics& words, const CPosLexicon& lexicon);
    PosModelTrainer(const WordStatistics& words, const CPosLexicon& lexicon, const Options& options);
    virtual ~PosModelTrainer() = default;

    // Learns from the paragraphs. epochDone, when given, is called after every
    // pass with its number (from 1); BuildImage then gives the model averaged
    // up to that pass.
    void Train(const std::vector<Paragraph>& paragraphs, const std::function<void(int)>& epochDone = nullptr);
    // The model as the file holds it: averaged, quantised to 16 bits, pruned.
    PosModelWriter::Image BuildImage() const;
    bool Write(const std::string& path) const;
    const Report& GetReport() const { return report; }

private:
    // The model tags a feature can be updated for: 256 bits, and the rank of a
    // tag among them gives its weight's place.
    struct Mask {
        uint64_t bits[4] = {};
        void Set(int t) { bits[t >> 6] |= uint64_t(1) << (t & 63); }
        bool Has(int t) const { return (bits[t >> 6] >> (t & 63)) & 1; }
        int Rank(int t) const;
        int Count() const;
    };
    struct Sentence {
        size_t first; // first token
        int length;   // tokens
    };

    void Prepare(const std::vector<Paragraph>& paragraphs);
    int FeatureOf(uint8_t templ, uint32_t key);
    // Tags sentence s with the current weights into predicted.
    void Decode(const Sentence& s, std::vector<uint8_t>& predicted);
    void Update(const Sentence& s, const std::vector<uint8_t>& predicted);
    double Averaged(int32_t w, int64_t u) const;
    // How many candidates CPosModel gives a word with these lexicon entries.
    int CandidateCount(const CPosLexicon::Entry* entries, int count) const;

    const WordStatistics& words;
    const CPosLexicon& lexicon;
    Options options;
    Report report;

    std::vector<uint8_t> tagCodes; // model tag -> tag code
    uint8_t tagOf[256] = {};       // tag code -> model tag (255: none)
    std::vector<uint8_t> openTags;
    std::vector<std::pair<uint8_t, uint8_t>> expansions; // model tags, rising
    std::vector<uint32_t> tagCounts; // gold tokens of each model tag

    std::vector<Sentence> sentences;
    std::vector<uint8_t> gold;              // per token
    std::vector<uint32_t> candidateStart;   // per token, and one past the last
    std::vector<uint8_t> candidates;
    std::vector<uint32_t> featureStart;     // per token, and one past the last
    std::vector<int32_t> tokenFeatures;

    std::unordered_map<uint64_t, int32_t> featureIndex; // template << 32 | key
    std::vector<uint64_t> featureKeys;
    std::vector<Mask> masks;
    std::vector<uint32_t> cellStart;
    std::vector<int32_t> weights;
    std::vector<int64_t> weightSums; // time-weighted updates, for the average
    std::vector<int32_t> transitions; // K x K
    std::vector<int64_t> transitionSums;
    int64_t clock = 1;

    // Decoding scratch.
    std::vector<int64_t> score;
    std::vector<int32_t> back;
};

#endif
