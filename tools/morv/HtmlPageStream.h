#ifndef MORV_TOOLS_HTMLPAGESTREAM_H
#define MORV_TOOLS_HTMLPAGESTREAM_H

#include <cstdio>

#include "engine/TextCodec.h"
#include "engine/morv.hpp"

// Writes the result page for an input of any size, piece by piece: the page's
// head, the tokens of every piece, then its legend and footer, so the page equals
// the one the engine writes for the whole text, without holding that text in
// memory. The page is GBK; a character GBK lacks appears as an HTML character
// reference.
class HtmlPageStream {
public:
    HtmlPageStream(std::FILE* out, morv::Analyzer& analyzer) : out(out), analyzer(analyzer) {}

    void Begin();
    // Analyses one piece (its line end included) into the page.
    void Feed(const char* piece, size_t size, Encoding enc);
    // Writes the tail; false when the stream reported an error.
    bool End();

private:
    std::FILE* out;
    morv::Analyzer& analyzer;
};

#endif
