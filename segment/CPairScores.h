#ifndef MORV_CPAIRSCORES_H
#define MORV_CPAIRSCORES_H

#include <cstdint>
#include <vector>

#include "lexicon/CBigram.h"
#include "lexicon/HugePageAllocator.h"
#include "lexicon/ModelBlock.h"

class CUnigram;

// The segmenter's interpolated word-bigram model,
//   ln P(d | c) = ln((1 - L)(F(d) + 0.5) / (T + 0.5 V) + L (B(c, d) + 0.00001) / (F(c) + 0.00001 V)),
// and its value for every word pair the bigram table stores, computed once when
// the model loads: such a pair's score depends on the two word ids alone, so the
// search reads it instead of taking a logarithm. Read-only afterwards; analysers
// on any number of threads share one table.
class CPairScores {
public:
    static constexpr double kLambda = 0.95;

    // The terms of the sum, in the one order of operations every caller uses, so
    // that a score computed during a search and one read from the table are the
    // same double.
    struct Terms {
        double unigramDenominator; // T + 0.5 V
        double smoothedVocabulary; // 0.00001 V
        Terms(double totalFrequency, double entryCount)
            : unigramDenominator(totalFrequency + 0.5 * entryCount), smoothedVocabulary(0.00001 * entryCount)
        {
        }
        double Unigram(double toFrequency) const
        {
            return (1.0 - kLambda) * (toFrequency + 0.5) / unigramDenominator;
        }
        double BigramDenominator(double fromFrequency) const { return fromFrequency + smoothedVocabulary; }
        static double Bigram(double pairFrequency, double bigramDenominator)
        {
            return kLambda * (pairFrequency + 0.00001) / bigramDenominator;
        }
    };

    // What the search reads of a word, in one record: its unigram frequency and
    // its row of the pair table.
    struct Word {
        int32_t frequency;
        CBigram::RowSlots row;
    };

    CPairScores(const CUnigram& unigram, const CBigram& bigram);
    virtual ~CPairScores() = default;

    // Whether the table was made from these two tables.
    bool IsFor(const CUnigram* u, const CBigram* b) const { return u == unigram && b == bigram; }
    // ln P(second | first) of the pair in a slot of the bigram table (see
    // CBigram::FindIn), for words whose frequencies are the unigram table's.
    const double* Scores() const { return reinterpret_cast<const double*>(scoreBlock.get()); }
    const Terms& GetTerms() const { return terms; }
    // Frequency 0 and no pairs for ids outside both tables.
    const Word& WordOf(int wordId) const
    {
        const size_t known = words.size() - 1;
        return words[static_cast<uint32_t>(wordId) < known ? static_cast<size_t>(wordId) : known];
    }

private:
    const CUnigram* unigram;
    const CBigram* bigram;
    Terms terms;
    ModelBlock scoreBlock; // a double per slot of the bigram table
    ModelArray<Word> words;    // by word id, then one for every other id
};

#endif
