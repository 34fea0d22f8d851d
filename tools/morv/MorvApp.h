#ifndef MORV_TOOLS_MORVAPP_H
#define MORV_TOOLS_MORVAPP_H

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tools/morv/EngineText.h"
#include "tools/morv/HtmlPageStream.h"
#include "tools/morv/InputReader.h"
#include "tools/morv/LineFormatter.h"
#include "tools/morv/MorvOptions.h"

// The morv command: starts the engine, imports a user word list if asked, and
// streams every input through the analyser into the chosen output.
class MorvApp {
public:
    enum ExitStatus { kOk = 0, kEngineFailed = 1, kFileTrouble = 2 };

    MorvApp(std::FILE* out, std::FILE* err) : out(out), err(err) {}

    int Run(const MorvOptions& options);

    // The base directory: the option if given, else $MORV_HOME, else ./Morv when it
    // holds Configure.xml, else the Morv directory beside the executable.
    static std::string ResolveBase(const std::string& option);
    // Where to cut a piece of a line that is too long (size bytes, no line feed):
    // after its last sentence end, else after its last blank, else at its last
    // character boundary. Cutting after a sentence end changes no result.
    static size_t CutPoint(const char* data, size_t size, Encoding enc);

private:
    bool StartEngine(const std::string& base);
    void ImportUserDict(const std::string& list);
    void ProcessFile(const std::string& name);
    void ProcessStream(int fd, const std::string& name);
    void Report(const std::string& message);

    std::FILE* out;
    std::FILE* err;
    const MorvOptions* options = nullptr;
    int status = kOk;
    EngineText piece;
    std::unique_ptr<LineFormatter> formatter;
    std::vector<std::unique_ptr<HtmlPageStream>> pages;
};

#endif
