#include "engine/HtmlPage.h"

#include "engine/CAnalyzer.h"

bool WriteHtmlPage(CAnalyzer&, const char*, const char*) { return false; }
