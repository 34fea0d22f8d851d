#include "engine/Engine.h"

#include <cstring>
#include <new>
#include <strings.h>
#include <unistd.h>

#include "engine/ConfigFile.h"
#include "engine/EngineContext.h"
#include "engine/HtmlPage.h"

EngineContext& TheEngine()
{
    static EngineContext context;
    return context;
}

void EngineLog(const char* format, const char* arg)
{
    EngineContext& engine = TheEngine();
    if (engine.logFile == nullptr)
        return;
    std::fprintf(engine.logFile, format, arg);
    std::fflush(engine.logFile);
}

std::string EngineContext::DataPath(const char* fileName) const
{
    std::string path = basePath;
    path += kPathSeparator;
    path += dataDir;
    path += kPathSeparator;
    path += fileName;
    return path;
}

namespace {

// A switch is on when its whole value is "on", in any letter case.
bool SwitchIsOn(const char* text, const char* key, char* value)
{
    return GetConfigValue(text, key, value) && strcasecmp(value, "on") == 0;
}

// Creates a model object and loads it; logs and fails as the start-up requires.
template <class Model, class... Args>
bool LoadModel(std::unique_ptr<Model>& slot, const char* className, const std::string& path,
               Args... args)
{
    slot.reset(new (std::nothrow) Model());
    if (!slot) {
        if (className != nullptr)
            EngineLog("Cannot build object %s.\n", className);
        else
            EngineLog("Cannot open file %s.\n", path.c_str());
        return false;
    }
    if (!slot->Load(path.c_str(), args...)) {
        EngineLog("Cannot open file %s.\n", path.c_str());
        return false;
    }
    return true;
}

void CloseLog(EngineContext& engine)
{
    if (engine.logFile != nullptr) {
        std::fclose(engine.logFile);
        engine.logFile = nullptr;
    }
}

} // namespace

extern "C" bool EngineInit(const char* basePath)
{
    EngineContext& engine = TheEngine();
    if (engine.initialized)
        return true;

    if (basePath != nullptr) {
        engine.basePath = basePath;
    } else {
        char cwd[1000];
        engine.basePath = getcwd(cwd, sizeof cwd) != nullptr ? cwd : ".";
    }
    engine.dataDir = "Data";
    engine.tagSetFile.clear();
    engine.posMode = 2;
    engine.posDelimiter = "\\";
    engine.wordBoundary = "  ";
    engine.mergeFlag = false;

    std::unique_ptr<char[]> config;
    const std::string configPath = engine.basePath + kPathSeparator + "Configure.xml";
    const size_t configSize = ReadConfigFile(configPath.c_str(), config);
    if (configSize == 0)
        return false;
    std::unique_ptr<char[]> value(new char[configSize + 1]);
    const char* text = config.get();

    if (GetConfigValue(text, "DataPath", value.get()))
        engine.dataDir = value.get();
    if (GetConfigValue(text, "TagSet", value.get()))
        engine.tagSetFile = value.get();
    if (GetConfigValue(text, "POSDelimiter", value.get()))
        engine.posDelimiter = value.get();
    if (GetConfigValue(text, "WordBoundary", value.get()))
        engine.wordBoundary = value.get();
    if (SwitchIsOn(text, "Merge", value.get()))
        engine.mergeFlag = true;
    // A retry after a failed start must not leak the log of the earlier attempt.
    CloseLog(engine);
    if (SwitchIsOn(text, "Log", value.get())) {
        const std::string logPath = engine.basePath + kPathSeparator + "Morv.log";
        engine.logFile = std::fopen(logPath.c_str(), "wt");
        if (engine.logFile == nullptr)
            return false;
    }

    engine.userDict.reset();
    if (SwitchIsOn(text, "UserDict", value.get())) {
        const std::string path = engine.DataPath("UserDict.dct");
        engine.userDict.reset(new (std::nothrow) CPDAT());
        if (!engine.userDict || !engine.userDict->Load(path.c_str())) {
            EngineLog("Cannot open user dictionary %s.\n", path.c_str());
            engine.userDict.reset();
        }
    }
    if (GetConfigValue(text, "POS", value.get())) {
        if (strcasecmp(value.get(), "None") == 0)
            engine.posMode = 0;
        else if (strcasecmp(value.get(), "Upper") == 0)
            engine.posMode = 1;
    }
    value.reset();
    config.reset();

    // Models left from a failed earlier attempt are replaced one by one below;
    // the analyser of such an attempt never existed.
    engine.analyzer.reset();
    if (!LoadModel(engine.charset, "CCharset", engine.DataPath("charset.type")))
        return false;
    if (!LoadModel(engine.coreDict, "CPDAT", engine.DataPath("CoreDict.pdat")))
        return false;

    const SpecialWords ids = SpecialWords::Lookup(*engine.coreDict);
    engine.idSentenceBegin = ids.sentenceBegin;
    engine.idSentenceEnd = ids.sentenceEnd;
    engine.idUnknownString = ids.unknownString;
    engine.idUnknownPerson = ids.unknownPerson;
    engine.idUnknownPlace = ids.unknownPlace;
    engine.idUnknownOrganization = ids.unknownOrganization;
    engine.idUnknownTime = ids.unknownTime;
    engine.idUnknownNumber = ids.unknownNumber;
    engine.idUnknownProper = ids.unknownProper;
    engine.idLeftDoubleQuote = ids.leftDoubleQuote;
    engine.idRightDoubleQuote = ids.rightDoubleQuote;
    engine.idLeftSingleQuote = ids.leftSingleQuote;
    engine.idRightSingleQuote = ids.rightSingleQuote;
    engine.idDash = ids.dash;
    engine.idOne = ids.one;
    if (!ids.HasRequired()) {
        EngineLog("%s", "The Core Dictionary has been destroyed!");
        return false;
    }

    if (!LoadModel(engine.unigram, "CUnigram", engine.DataPath("CoreDict.unig")) ||
        !LoadModel(engine.bigram, "CBigram", engine.DataPath("BiWord.big")) ||
        !LoadModel(engine.posLexicon, nullptr, engine.DataPath("CoreDict.pos")) ||
        !LoadModel(engine.posContext, nullptr, engine.DataPath("Morv.ctx"), false) ||
        !LoadModel(engine.tagSet, nullptr, engine.DataPath(engine.tagSetFile.c_str())) ||
        !LoadModel(engine.roleLexicon, nullptr, engine.DataPath("nr.role")) ||
        !LoadModel(engine.roleContext, nullptr, engine.DataPath("nr.ctx"), false) ||
        !LoadModel(engine.roleTagger, nullptr, engine.DataPath("nr.fsa")))
        return false;

    engine.initialized = true;
    engine.analyzer.reset(new (std::nothrow) CAnalyzer(
        engine.charset.get(), engine.coreDict.get(), engine.unigram.get(), engine.bigram.get(),
        engine.userDict.get(), engine.posLexicon.get(), engine.tagSet.get(), engine.posContext.get(),
        engine.roleLexicon.get(), engine.roleContext.get(), engine.roleTagger.get()));
    return true;
}

extern "C" bool EngineExit(void)
{
    EngineContext& engine = TheEngine();
    EngineLog("%s", "Begin Destroy\n");
    engine.charset.reset();
    engine.coreDict.reset();
    engine.unigram.reset();
    engine.bigram.reset();
    engine.posLexicon.reset();
    engine.posContext.reset();
    engine.tagSet.reset();
    engine.roleLexicon.reset();
    engine.roleContext.reset();
    engine.roleTagger.reset();
    engine.userDict.reset();
    engine.initialized = false;
    engine.analyzer.reset();
    EngineLog("%s", "End Destroy\n");
    CloseLog(engine);
    return true;
}

extern "C" bool EngineWriteHtml(const char* text, const char* path)
{
    EngineContext& engine = TheEngine();
    // Without a complete analyser there is nothing to write: fail before creating the file.
    if (!engine.initialized || !engine.analyzer || !engine.analyzer->IsComplete() ||
        text == nullptr || path == nullptr)
        return false;
    return WriteHtmlPage(*engine.analyzer, text, path);
}

extern "C" int EngineImportUserDict(const char* listPath)
{
    EngineContext& engine = TheEngine();
    if (!engine.initialized || !engine.coreDict)
        return 0;
    // A list that cannot be read imports nothing: the dictionary in use stays.
    std::FILE* list = listPath != nullptr ? std::fopen(listPath, "r") : nullptr;
    if (list == nullptr) {
        EngineLog("Cannot open file %s.\n", listPath != nullptr ? listPath : "");
        return 0;
    }
    std::fclose(list);

    std::unique_ptr<CPDAT> dict(new (std::nothrow) CPDAT());
    if (!dict)
        return 0;
    const int words = dict->BuildFromWordList(listPath, engine.coreDict.get());
    const std::string target = engine.DataPath("UserDict.pdat");
    if (dict->Save(target.c_str())) {
        // Attach the new dictionary before the old one goes, so that the analyser
        // never holds a released dictionary.
        if (engine.analyzer)
            engine.analyzer->SetUserDict(dict.get());
        engine.userDict = std::move(dict);
        return words;
    }
    EngineLog("Cannot Save user dictionary %s.\n", target.c_str());
    if (engine.analyzer)
        engine.analyzer->SetUserDict(nullptr);
    engine.userDict.reset();
    return 0;
}
