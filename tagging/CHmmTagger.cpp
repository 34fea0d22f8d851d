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

double CHmmTagger::EmissionNumerator(int32_t frequency)
{
    if (frequency >= 0 && frequency < kSmallFrequencies)
        return smallNumerators[static_cast<size_t>(frequency)];
    if (frequency < 0)
        return std::log(frequency + kEmissionSmoothing);
    // The large frequencies are those of a few common words, met again and again.
    LargeNumerator& cached = largeNumerators[static_cast<size_t>(frequency) % kLargeNumerators];
    if (cached.frequency != frequency) {
        cached.frequency = frequency;
        cached.value = std::log(frequency + kEmissionSmoothing);
    }
    return cached.value;
}

int CHmmTagger::Tag(TokenRecord* items, int count, const Candidates* own)
{
    if (count <= 0 || items == nullptr)
        return 0;
    const size_t n = static_cast<size_t>(count);

    // Each candidate gets a slot holding what the search reads of it: its tag,
    // its transition row and its emission term, so that the search reads them
    // side by side. The arrays keep the capacity of earlier sentences.
    firstSlot.resize(n + 1);
    if (useFixedTags || placeId >= 0 || organizationId >= 0)
        fixedEntries.resize(n);
    Prefetch(items, count);
    // The transition rows lie side by side, one per code below the tag count
    // and one for every code above it (what LogRow hands out), read here
    // once: the slots' stores below could otherwise alias them.
    const double* const rowBase = transitions != nullptr ? transitions->LogRow(0) : noTransitions;
    const unsigned rowLimit = transitions != nullptr ? static_cast<unsigned>(transitions->GetTagCount()) : 0;
    const double* const denominators = emissionDenominator;
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
        firstSlot[j] = slots;
        const size_t next = slots + static_cast<size_t>(k);
        if (next > slotTags.size()) {
            const size_t room = std::max(2 * slotTags.size(), next + 64);
            slotTags.resize(room);
            slotRows.resize(room);
            slotEmissions.resize(room);
        }
        uint8_t* const tagOut = slotTags.data() + slots;
        const double** const rowOut = slotRows.data() + slots;
        double* const emissionOut = slotEmissions.data() + slots;
        for (int q = 0; q < k; ++q) {
            const uint8_t tag = list[q].tag;
            const double emission = EmissionNumerator(list[q].frequency) - denominators[tag];
            rowOut[q] = rowBase + (tag < rowLimit ? tag : rowLimit) * CTagTransitions::kRowWidth;
            // The emission term as the search adds it: ln(f + 0.02) - ln(F + 0.02 V).
            emissionOut[q] = emission;
            tagOut[q] = tag;
        }
        slots = next;
    }
    firstSlot[n] = slots;
    scores.resize(slots);
    back.resize(slots);
    lastCount = count;

    const uint8_t* const tags = slotTags.data();
    const double* const* const rows = slotRows.data();
    const double* const emissions = slotEmissions.data();
    double* const score = scores.data();
    int* const from = back.data();
    // Every candidate of token 0 starts at 0: the path begins with the token, and
    // no candidate of it is favoured before the first transition.
    for (size_t c = 0; c < firstSlot[1]; ++c) {
        score[c] = 0.0;
        from[c] = 0;
    }

    for (size_t j = 1; j < n; ++j) {
        const size_t p0 = firstSlot[j - 1], c0 = firstSlot[j], c1 = firstSlot[j + 1];
        const int prevCount = static_cast<int>(c0 - p0);
        const double* const prevScores = score + p0;
        const double* const* const prevRows = rows + p0;
        for (size_t c = c0; c < c1; ++c) {
            const uint8_t tag = tags[c];
            double best = prevScores[0] + prevRows[0][tag];
            int bestFrom = 0;
            for (int l = 1; l < prevCount; ++l) {
                const double s = prevScores[l] + prevRows[l][tag];
                // On equal sums the earlier candidate of the previous token stays.
                const bool better = s > best;
                best = better ? s : best;
                bestFrom = better ? l : bestFrom;
            }
            score[c] = best + emissions[c];
            from[c] = bestFrom;
        }
    }

    // The path is traced from the first candidate of the last token (the
    // sentence-end word has a single candidate in sound model files).
    int current = 0;
    for (size_t i = n; i-- > 0;) {
        TokenRecord& token = items[i];
        const size_t slot = firstSlot[i] + static_cast<size_t>(current);
        token.tag = tags[slot];
        if (personWordId >= 0 && token.wordId == personWordId) {
            token.tag = token.kind;
            token.kind = kKindPersonName;
        } else if (IsEntity(token.wordId)) {
            token.kind = token.wordId == placeId ? kKindPlaceName : kKindOrganizationName;
        }
        current = from[slot];
    }
    return 0;
}

bool CHmmTagger::HasSlot(int token, int candidate) const
{
    return token >= 0 && token < lastCount && candidate >= 0 &&
           static_cast<size_t>(candidate) <
               firstSlot[static_cast<size_t>(token) + 1] - firstSlot[static_cast<size_t>(token)];
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
