#include "lexicon/CPDAT.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <queue>
#include <string>
#include <unordered_map>

#include <sys/stat.h>

#include "lexicon/BinaryFile.h"
#include "lexicon/GbkChar.h"
#include "lexicon/MappedFile.h"

namespace {

const CPDAT::Entry kFreeEntry = {-1, -1, -1};

// Longest line piece the word-list reader takes at once; the rest of a longer
// line is read as a line of its own.
constexpr int kLinePiece = 3072;

bool IsBlank(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline int KeyAt(const unsigned char* s, int j, int n, int& bytes) { return gbkchar::Key(s, j, n, &bytes); }

inline int KeyAtText(const unsigned char* s, int& bytes)
{
    // Only ever called before the NUL.
    return gbkchar::KeyInText(s, &bytes);
}

// The temporary tree of a build: one record per node, children linked in
// insertion order.
struct BuildTree {
    std::vector<int32_t> key;
    std::vector<int32_t> value;
    std::vector<int32_t> firstChild;
    std::vector<int32_t> lastChild;
    std::vector<int32_t> nextSibling;
    std::vector<int32_t> childCount;
    std::vector<int32_t> index;
    // (parent node << 16 | key) -> child node
    std::unordered_map<uint64_t, int32_t> childOf;

    int32_t Add(int32_t parent, int32_t k, int32_t v)
    {
        const int32_t node = static_cast<int32_t>(key.size());
        key.push_back(k);
        value.push_back(v);
        firstChild.push_back(-1);
        lastChild.push_back(-1);
        nextSibling.push_back(-1);
        childCount.push_back(0);
        index.push_back(-1);
        if (parent >= 0) {
            if (lastChild[parent] < 0)
                firstChild[parent] = node;
            else
                nextSibling[lastChild[parent]] = node;
            lastChild[parent] = node;
            ++childCount[parent];
            childOf.emplace((uint64_t(uint32_t(parent)) << 16) | uint32_t(k), node);
        }
        return node;
    }
};

// Which entries of the array being laid out are taken. An index at or beyond the
// end of the tables has never been taken. Two views of the same set:
// - next: a path-compressed skip list; next[i] == i marks a free entry,
//   otherwise next[i] points further on, towards the next free one;
// - bits: one bit per entry, set when taken, for testing 64 offsets at once.
class FreeIndex {
public:
    int32_t FirstFreeFrom(int32_t i)
    {
        int32_t r = i;
        while (r < Size() && next[r] != r)
            r = next[r];
        while (i < Size() && next[i] != i) {
            const int32_t n = next[i];
            next[i] = r;
            i = n;
        }
        return r;
    }
    void Occupy(int32_t i)
    {
        if (i + 1 >= Size()) {
            const int32_t old = Size();
            next.resize(static_cast<size_t>(i) + 2);
            for (int32_t j = old; j < Size(); ++j)
                next[j] = j;
            bits.resize(static_cast<size_t>(i) / 64 + 2, 0);
        }
        next[i] = i + 1;
        bits[static_cast<size_t>(i) / 64] |= uint64_t(1) << (i % 64);
    }
    // Bit j set when entry i + j is taken (j = 0..63).
    uint64_t Taken64(int64_t i) const
    {
        const size_t w = static_cast<size_t>(i / 64);
        const unsigned s = static_cast<unsigned>(i % 64);
        const uint64_t lo = w < bits.size() ? bits[w] : 0;
        if (s == 0)
            return lo;
        const uint64_t hi = w + 1 < bits.size() ? bits[w + 1] : 0;
        return (lo >> s) | (hi << (64 - s));
    }

private:
    int32_t Size() const { return static_cast<int32_t>(next.size()); }
    std::vector<int32_t> next;
    std::vector<uint64_t> bits;
};

} // namespace

CPDAT::CPDAT() : codeTable(kKeyCount, -1) {}

CPDAT::~CPDAT() = default;

inline int32_t CPDAT::Step(int64_t& base, int32_t& parent, int key) const
{
    if (key < 0)
        return -1;
    return StepCode(base, parent, codeTable[static_cast<size_t>(key)]);
}

int CPDAT::ExactMatch(const char* word) const
{
    if (word == nullptr)
        return -1;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(word);
    if (*s == 0)
        return -1;
    int64_t base = 0;
    int32_t parent = -2;
    int32_t t = -1;
    int bytes = 0;
    for (; *s != 0; s += bytes) {
        t = Step(base, parent, KeyAtText(s, bytes));
        if (t < 0)
            return -1;
    }
    const Entry& e = entries[static_cast<size_t>(t)];
    return e.base < 0 ? e.value : -1;
}

int CPDAT::ExactMatch(const char* word, int length) const
{
    if (word == nullptr || length <= 0)
        return -1;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(word);
    int64_t base = 0;
    int32_t parent = -2;
    int32_t t = -1;
    int bytes = 0;
    for (int j = 0; j < length; j += bytes) {
        t = Step(base, parent, KeyAt(s, j, length, bytes));
        if (t < 0)
            return -1;
    }
    const Entry& e = entries[static_cast<size_t>(t)];
    return e.base < 0 ? e.value : -1;
}

int CPDAT::CharacterWord(int key) const
{
    if (key < 0 || key >= kKeyCount)
        return -1;
    const int32_t code = codeTable[static_cast<size_t>(key)];
    if (code < 0 || code >= lookupLimit)
        return -1;
    const Entry& e = entries[static_cast<size_t>(code)];
    return (e.check == -2 && e.base < 0) ? e.value : -1;
}

template <class OnWord> int CPDAT::WalkPrefixes(const char* text, OnWord onWord) const
{
    // Walks text from the root, calling onWord(length, value) at every word end;
    // stops at a missing transition, the end of the text or a leaf. Returns the
    // byte length of the longest prefix word (0 if none).
    int length = 0;
    if (text == nullptr)
        return 0;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    int64_t base = 0;
    int32_t parent = -2;
    int bytes = 0;
    for (int j = 0; s[j] != 0; j += bytes) {
        const int32_t t = Step(base, parent, KeyAtText(s + j, bytes));
        if (t < 0)
            break;
        const Entry& e = entries[static_cast<size_t>(t)];
        if (e.base < 0) {
            length = j + bytes;
            onWord(length, e.value);
            if (base == t)
                break; // a leaf: nothing can follow
        }
    }
    return length;
}

void CPDAT::PrefetchTextWalk(const char* text, int depth) const
{
    int32_t codes[3];
    if (text == nullptr || depth < 1 || depth > 3)
        return;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    for (int i = 0, j = 0; i < depth; ++i) {
        if (s[j] == 0)
            return;
        int bytes = 1;
        codes[i] = GetCode(KeyAtText(s + j, bytes));
        j += bytes;
    }
    PrefetchWalk(codes, depth);
}

bool CPDAT::WalksPastFirstCharacter(const char* text, int* firstBytes) const
{
    *firstBytes = 0;
    if (text == nullptr || text[0] == 0)
        return false;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    int64_t base = 0;
    int32_t parent = -2;
    int bytes = 0;
    const int first = KeyAtText(s, bytes);
    *firstBytes = bytes;
    if (Step(base, parent, first) < 0 || s[bytes] == 0)
        return false;
    int second = 0;
    return Step(base, parent, KeyAtText(s + bytes, second)) >= 0;
}

void CPDAT::TwoCharacterWalks(std::vector<uint32_t>& keys) const
{
    keys.clear();
    // Codes back to keys (a build gives each key its own code).
    std::vector<int32_t> keyOf(kKeyCount, -1);
    for (int32_t key = 0; key < kKeyCount; ++key) {
        const int32_t code = codeTable[static_cast<size_t>(key)];
        if (code >= 0 && code < kKeyCount)
            keyOf[static_cast<size_t>(code)] = key;
    }
    // A second step lands on an entry whose parent is a child of the root; a
    // first step from the root lands on the entry of the first code.
    for (int32_t t = 0; t < lookupLimit; ++t) {
        const int32_t parent = entries[static_cast<size_t>(t)].check;
        if (parent < 0 || parent >= lookupLimit || parent >= kKeyCount)
            continue;
        const Entry& p = entries[static_cast<size_t>(parent)];
        if (p.check != -2)
            continue;
        const int64_t base = p.base < 0 ? -int64_t(p.base) : int64_t(p.base);
        const int64_t second = int64_t(t) - base;
        if (second < 0 || second >= kKeyCount)
            continue;
        const int32_t a = keyOf[static_cast<size_t>(parent)], b = keyOf[static_cast<size_t>(second)];
        if (a >= 0 && b >= 0)
            keys.push_back(uint32_t(a) << 16 | uint32_t(b));
    }
}

int CPDAT::LongestMatch(const char* text, int* value) const
{
    int found = -1;
    const int length = WalkPrefixes(text, [&](int, int32_t v) { found = v; });
    if (value != nullptr)
        *value = found;
    return length;
}

int CPDAT::AllPrefixMatches(const char* text, std::vector<int>& values, std::vector<int>& lengths,
                            int minLength) const
{
    values.clear();
    lengths.clear();
    return WalkPrefixes(text, [&](int length, int32_t v) {
        if (length > minLength) {
            values.push_back(v);
            lengths.push_back(length);
        }
    });
}

bool CPDAT::Load(const char* path)
{
    MappedFile file(path);
    if (!file.IsOpen())
        return false;
    // The code table and the two counts are the fixed part of every dictionary,
    // the empty one included: a file shorter than that is no dictionary.
    if (int64_t(file.Size()) < kHeaderBytes)
        return false;
    const int32_t* fileCodes = reinterpret_cast<const int32_t*>(file.Data());
    ModelArray<int32_t> newCodes(fileCodes, fileCodes + kKeyCount);
    int32_t header[2] = {0, 0};
    std::memcpy(header, file.Data() + kKeyCount * sizeof(int32_t), sizeof header);
    if (!CodesAreSound(newCodes))
        return false;
    const int32_t newHighest = header[0];
    const int64_t remaining = int64_t(file.Size()) - kHeaderBytes;
    // Negative counts, a header that promises far more entries than the file
    // holds, or bytes after the last entry are damage, not truncation: refuse
    // them rather than allocate for them.
    if (newHighest < 0 || newHighest == INT32_MAX || header[1] < 0 ||
        !BinaryFile::PlausibleCount(int64_t(newHighest) + 1, sizeof(Entry), remaining) ||
        remaining > (int64_t(newHighest) + 1) * int64_t(sizeof(Entry)))
        return false;
    // A file cut inside the entries loads as far as it goes: missing entries read
    // as free, lookups then simply find fewer words, and start-up notices a core
    // dictionary that lost its special words. A part of an entry the file holds
    // is kept over the free entry, byte for byte.
    const size_t count = static_cast<size_t>(newHighest) + 1;
    const size_t have = static_cast<size_t>(remaining);
    const size_t whole = std::min(count, have / sizeof(Entry));
    const Entry* fileEntries = reinterpret_cast<const Entry*>(file.Data() + kHeaderBytes);
    ModelArray<Entry> newEntries;
    newEntries.reserve(count);
    newEntries.assign(fileEntries, fileEntries + whole);
    newEntries.resize(count, kFreeEntry);
    if (whole < count)
        std::memcpy(&newEntries[whole], file.Data() + kHeaderBytes + whole * sizeof(Entry),
                    have - whole * sizeof(Entry));

    codeTable.swap(newCodes);
    entries.swap(newEntries);
    highestIndex = newHighest;
    wordCount = header[1];
    capacity = newHighest + 1;
    lookupLimit = capacity;
    return true;
}

bool CPDAT::CodesAreSound(const ModelArray<int32_t>& codes)
{
    // A build gives each character it meets its own code, 0 up; keys it never
    // met have -1. Codes outside that range, or one code for two characters, come
    // from no build.
    std::vector<bool> taken(kKeyCount, false);
    for (int32_t code : codes) {
        if (code == -1)
            continue;
        if (code < 0 || code >= kKeyCount || taken[static_cast<size_t>(code)])
            return false;
        taken[static_cast<size_t>(code)] = true;
    }
    return true;
}

bool CPDAT::Save(const char* path) const
{
    BinaryFile file(path, "wb");
    if (!file.IsOpen())
        return false;
    // A trie that was never built or loaded has no entries yet; it is saved as the
    // empty dictionary (no codes, highestIndex 0, one free entry), the same file an
    // empty word list builds, so that whatever loads it later gets a valid trie.
    bool ok = file.Write(codeTable.data(), codeTable.size() * sizeof(int32_t));
    const int32_t header[2] = {highestIndex, wordCount};
    ok = ok && file.Write(header, sizeof header);
    const size_t count = static_cast<size_t>(highestIndex) + 1;
    const size_t stored = std::min(count, entries.size());
    ok = ok && file.Write(entries.data(), stored * sizeof(Entry));
    for (size_t i = stored; ok && i < count; ++i)
        ok = file.Write(&kFreeEntry, sizeof kFreeEntry);
    // A write that did not reach the disk (disk full) must not pass for a save.
    return file.Close() && ok;
}

int CPDAT::BuildFromWordList(const char* path, const CPDAT* exclude)
{
    if (path == nullptr)
        return 0;
    std::FILE* list = std::fopen(path, "r");
    if (list == nullptr)
        return 0;
    struct stat st {};
    if (fstat(fileno(list), &st) != 0 || !S_ISREG(st.st_mode)) {
        // A directory opens but yields no lines: it is no word list either.
        std::fclose(list);
        return 0;
    }

    // Read the list: the first token of every line, in file order.
    int32_t nextId = exclude != nullptr ? exclude->GetWordCount() : 0;
    std::string words;              // tokens back to back
    std::vector<size_t> wordStart;  // start of each token in `words`, plus the end
    std::vector<int32_t> wordIds;
    char line[kLinePiece];
    while (std::fgets(line, sizeof line, list) != nullptr) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(line);
        while (*p != 0 && IsBlank(*p))
            ++p;
        const unsigned char* end = p;
        while (*end != 0 && !IsBlank(*end))
            ++end;
        if (end == p)
            continue;
        const std::string token(reinterpret_cast<const char*>(p), size_t(end - p));
        if (exclude != nullptr && exclude->ExactMatch(token.c_str()) >= 0)
            continue;
        wordStart.push_back(words.size());
        words += token;
        wordIds.push_back(nextId++);
    }
    std::fclose(list);
    wordStart.push_back(words.size());
    return Build(words, wordStart, wordIds);
}

int CPDAT::BuildFromWords(const std::vector<std::string>& list)
{
    std::string words;
    std::vector<size_t> wordStart;
    std::vector<int32_t> wordIds;
    for (const std::string& w : list) {
        // An empty word has no characters to walk; it keeps its id only.
        wordStart.push_back(words.size());
        words += w;
        wordIds.push_back(static_cast<int32_t>(wordIds.size()));
    }
    wordStart.push_back(words.size());
    return Build(words, wordStart, wordIds);
}

int CPDAT::Build(std::string& words, const std::vector<size_t>& wordStart, const std::vector<int32_t>& wordIds)
{
    const int32_t n = static_cast<int32_t>(wordIds.size());

    // The tree of all words, and how often each character key occurs.
    BuildTree tree;
    tree.Add(-1, -1, -1);
    tree.childOf.reserve(words.size());
    std::vector<int32_t> occurrenceCounts(kKeyCount, 0);
    lowestKeySeen = kKeyCount;
    highestKeySeen = 0;
    std::vector<int32_t> seenKeys; // each key once, in the order first met
    std::vector<int> keys;
    for (int32_t w = 0; w < n; ++w) {
        const unsigned char* s = reinterpret_cast<const unsigned char*>(words.data()) + wordStart[w];
        const int len = static_cast<int>(wordStart[w + 1] - wordStart[w]);
        keys.clear();
        int bytes = 0;
        for (int j = 0; j < len; j += bytes)
            keys.push_back(KeyAt(s, j, len, bytes));
        // A word that ends in a lone lead byte can never be looked up: every walk
        // stops before such a byte. It keeps its id and its place in the count, but
        // adds neither nodes nor character counts to the trie.
        if (keys.empty() || keys.back() < 0)
            continue;
        int32_t node = 0;
        for (size_t i = 0; i < keys.size(); ++i) {
            const int k = keys[i];
            const bool last = i + 1 == keys.size();
            if (occurrenceCounts[k]++ == 0)
                seenKeys.push_back(k);
            lowestKeySeen = std::min(lowestKeySeen, int32_t(k));
            highestKeySeen = std::max(highestKeySeen, int32_t(k));
            auto it = tree.childOf.find((uint64_t(uint32_t(node)) << 16) | uint32_t(k));
            if (it == tree.childOf.end()) {
                node = tree.Add(node, k, last ? wordIds[w] : -1);
            } else {
                node = it->second;
                if (last)
                    tree.value[node] = wordIds[w]; // of two equal words the later id wins
            }
        }
    }
    words.clear();
    words.shrink_to_fit();

    // Codes by descending occurrence count, the smaller key first on ties.
    ModelArray<int32_t> newCodes(kKeyCount, -1);
    std::sort(seenKeys.begin(), seenKeys.end(), [&](int32_t a, int32_t b) {
        if (occurrenceCounts[a] != occurrenceCounts[b])
            return occurrenceCounts[a] > occurrenceCounts[b];
        return a < b;
    });
    for (size_t c = 0; c < seenKeys.size(); ++c)
        newCodes[seenKeys[c]] = static_cast<int32_t>(c);

    // Lay out the array. Nodes with children are placed greatest child count
    // first; among equals the earliest in the work order, where a node's first
    // child inherits the node's position and the other children queue at the end.
    // Each child block goes to the smallest offset at which all its entries are
    // free; the search below skips only offsets that cannot fit, so it finds the
    // same offset as trying 1, 2, 3, ... would.
    int32_t newCapacity = std::max<int32_t>(1, static_cast<int32_t>(int64_t(n) * 3 / 2));
    ModelArray<Entry> newEntries(static_cast<size_t>(newCapacity), kFreeEntry);
    int32_t newHighest = 0;
    FreeIndex freeIndex;
    // Grows by the usual rule (to t + 100) when an entry beyond the end is taken.
    // Unlike a search that tests offsets one by one, this one never grows the
    // array for entries it merely tests, so the capacity may end up smaller; the
    // file does not depend on it, only on the entries taken.
    auto ensure = [&](int32_t t) {
        if (t >= newCapacity) {
            newCapacity = t + 100;
            newEntries.resize(static_cast<size_t>(newCapacity), kFreeEntry);
        }
    };

    struct Pending {
        int32_t children;
        int64_t position;
        int32_t node;
    };
    auto later = [](const Pending& a, const Pending& b) {
        if (a.children != b.children)
            return a.children < b.children;
        return a.position > b.position;
    };
    std::priority_queue<Pending, std::vector<Pending>, decltype(later)> work(later);
    int64_t nextPosition = 0;

    auto place = [&](int32_t child, int32_t t, int32_t parentIndex) {
        ensure(t);
        Entry& e = newEntries[static_cast<size_t>(t)];
        e.check = parentIndex;
        freeIndex.Occupy(t);
        tree.index[child] = t;
        if (tree.childCount[child] == 0) {
            // A leaf says so by base = -(its index). At index 0 that would read as
            // base 0, not as a word end, and the one-character word there could not
            // be found. It gets base -1 instead: a word end whose children would sit
            // at offset 1, where no entry has parent 0 (index 0 has no children), so
            // every walk still stops after it.
            e.base = t == 0 ? -1 : -t;
            e.value = tree.value[child];
            newHighest = std::max(newHighest, t);
        }
    };

    for (int32_t c = tree.firstChild[0]; c >= 0; c = tree.nextSibling[c]) {
        place(c, newCodes[tree.key[c]], -2);
        const int64_t position = nextPosition++;
        if (tree.childCount[c] > 0)
            work.push(Pending{tree.childCount[c], position, c});
    }

    std::vector<int32_t> childCodes;
    while (!work.empty()) {
        const Pending top = work.top();
        work.pop();
        const int32_t node = top.node;
        const int32_t self = tree.index[node];
        newHighest = std::max(newHighest, self);
        const bool wordEnds = tree.value[node] >= 0;

        // The smallest b >= 1 with every b + code free. No offset below the
        // point where each child alone first finds a free entry can fit; from
        // the largest of those, 64 offsets at a time are tested against all
        // children together.
        childCodes.clear();
        int64_t start = 1;
        for (int32_t c = tree.firstChild[node]; c >= 0; c = tree.nextSibling[c]) {
            const int32_t code = newCodes[tree.key[c]];
            childCodes.push_back(code);
            start = std::max<int64_t>(start, freeIndex.FirstFreeFrom(code + 1) - code);
        }
        int32_t b = 0;
        for (int64_t window = start;; window += 64) {
            uint64_t fits = ~uint64_t(0);
            for (int32_t code : childCodes) {
                fits &= ~freeIndex.Taken64(window + code);
                if (fits == 0)
                    break;
            }
            if (wordEnds && self >= window && self < window + 64)
                fits &= ~(uint64_t(1) << (self - window));
            if (fits != 0) {
                b = static_cast<int32_t>(window + __builtin_ctzll(fits));
                break;
            }
        }

        Entry& e = newEntries[static_cast<size_t>(self)];
        if (wordEnds) {
            e.base = -b;
            e.value = tree.value[node];
        } else {
            e.base = b;
        }
        bool first = true;
        for (int32_t c = tree.firstChild[node]; c >= 0; c = tree.nextSibling[c]) {
            place(c, b + newCodes[tree.key[c]], self);
            const int64_t position = first ? top.position : nextPosition++;
            first = false;
            if (tree.childCount[c] > 0)
                work.push(Pending{tree.childCount[c], position, c});
        }
    }

    codeTable.swap(newCodes);
    entries.swap(newEntries);
    capacity = newCapacity;
    highestIndex = newHighest;
    lookupLimit = newHighest + 1;
    wordCount = n;
    return n;
}
