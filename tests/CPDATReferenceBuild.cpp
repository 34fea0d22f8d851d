#include "tests/CPDATReferenceBuild.h"

#include <cstdio>
#include <cstring>

namespace {

struct Word {
    std::string text;
    int32_t id;
};

struct Node {
    int key = 0;
    std::vector<int> children;
    int32_t index = -1;
    int32_t parent = -1;
    int32_t value = -1;
};

bool IsBlank(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::vector<int> Keys(const std::string& s)
{
    std::vector<int> keys;
    const int n = static_cast<int>(s.size());
    for (int j = 0; j < n;) {
        const unsigned c = static_cast<unsigned char>(s[static_cast<size_t>(j)]);
        if (c < 0x80) {
            keys.push_back(static_cast<int>(c));
            j += 1;
        } else if (j == n - 1) {
            keys.push_back(static_cast<int>(c) - 256);
            j += 1;
        } else {
            keys.push_back(static_cast<int>(c * 256 + static_cast<unsigned char>(s[static_cast<size_t>(j) + 1])));
            j += 2;
        }
    }
    return keys;
}

const CPDAT::Entry kFree = {-1, -1, -1};

} // namespace

std::string ReferenceTrie::FileImage() const
{
    std::string out(reinterpret_cast<const char*>(codeTable.data()), codeTable.size() * 4);
    out.append(reinterpret_cast<const char*>(&highestIndex), 4);
    out.append(reinterpret_cast<const char*>(&wordCount), 4);
    out.append(reinterpret_cast<const char*>(entries.data()),
               static_cast<size_t>(highestIndex + 1) * sizeof(CPDAT::Entry));
    return out;
}

int ReferenceBuild(const char* path, const CPDAT* exclude, ReferenceTrie& out)
{
    // 1. Open the list.
    std::FILE* f = std::fopen(path, "r");
    if (f == nullptr)
        return 0;

    // 2.-3. Read the first token of every line.
    int32_t nextId = exclude != nullptr ? exclude->GetWordCount() : 0;
    int32_t wordCount = 0;
    std::vector<Word> list;
    char line[3072];
    while (std::fgets(line, sizeof line, f) != nullptr) {
        size_t i = 0;
        while (line[i] != 0 && IsBlank(static_cast<unsigned char>(line[i])))
            ++i;
        size_t j = i;
        while (line[j] != 0 && !IsBlank(static_cast<unsigned char>(line[j])))
            ++j;
        if (j == i)
            continue;
        std::string token(line + i, j - i);
        if (exclude != nullptr && exclude->ExactMatch(token.c_str()) >= 0)
            continue;
        list.push_back(Word{token, nextId});
        ++nextId;
        ++wordCount;
    }
    std::fclose(f);

    // 4. The array, every entry free.
    const int32_t n = static_cast<int32_t>(list.size());
    int32_t capacity = n * 3 / 2;
    if (capacity < 1)
        capacity = 1;
    std::vector<CPDAT::Entry> entries(static_cast<size_t>(capacity), kFree);
    int32_t highestIndex = 0;
    auto need = [&](int32_t t) {
        if (t >= capacity) {
            capacity = t + 100;
            entries.resize(static_cast<size_t>(capacity), kFree);
        }
    };

    // 5. The tree, and the occurrence counts.
    std::vector<Node> nodes(1);
    std::vector<int32_t> occurrenceCounts(CPDAT::kKeyCount, 0);
    int32_t lowestKeySeen = CPDAT::kKeyCount;
    int32_t highestKeySeen = 0;
    for (const Word& w : list) {
        const std::vector<int> keys = Keys(w.text);
        // A word that ends in a lone lead byte takes its id but no nodes.
        if (keys.back() < 0)
            continue;
        int current = 0;
        for (size_t i = 0; i < keys.size(); ++i) {
            const int key = keys[i];
            const bool last = i + 1 == keys.size();
            occurrenceCounts[static_cast<size_t>(key)] += 1;
            if (key < lowestKeySeen)
                lowestKeySeen = key;
            if (key > highestKeySeen)
                highestKeySeen = key;
            int found = -1;
            for (int c : nodes[static_cast<size_t>(current)].children)
                if (nodes[static_cast<size_t>(c)].key == key) {
                    found = c;
                    break;
                }
            if (found < 0) {
                Node child;
                child.key = key;
                child.value = last ? w.id : -1;
                nodes.push_back(child);
                found = static_cast<int>(nodes.size()) - 1;
                nodes[static_cast<size_t>(current)].children.push_back(found);
            } else if (last) {
                nodes[static_cast<size_t>(found)].value = w.id;
            }
            current = found;
        }
    }

    // 6. Codes: repeatedly the most frequent remaining key, the smallest on ties.
    std::vector<int32_t> codeTable(CPDAT::kKeyCount, -1);
    std::vector<int> candidates;
    for (int k = lowestKeySeen; k <= highestKeySeen; ++k)
        if (occurrenceCounts[static_cast<size_t>(k)] > 0)
            candidates.push_back(k);
    std::vector<bool> withdrawn(candidates.size(), false);
    for (int32_t code = 0;; ++code) {
        int best = -1;
        for (size_t i = 0; i < candidates.size(); ++i)
            if (!withdrawn[i] &&
                (best < 0 || occurrenceCounts[static_cast<size_t>(candidates[i])] >
                                 occurrenceCounts[static_cast<size_t>(candidates[static_cast<size_t>(best)])]))
                best = static_cast<int>(i);
        if (best < 0)
            break;
        withdrawn[static_cast<size_t>(best)] = true;
        codeTable[static_cast<size_t>(candidates[static_cast<size_t>(best)])] = code;
    }
    auto codeOf = [&](int node) { return codeTable[static_cast<size_t>(nodes[static_cast<size_t>(node)].key)]; };

    // 7. The root's children sit at their codes.
    std::vector<int> work;
    for (int c : nodes[0].children) {
        Node& child = nodes[static_cast<size_t>(c)];
        const int32_t t = codeOf(c);
        need(t);
        child.index = t;
        entries[static_cast<size_t>(t)].check = -2;
        if (child.children.empty()) {
            // The leaf at index 0 takes base -1 (see CPDAT::BuildFromWordList).
            entries[static_cast<size_t>(t)].base = t == 0 ? -1 : -t;
            entries[static_cast<size_t>(t)].value = child.value;
            if (t > highestIndex)
                highestIndex = t;
        }
        work.push_back(c);
    }

    // 9. Place the children of every node.
    for (;;) {
        std::vector<int> kept;
        for (int w : work)
            if (!nodes[static_cast<size_t>(w)].children.empty())
                kept.push_back(w);
        work.swap(kept);
        if (work.empty())
            break;
        size_t chosen = 0;
        for (size_t i = 1; i < work.size(); ++i)
            if (nodes[static_cast<size_t>(work[i])].children.size() >
                nodes[static_cast<size_t>(work[chosen])].children.size())
                chosen = i;
        Node& node = nodes[static_cast<size_t>(work[chosen])];
        if (node.index > highestIndex)
            highestIndex = node.index;
        const bool wordEnds = node.value >= 0;
        int32_t b = 1;
        for (;; ++b) {
            if (wordEnds && b == node.index)
                continue;
            bool allFree = true;
            for (int c : node.children) {
                const int32_t t = b + codeOf(c);
                need(t);
                if (entries[static_cast<size_t>(t)].base != -1 || entries[static_cast<size_t>(t)].check != -1) {
                    allFree = false;
                    break;
                }
            }
            if (allFree)
                break;
        }
        CPDAT::Entry& e = entries[static_cast<size_t>(node.index)];
        if (wordEnds) {
            e.base = -b;
            e.value = node.value;
        } else {
            e.base = b;
        }
        for (int c : node.children) {
            Node& child = nodes[static_cast<size_t>(c)];
            const int32_t t = b + codeOf(c);
            child.index = t;
            child.parent = node.index;
            entries[static_cast<size_t>(t)].check = node.index;
            if (child.children.empty()) {
                entries[static_cast<size_t>(t)].base = -t;
                entries[static_cast<size_t>(t)].value = child.value;
                if (t > highestIndex)
                    highestIndex = t;
            }
        }
        const std::vector<int> children = node.children;
        work[chosen] = children[0];
        for (size_t i = 1; i < children.size(); ++i)
            work.push_back(children[i]);
    }

    out.codeTable.swap(codeTable);
    out.entries.swap(entries);
    out.capacity = capacity;
    out.highestIndex = highestIndex;
    out.wordCount = wordCount;
    return wordCount;
}
