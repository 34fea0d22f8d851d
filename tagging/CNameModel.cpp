#include "tagging/CNameModel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "lexicon/BinaryFile.h"

constexpr char CNameModel::kMagic[4];

namespace {

using N = CNameModel;
constexpr int kL = N::kLabelCount;
// Far below every real score; sums of a few stay far from overflow.
constexpr int64_t kImpossible = std::numeric_limits<int64_t>::min() / 4;
constexpr float kMaxScale = 1e6f;
constexpr uint32_t kMaxRows = 1u << 26;
// Bonuses are clamped to this many weight units, so that no sum can overflow.
constexpr double kMaxBonus = 1e12;

int CharLength(const unsigned char* p, int pos, int length)
{
    return (p[pos] >= 0x80 && pos + 1 < length) ? 2 : 1;
}

int32_t KeyAt(const unsigned char* p, int pos, int length)
{
    if (p[pos] < 0x80 || pos + 1 >= length)
        return p[pos];
    return p[pos] * 256 + p[pos + 1];
}

uint32_t PairKey(uint32_t a, uint32_t b) { return a << 16 | b; }

size_t SlotOf(uint32_t key, int bits)
{
    return bits == 0 ? 0 : static_cast<size_t>(static_cast<uint32_t>(key * 0x9E3779B1u) >> (32 - bits));
}

int TableBits(uint32_t count)
{
    if (count == 0)
        return -1;
    int bits = 0;
    while ((uint64_t(1) << bits) * 3 < uint64_t(count) * 4)
        ++bits;
    return bits;
}

struct Layout {
    size_t classOf, denseOf, unigram, trigram, pairWeights, pairTable, lexWeights, contextWeights, lexTable, lexClasses,
        lexContexts, total;
    int pairBits, lexBits;
};

Layout Plan(uint32_t classes, uint32_t chars, uint32_t pairs, uint32_t entries)
{
    Layout l{};
    size_t at = 0;
    auto place = [&at](size_t bytes) {
        const size_t here = at;
        at = (at + bytes + 63) / 64 * 64;
        return here;
    };
    l.pairBits = TableBits(pairs);
    l.classOf = place(N::kKeyCount);
    l.denseOf = place(2 * size_t(N::kKeyCount));
    l.unigram = place(2 * (size_t(chars) + N::kReservedRows) * N::kUnigramWeights);
    l.trigram = place(2 * size_t(classes) * classes * classes * kL);
    l.pairWeights = place(2 * size_t(pairs) * N::kPairWeights);
    l.pairTable = place(l.pairBits < 0 ? 0 : size_t(8) << l.pairBits);
    l.lexBits = TableBits(entries);
    l.lexWeights = place(2 * size_t(N::kLexWeights));
    l.contextWeights = place(2 * size_t(N::kContextWeights));
    l.lexTable = place(l.lexBits < 0 ? 0 : size_t(8) << l.lexBits);
    l.lexClasses = place(l.lexBits < 0 ? 0 : size_t(1) << l.lexBits);
    l.lexContexts = place(l.lexBits < 0 ? 0 : size_t(1) << l.lexBits);
    l.total = at;
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

void CNameModel::FreeBlock::operator()(uint8_t* p) const { std::free(p); }

CNameModel::CNameModel() = default;
CNameModel::~CNameModel() = default;

bool CNameModel::Load(const char* path)
{
    BinaryFile file(path, "rb");
    if (!file.IsOpen())
        return false;
    uint8_t header[kHeaderBytes];
    if (file.Read(header, sizeof header) != sizeof header || std::memcmp(header, kMagic, 4) != 0)
        return false;
    uint32_t fields[6];
    float newScale = 0;
    uint32_t reserved = 0;
    int32_t newTransitions[kL * kL];
    std::memcpy(fields, header + 4, sizeof fields);
    std::memcpy(&newScale, header + 28, sizeof newScale);
    std::memcpy(&reserved, header + 32, sizeof reserved);
    std::memcpy(newTransitions, header + 36, sizeof newTransitions);
    const uint32_t version = fields[0], labels = fields[1], classes = fields[2], chars = fields[3],
                   pairs = fields[4], entries = fields[5];
    if (version != kVersion || labels != static_cast<uint32_t>(kL) || classes < 2 || classes > kMaxClasses ||
        chars > kMaxChars || pairs > kMaxRows || entries > kMaxRows || reserved != 0)
        return false;
    if (!std::isfinite(newScale) || newScale <= 0 || newScale > kMaxScale)
        return false;
    for (int32_t t : newTransitions)
        if (t < -kMaxTransition || t > kMaxTransition)
            return false;
    const uint32_t rows = chars + kReservedRows;
    const uint64_t expected = uint64_t(kHeaderBytes) + kKeyCount + 2 * uint64_t(chars) +
                              2 * uint64_t(rows) * kUnigramWeights + 2 * uint64_t(classes) * classes * classes * kL +
                              (4 + 2 * uint64_t(kPairWeights)) * pairs + 2 * uint64_t(kLexWeights) +
                              2 * uint64_t(kContextWeights) + 10 * uint64_t(entries);
    if (file.Size() < 0 || static_cast<uint64_t>(file.Size()) != expected)
        return false;

    const Layout at = Plan(classes, chars, pairs, entries);
    std::unique_ptr<uint8_t, FreeBlock> newBlock(static_cast<uint8_t*>(std::malloc(at.total == 0 ? 1 : at.total)));
    if (!newBlock)
        return false;
    uint8_t* base = newBlock.get();
    auto read = [&file, base](size_t offset, size_t bytes) {
        return bytes == 0 || file.Read(base + offset, bytes) == bytes;
    };
    // The last class belongs to the positions outside the sentence.
    if (!read(at.classOf, kKeyCount))
        return false;
    for (size_t key = 0; key < kKeyCount; ++key)
        if (base[at.classOf + key] >= classes - 1)
            return false;
    std::vector<uint16_t> charKeys(chars);
    if (chars > 0 && file.Read(charKeys.data(), 2 * size_t(chars)) != 2 * size_t(chars))
        return false;
    uint16_t* dense = reinterpret_cast<uint16_t*>(base + at.denseOf);
    std::fill(dense, dense + kKeyCount, static_cast<uint16_t>(kUnknownChar));
    for (size_t i = 0; i < charKeys.size(); ++i) {
        if (i > 0 && charKeys[i] <= charKeys[i - 1])
            return false;
        dense[charKeys[i]] = static_cast<uint16_t>(i + kReservedRows);
    }
    if (!read(at.unigram, 2 * size_t(rows) * kUnigramWeights) ||
        !read(at.trigram, 2 * size_t(classes) * classes * classes * kL))
        return false;
    Slot* table = at.pairBits < 0 ? nullptr : reinterpret_cast<Slot*>(base + at.pairTable);
    if (table != nullptr) {
        std::fill(table, table + (size_t(1) << at.pairBits), Slot{0, -1});
        std::vector<uint32_t> keys(pairs);
        if (file.Read(keys.data(), 4 * size_t(pairs)) != 4 * size_t(pairs))
            return false;
        const size_t mask = (size_t(1) << at.pairBits) - 1;
        for (size_t i = 0; i < keys.size(); ++i) {
            const uint32_t key = keys[i], a = key >> 16, b = key & 0xFFFF;
            // The halves are rows of real characters or pads, never the unknown row.
            if ((i > 0 && key <= keys[i - 1]) || a == 0 || b == 0 || a >= rows || b >= rows)
                return false;
            size_t slot = SlotOf(key, at.pairBits);
            while (table[slot].row >= 0)
                slot = (slot + 1) & mask;
            table[slot] = Slot{key, static_cast<int32_t>(i)};
        }
    }
    if (!read(at.pairWeights, 2 * size_t(pairs) * kPairWeights) || !read(at.lexWeights, 2 * size_t(kLexWeights)) ||
        !read(at.contextWeights, 2 * size_t(kContextWeights)))
        return false;
    // The lexicon: fingerprints strictly increasing (so none twice, and none is
    // 0, the empty slot), then their classes, then their contexts.
    LexSlot* lex = at.lexBits < 0 ? nullptr : reinterpret_cast<LexSlot*>(base + at.lexTable);
    uint8_t* lexClassOf = at.lexBits < 0 ? nullptr : base + at.lexClasses;
    uint8_t* lexContextOf = at.lexBits < 0 ? nullptr : base + at.lexContexts;
    if (lex != nullptr) {
        std::fill(lex, lex + (size_t(1) << at.lexBits), LexSlot{0});
        std::vector<uint64_t> keys(entries);
        std::vector<uint8_t> entryClasses(entries), entryContexts(entries);
        if (file.Read(keys.data(), 8 * size_t(entries)) != 8 * size_t(entries) ||
            file.Read(entryClasses.data(), entries) != entries || file.Read(entryContexts.data(), entries) != entries)
            return false;
        const size_t mask = (size_t(1) << at.lexBits) - 1;
        for (size_t i = 0; i < keys.size(); ++i) {
            const bool prefix = entryClasses[i] == kPrefixOnly;
            if (keys[i] == 0 || (i > 0 && keys[i] <= keys[i - 1]) || (entryClasses[i] >= kLexClasses && !prefix) ||
                entryContexts[i] >= kContextBuckets * kContextBuckets || (prefix && entryContexts[i] != 0))
                return false;
            size_t slot = at.lexBits == 0 ? 0 : static_cast<size_t>(keys[i] >> (64 - at.lexBits)) & mask;
            while (lex[slot].key != 0)
                slot = (slot + 1) & mask;
            lex[slot].key = keys[i];
            lexClassOf[slot] = entryClasses[i];
            lexContextOf[slot] = entryContexts[i];
        }
    }

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
    lexClasses = lexClassOf;
    lexContexts = lexContextOf;
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

    // The window: index w is character w - 2; two pads on each side.
    const size_t width = static_cast<size_t>(n) + 4;
    ws.keys.resize(width);
    ws.dense.resize(width);
    ws.classes.resize(width);
    const uint8_t padClass = static_cast<uint8_t>(classCount - 1);
    for (size_t w = 0; w < width; ++w) {
        const int c = static_cast<int>(w) - 2;
        if (c < 0 || c >= n) {
            ws.keys[w] = c < 0 ? -1 : -2;
            ws.dense[w] = c < 0 ? kBeforeSentence : kAfterSentence;
            ws.classes[w] = padClass;
        } else {
            const int32_t key = KeyAt(p, ws.starts[w], length);
            ws.keys[w] = key;
            ws.dense[w] = denseOf[static_cast<size_t>(key)];
            ws.classes[w] = classOf[static_cast<size_t>(key)];
        }
    }
    Emissions(ws);
    ws.perUnit = 1.0 / static_cast<double>(scale);
    ws.labelBonus.assign(static_cast<size_t>(n) * kL, 0);
    ws.endBonus.assign(static_cast<size_t>(n) + 1, 0);
    return n;
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
    ws.pairAt.assign(width - 1, nullptr);
    for (size_t j = 0; j + 1 < width; ++j) {
        const uint16_t a = ws.dense[j], b = ws.dense[j + 1];
        ws.pairKeys[j] = (a == kUnknownChar || b == kUnknownChar) ? 0 : PairKey(a, b);
        if (ws.pairKeys[j] != 0 && pairTable != nullptr)
            __builtin_prefetch(&pairTable[SlotOf(ws.pairKeys[j], pairBits)]);
    }
    if (pairTable != nullptr) {
        const size_t mask = (size_t(1) << pairBits) - 1;
        for (size_t j = 0; j + 1 < width; ++j) {
            const uint32_t key = ws.pairKeys[j];
            if (key == 0)
                continue;
            // A quarter of the slots at least is empty, so every probe run ends.
            for (size_t at = SlotOf(key, pairBits);; at = (at + 1) & mask) {
                const Slot& slot = pairTable[at];
                if (slot.row < 0)
                    break;
                if (slot.key == key) {
                    ws.pairAt[j] = pairWeights + static_cast<size_t>(slot.row) * kPairWeights;
                    break;
                }
            }
        }
    }
    Lexicon(ws);
    ws.emission.resize(static_cast<size_t>(n) * kL);
    const size_t k = static_cast<size_t>(classCount);
    for (int i = 0; i < n; ++i) {
        const size_t w = static_cast<size_t>(i) + 2;
        int32_t s[kL] = {};
        auto add = [&s](const int16_t* row) {
            for (int l = 0; l < kL; ++l)
                s[l] += row[l];
        };
        for (size_t o = 0; o < kOffsets; ++o)
            add(&unigram[size_t(ws.dense[w - 2 + o]) * kUnigramWeights + o * kL]);
        add(&classTrigram[((ws.classes[w - 1] * k + ws.classes[w]) * k + ws.classes[w + 1]) * kL]);
        for (size_t t = 0; t < kPairPlaces; ++t)
            if (const int16_t* row = ws.pairAt[w - 2 + t])
                add(row + t * kL);
        // The strings found at this character and its neighbours.
        const int32_t* found = &ws.lexFound[size_t(i) * kLexMatches];
        const int32_t before = i > 0 ? found[1 - kLexMatches] : 0;                         // ends at i - 1
        const int32_t after = i + 1 < n ? found[kLexMatches + 0] : 0;                      // begins at i + 1
        const int32_t codes[kLexPlaces] = {found[0], found[1], found[2], before, after};
        for (int place = 0; place < kLexPlaces; ++place)
            if (codes[place] != 0)
                add(lexWeights + LexBlock((codes[place] >> 4) & 15, place, codes[place] & 15));
        if (before != 0)
            add(contextWeights + ContextBlock(0, (before >> 8) / kContextBuckets, before & 15));
        if (after != 0)
            add(contextWeights + ContextBlock(1, (after >> 8) % kContextBuckets, after & 15));
        for (int l = 0; l < kL; ++l)
            ws.emission[size_t(i) * kL + size_t(l)] = s[l];
    }
}

int64_t CNameModel::LexSlotOf(uint64_t fingerprint) const
{
    if (lexTable == nullptr)
        return -1;
    const size_t mask = (size_t(1) << lexBits) - 1;
    // A quarter of the slots at least is empty, so every probe run ends.
    for (size_t at = lexBits == 0 ? 0 : static_cast<size_t>(fingerprint >> (64 - lexBits)) & mask;;
         at = (at + 1) & mask) {
        if (lexTable[at].key == 0)
            return -1;
        if (lexTable[at].key == fingerprint)
            return static_cast<int64_t>(at);
    }
}

void CNameModel::Lexicon(Workspace& ws) const
{
    // Every string of the lexicon that starts at each character, by a walk over
    // its prefixes; each character notes the longest string that begins there,
    // the longest that ends there and the longest that runs across it.
    const int n = ws.charCount;
    ws.lexFound.assign(static_cast<size_t>(n) * kLexMatches, 0);
    if (lexTable == nullptr)
        return;
    auto note = [&ws](int c, int place, int length, int32_t code) {
        int32_t& at = ws.lexFound[static_cast<size_t>(c) * kLexMatches + static_cast<size_t>(place)];
        if (length > (at & 15))
            at = code;
    };
    for (int i = 0; i < n; ++i) {
        uint64_t h = Fingerprint(kFingerprintSeed, ws.keys[static_cast<size_t>(i) + 2]);
        for (int length = 2; length <= kMaxLexLength && i + length <= n; ++length) {
            h = Fingerprint(h, ws.keys[static_cast<size_t>(i + length - 1) + 2]);
            const int64_t slot = LexSlotOf(h);
            if (slot < 0)
                break;
            const int cls = lexClasses[slot];
            if (cls == kPrefixOnly)
                continue;
            const int32_t code = LexCode(lexContexts[slot], cls, length);
            note(i, 0, length, code);
            note(i + length - 1, 1, length, code);
            for (int c = i + 1; c < i + length - 1; ++c)
                note(c, 2, length, code);
        }
    }
}

int CNameModel::Decode(Workspace& ws) const
{
    ws.names.clear();
    const size_t n = static_cast<size_t>(ws.charCount);
    if (n == 0)
        return 0;
    ws.forward.resize(n * kL);
    ws.back.resize(n * kL);
    ws.labels.resize(n);
    // The name-end bonus applies where a name label is followed by one that does
    // not continue it.
    auto labelBonus = [&](size_t i, int l) { return ws.labelBonus[i * kL + size_t(l)]; };
    auto endBonus = [&](size_t j) { return ws.endBonus[j]; };
    int64_t* f = ws.forward.data();
    for (int l = 0; l < kL; ++l)
        f[l] = kCanStart[l] ? ws.emission[size_t(l)] + labelBonus(0, l) : kImpossible;
    for (size_t i = 1; i < n; ++i) {
        const int64_t* p = f + (i - 1) * kL;
        int64_t* c = f + i * kL;
        uint8_t* b = &ws.back[i * kL];
        const int64_t end = endBonus(i);
        for (int l = 0; l < kL; ++l) {
            int64_t best = kImpossible;
            int from = 0;
            for (int q = 0; q < kL; ++q) {
                if (!kAllowed[q][l] || p[q] <= kImpossible)
                    continue;
                int64_t s = p[q] + transitions[q * kL + l];
                if (q != kO && !Continues(l))
                    s += end;
                // On equal scores the earlier label stays.
                if (s > best) {
                    best = s;
                    from = q;
                }
            }
            c[l] = best <= kImpossible ? kImpossible : best + ws.emission[i * kL + size_t(l)] + labelBonus(i, l);
            b[l] = static_cast<uint8_t>(from);
        }
    }
    const int64_t* last = f + (n - 1) * kL;
    const int64_t finalEnd = endBonus(n);
    int label = -1;
    int64_t best = kImpossible;
    for (int l = 0; l < kL; ++l) {
        if (!kCanEnd[l] || last[l] <= kImpossible)
            continue;
        const int64_t s = last[l] + (l != kO ? finalEnd : 0);
        if (label < 0 || s > best) {
            best = s;
            label = l;
        }
    }
    if (label < 0)
        label = kO; // not reachable: O can always start, follow itself and end
    for (size_t i = n; i-- > 0;) {
        ws.labels[i] = static_cast<uint8_t>(label);
        label = ws.back[i * kL + static_cast<size_t>(label)];
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
