#ifndef MORV_TRAINER_SUPPLEMENTLEXICON_H
#define MORV_TRAINER_SUPPLEMENTLEXICON_H

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "tools/trainer/CorpusNames.h"
#include "tools/trainer/CorpusReader.h"

class CCharset;
class CPDAT;
class TagSetFile;

// The supplementary lexicon: the words of a modern word list that the corpus's
// dictionary lacks, for the new stages to offer the segmenter beside the
// dictionary words. The list has one entry a line, "word frequency [tag]"
// (UTF-8; the frequencies are counts in a corpus of its own). The merge keeps
// the corpus's conventions: a word the corpus writes as several words next to
// each other stays cut, person names are left to the name recogniser, numbers
// and strings to the atoms; frequencies are scaled to the corpus's size and
// tags mapped to the corpus's tag set. Written as Supplement.pdat (a trie in
// the dictionary's layout, word i with the value i) and Supplement.tab (the
// frequency and tag of every word; layout in data/supplement.md).
class SupplementLexicon {
public:
    // Where Debian's python3-jieba keeps its dictionary (Expat licence).
    static const char* const kDefaultList;

    // Why an entry of the list is not a supplementary word.
    enum Reason {
        kKept = 0,
        kKnown,      // the corpus's dictionary has it
        kOneChar,    // one character: every corpus character is a word already
        kNotChinese, // no Chinese character: the engine's string and number atoms cover it
        kNumeric,    // a number (numerals, digits, units: an atom), or a numeral with its
                     // classifier, which the corpus writes as two words
        kSentenceEnd, // holds a character that ends a sentence: can never match
        kName,       // a person name by its tag
        kNoTag,      // a tag that marks no word (x)
        kCorpusCuts, // the corpus writes it as several words next to each other
        kCorpusWhole, // the corpus has it as one token, a name part or a number
        kRare,       // below the list frequency asked for
        kPlaceAndChar, // a place and a character the corpus writes apart after places
        kReasonCount
    };
    static const char* ReasonName(int reason);

    struct Options {
        // A word the corpus shows this often as adjacent words is left out.
        int minCutCount = 1;
        // Entries whose list frequency is below this are left out.
        int64_t minListFrequency = 4;
        // Which entries tagged as person names (nr, nrfg, nrt) are left out:
        // 0 all, 1 none, 2 those shaped like a Chinese name (a surname the
        // corpus knows and one or two characters), which the corpus cuts in two.
        int nameRule = 2;
        // Whether the list's tags are kept (else the tagger chooses).
        bool listTags = true;
        // A word that is a place of the corpus and one character (长江口,
        // 奥地利人) is left out when the corpus writes that character as a
        // word of its own right after a place at least this often (0: never)
        // and at least three times as often as it writes the words made of
        // a place and that character (黄河口) all told.
        int minPlaceApart = 3;
    };

    struct Word {
        std::string text;   // GBK
        float frequency;    // scaled to the corpus
        uint8_t tag;        // tag code of the tag set; 255: the tagger decides
    };

    // All references must outlive the object. coreDict: the corpus's dictionary.
    SupplementLexicon(const CCharset& charset, const TagSetFile& tagSet, const CPDAT& coreDict,
                      const CorpusNames& names);
    virtual ~SupplementLexicon();

    // Reads the list. False with a reason when the file cannot be opened or
    // holds no usable entry; lines that do not parse, or whose word has no GBK
    // form, are counted and skipped.
    bool ReadList(const std::string& path, std::string* error);
    bool ReadList(std::istream& in, std::string* error);
    // Chooses the words: the filters above, then the corpus's view of every
    // word left (the paragraphs of the training corpus, GBK), the scaling of the
    // frequencies to corpusTokens words and the tags.
    void Build(const std::vector<Paragraph>& paragraphs, size_t corpusTokens, const Options& options);
    // Writes Supplement.pdat and Supplement.tab into dataDir (through the
    // model writer's batch). False when a file cannot be written.
    bool Write(const std::string& dataDir) const;

    // The corpus tag a list tag maps to: "" for the tags of person names and of
    // non-words (the entry is left out), "?" for tags this table does not know
    // (the word is kept, the tagger chooses its tag).
    static std::string MapTag(const std::string& listTag);

    const std::vector<Word>& GetWords() const { return words; }
    size_t GetEntryCount() const { return entries.size(); }
    size_t GetBadLineCount() const { return badLines; }
    size_t GetReasonCount(Reason r) const { return reasonCounts[r]; }
    double GetScale() const { return scale; }

    // The table file's bytes for a list of words (exposed for tests and tools).
    static std::string SerializeTable(const std::vector<Word>& words);

private:
    struct Entry {
        std::string text; // GBK
        int64_t frequency;
        std::string tag;  // as the list writes it
        int reason = kKept;
    };
    int Classify(const Entry& e, const Options& options) const;
    bool IsChineseName(const std::vector<std::string>& chars) const;
    void ScanCorpus(const std::vector<Paragraph>& paragraphs, std::vector<int>& cut, std::vector<int>& whole) const;
    // The entries still kept that are a place and a character the corpus
    // writes apart after places (Options::minPlaceApart), marked kPlaceAndChar.
    void LeaveOutPlaceAndChar(const std::vector<Paragraph>& paragraphs, int minApart);

    const CCharset& charset;
    const TagSetFile& tagSet;
    const CPDAT& coreDict;
    const CorpusNames& names;
    std::vector<Entry> entries;
    size_t badLines = 0;
    int64_t listTotal = 0;
    double scale = 0;
    size_t reasonCounts[kReasonCount] = {};
    std::vector<Word> words;
};

#endif
