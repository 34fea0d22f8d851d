#ifndef MORV_TOOLS_MORVAPP_H
#define MORV_TOOLS_MORVAPP_H

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/morv.hpp"
#include "tools/morv/HtmlPageStream.h"
#include "tools/morv/InputReader.h"
#include "tools/morv/LineFormatter.h"
#include "tools/morv/MorvOptions.h"

// The morv command: opens the model, adds the user word lists, and streams every
// input through an analyser into the chosen output.
class MorvApp {
public:
    enum ExitStatus { kOk = 0, kEngineFailed = 1, kFileTrouble = 2 };

    MorvApp(std::FILE* out, std::FILE* err) : out(out), err(err) {}

    int Run(const MorvOptions& options);

    // The model directory: the option if given, else $MORV_HOME, else ./Morv when
    // it holds Configure.xml, else the Morv directory beside the executable when it
    // does, else the library's default (the installed models).
    static std::string ResolveBase(const std::string& option);
    // Where to cut a piece of a line that is too long (size bytes, no line feed):
    // after its last sentence end (model may be null: none known), else after its
    // last blank, else at its last character boundary. Cutting after a sentence
    // end changes no result.
    static size_t CutPoint(const morv_model* model, const char* data, size_t size, Encoding enc);

private:
    bool OpenModel(const std::string& base);
    void ProcessFile(const std::string& name);
    void ProcessStream(int fd, const std::string& name);
    void Report(const std::string& message);

    std::FILE* out;
    std::FILE* err;
    const MorvOptions* options = nullptr;
    int status = kOk;
    std::unique_ptr<morv::Model> model;
    std::unique_ptr<morv::Analyzer> analyzer;
    std::unique_ptr<LineFormatter> formatter;
    std::vector<std::unique_ptr<HtmlPageStream>> pages;
};

#endif
