#include "engine/CModel.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <system_error>
#include <thread>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/ConfigFile.h"
#include "engine/ForkGuard.h"

#include <fstream>
#include <iterator>

namespace {

constexpr char kSeparator = '/';

// Creates a model object in its slot and loads it, reporting as the start-up does.
template <class Model, class... Args>
bool LoadModel(std::unique_ptr<Model>& slot, const char* className, const std::string& path,
               const CModel::Reporter& report, Args... args)
{
    slot.reset(new (std::nothrow) Model());
    if (!slot) {
        if (className != nullptr)
            report("Cannot build object %s.\n", className);
        else
            report("Cannot open file %s.\n", path.c_str());
        return false;
    }
    if (!slot->Load(path.c_str(), args...)) {
        report("Cannot open file %s.\n", path.c_str());
        return false;
    }
    return true;
}

// A lexicon whose words carry more candidates than its context file has tags
// belongs to another model: refused as a file that cannot be loaded.
bool LexiconFits(const CPosLexicon& lexicon, const CTagTransitions& context, const std::string& path,
                 const CModel::Reporter& report)
{
    if (context.GetTagCount() > 0 && lexicon.GetLongestRecord() > context.GetTagCount()) {
        report("Cannot open file %s.\n", path.c_str());
        return false;
    }
    return true;
}

// A tag set with fewer names than the context file has tags (a file cut short,
// another model's) would print every tag past its end as an empty name:
// refused as a file that cannot be loaded.
bool TagSetFits(const CTagSet& tagSet, const CTagTransitions& context, const std::string& path,
                const CModel::Reporter& report)
{
    if (context.GetTagCount() > 0 && tagSet.GetCount() < context.GetTagCount()) {
        report("Cannot open file %s.\n", path.c_str());
        return false;
    }
    return true;
}

// Why a model file did not load, in words a user can act on.
std::string WhyNotLoaded(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::strerror(errno);
    if (S_ISDIR(st.st_mode))
        return std::strerror(EISDIR);
    if (::access(path.c_str(), R_OK) != 0)
        return std::strerror(errno);
    if (!S_ISREG(st.st_mode))
        return "not a regular file";
    if (st.st_size == 0)
        return "the file is empty";
    return "the file is damaged (its contents cannot be a model of its kind)";
}

} // namespace

CModel::CModel() : userSnapshot(std::make_shared<CUserWords>())
{
    // A child forked while another thread builds or swaps the snapshot would
    // otherwise find these locks held for ever.
    ForkGuard::Register(this, &userMutex, &snapshotMutex);
}

CModel::~CModel()
{
    ForkGuard::Unregister(this);
}

std::string CModel::DataPath(const std::string& fileName) const
{
    std::string path = basePath;
    path += kSeparator;
    path += dataDir;
    path += kSeparator;
    path += fileName;
    return path;
}

namespace {

// Rows of the settings table.
using Row = CModel::SettingRow;
constexpr float kLimit = 1e6f; // no sound setting is this large

Row Text(const char* key, const char* byDefault, bool kept, std::string* (*field)(CModel&))
{
    return Row{key, Row::kText, "configuration", 0, 0, false, byDefault, nullptr, false, kept, field, nullptr, nullptr,
               nullptr};
}
Row Switch(const char* key, Row::Kind kind, const char* part, bool kept, bool* (*field)(CModel&))
{
    return Row{key,  kind,    part,  0,       0,      false,   kind == Row::kUnlessOff ? "on" : "off",
               nullptr, false, kept, nullptr, field, nullptr, nullptr};
}
Row Number(const char* key, const char* part, float low, bool lowOpen, const char* byDefault, const char* sameAs,
           float* (*field)(CModel&))
{
    return Row{key, Row::kNumber, part, low, kLimit, lowOpen, byDefault, sameAs, true, false, nullptr, nullptr,
               field, nullptr};
}

// A number as a row takes it: what strtof reads of the value's start, within
// the row's range; false for anything else.
bool ParseNumber(const Row& row, const char* value, float* number)
{
    char* end = nullptr;
    const float v = std::strtof(value, &end);
    if (end == value || !(row.lowOpen ? v > row.low : v >= row.low) || !(v < row.high))
        return false;
    *number = v;
    return true;
}

// Gives a row's field its value, the text the file holds (null: the key is
// absent, the default holds).
void Apply(const Row& row, const char* value, CModel& m)
{
    switch (row.kind) {
    case Row::kText:
        *row.text(m) = value != nullptr ? value : row.byDefault;
        break;
    case Row::kOnlyOn:
        *row.flag(m) = value != nullptr && strcasecmp(value, "on") == 0;
        break;
    case Row::kUnlessOff:
        *row.flag(m) = value == nullptr || strcasecmp(value, "off") != 0;
        break;
    case Row::kPosMode:
        *row.mode(m) = value == nullptr ? 2 : strcasecmp(value, "None") == 0 ? 0 : strcasecmp(value, "Upper") == 0 ? 1 : 2;
        break;
    case Row::kNumber:
        if (value == nullptr || !ParseNumber(row, value, row.number(m))) {
            if (row.byDefault != nullptr)
                *row.number(m) = std::strtof(row.byDefault, nullptr);
            else
                *row.number(m) = -1; // the value of row.sameAs, once that is read
        }
        break;
    }
}

const Row* FindRow(const std::string& key)
{
    for (const Row& row : CModel::Settings())
        if (key == row.key)
            return &row;
    return nullptr;
}

} // namespace

const std::vector<CModel::SettingRow>& CModel::Settings()
{
    // In the order the engine has always read them; the classic keys first.
    static const std::vector<SettingRow> rows = {
        Text("DataPath", "Data", false, [](CModel& m) { return &m.dataDir; }),
        Text("TagSet", "", false, [](CModel& m) { return &m.tagSetFile; }),
        Text("POSDelimiter", "\\", true, [](CModel& m) { return &m.posDelimiter; }),
        Text("WordBoundary", "  ", true, [](CModel& m) { return &m.wordBoundary; }),
        Switch("Merge", Row::kOnlyOn, "configuration", true, [](CModel& m) { return &m.mergeFlag; }),
        Switch("Log", Row::kOnlyOn, "configuration", false, [](CModel& m) { return &m.logOn; }),
        Switch("UserDict", Row::kOnlyOn, "configuration", false, [](CModel& m) { return &m.userDictOn; }),
        Row{"POS", Row::kPosMode, "configuration", 0, 0, false, "Full", nullptr, false, true, nullptr, nullptr,
            nullptr, [](CModel& m) { return &m.posMode; }},
        Switch("Traditional", Row::kUnlessOff, "configuration", false, [](CModel& m) { return &m.traditionalOn; }),
        Switch("NewWords", Row::kOnlyOn, "new stages", false, [](CModel& m) { return &m.newWordsOn; }),
        Number("NewWordMargin", "new words", 0, false, "0.5", nullptr,
               [](CModel& m) { return &m.newWords.margin; }),
        Number("NewWordMargin2", "new words", 0, false, nullptr, "NewWordMargin",
               [](CModel& m) { return &m.newWords.margin2; }),
        Number("NewWordWeight", "new words", 0, false, "0.4", nullptr,
               [](CModel& m) { return &m.newWords.weight; }),
        Number("NewWordPenalty", "new words", 0, false, "24", nullptr,
               [](CModel& m) { return &m.newWords.penalty; }),
        Switch("SingleSearch", Row::kOnlyOn, "new words", false, [](CModel& m) { return &m.newWords.singleSearch; }),
        Switch("NewWordStretches", Row::kOnlyOn, "new words", false,
               [](CModel& m) { return &m.newWords.stretches; }),
        Number("NewWordStretchContext", "new words", 0, false, "2", nullptr,
               [](CModel& m) { return &m.newWords.stretchContext; }),
        Number("NewWordConfidence", "new words", 0, false, "0", nullptr,
               [](CModel& m) { return &m.newWords.confidenceWeight; }),
        Number("NewWordConfidenceCap", "new words", 0, false, "40", nullptr,
               [](CModel& m) { return &m.newWords.confidenceCap; }),
        Number("NewWordRepeatBonus", "new words", 0, false, "0", nullptr,
               [](CModel& m) { return &m.newWords.repeatBonus; }),
        Switch("Supplement", Row::kUnlessOff, "supplementary words", false,
               [](CModel& m) { return &m.supplement.on; }),
        Number("SupplementBonus", "supplementary words", -kLimit, true, "2", nullptr,
               [](CModel& m) { return &m.supplement.bonus; }),
        Switch("NameModel", Row::kUnlessOff, "person names", false, [](CModel& m) { return &m.names.on; }),
        Switch("NameVeto", Row::kUnlessOff, "person names", false, [](CModel& m) { return &m.names.veto; }),
        Number("NameAutomatonBonus", "person names", 0, false, "30", nullptr,
               [](CModel& m) { return &m.names.automatonBonus; }),
        Number("NameAutomatonBonusShort", "person names", 0, false, "10", nullptr,
               [](CModel& m) { return &m.names.automatonBonusShort; }),
        Number("NameCutPenalty", "person names", 0, false, "50", nullptr,
               [](CModel& m) { return &m.names.cutPenalty; }),
        Switch("Translit", Row::kOnlyOn, "person names", false, [](CModel& m) { return &m.names.translit; }),
        Number("TranslitWeight", "person names", 0, false, "4", nullptr,
               [](CModel& m) { return &m.names.translitWeight; }),
        Number("NameTranslitRescore", "person names", 0, false, "0", nullptr,
               [](CModel& m) { return &m.names.translitRescore; }),
        Switch("NamesInNewWords", Row::kOnlyOn, "person names", false,
               [](CModel& m) { return &m.names.inNewWords; }),
        Switch("NamesInSupplement", Row::kOnlyOn, "person names", false,
               [](CModel& m) { return &m.names.inSupplement; }),
        Number("NameListedPenalty", "person names", 0, false, "0", nullptr,
               [](CModel& m) { return &m.names.listedPenalty; }),
        Switch("NamePlaceContext", Row::kOnlyOn, "person names", false,
               [](CModel& m) { return &m.names.placeContext; }),
        Switch("NameCache", Row::kOnlyOn, "person names", false, [](CModel& m) { return &m.names.cache; }),
        Number("NameCacheBonus", "person names", 0, false, "50", nullptr,
               [](CModel& m) { return &m.names.cacheBonus; }),
        Number("NameCacheMargin", "person names", 0, false, "100", nullptr,
               [](CModel& m) { return &m.names.cacheMargin; }),
        Number("NameWordPenalty", "person names", 0, false, "0", nullptr,
               [](CModel& m) { return &m.names.wordPenalty; }),
        Switch("TranslitPlaces", Row::kOnlyOn, "person names", false,
               [](CModel& m) { return &m.names.translitPlaces; }),
        Number("TranslitPlaceMargin", "person names", -kLimit, true, "0", nullptr,
               [](CModel& m) { return &m.names.translitPlaceMargin; }),
        Switch("PlaceNames", Row::kUnlessOff, "place and organisation names", false,
               [](CModel& m) { return &m.entities.on; }),
        Switch("EntityStops", Row::kOnlyOn, "place and organisation names", false,
               [](CModel& m) { return &m.entities.stops; }),
        Switch("PlaceSuffixes", Row::kOnlyOn, "place and organisation names", false,
               [](CModel& m) { return &m.entities.placeSuffixes; }),
        Switch("PlaceUnits", Row::kOnlyOn, "place and organisation names", false,
               [](CModel& m) { return &m.entities.placeUnits; }),
        Switch("PlaceChains", Row::kOnlyOn, "place and organisation names", false,
               [](CModel& m) { return &m.entities.placeChains; }),
        Switch("EntityApart", Row::kOnlyOn, "place and organisation names", false,
               [](CModel& m) { return &m.entities.apart; }),
        Switch("EntityContext", Row::kOnlyOn, "place and organisation names", false,
               [](CModel& m) { return &m.entities.context; }),
        Switch("EntitySupplement", Row::kOnlyOn, "place and organisation names", false,
               [](CModel& m) { return &m.entities.supplement; }),
        Switch("EntityPartsPos", Row::kOnlyOn, "place and organisation names", false,
               [](CModel& m) { return &m.entities.partsPos; }),
        Switch("OrgNewWords", Row::kOnlyOn, "place and organisation names", false,
               [](CModel& m) { return &m.entities.orgNewWords; }),
        Switch("OrgPlaceWords", Row::kOnlyOn, "place and organisation names", false,
               [](CModel& m) { return &m.entities.orgPlaceWords; }),
        Switch("OrgUntaggedWords", Row::kOnlyOn, "place and organisation names", false,
               [](CModel& m) { return &m.entities.orgUntagged; }),
        Number("OrgSuffixShare", "place and organisation names", 0, false, "0", nullptr,
               [](CModel& m) { return &m.entities.orgSuffixShare; }),
        Switch("NewPos", Row::kUnlessOff, "part of speech", false, [](CModel& m) { return &m.pos.on; }),
        Switch("ListedPlaceNouns", Row::kOnlyOn, "part of speech", false,
               [](CModel& m) { return &m.pos.listedPlaceNouns; }),
        Switch("ListedPlaceLists", Row::kOnlyOn, "part of speech", false,
               [](CModel& m) { return &m.pos.listedPlaceLists; }),
        Switch("WebText", Row::kOnlyOn, "web text", false, [](CModel& m) { return &m.webTextOn; }),
    };
    return rows;
}

bool CModel::CheckSetting(const std::string& key, const std::string& value, std::string* why)
{
    const SettingRow* row = FindRow(key);
    std::string reason;
    if (row == nullptr) {
        reason = "no such key";
    } else if (row->kind == SettingRow::kNumber) {
        float v;
        if (!ParseNumber(*row, value.c_str(), &v))
            reason = "not a number " + std::string(row->lowOpen ? "above " : "of at least ") +
                     std::to_string(static_cast<long long>(row->low)) + " and below " +
                     std::to_string(static_cast<long long>(row->high));
    } else if (row->kind == SettingRow::kOnlyOn || row->kind == SettingRow::kUnlessOff) {
        if (strcasecmp(value.c_str(), "on") != 0 && strcasecmp(value.c_str(), "off") != 0)
            reason = "neither on nor off";
    }
    if (reason.empty())
        return true;
    if (why != nullptr)
        *why = key + "=" + value + ": " + reason;
    return false;
}

bool CModel::ReadConfig(const std::string& base, const std::vector<Setting>& settings)
{
    basePath = base;
    // A number whose default is another key's value takes it once that is read.
    const auto resolve = [this] {
        for (const SettingRow& row : Settings())
            if (row.kind == SettingRow::kNumber && row.sameAs != nullptr && *row.number(*this) < 0)
                *row.number(*this) = *FindRow(row.sameAs)->number(*this);
    };
    for (const SettingRow& row : Settings())
        Apply(row, nullptr, *this);
    resolve();

    std::unique_ptr<char[]> config;
    const std::string configPath = basePath + kSeparator + "Configure.xml";
    const size_t configSize = ReadConfigFile(configPath.c_str(), config);
    if (configSize == 0)
        return false;
    std::unique_ptr<char[]> value(new char[configSize + 1]);
    const char* text = config.get();
    for (const SettingRow& row : Settings())
        Apply(row, GetConfigValue(text, row.key, value.get()) ? value.get() : nullptr, *this);
    // Before the defaults that follow other keys are resolved, so that such a
    // key the file leaves out follows its key's new value.
    chosenSettings = settings;
    for (const Setting& setting : settings)
        if (const SettingRow* row = FindRow(setting.first))
            Apply(*row, setting.second.c_str(), *this);
    resolve();
    return true;
}

void CModel::LoadUserDictFile(const Reporter& report)
{
    userDictFile.reset();
    if (!userDictOn)
        return;
    const std::string path = DataPath("UserDict.dct");
    userDictFile.reset(new (std::nothrow) CPDAT());
    if (!userDictFile || !userDictFile->Load(path.c_str())) {
        report("Cannot open user dictionary %s.\n", path.c_str());
        userDictFile.reset();
    }
}

bool CModel::LoadModels(const Reporter& report)
{
    loaded = false;
    // Memory that cannot be had fails the load like an object that cannot be
    // built; the exception never reaches the caller (a C entry point, often).
    try {
        loaded = LoadAll(report);
    } catch (const std::exception&) {
        report("Cannot build object %s.\n", "CModel");
        loaded = false;
    }
    return loaded;
}

bool CModel::LoadAll(const Reporter& report)
{
    // The new stages' models need nothing of the core tables until they are
    // checked against them at the end, so they load on a second thread while
    // this one loads the core tables: on two cores start-up takes about half
    // the time. A failure is reported as a load in one thread reports it: the
    // first in the fixed order, and no other.
    std::string deferredFormat, deferredArg;
    const Reporter defer = [&](const char* format, const char* arg) {
        if (deferredFormat.empty()) {
            deferredFormat = format;
            deferredArg = arg;
        }
    };
    bool newLoaded = true;
    std::exception_ptr newFailure;
    const auto loadNew = [&] {
        try {
            newLoaded = LoadNewStages(defer);
        } catch (...) {
            newFailure = std::current_exception();
        }
    };
    struct Joined {
        std::thread thread;
        ~Joined()
        {
            if (thread.joinable())
                thread.join();
        }
    } second;
    if (newWordsOn) {
        try {
            second.thread = std::thread(loadNew);
        } catch (const std::system_error&) {
            // No thread to be had: the new stages load after the core tables.
        }
    }
    const bool threaded = second.thread.joinable();
    const bool coreLoaded = LoadCore(report);
    if (threaded)
        second.thread.join();
    else if (coreLoaded)
        loadNew();
    // The core tables come first in the order: their failure is the one to report.
    if (!coreLoaded) {
        ResetNewStages();
        return false;
    }
    if (newFailure)
        std::rethrow_exception(newFailure);
    if (!newLoaded) {
        report(deferredFormat.c_str(), deferredArg.c_str());
        return false;
    }
    // The part-of-speech model keys its word features on the dictionary's ids:
    // a model of another dictionary is refused like a damaged file.
    // When the word table is the one that does not fit the dictionary, the
    // table is the damaged file, not the model.
    if (pos.model && pos.model->GetWordCount() != core.unigram->GetEntryCount()) {
        const bool tableFits = core.unigram->GetEntryCount() == core.coreDict->GetWordCount();
        report("Cannot open file %s.\n", DataPath(tableFits ? std::string("NewPos.pm") : core.unigramFile).c_str());
        pos.model.reset();
        return false;
    }
    return true;
}

namespace {

// The parts of the new stages, in the order they load: each loads its files
// (a failure is reported and stops the load), drops them, and describes them.
struct NewStagePart {
    bool (*load)(CModel& m, const CModel::Reporter& report);
    void (*reset)(CModel& m);
    void (*describe)(const CModel& m, std::vector<CModel::FileLine>& lines);
};

std::string Count(long long n, const char* what) { return std::to_string(n) + " " + what; }

std::string Lexicon(const CPosLexicon& l, const char* what)
{
    return std::to_string(l.GetEntryCount()) + " " + what + " entries of " + std::to_string(l.GetIndexSize()) +
           " words";
}

std::string Automaton(const CRoleTagger& a)
{
    return std::to_string(a.GetStateCount()) + " states over " + std::to_string(a.GetSymbolCount()) + " roles";
}

// A role model of one kind of name: stem.role, stem.ctx, stem.fsa.
bool LoadRoles(const CModel& m, const char* stem, std::unique_ptr<CPosLexicon>& roles,
               std::unique_ptr<CTagTransitions>& context, std::unique_ptr<CRoleTagger>& automaton,
               const CModel::Reporter& report)
{
    const std::string s = stem;
    return LoadModel(roles, nullptr, m.DataPath(s + ".role"), report) &&
           LoadModel(context, nullptr, m.DataPath(s + ".ctx"), report, false) &&
           LexiconFits(*roles, *context, m.DataPath(s + ".role"), report) &&
           LoadModel(automaton, nullptr, m.DataPath(s + ".fsa"), report);
}

void DescribeRoles(const char* stem, const std::unique_ptr<CPosLexicon>& roles,
                   const std::unique_ptr<CTagTransitions>& context, const std::unique_ptr<CRoleTagger>& automaton,
                   std::vector<CModel::FileLine>& lines)
{
    if (!roles || !context || !automaton)
        return;
    const std::string s = stem;
    lines.push_back({s + ".role", Lexicon(*roles, "role")});
    lines.push_back({s + ".ctx", Count(context->GetTagCount(), "roles")});
    lines.push_back({s + ".fsa", Automaton(*automaton)});
}

const NewStagePart kNewStageParts[] = {
    // New words.
    {[](CModel& m, const CModel::Reporter& report) {
         return LoadModel(m.newWords.model, nullptr, m.DataPath("NewWord.cm"), report);
     },
     [](CModel& m) { m.newWords.model.reset(); },
     [](const CModel& m, std::vector<CModel::FileLine>& lines) {
         if (m.newWords.model)
             lines.push_back({"NewWord.cm", Count(m.newWords.model->GetCharCount(), "characters, ") +
                                                Count(m.newWords.model->GetPairCount(), "pairs")});
     }},
    // The supplementary lexicon.
    {[](CModel& m, const CModel::Reporter& report) {
         if (!m.supplement.on)
             return true;
         m.supplement.lexicon.reset(new (std::nothrow) CSupplement());
         if (!m.supplement.lexicon) {
             report("Cannot build object %s.\n", "CSupplement");
             return false;
         }
         const std::string trie = m.DataPath("Supplement.pdat"), table = m.DataPath("Supplement.tab");
         bool tableFailed = false;
         if (!m.supplement.lexicon->Load(trie.c_str(), table.c_str(), &tableFailed)) {
             report("Cannot open file %s.\n", (tableFailed ? table : trie).c_str());
             m.supplement.lexicon.reset();
             return false;
         }
         return true;
     },
     [](CModel& m) { m.supplement.lexicon.reset(); },
     [](const CModel& m, std::vector<CModel::FileLine>& lines) {
         if (!m.supplement.lexicon)
             return;
         const int words = m.supplement.lexicon->GetWordCount();
         lines.push_back({"Supplement.pdat", Count(words, "supplementary words")});
         lines.push_back({"Supplement.tab", Count(words, "frequencies and tags")});
     }},
    // Person names.
    {[](CModel& m, const CModel::Reporter& report) {
         m.names.openers.reset();
         if (!m.names.on)
             return true;
         if (!LoadModel(m.names.model, nullptr, m.DataPath("PersonName.nm"), report) ||
             (m.names.translit && !LoadModel(m.names.translitModel, nullptr, m.DataPath("Translit.tm"), report)) ||
             (m.names.translit && m.names.translitPlaces &&
              !LoadModel(m.names.translitKind, nullptr, m.DataPath("TranslitKind.tk"), report)))
             return false;
         // The analysers hear the transliteration model only with its key on.
         const CTranslitModel* heard = m.names.translit ? m.names.translitModel.get() : nullptr;
         m.names.openers.reset(new (std::nothrow) CNameOpeners(*m.names.model, heard));
         return true;
     },
     [](CModel& m) {
         m.names.openers.reset();
         m.names.model.reset();
         m.names.translitModel.reset();
         m.names.translitKind.reset();
     },
     [](const CModel& m, std::vector<CModel::FileLine>& lines) {
         if (m.names.model)
             lines.push_back({"PersonName.nm", Count(m.names.model->GetCharCount(), "characters, ") +
                                                   Count(m.names.model->GetPairCount(), "pairs")});
         if (m.names.translitModel)
             lines.push_back({"Translit.tm", Count(m.names.translitModel->GetCharCount(), "characters")});
         if (m.names.translitKind)
             lines.push_back({"TranslitKind.tk", Count(m.names.translitKind->GetFeatureCount(), "features")});
     }},
    // Place and organisation names.
    {[](CModel& m, const CModel::Reporter& report) {
         CModel::EntityPart& e = m.entities;
         return !e.on || (LoadRoles(m, "ns", e.placeRoles, e.placeContext, e.placeAutomaton, report) &&
                          LoadRoles(m, "nt", e.orgRoles, e.orgContext, e.orgAutomaton, report) &&
                          (e.orgSuffixShare <= 0 ||
                           LoadModel(e.orgSuffixes, nullptr, m.DataPath("nt.suffix"), report)) &&
                          (!e.apart || (LoadModel(e.placeApart, nullptr, m.DataPath("ns.apart"), report) &&
                                        LoadModel(e.orgApart, nullptr, m.DataPath("nt.apart"), report))));
     },
     [](CModel& m) {
         CModel::EntityPart& e = m.entities;
         e.placeRoles.reset();
         e.placeContext.reset();
         e.placeAutomaton.reset();
         e.orgRoles.reset();
         e.orgContext.reset();
         e.orgAutomaton.reset();
         e.orgSuffixes.reset();
         e.placeApart.reset();
         e.orgApart.reset();
     },
     [](const CModel& m, std::vector<CModel::FileLine>& lines) {
         const CModel::EntityPart& e = m.entities;
         DescribeRoles("ns", e.placeRoles, e.placeContext, e.placeAutomaton, lines);
         DescribeRoles("nt", e.orgRoles, e.orgContext, e.orgAutomaton, lines);
         if (e.orgSuffixes)
             lines.push_back({"nt.suffix", Lexicon(*e.orgSuffixes, "suffix")});
         if (e.placeApart)
             lines.push_back({"ns.apart", Count(static_cast<long long>(e.placeApart->GetCount()), "runs apart")});
         if (e.orgApart)
             lines.push_back({"nt.apart", Count(static_cast<long long>(e.orgApart->GetCount()), "runs apart")});
     }},
    // Parts of speech.
    {[](CModel& m, const CModel::Reporter& report) {
         return !m.pos.on || LoadModel(m.pos.model, nullptr, m.DataPath("NewPos.pm"), report);
     },
     [](CModel& m) { m.pos.model.reset(); },
     [](const CModel& m, std::vector<CModel::FileLine>& lines) {
         if (m.pos.model)
             lines.push_back({"NewPos.pm", Count(m.pos.model->GetTagCount(), "tags, ") +
                                               Count(m.pos.model->GetEntryCount(), "weights")});
     }},
};

} // namespace

void CModel::ResetNewStages()
{
    for (const NewStagePart& part : kNewStageParts)
        part.reset(*this);
}

bool CModel::LoadCore(const Reporter& report)
{
    CorePart& c = core;
    // The new stages read the word tables that know the class word of new words.
    c.unigramFile = newWordsOn ? "NewWord.unig" : "CoreDict.unig";
    c.bigramFile = newWordsOn ? "NewWord.big" : "BiWord.big";
    c.posLexiconFile = newWordsOn ? "NewWord.pos" : "CoreDict.pos";
    if (!LoadModel(c.charset, "CCharset", DataPath("charset.type"), report))
        return false;
    if (!LoadModel(c.coreDict, "CPDAT", DataPath("CoreDict.pdat"), report))
        return false;
    ids = SpecialWords::Lookup(*c.coreDict);
    if (!ids.HasRequired()) {
        report("%s", "The Core Dictionary has been destroyed!");
        return false;
    }
    const std::string posLexiconPath = DataPath(c.posLexiconFile);
    if (!LoadModel(c.unigram, "CUnigram", DataPath(c.unigramFile), report) ||
        !LoadModel(c.bigram, "CBigram", DataPath(c.bigramFile), report) ||
        !LoadModel(c.posLexicon, nullptr, posLexiconPath, report) ||
        !LoadModel(c.posContext, nullptr, DataPath("Morv.ctx"), report, false) ||
        !LexiconFits(*c.posLexicon, *c.posContext, posLexiconPath, report) ||
        !LoadModel(c.tagSet, nullptr, DataPath(tagSetFile), report) ||
        !TagSetFits(*c.tagSet, *c.posContext, DataPath(tagSetFile), report) ||
        !LoadModel(c.roleLexicon, nullptr, DataPath("nr.role"), report) ||
        !LoadModel(c.roleContext, nullptr, DataPath("nr.ctx"), report, false) ||
        !LexiconFits(*c.roleLexicon, *c.roleContext, DataPath("nr.role"), report) ||
        !LoadModel(c.roleTagger, nullptr, DataPath("nr.fsa"), report))
        return false;
    c.pairScores.reset(new CPairScores(*c.unigram, *c.bigram));
    return true;
}

bool CModel::LoadNewStages(const Reporter& report)
{
    ResetNewStages();
    if (!newWordsOn)
        return true;
    for (const NewStagePart& part : kNewStageParts)
        if (!part.load(*this, report))
            return false;
    return true;
}

std::vector<CModel::FileLine> CModel::Files() const
{
    const CorePart& c = core;
    std::vector<FileLine> lines;
    lines.push_back({"charset.type", "character classes"});
    lines.push_back({"CoreDict.pdat", c.coreDict ? Count(c.coreDict->GetWordCount(), "words") : ""});
    // The names of the files as this configuration loads them (NewWord.* with the new stages).
    const bool nw = newWordsOn;
    lines.push_back({c.unigramFile.empty() ? (nw ? "NewWord.unig" : "CoreDict.unig") : c.unigramFile,
                     c.unigram ? Count(c.unigram->GetEntryCount(), "word frequencies, total ") +
                                     std::to_string(c.unigram->GetTotalFrequency())
                               : ""});
    lines.push_back({c.bigramFile.empty() ? (nw ? "NewWord.big" : "BiWord.big") : c.bigramFile,
                     c.bigram ? Count(c.bigram->GetPairCount(), "word pairs") : ""});
    lines.push_back({c.posLexiconFile.empty() ? (nw ? "NewWord.pos" : "CoreDict.pos") : c.posLexiconFile,
                     c.posLexicon ? Lexicon(*c.posLexicon, "tag") : ""});
    lines.push_back({"Morv.ctx", c.posContext ? Count(c.posContext->GetTagCount(), "tags") : ""});
    lines.push_back({tagSetFile, c.tagSet ? Count(c.tagSet->GetCount(), "tag names") : ""});
    lines.push_back({"nr.role", c.roleLexicon ? Lexicon(*c.roleLexicon, "role") : ""});
    lines.push_back({"nr.ctx", c.roleContext ? Count(c.roleContext->GetTagCount(), "roles") : ""});
    lines.push_back({"nr.fsa", c.roleTagger ? Automaton(*c.roleTagger) : ""});
    for (const NewStagePart& part : kNewStageParts)
        part.describe(*this, lines);
    if (userDictOn)
        lines.push_back({"UserDict.dct", userDictFile ? Count(userDictFile->GetWordCount(), "user words")
                                                      : "not loaded"});
    return lines;
}

bool CModel::Open(const std::string& base, std::string* error, const std::vector<Setting>& settings)
{
    std::string why;
    if (!ReadConfig(base, settings)) {
        const std::string path = base + kSeparator + "Configure.xml";
        const std::string problem = ConfigFileProblem(path.c_str());
        why = "cannot read " + path + ": " + (problem.empty() ? std::string(std::strerror(EACCES)) : problem);
        if (error != nullptr)
            *error = why;
        return false;
    }
    const Reporter note = [&](const char* format, const char* arg) {
        if (!why.empty())
            return;
        if (std::strcmp(format, "Cannot open file %s.\n") == 0)
            why = std::string("cannot load ") + arg + ": " + WhyNotLoaded(arg);
        else if (std::strcmp(format, "Cannot build object %s.\n") == 0)
            why = std::string("out of memory creating ") + arg;
        else
            why = "the core dictionary " + DataPath("CoreDict.pdat") +
                  " is damaged: it lacks the words the engine needs";
    };
    // A missing or damaged user dictionary does not stop the engine; it is left out.
    LoadUserDictFile([](const char*, const char*) {});
    if (!LoadModels(note)) {
        if (error != nullptr)
            *error = why;
        return false;
    }
    return true;
}

int CModel::TagCode(const std::string& name) const
{
    return core.tagSet ? core.tagSet->Code(name) : -1;
}

Status CModel::AddWord(const std::string& gbkWord, int64_t frequency, const std::string& tag)
{
    CUserWords::Entry entry;
    entry.text = gbkWord;
    if (gbkWord.empty())
        return Status(Status::kArgument, "the word is empty");
    if (gbkWord.find('\0') != std::string::npos)
        return Status(Status::kArgument, "the word holds a NUL byte");
    if (!tag.empty()) {
        const int code = TagCode(tag);
        if (code < 0 || code > 254)
            return Status(Status::kTag, "unknown tag '" + tag + "'");
        entry.tag = static_cast<uint8_t>(code);
    }
    // Frequencies are counts of the training corpus's scale; larger ones add nothing.
    entry.frequency = frequency < 0 ? CUserWords::kNoFrequency
                                    : static_cast<int32_t>(frequency > INT32_MAX / 2 ? INT32_MAX / 2 : frequency);
    AddWords({entry});
    return Status();
}

bool CModel::AddWords(const std::vector<CUserWords::Entry>& entries)
{
    CUserWordList list;
    for (const CUserWords::Entry& e : entries)
        list.Add(e.text, e.frequency, e.tag);
    return AddWords(std::move(list));
}

bool CModel::AddWords(CUserWordList&& list)
{
    std::lock_guard<std::mutex> lock(userMutex);
    pendingWords.Append(std::move(list));
    userDirty.store(true, std::memory_order_release);
    return true;
}

std::shared_ptr<const CUserWords> CModel::UserWords() const
{
    if (userDirty.load(std::memory_order_acquire)) {
        // The first analysis after a change makes the new snapshot from the old
        // one and the words added since (a cost of the words added, not of all);
        // analyses that hold the old one finish with it.
        std::lock_guard<std::mutex> lock(userMutex);
        if (userDirty.load(std::memory_order_relaxed) && core.coreDict) {
            // Only this lock's holder replaces the pointer: it may read it without the other.
            std::shared_ptr<const CUserWords> fresh = userSnapshot->With(pendingWords, *core.coreDict);
            pendingWords.Clear();
            std::shared_ptr<const CUserWords> old;
            {
                std::lock_guard<std::mutex> swap(snapshotMutex);
                old = std::move(userSnapshot);
                userSnapshot = std::move(fresh);
            }
            userDirty.store(false, std::memory_order_release);
        } // the old snapshot goes here, outside the short lock, unless analyses still hold it
    }
    // A lock of our own rather than the standard library's atomic shared_ptr
    // functions, whose hidden locks a fork could leave held in the child.
    std::lock_guard<std::mutex> read(snapshotMutex);
    return userSnapshot;
}

size_t CModel::UserWordCount() const
{
    return UserWords()->Size();
}

namespace {

std::string FileSize(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return "absent";
    return std::to_string(static_cast<long long>(st.st_size)) + " bytes";
}

} // namespace

std::string CModel::Describe() const
{
    std::string out = "model directory: " + basePath + "\n";
    // The settings of the rows that are the user's (not kept-only, not tuning),
    // then the tuning instruments.
    CModel& self = const_cast<CModel&>(*this); // the rows' fields are read, not written
    std::string settings, tuning;
    for (const SettingRow& row : Settings()) {
        if (row.kept)
            continue;
        std::string value;
        switch (row.kind) {
        case SettingRow::kText: value = *row.text(self); break;
        case SettingRow::kOnlyOn:
        case SettingRow::kUnlessOff: value = *row.flag(self) ? "on" : "off"; break;
        case SettingRow::kPosMode: value = std::to_string(*row.mode(self)); break;
        case SettingRow::kNumber: {
            char number[32];
            std::snprintf(number, sizeof number, "%g", static_cast<double>(*row.number(self)));
            value = number;
            break;
        }
        }
        std::string& list = row.tuning ? tuning : settings;
        list += (list.empty() ? "" : ", ") + std::string(row.key) + " " + value;
    }
    out += "configuration:   " + basePath + kSeparator + "Configure.xml (" + settings + ")\n";
    out += "tuning:          " + tuning + "\n";
    if (!chosenSettings.empty()) {
        std::string chosen;
        for (const Setting& setting : chosenSettings)
            chosen += (chosen.empty() ? "" : ", ") + setting.first + "=" + setting.second;
        out += "set for it:      " + chosen + " (over Configure.xml, which is left as it is)\n";
    }
    out += "data directory:  " + basePath + kSeparator + dataDir + "\n";
    for (const FileLine& l : Files()) {
        std::string name = l.file;
        name.resize(std::max<size_t>(name.size(), 16), ' ');
        std::string size = FileSize(DataPath(l.file));
        size.resize(std::max<size_t>(size.size(), 16), ' ');
        out += "  " + name + size + l.what + "\n";
    }
    out += "run-time words:  " + std::to_string(UserWordCount()) + "\n";
    std::ifstream trained(DataPath("Trained.txt"));
    if (trained) {
        out += "trained from:\n";
        for (std::string line; std::getline(trained, line);)
            out += "  " + line + "\n";
    } else {
        out += "trained from:    unknown (no Trained.txt in the data directory)\n";
    }
    return out;
}
