#include "tools/morv/HtmlPageStream.h"

#include <string_view>

void HtmlPageStream::Begin()
{
    const std::string_view head = morv::Analyzer::PageHead();
    std::fwrite(head.data(), 1, head.size(), out);
}

void HtmlPageStream::Feed(const char* piece, size_t size, Encoding enc)
{
    const std::string_view html = analyzer.AnalyzeHtml(std::string_view(piece, size),
                                                       enc == Encoding::Utf8 ? morv::Encoding::Utf8 : morv::Encoding::Gbk,
                                                       true);
    std::fwrite(html.data(), 1, html.size(), out);
}

bool HtmlPageStream::End()
{
    const std::string_view tail = morv::Analyzer::PageTail();
    std::fwrite(tail.data(), 1, tail.size(), out);
    std::fflush(out);
    return std::ferror(out) == 0;
}
