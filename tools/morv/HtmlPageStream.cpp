#include "tools/morv/HtmlPageStream.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "engine/CAnalyzer.h"
#include "engine/Engine.h"

namespace {

bool ReadWhole(const std::string& path, std::string& content)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

} // namespace

bool HtmlPageStream::LearnFrame(std::string& head, std::string& tail, std::string& error)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/morv-page-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) {
        error = std::string("cannot create a temporary directory: ") + std::strerror(errno);
        return false;
    }
    const std::string emptyPath = pattern + "/empty.htm";
    const std::string onePath = pattern + "/one.htm";
    std::string empty, one;
    const bool written = EngineWriteHtml("", emptyPath.c_str()) && EngineWriteHtml("a", onePath.c_str()) &&
                         ReadWhole(emptyPath, empty) && ReadWhole(onePath, one);
    ::unlink(emptyPath.c_str());
    ::unlink(onePath.c_str());
    ::rmdir(pattern.c_str());
    if (!written) {
        error = "the engine writes no result page";
        return false;
    }
    // The empty text's page is head + tail; the other has a token between them.
    size_t suffix = 0;
    while (suffix < empty.size() && suffix < one.size() &&
           empty[empty.size() - 1 - suffix] == one[one.size() - 1 - suffix])
        ++suffix;
    head = empty.substr(0, empty.size() - suffix);
    tail = empty.substr(empty.size() - suffix);
    return true;
}

HtmlPageStream::HtmlPageStream(std::FILE* out, std::string head, std::string tail, CAnalyzer* analyzer)
    : out(out), head(std::move(head)), tail(std::move(tail)), analyzer(analyzer)
{
}

void HtmlPageStream::Begin() { std::fwrite(head.data(), 1, head.size(), out); }

void HtmlPageStream::Feed(const EngineText& piece)
{
    if (piece.Substitutions().empty()) {
        analyzer->htmlFile = out;
        analyzer->Analyze(piece.Text());
        analyzer->htmlFile = nullptr;
        return;
    }
    char* page = nullptr;
    size_t size = 0;
    std::FILE* memory = open_memstream(&page, &size);
    if (memory == nullptr) {
        analyzer->htmlFile = out;
        analyzer->Analyze(piece.Text());
        analyzer->htmlFile = nullptr;
        return;
    }
    analyzer->htmlFile = memory;
    analyzer->Analyze(piece.Text());
    analyzer->htmlFile = nullptr;
    std::fclose(memory);
    WriteSubstituted(page, size, piece);
    std::free(page);
}

// Replaces the placeholders, in order, by the characters they stand for. The page
// is ASCII markup around GBK token text, so a scan by GBK characters from its start
// meets every placeholder at a character boundary.
void HtmlPageStream::WriteSubstituted(const char* page, size_t size, const EngineText& piece)
{
    const std::vector<uint32_t>& codes = piece.Substitutions();
    size_t next = 0;
    size_t copied = 0;
    size_t i = 0;
    while (i < size && next < codes.size()) {
        const unsigned char b = static_cast<unsigned char>(page[i]);
        if (b < 0x80 || i + 1 >= size) {
            ++i;
            continue;
        }
        if (b == EngineText::kPlaceholderLead &&
            static_cast<unsigned char>(page[i + 1]) == EngineText::kPlaceholderTrail) {
            std::fwrite(page + copied, 1, i - copied, out);
            const uint32_t code = codes[next++];
            if (code == EngineText::kOwnBytes)
                std::fwrite(page + i, 1, 2, out);
            else
                std::fprintf(out, "&#x%X;", static_cast<unsigned>(code));
            copied = i + 2;
        }
        i += 2;
    }
    std::fwrite(page + copied, 1, size - copied, out);
}

bool HtmlPageStream::End()
{
    std::fwrite(tail.data(), 1, tail.size(), out);
    std::fflush(out);
    return std::ferror(out) == 0;
}
