#include "tagging/CPosModel.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "lexicon/GbkChar.h"
#include "lexicon/MappedFile.h"
#include "lexicon/ModelBlock.h"
#include "segment/CharKeys.h"
#include "segment/CharText.h"

constexpr char CPosModel::kMagic[4];
static_assert(CPosModel::kHashedTemplates <= CPosModel::kHashedSlots, "the header counts every hashed template");

namespace {

using charkeys::SlotOf;

// The smallest table at most three quarters full.
int TableBits(uint32_t count)
{
    int bits = 0;
    while ((uint64_t(1) << bits) * 3 < uint64_t(count) * 4)
        ++bits;
    return bits;
}

uint16_t Get16(const uint8_t* p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

uint32_t Get32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4); // little-endian hosts only, as every loader of the engine
    return v;
}

size_t Align(size_t at) { return (at + 63) / 64 * 64; }

} // namespace

CPosModel::CPosModel() { std::memset(tagOf, kNoTag, sizeof tagOf); }
CPosModel::~CPosModel() = default;

bool CPosModel::Load(const char* path)
{
    MappedFile file(path);
    if (!file.IsOpen())
        return false;
    const int64_t size = static_cast<int64_t>(file.Size());
    if (size < kHeaderBytes)
        return false;
    const uint8_t* header = file.Data();
    if (std::memcmp(header, kMagic, 4) != 0 || Get32(header + 4) != kVersion)
        return false;
    const uint32_t k = Get32(header + 8), open = Get32(header + 12), expansions = Get32(header + 16),
                   words = Get32(header + 20), chars = Get32(header + 24), entries = Get32(header + 28);
    float fileScale;
    std::memcpy(&fileScale, header + 32, 4);
    if (k < 1 || k > static_cast<uint32_t>(kMaxTags) || open < 1 || open > k || expansions > kMaxExpansions ||
        words > kMaxWords || chars > kMaxChars || entries > kMaxEntries || !std::isfinite(fileScale) ||
        !(fileScale > 0) || fileScale > 1e6f || Get32(header + 36) > kMaxUnfolded)
        return false;
    const uint32_t unfoldedWords = Get32(header + 36);
    for (int at = kHashedAt + 4 * kHashedSlots; at < kHeaderBytes; at += 4)
        if (Get32(header + at) != 0)
            return false;
    uint32_t hashed[kHashedSlots];
    uint64_t hashedTotal = 0;
    for (int t = 0; t < kHashedSlots; ++t) {
        hashed[t] = Get32(header + kHashedAt + 4 * t);
        if ((t >= kHashedTemplates && hashed[t] != 0) || hashed[t] > kMaxHashedKeys)
            return false;
        hashedTotal += hashed[t];
    }
    const uint64_t rows = uint64_t(kWordTemplates) * words + uint64_t(kCharTemplates) * chars + hashedTotal;
    const uint64_t body = uint64_t(k) + open + 2 * uint64_t(expansions) + 4 * uint64_t(unfoldedWords) +
                          2 * uint64_t(k) * k + 2 * uint64_t(chars) + 4 * hashedTotal + rows + 3 * uint64_t(entries);
    if (size < 0 || static_cast<uint64_t>(size) != kHeaderBytes + body)
        return false;

    // The body is checked and spread into the model's block straight from the file's mapping.
    const uint8_t* codes = file.Data() + kHeaderBytes;
    const uint8_t* opens = codes + k;
    const uint8_t* expansionPairs = opens + open;
    const uint8_t* unfoldedIds = expansionPairs + 2 * size_t(expansions);
    const uint8_t* pairs = unfoldedIds + 4 * size_t(unfoldedWords);
    const uint8_t* charKeys = pairs + 2 * size_t(k) * k;
    const uint8_t* hashedKeys = charKeys + 2 * size_t(chars);
    const uint8_t* lengths = hashedKeys + 4 * hashedTotal;
    const uint8_t* tags = lengths + rows;
    const uint8_t* values = tags + entries;

    // Tags: distinct codes, none of them "not tagged"; open tags distinct model
    // tags; expansion pairs two different model tags, in rising order.
    uint8_t codeSeen[256] = {}, openSeen[256] = {};
    for (uint32_t t = 0; t < k; ++t)
        if (codes[t] == kNoTag || codeSeen[codes[t]]++)
            return false;
    for (uint32_t i = 0; i < open; ++i)
        if (opens[i] >= k || openSeen[opens[i]]++)
            return false;
    for (uint32_t i = 0; i < expansions; ++i) {
        const uint8_t from = expansionPairs[2 * i], to = expansionPairs[2 * i + 1];
        if (from >= k || to >= k || from == to ||
            (i > 0 && (from < expansionPairs[2 * i - 2] ||
                       (from == expansionPairs[2 * i - 2] && to <= expansionPairs[2 * i - 1]))))
            return false;
    }
    // Unfolded word ids: rising, and words of the model.
    for (uint32_t i = 0; i < unfoldedWords; ++i)
        if (Get32(unfoldedIds + 4 * i) >= words || (i > 0 && Get32(unfoldedIds + 4 * i) <= Get32(unfoldedIds + 4 * (i - 1))))
            return false;
    for (uint32_t i = 1; i < chars; ++i)
        if (Get16(charKeys + 2 * i) <= Get16(charKeys + 2 * (i - 1)))
            return false;
    for (size_t t = 0, at = 0; t < kHashedTemplates; at += hashed[t], ++t)
        for (size_t i = 1; i < hashed[t]; ++i)
            if (Get32(hashedKeys + 4 * (at + i)) <= Get32(hashedKeys + 4 * (at + i - 1)))
                return false;

    // The block: transitions, the character rows, the hash tables, the first
    // weights of the word and character rows, the weights.
    const size_t side = size_t(k) + 1;
    size_t at = 0;
    const size_t transitionsAt = at;
    at = Align(at + side * side * 4);
    const size_t charRowAt = at;
    at = Align(at + 2 * size_t(kKeyCount));
    size_t tableAt[kHashedTemplates];
    int bits[kHashedTemplates];
    for (int t = 0; t < kHashedTemplates; ++t) {
        bits[t] = TableBits(hashed[t]);
        tableAt[t] = at;
        at = Align(at + (size_t(8) << bits[t]));
    }
    const uint64_t directRows = uint64_t(kWordTemplates) * words + uint64_t(kCharTemplates) * chars;
    const size_t rowFirstAt = at;
    at = Align(at + 4 * directRows);
    // Each row is padded to whole blocks of four weights (the padding adds 0
    // to the extra index tagCount), so that Tag sums blocks without a tail;
    // a row whose blocks would take as many bytes as a weight for every tag
    // is kept as such a dense row instead, read at the token's candidates
    // alone.
    const auto blocksOf = [](uint8_t length) { return (uint64_t(length) + kBlock - 1) / kBlock; };
    const auto isDense = [k](uint64_t blocks) { return blocks > 0 && uint64_t(k) + 1 <= 2 * kBlock * blocks; };
    uint64_t padded = 0, denseRows = 0;
    for (uint64_t r = 0; r < rows; ++r) {
        const uint64_t blocks = blocksOf(lengths[r]);
        if (isDense(blocks))
            ++denseRows;
        else
            padded += blocks * kBlock;
    }
    const uint64_t denseStart = padded + 1, denseSize = denseRows * (uint64_t(k) + 1);
    if (denseStart + denseSize >= uint64_t(INT32_MAX))
        return false;
    const size_t weightsAt = at;
    at = Align(at + sizeof(Weight) * (size_t(padded) + 1));
    const size_t denseAt = at;
    at = Align(at + sizeof(int16_t) * size_t(denseSize));
    ModelBlock fresh = AllocateModelBlock(at);
    uint8_t* base = fresh.get();

    // Rows from their lengths; no row holds more weights than there are tags,
    // together they hold them all, and within a row every tag is a model tag
    // and appears once, in rising order. Where each row begins: its first
    // weight, or denseStart + its place among the dense weights.
    Weight* entryWeights = reinterpret_cast<Weight*>(base + weightsAt);
    int16_t* denseWeights = reinterpret_cast<int16_t*>(base + denseAt);
    std::fill(denseWeights, denseWeights + denseSize, int16_t(0));
    const uint32_t none = static_cast<uint32_t>(padded); // the empty row: no blocks
    entryWeights[none] = Weight{0, 0, 0};
    uint32_t* firsts = reinterpret_cast<uint32_t*>(base + rowFirstAt);
    std::vector<uint32_t> hashedFirsts(static_cast<size_t>(hashedTotal));
    uint64_t sum = 0, at4 = 0, atDense = 0;
    // The file's word rows come template by template; the block keeps them
    // word by word (see rowFirst).
    const uint64_t wordRows = uint64_t(kWordTemplates) * words;
    uint64_t wordTemplate = 0, wordAt = 0; // of row r while it is a word row
    for (uint64_t r = 0; r < rows; ++r) {
        if (lengths[r] > k || sum + lengths[r] > entries)
            return false;
        for (uint64_t e = sum; e < sum + lengths[r]; ++e)
            if (tags[e] >= k || (e > sum && tags[e] <= tags[e - 1]))
                return false;
        const uint64_t blocks = blocksOf(lengths[r]);
        uint32_t first = none;
        if (isDense(blocks)) {
            first = static_cast<uint32_t>(denseStart + atDense);
            for (uint64_t e = sum; e < sum + lengths[r]; ++e)
                denseWeights[atDense + tags[e]] = static_cast<int16_t>(Get16(values + 2 * e));
            atDense += uint64_t(k) + 1;
        } else if (blocks > 0) {
            first = static_cast<uint32_t>(at4);
            for (uint64_t e = 0; e < blocks * kBlock; ++e)
                entryWeights[at4 + e] =
                    e < lengths[r] ? Weight{tags[sum + e], 0, static_cast<int16_t>(Get16(values + 2 * (sum + e)))}
                                   : Weight{static_cast<uint8_t>(k), 0, 0};
            entryWeights[at4].length = static_cast<uint8_t>(blocks);
            at4 += blocks * kBlock;
        }
        if (r < wordRows) {
            firsts[wordAt * kWordTemplates + wordTemplate] = first;
            if (++wordAt == words) {
                wordAt = 0;
                ++wordTemplate;
            }
        } else if (r < directRows) {
            firsts[r] = first;
        }
        else
            hashedFirsts[static_cast<size_t>(r - directRows)] = first;
        sum += lengths[r];
    }
    if (sum != entries)
        return false;

    int32_t* matrix = reinterpret_cast<int32_t*>(base + transitionsAt);
    std::fill(matrix, matrix + side * side, 0);
    for (size_t a = 0; a < k; ++a)
        for (size_t b = 0; b < k; ++b)
            matrix[a * side + b] = static_cast<int16_t>(Get16(pairs + 2 * (a * k + b)));
    uint16_t* rowOfChar = reinterpret_cast<uint16_t*>(base + charRowAt);
    std::fill(rowOfChar, rowOfChar + kKeyCount, uint16_t(0));
    for (uint32_t i = 0; i < chars; ++i)
        rowOfChar[Get16(charKeys + 2 * i)] = static_cast<uint16_t>(i + 1);
    // The hashed rows follow the direct ones, template by template, in key order.
    // Each table is ordered: along the probe run from any key's home slot the
    // keys decrease, an empty slot (key 0) ending the run, so that a look-up
    // stops at the first key not above its own. Most conjunctions a sentence
    // asks for are not stored, and without the order each would walk to the
    // end of its cluster. A key met by a smaller one takes its slot and moves
    // the smaller one on, which still passes through that slot on its own run.
    for (int t = 0, first = 0; t < kHashedTemplates; first += static_cast<int>(hashed[t]), ++t) {
        Slot* table = reinterpret_cast<Slot*>(base + tableAt[t]);
        const size_t slots = size_t(1) << bits[t], mask = slots - 1;
        for (size_t s = 0; s < slots; ++s)
            table[s] = Slot{0, -1};
        for (uint32_t i = 0; i < hashed[t]; ++i) {
            const uint32_t key = Get32(hashedKeys + 4 * (static_cast<size_t>(first) + i));
            Slot entry{key, static_cast<int32_t>(hashedFirsts[static_cast<size_t>(first) + i])};
            for (size_t s = SlotOf(key, bits[t]);; s = (s + 1) & mask) {
                if (table[s].first < 0) {
                    table[s] = entry;
                    break;
                }
                if (table[s].key < entry.key)
                    std::swap(table[s], entry);
            }
        }
    }

    // Sound: take it.
    static std::atomic<uint64_t> loads{0};
    generation = ++loads;
    block = std::move(fresh);
    tagCount = static_cast<int>(k);
    openCount = static_cast<int>(open);
    wordCount = words;
    charCount = chars;
    entryCount = entries;
    scale = fileScale;
    std::memset(tagOf, kNoTag, sizeof tagOf);
    std::memset(tagCodes, kNoTag, sizeof tagCodes);
    for (uint32_t t = 0; t < k; ++t) {
        tagCodes[t] = codes[t];
        tagOf[codes[t]] = static_cast<uint8_t>(t);
    }
    std::memcpy(openTags, opens, open);
    std::memset(expandStart, 0, sizeof expandStart);
    for (uint32_t i = 0; i < expansions; ++i) {
        ++expandStart[expansionPairs[2 * i] + 1];
        expandTo[i] = expansionPairs[2 * i + 1];
    }
    for (int t = 0; t < 256; ++t)
        expandStart[t + 1] = static_cast<uint16_t>(expandStart[t + 1] + expandStart[t]);
    unfoldedCount = unfoldedWords;
    unfoldedBits.assign((size_t(words) + 63) / 64, 0);
    for (uint32_t i = 0; i < unfoldedWords; ++i) {
        unfolded[i] = static_cast<int32_t>(Get32(unfoldedIds + 4 * i));
        unfoldedBits[size_t(unfolded[i]) / 64] |= uint64_t(1) << (unfolded[i] % 64);
    }
    transitions = matrix;
    charRow = rowOfChar;
    for (int t = 0; t < kHashedTemplates; ++t) {
        hashedCount[t] = hashed[t];
        tables[t] = reinterpret_cast<const Slot*>(block.get() + tableAt[t]);
        tableBits[t] = bits[t];
    }
    rowFirst = firsts;
    weights = entryWeights;
    dense = denseWeights;
    denseFrom = static_cast<int64_t>(denseStart);
    loaded = true;
    return true;
}

bool CPosModel::IsFolded(int32_t word) const
{
    if (word < 0 || static_cast<uint32_t>(word) >= wordCount)
        return false;
    // A bit per word: every token asks.
    return (unfoldedBits[static_cast<size_t>(word) / 64] >> (word % 64) & 1) == 0;
}

inline CPosModel::Workspace::Probe* CPosModel::Gather(const TokenInfo* infos, int count, int i,
                                                      Workspace::Probe* out) const
{
    // The features of Keys, in its order, each turned into its look-up at once.
    const auto word = [&](Template t, int32_t id) {
        if (id >= 0 && static_cast<uint32_t>(id) < wordCount) {
            const uint32_t row = static_cast<uint32_t>(id) * kWordTemplates + t;
            __builtin_prefetch(&rowFirst[row]);
            *out++ = Workspace::Probe{row, 0, -1};
        }
    };
    const auto character = [&](Template t, int32_t key) {
        if (key >= 0 && key < kKeyCount && charRow[key] != 0) {
            const uint32_t row = kWordTemplates * wordCount + (t - kWordTemplates) * charCount + (charRow[key] - 1u);
            __builtin_prefetch(&rowFirst[row]);
            *out++ = Workspace::Probe{row, 0, -1};
        }
    };
    const auto hashed = [&](Template t, uint32_t key) {
        const int table = t - kFirstHashed;
        if (hashedCount[table] != 0) {
            const size_t slot = SlotOf(key, tableBits[table]);
            __builtin_prefetch(&tables[table][slot]);
            *out++ = Workspace::Probe{static_cast<uint32_t>(slot), key, table};
        }
    };
    const TokenInfo& cur = infos[i];
    const TokenInfo* prev = i > 0 ? &infos[i - 1] : nullptr;
    const TokenInfo* next = i + 1 < count ? &infos[i + 1] : nullptr;
    word(kWord, cur.word);
    if (!cur.folded) {
        character(kFirstChar, cur.first);
        character(kLastChar, cur.last);
        if (cur.twoChars) {
            hashed(kSuffix, cur.suffix);
            hashed(kPrefix, cur.prefix);
        }
        hashed(kLexClass, cur.lexClass);
        hashed(kShape, cur.shape);
    }
    if (prev != nullptr)
        word(kPrevWord, prev->word);
    if (next != nullptr)
        word(kNextWord, next->word);
    if (i > 1)
        word(kPrev2Word, infos[i - 2].word);
    if (i + 2 < count)
        word(kNext2Word, infos[i + 2].word);
    if (cur.word >= 0) {
        const uint32_t id = static_cast<uint32_t>(cur.word);
        if (prev != nullptr) {
            if (prev->word >= 0)
                hashed(kPrevWordPair, Mix(static_cast<uint32_t>(prev->word), id));
            hashed(kWordPrevClass, Mix(id, prev->lexClass));
        }
        if (next != nullptr) {
            if (next->word >= 0)
                hashed(kNextWordPair, Mix(id, static_cast<uint32_t>(next->word)));
            hashed(kWordNextClass, Mix(id, next->lexClass));
        }
    }
    return out;
}

inline int32_t CPosModel::FirstWeight(const Workspace::Probe& probe) const
{
    if (probe.table < 0)
        return static_cast<int32_t>(rowFirst[probe.at]);
    const Slot* table = tables[probe.table];
    const size_t mask = (size_t(1) << tableBits[probe.table]) - 1;
    // The run holds the key before the first key below it (the table is
    // ordered, see Load); a quarter of the slots at least is empty (key 0), so
    // every run ends. A key of 0 stops at its own slot or at an empty one,
    // which holds no row.
    size_t s = probe.at;
    while (table[s].key > probe.key)
        s = (s + 1) & mask;
    return table[s].key == probe.key ? table[s].first : -1;
}

int CPosModel::Candidates(const TokenRecord& token, const CPosLexicon::Entry* entries, int entryCount,
                          bool useFixedTags, Workspace& ws, bool openOnly) const
{
    if (openOnly) {
        const size_t before = ws.candidateCount;
        const int pushed = Candidates(token, entries, entryCount, useFixedTags, ws);
        size_t kept = before;
        for (size_t c = before; c < ws.candidateCount; ++c) {
            if (ws.closedTag[ws.candidateCode[c]])
                continue;
            ws.candidateTag[kept] = ws.candidateTag[c];
            ws.candidateCode[kept] = ws.candidateCode[c];
            ++kept;
        }
        if (kept == before)
            return pushed; // all closed: better any tag than none
        ws.candidateCount = kept;
        return static_cast<int>(kept - before);
    }
    // A tag the caller gave, or the kind of a name the recogniser merged: the
    // only candidate.
    const bool fixed = useFixedTags && token.fixedTag != 255;
    if (fixed || ws.IsEntity(token.wordId)) {
        const uint8_t code = fixed ? token.fixedTag : token.kind;
        const uint8_t t = tagOf[code];
        ws.candidateTag[ws.candidateCount] = t == kNoTag ? static_cast<uint8_t>(tagCount) : t;
        ws.candidateCode[ws.candidateCount] = code;
        ++ws.candidateCount;
        if (fixed && ws.listedTag != 255 && code == ws.listedTag && ws.listedOther != 255 &&
            (token.flags & kFlagSupplementWord) && !(token.flags & kFlagUserWord)) {
            const uint8_t o = tagOf[ws.listedOther];
            ws.candidateTag[ws.candidateCount] = o == kNoTag ? static_cast<uint8_t>(tagCount) : o;
            ws.candidateCode[ws.candidateCount] = ws.listedOther;
            ++ws.candidateCount;
            return 2;
        }
        return 1;
    }
    return LexiconCandidates(entries, entryCount, ws);
}

int CPosModel::LexiconCandidates(const CPosLexicon::Entry* entries, int entryCount, Workspace& ws) const
{
    if (++ws.stamp == 0) {
        std::memset(ws.seen, 0, sizeof ws.seen);
        ws.stamp = 1;
    }
    int pushed = 0;
    // Model tags count once; a tag the model lacks becomes the extra index
    // tagCount, which has no weights. Tag sized the arrays for the most a
    // token can take (every model tag once, or a single other one).
    uint8_t* const outTag = ws.candidateTag.data() + ws.candidateCount;
    uint8_t* const outCode = ws.candidateCode.data() + ws.candidateCount;
    auto push = [&](uint8_t code) {
        const uint8_t t = tagOf[code];
        if (t != kNoTag) {
            if (ws.seen[t] == ws.stamp)
                return;
            ws.seen[t] = ws.stamp;
        }
        outTag[pushed] = t == kNoTag ? static_cast<uint8_t>(tagCount) : t;
        outCode[pushed] = code;
        ++pushed;
    };
    auto commit = [&]() {
        ws.candidateCount += static_cast<size_t>(pushed);
        return pushed;
    };
    for (int i = 0; i < entryCount && entries != nullptr; ++i)
        if (tagOf[entries[i].tag] != kNoTag)
            push(entries[i].tag);
    if (pushed > 0) {
        // The tags the lexicon may have dropped beside those it lists.
        const int listed = pushed;
        for (int i = 0; i < listed; ++i) {
            const uint8_t t = outTag[i];
            for (int e = expandStart[t]; e < expandStart[t + 1]; ++e)
                push(tagCodes[expandTo[e]]);
        }
        return commit();
    }
    // The lexicon lists only tags the model never learnt: the first of them, as
    // the lexicon's own choice.
    if (entryCount > 0 && entries != nullptr) {
        push(entries[0].tag);
        return commit();
    }
    for (int i = 0; i < openCount; ++i)
        push(tagCodes[openTags[i]]);
    return commit();
}

inline const CPosModel::Workspace::Known* CPosModel::Known(const CPosLexicon::Entry* entries, int entryCount,
                                                          Workspace& ws) const
{
    if (entries == nullptr || entryCount <= 0 || entryCount > Workspace::kCachedEntries)
        return nullptr;
    uint32_t h = 2166136261u;
    for (int i = 0; i < entryCount; ++i)
        h = (h ^ entries[i].tag) * 16777619u;
    Workspace::Known& slot = ws.known[(h ^ h >> 15) & (Workspace::kCacheSlots - 1)];
    if (slot.count == entryCount) {
        int i = 0;
        while (i < entryCount && slot.entryTags[i] == entries[i].tag)
            ++i;
        if (i == entryCount)
            return &slot;
    }
    return Learn(entries, entryCount, ws, slot);
}

const CPosModel::Workspace::Known* CPosModel::Learn(const CPosLexicon::Entry* entries, int entryCount, Workspace& ws,
                                                    Workspace::Known& slot) const
{
    // Worked out as for a token (the arrays have room for every model tag)
    // and kept when it fits; the workspace's candidates are left as they were.
    const size_t before = ws.candidateCount;
    const int pushed = LexiconCandidates(entries, entryCount, ws);
    ws.candidateCount = before;
    if (pushed > Workspace::kCachedCandidates)
        return nullptr;
    slot.count = static_cast<uint8_t>(entryCount);
    for (int i = 0; i < entryCount; ++i)
        slot.entryTags[i] = entries[i].tag;
    slot.candidates = static_cast<uint8_t>(pushed);
    std::memcpy(slot.tags, ws.candidateTag.data() + before, static_cast<size_t>(pushed));
    std::memcpy(slot.codes, ws.candidateCode.data() + before, static_cast<size_t>(pushed));
    slot.lexClass = LexClass(entries, entryCount);
    return &slot;
}

namespace {

// Whether token t is a word that joins the items of a list: 、 和 与 及 或.
bool JoinsList(const char* text, int length, const TokenRecord& t)
{
    return text != nullptr && t.start >= 0 && t.end == t.start + 2 && t.end <= length &&
           IsCharInSet("\xA1\xA2\xBA\xCD\xD3\xEB\xBC\xB0\xBB\xF2", text + t.start);
}

} // namespace

void CPosModel::TagListsAlike(const char* text, int length, TokenRecord* items, size_t n, const Workspace& ws) const
{
    // A listed word that took the other tag; its neighbour across a joining
    // word, as tagged. A listed word set to the list's tag counts for the next
    // (邛崃、大邑、双流: 大邑 by 双流, then 邛崃 by 大邑), in either direction.
    const auto switchable = [&](size_t j) {
        return items[j].tag == ws.listedOther && items[j].fixedTag == ws.listedTag &&
               (items[j].flags & kFlagSupplementWord) && !(items[j].flags & kFlagUserWord);
    };
    for (bool changed = true; changed;) {
        changed = false;
        for (size_t j = 1; j + 1 < n; ++j) {
            if (!switchable(j))
                continue;
            const bool before = j >= 2 && JoinsList(text, length, items[j - 1]) && items[j - 2].tag == ws.listedTag;
            const bool after = j + 2 < n && JoinsList(text, length, items[j + 1]) && items[j + 2].tag == ws.listedTag;
            if (before || after) {
                items[j].tag = ws.listedTag;
                changed = true;
            }
        }
    }
}

void CPosModel::Tag(const char* text, int length, TokenRecord* items, int count, const CPosLexicon* lexicon,
                    int32_t personWordId, bool useFixedTags, Workspace& ws) const
{
    if (!loaded || items == nullptr || count <= 0)
        return;
    if (text == nullptr || length < 0)
        length = 0;
    const size_t n = static_cast<size_t>(count);
    ws.infos.resize(n);
    ws.candidateStart.resize(n + 1);
    // Room for the most candidates the tokens can take, and for a cached
    // slot copied whole past the last; the arrays only grow, so that no call
    // pays for filling them.
    const size_t room = n * static_cast<size_t>(std::max(tagCount, 1)) + Workspace::kCachedCandidates;
    if (ws.candidateTag.size() < room) {
        ws.candidateTag.resize(room);
        ws.candidateCode.resize(room);
    }
    ws.candidateCount = 0;
    if (ws.knownOwner != this || ws.knownGeneration != generation) {
        ws.known.assign(Workspace::kCacheSlots, Workspace::Known());
        ws.knownOwner = this;
        ws.knownGeneration = generation;
    }
    // The lexicon's index records, then its entries, asked for ahead of use.
    ws.entries.assign(n, nullptr);
    ws.entryCounts.assign(n, 0);
    if (lexicon != nullptr) {
        for (size_t j = 0; j < n; ++j)
            lexicon->Prefetch(items[j].wordId);
        for (size_t j = 0; j < n; ++j) {
            ws.entries[j] = lexicon->Lookup(items[j].wordId, &ws.entryCounts[j]);
            if (ws.entries[j] == nullptr)
                ws.entryCounts[j] = 0;
            else
                __builtin_prefetch(ws.entries[j]);
        }
    }
    for (size_t j = 0; j < n; ++j) {
        const CPosLexicon::Entry* entries = ws.entries[j];
        int entryCount = ws.entryCounts[j];
        const TokenRecord* token = &items[j];
        // A user's word the lexicon lacks reads as a new word would in its place.
        const bool userWord = ws.userWordClass >= 0 && (token->flags & kFlagUserWord) &&
                              (!useFixedTags || token->fixedTag == 255) && entryCount == 0;
        if (userWord) {
            ws.asNewWord = *token;
            ws.asNewWord.wordId = ws.userWordClass;
            ws.asNewWord.flags |= kFlagNewWord;
            token = &ws.asNewWord;
            entries = lexicon != nullptr ? lexicon->Lookup(ws.userWordClass, &entryCount) : nullptr;
            if (entries == nullptr)
                entryCount = 0;
        }
        TokenInfo& info = ws.infos[j];
        info.word = token->wordId >= 0 ? token->wordId : -1;
        const Workspace::Known* known = Known(entries, entryCount, ws);
        info.lexClass = known != nullptr ? known->lexClass : LexClass(entries, entryCount);
        info.folded = IsFolded(info.word);
        ws.candidateStart[j] = static_cast<int32_t>(ws.candidateCount);
        // The lexicon decides the candidates unless the token's own tag or
        // kind does (Candidates' first rules) or it is a user's word.
        int candidates;
        if (known != nullptr && !userWord && !(useFixedTags && token->fixedTag != 255) && !ws.IsEntity(token->wordId)) {
            // Whole slots copied (the arrays have room past the last token's):
            // a fixed size is a couple of moves.
            std::memcpy(ws.candidateTag.data() + ws.candidateCount, known->tags, sizeof known->tags);
            std::memcpy(ws.candidateCode.data() + ws.candidateCount, known->codes, sizeof known->codes);
            ws.candidateCount += known->candidates;
            candidates = known->candidates;
        } else {
            candidates = Candidates(*token, entries, entryCount, useFixedTags, ws, userWord);
        }
        // Only a token with a choice of tags reads its own features; its
        // neighbours' features read their word ids and lexicon classes.
        if (candidates > 1 && !info.folded)
            DescribeText(text, length, *token, entryCount, info);
    }
    ws.candidateStart[n] = static_cast<int32_t>(ws.candidateCount);
    const size_t candidates = ws.candidateCount;
    ws.emission.assign(candidates, 0);
    ws.score.resize(candidates);
    ws.back.resize(candidates);
    ws.sums.resize(static_cast<size_t>(tagCount) + 1);

    // The features of the tokens with a choice (one with a single candidate adds
    // the same to every path: its features need not be read). The model's
    // tables are megabytes apart, so every look-up of the sentence is asked for
    // ahead of its use, in two waves: the hash slots and row starts as the
    // features are gathered, then the weights; their cache misses then
    // overlap. The arrays have room for every feature of every token and
    // only grow.
    ws.keyStart.resize(n + 1);
    if (ws.probes.size() < n * kTemplateCount) {
        ws.probes.resize(n * kTemplateCount);
        ws.firsts.resize(n * kTemplateCount);
    }
    const int32_t* const candidateStart = ws.candidateStart.data();
    const uint8_t* const candidateTag = ws.candidateTag.data();
    int32_t* const keyStart = ws.keyStart.data();
    Workspace::Probe* const probes = ws.probes.data();
    Workspace::Probe* end = probes;
    for (size_t j = 0; j < n; ++j) {
        keyStart[j] = static_cast<int32_t>(end - probes);
        if (candidateStart[j + 1] - candidateStart[j] > 1)
            end = Gather(ws.infos.data(), count, static_cast<int>(j), end);
    }
    keyStart[n] = static_cast<int32_t>(end - probes);
    // The second wave: the hash slots and row starts asked for above are read,
    // and the weights they point at asked for in turn.
    const size_t features = static_cast<size_t>(end - probes);
    int32_t* const firsts = ws.firsts.data();
    for (size_t f = 0; f < features; ++f) {
        const int32_t first = FirstWeight(probes[f]);
        firsts[f] = first;
        if (first >= denseFrom)
            __builtin_prefetch(&dense[first - denseFrom]);
        else if (first >= 0)
            __builtin_prefetch(&weights[first]);
    }
    int32_t* const sums = ws.sums.data();
    int32_t* const emission = ws.emission.data();
    const size_t sumBytes = sizeof(int32_t) * (static_cast<size_t>(tagCount) + 1);
    for (size_t j = 0; j < n; ++j) {
        const int32_t f0 = keyStart[j], f1 = keyStart[j + 1];
        if (f0 == f1)
            continue;
        std::memset(sums, 0, sumBytes);
        const int32_t c0 = candidateStart[j], c1 = candidateStart[j + 1];
        for (int32_t f = f0; f < f1; ++f) {
            const int32_t first = firsts[f];
            if (first < 0)
                continue;
            if (first >= denseFrom) {
                // A weight for every tag (0 at tagCount): read at the candidates.
                const int16_t* row = dense + (first - denseFrom);
                for (int32_t c = c0; c < c1; ++c)
                    emission[c] += row[candidateTag[c]];
                continue;
            }
            const Weight* w = weights + first;
            // Whole blocks of four: a row's tags differ, so the adds are
            // independent; the padding adds 0 to sums[tagCount].
            for (const Weight* const last = w + kBlock * size_t(w->length); w != last; w += kBlock) {
                sums[w[0].tag] += w[0].weight;
                sums[w[1].tag] += w[1].weight;
                sums[w[2].tag] += w[2].weight;
                sums[w[3].tag] += w[3].weight;
            }
        }
        sums[tagCount] = 0; // a candidate outside the model's tags has no weights
        for (int32_t c = c0; c < c1; ++c)
            emission[c] += sums[candidateTag[c]];
    }

    const size_t side = static_cast<size_t>(tagCount) + 1;
    int64_t* const score = ws.score.data();
    int32_t* const back = ws.back.data();
    for (int32_t c = 0; c < candidateStart[1]; ++c) {
        score[c] = emission[c];
        back[c] = -1;
    }
    for (size_t j = 1; j < n; ++j) {
        const int32_t p0 = candidateStart[j - 1], c0 = candidateStart[j], c1 = candidateStart[j + 1];
        for (int32_t c = c0; c < c1; ++c) {
            const int32_t* const column = transitions + candidateTag[c];
            int64_t best = score[p0] + column[candidateTag[p0] * side];
            int32_t from = p0;
            for (int32_t p = p0 + 1; p < c0; ++p) {
                const int64_t s = score[p] + column[candidateTag[p] * side];
                // On equal scores the earlier candidate stays.
                if (s > best) {
                    best = s;
                    from = p;
                }
            }
            score[c] = best + emission[c];
            back[c] = from;
        }
    }

    int32_t current = ws.candidateStart[n - 1];
    for (int32_t c = current + 1; c < ws.candidateStart[n]; ++c)
        if (ws.score[static_cast<size_t>(c)] > ws.score[static_cast<size_t>(current)])
            current = c;
    for (size_t i = n; i-- > 0;) {
        TokenRecord& token = items[i];
        token.tag = ws.candidateCode[static_cast<size_t>(current)];
        if (personWordId >= 0 && token.wordId == personWordId) {
            token.tag = token.kind;
            token.kind = kKindPersonName;
        } else if (ws.IsEntity(token.wordId)) {
            token.kind = token.wordId == ws.placeId ? kKindPlaceName : kKindOrganizationName;
        }
        current = ws.back[static_cast<size_t>(current)];
    }
    if (ws.listedInLists && ws.listedTag != 255 && ws.listedOther != 255 && useFixedTags)
        TagListsAlike(text, length, items, n, ws);
}
