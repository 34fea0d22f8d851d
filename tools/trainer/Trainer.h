#ifndef MORV_TRAINER_TRAINER_H
#define MORV_TRAINER_TRAINER_H

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "segment/CCharset.h"
#include "tools/trainer/CharClassSource.h"
#include "tools/trainer/CorpusReader.h"
#include "tools/trainer/TagSetFile.h"

class CPDAT;
class CPreProcess;

struct TrainerOptions {
    std::string corpusPath;
    std::string outputDir; // the base directory to write (Configure.xml, Data/...)
    std::string sourceDir; // data/: charclasses.txt, tagset.txt, Configure.xml
    int firstDate = 0;     // YYYYMMDD, 0 = from the first paragraph
    int lastDate = 0;      // YYYYMMDD, 0 = to the last paragraph
    bool quiet = false;
    bool allowBadLines = false; // train even when over 5% of the corpus lines are skipped
};

// What a training run measured.
struct TrainerReport {
    size_t paragraphs = 0;
    size_t tokens = 0;
    size_t badLines = 0;
    int words = 0;             // dictionary size
    size_t sentences = 0;
    size_t numericTokens = 0;  // m/t tokens made of digits, numerals and units
    size_t numericOneAtom = 0; // ... that the pre-processor makes exactly one atom
    size_t names = 0;
    size_t namesAligned = 0;   // names whose text segmentation cuts at both ends, in 2+ tokens
    bool realSegmentation = false; // roles came from the engine's own segmentation
    double seconds = 0;
};

// Computes a complete engine base directory from the segmented, tagged corpus.
class Trainer {
public:
    explicit Trainer(const TrainerOptions& options);
    virtual ~Trainer();

    // 0 on success; otherwise a message went to stderr.
    int Run();
    const TrainerReport& GetReport() const { return report; }
    const CorpusReader& GetCorpus() const { return reader; }
    const std::set<std::string>& GetCompoundSurnames() const { return compoundSurnames; }

    // A corpus paragraph's person names: token ranges [first, last] of nr tokens.
    struct NameGroup {
        size_t first;
        size_t last;
    };
    static std::vector<NameGroup> GroupNames(const std::vector<CorpusToken>& tokens);
    static int CharCount(const std::string& gbk);

private:
    // A unit the pipeline meets: a dictionary word, a class word or a name.
    struct Unit {
        int32_t id;
        int tag;
        int start; // byte offsets in the paragraph text
        int end;
        int use = kCountBoth; // which statistics the unit enters
    };
    static constexpr int kCountWords = 1; // unigram and bigram
    static constexpr int kCountTags = 2;  // part-of-speech entries and transitions
    static constexpr int kCountBoth = 3;
    enum NameType { kChinese, kPrefixed, kGivenAlone, kForeign };
    struct GoldName {
        int start;
        int end;
        int split; // end of the surname (Chinese) or of the prefix (prefixed)
        NameType type;
    };

    bool LoadSources();
    bool ReadCorpus();
    void ClassifyTokens();
    bool BuildDictionary();
    void CountUnits();
    bool WriteWordModels();
    void LearnRoles();
    bool WriteRoleModels();
    void Measure();

    // -2: not one atom; -1: one atom of no class word; else the special-word index
    // of the class word the atom carries. Cached per text.
    int AtomOf(const std::string& text);
    std::vector<GoldName> NamesOf(const Paragraph& p, const std::vector<int>& offsets,
                                  const std::vector<NameGroup>& groups) const;
    std::vector<int> SentenceEnds(const Paragraph& p, const std::vector<int>& offsets) const;
    int WordId(const std::string& word) const;
    int TagCode(const std::string& tag) const;
    std::string DataFile(const char* name) const;
    void Say(const std::string& line) const;

    TrainerOptions options;
    TrainerReport report;
    CharClassSource classSource;
    CCharset charset;
    TagSetFile tagSet;
    CorpusReader reader;

    std::unique_ptr<CPDAT> prelimDict;
    std::unique_ptr<CPreProcess> atomSplitter;
    std::unique_ptr<CPDAT> coreDict;
    std::unordered_map<std::string, int> atomClass; // token text -> special index or -1
    std::set<std::string> classWordTypes;           // texts counted as their class word
    std::map<std::string, int> surnameCounts;
    std::map<std::string, int> foreignChars;
    std::set<std::string> compoundSurnames;

    std::vector<std::string> wordList;
    std::unordered_map<std::string, int> wordIds;
    int specialIds[15] = {};

    std::vector<int32_t> unigram;
    std::map<std::pair<int32_t, int32_t>, int32_t> bigram;
    std::vector<std::map<int, int32_t>> posCounts;
    std::vector<int32_t> tagFrequency;
    std::vector<int32_t> tagPairs;

    std::vector<std::map<int, int32_t>> roleCounts;
    std::vector<int32_t> roleFrequency;
    std::vector<int32_t> rolePairs;
};

#endif
