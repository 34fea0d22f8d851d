#ifndef MORV_TRAINER_TRAINER_H
#define MORV_TRAINER_TRAINER_H

#include <memory>
#include <set>
#include <string>

#include "segment/CCharset.h"
#include "tools/trainer/CharClassSource.h"
#include "tools/trainer/CharModelTrainer.h"
#include "tools/trainer/CorpusNames.h"
#include "tools/trainer/CorpusReader.h"
#include "tools/trainer/PosModelTrainer.h"
#include "tools/trainer/SupplementLexicon.h"
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
    // Whether to train and write the models of the new stages (Data/NewWord.cm,
    // Data/PersonName.nm); a tool that needs only the other models can spare the
    // few seconds they take.
    bool newWordModel = true;
    // The modern word list the supplementary lexicon of the new stages is made
    // from (Supplement.pdat, Supplement.tab; written with the new-word model);
    // empty: an empty supplement. A missing list makes the run fail when
    // supplementRequired (the user named it), else it warns and writes an empty
    // supplement: the list is an optional package, and the other models do not
    // need it.
    std::string supplementList = SupplementLexicon::kDefaultList;
    bool supplementRequired = false;
    SupplementLexicon::Options supplement;
    // The part-of-speech model of the new stages. Its weights within +-150 (of
    // the 32767 its largest becomes) are left out: three in ten fewer weights for
    // the tagger to add per token, for no loss of tagging accuracy on held-out
    // days of the training month (100 to 300 were tried there; 200 and above
    // began to lose).
    PosModelTrainer::Options pos = TrainedPosOptions();
    // The new-word model (NewWord.cm), without the skip pair around the
    // character: one table look-up per character fewer in the new-word step
    // (1.3% of the pipeline's instructions) for no loss beyond the bounds on
    // held-out days of the training month (F1 -0.0005, OOV recall -0.0019).
    CharModelTrainer::Options charModel = TrainedCharModelOptions();

    static CharModelTrainer::Options TrainedCharModelOptions()
    {
        CharModelTrainer::Options o;
        o.skipPairs = false;
        return o;
    }

    static PosModelTrainer::Options TrainedPosOptions()
    {
        PosModelTrainer::Options o;
        o.pruneBelow = 150;
        return o;
    }
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
    // The supplementary lexicon: list entries read, words kept, time taken.
    size_t supplementEntries = 0;
    size_t supplementWords = 0;
    double supplementSeconds = 0;
    std::string supplementSource; // what Trained.txt says about it
    std::string supplementLeftOut; // how many entries each filter left out
    // The person-name model: characters and pair rows kept, file size, time.
    int nameModelChars = 0;
    int nameModelPairs = 0;
    size_t nameModelBytes = 0;
    double nameModelSeconds = 0;
    // The part-of-speech model of the new stages: tokens trained on, features
    // kept, file size, training time.
    size_t posModelTokens = 0;
    size_t posModelEntries = 0;
    size_t posModelBytes = 0;
    double posModelSeconds = 0;
    size_t keywordWords = 0; // words of the keyword IDF table
    double seconds = 0;
    // Processor time of the run: what it takes on an idle machine, whatever else
    // shares the cores now.
    double cpuSeconds = 0;
};

// Computes a complete engine base directory from the segmented, tagged corpus:
// reads the sources and the corpus, then has each model family trained and
// written in turn: WordStatistics, RoleModelTrainer on the person, place and
// organisation names, and for the new stages CharModelTrainer (new words),
// PosModelTrainer (part of speech), SupplementLexicon (from a modern word list)
// and NameModelTrainer (person names).
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
    bool WriteKeywordTables();
    bool TrainNewWordModel();
    bool BuildSupplement();
    bool TrainNameModel();
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
