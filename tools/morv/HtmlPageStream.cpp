#include "tools/morv/HtmlPageStream.h"

#include <cstring>

#include "engine/morv.h"

void HtmlPageStream::Begin()
{
    const char* head = morv_html_head();
    std::fwrite(head, 1, std::strlen(head), out);
}

bool HtmlPageStream::End()
{
    const char* tail = morv_html_tail();
    std::fwrite(tail, 1, std::strlen(tail), out);
    std::fflush(out);
    return std::ferror(out) == 0;
}
