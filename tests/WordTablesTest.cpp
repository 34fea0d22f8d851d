#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "engine/CTagSet.h"
#include "lexicon/CBigram.h"
#include "lexicon/CUnigram.h"
#include "segment/CPairScores.h"
#include "tests/ModelFixture.h"
#include "tests/TestUtil.h"

namespace {

std::string Ints(std::initializer_list<int32_t> values)
{
    std::string out;
    for (int32_t v : values)
        AppendInt(out, v);
    return out;
}

TEST(CUnigram, FrequencyBounds)
{
    TempDir dir;
    // entryCount 3, lastIndex 3 (4 stored), total 60.
    WriteFile(dir / "u", Ints({3, 3, 60, 10, 20, 30, 40}));
    CUnigram u;
    ASSERT_TRUE(u.Load((dir / "u").c_str()));
    EXPECT_EQ(u.GetEntryCount(), 3);
    EXPECT_EQ(u.GetTotalFrequency(), 60);
    struct { int id, expected; } cases[] = {{-1, 0}, {0, 10}, {2, 30}, {3, 0}, {4, 0}, {1 << 30, 0}};
    for (auto c : cases)
        EXPECT_EQ(u.Frequency(c.id), c.expected) << c.id;
}

TEST(CUnigram, ShortAndDamagedFiles)
{
    TempDir dir;
    CUnigram u;
    EXPECT_FALSE(u.Load((dir / "missing").c_str()));
    // Short: the frequencies the file does not supply read as 0.
    WriteFile(dir / "short", Ints({4, 3, 60, 10}));
    ASSERT_TRUE(u.Load((dir / "short").c_str()));
    EXPECT_EQ(u.Frequency(0), 10);
    EXPECT_EQ(u.Frequency(3), 0);
    // Headers no file of this size could back are refused; the table stays.
    for (const std::string& bad : {Ints({-1, 3, 0}), Ints({4, -2, 0}), Ints({4, 1 << 30, 0})}) {
        WriteFile(dir / "bad", bad);
        EXPECT_FALSE(u.Load((dir / "bad").c_str()));
        EXPECT_EQ(u.Frequency(0), 10);
    }
}

TEST(CPairScores, AHeaderClaimingMillionsOfWordsSizesNothing)
{
    // Five frequencies stored under a header that claims 536 million words (a
    // damaged file the loader takes: the frequencies past the stored ones read 0).
    TempDir dir;
    WriteFile(dir / "u", Ints({0x20002bfe, 4, 100, 10, 20, 30, 40, 0}));
    CUnigram unigram;
    ASSERT_TRUE(unigram.Load((dir / "u").c_str()));
    EXPECT_EQ(unigram.GetStoredCount(), 5);
    CBigram bigram;
    const CPairScores scores(unigram, bigram);
    EXPECT_EQ(scores.WordOf(3).frequency, 40);
    for (int id : {5, 1000, 0x20002bfd, -1})
        EXPECT_EQ(scores.WordOf(id).frequency, 0) << id;
}

TEST(CBigram, PairLookups)
{
    TempDir dir;
    // Pairs: row 0 -> (1:7), (3:9); row 1 none; row 2 -> (0:5); row 3 inverted range.
    WriteFile(dir / "b", Ints({3, 4, 1, 7, 3, 9, 0, 5, 0, 1, -1, -1, 2, 2, 2, 1}));
    CBigram b;
    ASSERT_TRUE(b.Load((dir / "b").c_str()));
    struct { int first, second, expected; } cases[] = {
        {0, 1, 7}, {0, 3, 9}, {0, 2, 0}, {1, 0, 0}, {2, 0, 5}, {3, 0, 0}, {3, 1, 0},
        {4, 0, 0}, {-1, 0, 0}, {0, -1, 0}, {0, 5, 0},
    };
    for (auto c : cases)
        EXPECT_EQ(b.PairFrequency(c.first, c.second), c.expected) << c.first << "," << c.second;
}

TEST(CBigram, IndexAnswersAsTheRowsDo)
{
    // Rows of every length from none to many (one word followed by most others),
    // seconds up to rowCount and beyond it: every lookup, also of ids that are
    // absent, negative or out of range, must give what a search of the rows gives.
    TempDir dir;
    const int rows = 300;
    std::vector<std::vector<std::pair<int32_t, int32_t>>> table(rows);
    uint32_t seed = 12345;
    const auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 8) & 0xFFFF; };
    for (int r = 0; r < rows; ++r) {
        const int length = r == 7 ? 280 : r % 5 == 0 ? 0 : static_cast<int>(next() % 12);
        std::vector<int32_t> seconds;
        for (int k = 0; k < length; ++k)
            seconds.push_back(static_cast<int32_t>(next() % (rows + 40))); // some beyond rowCount
        if (r == 3)
            seconds.push_back(rows); // exactly rowCount still answers
        std::sort(seconds.begin(), seconds.end());
        seconds.erase(std::unique(seconds.begin(), seconds.end()), seconds.end());
        for (int32_t second : seconds)
            table[static_cast<size_t>(r)].emplace_back(second, static_cast<int32_t>(1 + next() % 1000));
    }
    std::string pairs, rowRecords;
    int32_t pairCount = 0;
    for (const auto& row : table) {
        AppendInt(rowRecords, row.empty() ? -1 : pairCount);
        AppendInt(rowRecords, row.empty() ? -1 : pairCount + static_cast<int32_t>(row.size()) - 1);
        for (const auto& p : row) {
            AppendInt(pairs, p.first);
            AppendInt(pairs, p.second);
            ++pairCount;
        }
    }
    WriteFile(dir / "b", Ints({pairCount, rows}) + pairs + rowRecords);
    CBigram b;
    ASSERT_TRUE(b.Load((dir / "b").c_str()));
    for (int first = -2; first <= rows + 1; ++first)
        for (int second = -2; second <= rows + 41; ++second) {
            int expected = 0;
            if (first >= 0 && first < rows && second <= rows)
                for (const auto& p : table[static_cast<size_t>(first)])
                    if (p.first == second)
                        expected = p.second;
            ASSERT_EQ(b.PairFrequency(first, second), expected) << first << "," << second;
            const int32_t slot = b.FindIn(b.SlotsOf(first), second);
            ASSERT_EQ(slot >= 0, expected != 0) << first << "," << second;
            if (slot >= 0) {
                EXPECT_EQ(b.SlotSecond(size_t(slot)), second);
            }
        }
}

TEST(CBigram, EmptyShortAndDamagedFiles)
{
    TempDir dir;
    CBigram b;
    WriteFile(dir / "empty", Ints({0, 0}));
    ASSERT_TRUE(b.Load((dir / "empty").c_str()));
    EXPECT_EQ(b.PairFrequency(0, 0), 0);
    // Short: missing rows read as empty.
    WriteFile(dir / "short", Ints({1, 3, 1, 4, 0, 0}));
    ASSERT_TRUE(b.Load((dir / "short").c_str()));
    EXPECT_EQ(b.PairFrequency(0, 1), 4);
    EXPECT_EQ(b.PairFrequency(1, 1), 0);
    // A cut inside the pairs: the pairs it lacks are absent, the rows all empty.
    WriteFile(dir / "cut pairs", Ints({2, 1, 1, 4, 2, 5, 0, 1}).substr(0, 8 + 8 + 3));
    ASSERT_TRUE(b.Load((dir / "cut pairs").c_str()));
    EXPECT_EQ(b.PairFrequency(0, 1), 0);
    EXPECT_EQ(b.PairFrequency(0, 2), 0);
    // A cut inside a row record leaves the rest of it at the preset: no pairs.
    WriteFile(dir / "cut", Ints({1, 2, 1, 4, 0, 0}).substr(0, 8 + 8 + 2));
    ASSERT_TRUE(b.Load((dir / "cut").c_str()));
    EXPECT_EQ(b.PairFrequency(0, 1), 0);
    // Rows no trainer writes are another file read as a bigram table: refused,
    // and the table held stays.
    const struct {
        const char* name;
        std::string bytes;
    } damaged[] = {
        {"row pointing outside the pairs", Ints({1, 2, 1, 4, 5, 9, -7, 100})},
        {"negative first pair other than -1", Ints({1, 2, 1, 4, 0, 0, -7, 0})},
        {"rows sharing one range of pairs", Ints({2, 3, 1, 4, 2, 5, 0, 1, 0, 1, 0, 1})},
        {"row bounds at the ends of the int range", Ints({1, 2, 1, 4, INT32_MIN + 1, INT32_MAX, 0, INT32_MAX})},
        {"a row's pairs not sorted", Ints({2, 1, 3, 4, 2, 5, 0, 1})},
        {"a row's pairs repeated", Ints({2, 1, 3, 4, 3, 5, 0, 1})},
        {"lexicon records read as rows", Ints({3, 3, 5, 100, 1, 7, 200, 3, 0, 1, 1, 2, -1, 0})},
        {"a byte after the last row", Ints({1, 1, 1, 4, 0, 0}) + "x"},
        {"no header", Ints({1}).substr(0, 3)},
        {"empty", ""},
    };
    WriteFile(dir / "short", Ints({1, 3, 1, 4, 0, 0}));
    ASSERT_TRUE(b.Load((dir / "short").c_str()));
    for (const auto& d : damaged) {
        WriteFile(dir / "bad", d.bytes);
        EXPECT_FALSE(b.Load((dir / "bad").c_str())) << d.name;
        EXPECT_EQ(b.PairFrequency(0, 1), 4) << d.name;
    }
    for (const std::string& bad : {Ints({-1, 0}), Ints({0, -1}), Ints({1 << 28, 1 << 28})}) {
        WriteFile(dir / "bad", bad);
        EXPECT_FALSE(b.Load((dir / "bad").c_str()));
    }
}

TEST(CTagSet, CodesArePositionsOfNames)
{
    TempDir dir;
    CTagSet tags;
    EXPECT_EQ(tags.GetName(0), nullptr);
    WriteFile(dir / "t", "n noun\n\n  \t\nv verb and more\r\na\nb\nc");
    ASSERT_TRUE(tags.Load((dir / "t").c_str()));
    ASSERT_EQ(tags.GetCount(), 5);
    EXPECT_STREQ(tags.GetName(0), "n");
    EXPECT_STREQ(tags.GetName(1), "v");
    EXPECT_STREQ(tags.GetName(4), "c");
    EXPECT_EQ(tags.GetName(5), nullptr);
    EXPECT_EQ(tags.GetName(-1), nullptr);
    // A second load replaces the whole table; a failed one keeps it.
    WriteFile(dir / "t2", "x\n");
    ASSERT_TRUE(tags.Load((dir / "t2").c_str()));
    EXPECT_EQ(tags.GetCount(), 1);
    EXPECT_FALSE(tags.Load((dir / "missing").c_str()));
    EXPECT_FALSE(tags.Load(dir.path.c_str()));
    EXPECT_STREQ(tags.GetName(0), "x");
    // A file without a single name, or one that is not text, is no tag set;
    // the table held stays.
    const std::string notTagSets[] = {"", "\n\n  \t\r\n", std::string("n\nv\0\x01\x02\n", 8),
                                      std::string("\x28\0\0\0\x10\x27\0\0", 8)};
    for (const std::string& bytes : notTagSets) {
        WriteFile(dir / "bad", bytes);
        EXPECT_FALSE(tags.Load((dir / "bad").c_str())) << bytes.size() << " bytes";
        EXPECT_EQ(tags.GetCount(), 1);
        EXPECT_STREQ(tags.GetName(0), "x");
    }
}

TEST(CTagSet, AtMost255NamesTakeCodes)
{
    TempDir dir;
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "t" + std::to_string(i) + "\n";
    WriteFile(dir / "t", text);
    CTagSet tags;
    ASSERT_TRUE(tags.Load((dir / "t").c_str()));
    EXPECT_EQ(tags.GetCount(), 255);
    EXPECT_STREQ(tags.GetName(254), "t254");
    EXPECT_EQ(tags.GetName(255), nullptr);
}

} // namespace
