#include "segment/CNewWordStage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "lexicon/GbkChar.h"
#include "segment/CCharset.h"
#include "segment/CPreProcess.h"
#include "segment/CSegment.h"
#include "segment/CSentence.h"

CNewWordStage::CNewWordStage(const CCharModel* m, const CSupplement* supplement, const Settings& s,
                             const SpecialWords& i, double frequency, CPreProcess& pre, CSegment& seg,
                             NameGuard g)
    : model(m), settings(s), ids(i), classFrequency(frequency), preProcessor(pre), segmenter(seg),
      guard(std::move(g))
{
    if (supplement != nullptr)
        supplementWords.reset(new (std::nothrow) CSupplementWords(supplement));
}

CNewWordStage::~CNewWordStage() = default;

void CNewWordStage::Run(CSentence& sentence)
{
    // Names first: the new words must not cut through the person names found
    // on the plain segmentation. Supplementary words go in before proposed
    // ones, so that the model does not propose them again as words of its class.
    guard(sentence);
    const bool added = AddWords(sentence);
    if (!added && !(model != nullptr && settings.weight > 0))
        return;
    Search(sentence);
}

void CNewWordStage::SetText(const char* t)
{
    text = t;
    lineBegin = lineEnd = nullptr;
    linePairs.clear();
}

int CNewWordStage::SegmentOnce(CSentence& sentence)
{
    AddWords(sentence);
    return Search(sentence);
}

int CNewWordStage::Search(CSentence& sentence)
{
    // Without the model's scores a search with or without the extra scores of
    // the supplementary words is the plain one.
    const bool scored = settings.weight > 0 || supplementWords != nullptr;
    if (scored)
        ScoreCandidates(sentence);
    const int count = segmenter.Segment(preProcessor.GetLattice(), preProcessor.GetSlotCount(),
                                        preProcessor.GetSlotSizes(), preProcessor.GetAtomCount(),
                                        scored ? &extra : nullptr);
    sentence.SetTokens(segmenter.GetItems(), count);
    sentence.rolesTagged = false;
    return count;
}

bool CNewWordStage::AddWords(const CSentence& sentence)
{
    const std::vector<TokenRecord>* supplement = nullptr;
    if (supplementWords != nullptr)
        supplement = &supplementWords->Find(sentence.text, sentence.length, preProcessor.GetAtoms(),
                                            sentence.protectedNames, ids.unknownProper);
    const bool any = model != nullptr && Propose(sentence);
    if (supplement == nullptr || supplement->empty()) {
        if (any)
            preProcessor.AddCandidates(proposed);
        return any;
    }
    if (!any) {
        preProcessor.AddCandidates(*supplement);
        return true;
    }
    // One pass over the lattice for both, in slot order; of a supplementary and
    // a proposed word with the same span the supplementary one, which comes
    // first, stays.
    merged.clear();
    auto n = proposed.begin();
    for (const TokenRecord& w : *supplement) {
        for (; n != proposed.end() && n->start < w.start; ++n)
            merged.push_back(*n);
        merged.push_back(w);
    }
    merged.insert(merged.end(), n, proposed.end());
    preProcessor.AddCandidates(merged);
    return true;
}

double CNewWordStage::SupplementScore(const TokenRecord& c) const
{
    // A supplementary word is a word of the class of new words: the class's
    // bigram statistics stand for it, and it takes its share of the class,
    // its frequency in the class's count.
    const double f = supplementWords->FrequencyOf(c.start, c.end);
    return (f > 0 ? std::log(f / classFrequency) : -100.0) + settings.supplementBonus;
}

bool CNewWordStage::Propose(const CSentence& sentence)
{
    labelled = false;
    const int length = sentence.length;
    if (length <= 0 || ids.unknownProper < 0)
        return false;
    if (sentence.spoken <= 0)
        return false;
    // Only the label scores are read (span deficits, word scores): no labelling.
    if (model->Score(sentence.text, sentence.spoken, ws) == 0)
        return false;
    labelled = true;
    proposed.clear();
    const std::vector<TokenRecord>& atoms = preProcessor.GetAtoms();
    // Every span up to kMaxSpanChars characters whose best labelling scores
    // within the margin of the best labelling of all is proposed: the model's
    // own words and the close alternatives, among which the bigram model and
    // the dictionary words decide.
    const int chars = ws.GetCharCount();
    const int* starts = ws.GetCharStarts();
    // A new word is made of Chinese characters: atoms of one two-byte character
    // that are neither punctuation nor numbers, times or strings. One walk over
    // atoms and characters together notes, for each character an atom begins
    // at, the kind of the first such atom and whether one of them is plain.
    plainRun.assign(static_cast<size_t>(chars) + 1, 0);
    kindAt.resize(static_cast<size_t>(chars));
    int c = 0, kindSet = -1;
    for (const TokenRecord& a : atoms) {
        if (a.start < 0 || a.start >= length)
            continue;
        while (c < chars && starts[c] < a.start)
            ++c;
        if (c >= chars)
            break;
        if (starts[c] != a.start)
            continue;
        // The sentence-begin marker shares the first character's offset but is
        // no part of a word: a word proposed there takes the kind of the atom
        // after it, or the scoring would take it for the marker and skip it.
        if (kindSet != c && a.kind != kKindSentenceBegin) {
            kindAt[static_cast<size_t>(c)] = a.kind;
            kindSet = c;
        }
        const bool special = a.wordId >= 0 && (a.wordId == ids.unknownNumber || a.wordId == ids.unknownTime ||
                                               a.wordId == ids.unknownString);
        // (A bracket or a symbol of no class of its own, （ 【 ★, is no
        // character of a word either: 绥（芬河 came out as one place.)
        if (a.end - a.start == 2 && !IsPunctuationClass(a.kind) && !special && a.kind != kKindUserWord &&
            gbkchar::IsHanziLead(static_cast<unsigned char>(sentence.text[a.start])))
            plainRun[static_cast<size_t>(c)] = 1;
    }
    if (settings.stretches) {
        // Where the lattice's words of two characters or more cover the text
        // the dictionary has its words; new words are sought only around the
        // plain characters left over.
        seeds.assign(static_cast<size_t>(length) + 1, 0);
        uint8_t* const seed = seeds.data();
        const uint8_t* const plain = plainRun.data();
        for (int i = 0; i < chars; ++i)
            seed[starts[i]] = plain[i];
        for (const TokenRecord& w : preProcessor.GetCandidates())
            if (w.start >= 0 && w.end <= length && w.end - w.start > 2)
                std::memset(seed + w.start, 0, static_cast<size_t>(w.end - w.start));
        CCharModel::SetStretches(ws, seeds.data(), settings.stretchContext);
    }
    CCharModel::SpanPasses(ws);
    // The run of plain characters from each one, up to kMaxSpanChars and within
    // its stretch: only its spans are scored, so that punctuation, numbers and
    // letters cost no deficits. (Clamped as it goes: a stretch's characters
    // share its end, and one outside every stretch gets no run.)
    uint8_t* const runs = plainRun.data();
    for (int i = chars - 1; i >= 0; --i) {
        uint8_t& run = runs[i];
        if (run == 0)
            continue;
        if (!ws.InStretch(i)) {
            run = 0;
            continue;
        }
        run = static_cast<uint8_t>(
            std::min<int>(std::min<int>(CCharModel::kMaxSpanChars, ws.GetStretchEnd(i) - i), runs[i + 1] + 1));
    }
    spansWithin.resize(static_cast<size_t>(chars));
    CCharModel::SpansWithin(ws, plainRun.data(), settings.margin2, settings.margin, spansWithin.data());
    for (int i = 0; i < chars; ++i) {
        for (uint32_t within = spansWithin[static_cast<size_t>(i)]; within != 0; within &= within - 1) {
            const int n = __builtin_ctz(within) + 2;
            const int start = starts[i], end = starts[i + n];
            bool crossesName = false;
            for (const auto& span : sentence.protectedNames)
                crossesName = crossesName || (start < span.second && span.first < end);
            if (crossesName)
                continue;
            TokenRecord word;
            word.wordId = ids.unknownProper;
            word.start = start;
            word.end = end;
            word.flags = kFlagNewWord;
            word.kind = kindAt[static_cast<size_t>(i)]; // the kind of the atom it begins with
            proposed.push_back(word);
        }
    }
    return !proposed.empty();
}

void CNewWordStage::ScoreCandidates(const CSentence& sentence)
{
    const int length = sentence.length;
    const std::vector<TokenRecord>& candidates = preProcessor.GetCandidates();
    candidateScores.assign(candidates.size(), 0.0f);
    firstLabels.assign(candidates.size(), 255);
    lastLabels.assign(candidates.size(), 255);
    if (settings.weight <= 0 || !labelled) {
        // Without the new-word model's scores (off, or a sentence of nothing but
        // line breaks) only the supplementary words have a say of their own:
        // their share of their class word's statistics.
        for (size_t i = 0; i < candidates.size(); ++i)
            if (candidates[i].flags & kFlagSupplementWord)
                candidateScores[i] = static_cast<float>(SupplementScore(candidates[i]));
        extra = CSegment::ExtraScores{candidateScores.data(), firstLabels.data(), lastLabels.data(), nullptr, 1.0};
        return;
    }
    // The labelling scores of the model cover the whole sentence.
    const int chars = ws.GetCharCount();
    const int* starts = ws.GetCharStarts();
    // -1 everywhere as bytes (a fill of ints goes element by element); grown,
    // never shrunk.
    if (charAt.size() < static_cast<size_t>(length) + 1)
        charAt.resize(static_cast<size_t>(length) + 1);
    std::memset(charAt.data(), 0xFF, (static_cast<size_t>(length) + 1) * sizeof(int));
    for (int c = 0; c <= chars; ++c)
        if (starts[c] >= 0 && starts[c] <= length)
            charAt[static_cast<size_t>(starts[c])] = c;
    const double weight = settings.weight;
    // Locals for what the loop reads and writes: its byte stores would
    // otherwise make every vector's data pointer be read again.
    const TokenRecord* const cands = candidates.data();
    const size_t count = candidates.size();
    const int* const at = charAt.data();
    const float* const labelScores = ws.GetLabelScores();
    const float* const transitions = ws.GetTransitionScores();
    float* const out = candidateScores.data();
    uint8_t* const first = firstLabels.data();
    uint8_t* const last = lastLabels.data();
    for (size_t i = 0; i < count; ++i) {
        const TokenRecord& c = cands[i];
        if (c.kind == kKindSentenceBegin || c.kind == kKindSentenceEnd || c.start < 0 || c.end > length)
            continue;
        const int from = at[static_cast<size_t>(c.start)], to = at[static_cast<size_t>(c.end)];
        if (from < 0 || to <= from)
            continue;
        float sum = CCharModel::WordScore(labelScores, transitions, from, to, &first[i], &last[i]);
        // A proposed word pays for its class's generous statistics.
        if (c.flags & kFlagNewWord)
            sum -= static_cast<float>(ProposedPenalty(sentence, from, to) / weight);
        if (c.flags & kFlagSupplementWord)
            sum += static_cast<float>(SupplementScore(c) / weight);
        out[i] = sum;
    }
    extra = CSegment::ExtraScores{candidateScores.data(), firstLabels.data(), lastLabels.data(),
                                  ws.GetTransitionScores(), weight};
}

double CNewWordStage::ProposedPenalty(const CSentence& sentence, int from, int to)
{
    double penalty = settings.penalty;
    if (settings.confidenceWeight > 0 && to - from >= 2 && ws.InStretch(from) && to <= ws.GetStretchEnd(from)) {
        const double cap = settings.confidenceCap;
        const double sure = std::max(-cap, std::min<double>(cap, CCharModel::SpanConfidence(ws, from, to)));
        penalty -= settings.confidenceWeight * sure;
    }
    // The line's pairs are counted only once a proposed word asks for them:
    // most sentences propose none.
    if (settings.repeatBonus > 0)
        CountLinePairs(sentence);
    if (settings.repeatBonus > 0 && lineBegin != nullptr) {
        const int* starts = ws.GetCharStarts();
        if (RepeatsInLine(sentence.text, starts[from], starts[to]))
            penalty -= settings.repeatBonus;
    }
    return penalty;
}

namespace {

// The pairs of neighbouring two-byte characters of text[begin, end), as keys.
template <class Add> void ForEachPair(const unsigned char* p, const unsigned char* end, Add add)
{
    uint32_t previous = 0; // 0: no two-byte character before
    while (p < end) {
        if (*p >= 0x80 && p + 1 < end) {
            const uint32_t c = static_cast<uint32_t>(p[0]) << 8 | p[1];
            if (previous != 0)
                add(previous << 16 | c);
            previous = c;
            p += 2;
        } else {
            previous = 0;
            ++p;
        }
    }
}

} // namespace

void CNewWordStage::CountLinePairs(const CSentence& sentence)
{
    if (text == nullptr || sentence.text < text) {
        lineBegin = lineEnd = nullptr;
        return;
    }
    // The line of the sentence's first character after any line breaks it
    // begins with, so that a line reads the same with or without its break.
    const char* q = sentence.text;
    const char* const end = sentence.text + sentence.length;
    while (q < end && (*q == '\n' || *q == '\r'))
        ++q;
    // Sentences come in order, so a line is counted once however many it holds.
    if (lineBegin != nullptr && q >= lineBegin && q < lineEnd)
        return;
    const char* b = q;
    while (b > text && b[-1] != '\n')
        --b;
    const char* e = std::strchr(q, '\n');
    lineBegin = b;
    lineEnd = std::max(e != nullptr ? e : q + std::strlen(q), end);
    linePairs.clear();
    ForEachPair(reinterpret_cast<const unsigned char*>(lineBegin), reinterpret_cast<const unsigned char*>(lineEnd),
                [this](uint32_t key) { linePairs.push_back(key); });
    std::sort(linePairs.begin(), linePairs.end());
}

bool CNewWordStage::RepeatsInLine(const char* t, int start, int end) const
{
    bool any = false, all = true;
    ForEachPair(reinterpret_cast<const unsigned char*>(t + start), reinterpret_cast<const unsigned char*>(t + end),
                [this, &any, &all](uint32_t key) {
                    any = true;
                    const auto at = std::lower_bound(linePairs.begin(), linePairs.end(), key);
                    all = all && at != linePairs.end() && *at == key && at + 1 != linePairs.end() && at[1] == key;
                });
    return any && all;
}
