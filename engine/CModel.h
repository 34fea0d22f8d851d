#ifndef MORV_CMODEL_H
#define MORV_CMODEL_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/CTagSet.h"
#include "lexicon/CBigram.h"
#include "lexicon/CPDAT.h"
#include "lexicon/CUnigram.h"
#include "lexicon/CUserWords.h"
#include "segment/CCharModel.h"
#include "segment/CCharset.h"
#include "segment/CPairScores.h"
#include "segment/SpecialWords.h"
#include "tagging/CPosLexicon.h"
#include "tagging/CRoleTagger.h"
#include "tagging/CTagTransitions.h"

// Everything loaded from one base directory: its settings (Configure.xml) and
// every model file of its data directory. Read-only once loaded, so any number
// of analysers on any number of threads may share one model; words added at run
// time go into a new snapshot that analyses pick up as they start.
class CModel {
public:
    // Receives a load failure as one engine log line: a format with at most one
    // %s, and its argument (a path or a class name).
    using Reporter = std::function<void(const char* format, const char* arg)>;

    CModel();
    virtual ~CModel();
    CModel(const CModel&) = delete;
    CModel& operator=(const CModel&) = delete;

    // The steps of a load, in the order the engine's start-up takes them.
    // Reads Configure.xml of basePath; false when it is missing, unreadable or empty.
    bool ReadConfig(const std::string& basePath);
    // With UserDict on, loads UserDict.dct into userDictFile; a failure is only reported.
    void LoadUserDictFile(const Reporter& report);
    // Every model file, in the fixed order; stops at the first failure and reports it.
    bool LoadModels(const Reporter& report);

    // All steps at once, writing nothing anywhere. On failure error says which
    // file and why.
    bool Open(const std::string& basePath, std::string* error);
    bool IsLoaded() const { return loaded; }

    // What the model holds, for people: its directory, settings, every file with
    // its size and counts, and what it was trained from.
    std::string Describe() const;

    // Full path of a file of the data directory.
    std::string DataPath(const std::string& fileName) const;

    // Words added at run time. A frequency < 0 leaves the word's frequency to the
    // models; an empty tag leaves its tag to the tagger. False with a reason for
    // an empty word or an unknown tag name. Safe while other threads analyse.
    bool AddWord(const std::string& gbkWord, int64_t frequency, const std::string& tag, std::string* error);
    bool AddWords(const std::vector<CUserWords::Entry>& entries);
    // Code of a tag name, -1 when the tag set has no such tag.
    int TagCode(const std::string& name) const;
    // The run-time words as they stand now (never null once loaded).
    std::shared_ptr<const CUserWords> UserWords() const;
    size_t UserWordCount() const;

    // Settings of Configure.xml.
    std::string basePath;
    std::string dataDir = "Data";
    std::string tagSetFile;
    std::string posDelimiter = "\\";
    std::string wordBoundary = "  ";
    bool mergeFlag = false;
    int32_t posMode = 2;
    bool logOn = false;
    bool userDictOn = false;
    bool newWordsOn = false; // the stages beyond the classic pipeline
    // Tuning of the new stages (defaults chosen on held-out days of the training
    // month, never on the test days):
    // NewWordMargin: a span is proposed as a word when the new-word model's best
    // labelling that makes it one scores at most this much below its best
    // labelling of all (NewWordMargin2: the same for spans of two characters);
    float newWordMargin = 0.5f;
    float newWordMargin2 = 0.5f;
    // NewWordWeight: the weight of the new-word model's labelling scores of every
    // candidate in the path score, beside the bigram model's log probabilities;
    float newWordWeight = 0.4f;
    // NewWordPenalty: what a proposed word pays, in log probability, for the
    // generous statistics of its class word.
    float newWordPenalty = 24;

    std::unique_ptr<CPDAT> userDictFile; // UserDict.dct, when UserDict is on and it loads
    std::unique_ptr<CCharset> charset;
    std::unique_ptr<CPDAT> coreDict;
    std::unique_ptr<CUnigram> unigram;
    std::unique_ptr<CBigram> bigram;
    std::unique_ptr<CPairScores> pairScores; // of unigram and bigram, for the segmenters
    std::unique_ptr<CPosLexicon> posLexicon;
    std::unique_ptr<CTagTransitions> posContext;
    std::unique_ptr<CTagSet> tagSet;
    std::unique_ptr<CPosLexicon> roleLexicon;
    std::unique_ptr<CTagTransitions> roleContext;
    std::unique_ptr<CRoleTagger> roleTagger;
    // With NewWords on: the character-based new-word model (NewWord.cm); the word
    // tables and the part-of-speech lexicon above are then NewWord.unig,
    // NewWord.big and NewWord.pos, which also hold the statistics of the class
    // word of new words.
    std::unique_ptr<CCharModel> newWordModel;
    SpecialWords ids;

private:
    bool loaded = false;
    mutable std::mutex userMutex;
    std::vector<CUserWords::Entry> userEntries;
    mutable std::shared_ptr<const CUserWords> userSnapshot; // replaced atomically
    mutable std::atomic<bool> userDirty{false};
};

#endif
