#ifndef MORV_TOOLS_MORVOPTIONS_H
#define MORV_TOOLS_MORVOPTIONS_H

#include <string>
#include <vector>

#include "engine/TextCodec.h"

enum class OutputFormat { Text, Seg, Words, Compact, Json, Html };

// The command line of morv.
class MorvOptions {
public:
    enum class Action { Run, Help, Version, Error };

    // Parses argv[1..argc-1]. On Action::Error, error holds the message.
    Action Parse(int argc, const char* const* argv);

    static const char* Usage();

    OutputFormat format = OutputFormat::Text;
    Encoding encoding = Encoding::Unknown;       // Unknown: detect per file (per line from a pipe)
    Encoding outputEncoding = Encoding::Unknown; // Unknown: the input's
    std::string output;                          // -o FILE, empty: standard output
    std::string htmlFile;                        // --html FILE, empty when not given
    std::string baseDir;                         // -d/--base DIR, empty when not given
    std::vector<std::string> userDicts;          // -u/--user-dict LIST, each one given
    std::vector<std::string> settings;           // --set KEY=VALUE, each one given, in order
    int jobs = 0;                                // -j N; 0: the default
    bool dumpConfig = false;
    bool search = false;                         // --search: sub-tokens after each token
    size_t keywords = 0;                         // --keywords N: the N keywords of each input
    bool textRank = false;                       // --textrank: by TextRank, not TF-IDF
    std::string keywordTags;                     // --keyword-tags LIST, empty: any tag
    // --traditional: convert traditional Chinese per sentence (Auto), always, never.
    enum class Traditional { Auto, On, Off } traditional = Traditional::Auto;
    bool longUnits = false;                      // --standard long: the long-unit standard
    // The progress line: Auto shows it when standard error is a terminal, every
    // input is a file and the output does not go to that terminal.
    enum class Progress { Auto, On, Off } progress = Progress::Auto;
    std::vector<std::string> files;              // empty: standard input
    std::string error;
};

#endif
