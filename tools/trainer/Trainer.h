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
    // The new-word model: distinct characters, pair and skip-pair rows kept,
    // file size, training time.
    int charModelChars = 0;
    int charModelPairs = 0;
    int charModelSkips = 0;
    size_t charModelBytes = 0;
    double charModelSeconds = 0;
    // The part-of-speech model of the new stages: tokens trained on, features
    // kept, file size, training time.
    size_t posModelTokens = 0;
    size_t posModelEntries = 0;
    size_t posModelBytes = 0;
    double posModelSeconds = 0;
    double seconds = 0;
};

// Computes a complete engine base directory from the segmented, tagged corpus:
// reads the sources and the corpus, then has each model family trained and
// written in turn: WordStatistics, RoleModelTrainer on the person names,
// CharModelTrainer for the new-word model and PosModelTrainer for the
// part-of-speech model of the new stages.
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
    // The discriminative part-of-speech model (Data/NewPos.pm), over the
    // lexicon of the new stages (NewWord.pos, written before it).
    bool TrainPosModel();
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
