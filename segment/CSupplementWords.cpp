#include "segment/CSupplementWords.h"

#include <algorithm>

#include "lexicon/CPDAT.h"
#include "lexicon/CSupplement.h"
#include "segment/CCharset.h"

namespace {

// Atoms no word begins at: punctuation, sentence ends, dashes, line breaks and
// the markers (the dictionary's words do not begin there either).
bool StartsNoWord(uint8_t kind)
{
    return IsPunctuationClass(kind) || kind == kKindSentenceBegin || kind == kKindSentenceEnd;
}

} // namespace

const std::vector<TokenRecord>& CSupplementWords::Find(const char* text, int length,
                                                      const std::vector<TokenRecord>& atoms,
                                                      const std::vector<std::pair<int, int>>& protectedSpans,
                                                      int32_t classWordId)
{
    words.clear();
    frequencies.clear();
    if (lexicon == nullptr || text == nullptr || length <= 0 || lexicon->GetWordCount() == 0)
        return words;
    atomEnds.assign(static_cast<size_t>(length) + 1, 0);
    for (const TokenRecord& a : atoms)
        if (a.end > 0 && a.end <= length && a.start < a.end)
            atomEnds[static_cast<size_t>(a.end)] = 1;
    for (size_t i = 0; i < atoms.size(); ++i) {
        const TokenRecord& a = atoms[i];
        // The walks of later atoms asked for ahead, as the lattice's are.
        const auto ahead = [&](size_t k, int depth) {
            if (i + k < atoms.size() && atoms[i + k].start >= 0 && atoms[i + k].start < length)
                lexicon->Prefetch(text + atoms[i + k].start, depth);
        };
        // Most starts are settled by the first two characters (no word that
        // would outlast the atom begins there), so only those nodes are asked for.
        ahead(CPDAT::kAheadFar, 2);
        if (StartsNoWord(a.kind) || a.start < 0 || a.start >= length)
            continue;
        if (!lexicon->MayMatchBeyond(text + a.start, a.end - a.start))
            continue;
        lexicon->Matches(text + a.start, length - a.start, indices, lengths);
        for (size_t m = 0; m < indices.size(); ++m) {
            const int start = a.start, end = a.start + lengths[m];
            if (end <= a.end || !atomEnds[static_cast<size_t>(end)])
                continue;
            bool overlaps = false;
            for (const auto& span : protectedSpans)
                overlaps = overlaps || (start < span.second && span.first < end);
            if (overlaps)
                continue;
            const int index = indices[m];
            TokenRecord word;
            word.start = start;
            word.end = end;
            word.kind = a.kind;
            word.flags = kFlagSupplementWord;
            word.fixedTag = lexicon->Tag(index);
            if (classWordId >= 0) {
                word.wordId = classWordId;
            } else {
                word.frequency = lexicon->Frequency(index);
                word.flags |= kFlagPresetFrequency;
            }
            words.push_back(word);
            frequencies.push_back(lexicon->Frequency(index));
        }
    }
    return words;
}

float CSupplementWords::FrequencyOf(int start, int end) const
{
    auto it = std::lower_bound(words.begin(), words.end(), start,
                               [](const TokenRecord& w, int s) { return w.start < s; });
    for (; it != words.end() && it->start == start; ++it)
        if (it->end == end)
            return frequencies[static_cast<size_t>(it - words.begin())];
    return 0;
}
