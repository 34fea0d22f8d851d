#ifndef MORV_TOOLS_HTMLPAGESTREAM_H
#define MORV_TOOLS_HTMLPAGESTREAM_H

#include <cstdio>
#include <string>

// Writes the result page for an input of any size, piece by piece: the page's
// head, the tokens of every piece as the analyser wrote them, then its legend
// and footer, so the page equals the one the engine writes for the whole text,
// without holding that text in memory. The page is GBK; a character GBK lacks
// appears as an HTML character reference.
class HtmlPageStream {
public:
    explicit HtmlPageStream(std::FILE* out) : out(out) {}

    void Begin();
    // Writes one piece's part of the page.
    void Write(const std::string& part) { std::fwrite(part.data(), 1, part.size(), out); }
    // Writes the tail; false when the stream reported an error.
    bool End();
    std::FILE* Stream() const { return out; }

private:
    std::FILE* out;
};

#endif
