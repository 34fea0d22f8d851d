#include "tagging/CHmmTagger.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "tagging/CTagTransitions.h"

namespace {

// Added to every frequency of the emission estimate; one value for both places.
const double kEmissionSmoothing = 0.02;
constexpr int kSmallFrequencies = 4096;

} // namespace

CHmmTagger::CHmmTagger(const CPosLexicon* lexicon, const CTagTransitions* transitions,
                       double vocabularySize, uint8_t defaultTag, int32_t personWordId)
    : lexicon(lexicon), transitions(transitions), vocabularySize(vocabularySize),
      defaultEntry{defaultTag, 0}, personWordId(personWordId)
{
    // A sound lexicon lists a tag at most once per word, so no word has more
    // entries than the statistics have tags (nor than there are tag codes).
    const int tagCount = transitions != nullptr ? transitions->GetTagCount() : 0;
    maxCandidates = tagCount > 0 ? tagCount : CPosLexicon::kMaxEntriesPerWord;
    // The same operations as per candidate, done ahead: results stay bit for bit.
    const double smoothedVocabulary = kEmissionSmoothing * vocabularySize;
    for (int tag = 0; tag < 256; ++tag) {
        const double tagFrequency = transitions != nullptr ? transitions->TagFrequency(tag) : 0;
        emissionDenominator[tag] = std::log(tagFrequency + smoothedVocabulary);
    }
    // Without statistics every transition scores the floor.
    std::fill(std::begin(noTransitions), std::end(noTransitions), std::log(0.00001));
    smallNumerators.resize(kSmallFrequencies);
    for (int f = 0; f < kSmallFrequencies; ++f)
        smallNumerators[static_cast<size_t>(f)] = std::log(f + kEmissionSmoothing);
}

double CHmmTagger::EmissionNumerator(int32_t frequency) const
{
    if (frequency >= 0 && frequency < kSmallFrequencies)
        return smallNumerators[static_cast<size_t>(frequency)];
    return std::log(frequency + kEmissionSmoothing);
}

int CHmmTagger::Tag(TokenRecord* items, int count, const Candidates* own)
{
    if (count <= 0 || items == nullptr)
        return 0;
    const size_t n = static_cast<size_t>(count);

    // Candidate lists point into the lexicon (or at the default entry); resize
    // keeps the capacity of earlier sentences.
    candidates.resize(n);
    candidateCounts.resize(n);
    firstSlot.resize(n);
    if (useFixedTags || placeId >= 0 || organizationId >= 0)
        fixedEntries.resize(n);
    Prefetch(items, count);
    size_t slots = 0;
    for (size_t j = 0; j < n; ++j) {
        int k = 0;
        const CPosLexicon::Entry* list =
            lexicon != nullptr ? lexicon->Lookup(items[j].wordId, &k) : nullptr;
        if (own != nullptr && own[j].entries != nullptr && own[j].count > 0) {
            list = own[j].entries;
            k = own[j].count;
        }
        if (list != nullptr)
            __builtin_prefetch(list);
        if (useFixedTags && items[j].fixedTag != 255) {
            fixedEntries[j] = CPosLexicon::Entry{items[j].fixedTag, 0};
            list = &fixedEntries[j];
            k = 1;
        }
        if (IsEntity(items[j].wordId)) {
            fixedEntries[j] = CPosLexicon::Entry{items[j].kind, 0};
            list = &fixedEntries[j];
            k = 1;
        }
        // The sentence-begin word always has entries in sound model files; should
        // it lack them, token 0 takes the default entry like any other token.
        if (list == nullptr || k <= 0) {
            list = &defaultEntry;
            k = 1;
        }
        // Longer lists come only from files that are no sound model; cut, they
        // keep the work per token pair bounded.
        if (k > maxCandidates)
            k = maxCandidates;
        candidates[j] = list;
        candidateCounts[j] = k;
        firstSlot[j] = slots;
        slots += static_cast<size_t>(k);
    }
    scores.resize(slots);
    back.resize(slots);
    lastCount = count;

    // Every candidate of token 0 starts at 0: the path begins with the token, and
    // no candidate of it is favoured before the first transition.
    for (int k = 0; k < candidateCounts[0]; ++k) {
        scores[static_cast<size_t>(k)] = 0.0;
        back[static_cast<size_t>(k)] = 0;
    }

    for (size_t j = 1; j < n; ++j) {
        const CPosLexicon::Entry* prev = candidates[j - 1];
        const int prevCount = candidateCounts[j - 1];
        const double* prevScores = &scores[firstSlot[j - 1]];
        const CPosLexicon::Entry* cur = candidates[j];
        double* curScores = &scores[firstSlot[j]];
        int* curBack = &back[firstSlot[j]];
        // The transition rows of the previous token's candidates, looked up once
        // for all candidates of this token.
        prevRows.resize(static_cast<size_t>(prevCount));
        for (int l = 0; l < prevCount; ++l)
            prevRows[static_cast<size_t>(l)] =
                transitions != nullptr ? transitions->LogRow(prev[l].tag) : noTransitions;
        const double* const* rows = prevRows.data();
        for (int k = 0; k < candidateCounts[j]; ++k) {
            const uint8_t tag = cur[k].tag;
            double best = prevScores[0] + rows[0][tag];
            int from = 0;
            for (int l = 1; l < prevCount; ++l) {
                const double s = prevScores[l] + rows[l][tag];
                // On equal sums the earlier candidate of the previous token stays.
                const bool better = s > best;
                best = better ? s : best;
                from = better ? l : from;
            }
            best += EmissionNumerator(cur[k].frequency) - emissionDenominator[tag];
            curScores[k] = best;
            curBack[k] = from;
        }
    }

    // The path is traced from the first candidate of the last token (the
    // sentence-end word has a single candidate in sound model files).
    int current = 0;
    for (size_t i = n; i-- > 0;) {
        TokenRecord& token = items[i];
        token.tag = candidates[i][current].tag;
        if (personWordId >= 0 && token.wordId == personWordId) {
            token.tag = token.kind;
            token.kind = kKindPersonName;
        } else if (IsEntity(token.wordId)) {
            token.kind = token.wordId == placeId ? kKindPlaceName : kKindOrganizationName;
        }
        current = back[firstSlot[i] + static_cast<size_t>(current)];
    }
    return 0;
}

bool CHmmTagger::HasSlot(int token, int candidate) const
{
    return token >= 0 && token < lastCount && candidate >= 0 &&
           candidate < candidateCounts[static_cast<size_t>(token)];
}

double CHmmTagger::GetScore(int token, int candidate) const
{
    if (!HasSlot(token, candidate))
        return 0.0;
    return scores[firstSlot[static_cast<size_t>(token)] + static_cast<size_t>(candidate)];
}

int CHmmTagger::GetBack(int token, int candidate) const
{
    if (!HasSlot(token, candidate))
        return -1;
    return back[firstSlot[static_cast<size_t>(token)] + static_cast<size_t>(candidate)];
}
