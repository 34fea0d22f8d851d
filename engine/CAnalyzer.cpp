#include "engine/CAnalyzer.h"

#include "segment/CPreProcess.h"
#include "segment/CSegment.h"
#include "tagging/CHmmTagger.h"

CAnalyzer::CAnalyzer(const CCharset*, const CPDAT*, const CUnigram*, const CBigram*, const CPDAT*,
                     const CPosLexicon*, const CTagSet* tagSet, const CTagTransitions*,
                     const CPosLexicon*, const CTagTransitions*, const CRoleTagger* roleTagger)
    : tagSet(tagSet), roleTagger(roleTagger)
{
}
CAnalyzer::~CAnalyzer() = default;
void CAnalyzer::Analyze(const char*) {}
void CAnalyzer::Analyze(const char*, const SentenceSink&) {}
void CAnalyzer::WriteTokens(const char*, TokenRecord*, int) {}
bool CAnalyzer::SetUserDict(const CPDAT*) { return true; }
bool CAnalyzer::IsComplete() const { return false; }
