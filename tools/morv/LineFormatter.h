#ifndef MORV_TOOLS_LINEFORMATTER_H
#define MORV_TOOLS_LINEFORMATTER_H

#include <cstdio>
#include <string>

#include "engine/TextCodec.h"
#include "engine/morv.h"

// Writes the analysis of each input line to a stream, one output line per input
// line. A line comes in one or more pieces; the tokens of each piece come with
// offsets into that piece, and the formatter lets the concrete format write them.
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
        const char* tag;     // ASCII
        const morv_part* parts = nullptr; // a compound's words (offsets in the piece)
        size_t partCount = 0;
        size_t pieceStart = 0; // the token's byte offset in its piece
        bool sub = false;      // a word inside the token before it (search mode)
    };
    // The words of the compound tokens of a piece: those of token i are
    // parts[offsets[i]] up to parts[offsets[i + 1]].
    struct PartList {
        const morv_part* parts;
        const size_t* offsets;
    };

    explicit LineFormatter(std::FILE* out) : out(out) {}
    virtual ~LineFormatter() = default;

    // Called once per piece before its tokens: the piece's bytes, of which the
    // first textLength are line text and the rest its line end.
    virtual void BeginPiece(const char* piece, size_t size, size_t textLength, Encoding enc);
    // The piece's tokens (they tile it, line ends included) and, when one of
    // them is a compound, the words of each.
    void Tokens(const morv_token* tokens, size_t count, const PartList* parts = nullptr);
    // Called after the piece's tokens. A piece that ends its line ends the output
    // line; terminator is the input's line end ("\n" or "\r\n").
    void FinishPiece(bool endsLine, const char* terminator);
    // Writes what is buffered; false when the stream reported an error.
    bool Flush();
    // The encoding words are written in (Unknown: each piece's own).
    void SetOutputEncoding(Encoding enc) { outputEncoding = enc; }
    // Characters the output encoding lacks, written as '?'.
    size_t Replaced() const { return replaced; }

protected:
    virtual void Emit(const Word& word) = 0;
    virtual void EndLine(const char* terminator) = 0;
    // Appends input bytes to the buffer in the output encoding.
    void AppendText(const char* bytes, size_t length);
    // The characters of input bytes in the piece's encoding.
    size_t CharCount(const char* bytes, size_t length) const;

    std::FILE* out;
    std::string buffer;
    Encoding encoding = Encoding::Gbk;
    size_t charBase = 0;  // characters of the line in earlier pieces
    size_t pieceChars = 0; // characters of the current piece
    Encoding outputEncoding = Encoding::Unknown;
    size_t replaced = 0;
};

#endif
