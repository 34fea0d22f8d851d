#ifndef MORV_TOOLS_LINEFORMATTER_H
#define MORV_TOOLS_LINEFORMATTER_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/CAnalyzer.h"
#include "tools/morv/EngineText.h"

class CTagSet;

// Writes the analysis of each input line to a stream, one output line per input
// line. The engine hands over sentences of a piece of the line; the formatter maps
// every token back to the input (bytes and characters) and lets the concrete
// format write it.
class LineFormatter {
public:
    static constexpr size_t kFlushBytes = 1 << 20;

    // One token as found in the input.
    struct Word {
        const char* bytes;   // input bytes
        size_t length;
        size_t split;        // bytes of the surname of a recognised person name, else 0
        size_t charBegin;    // characters of the line before the token
        size_t charEnd;
        const std::string* tag; // tag name in the output encoding
        const std::string* tagUtf8;
    };

    // tagSet may be null (tags then print as "?").
    LineFormatter(std::FILE* out, const CTagSet* tagSet);
    virtual ~LineFormatter() = default;

    // Whether Word needs charBegin/charEnd.
    virtual bool NeedsCharacters() const { return false; }
    // Called once per piece before its sentences; the piece's first textLength
    // input bytes are line text, the rest its line end.
    virtual void BeginPiece(const EngineText& piece, size_t textLength);
    void Sentence(const EngineText& piece, const CAnalyzer::Sentence& sentence);
    // Called after the piece's sentences. A piece that ends its line ends the output
    // line; terminator is the input's line end ("\n" or "\r\n").
    void FinishPiece(const EngineText& piece, bool endsLine, const char* terminator);
    // Writes what is buffered; false when the stream reported an error.
    bool Flush();

protected:
    virtual void Emit(const Word& word) = 0;
    virtual void EndLine(const char* terminator) = 0;

    std::FILE* out;
    std::string buffer;
    Encoding encoding = Encoding::Gbk;
    size_t charBase = 0;     // characters of the line in earlier pieces

private:
    int symbolTag = -1;      // code of the tag "w", for characters GBK lacks
    std::string names[2][256]; // tag names by code: as in the tag set (GBK), and in UTF-8
};

#endif
