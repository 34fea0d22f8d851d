#ifndef MORV_HTMLPAGE_H
#define MORV_HTMLPAGE_H

#include <string>

class CAnalyzer;

// Creates the page at path, writes its head, the analysis of text and the legend.
// The page replaces an existing file only once it is complete. False when the
// file cannot be created or any part of the page cannot be written; the file at
// path then keeps what it held.
bool WriteHtmlPage(CAnalyzer& analyzer, const char* text, const char* path);

// What comes before the first token of a page, and after its last.
std::string HtmlPageHead();
std::string HtmlPageTail();

#endif
