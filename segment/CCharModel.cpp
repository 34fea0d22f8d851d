#include "segment/CCharModel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "segment/RowSum.h"
#include "lexicon/BinaryFile.h"
#include "lexicon/ModelBlock.h"
#include "segment/CharKeys.h"
#include "segment/CharModelFile.h"
#include "segment/LabelDecoder.h"

constexpr char CCharModel::kMagic[4];
constexpr uint8_t CCharModel::kPredecessors[CCharModel::kLabelCount][2];
constexpr uint8_t CCharModel::kSuccessors[CCharModel::kLabelCount][2];

namespace {

// Anything this far below every real score is "impossible"; sums of two stay
// far from overflow.
constexpr int64_t kImpossible = std::numeric_limits<int64_t>::min() / 4;
// Weights beyond this scale could make a float score overflow.
constexpr float kMaxScale = 1e6f;
// Tables this large could not be meant (and would need gigabytes).
constexpr uint32_t kMaxRows = 1u << 26;

// Which label may follow which (kPredecessors as a table).
constexpr bool Allowed(int previous, int label)
{
    return CCharModel::kPredecessors[label][0] == previous || CCharModel::kPredecessors[label][1] == previous;
}

using charkeys::CharLength;
using charkeys::PairKey;
using charkeys::TableBits;

// Where each array goes in the model's block, 64-byte aligned.
struct Layout {
    size_t classOf, denseOf, unigram, trigram, repeat, pairWeights, skipWeights, pairTable, skipTable, total;
    int pairBits, skipBits;
};

Layout Plan(uint32_t classes, uint32_t chars, uint32_t pairs, uint32_t skips)
{
    using M = CCharModel;
    Layout l{};
    charmodelfile::BlockPlan plan;
    l.pairBits = TableBits(pairs);
    l.skipBits = TableBits(skips);
    const size_t slot = 8;
    l.classOf = plan.Place(M::kKeyCount);
    l.denseOf = plan.Place(2 * size_t(M::kKeyCount));
    l.unigram = plan.Place(2 * (size_t(chars) + M::kReservedRows) * M::kUnigramWeights);
    l.trigram = plan.Place(2 * size_t(classes) * classes * classes * M::kLabelCount);
    l.repeat = plan.Place(2 * size_t(M::kRepeatWeights));
    l.pairWeights = plan.Place(2 * size_t(pairs) * M::kPairWeights);
    l.skipWeights = plan.Place(2 * size_t(skips) * M::kSkipWeights);
    l.pairTable = plan.Place(l.pairBits < 0 ? 0 : slot << l.pairBits);
    l.skipTable = plan.Place(l.skipBits < 0 ? 0 : slot << l.skipBits);
    l.total = plan.Total();
    return l;
}

} // namespace

CCharModel::CCharModel() = default;
CCharModel::~CCharModel() = default;

bool CCharModel::Load(const char* path)
{
    BinaryFile file(path, "rb");
    if (!file.IsOpen())
        return false;
    uint32_t fields[5];
    float newScale = 0;
    int32_t newTransitions[16];
    if (!charmodelfile::ReadHeader(file, kMagic, kHeaderBytes, fields, 5, &newScale, newTransitions, 16, kMaxScale,
                                   kMaxTransition))
        return false;
    const uint32_t version = fields[0], classes = fields[1], chars = fields[2], pairs = fields[3],
                   skips = fields[4];
    if (version != kVersion || classes < 2 || classes > kMaxClasses || chars > kMaxChars || pairs > kMaxRows ||
        skips > kMaxRows)
        return false;
    const uint32_t rows = chars + kReservedRows;
    const uint64_t expected = uint64_t(kHeaderBytes) + kKeyCount + 2 * uint64_t(chars) +
                              2 * uint64_t(rows) * kUnigramWeights +
                              2 * uint64_t(classes) * classes * classes * kLabelCount + 2 * uint64_t(kRepeatWeights) +
                              (4 + 2 * uint64_t(kPairWeights)) * pairs + (4 + 2 * uint64_t(kSkipWeights)) * skips;
    if (file.Size() < 0 || static_cast<uint64_t>(file.Size()) != expected)
        return false;

    // Everything is read straight into its place in one new block; the model
    // takes the block only when the whole file proved sound.
    const Layout at = Plan(classes, chars, pairs, skips);
    ModelBlock newBlock = AllocateModelBlock(at.total);
    uint8_t* base = newBlock.get();
    auto read = [&file, base](size_t offset, size_t bytes) {
        return bytes == 0 || file.Read(base + offset, bytes) == bytes;
    };
    uint16_t* dense = reinterpret_cast<uint16_t*>(base + at.denseOf);
    if (!charmodelfile::ReadCharRows(file, base + at.classOf, dense, classes, chars, kUnknownChar, kReservedRows))
        return false;
    if (!read(at.unigram, 2 * size_t(rows) * kUnigramWeights) ||
        !read(at.trigram, 2 * size_t(classes) * classes * classes * kLabelCount) ||
        !read(at.repeat, 2 * size_t(kRepeatWeights)))
        return false;
    Slot* newPairTable = nullptr;
    Slot* newSkipTable = nullptr;
    if (!charmodelfile::ReadPairs(file, pairs, rows, base, at.pairTable, at.pairBits, newPairTable) ||
        !read(at.pairWeights, 2 * size_t(pairs) * kPairWeights) ||
        !charmodelfile::ReadPairs(file, skips, rows, base, at.skipTable, at.skipBits, newSkipTable) ||
        !read(at.skipWeights, 2 * size_t(skips) * kSkipWeights))
        return false;

    block = std::move(newBlock);
    classOf = base + at.classOf;
    denseOf = dense;
    unigram = reinterpret_cast<const int16_t*>(base + at.unigram);
    classTrigram = reinterpret_cast<const int16_t*>(base + at.trigram);
    repeat = reinterpret_cast<const int16_t*>(base + at.repeat);
    pairWeights = reinterpret_cast<const int16_t*>(base + at.pairWeights);
    skipWeights = reinterpret_cast<const int16_t*>(base + at.skipWeights);
    pairTable = newPairTable;
    skipTable = newSkipTable;
    pairBits = at.pairBits;
    skipBits = at.skipBits;
    classCount = static_cast<int>(classes);
    charCount = static_cast<int>(chars);
    pairCount = static_cast<int>(pairs);
    skipCount = static_cast<int>(skips);
    scale = newScale;
    for (int i = 0; i < 16; ++i) {
        transitions[i] = newTransitions[i];
        transitionScores[i] = Allowed(i / 4, i % 4) ? static_cast<float>(newTransitions[i]) * newScale
                                                     : -std::numeric_limits<float>::infinity();
    }
    loaded = true;
    return true;
}

int CCharModel::Label(const char* text, int length, Workspace& ws) const
{
    const int n = Prepare(text, length, ws, true);
    if (n > 0)
        Viterbi(ws);
    return n;
}

int CCharModel::Score(const char* text, int length, Workspace& ws) const
{
    return Prepare(text, length, ws, false);
}

int CCharModel::Prepare(const char* text, int length, Workspace& ws, bool weights) const
{
    ws.charCount = 0;
    ws.stretched = false;
    ws.starts.clear();
    ws.words.clear();
    std::memcpy(ws.transitions, transitionScores, sizeof ws.transitions);
    if (!loaded || text == nullptr || length <= 0)
        return 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    int pos = 0;
    while (pos < length) {
        ws.starts.push_back(pos);
        pos += CharLength(p, pos, length);
    }
    const int n = static_cast<int>(ws.starts.size());
    ws.starts.push_back(pos); // the end of the last character
    ws.charCount = n;

    charmodelfile::FillWindow(p, length, ws.starts.data(), n, classOf, denseOf, classCount, kBeforeSentence,
                              kAfterSentence, ws.keys, ws.dense, ws.classes);
    Emissions(ws, weights);
    return n;
}

void CCharModel::SetStretches(Workspace& ws, const uint8_t* seeds, int context)
{
    const int n = ws.charCount;
    context = std::max(0, context);
    ws.inStretch.assign(static_cast<size_t>(n), 0);
    ws.stretchEnd.resize(static_cast<size_t>(n));
    // Each seed marks itself and its context; reach is the last character a
    // seed so far has marked, so that every character is marked once.
    int reach = -1;
    for (int i = 0; i < n; ++i) {
        if (seeds[ws.starts[static_cast<size_t>(i)]] == 0)
            continue;
        const int last = std::min(n - 1, i + context);
        for (int k = std::max(reach + 1, i - context); k <= last; ++k)
            ws.inStretch[static_cast<size_t>(k)] = 1;
        reach = std::max(reach, last);
    }
    for (int i = n, end = n; i-- > 0;) {
        if (ws.inStretch[static_cast<size_t>(i)] == 0)
            end = i;
        ws.stretchEnd[static_cast<size_t>(i)] = end;
    }
    ws.stretched = true;
}

void CCharModel::Emissions(Workspace& ws, bool weights) const
{
    const int n = ws.charCount;
    const size_t width = static_cast<size_t>(n) + 4;
    ws.pairKeys.resize(width - 1);
    for (size_t j = 0; j + 1 < width; ++j) {
        const uint16_t a = ws.dense[j], b = ws.dense[j + 1];
        ws.pairKeys[j] = (a == kUnknownChar || b == kUnknownChar) ? 0 : PairKey(a, b);
    }
    // A model trained without the skip pairs has none to look up: its skip
    // keys and rows are not made at all (they would all be rows of zeros).
    const bool skips = skipTable != nullptr;
    if (skips) {
        ws.skipKeys.resize(static_cast<size_t>(n));
        for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
            const uint16_t a = ws.dense[i + 1], b = ws.dense[i + 3];
            ws.skipKeys[i] = (a == kUnknownChar || b == kUnknownChar) ? 0 : PairKey(a, b);
        }
    }
    // A pair the model lacks adds a row of zeros: the sums below then take
    // every row without a test (cheaper, two rows at a time, than testing),
    // and adding zero changes no sum.
    static const int16_t kNoWeights[kPairWeights] = {};
    charmodelfile::FindRows(pairTable, pairBits, pairWeights, kPairWeights, ws.pairKeys, ws.pairAt, kNoWeights);
    if (skips)
        charmodelfile::FindRows(skipTable, skipBits, skipWeights, kSkipWeights, ws.skipKeys, ws.skipAt, kNoWeights);
    if (weights)
        ws.emission.resize(static_cast<size_t>(n) * kLabelCount);
    ws.scores.resize(static_cast<size_t>(n) * kLabelCount);
    const size_t k = static_cast<size_t>(classCount);
    for (int i = 0; i < n; ++i) {
        const size_t w = static_cast<size_t>(i) + 2; // the labelled character in the window
        static_assert(kLabelCount == 4, "rows are summed four lanes at a time");
        rowsum::Sum4 sum;
        const auto uni = [&](size_t o) {
            return &unigram[size_t(ws.dense[w - 2 + o]) * kUnigramWeights + o * kLabelCount];
        };
        // Rows two at a time; integer sums in any order are the same sums.
        sum.Add2(uni(0), uni(1));
        sum.Add2(uni(2), uni(3));
        sum.Add2(uni(4), &classTrigram[((ws.classes[w - 1] * k + ws.classes[w]) * k + ws.classes[w + 1]) * kLabelCount]);
        if (ws.keys[w - 1] == ws.keys[w])
            sum.Add(&repeat[0]);
        if (ws.keys[w - 2] == ws.keys[w])
            sum.Add(&repeat[kLabelCount]);
        sum.Add2(ws.pairAt[w - 2] + 0 * kLabelCount, ws.pairAt[w - 1] + 1 * kLabelCount);
        sum.Add2(ws.pairAt[w] + 2 * kLabelCount, ws.pairAt[w + 1] + 3 * kLabelCount);
        if (skips)
            sum.Add(ws.skipAt[static_cast<size_t>(i)]);
        if (weights)
            sum.Store(&ws.emission[size_t(i) * kLabelCount]);
        sum.StoreScaled(&ws.scores[size_t(i) * kLabelCount], scale);
    }
}

// The recurrences of Margins and SpanDeficits spell out the label grammar
// (kPredecessors), for speed: B and S follow
// E or S, M and E follow B or M. Where two predecessors score the same, the
// earlier label (B before M, E before S) wins, as everywhere in the engine.
// A labelling that breaks the grammar at the ends starts from kImpossible and
// stays far below every real score, so no comparison ever prefers it.

const LabelDecoder::Grammar& CCharModel::WordGrammar()
{
    // kPredecessors as the decoder reads it: a word begins with B or S and ends
    // with E or S.
    struct Bmes {
        bool allowed[kLabelCount * kLabelCount] = {};
        bool canStart[kLabelCount] = {true, false, false, true};
        bool canEnd[kLabelCount] = {false, false, true, true};
        LabelDecoder::Grammar grammar{kLabelCount, allowed, canStart, canEnd};
        Bmes()
        {
            for (int label = 0; label < kLabelCount; ++label)
                for (uint8_t previous : kPredecessors[label])
                    allowed[previous * kLabelCount + label] = true;
        }
    };
    static const Bmes bmes;
    return bmes.grammar;
}

void CCharModel::Viterbi(Workspace& ws) const
{
    // The one decoder of the character models; it breaks ties as the
    // recurrences below do (the lower label wins).
    ws.emissionWide.assign(ws.emission.begin(), ws.emission.end());
    LabelDecoder::Best(WordGrammar(), ws.emissionWide.data(), static_cast<size_t>(ws.charCount), transitions,
                       ws.forward, ws.back, ws.labels);
}

void CCharModel::Margins(Workspace& ws) const
{
    // Max-marginals: forward[i][l] + backward[i][l] is the best score of any
    // labelling with label l at character i.
    const size_t n = static_cast<size_t>(ws.charCount);
    ws.backward.resize(n * kLabelCount);
    int64_t* g = ws.backward.data();
    const int32_t* e = ws.emission.data();
    const int64_t tBM = transitions[kB * 4 + kM], tBE = transitions[kB * 4 + kE];
    const int64_t tMM = transitions[kM * 4 + kM], tME = transitions[kM * 4 + kE];
    const int64_t tEB = transitions[kE * 4 + kB], tES = transitions[kE * 4 + kS];
    const int64_t tSB = transitions[kS * 4 + kB], tSS = transitions[kS * 4 + kS];
    int64_t* end = g + (n - 1) * kLabelCount;
    end[kB] = kImpossible;
    end[kM] = kImpossible;
    end[kE] = 0;
    end[kS] = 0;
    for (size_t i = n - 1; i-- > 0;) {
        const int64_t* q = g + (i + 1) * kLabelCount;
        const int32_t* x = e + (i + 1) * kLabelCount;
        const int64_t toB = q[kB] + x[kB], toM = q[kM] + x[kM], toE = q[kE] + x[kE], toS = q[kS] + x[kS];
        int64_t* c = g + i * kLabelCount;
        c[kB] = std::max(toM + tBM, toE + tBE);
        c[kM] = std::max(toM + tMM, toE + tME);
        c[kE] = std::max(toB + tEB, toS + tES);
        c[kS] = std::max(toB + tSB, toS + tSS);
    }
    const int64_t* f = ws.forward.data();
    const int64_t viterbi = std::max(f[kB] + g[kB], f[kS] + g[kS]);

    // A word stays unless some character of it takes another label; its margin
    // is the smallest loss any such change costs.
    const int* starts = ws.GetCharStarts();
    size_t begin = 0;
    int64_t margin = std::numeric_limits<int64_t>::max();
    for (size_t i = 0; i < n; ++i) {
        const uint8_t chosen = ws.labels[i];
        for (int l = 0; l < kLabelCount; ++l) {
            const int64_t alternative = f[i * kLabelCount + size_t(l)] + g[i * kLabelCount + size_t(l)];
            if (l != chosen && alternative > kImpossible / 2 && viterbi - alternative < margin)
                margin = viterbi - alternative;
        }
        if (chosen == kE || chosen == kS) {
            const float confidence = margin == std::numeric_limits<int64_t>::max()
                                         ? std::numeric_limits<float>::infinity()
                                         : static_cast<float>(static_cast<double>(margin) * scale);
            ws.words.push_back(Word{starts[begin], starts[i + 1], confidence});
            begin = i + 1;
            margin = std::numeric_limits<int64_t>::max();
        }
    }
}

int CCharModel::Words(const char* text, int length, Workspace& ws) const
{
    if (Label(text, length, ws) == 0)
        return 0;
    Margins(ws);
    return static_cast<int>(ws.words.size());
}

void CCharModel::SpanPasses(Workspace& ws)
{
    const int chars = ws.GetCharCount();
    ws.spanForward.resize(static_cast<size_t>(chars) * 4); // every entry read is written below
    ws.spanBackward.resize(static_cast<size_t>(chars) * 4);
    ws.spanLeft.resize(static_cast<size_t>(chars));
    // SpansWithin reads up to kLabelPad past the text in lanes it then
    // ignores; the pads keep those reads inside the arrays.
    ws.spanRight.resize(static_cast<size_t>(chars) + Workspace::kLabelPad);
    std::fill(ws.spanRight.begin() + chars, ws.spanRight.end(), 0.0f);
    {
        const size_t n = static_cast<size_t>(chars), padded = n + Workspace::kLabelPad;
        if (ws.labelB.size() < padded) {
            ws.labelB.resize(padded);
            ws.labelM.resize(padded);
            ws.labelE.resize(padded);
        }
        const float* s = ws.GetLabelScores();
        float* b = ws.labelB.data();
        float* m = ws.labelM.data();
        float* e = ws.labelE.data();
        size_t i = 0;
#if defined(__SSE2__)
        for (; i + 4 <= n; i += 4) {
            __m128 r0 = _mm_loadu_ps(s + i * 4), r1 = _mm_loadu_ps(s + i * 4 + 4);
            __m128 r2 = _mm_loadu_ps(s + i * 4 + 8), r3 = _mm_loadu_ps(s + i * 4 + 12);
            _MM_TRANSPOSE4_PS(r0, r1, r2, r3); // now r0 the B scores, r1 M, r2 E
            _mm_storeu_ps(b + i, r0);
            _mm_storeu_ps(m + i, r1);
            _mm_storeu_ps(e + i, r2);
        }
#endif
        for (; i < n; ++i) {
            b[i] = s[i * 4 + kB];
            m[i] = s[i * 4 + kM];
            e[i] = s[i * 4 + kE];
        }
        std::fill(b + n, b + padded, 0.0f);
        std::fill(m + n, m + padded, 0.0f);
        std::fill(e + n, e + padded, 0.0f);
    }
    ws.spanAll = 0;
    if (chars == 0)
        return;
    if (!ws.stretched) {
        ws.spanAll = Passes(ws, 0, chars, false, false);
        return;
    }
    // Each stretch alone; an end inside the text is open, as the labelling
    // there goes on beyond what the stretch sees.
    ws.stretchBest.resize(static_cast<size_t>(chars));
    for (int i = 0; i < chars;) {
        if (!ws.inStretch[static_cast<size_t>(i)]) {
            ++i;
            continue;
        }
        const int end = ws.stretchEnd[static_cast<size_t>(i)];
        const float best = Passes(ws, i, end, i > 0, end < chars);
        for (int k = i; k < end; ++k)
            ws.stretchBest[static_cast<size_t>(k)] = best;
        i = end;
    }
}

float CCharModel::Passes(Workspace& ws, int from, int to, bool openStart, bool openEnd)
{
    // Max-product forward and backward passes over the labelling scores:
    // forward[i][l], the best labelling of characters from..i ending in l;
    // backward[i][l], the best of i..to-1 starting with l (both with l's own score).
    const float* s = ws.GetLabelScores();
    const float* t = ws.GetTransitionScores();
    const float kNone = -1e30f;
    float* left = ws.spanLeft.data();
    float* right = ws.spanRight.data();
    auto T = [t](int a, int b) { return t[a * 4 + b]; };
    // Only the grammar's transitions are finite, so each label has two ways in
    // (and two out), taken in label order; a way from a label no labelling
    // reaches (kNone) does not count. Only the labels at the ends can be
    // unreachable (M and E of the first character, B and M of the last, where
    // the end is closed), so the steps away from the ends need no such test:
    // they take the same maximum in the same order.
    const auto better = [kNone](float a, float ta, float b, float tb) {
        float best = kNone;
        if (a > kNone)
            best = std::max(best, a + ta);
        if (b > kNone)
            best = std::max(best, b + tb);
        return best;
    };
    const auto add = [kNone](float best, float score) { return best > kNone ? best + score : kNone; };
    const float tEB = T(kE, kB), tSB = T(kS, kB), tBM = T(kB, kM), tMM = T(kM, kM);
    const float tBE = T(kB, kE), tME = T(kM, kE), tES = T(kE, kS), tSS = T(kS, kS);
    const size_t first = static_cast<size_t>(from) * 4;
    float* f = ws.spanForward.data();
    f[first + kB] = s[first + kB];
    f[first + kM] = openStart ? s[first + kM] : kNone;
    f[first + kE] = openStart ? s[first + kE] : kNone;
    f[first + kS] = s[first + kS];
    left[from] = 0;
    if (to - from > 1) {
        const float* p = f + first;
        float* c = f + first + 4;
        const float* x = s + first + 4;
        left[from + 1] = std::max(p[kE] + tEB, p[kS] + tSB);
        c[kB] = add(better(p[kE], tEB, p[kS], tSB), x[kB]);
        c[kM] = add(better(p[kB], tBM, p[kM], tMM), x[kM]);
        c[kE] = add(better(p[kB], tBE, p[kM], tME), x[kE]);
        c[kS] = add(better(p[kE], tES, p[kS], tSS), x[kS]);
    }
    int i = from + 2;
#if defined(__SSE2__)
    // The four labels as four lanes: each lane takes the larger of its two
    // ways in, as std::max(a, b) takes it (b only when a < b, which is what
    // _mm_max_ps(b, a) keeps), then adds its score; the same floats.
    {
        const __m128 tA = _mm_setr_ps(tEB, tBM, tBE, tES), tB = _mm_setr_ps(tSB, tMM, tME, tSS);
        for (; i < to; ++i) {
            const __m128 p = _mm_loadu_ps(f + static_cast<size_t>(i - 1) * 4);
            const __m128 a = _mm_add_ps(_mm_shuffle_ps(p, p, _MM_SHUFFLE(kE, kB, kB, kE)), tA);
            const __m128 b = _mm_add_ps(_mm_shuffle_ps(p, p, _MM_SHUFFLE(kS, kM, kM, kS)), tB);
            const __m128 best = _mm_max_ps(b, a);
            _mm_store_ss(&left[i], best);
            _mm_storeu_ps(f + static_cast<size_t>(i) * 4,
                          _mm_add_ps(best, _mm_loadu_ps(s + static_cast<size_t>(i) * 4)));
        }
    }
#endif
    for (; i < to; ++i) {
        const float* p = f + static_cast<size_t>(i - 1) * 4;
        float* c = f + static_cast<size_t>(i) * 4;
        const float* x = s + static_cast<size_t>(i) * 4;
        // The best way into B at i is the best way into a word beginning there.
        left[i] = std::max(p[kE] + tEB, p[kS] + tSB);
        c[kB] = left[i] + x[kB];
        c[kM] = std::max(p[kB] + tBM, p[kM] + tMM) + x[kM];
        c[kE] = std::max(p[kB] + tBE, p[kM] + tME) + x[kE];
        c[kS] = std::max(p[kE] + tES, p[kS] + tSS) + x[kS];
    }
    const size_t last = static_cast<size_t>(to - 1) * 4;
    float* g = ws.spanBackward.data();
    g[last + kB] = openEnd ? s[last + kB] : kNone;
    g[last + kM] = openEnd ? s[last + kM] : kNone;
    g[last + kE] = s[last + kE];
    g[last + kS] = s[last + kS];
    right[to - 1] = 0;
    if (to - from > 1) {
        const float* q = g + last;
        float* c = g + last - 4;
        const float* x = s + last - 4;
        right[to - 2] = std::max(tEB + q[kB], tES + q[kS]);
        // B and M go on to M or E; E and S to B or S.
        c[kB] = add(better(q[kM], tBM, q[kE], tBE), x[kB]);
        c[kM] = add(better(q[kM], tMM, q[kE], tME), x[kM]);
        c[kE] = add(better(q[kB], tEB, q[kS], tES), x[kE]);
        c[kS] = add(better(q[kB], tSB, q[kS], tSS), x[kS]);
    }
    int k = to - 3;
#if defined(__SSE2__)
    // As forward: B and M go on to M or E, E and S to B or S.
    {
        const __m128 tA = _mm_setr_ps(tBM, tMM, tEB, tSB), tB = _mm_setr_ps(tBE, tME, tES, tSS);
        for (; k >= from; --k) {
            const __m128 q = _mm_loadu_ps(g + static_cast<size_t>(k + 1) * 4);
            const __m128 a = _mm_add_ps(_mm_shuffle_ps(q, q, _MM_SHUFFLE(kB, kB, kM, kM)), tA);
            const __m128 b = _mm_add_ps(_mm_shuffle_ps(q, q, _MM_SHUFFLE(kS, kS, kE, kE)), tB);
            const __m128 best = _mm_max_ps(b, a);
            _mm_store_ss(&right[k], _mm_movehl_ps(best, best)); // lane E
            _mm_storeu_ps(g + static_cast<size_t>(k) * 4,
                          _mm_add_ps(best, _mm_loadu_ps(s + static_cast<size_t>(k) * 4)));
        }
    }
#endif
    for (int i = k; i >= from; --i) {
        const float* q = g + static_cast<size_t>(i + 1) * 4;
        float* c = g + static_cast<size_t>(i) * 4;
        const float* x = s + static_cast<size_t>(i) * 4;
        c[kB] = std::max(q[kM] + tBM, q[kE] + tBE) + x[kB];
        c[kM] = std::max(q[kM] + tMM, q[kE] + tME) + x[kM];
        // The best way on from E at i is the best way on after a word ending there.
        right[i] = std::max(q[kB] + tEB, q[kS] + tES);
        c[kE] = right[i] + x[kE];
        c[kS] = std::max(q[kB] + tSB, q[kS] + tSS) + x[kS];
    }
    const float closed = std::max(f[last + kE], f[last + kS]);
    return openEnd ? std::max(std::max(f[last + kB], f[last + kM]), closed) : closed;
}

void CCharModel::SpanDeficitsAt(const Workspace& ws, int i, int maxChars, float* out)
{
    const int chars = ws.GetCharCount();
    const float* s = ws.GetLabelScores();
    const float* t = ws.GetTransitionScores();
    auto T = [t](int a, int b) { return t[a * 4 + b]; };
    // The best ways into a word starting at i and on after one ending at j,
    // as the passes found them.
    const float left = ws.spanLeft[static_cast<size_t>(i)];
    const float* right = ws.spanRight.data();
    // Within a stretch, the stretch's best labelling and its end.
    const float all = ws.stretched ? ws.stretchBest[static_cast<size_t>(i)] : ws.spanAll;
    const int end = ws.stretched ? ws.stretchEnd[static_cast<size_t>(i)] : chars;
    float inner = s[i * 4 + kB];
    for (int n = 2; n <= maxChars && n <= kMaxSpanChars && i + n <= end; ++n) {
        const int j = i + n - 1; // the word's last character
        // inner so far covers i..j-1 as B M..M; close the word with E at j.
        const float word = inner + s[j * 4 + kE] + T(n == 2 ? kB : kM, kE);
        out[n - 2] = all - (left + word + right[j]);
        // Extend: character j becomes an inner M.
        inner += s[j * 4 + kM] + T(n == 2 ? kB : kM, kM);
    }
}

void CCharModel::SpansWithin(const Workspace& ws, const uint8_t* longest, float margin2, float margin,
                             uint8_t* within)
{
    // SpanDeficitsAt's sums in its order, so that each deficit is the same
    // float; the span of two characters, the only one with B before E, first.
    const int chars = ws.GetCharCount();
    const float* s = ws.GetLabelScores();
    const float* t = ws.GetTransitionScores();
    const float* right = ws.spanRight.data();
    const float tBE = t[kB * 4 + kE], tBM = t[kB * 4 + kM], tME = t[kM * 4 + kE], tMM = t[kM * 4 + kM];
    int i = 0;
#if defined(__SSE2__)
    // Four starts at once, one to a lane, each lane with the scalar loop's
    // sums in its order (so the same floats); a lane stops adding bits past
    // its own longest span. The label scores by label and the right-hand
    // scores are padded (SpanPasses), so a lane may read past the text.
    const float* sB = ws.labelB.data();
    const float* sM = ws.labelM.data();
    const float* sE = ws.labelE.data();
    const __m128 vBE = _mm_set1_ps(tBE), vBM = _mm_set1_ps(tBM), vME = _mm_set1_ps(tME), vMM = _mm_set1_ps(tMM);
    const __m128 vMargin2 = _mm_set1_ps(margin2), vMargin = _mm_set1_ps(margin);
    for (; i + 4 <= chars; i += 4) {
        alignas(16) int32_t last[4];
        int most = 0;
        for (int l = 0; l < 4; ++l) {
            const int c = i + l;
            last[l] = ws.InStretch(c)
                          ? std::min<int>(std::min<int>(longest[c], kMaxSpanChars), ws.GetStretchEnd(c) - c)
                          : 0;
            most = std::max(most, last[l]);
        }
        if (most < 2) {
            std::memset(within + i, 0, 4);
            continue;
        }
        const __m128i lastv = _mm_load_si128(reinterpret_cast<const __m128i*>(last));
        const __m128 all = ws.stretched ? _mm_loadu_ps(&ws.stretchBest[static_cast<size_t>(i)]) : _mm_set1_ps(ws.spanAll);
        const __m128 left = _mm_loadu_ps(&ws.spanLeft[static_cast<size_t>(i)]);
        const __m128 xB = _mm_loadu_ps(sB + i);
        __m128 word = _mm_add_ps(_mm_add_ps(xB, _mm_loadu_ps(sE + i + 1)), vBE);
        __m128 deficit = _mm_sub_ps(all, _mm_add_ps(_mm_add_ps(left, word), _mm_loadu_ps(right + i + 1)));
        __m128i bits = _mm_and_si128(_mm_castps_si128(_mm_cmple_ps(deficit, vMargin2)),
                                     _mm_and_si128(_mm_cmpgt_epi32(lastv, _mm_set1_epi32(1)), _mm_set1_epi32(1)));
        __m128 inner = _mm_add_ps(xB, _mm_add_ps(_mm_loadu_ps(sM + i + 1), vBM));
        for (int n = 3; n <= most; ++n) {
            const int j = i + n - 1;
            word = _mm_add_ps(_mm_add_ps(inner, _mm_loadu_ps(sE + j)), vME);
            deficit = _mm_sub_ps(all, _mm_add_ps(_mm_add_ps(left, word), _mm_loadu_ps(right + j)));
            const __m128i take = _mm_and_si128(_mm_castps_si128(_mm_cmple_ps(deficit, vMargin)),
                                               _mm_cmpgt_epi32(lastv, _mm_set1_epi32(n - 1)));
            bits = _mm_or_si128(bits, _mm_and_si128(take, _mm_set1_epi32(1 << (n - 2))));
            inner = _mm_add_ps(inner, _mm_add_ps(_mm_loadu_ps(sM + j), vMM));
        }
        alignas(16) int32_t out[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(out), bits);
        for (int l = 0; l < 4; ++l)
            within[i + l] = static_cast<uint8_t>(out[l]);
    }
#endif
    for (; i < chars; ++i) {
        within[i] = 0;
        if (!ws.InStretch(i))
            continue;
        const int last = std::min<int>(std::min<int>(longest[i], kMaxSpanChars), ws.GetStretchEnd(i) - i);
        if (last < 2)
            continue;
        // Within a stretch, the stretch's best labelling.
        const float all = ws.stretched ? ws.stretchBest[static_cast<size_t>(i)] : ws.spanAll;
        const float left = ws.spanLeft[static_cast<size_t>(i)];
        const float* x = s + static_cast<size_t>(i) * 4;
        uint32_t bits = 0;
        float word = x[kB] + x[4 + kE] + tBE;
        if (all - (left + word + right[i + 1]) <= margin2)
            bits = 1;
        float inner = x[kB] + (x[4 + kM] + tBM);
        for (int n = 3; n <= last; ++n) {
            const float* y = x + static_cast<size_t>(n - 1) * 4;
            word = inner + y[kE] + tME;
            if (all - (left + word + right[i + n - 1]) <= margin)
                bits |= 1u << (n - 2);
            inner += y[kM] + tMM;
        }
        within[i] = static_cast<uint8_t>(bits);
    }
}

void CCharModel::SpanDeficits(Workspace& ws)
{
    SpanPasses(ws);
    const int chars = ws.GetCharCount();
    ws.spanDeficit.assign(static_cast<size_t>(chars) * kMaxSpanChars, 1e30f);
    float at[kMaxSpanChars] = {};
    for (int i = 0; i < chars; ++i) {
        if (!ws.InStretch(i))
            continue; // outside the stretches: no deficits
        SpanDeficitsAt(ws, i, kMaxSpanChars, at);
        for (int n = 2; n <= kMaxSpanChars && i + n <= ws.GetStretchEnd(i); ++n)
            ws.spanDeficit[static_cast<size_t>(i) * kMaxSpanChars + static_cast<size_t>(n - 1)] = at[n - 2];
    }
}

float CCharModel::SpanConfidence(const Workspace& ws, int from, int to)
{
    const float* s = ws.GetLabelScores();
    const float* f = ws.spanForward.data();
    const float* g = ws.spanBackward.data();
    uint8_t first = kB, last = kE;
    const float word = ws.spanLeft[static_cast<size_t>(from)] + WordScore(ws, from, to, &first, &last) +
                       ws.spanRight[static_cast<size_t>(to - 1)];
    // The word is lost as soon as one of its characters takes another label:
    // the best labelling without it is the best of those max-marginals.
    float without = -1e30f;
    for (int k = from; k < to; ++k) {
        const uint8_t keep = k == from ? kB : k == to - 1 ? kE : kM;
        const size_t at = static_cast<size_t>(k) * 4;
        for (int l = 0; l < kLabelCount; ++l)
            if (l != keep && f[at + l] > -1e29f && g[at + l] > -1e29f)
                without = std::max(without, f[at + l] + g[at + l] - s[at + l]);
    }
    return word - without;
}
