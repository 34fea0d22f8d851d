#ifndef MORV_TRAINER_WORDSTATISTICS_H
#define MORV_TRAINER_WORDSTATISTICS_H

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/trainer/CorpusNames.h"
#include "tools/trainer/CorpusReader.h"

class CCharset;
class CPDAT;
class CPreProcess;
class TagSetFile;

// The word-level models: the core dictionary, word unigram and bigram counts,
// the part-of-speech lexicon and the tag transitions (CoreDict.pdat,
// CoreDict.unig, BiWord.big, CoreDict.pos, Morv.ctx). Counts follow the units
// the pipeline meets: class words for numbers, times and strings, person names
// in characters for the segmenter and as one 未##人 for the tagger.
class WordStatistics {
public:
    // A token as the segmenter would produce it: byte offsets in the paragraph
    // and the word id (-1 when the dictionary lacks the text).
    struct Token {
        int start;
        int end;
        int id;
    };

    // All references must outlive this object.
    WordStatistics(const CCharset& charset, const TagSetFile& tagSet, const std::vector<Paragraph>& paragraphs,
                   const CorpusNames& names);
    virtual ~WordStatistics();

    // Classifies the corpus tokens, builds the dictionary and counts. dataDir
    // takes the temporary word lists the dictionary build reads. False with a
    // message on stderr.
    bool Build(const std::string& dataDir);
    // Writes CoreDict.pdat, CoreDict.unig, BiWord.big, CoreDict.pos, Morv.ctx.
    bool Write(const std::string& dataDir) const;
    // Writes NewWord.unig, NewWord.big and NewWord.pos: the word tables and the
    // part-of-speech lexicon again, with the statistics of the class word the
    // new-word stage gives the words it proposes (未##专). It stands, in these
    // counts, for every word that only one fold of the corpus (one day) shows:
    // the words that a text the models never saw will hold as new ones.
    bool WriteNewWordTables(const std::string& dataDir) const;
    // Counts the m and t tokens made of digits, numerals and units, and how many
    // of them the pre-processor makes exactly one atom.
    void MeasureNumericAtoms(size_t& tokens, size_t& oneAtom);

    // A paragraph cut into sentences of the units the dictionary holds, framed by
    // the sentence markers: what the segmenter would give if it cut every word
    // as the corpus does (person names in characters).
    std::vector<std::vector<Token>> CorpusSentences(const Paragraph& p) const;

    // A token as the part-of-speech tagger meets it, with its corpus tag code.
    struct TaggerToken {
        int start;
        int end;
        int id;           // word id; 未##人 for a merged person name, class words for numbers, times, strings
        int tag;
        bool rare;        // a word of one fold only: what a new word of unseen text looks like
        bool person;      // a merged person name
    };
    // A paragraph cut into sentences of the tokens the part-of-speech tagger
    // meets, framed by the sentence markers: person names merged, numbers, times
    // and strings as their class words (the units the tag statistics count).
    std::vector<std::vector<TaggerToken>> TaggerSentences(const Paragraph& p) const;

    const CPDAT* GetDictionary() const { return coreDict.get(); }
    const std::vector<std::string>& GetWordList() const { return wordList; }
    int GetWordCount() const { return static_cast<int>(wordList.size()); }
    int WordId(const std::string& word) const;
    int32_t Frequency(int id) const { return unigram[static_cast<size_t>(id)]; }
    size_t GetSentenceCount() const { return sentences; }

private:
    // A unit the pipeline meets: a dictionary word, a class word or a name.
    struct Unit {
        int32_t id;
        int tag;
        int start; // byte offsets in the paragraph text
        int end;
        int use = kCountBoth; // which statistics the unit enters
        bool rare = false;    // a word of one fold only: counted as the new-word class too
    };
    static constexpr int kCountWords = 1; // unigram and bigram
    static constexpr int kCountTags = 2;  // part-of-speech entries and transitions
    static constexpr int kCountBoth = 3;

    void ClassifyTokens(const std::string& dataDir);
    bool BuildDictionary(const std::string& dataDir);
    void CountUnits();
    // The words of two characters or more that only one fold of the corpus shows.
    void FindRareWords();
    void CountNewWordClass(const std::vector<Unit>& units);
    // -2: not one atom; -1: one atom of no class word; else the special-word index
    // of the class word the atom carries. Cached per text.
    int AtomOf(const std::string& text);
    int ClassWordOf(const std::string& text) const;
    std::vector<int> SentenceEnds(const Paragraph& p) const;
    int TagCode(const std::string& tag) const;

    const CCharset& charset;
    const TagSetFile& tagSet;
    const std::vector<Paragraph>& paragraphs;
    const CorpusNames& names;

    std::unique_ptr<CPDAT> prelimDict;
    std::unique_ptr<CPreProcess> atomSplitter;
    std::unique_ptr<CPDAT> coreDict;
    std::unordered_map<std::string, int> atomClass; // token text -> special index or -1
    std::set<std::string> classWordTypes;           // texts counted as their class word

    std::vector<std::string> wordList;
    std::unordered_map<std::string, int> wordIds;
    int specialIds[15] = {};

    std::vector<int32_t> unigram;
    std::map<std::pair<int32_t, int32_t>, int32_t> bigram;
    std::vector<std::map<int, int32_t>> posCounts;
    std::vector<int32_t> tagFrequency;
    std::vector<int32_t> tagPairs;
    size_t sentences = 0;

    std::set<std::string> rareWords;
    int32_t newWordFrequency = 0;
    std::map<std::pair<int32_t, int32_t>, int32_t> newWordPairs;
    std::map<int, int32_t> newWordTags;
};

#endif
