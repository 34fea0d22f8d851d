#ifndef MORV_HTMLPAGE_H
#define MORV_HTMLPAGE_H

class CAnalyzer;

// Creates the page at path, writes its head, the analysis of text and the legend.
// False when the file cannot be created.
bool WriteHtmlPage(CAnalyzer& analyzer, const char* text, const char* path);

#endif
