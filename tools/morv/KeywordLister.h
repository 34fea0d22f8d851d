#ifndef MORV_TOOLS_KEYWORDLISTER_H
#define MORV_TOOLS_KEYWORDLISTER_H

#include <cstdio>
#include <string>

#include "engine/TextCodec.h"
#include "engine/morv.hpp"

// morv --keywords N: reads each input whole and writes its N keywords, one a
// line, "word<TAB>tag<TAB>weight". A keyword list is about a whole text, so
// an input is not cut into lines as the analysis is.
class KeywordLister {
public:
    struct Settings {
        size_t top = 20;
        bool textRank = false;
        std::string tags;                         // separated by commas or blanks; empty: any
        Encoding encoding = Encoding::Unknown;    // Unknown: detected per input
        Encoding outputEncoding = Encoding::Unknown; // Unknown: the input's
        morv::Traditional traditional = morv::Traditional::Auto;
    };

    KeywordLister(morv::Analyzer& analyzer, std::FILE* out, const Settings& settings)
        : analyzer(analyzer), out(out), settings(settings)
    {
    }
    virtual ~KeywordLister() = default;

    // Lists the keywords of one input (name "-": standard input), under a line
    // "# NAME" when withName. False with the reason when it cannot be read or
    // analysed.
    bool List(const std::string& name, bool withName, std::string* error);
    // The keywords of text as the lines List writes.
    std::string Lines(const std::string& text, std::string* error);

private:
    morv::Analyzer& analyzer;
    std::FILE* out;
    Settings settings;
};

#endif
