#include "engine/HtmlPage.h"

#include <cstdio>

#include "engine/AtomicFile.h"
#include "engine/CAnalyzer.h"

namespace {

const char* const kHead[] = {
    "<html> \n <head> \n",
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">\n",
    "<meta name=\"GENERATOR\" content=\"Microsoft FrontPage 4.0\">\n",
    "<meta name=\"ProgId\" content=\"FrontPage.Editor.Document\">\n",
    "<title>Morv analysis result</title>\n</head>\n<body>\n<p>\n",
};

// The colour legend, in GB2312.
const char* const kLegend[] = {
    // \t<hr>\n<p><b>图例说明：</b><i>斜体</i>为各类命名实体，其中
    "\t<hr>\n<p><b>\xCD\xBC\xC0\xFD\xCB\xB5\xC3\xF7\xA3\xBA</b><i>\xD0\xB1\xCC\xE5</i>\xCE\xAA\xB8\xF7"
    "\xC0\xE0\xC3\xFC\xC3\xFB\xCA\xB5\xCC\xE5\xA3\xAC\xC6\xE4\xD6\xD0",
    // 红色 表示人名，
    "<font color=\"#FF0000\" face=\"\xBF\xAC\xCC\xE5_GB2312\"><b><i>\xBA\xEC\xC9\xAB</i></b></font>"
    "\xB1\xED\xCA\xBE\xC8\xCB\xC3\xFB\xA3\xAC",
    // 淡红色 为地名，
    "<font color=\"#FF99FF\" face=\"\xBF\xAC\xCC\xE5_GB2312\"><i>\xB5\xAD\xBA\xEC\xC9\xAB</i></font>"
    "\xCE\xAA\xB5\xD8\xC3\xFB\xA3\xAC",
    // 粉色 为机构名，
    "<font color=\"#FF00FF\" face=\"\xBF\xAC\xCC\xE5_GB2312\"><i>\xB7\xDB\xC9\xAB</i></font>"
    "\xCE\xAA\xBB\xFA\xB9\xB9\xC3\xFB\xA3\xAC",
    // 紫色 表示数词，
    "<i><font face=\"\xBF\xAC\xCC\xE5_GB2312\" color=\"#800000\">\xD7\xCF\xC9\xAB</font></i>"
    "\xB1\xED\xCA\xBE\xCA\xFD\xB4\xCA\xA3\xAC",
    // 灰色 表示时间,
    "<font color=\"#C0C0C0\" face=\"\xBF\xAC\xCC\xE5_GB2312\"><i>\xBB\xD2\xC9\xAB</i></font>"
    "\xB1\xED\xCA\xBE\xCA\xB1\xBC\xE4,",
    // 淡蓝色
    "<i><font color=\"#00FFFF\" face=\"\xBF\xAC\xCC\xE5_GB2312\">\xB5\xAD\xC0\xB6\xC9\xAB</i></font>",
    // 表示字符串
    "\xB1\xED\xCA\xBE\xD7\xD6\xB7\xFB\xB4\xAE</font></p>",
    // 下划线 表示为用户定义的词表。
    "<font face=\"\xBF\xAC\xCC\xE5_GB2312\" color=\"#0000FF\"><u>\xCF\xC2\xBB\xAE\xCF\xDF</u></font>"
    "\xB1\xED\xCA\xBE\xCE\xAA\xD3\xC3\xBB\xA7\xB6\xA8\xD2\xE5\xB5\xC4\xB4\xCA\xB1\xED\xA1\xA3</p>",
};

const char* const kFooter[] = {
    "<p><font face=\"Arial\">Morv3.0 is powered by&nbsp; <a href=\"https://morv.example.org/\">",
    "Morv developers</a>, Any <a href=\"mailto:morv@example.org\">comments</a>",
    " are highly appreciated!&nbsp; </font></p></body></html>",
};

} // namespace

std::string HtmlPageHead()
{
    std::string head;
    for (const char* s : kHead)
        head += s;
    return head;
}

std::string HtmlPageTail()
{
    std::string tail;
    for (const char* s : kLegend)
        tail += s;
    for (const char* s : kFooter)
        tail += s;
    return tail;
}

bool WriteHtmlPage(CAnalyzer& analyzer, const char* text, const char* path)
{
    AtomicFile page;
    if (!page.Open(path))
        return false;
    std::FILE* file = page.File();
    // The analyser never keeps the page's file past this call, whichever way it
    // ends (its file is gone then).
    struct Detach {
        CAnalyzer& analyzer;
        ~Detach() { analyzer.htmlFile = nullptr; }
    } detach{analyzer};
    analyzer.htmlFile = file;
    bool ok = true;
    for (const char* s : kHead)
        ok = std::fputs(s, file) >= 0 && ok;
    analyzer.Analyze(text);
    ok = !analyzer.PageWriteFailed() && ok;
    for (const char* s : kLegend)
        ok = std::fputs(s, file) >= 0 && ok;
    for (const char* s : kFooter)
        ok = std::fputs(s, file) >= 0 && ok;
    if (!ok) {
        page.Abort();
        return false;
    }
    return page.Commit();
}
