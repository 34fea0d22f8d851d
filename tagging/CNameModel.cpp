#include "tagging/CNameModel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "lexicon/BinaryFile.h"
#include "lexicon/ModelBlock.h"
#include "segment/CharKeys.h"
#include "segment/CharModelFile.h"

constexpr char CNameModel::kMagic[4];

namespace {

using N = CNameModel;
constexpr int kL = N::kLabelCount;
constexpr int kW = N::kRowWidth;
// Eight 16-bit weights, added in one vector operation.
typedef int16_t Block __attribute__((vector_size(16)));

Block LoadBlock(const int16_t* p)
{
    Block b;
    std::memcpy(&b, p, sizeof b);
    return b;
}
// Far below every real score; sums of a few stay far from overflow.
constexpr int64_t kImpossible = std::numeric_limits<int64_t>::min() / 4;
constexpr float kMaxScale = 1e6f;
constexpr uint32_t kMaxRows = 1u << 26;
// Bonuses are clamped to this many weight units, so that no sum can overflow.
constexpr double kMaxBonus = 1099511627776.0; // 2^40

using charkeys::CharLength;
using charkeys::PairKey;
using charkeys::TableBits;

struct Layout {
    size_t classOf, denseOf, unigram, trigram, pairWeights, pairTable, lexWeights, contextWeights, lexTable, total;
    int pairBits, lexBits;
};

Layout Plan(uint32_t classes, uint32_t chars, uint32_t pairs, uint32_t entries)
{
    Layout l{};
    charmodelfile::BlockPlan plan;
    l.pairBits = TableBits(pairs);
    l.classOf = plan.Place(N::kKeyCount);
    l.denseOf = plan.Place(2 * size_t(N::kKeyCount));
    l.unigram = plan.Place(2 * (size_t(chars) + N::kReservedRows) * N::kUnigramWeights);
    l.trigram = plan.Place(2 * size_t(classes) * classes * classes * kW);
    l.pairWeights = plan.Place(2 * size_t(pairs) * N::kPairWeights);
    l.pairTable = plan.Place(l.pairBits < 0 ? 0 : size_t(8) << l.pairBits);
    l.lexBits = TableBits(entries);
    l.lexWeights = plan.Place(2 * size_t(N::kLexWeights));
    l.contextWeights = plan.Place(2 * size_t(N::kContextWeights));
    l.lexTable = plan.Place(l.lexBits < 0 ? 0 : sizeof(N::LexSlot) << l.lexBits);
    l.total = plan.Total();
    return l;
}

// A bonus added to what a place already has, in weight units, within +-kMaxBonus.
void AddUnits(int64_t& slot, float bonus, double perUnit)
{
    const double v = std::nearbyint(static_cast<double>(bonus) * perUnit);
    if (!(v == v)) // NaN adds nothing
        return;
    const double sum = static_cast<double>(slot) + v;
    slot = static_cast<int64_t>(std::max(-kMaxBonus, std::min(kMaxBonus, sum)));
}

} // namespace

// Rows: previous label; columns: label (O SB S2 G1 G2 WB WI).
const bool CNameModel::kAllowed[kL][kL] = {
    {true, true, false, false, false, true, false},  // after O
    {false, false, true, true, false, false, false}, // after SB: the surname goes on or the given name begins
    {false, false, false, true, false, false, false}, // after S2: the given name begins
    {true, true, false, false, true, true, false},   // after G1: a second given character, or the name ends
    {true, true, false, false, false, true, false},  // after G2: the name ends
    {true, true, false, false, false, true, true},   // after WB
    {true, true, false, false, false, true, true},   // after WI
};
const bool CNameModel::kCanStart[kL] = {true, true, false, false, false, true, false};
const bool CNameModel::kCanEnd[kL] = {true, false, false, true, true, true, true};

CNameModel::CNameModel() = default;
CNameModel::~CNameModel() = default;

bool CNameModel::Load(const char* path)
{
    BinaryFile file(path, "rb");
    if (!file.IsOpen())
        return false;
    uint32_t fields[6];
    float newScale = 0;
    int32_t newTransitions[kL * kL];
    if (!charmodelfile::ReadHeader(file, kMagic, kHeaderBytes, fields, 6, &newScale, newTransitions, kL * kL,
                                   kMaxScale, kMaxTransition))
        return false;
    const uint32_t version = fields[0], labels = fields[1], classes = fields[2], chars = fields[3],
                   pairs = fields[4], entries = fields[5];
    if (version != kVersion || labels != static_cast<uint32_t>(kL) || classes < 2 || classes > kMaxClasses ||
        chars > kMaxChars || pairs > kMaxRows || entries > kMaxRows)
        return false;
    const uint32_t rows = chars + kReservedRows;
    const uint64_t expected = uint64_t(kHeaderBytes) + kKeyCount + 2 * uint64_t(chars) +
                              2 * uint64_t(rows) * kUnigramWeights + 2 * uint64_t(classes) * classes * classes * kW +
                              (4 + 2 * uint64_t(kPairWeights)) * pairs + 2 * uint64_t(kLexWeights) +
                              2 * uint64_t(kContextWeights) + 10 * uint64_t(entries);
    if (file.Size() < 0 || static_cast<uint64_t>(file.Size()) != expected)
        return false;

    const Layout at = Plan(classes, chars, pairs, entries);
    ModelBlock newBlock = AllocateModelBlock(at.total);
    uint8_t* base = newBlock.get();
    auto read = [&file, base](size_t offset, size_t bytes) {
        return bytes == 0 || file.Read(base + offset, bytes) == bytes;
    };
    uint16_t* dense = reinterpret_cast<uint16_t*>(base + at.denseOf);
    if (!charmodelfile::ReadCharRows(file, base + at.classOf, dense, classes, chars, kUnknownChar, kReservedRows))
        return false;
    if (!read(at.unigram, 2 * size_t(rows) * kUnigramWeights) ||
        !read(at.trigram, 2 * size_t(classes) * classes * classes * kW))
        return false;
    Slot* table = nullptr;
    if (!charmodelfile::ReadPairs(file, pairs, rows, base, at.pairTable, at.pairBits, table))
        return false;
    if (!read(at.pairWeights, 2 * size_t(pairs) * kPairWeights) || !read(at.lexWeights, 2 * size_t(kLexWeights)) ||
        !read(at.contextWeights, 2 * size_t(kContextWeights)))
        return false;
    // The lexicon: fingerprints strictly increasing (so none twice, and none is
    // 0), then their classes, then their contexts.
    LexSlot* lex = at.lexBits < 0 ? nullptr : reinterpret_cast<LexSlot*>(base + at.lexTable);
    if (lex != nullptr) {
        std::fill(lex, lex + (size_t(1) << at.lexBits), LexSlot{0, 0, 0, 0});
        std::vector<uint64_t> keys(entries);
        std::vector<uint8_t> entryClasses(entries), entryContexts(entries);
        if (file.Read(keys.data(), 8 * size_t(entries)) != 8 * size_t(entries) ||
            file.Read(entryClasses.data(), entries) != entries || file.Read(entryContexts.data(), entries) != entries)
            return false;
        const size_t mask = (size_t(1) << at.lexBits) - 1;
        for (size_t i = 0; i < keys.size(); ++i) {
            const bool prefix = entryClasses[i] == kPrefixOnly;
            if (keys[i] == 0 || (i > 0 && keys[i] <= keys[i - 1]) ||
                ((entryClasses[i] & ~kContinues) >= kLexClasses && !prefix) ||
                entryContexts[i] >= kContextBuckets * kContextBuckets || (prefix && entryContexts[i] != 0))
                return false;
            // The high bits choose the slot, the low half is kept to tell entries
            // apart; two fingerprints alike in both would be one entry, and the
            // first stays (no corpus of this size comes near that).
            size_t slot = at.lexBits == 0 ? 0 : static_cast<size_t>(keys[i] >> (64 - at.lexBits));
            const uint32_t check = static_cast<uint32_t>(keys[i]);
            while (lex[slot].used != 0 && lex[slot].check != check)
                slot = (slot + 1) & mask;
            if (lex[slot].used == 0)
                lex[slot] = LexSlot{check, entryClasses[i], entryContexts[i], 1};
        }
    }
    // Every weight within the bound that keeps a character's sums in 16 bits.
    const auto bounded = [base](size_t offset, size_t count) {
        const int16_t* w = reinterpret_cast<const int16_t*>(base + offset);
        for (size_t i = 0; i < count; ++i)
            if (w[i] < -kMaxWeight || w[i] > kMaxWeight)
                return false;
        return true;
    };
    if (!bounded(at.unigram, size_t(rows) * kUnigramWeights) ||
        !bounded(at.trigram, size_t(classes) * classes * classes * kW) ||
        !bounded(at.pairWeights, size_t(pairs) * kPairWeights) || !bounded(at.lexWeights, kLexWeights) ||
        !bounded(at.contextWeights, kContextWeights))
        return false;

    block = std::move(newBlock);
    classOf = base + at.classOf;
    denseOf = dense;
    unigram = reinterpret_cast<const int16_t*>(base + at.unigram);
    classTrigram = reinterpret_cast<const int16_t*>(base + at.trigram);
    pairWeights = reinterpret_cast<const int16_t*>(base + at.pairWeights);
    pairTable = table;
    pairBits = at.pairBits;
    lexWeights = reinterpret_cast<const int16_t*>(base + at.lexWeights);
    lexTable = lex;
    contextWeights = reinterpret_cast<const int16_t*>(base + at.contextWeights);
    lexBits = at.lexBits;
    lexCount = static_cast<int>(entries);
    classCount = static_cast<int>(classes);
    charCount = static_cast<int>(chars);
    pairCount = static_cast<int>(pairs);
    scale = newScale;
    std::memcpy(transitions, newTransitions, sizeof transitions);
    loaded = true;
    return true;
}

int CNameModel::Prepare(const char* text, int length, Workspace& ws) const
{
    ws.charCount = 0;
    ws.starts.clear();
    ws.names.clear();
    ws.labels.clear();
    if (!loaded || text == nullptr || length <= 0)
        return 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    ws.starts.assign(2, 0);
    for (int pos = 0; pos < length; pos += CharLength(p, pos, length))
        ws.starts.push_back(pos);
    const int n = static_cast<int>(ws.starts.size()) - 2;
    ws.starts.push_back(length);
    ws.starts.push_back(length);
    ws.starts.push_back(length);
    ws.charCount = n;

    charmodelfile::FillWindow(p, length, ws.starts.data() + 2, n, classOf, denseOf, classCount, kBeforeSentence,
                              kAfterSentence, ws.keys, ws.dense, ws.classes);
    return Score(ws);
}

int CNameModel::Prepare(const int* charStarts, const int32_t* keys, int n, Workspace& ws) const
{
    ws.charCount = 0;
    ws.starts.clear();
    ws.names.clear();
    ws.labels.clear();
    if (!loaded || charStarts == nullptr || keys == nullptr || n <= 0)
        return 0;
    const size_t width = static_cast<size_t>(n) + 4;
    ws.starts.resize(width + 1);
    ws.keys.resize(width);
    ws.dense.resize(width);
    ws.classes.resize(width);
    const int base = charStarts[0];
    int* starts = ws.starts.data();
    starts[0] = starts[1] = 0;
    const uint8_t padClass = static_cast<uint8_t>(classCount - 1);
    // The pads as FillWindow makes them.
    for (size_t w : {size_t(0), size_t(1), width - 2, width - 1}) {
        ws.keys[w] = w < 2 ? -1 : -2;
        ws.dense[w] = w < 2 ? kBeforeSentence : kAfterSentence;
        ws.classes[w] = padClass;
    }
    for (int i = 0; i < n; ++i) {
        const size_t w = static_cast<size_t>(i) + 2;
        const uint32_t key = static_cast<uint32_t>(keys[i]) & 0xFFFF;
        starts[w] = charStarts[i] - base;
        ws.keys[w] = keys[i];
        ws.dense[w] = denseOf[key];
        ws.classes[w] = classOf[key];
    }
    starts[n + 2] = starts[n + 3] = starts[n + 4] = charStarts[n] - base;
    ws.charCount = n;
    return Score(ws);
}

int CNameModel::Score(Workspace& ws) const
{
    const int n = ws.charCount;
    Emissions(ws);
    ws.perUnit = 1.0 / static_cast<double>(scale);
    ws.labelBonus.assign(static_cast<size_t>(n) * kL, 0);
    ws.endBonus.assign(static_cast<size_t>(n) + 1, 0);
    ws.boundaryPenalty = 0;
    ws.noBoundary.assign(static_cast<size_t>(n) + 1, 0);
    return n;
}

int CNameModel::OpeningMargin(int32_t key) const
{
    if (!loaded || key < 0 || key >= kKeyCount)
        return 0;
    // The character's own block: offset 0 of its row.
    const int16_t* own = &unigram[size_t(denseOf[key]) * kUnigramWeights + 2 * kW];
    return std::max(own[kSB], own[kWB]) - own[kO];
}

int64_t CNameModel::Workspace::Units(float score) const
{
    int64_t units = 0;
    AddUnits(units, score, perUnit);
    return units;
}

void CNameModel::Workspace::AddLabelBonus(int i, int label, float score)
{
    if (i >= 0 && i < charCount && label >= 0 && label < kL)
        AddUnits(labelBonus[static_cast<size_t>(i) * kL + static_cast<size_t>(label)], score, perUnit);
}

void CNameModel::Workspace::AddEndBonus(int j, float score)
{
    if (j >= 0 && j <= charCount)
        AddUnits(endBonus[static_cast<size_t>(j)], score, perUnit);
}

void CNameModel::Emissions(Workspace& ws) const
{
    const int n = ws.charCount;
    const size_t width = static_cast<size_t>(n) + 4;
    ws.pairKeys.resize(width - 1);
    // Rows and slots lie scattered over a few megabytes: everything a sentence
    // needs is asked for before any of it is read, so that the misses overlap.
    for (size_t w = 0; w < width; ++w) {
        const int16_t* row = &unigram[size_t(ws.dense[w]) * kUnigramWeights];
        __builtin_prefetch(row);
        __builtin_prefetch(row + kUnigramWeights - 1);
    }
    for (size_t j = 0; j + 1 < width; ++j) {
        const uint16_t a = ws.dense[j], b = ws.dense[j + 1];
        ws.pairKeys[j] = (a == kUnknownChar || b == kUnknownChar) ? 0 : PairKey(a, b);
    }
    // A pair the model lacks adds a row of zeros, so the sums below take every
    // row without a test; adding zero changes no sum.
    static const int16_t kNoWeights[kPairWeights] = {};
    charmodelfile::FindRows(pairTable, pairBits, pairWeights, kPairWeights, ws.pairKeys, ws.pairAt, kNoWeights);
    Lexicon(ws);
    ws.emission.resize(static_cast<size_t>(n) * kL);
    const size_t k = static_cast<size_t>(classCount);
    for (int i = 0; i < n; ++i) {
        const size_t w = static_cast<size_t>(i) + 2;
        // At most kMaxBlocks blocks of weights within +-kMaxWeight: the sum fits.
        Block s = {0, 0, 0, 0, 0, 0, 0, 0};
        for (size_t o = 0; o < kOffsets; ++o)
            s += LoadBlock(&unigram[size_t(ws.dense[w - 2 + o]) * kUnigramWeights + o * kW]);
        s += LoadBlock(&classTrigram[((ws.classes[w - 1] * k + ws.classes[w]) * k + ws.classes[w + 1]) * kW]);
        for (size_t t = 0; t < kPairPlaces; ++t)
            s += LoadBlock(ws.pairAt[w - 2 + t] + t * kW);
        // The strings found at this character and its neighbours.
        const int32_t* found = &ws.lexFound[size_t(i) * kLexMatches];
        const int32_t before = i > 0 ? found[1 - kLexMatches] : 0;  // ends at i - 1
        const int32_t after = i + 1 < n ? found[kLexMatches + 0] : 0; // begins at i + 1
        const int32_t codes[kLexPlaces] = {found[0], found[1], found[2], before, after};
        for (int place = 0; place < kLexPlaces; ++place)
            if (codes[place] != 0)
                s += LoadBlock(lexWeights + LexBlock((codes[place] >> 4) & 15, place, codes[place] & 15));
        if (before != 0)
            s += LoadBlock(contextWeights + ContextBlock(0, (before >> 8) / kContextBuckets, before & 15));
        if (after != 0)
            s += LoadBlock(contextWeights + ContextBlock(1, (after >> 8) % kContextBuckets, after & 15));
        int32_t* e = &ws.emission[size_t(i) * kL];
        for (int l = 0; l < kL; ++l)
            e[l] = s[l];
    }
}

const CNameModel::LexSlot* CNameModel::FindLex(uint64_t fingerprint) const
{
    const size_t mask = (size_t(1) << lexBits) - 1;
    const uint32_t check = static_cast<uint32_t>(fingerprint);
    // A quarter of the slots at least is empty, so every probe run ends.
    for (size_t at = LexHome(fingerprint);; at = (at + 1) & mask) {
        const LexSlot& slot = lexTable[at];
        if (slot.used == 0)
            return nullptr;
        if (slot.check == check)
            return &slot;
    }
}

void CNameModel::Lexicon(Workspace& ws) const
{
    // Every string of the lexicon that starts at each character, by a walk over
    // its prefixes; each character notes the longest string that begins there,
    // the longest that ends there and the longest that runs across it.
    const int n = ws.charCount;
    ws.lexFound.assign(static_cast<size_t>(n) * kLexMatches, 0);
    if (lexTable == nullptr || n < 2)
        return;
    auto note = [&ws](int c, int place, int length, int32_t code) {
        int32_t& at = ws.lexFound[static_cast<size_t>(c) * kLexMatches + static_cast<size_t>(place)];
        if (length > (at & 15))
            at = code;
    };
    // The walks' first steps (two characters) are fetched ahead, so that their
    // cache misses overlap.
    ws.lexFirst.resize(static_cast<size_t>(n));
    for (int i = 0; i + 1 < n; ++i) {
        const uint64_t h = Fingerprint(Fingerprint(kFingerprintSeed, ws.keys[static_cast<size_t>(i) + 2]),
                                       ws.keys[static_cast<size_t>(i) + 3]);
        ws.lexFirst[static_cast<size_t>(i)] = h;
        __builtin_prefetch(&lexTable[LexHome(h)]);
    }
    for (int i = 0; i + 1 < n; ++i) {
        uint64_t h = ws.lexFirst[static_cast<size_t>(i)];
        for (int length = 2; length <= kMaxLexLength && i + length <= n; ++length) {
            if (length > 2)
                h = Fingerprint(h, ws.keys[static_cast<size_t>(i + length - 1) + 2]);
            const LexSlot* slot = FindLex(h);
            if (slot == nullptr)
                break;
            if (slot->lexClass == kPrefixOnly)
                continue;
            const int32_t code = LexCode(slot->context, slot->lexClass & ~kContinues, length);
            note(i, 0, length, code);
            note(i + length - 1, 1, length, code);
            for (int c = i + 1; c < i + length - 1; ++c)
                note(c, 2, length, code);
            if ((slot->lexClass & kContinues) == 0)
                break; // no longer entry begins with this one
        }
    }
}

int64_t CNameModel::LabellingScore(const Workspace& ws, int first, int last, const uint8_t* labels) const
{
    const int n = ws.charCount;
    if (labels == nullptr || first < 0 || last > n || last <= first || ws.labels.size() != static_cast<size_t>(n))
        return kNoLabelling;
    const auto isOpener = [](int l) { return l == kO || l == kSB || l == kWB; };
    const auto cutAt = [&ws](int i) { return ws.noBoundary[static_cast<size_t>(i)] ? ws.boundaryPenalty : 0; };
    // The closing of a name before place i (i > 0), as Decode pays it.
    const auto link = [&](int previous, int next, int i) -> int64_t {
        if (!kAllowed[previous][next])
            return kNoLabelling;
        int64_t s = transitions[previous * kL + next];
        if (previous != kO && isOpener(next))
            s += ws.endBonus[static_cast<size_t>(i)] - cutAt(i);
        return s;
    };
    int64_t score = 0;
    for (int i = first; i < last; ++i) {
        const int l = labels[i - first];
        if (l < 0 || l >= kL)
            return kNoLabelling;
        const size_t at = static_cast<size_t>(i) * kL + static_cast<size_t>(l);
        score += ws.emission[at] + ws.labelBonus[at];
        if (i == 0) {
            if (!kCanStart[l])
                return kNoLabelling;
            continue;
        }
        const int previous = i == first ? ws.labels[static_cast<size_t>(i - 1)] : labels[i - 1 - first];
        const int64_t s = link(previous, l, i);
        if (s == kNoLabelling)
            return kNoLabelling;
        score += s - (l == kSB || l == kWB ? cutAt(i) : 0);
    }
    const int end = labels[last - 1 - first];
    if (last == n) {
        if (!kCanEnd[end])
            return kNoLabelling;
        return score + (end != kO ? ws.endBonus[static_cast<size_t>(n)] : 0);
    }
    const int64_t s = link(end, ws.labels[static_cast<size_t>(last)], last);
    return s == kNoLabelling ? kNoLabelling : score + s;
}

int CNameModel::Decode(Workspace& ws) const
{
    ws.names.clear();
    const size_t n = static_cast<size_t>(ws.charCount);
    if (n == 0)
        return 0;
    ws.forward.resize(n * kL);
    ws.back.resize(n);
    ws.labels.resize(n);
    int64_t* f = ws.forward.data();
    uint32_t* back = ws.back.data();
    const int32_t* emission = ws.emission.data();
    const int64_t* labelBonus = ws.labelBonus.data();
    const int64_t* endBonus = ws.endBonus.data();
    const uint8_t* noBoundary = ws.noBoundary.data();
    const int64_t boundaryPenalty = ws.boundaryPenalty;
    for (int l = 0; l < kL; ++l)
        f[l] = kCanStart[l] ? emission[l] + labelBonus[l] : kImpossible;
    back[0] = 0;
    // The grammar spelt out: O, SB and WB follow O or the end of a name (G1, G2,
    // WB, WI; those pay the end bonus); S2 follows SB; G1 follows SB or S2; G2
    // follows G1; WI follows WB or WI. Predecessors are tried in label order and
    // the earlier keeps a tie. A state no labelling reaches stays far below every
    // real score, so nothing ever prefers it.
    static const int kClosers[5] = {kO, kG1, kG2, kWB, kWI};
    static const int kOpeners[3] = {kO, kSB, kWB};
    int64_t open[3][5]; // transitions from the closers into O, SB, WB
    for (int target = 0; target < 3; ++target)
        for (int q = 0; q < 5; ++q)
            open[target][q] = transitions[kClosers[q] * kL + kOpeners[target]];
    const int64_t tS2 = transitions[kSB * kL + kS2], tSBG1 = transitions[kSB * kL + kG1],
                  tS2G1 = transitions[kS2 * kL + kG1], tG2 = transitions[kG1 * kL + kG2],
                  tWBWI = transitions[kWB * kL + kWI], tWIWI = transitions[kWI * kL + kWI];
    for (size_t i = 1; i < n; ++i) {
        const int64_t* p = f + (i - 1) * kL;
        int64_t* c = f + i * kL;
        const int32_t* x = emission + i * kL;
        const int64_t* bonus = labelBonus + i * kL;
        // Inside a token a name may neither begin nor end without paying.
        const int64_t cut = noBoundary[i] ? boundaryPenalty : 0;
        const int64_t end = endBonus[i] - cut;
        const int64_t closed[5] = {p[kO], p[kG1] + end, p[kG2] + end, p[kWB] + end, p[kWI] + end};
        uint32_t from = 0; // 3 bits per label: the label before it
        for (int target = 0; target < 3; ++target) {
            int64_t best = closed[0] + open[target][0];
            int q0 = 0;
            for (int q = 1; q < 5; ++q) {
                const int64_t v = closed[q] + open[target][q];
                if (v > best) {
                    best = v;
                    q0 = q;
                }
            }
            const int l = kOpeners[target];
            c[l] = best + x[l] + bonus[l] - (l == kO ? 0 : cut);
            from |= static_cast<uint32_t>(kClosers[q0]) << (3 * l);
        }
        c[kS2] = p[kSB] + tS2 + x[kS2] + bonus[kS2];
        from |= uint32_t(kSB) << (3 * kS2);
        const int64_t sbG1 = p[kSB] + tSBG1, s2G1 = p[kS2] + tS2G1;
        c[kG1] = (sbG1 >= s2G1 ? sbG1 : s2G1) + x[kG1] + bonus[kG1];
        from |= uint32_t(sbG1 >= s2G1 ? kSB : kS2) << (3 * kG1);
        c[kG2] = p[kG1] + tG2 + x[kG2] + bonus[kG2];
        from |= uint32_t(kG1) << (3 * kG2);
        const int64_t wbWI = p[kWB] + tWBWI, wiWI = p[kWI] + tWIWI;
        c[kWI] = (wbWI >= wiWI ? wbWI : wiWI) + x[kWI] + bonus[kWI];
        from |= uint32_t(wbWI >= wiWI ? kWB : kWI) << (3 * kWI);
        back[i] = from;
    }
    const int64_t* last = f + (n - 1) * kL;
    const int64_t finalEnd = endBonus[n];
    int label = kO;
    int64_t best = last[kO];
    for (int l = 1; l < kL; ++l) {
        if (!kCanEnd[l])
            continue;
        const int64_t s = last[l] + finalEnd;
        if (s > best) {
            best = s;
            label = l;
        }
    }
    for (size_t i = n; i-- > 0;) {
        ws.labels[i] = static_cast<uint8_t>(label);
        label = static_cast<int>((back[i] >> (3 * label)) & 7);
    }
    // The names of the labelling.
    const int* starts = ws.GetCharStarts();
    for (size_t i = 0; i < n;) {
        const uint8_t l = ws.labels[i];
        if (l != kSB && l != kWB) {
            ++i;
            continue;
        }
        size_t j = i + 1;
        int split = -1;
        if (l == kSB) {
            while (j < n && ws.labels[j] == kS2)
                ++j;
            split = starts[j];
        }
        while (j < n && Continues(ws.labels[j]))
            ++j;
        ws.names.push_back(Name{starts[i], starts[j], split});
        i = j;
    }
    return static_cast<int>(ws.names.size());
}
