#include "engine/CModel.h"

#include <algorithm>
#include <cerrno>
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

#include <fstream>
#include <iterator>

namespace {

constexpr char kSeparator = '/';

// A switch is on when its whole value is "on", in any letter case.
bool SwitchIsOn(const char* text, const char* key, char* value)
{
    return GetConfigValue(text, key, value) && strcasecmp(value, "on") == 0;
}

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

CModel::CModel() : userSnapshot(std::make_shared<CUserWords>()) {}

CModel::~CModel() = default;

std::string CModel::DataPath(const std::string& fileName) const
{
    std::string path = basePath;
    path += kSeparator;
    path += dataDir;
    path += kSeparator;
    path += fileName;
    return path;
}

bool CModel::ReadConfig(const std::string& base)
{
    basePath = base;
    dataDir = "Data";
    tagSetFile.clear();
    posDelimiter = "\\";
    wordBoundary = "  ";
    mergeFlag = false;
    posMode = 2;
    logOn = userDictOn = newWordsOn = false;
    placeNamesOn = true;
    newPosOn = true;
    newWordMargin = 0.5f;
    newWordWeight = 0.4f;
    newWordPenalty = 24;
    supplementOn = true;
    supplementBonus = 2;
    nameModelOn = true;
    nameAutomatonBonus = 30;
    nameAutomatonBonusShort = 10;
    nameCutPenalty = 50;
    nameVeto = true;

    std::unique_ptr<char[]> config;
    const std::string configPath = basePath + kSeparator + "Configure.xml";
    const size_t configSize = ReadConfigFile(configPath.c_str(), config);
    if (configSize == 0)
        return false;
    std::unique_ptr<char[]> value(new char[configSize + 1]);
    const char* text = config.get();
    if (GetConfigValue(text, "DataPath", value.get()))
        dataDir = value.get();
    if (GetConfigValue(text, "TagSet", value.get()))
        tagSetFile = value.get();
    if (GetConfigValue(text, "POSDelimiter", value.get()))
        posDelimiter = value.get();
    if (GetConfigValue(text, "WordBoundary", value.get()))
        wordBoundary = value.get();
    mergeFlag = SwitchIsOn(text, "Merge", value.get());
    logOn = SwitchIsOn(text, "Log", value.get());
    userDictOn = SwitchIsOn(text, "UserDict", value.get());
    if (GetConfigValue(text, "POS", value.get())) {
        if (strcasecmp(value.get(), "None") == 0)
            posMode = 0;
        else if (strcasecmp(value.get(), "Upper") == 0)
            posMode = 1;
    }
    newWordsOn = SwitchIsOn(text, "NewWords", value.get());
    if (GetConfigValue(text, "PlaceNames", value.get()))
        placeNamesOn = strcasecmp(value.get(), "off") != 0;
    if (GetConfigValue(text, "NewPos", value.get()))
        newPosOn = strcasecmp(value.get(), "off") != 0;
    newWordMargin2 = -1;
    if (GetConfigValue(text, "NewWordMargin2", value.get())) {
        char* end = nullptr;
        const float margin = std::strtof(value.get(), &end);
        if (end != value.get() && margin >= 0 && margin < 1e6f)
            newWordMargin2 = margin;
    }
    if (GetConfigValue(text, "NewWordPenalty", value.get())) {
        char* end = nullptr;
        const float penalty = std::strtof(value.get(), &end);
        if (end != value.get() && penalty >= 0 && penalty < 1e6f)
            newWordPenalty = penalty;
    }
    if (GetConfigValue(text, "NewWordWeight", value.get())) {
        char* end = nullptr;
        const float weight = std::strtof(value.get(), &end);
        if (end != value.get() && weight >= 0 && weight < 1e6f)
            newWordWeight = weight;
    }
    if (GetConfigValue(text, "NewWordMargin", value.get())) {
        char* end = nullptr;
        const float margin = std::strtof(value.get(), &end);
        if (end != value.get() && margin >= 0 && margin < 1e6f)
            newWordMargin = margin;
    }
    if (newWordMargin2 < 0)
        newWordMargin2 = newWordMargin;
    if (GetConfigValue(text, "Supplement", value.get()))
        supplementOn = strcasecmp(value.get(), "off") != 0;
    if (GetConfigValue(text, "SupplementBonus", value.get())) {
        char* end = nullptr;
        const float bonus = std::strtof(value.get(), &end);
        if (end != value.get() && bonus > -1e6f && bonus < 1e6f)
            supplementBonus = bonus;
    }
    // Switches of the name stage are on unless set to "off".
    if (GetConfigValue(text, "NameModel", value.get()))
        nameModelOn = strcasecmp(value.get(), "off") != 0;
    if (GetConfigValue(text, "NameVeto", value.get()))
        nameVeto = strcasecmp(value.get(), "off") != 0;
    const auto readWeight = [&](const char* key, float& target) {
        if (!GetConfigValue(text, key, value.get()))
            return;
        char* end = nullptr;
        const float v = std::strtof(value.get(), &end);
        if (end != value.get() && v >= 0 && v < 1e6f)
            target = v;
    };
    readWeight("NameAutomatonBonus", nameAutomatonBonus);
    readWeight("NameAutomatonBonusShort", nameAutomatonBonusShort);
    readWeight("NameCutPenalty", nameCutPenalty);
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
            newLoaded = LoadNewWordModels(defer);
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
    const bool coreLoaded = LoadCoreModels(report);
    if (threaded)
        second.thread.join();
    else if (coreLoaded)
        loadNew();
    // The core tables come first in the order: their failure is the one to report.
    if (!coreLoaded) {
        ResetNewWordModels();
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
    if (posModel && posModel->GetWordCount() != unigram->GetEntryCount()) {
        report("Cannot open file %s.\n", DataPath("NewPos.pm").c_str());
        posModel.reset();
        return false;
    }
    return true;
}

void CModel::ResetNewWordModels()
{
    newWordModel.reset();
    supplement.reset();
    nameModel.reset();
    placeRoles.reset();
    placeContext.reset();
    placeAutomaton.reset();
    orgRoles.reset();
    orgContext.reset();
    orgAutomaton.reset();
    posModel.reset();
}

bool CModel::LoadCoreModels(const Reporter& report)
{
    if (!LoadModel(charset, "CCharset", DataPath("charset.type"), report))
        return false;
    if (!LoadModel(coreDict, "CPDAT", DataPath("CoreDict.pdat"), report))
        return false;
    ids = SpecialWords::Lookup(*coreDict);
    if (!ids.HasRequired()) {
        report("%s", "The Core Dictionary has been destroyed!");
        return false;
    }
    // The new stages read the word tables that know the class word of new words.
    const bool nw = newWordsOn;
    const std::string posLexiconPath = DataPath(nw ? "NewWord.pos" : "CoreDict.pos");
    if (!LoadModel(unigram, "CUnigram", DataPath(nw ? "NewWord.unig" : "CoreDict.unig"), report) ||
        !LoadModel(bigram, "CBigram", DataPath(nw ? "NewWord.big" : "BiWord.big"), report) ||
        !LoadModel(posLexicon, nullptr, posLexiconPath, report) ||
        !LoadModel(posContext, nullptr, DataPath("Morv.ctx"), report, false) ||
        !LexiconFits(*posLexicon, *posContext, posLexiconPath, report) ||
        !LoadModel(tagSet, nullptr, DataPath(tagSetFile), report) ||
        !LoadModel(roleLexicon, nullptr, DataPath("nr.role"), report) ||
        !LoadModel(roleContext, nullptr, DataPath("nr.ctx"), report, false) ||
        !LexiconFits(*roleLexicon, *roleContext, DataPath("nr.role"), report) ||
        !LoadModel(roleTagger, nullptr, DataPath("nr.fsa"), report))
        return false;
    pairScores.reset(new CPairScores(*unigram, *bigram));
    return true;
}

bool CModel::LoadNewWordModels(const Reporter& report)
{
    ResetNewWordModels();
    if (!newWordsOn)
        return true;
    if (!LoadModel(newWordModel, nullptr, DataPath("NewWord.cm"), report))
        return false;
    if (supplementOn) {
        supplement.reset(new (std::nothrow) CSupplement());
        if (!supplement) {
            report("Cannot build object %s.\n", "CSupplement");
            return false;
        }
        const std::string trie = DataPath("Supplement.pdat"), table = DataPath("Supplement.tab");
        bool tableFailed = false;
        if (!supplement->Load(trie.c_str(), table.c_str(), &tableFailed)) {
            report("Cannot open file %s.\n", (tableFailed ? table : trie).c_str());
            supplement.reset();
            return false;
        }
    }
    if (nameModelOn && !LoadModel(nameModel, nullptr, DataPath("PersonName.nm"), report))
        return false;
    if (placeNamesOn &&
        (!LoadModel(placeRoles, nullptr, DataPath("ns.role"), report) ||
         !LoadModel(placeContext, nullptr, DataPath("ns.ctx"), report, false) ||
         !LexiconFits(*placeRoles, *placeContext, DataPath("ns.role"), report) ||
         !LoadModel(placeAutomaton, nullptr, DataPath("ns.fsa"), report) ||
         !LoadModel(orgRoles, nullptr, DataPath("nt.role"), report) ||
         !LoadModel(orgContext, nullptr, DataPath("nt.ctx"), report, false) ||
         !LexiconFits(*orgRoles, *orgContext, DataPath("nt.role"), report) ||
         !LoadModel(orgAutomaton, nullptr, DataPath("nt.fsa"), report)))
        return false;
    if (newPosOn && !LoadModel(posModel, nullptr, DataPath("NewPos.pm"), report))
        return false;
    return true;
}

bool CModel::Open(const std::string& base, std::string* error)
{
    std::string why;
    if (!ReadConfig(base)) {
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
    return tagSet ? tagSet->Code(name) : -1;
}

bool CModel::AddWord(const std::string& gbkWord, int64_t frequency, const std::string& tag, std::string* error)
{
    CUserWords::Entry entry;
    entry.text = gbkWord;
    if (gbkWord.empty() || gbkWord.find('\0') != std::string::npos) {
        if (error != nullptr)
            *error = gbkWord.empty() ? "the word is empty" : "the word holds a NUL byte";
        return false;
    }
    if (!tag.empty()) {
        const int code = TagCode(tag);
        if (code < 0 || code > 254) {
            if (error != nullptr)
                *error = "unknown tag '" + tag + "'";
            return false;
        }
        entry.tag = static_cast<uint8_t>(code);
    }
    // Frequencies are counts of the training corpus's scale; larger ones add nothing.
    entry.frequency = frequency < 0 ? CUserWords::kNoFrequency
                                    : static_cast<int32_t>(frequency > INT32_MAX / 2 ? INT32_MAX / 2 : frequency);
    return AddWords({entry});
}

bool CModel::AddWords(const std::vector<CUserWords::Entry>& entries)
{
    std::lock_guard<std::mutex> lock(userMutex);
    userEntries.insert(userEntries.end(), entries.begin(), entries.end());
    userDirty.store(true, std::memory_order_release);
    return true;
}

std::shared_ptr<const CUserWords> CModel::UserWords() const
{
    if (userDirty.load(std::memory_order_acquire)) {
        // The first analysis after a change builds the new snapshot; analyses that
        // hold the old one finish with it.
        std::lock_guard<std::mutex> lock(userMutex);
        if (userDirty.load(std::memory_order_relaxed) && coreDict) {
            auto fresh = std::make_shared<CUserWords>();
            fresh->Build(userEntries, *coreDict);
            std::atomic_store(&userSnapshot, std::shared_ptr<const CUserWords>(std::move(fresh)));
            userDirty.store(false, std::memory_order_release);
        }
    }
    return std::atomic_load(&userSnapshot);
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
    out += "configuration:   " + basePath + kSeparator + "Configure.xml (DataPath " + dataDir + ", TagSet " +
           tagSetFile + ", Log " + (logOn ? "on" : "off") + ", UserDict " + (userDictOn ? "on" : "off") +
           ", NewWords " + (newWordsOn ? "on" : "off") + ", PlaceNames " + (placeNamesOn ? "on" : "off") +
           ", Supplement " + (supplementOn ? "on" : "off") + ", NameModel " + (nameModelOn ? "on" : "off") +
           ", NewPos " + (newPosOn ? "on" : "off") + ")\n";
    out += "data directory:  " + basePath + kSeparator + dataDir + "\n";
    struct Line {
        std::string file;
        std::string what;
    };
    std::vector<Line> lines;
    lines.push_back({"charset.type", "character classes"});
    lines.push_back({"CoreDict.pdat", coreDict ? std::to_string(coreDict->GetWordCount()) + " words" : ""});
    lines.push_back({"CoreDict.unig", unigram ? std::to_string(unigram->GetEntryCount()) + " word frequencies, total " +
                                                    std::to_string(unigram->GetTotalFrequency())
                                              : ""});
    lines.push_back({"BiWord.big", bigram ? std::to_string(bigram->GetPairCount()) + " word pairs" : ""});
    lines.push_back({"CoreDict.pos", posLexicon ? std::to_string(posLexicon->GetEntryCount()) + " tag entries of " +
                                                      std::to_string(posLexicon->GetIndexSize()) + " words"
                                                : ""});
    lines.push_back({"Morv.ctx", posContext ? std::to_string(posContext->GetTagCount()) + " tags" : ""});
    lines.push_back({tagSetFile, tagSet ? std::to_string(tagSet->GetCount()) + " tag names" : ""});
    lines.push_back({"nr.role", roleLexicon ? std::to_string(roleLexicon->GetEntryCount()) + " role entries of " +
                                                  std::to_string(roleLexicon->GetIndexSize()) + " words"
                                            : ""});
    lines.push_back({"nr.ctx", roleContext ? std::to_string(roleContext->GetTagCount()) + " roles" : ""});
    lines.push_back({"nr.fsa", roleTagger ? std::to_string(roleTagger->GetStateCount()) + " states over " +
                                                std::to_string(roleTagger->GetSymbolCount()) + " roles"
                                          : ""});
    if (newWordModel)
        lines.push_back({"NewWord.cm", std::to_string(newWordModel->GetCharCount()) + " characters, " +
                                           std::to_string(newWordModel->GetPairCount()) + " pairs"});
    if (supplement)
        lines.push_back({"Supplement.pdat", std::to_string(supplement->GetWordCount()) + " supplementary words"});
    if (nameModel)
        lines.push_back({"PersonName.nm", std::to_string(nameModel->GetCharCount()) + " characters, " +
                                              std::to_string(nameModel->GetPairCount()) + " pairs"});
    const auto roleLines = [&](const char* stem, const std::unique_ptr<CPosLexicon>& roles,
                               const std::unique_ptr<CTagTransitions>& context, const std::unique_ptr<CRoleTagger>& fsa) {
        const std::string s = stem;
        lines.push_back({s + ".role", std::to_string(roles->GetEntryCount()) + " role entries of " +
                                          std::to_string(roles->GetIndexSize()) + " words"});
        lines.push_back({s + ".ctx", std::to_string(context->GetTagCount()) + " roles"});
        lines.push_back({s + ".fsa", std::to_string(fsa->GetStateCount()) + " states over " +
                                         std::to_string(fsa->GetSymbolCount()) + " roles"});
    };
    if (placeRoles && placeContext && placeAutomaton)
        roleLines("ns", placeRoles, placeContext, placeAutomaton);
    if (orgRoles && orgContext && orgAutomaton)
        roleLines("nt", orgRoles, orgContext, orgAutomaton);
    if (posModel)
        lines.push_back({"NewPos.pm", std::to_string(posModel->GetTagCount()) + " tags, " +
                                          std::to_string(posModel->GetEntryCount()) + " weights"});
    if (userDictOn)
        lines.push_back({"UserDict.dct", userDictFile ? std::to_string(userDictFile->GetWordCount()) + " user words"
                                                      : "not loaded"});
    for (const Line& l : lines) {
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
