#include "lexicon/CSupplement.h"

#include <cmath>
#include <cstring>
#include <new>

#include "lexicon/BinaryFile.h"

constexpr char CSupplement::kMagic[5];

bool CSupplement::Load(const char* triePath, const char* tablePath, bool* tableFailed)
{
    if (tableFailed != nullptr)
        *tableFailed = false;
    // The trie: the dictionary loader's own checks, and beyond them no
    // truncation (the dictionary tolerates a short file; a supplement that
    // lost its tail would silently lose words).
    std::unique_ptr<CPDAT> newTrie(new (std::nothrow) CPDAT());
    if (!newTrie || !newTrie->Load(triePath))
        return false;
    {
        BinaryFile trieFile(triePath, "rb");
        const int64_t expected =
            CPDAT::kHeaderBytes + (int64_t(newTrie->GetHighestIndex()) + 1) * int64_t(sizeof(CPDAT::Entry));
        if (!trieFile.IsOpen() || trieFile.Size() != expected)
            return false;
    }

    if (tableFailed != nullptr)
        *tableFailed = true;
    BinaryFile file(tablePath, "rb");
    if (!file.IsOpen() || file.Size() < kHeaderBytes)
        return false;
    unsigned char header[kHeaderBytes];
    if (file.Read(header, sizeof header) != sizeof header || std::memcmp(header, kMagic, 4) != 0 ||
        BinaryFile::U32At(header + 4) != kVersion || BinaryFile::U32At(header + 12) != 0)
        return false;
    const uint32_t n = BinaryFile::U32At(header + 8);
    if (n > kMaxWords || file.Size() != kHeaderBytes + int64_t(n) * 5 ||
        newTrie->GetWordCount() != static_cast<int>(n))
        return false;
    std::vector<float> newFrequencies(n);
    std::vector<uint8_t> newTags(n);
    if (file.Read(newFrequencies.data(), n * sizeof(float)) != n * sizeof(float) ||
        file.Read(newTags.data(), n) != n)
        return false;
    for (float f : newFrequencies)
        if (!std::isfinite(f) || !(f > 0) || f > kMaxFrequency)
            return false;
    // Every word of the trie (an entry in use that ends a word) names a row.
    for (const CPDAT::Entry& e : newTrie->GetEntries())
        if (e.check != -1 && e.base < 0 && (e.value < 0 || static_cast<uint32_t>(e.value) >= n))
            return false;

    // About sixteen bits a walk: one start in twenty without a walk finds its bit set.
    std::vector<uint32_t> walks;
    newTrie->TwoCharacterWalks(walks);
    int log2 = 6;
    while (log2 < 30 && (size_t(1) << log2) < 16 * walks.size())
        ++log2;
    std::vector<uint64_t> newBits((size_t(1) << log2) / 64, 0);

    trie.swap(newTrie);
    walkBitsLog2 = log2;
    walkBits.swap(newBits);
    for (uint32_t keys : walks) {
        const uint32_t bit = WalkBit(keys);
        walkBits[bit >> 6] |= uint64_t(1) << (bit & 63);
    }
    frequencies.swap(newFrequencies);
    tags.swap(newTags);
    loaded = true;
    if (tableFailed != nullptr)
        *tableFailed = false;
    return true;
}

void CSupplement::Matches(const char* text, int maxLength, std::vector<int>& indices, std::vector<int>& lengths) const
{
    indices.clear();
    lengths.clear();
    if (!loaded || text == nullptr || maxLength <= 0)
        return;
    trie->AllPrefixMatches(text, indices, lengths, 0);
    // Shortest first: cut at the first word too long; a value that names no row
    // (impossible after Load's checks) is dropped rather than trusted.
    size_t kept = 0;
    for (size_t i = 0; i < lengths.size() && lengths[i] <= maxLength; ++i) {
        if (indices[i] < 0 || indices[i] >= GetWordCount())
            continue;
        indices[kept] = indices[i];
        lengths[kept] = lengths[i];
        ++kept;
    }
    indices.resize(kept);
    lengths.resize(kept);
}
