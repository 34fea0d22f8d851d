#ifndef MORV_ENGINECONTEXT_H
#define MORV_ENGINECONTEXT_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "engine/CAnalyzer.h"
#include "engine/CModel.h"
#include "lexicon/CPDAT.h"

// The engine's process-wide state: options, the log, the model with every model
// object, the user dictionary and the analyser, owned from EngineInit to EngineExit.
struct EngineContext {
    bool initialized = false;
    std::FILE* logFile = nullptr;
    std::string basePath;
    std::string dataDir = "Data";
    std::string tagSetFile;
    std::string posDelimiter = "\\";
    std::string wordBoundary = "  ";
    bool mergeFlag = false;
    int32_t posMode = 2;

    std::unique_ptr<CPDAT> userDict;
    // charset, coreDict, unigram, bigram, posLexicon, posContext, tagSet,
    // roleLexicon, roleContext and roleTagger, loaded from one base directory.
    std::unique_ptr<CModel> model;
    std::unique_ptr<CAnalyzer> analyzer;

    int32_t idSentenceBegin = -1;
    int32_t idSentenceEnd = -1;
    int32_t idUnknownString = -1;
    int32_t idUnknownPerson = -1;
    int32_t idUnknownPlace = -1;
    int32_t idUnknownOrganization = -1;
    int32_t idUnknownTime = -1;
    int32_t idUnknownNumber = -1;
    int32_t idUnknownProper = -1;
    int32_t idLeftDoubleQuote = -1;
    int32_t idRightDoubleQuote = -1;
    int32_t idLeftSingleQuote = -1;
    int32_t idRightSingleQuote = -1;
    int32_t idDash = -1;
    int32_t idOne = -1;

    // Full path of a file in the data directory.
    std::string DataPath(const char* fileName) const;
};

// The one engine of this process.
EngineContext& TheEngine();

// Writes one message to the engine log, when it is open, and flushes it.
// format holds at most one %s, which receives arg.
void EngineLog(const char* format, const char* arg);

// The directory separator used to join paths.
constexpr char kPathSeparator = '/';

#endif
