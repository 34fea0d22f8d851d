#include "engine/Engine.h"

#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/AtomicFile.h"
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

void CloseLog(EngineContext& engine)
{
    if (engine.logFile != nullptr) {
        std::fclose(engine.logFile);
        engine.logFile = nullptr;
    }
}

// Starts the log afresh at path. Only a regular file of its own is taken: a
// link in its place is refused rather than written through (start-up would
// empty whatever file it names), a FIFO or device is refused without waiting
// for a reader, and a file with a second name is not emptied behind that name.
std::FILE* OpenLog(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || ::ftruncate(fd, 0) != 0 ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "w");
    if (file == nullptr)
        ::close(fd);
    return file;
}

void CopySpecialWords(EngineContext& engine, const SpecialWords& ids)
{
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
}

// No exception leaves a C entry point: one that escapes a call (memory that
// cannot be had, mostly) fails it.
template <class Result, class Call> Result Guarded(Result failed, Call call)
{
    try {
        return call();
    } catch (...) {
        return failed;
    }
}

bool Init(const char* basePath)
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

    // Models left from a failed earlier attempt go with it; the analyser of such
    // an attempt never existed.
    engine.analyzer.reset();
    engine.model.reset(new (std::nothrow) CModel());
    if (!engine.model)
        return false;
    CModel& model = *engine.model;
    if (!model.ReadConfig(engine.basePath))
        return false;
    engine.dataDir = model.dataDir;
    engine.tagSetFile = model.tagSetFile;
    engine.posDelimiter = model.posDelimiter;
    engine.wordBoundary = model.wordBoundary;
    engine.mergeFlag = model.mergeFlag;
    // A retry after a failed start must not leak the log of the earlier attempt.
    CloseLog(engine);
    if (model.logOn) {
        const std::string logPath = engine.basePath + kPathSeparator + "Morv.log";
        engine.logFile = OpenLog(logPath);
        if (engine.logFile == nullptr)
            return false;
    }
    const CModel::Reporter log = [](const char* format, const char* arg) { EngineLog(format, arg); };
    model.LoadUserDictFile(log);
    engine.userDict = std::move(model.userDictFile);
    engine.posMode = model.posMode;

    const bool loaded = model.LoadModels(log);
    if (model.core.coreDict)
        CopySpecialWords(engine, model.ids);
    if (!loaded)
        return false;

    engine.initialized = true;
    engine.analyzer.reset(new (std::nothrow) CAnalyzer(model));
    if (engine.analyzer)
        engine.analyzer->SetUserDict(engine.userDict.get());
    return true;
}

} // namespace

extern "C" bool EngineInit(const char* basePath)
{
    return Guarded(false, [&] { return Init(basePath); });
}

extern "C" bool EngineExit(void)
{
    EngineContext& engine = TheEngine();
    EngineLog("%s", "Begin Destroy\n");
    engine.model.reset();
    engine.userDict.reset();
    engine.initialized = false;
    engine.analyzer.reset();
    EngineLog("%s", "End Destroy\n");
    CloseLog(engine);
    return true;
}

namespace {

bool WriteHtml(const char* text, const char* path)
{
    EngineContext& engine = TheEngine();
    // Without a complete analyser there is nothing to write: fail before creating the file.
    if (!engine.initialized || !engine.analyzer || !engine.analyzer->IsComplete() ||
        text == nullptr || path == nullptr)
        return false;
    return WriteHtmlPage(*engine.analyzer, text, path);
}

bool IsReadableRegularFile(const char* path)
{
    struct stat st {};
    return path != nullptr && ::stat(path, &st) == 0 && S_ISREG(st.st_mode) && ::access(path, R_OK) == 0;
}

int ImportUserDict(const char* listPath)
{
    EngineContext& engine = TheEngine();
    if (!engine.initialized || !engine.model || !engine.model->core.coreDict)
        return 0;
    // A list that is not a readable regular file (missing, a directory, a device
    // such as /dev/null) imports nothing: the dictionary in use stays.
    if (!IsReadableRegularFile(listPath)) {
        EngineLog("Cannot open file %s.\n", listPath != nullptr ? listPath : "");
        return 0;
    }

    std::unique_ptr<CPDAT> dict(new (std::nothrow) CPDAT());
    if (!dict)
        return 0;
    const int words = dict->BuildFromWordList(listPath, engine.model->core.coreDict.get());
    // The new dictionary replaces the file only once it is completely written, and
    // the one in use only once it is saved: a failed save (a full disk, a read-only
    // directory) leaves both as they were.
    const std::string target = engine.DataPath("UserDict.pdat");
    AtomicFile file;
    bool saved = file.Open(target) && file.CloseStream() && dict->Save(file.WritePath().c_str());
    saved = saved && file.Commit();
    if (!saved) {
        file.Abort();
        EngineLog("Cannot Save user dictionary %s.\n", target.c_str());
        return 0;
    }
    // Attach the new dictionary before the old one goes, so that the analyser
    // never holds a released dictionary.
    if (engine.analyzer)
        engine.analyzer->SetUserDict(dict.get());
    engine.userDict = std::move(dict);
    return words;
}

} // namespace

extern "C" bool EngineWriteHtml(const char* text, const char* path)
{
    return Guarded(false, [&] { return WriteHtml(text, path); });
}

extern "C" int EngineImportUserDict(const char* listPath)
{
    return Guarded(0, [&] { return ImportUserDict(listPath); });
}
