#ifndef MORV_TRAINER_TRAINER_H
#define MORV_TRAINER_TRAINER_H

#include <memory>
#include <set>
#include <string>

#include "segment/CCharset.h"
#include "tools/trainer/CharClassSource.h"
#include "tools/trainer/CorpusNames.h"
#include "tools/trainer/CorpusReader.h"
#include "tools/trainer/TagSetFile.h"

class WordStatistics;

struct TrainerOptions {
    std::string corpusPath;
    std::string outputDir; // the base directory to write (Configure.xml, Data/...)
    std::string sourceDir; // data/: charclasses.txt, tagset.txt, Configure.xml
    int firstDate = 0;     // YYYYMMDD, 0 = from the first paragraph
    int lastDate = 0;      // YYYYMMDD, 0 = to the last paragraph
    bool quiet = false;
    bool allowBadLines = false; // train even when over 5% of the corpus lines are skipped
    // Whether to train and write the new-word model (Data/NewWord.cm); a tool
    // that needs only the other models can spare the few seconds it takes.
    bool newWordModel = true;
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
    size_t places = 0;        // place names (ns words and compounds)
    size_t organizations = 0; // organisation names (nt words and compounds)
    // The new-word model: distinct characters, pair and skip-pair rows kept,
    // file size, training time.
    int charModelChars = 0;
    int charModelPairs = 0;
    int charModelSkips = 0;
    size_t charModelBytes = 0;
    double charModelSeconds = 0;
    double seconds = 0;
};

// Computes a complete engine base directory from the segmented, tagged corpus:
// reads the sources and the corpus, then has each model family trained and
// written in turn: WordStatistics, RoleModelTrainer on the person names, then
// on the place and the organisation names, and CharModelTrainer for the
// new-word model.
class Trainer {
public:
    explicit Trainer(const TrainerOptions& options);
    virtual ~Trainer();

    // 0 on success; otherwise a message went to stderr.
    int Run();
    const TrainerReport& GetReport() const { return report; }
    const CorpusReader& GetCorpus() const { return reader; }
    const std::set<std::string>& GetCompoundSurnames() const { return names.GetCompoundSurnames(); }

private:
    bool LoadSources();
    bool ReadCorpus();
    bool WriteSourceCopies() const;
    bool WriteProvenance() const;
    bool TrainNewWordModel();
    std::string DataDir() const;

    TrainerOptions options;
    TrainerReport report;
    CharClassSource classSource;
    CCharset charset;
    TagSetFile tagSet;
    CorpusReader reader;
    CorpusNames names;
    std::unique_ptr<WordStatistics> words;
};

#endif
