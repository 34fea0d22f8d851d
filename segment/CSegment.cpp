#include "segment/CSegment.h"

#include "lexicon/CUnigram.h"

CSegment::CSegment(const CPDAT*, const CUnigram* unigram, const CBigram* bigram)
    : unigram(unigram), bigram(bigram), totalFrequency(unigram->GetTotalFrequency()),
      entryCount(unigram->GetEntryCount())
{
}
int CSegment::Segment(TokenRecord* const*, int, const int*, int) { return 0; }
double CSegment::TransitionScore(int, double, int, double) const { return 0; }
