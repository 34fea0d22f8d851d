#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "lexicon/CPDAT.h"
#include "lexicon/GbkChar.h"
#include "tests/CPDATReferenceBuild.h"
#include "tests/TestUtil.h"

namespace {

// Random word lists with the traits that make layouts interesting: Zipf-like
// character frequencies, one- and two-byte characters mixed, shared prefixes,
// repeated words, words that are prefixes of others, and noisy lines.
struct ListMaker {
    std::mt19937 rng;
    std::vector<std::string> alphabet;
    std::discrete_distribution<size_t> pick;
    std::vector<std::string> words;

    ListMaker(unsigned seed, size_t asciiLetters, size_t twoByteChars) : rng(seed)
    {
        for (size_t i = 0; i < asciiLetters; ++i)
            alphabet.push_back(std::string(1, char('A' + i % 26 + (i >= 26 ? 32 : 0))));
        for (size_t i = 0; i < twoByteChars; ++i) {
            const unsigned lead = 0xB0 + unsigned(i / 94) % 40;
            const unsigned trail = 0xA1 + unsigned(i % 94);
            alphabet.push_back(std::string{char(lead), char(trail)});
        }
        std::shuffle(alphabet.begin(), alphabet.end(), rng);
        std::vector<double> weights;
        for (size_t r = 0; r < alphabet.size(); ++r)
            weights.push_back(1.0 / double(r + 1));
        pick = std::discrete_distribution<size_t>(weights.begin(), weights.end());
    }

    int Uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

    std::string RandomWord(int minChars, int maxChars)
    {
        std::string w;
        for (int n = Uniform(minChars, maxChars); n > 0; --n)
            w += alphabet[pick(rng)];
        return w;
    }

    std::string NextWord()
    {
        const int roll = Uniform(0, 99);
        if (!words.empty() && roll < 30) // shares a prefix with an earlier word
            return words[size_t(Uniform(0, int(words.size()) - 1))] + RandomWord(1, 2);
        if (!words.empty() && roll < 38) // repeated word
            return words[size_t(Uniform(0, int(words.size()) - 1))];
        if (!words.empty() && roll < 42) { // a prefix of an earlier word, cut anywhere
            const std::string& w = words[size_t(Uniform(0, int(words.size()) - 1))];
            return w.substr(0, size_t(Uniform(1, int(w.size()))));
        }
        return RandomWord(1, 4);
    }

    std::string List(int count)
    {
        std::string text;
        for (int i = 0; i < count; ++i) {
            const std::string w = NextWord();
            words.push_back(w);
            const int roll = Uniform(0, 99);
            if (roll < 5)
                text += "   \t";
            text += w;
            if (roll >= 90)
                text += " n 17";
            text += roll % 7 == 0 ? "\r\n" : "\n";
            if (roll == 50)
                text += "  \n";
        }
        return text;
    }
};

bool EndsInLoneLeadByte(const std::string& word)
{
    size_t j = 0;
    bool lone = false;
    while (j < word.size()) {
        const bool lead = static_cast<unsigned char>(word[j]) >= 0x80;
        lone = lead && j + 1 == word.size();
        j += lead && !lone ? 2 : 1;
    }
    return lone;
}

void ExpectSameAsReference(const std::string& listPath, const CPDAT* exclude, const std::string& label)
{
    CPDAT fast;
    const int fastCount = fast.BuildFromWordList(listPath.c_str(), exclude);
    ReferenceTrie reference;
    const int referenceCount = ReferenceBuild(listPath.c_str(), exclude, reference);
    EXPECT_EQ(fastCount, referenceCount) << label;
    const std::string saved = listPath + ".pdat";
    ASSERT_TRUE(fast.Save(saved.c_str()));
    const std::string fastFile = ReadFile(saved);
    const std::string referenceFile = reference.FileImage();
    ASSERT_EQ(fastFile.size(), referenceFile.size()) << label;
    if (fastFile != referenceFile) {
        size_t i = 0;
        while (fastFile[i] == referenceFile[i])
            ++i;
        ADD_FAILURE() << label << ": files differ first at byte " << i;
    }
    EXPECT_GE(fast.GetCapacity(), fast.GetHighestIndex() + 1);
}

TEST(CPDATBuild, SameLayoutAsPlainBuild)
{
    struct Config {
        unsigned seed;
        size_t ascii, twoByte;
        int words;
    } configs[] = {
        {1, 26, 300, 2000}, {2, 10, 1500, 2000}, {3, 52, 0, 1500},
        {4, 0, 600, 2000},  {5, 4, 3, 1500},     {6, 20, 40, 2000},
        {8, 3, 2, 1500},    {9, 6, 0, 1500},     {10, 1, 5, 1000},
    };
    for (const Config& c : configs) {
        TempDir dir;
        ListMaker maker(c.seed, c.ascii, c.twoByte);
        WriteFile(dir / "list.txt", maker.List(c.words));
        const std::string label = "seed " + std::to_string(c.seed);
        ExpectSameAsReference(dir / "list.txt", nullptr, label);

        // With an exclude dictionary: part of the same words plus others.
        CPDAT core;
        {
            ListMaker other(c.seed + 100, c.ascii, c.twoByte);
            std::string coreList = other.List(c.words / 3);
            for (size_t i = 0; i < maker.words.size(); i += 3)
                coreList += maker.words[i] + "\n";
            WriteFile(dir / "core.txt", coreList);
            ASSERT_GT(core.BuildFromWordList((dir / "core.txt").c_str()), 0);
        }
        ExpectSameAsReference(dir / "list.txt", &core, label + " with exclude");
    }
}

TEST(CPDATBuild, EveryListedWordAnswersWithItsLastId)
{
    TempDir dir;
    ListMaker maker(7, 26, 400);
    WriteFile(dir / "list.txt", maker.List(3000));
    CPDAT dict;
    ASSERT_EQ(dict.BuildFromWordList((dir / "list.txt").c_str()), 3000);
    std::map<std::string, int> lastId;
    for (size_t i = 0; i < maker.words.size(); ++i)
        lastId[maker.words[i]] = int(i);
    std::vector<int> values, lengths;
    for (const auto& [word, id] : lastId) {
        if (EndsInLoneLeadByte(word)) {
            EXPECT_EQ(dict.ExactMatch(word.c_str()), -1) << word;
            continue;
        }
        ASSERT_EQ(dict.ExactMatch(word.c_str()), id) << word;
        int value = -1;
        const int length = dict.LongestMatch(word.c_str(), &value);
        EXPECT_EQ(length, int(word.size())) << word;
        EXPECT_EQ(value, id) << word;
        EXPECT_EQ(dict.AllPrefixMatches(word.c_str(), values, lengths, 0), int(word.size()));
        ASSERT_FALSE(values.empty());
        EXPECT_EQ(values.back(), id);
    }
}

} // namespace

// The supplementary lexicon's bitmap is built from TwoCharacterWalks: it must
// list exactly the pairs of characters whose walk gets past the first one,
// over random lists (one- and two-byte characters, shared prefixes) and every
// pair of their alphabet, once each.
TEST(CPDATBuild, TwoCharacterWalksAreExactlyTheWalksPastTheFirstCharacter)
{
    const struct {
        unsigned seed;
        size_t ascii, twoByte;
        int words;
    } configs[] = {{21, 26, 60, 1500}, {22, 5, 40, 300}, {23, 0, 80, 2000}, {24, 12, 0, 400}, {25, 2, 2, 50}};
    for (const auto& c : configs) {
        TempDir dir;
        ListMaker maker(c.seed, c.ascii, c.twoByte);
        WriteFile(dir / "list.txt", maker.List(c.words));
        CPDAT dict;
        ASSERT_GT(dict.BuildFromWordList((dir / "list.txt").c_str()), 0);
        std::vector<uint32_t> walks;
        dict.TwoCharacterWalks(walks);
        std::vector<uint32_t> sorted = walks;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << "seed " << c.seed;
        size_t found = 0;
        for (const std::string& a : maker.alphabet)
            for (const std::string& b : maker.alphabet) {
                const std::string text = a + b;
                const unsigned char* s = reinterpret_cast<const unsigned char*>(text.c_str());
                int bytes = 0;
                const uint32_t first = uint32_t(gbkchar::KeyInText(s, &bytes));
                const uint32_t keys = first << 16 | uint32_t(gbkchar::KeyInText(s + bytes, &bytes));
                int firstBytes = 0;
                const bool walks2 = dict.WalksPastFirstCharacter(text.c_str(), &firstBytes);
                const bool listed = std::binary_search(sorted.begin(), sorted.end(), keys);
                EXPECT_EQ(listed, walks2) << "seed " << c.seed << " " << text;
                found += listed ? 1 : 0;
            }
        EXPECT_GT(found, 0u);
        // Every listed walk, also of characters that lists cut inside a
        // character make, is a walk past the first character.
        const auto character = [](uint32_t key) {
            return key < 0x80 ? std::string(1, char(key)) : std::string{char(key >> 8), char(key & 0xFF)};
        };
        for (uint32_t keys : walks) {
            const std::string text = character(keys >> 16) + character(keys & 0xFFFF);
            int firstBytes = 0;
            EXPECT_TRUE(dict.WalksPastFirstCharacter(text.c_str(), &firstBytes)) << "seed " << c.seed << " " << keys;
        }
    }
}
