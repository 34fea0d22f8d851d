#ifndef MORV_TOOLS_HTMLPAGESTREAM_H
#define MORV_TOOLS_HTMLPAGESTREAM_H

#include <cstdio>
#include <string>

#include "tools/morv/EngineText.h"

class CAnalyzer;

// Writes the engine's result page for an input of any size, piece by piece: the
// page's head and tail are the ones EngineWriteHtml writes, and the analyser
// writes each piece's tokens between them, so the page equals the one
// EngineWriteHtml writes for the whole text, without holding that text in memory.
// The page is GBK; a character GBK lacks appears as an HTML character reference.
class HtmlPageStream {
public:
    // Learns the head and tail from two pages EngineWriteHtml writes into a
    // temporary directory. False (with a reason) when the engine writes no page.
    static bool LearnFrame(std::string& head, std::string& tail, std::string& error);

    HtmlPageStream(std::FILE* out, std::string head, std::string tail, CAnalyzer* analyzer);

    void Begin();
    // Analyses one piece (its line end included) into the page.
    void Feed(const EngineText& piece);
    // Writes the tail; false when the stream reported an error.
    bool End();

private:
    void WriteSubstituted(const char* page, size_t size, const EngineText& piece);

    std::FILE* out;
    std::string head;
    std::string tail;
    CAnalyzer* analyzer;
};

#endif
