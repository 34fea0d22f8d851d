#ifndef MORV_TRAINER_NAMEMODELTRAINER_H
#define MORV_TRAINER_NAMEMODELTRAINER_H

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "tools/trainer/CorpusReader.h"
#include "tools/trainer/NameModelWriter.h"

class CCharset;

// Trains the character-based person-name model (PersonName.nm, read by
// CNameModel): an averaged perceptron over the seven name labels of every
// character of the corpus as annotated (a Chinese name is surname + given name,
// two nr words; any other name one nr word), with first-order transitions under
// the label grammar CNameModel decodes with. Besides the characters, their pairs
// and classes, each character of the window -1..1 carries how often the corpus
// shows it as surname, given-name character and transliteration character, and
// each character the longest strings of the corpus (words, and names as they
// stand in the text) that begin, end or run across it, with a class that says
// how often the string was a name. While training, the occurrence at hand is
// left out of those counts, as an unseen text would be. The run is deterministic.
class NameModelTrainer {
public:
    struct Options {
        int iterations = 8;
        // Characters seen fewer times get no row of their own (they read as
        // unknown), and pairs seen fewer times no feature: a row for a single
        // occurrence only learns that occurrence's name by heart.
        int minCharCount = 2;
        int minPairCount = 2;
        bool lexicon = true;
    };
    struct Report {
        size_t sentences = 0;
        size_t characters = 0;
        size_t names = 0;
        int chars = 0;       // characters with a row
        int pairsSeen = 0;   // pairs with a feature while training
        int pairsKept = 0;   // pair rows written
        int lexiconSize = 0; // lexicon entries written (strings and their prefixes)
        size_t updates = 0;  // sentences the last pass got wrong
        size_t bytes = 0;
        double seconds = 0;
    };
    // The model as the file holds it.
    using Image = NameModelWriter::Image;
    // Buckets of a character's statistics: unseen, then five ranges of the share
    // of its occurrences in the role, each for frequent and rare characters.
    static constexpr int kStatTypes = 3; // surname, given name, transliteration
    static constexpr int kBuckets = 11;
    static int Bucket(int64_t occurrences, int64_t inRole);
    // The lexicon class of a string seen `count` times, `whole` of them as a whole
    // name, `part` as a part of one (surname or given name), `place` as a place
    // name and `proper` as another proper noun; -1 for none.
    static int LexClass(int64_t count, int64_t whole, int64_t part, int64_t place, int64_t proper);
    // The bucket of the share of a string's occurrences next to a name.
    static int ContextBucket(int64_t count, int64_t nextToName);

    explicit NameModelTrainer(const CCharset& charset);
    NameModelTrainer(const CCharset& charset, const Options& options);
    virtual ~NameModelTrainer() = default;

    // epochDone, when given, is called after every pass with its number.
    void Train(const std::vector<Paragraph>& paragraphs, const std::function<void(int)>& epochDone = nullptr);
    Image BuildImage() const;
    // Written through ModelWriter, so that it joins the run's batch.
    bool Write(const std::string& path);
    const Report& GetReport() const { return report; }

    // The name label of every character of the paragraph's text, in order.
    static std::vector<uint8_t> Labels(const Paragraph& p);

private:
    // How a string of the corpus occurs: as a word, a name of one word, a part of
    // a Chinese name, a whole Chinese name (its two words together).
    enum Occurrence : uint8_t { kWord, kWholeName, kPartName, kFullName, kPlace, kProper };
    struct Span {
        int start; // characters, in the sentence
        int length;
        Occurrence kind;
    };
    struct LexCounts {
        int32_t count = 0;
        int32_t whole = 0;
        int32_t part = 0;
        int32_t place = 0;
        int32_t proper = 0;
        int32_t before = 0; // occurrences just before a name
        int32_t after = 0;  // occurrences just after a name
    };
    struct Sentence {
        size_t window; // first window entry: 2 pads, the characters, 2 pads
        size_t label;  // first character
        size_t pair;   // first pair place
        int length;
    };

    void Count(const std::vector<Paragraph>& paragraphs);
    // Calls visit(keys, labels, spans, nameNext) for every sentence of the
    // paragraphs, cut where the engine cuts; nameNext[k] says of spans[k] whether
    // a name begins where it ends (bit 0) and whether one ends where it begins
    // (bit 1).
    template <class Visit> static void Sentences(const std::vector<Paragraph>& paragraphs, const CCharset& charset,
                                                 Visit visit);
    void AddSentence(const std::vector<int>& keys, const std::vector<uint8_t>& labels,
                     const std::vector<uint8_t>& statBuckets, const std::vector<Span>& spans,
                     const std::vector<uint8_t>& nameNext);
    void IndexPairs();
    int Features(const Sentence& s, int i, int32_t* blocks) const;
    void Decode(const Sentence& s, std::vector<int64_t>& emission, std::vector<int64_t>& forward,
                std::vector<uint8_t>& back, std::vector<uint8_t>& labels) const;
    double Averaged(size_t i) const;

    const CCharset& charset;
    Options options;
    Report report;

    // Per character key: occurrences, and occurrences as surname (first
    // character of a Chinese name), given-name character, transliteration
    // character.
    std::vector<int32_t> occurrences;
    std::vector<int32_t> inRole[kStatTypes];

    std::vector<uint16_t> rowOf;
    std::vector<uint16_t> charKeys;
    std::vector<Sentence> sentences;
    std::vector<uint16_t> windowRows;
    std::vector<uint8_t> windowClasses;
    std::vector<uint8_t> stats; // per character: kStatTypes buckets, the occurrence left out
    std::unordered_map<uint64_t, LexCounts> lexCounts;
    std::unordered_set<uint64_t> lexPrefixes;
    std::vector<int32_t> lexFound; // per character, CNameModel::kLexMatches: class x 16 + length, 0 none
    std::vector<uint8_t> gold;
    std::vector<int32_t> pairRows;
    std::vector<uint32_t> pairKeys;

    size_t statBase = 0, trigramBase = 0, pairBase = 0, lexBase = 0, contextBase = 0;
    std::vector<int32_t> weights;
    std::vector<int64_t> weightSums;
    std::vector<int32_t> transitions;
    std::vector<int64_t> transitionSums;
    int64_t clock = 1;
};

#endif
