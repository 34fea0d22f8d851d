#ifndef MORV_CMODEL_H
#define MORV_CMODEL_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "engine/CTagSet.h"
#include "lexicon/CBigram.h"
#include "lexicon/CPDAT.h"
#include "lexicon/CSupplement.h"
#include "lexicon/CUnigram.h"
#include "lexicon/CUserWords.h"
#include "lexicon/CWordRuns.h"
#include "lexicon/Status.h"
#include "segment/CCharModel.h"
#include "segment/CCharset.h"
#include "segment/CPairScores.h"
#include "segment/SpecialWords.h"
#include "tagging/CNameModel.h"
#include "tagging/CNameOpeners.h"
#include "tagging/CTranslitKindModel.h"
#include "tagging/CTranslitModel.h"
#include "tagging/CPosLexicon.h"
#include "tagging/CPosModel.h"
#include "tagging/CRoleTagger.h"
#include "tagging/CTagTransitions.h"

// Everything loaded from one base directory: its settings (Configure.xml) and
// every model file of its data directory. Read-only once loaded, so any number
// of analysers on any number of threads may share one model; words added at run
// time go into a new snapshot that analyses pick up as they start.
//
// The model is made of parts, one per stage: the core tables of the classic
// pipeline, and with the key NewWords the parts of the new stages (new words,
// the supplementary lexicon, the name model, place and organisation names, the
// part-of-speech model). Each part holds its settings and its models, loads,
// drops and describes itself; a load, a reset and a description go over the
// parts in their order. Every key of Configure.xml is a row of one table
// (Settings()), which reads it, describes it and checks a value given for it.
class CModel {
public:
    // Receives a load failure as one engine log line: a format with at most one
    // %s, and its argument (a path or a class name).
    using Reporter = std::function<void(const char* format, const char* arg)>;
    // A file of a part as a description shows it: its name in the data
    // directory and what it holds.
    struct FileLine {
        std::string file;
        std::string what;
    };

    // The tables of the classic pipeline (with the new stages, the word tables
    // and the part-of-speech lexicon are NewWord.unig, NewWord.big and
    // NewWord.pos, which also hold the statistics of the class word of new words).
    struct CorePart {
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
        // The names of the files the word tables and the lexicon come from.
        std::string unigramFile, bigramFile, posLexiconFile;
    };
    // New words: the character-based new-word model (NewWord.cm) and how its
    // proposals are weighed.
    struct NewWordPart {
        // A span is proposed as a word when the model's best labelling that
        // makes it one scores at most margin below its best labelling of all
        // (margin2: the same for spans of two characters).
        float margin = 0.5f;
        float margin2 = 0.5f;
        // The weight of the model's labelling scores of every candidate in the
        // path score, beside the bigram model's log probabilities.
        float weight = 0.4f;
        // What a proposed word pays, in log probability, for the generous
        // statistics of its class word.
        float penalty = 24;
        // One search: the new words join the lattice before the sentence is
        // first segmented (no person name of a plain cut to keep them out of),
        // instead of a plain search, then a second one over the grown lattice.
        bool singleSearch = false;
        // The model proposes words only from the stretches around the
        // characters that no dictionary word of two characters or more
        // covers, with stretchContext characters each side, each stretch
        // labelled alone (its candidates' label scores stay).
        bool stretches = false;
        float stretchContext = 2;
        // NewWordConfidence, NewWordConfidenceCap: the penalty of a proposed
        // word falls by confidenceWeight for each unit of the model's
        // confidence in it (a close call's rises as much), up to confidenceCap
        // units each way (0: one penalty for all).
        float confidenceWeight = 0;
        float confidenceCap = 40;
        // NewWordRepeatBonus: what the penalty of a proposed word falls by
        // when its characters occur again in its line (0: off).
        float repeatBonus = 0;
        std::unique_ptr<CCharModel> model;
    };
    // Today's vocabulary: the supplementary lexicon (Supplement.pdat and
    // Supplement.tab), whose words the dictionary lacks.
    struct SupplementPart {
        bool on = true;
        // What a supplementary word gains, in log probability, over its share of
        // the statistics of the class of new words: the list vouches for it,
        // where a proposed word has only the character model's word.
        float bonus = 2;
        std::unique_ptr<CSupplement> lexicon;
    };
    // Person names from the name model (PersonName.nm), which hears the role
    // tagger; off, from the role tagger alone.
    struct NamePart {
        bool on = true;
        // What the names the role automaton finds add to the name model's
        // labelling that spells them (automatonBonusShort: for names of two
        // characters); what a name bound inside a token of the segmentation
        // pays; whether a word the part-of-speech tagger calls a person name
        // loses that tag when it is none of the names found.
        float automatonBonus = 30;
        float automatonBonusShort = 10;
        float cutPenalty = 50;
        bool veto = true;
        std::unique_ptr<CNameModel> model;
        // The transliteration model (Translit.tm): how much each character's
        // in-name score adds to the labels of a one-word name, per unit of
        // natural log; off (the default of a Configure.xml without the key),
        // the stage hears nothing of it.
        bool translit = false;
        float translitWeight = 4;
        // NameTranslitRescore: a name decoded as surname + given name competes
        // with its reading as one transliterated word, whose characters' odds
        // count this much per unit of natural log (0: no contest).
        float translitRescore = 0;
        // NamesInNewWords: the role automaton reads new words in characters,
        // so that a name one search made a new word is still heard.
        bool inNewWords = false;
        // NameWordPenalty: what a name pays, per unit of natural log, for
        // running on into a word that the role tagger's counts show after
        // names more often than in them (和, 于, 并 after a one-character given
        // name, 爵士 after a foreign one).
        float wordPenalty = 0;
        // NamesInSupplement: names may run over supplementary words whatever
        // the list's tag, and the role automaton reads them in characters too.
        bool inSupplement = false;
        // NameListedPenalty: with it, what a name pays per character of a
        // supplementary word the list tags.
        float listedPenalty = 0;
        // NamePlaceContext: places beside a name make a transliteration a
        // place.
        bool placeContext = false;
        // TranslitPlaces: with Translit, a transliterated name is a place or a
        // person by the kind model (TranslitKind.tk), whose log odds of a
        // place (plus what NamePlaceContext adds) must pass
        // TranslitPlaceMargin (or the transliteration model's place odds pass
        // theirs); off, by the transliteration model's place odds alone.
        bool translitPlaces = false;
        float translitPlaceMargin = 0;
        // NameCache: the names a text shows with confidence (a margin of
        // NameCacheMargin over no name) add NameCacheBonus per character to
        // their later occurrences in the same text.
        bool cache = false;
        float cacheBonus = 50;
        float cacheMargin = 100;
        std::unique_ptr<CTranslitModel> translitModel;
        std::unique_ptr<CTranslitKindModel> translitKind;
        // What the name stage asks of each character, built once from the two
        // models above for every analyser.
        std::unique_ptr<CNameOpeners> openers;
    };
    // Place (ns.role, ns.ctx, ns.fsa) and organisation names (nt.role, nt.ctx,
    // nt.fsa).
    struct EntityPart {
        bool on = true;
        // EntityStops: merges stop at conjunctions, numeral + measure word
        // runs and between two complete names.
        bool stops = false;
        // PlaceSuffixes: a place takes the word after it that mostly ends
        // places (东亚/地区).
        bool placeSuffixes = false;
        // PlaceUnits: a place word takes the unit after it that mostly ends
        // place words (温江/县) into one word.
        bool placeUnits = false;
        // PlaceChains: with EntityStops, a place stops between two words that
        // are places themselves (河南/信阳/地区).
        bool placeChains = false;
        // EntityApart: a run of words training kept apart (ns.apart,
        // nt.apart) is never merged into one name of the kind.
        bool apart = false;
        // EntityContext: any token may stand just before or after a name.
        bool context = false;
        // EntitySupplement: a supplementary word takes the roles of its
        // list's tag.
        bool supplement = false;
        // EntityPartsPos: the words of merged names are tagged by the
        // part-of-speech model of the sentence's other words.
        bool partsPos = false;
        // OrgSuffixShare: above 0, a word whose final character ends
        // organisations at least this share of the times (nt.suffix) may end
        // one although training never saw the word itself end one.
        float orgSuffixShare = 0;
        // OrgNewWords: a new word may open an organisation or stand inside one.
        bool orgNewWords = false;
        // OrgPlaceWords: a place the place model found may open an
        // organisation or stand inside one.
        bool orgPlaceWords = false;
        // OrgUntaggedWords: a supplementary word its list gives no tag may
        // open an organisation or stand inside one.
        bool orgUntagged = false;
        std::unique_ptr<CPosLexicon> orgSuffixes;
        std::unique_ptr<CWordRuns> placeApart;
        std::unique_ptr<CWordRuns> orgApart;
        std::unique_ptr<CPosLexicon> placeRoles;
        std::unique_ptr<CTagTransitions> placeContext;
        std::unique_ptr<CRoleTagger> placeAutomaton;
        std::unique_ptr<CPosLexicon> orgRoles;
        std::unique_ptr<CTagTransitions> orgContext;
        std::unique_ptr<CRoleTagger> orgAutomaton;
    };
    // The discriminative part-of-speech model (NewPos.pm), which tags instead
    // of the HMM.
    struct PosPart {
        bool on = true;
        // ListedPlaceNouns: a supplementary word listed ns may be tagged n.
        bool listedPlaceNouns = false;
        // ListedPlaceLists: with ListedPlaceNouns, such a word in a list
        // beside a place stays a place.
        bool listedPlaceLists = false;
        std::unique_ptr<CPosModel> model;
    };

    // A key of Configure.xml.
    struct SettingRow {
        enum Kind : uint8_t {
            kText,      // the value as it stands
            kOnlyOn,    // on when the value is "on" (any letter case); off when absent
            kUnlessOff, // off when the value is "off" (any letter case); on when absent
            kNumber,    // a number within [low, high) (low excluded when lowOpen)
            kPosMode,   // "None" 0, "Upper" 1, anything else 2 (any letter case)
        };
        const char* key;
        Kind kind;
        // The part it belongs to, as a description names it.
        const char* part;
        float low;
        float high;
        bool lowOpen;
        // The value when the key is absent or unusable, as the file would give
        // it; null: the value of the key sameAs.
        const char* byDefault;
        const char* sameAs;
        // A tuning instrument (a number the defaults were chosen for on
        // held-out days), not a user setting; kept: read and kept, used by no
        // stage (kept for the configurations the engine always read).
        bool tuning;
        bool kept;
        // Where the value lives in a model (one of the four, by kind).
        std::string* (*text)(CModel&);
        bool* (*flag)(CModel&);
        float* (*number)(CModel&);
        int32_t* (*mode)(CModel&);
    };
    static const std::vector<SettingRow>& Settings();
    // Whether value is a usable value of the key (for programs that write
    // Configure.xml); false with the reason when it is not.
    static bool CheckSetting(const std::string& key, const std::string& value, std::string* why);

    CModel();
    virtual ~CModel();
    CModel(const CModel&) = delete;
    CModel& operator=(const CModel&) = delete;

    // The steps of a load, in the order the engine's start-up takes them.
    // A key and a value set over what Configure.xml says, for one model only:
    // a program's choice (NewWords=off, the classic pipeline) that leaves the
    // file as it is.
    using Setting = std::pair<std::string, std::string>;
    // Reads Configure.xml of basePath, then applies settings, each one that
    // CheckSetting accepts (the library's entry point checks them before it
    // opens a model); false when the file is missing, unreadable or empty.
    bool ReadConfig(const std::string& basePath, const std::vector<Setting>& settings = {});
    // With UserDict on, loads UserDict.dct into userDictFile; a failure is only reported.
    void LoadUserDictFile(const Reporter& report);
    // Every model file, in the fixed order; stops at the first failure and reports it.
    bool LoadModels(const Reporter& report);

    // All steps at once, writing nothing anywhere. On failure error says which
    // file and why.
    bool Open(const std::string& basePath, std::string* error, const std::vector<Setting>& settings = {});
    bool IsLoaded() const { return loaded; }

    // What the model holds, for people: its directory, settings, every file its
    // parts loaded with its size and counts, and what it was trained from.
    std::string Describe() const;

    // Full path of a file of the data directory.
    std::string DataPath(const std::string& fileName) const;

    // Words added at run time. A frequency < 0 leaves the word's frequency to the
    // models; an empty tag leaves its tag to the tagger. An argument failure for
    // an empty word or one with a NUL, a tag failure for an unknown tag name.
    // Safe while other threads analyse.
    Status AddWord(const std::string& gbkWord, int64_t frequency, const std::string& tag);
    bool AddWords(const std::vector<CUserWords::Entry>& entries);
    bool AddWords(CUserWordList&& list);
    // Code of a tag name, -1 when the tag set has no such tag.
    int TagCode(const std::string& name) const;
    // The run-time words as they stand now (never null once loaded).
    std::shared_ptr<const CUserWords> UserWords() const;
    size_t UserWordCount() const;

    // Whether each stage beyond the classic pipeline runs: NewWords on and the
    // stage's own switch (where it has one) on, and its models loaded.
    bool NewWordsOn() const { return newWordsOn && newWords.model && newWords.model->IsLoaded(); }
    bool SupplementOn() const { return newWordsOn && supplement.lexicon && supplement.lexicon->IsLoaded(); }
    bool NameModelOn() const { return newWordsOn && names.model && names.model->IsLoaded(); }
    bool EntitiesOn() const
    {
        return newWordsOn && entities.on && entities.placeAutomaton && entities.orgAutomaton;
    }
    bool NewPosOn() const { return newWordsOn && pos.on && pos.model && pos.model->IsLoaded(); }
    // The atoms of web text (addresses, URLs, mentions, identifiers, ...): a
    // rule set of the pre-processor, with the new stages only.
    bool WebTextOn() const { return newWordsOn && webTextOn; }

    // Settings of Configure.xml read by the classic engine.
    std::string basePath;
    std::vector<Setting> chosenSettings; // set over Configure.xml by the program
    std::string dataDir = "Data";
    std::string tagSetFile;
    std::string posDelimiter = "\\";
    std::string wordBoundary = "  ";
    bool mergeFlag = false;
    int32_t posMode = 2;
    bool logOn = false;
    bool userDictOn = false;
    // Traditional: a sentence in traditional characters is analysed through
    // its simplified conversion unless a call chooses otherwise; off, only
    // when a call asks for it.
    bool traditionalOn = true;
    // NewWords: the stages beyond the classic pipeline.
    bool newWordsOn = false;
    // WebText: the web-text atoms (with NewWords).
    bool webTextOn = false;

    std::unique_ptr<CPDAT> userDictFile; // UserDict.dct, when UserDict is on and it loads
    CorePart core;
    NewWordPart newWords;
    SupplementPart supplement;
    NamePart names;
    EntityPart entities;
    PosPart pos;
    SpecialWords ids;

private:
    // The part loads: the core tables, and the new stages' parts (when
    // NewWords is on), which LoadAll checks against the former once both are in.
    bool LoadAll(const Reporter& report);
    bool LoadCore(const Reporter& report);
    bool LoadNewStages(const Reporter& report);
    void ResetNewStages();
    // Each part's files for Describe, in the parts' order.
    std::vector<FileLine> Files() const;

    bool loaded = false;
    // userMutex guards the words added since the last snapshot and a
    // snapshot's making; snapshotMutex, taken inside it when they nest, only
    // the pointer's copy and replacement.
    mutable std::mutex userMutex;
    mutable std::mutex snapshotMutex;
    mutable CUserWordList pendingWords;
    mutable std::shared_ptr<const CUserWords> userSnapshot;
    mutable std::atomic<bool> userDirty{false};
};

#endif
