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
#include "lexicon/CSupplement.h"
#include "lexicon/CUnigram.h"
#include "lexicon/CUserWords.h"
#include "segment/CCharModel.h"
#include "segment/CCharset.h"
#include "segment/CPairScores.h"
#include "segment/SpecialWords.h"
#include "tagging/CNameModel.h"
#include "tagging/CPosLexicon.h"
#include "tagging/CPosModel.h"
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
    // PlaceNames: with NewWords on, whether place and organisation names are
    // recognised (on unless the key says otherwise).
    bool placeNamesOn = true;
    // NewPos: with NewWords on, the discriminative part-of-speech model tags
    // instead of the HMM (on unless the key says off).
    bool newPosOn = true;
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
    // Supplement: with NewWords on, the words of the supplementary lexicon that
    // the dictionary lacks join the lattice (on unless the key says off).
    bool supplementOn = true;
    // SupplementBonus: what a supplementary word gains, in log probability,
    // over its share of the statistics of the class of new words: the list
    // vouches for it, where a proposed word has only the character model's word.
    float supplementBonus = 2;
    // NameModel: with NewWords on, the person names come from the name model
    // (PersonName.nm), which hears the role tagger; off, from the role tagger
    // alone. NameAutomatonBonus: what the names the role automaton finds add to
    // the name model's labelling that spells them; NameCutPenalty: what a name
    // bound inside a token of the segmentation pays; NameVeto: whether a word the
    // part-of-speech tagger calls a person name loses that tag when it is none of
    // the names found.
    bool nameModelOn = true;
    float nameAutomatonBonus = 30;
    float nameAutomatonBonusShort = 10; // NameAutomatonBonusShort: the same for names of two characters
    float nameCutPenalty = 50;
    bool nameVeto = true;

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
    // With NewWords and Supplement on: the supplementary lexicon
    // (Supplement.pdat and Supplement.tab).
    std::unique_ptr<CSupplement> supplement;
    // With NewWords and NameModel on: the person-name model (PersonName.nm).
    std::unique_ptr<CNameModel> nameModel;
    // With NewWords and PlaceNames on: the place-name (ns.role, ns.ctx, ns.fsa)
    // and organisation-name (nt.role, nt.ctx, nt.fsa) role models.
    std::unique_ptr<CPosLexicon> placeRoles;
    std::unique_ptr<CTagTransitions> placeContext;
    std::unique_ptr<CRoleTagger> placeAutomaton;
    std::unique_ptr<CPosLexicon> orgRoles;
    std::unique_ptr<CTagTransitions> orgContext;
    std::unique_ptr<CRoleTagger> orgAutomaton;
    // Whether the place and organisation stage runs.
    bool EntitiesOn() const { return newWordsOn && placeNamesOn && placeAutomaton && orgAutomaton; }
    // With NewWords and NewPos on: the part-of-speech model (NewPos.pm).
    std::unique_ptr<CPosModel> posModel;
    SpecialWords ids;

private:
    // The two parts of LoadModels: the tables of the classic pipeline, and the
    // models of the new stages (when NewWords is on), which LoadModels checks
    // against the former once both are in.
    bool LoadAll(const Reporter& report);
    bool LoadCoreModels(const Reporter& report);
    bool LoadNewWordModels(const Reporter& report);
    void ResetNewWordModels();

    bool loaded = false;
    // userMutex guards the entries and a snapshot's build; snapshotMutex, taken
    // inside it when they nest, only the pointer's copy and replacement.
    mutable std::mutex userMutex;
    mutable std::mutex snapshotMutex;
    std::vector<CUserWords::Entry> userEntries;
    mutable std::shared_ptr<const CUserWords> userSnapshot;
    mutable std::atomic<bool> userDirty{false};
};

#endif
