#include "segment/CPairScores.h"

#include <algorithm>
#include <cmath>

#include "lexicon/CBigram.h"
#include "lexicon/CUnigram.h"

CPairScores::CPairScores(const CUnigram& unigram, const CBigram& bigram)
    : unigram(&unigram), bigram(&bigram),
      terms(static_cast<double>(unigram.GetTotalFrequency()), static_cast<double>(unigram.GetEntryCount())),
      scoreBlock(AllocateModelBlock(bigram.GetSlotCount() * sizeof(double)))
{
    double* const scores = reinterpret_cast<double*>(scoreBlock.get());
    // Ids past both tables read as the shared last record, so the table ends
    // there; a header's entry count alone (a damaged file may claim millions)
    // never sizes it.
    const int known = std::max(unigram.GetStoredCount(), bigram.GetRowCount());
    words.resize(static_cast<size_t>(known) + 1);
    for (int id = 0; id <= known; ++id)
        words[static_cast<size_t>(id)] = Word{unigram.Frequency(id), bigram.SlotsOf(id)};
    words[static_cast<size_t>(known)] = Word{0, bigram.SlotsOf(-1)};
    // Every slot is written once: the rows' slots follow the shared window of
    // the words without pairs, one row after another; a free slot scores 0
    // (never read: a lookup finds only stored pairs).
    const size_t slotCount = bigram.GetSlotCount();
    std::fill(scores, scores + std::min<size_t>(CBigram::kWindow, slotCount), 0.0);
    for (int first = 0; first < bigram.GetRowCount(); ++first) {
        const CBigram::RowSlots row = bigram.SlotsOf(first);
        if (row.size == 0)
            continue;
        const double denominator = terms.BigramDenominator(unigram.Frequency(first));
        for (uint32_t slot = row.begin; slot < row.begin + CBigram::SlotsOwned(row); ++slot) {
            const int32_t second = bigram.SlotSecond(slot);
            scores[slot] = second == CBigram::kEmptySlot
                               ? 0.0
                               : std::log(terms.Unigram(unigram.Frequency(second)) +
                                          Terms::Bigram(bigram.SlotFrequency(slot), denominator));
        }
    }
}
