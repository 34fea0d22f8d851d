#include "tagging/CTagTransitions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "TestUtil.h"

namespace {

// A .ctx image: N, optional names, total, frequencies, N x N counts.
std::string CtxFile(int32_t total, const std::vector<int32_t>& freq, const std::vector<int32_t>& counts,
                    const std::vector<std::string>* names = nullptr)
{
    std::string out(1, static_cast<char>(freq.size()));
    if (names != nullptr)
        for (const std::string& name : *names) {
            std::string record = name;
            record.resize(100, '\0');
            out += record;
        }
    PutInt(out, total);
    for (int32_t f : freq)
        PutInt(out, f);
    for (int32_t c : counts)
        PutInt(out, c);
    return out;
}

const long double kFloor = static_cast<long double>(0.00001);

class CTagTransitionsTest : public ::testing::Test {
protected:
    bool LoadImage(const std::string& image, bool withNames = false)
    {
        WriteFile(dir / "t.ctx", image);
        return ctx.Load((dir / "t.ctx").c_str(), withNames);
    }
    TempDir dir;
    CTagTransitions ctx;
};

TEST_F(CTagTransitionsTest, SmoothedProbabilityOfASeenPair)
{
    // Preceding code 0: f = 100 of total 1000; pair (0, 1) seen 50 times.
    ASSERT_TRUE(LoadImage(CtxFile(1000, {100, 300}, {0, 50, 30, 0})));
    const long double p = ctx.TransitionProbability(0, 1);
    EXPECT_NEAR(static_cast<double>(p), 0.4600054, 5e-8);
    // Extended precision, in the fixed order, with the double constants widened.
    long double expected = static_cast<long double>(0.1) * 100 / 1000;
    expected += static_cast<long double>(0.9) * 50 / 100;
    expected = expected * static_cast<long double>(0.99999) + static_cast<long double>(0.00001);
    EXPECT_EQ(p, expected);
    // The first term is the share of the preceding code, not of the following one.
    EXPECT_NEAR(static_cast<double>(ctx.TransitionProbability(1, 0)),
                0.99999 * (0.1 * 300 / 1000 + 0.9 * 30 / 300) + 0.00001, 1e-12);
    EXPECT_EQ(ctx.TagFrequency(0), 100);
    EXPECT_EQ(ctx.TagFrequency(1), 300);
}

TEST_F(CTagTransitionsTest, FloorsAndCodesOutsideTheInventory)
{
    // Code 2 never occurs (f = 0) although a count names it; code 3 has a
    // negative count, which is damage and treated as unseen.
    ASSERT_TRUE(LoadImage(CtxFile(1000, {100, 300, 0, 50},
                                  {0, 0, 7, -5,  //
                                   1, 0, 0, 0,   //
                                   9, 9, 9, 9,   //
                                   0, 0, 0, 0})));
    struct Case {
        int prev, tag;
    } cases[] = {
        {0, 0}, {0, 1}, {1, 1},  // count 0
        {2, 0}, {2, 3},          // preceding frequency 0
        {0, 3},                  // negative count
        {4, 0}, {0, 4}, {255, 255}, {4, 4}, {-1, 0}, // codes >= N (-1 is 255)
    };
    for (const Case& c : cases)
        EXPECT_EQ(ctx.TransitionProbability(c.prev, c.tag), kFloor) << c.prev << "," << c.tag;
    EXPECT_GT(ctx.TransitionProbability(0, 2), kFloor);
    EXPECT_EQ(ctx.TagFrequency(4), 0);
    EXPECT_EQ(ctx.TagFrequency(255), 0);
}

TEST_F(CTagTransitionsTest, EmptyInventoryOfFiveBytes)
{
    const std::string image = CtxFile(1000, {}, {});
    ASSERT_EQ(image.size(), 5u);
    ASSERT_TRUE(LoadImage(image));
    EXPECT_EQ(ctx.GetTagCount(), 0);
    EXPECT_EQ(ctx.GetTotal(), 1000);
    EXPECT_EQ(ctx.TransitionProbability(0, 0), kFloor);
    EXPECT_EQ(ctx.TagFrequency(0), 0);
    EXPECT_EQ(ctx.LogTransition(0, 0), std::log(0.00001));
}

TEST_F(CTagTransitionsTest, SecondLoadReplacesEverything)
{
    ASSERT_TRUE(LoadImage(CtxFile(1000, {100, 300, 200}, {0, 40, 10, 30, 0, 0, 60, 0, 0}, nullptr)));
    ASSERT_GT(ctx.TransitionProbability(2, 0), kFloor);
    ASSERT_TRUE(LoadImage(CtxFile(500, {50, 20}, {0, 5, 0, 0})));
    EXPECT_EQ(ctx.GetTagCount(), 2);
    EXPECT_EQ(ctx.TagFrequency(0), 50);
    EXPECT_EQ(ctx.TagFrequency(2), 0);
    EXPECT_EQ(ctx.TransitionProbability(2, 0), kFloor);
    EXPECT_EQ(ctx.TransitionProbability(1, 0), kFloor);
    EXPECT_NEAR(static_cast<double>(ctx.TransitionProbability(0, 1)),
                0.99999 * (0.1 * 50 / 500 + 0.9 * 5 / 50) + 0.00001, 1e-12);
    EXPECT_EQ(ctx.LogTransition(2, 0), std::log(0.00001));
}

TEST_F(CTagTransitionsTest, FailedLoadKeepsWhatWasHeld)
{
    ASSERT_TRUE(LoadImage(CtxFile(1000, {100, 300}, {0, 50, 30, 0})));
    EXPECT_FALSE(ctx.Load((dir / "missing.ctx").c_str(), false));
    EXPECT_FALSE(ctx.Load(dir.path.c_str(), false)); // a directory is no model file
    // N = 255 promises 261 KB of counts; a one-byte file cannot be that.
    EXPECT_FALSE(LoadImage(std::string(1, '\xFF')));
    EXPECT_EQ(ctx.GetTagCount(), 2);
    EXPECT_EQ(ctx.TagFrequency(1), 300);
}

TEST_F(CTagTransitionsTest, FilesNotAsLongAsNSaysAreRefused)
{
    const std::string full = CtxFile(1000, {100, 300, 200}, {0, 40, 10, 30, 0, 0, 60, 0, 0});
    ASSERT_EQ(full.size(), 1u + 4 + 12 + 36);
    std::vector<std::string> names = {"a", "b", "c"};
    const std::string named = CtxFile(1000, {100, 300, 200}, {0, 40, 10, 30, 0, 0, 60, 0, 0}, &names);
    ASSERT_TRUE(LoadImage(CtxFile(500, {50, 20}, {0, 5, 0, 0})));
    struct Case {
        const char* name;
        std::string bytes;
        bool withNames;
    } cases[] = {
        {"empty", "", false},
        {"N alone", full.substr(0, 1), false},
        {"N = 40 alone", std::string(1, '\x28'), false},
        {"cut inside the counts", full.substr(0, 1 + 4 + 12 + 4 * 2 + 2), false},
        {"one count short", full.substr(0, full.size() - 4), false},
        {"one byte long", full + "x", false},
        {"with a names block, loaded without", named, false},
        {"without a names block, loaded with", full, true},
        {"names block cut", named.substr(0, 1 + 250), true},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(LoadImage(c.bytes, c.withNames)) << c.name;
        EXPECT_EQ(ctx.GetTagCount(), 2) << c.name;
        EXPECT_EQ(ctx.TagFrequency(0), 50) << c.name;
    }
    ASSERT_TRUE(LoadImage(full));
    EXPECT_EQ(ctx.TagFrequency(2), 200);
    ASSERT_TRUE(LoadImage(named, true));
    EXPECT_EQ(ctx.GetNames()[2], "c");
}

TEST_F(CTagTransitionsTest, NamesBlock)
{
    std::vector<std::string> names = {"n", std::string(100, 'v'), ""};
    ASSERT_TRUE(LoadImage(CtxFile(1000, {100, 300, 200}, {0, 40, 10, 30, 0, 0, 60, 0, 0}, &names), true));
    ASSERT_EQ(ctx.GetNames().size(), 3u);
    EXPECT_EQ(ctx.GetNames()[0], "n");
    EXPECT_EQ(ctx.GetNames()[1], std::string(100, 'v')); // a full record has no NUL
    EXPECT_EQ(ctx.GetNames()[2], "");
    EXPECT_EQ(ctx.TagFrequency(2), 200);
    EXPECT_NEAR(static_cast<double>(ctx.TransitionProbability(0, 1)),
                0.99999 * (0.1 * 100 / 1000 + 0.9 * 40 / 100) + 0.00001, 1e-12);
}

TEST_F(CTagTransitionsTest, ZeroTotalGivesAFiniteProbability)
{
    ASSERT_TRUE(LoadImage(CtxFile(0, {100, 300}, {0, 50, 30, 0})));
    const long double p = ctx.TransitionProbability(0, 1);
    EXPECT_TRUE(std::isfinite(static_cast<double>(p)));
    EXPECT_GT(p, 0.0L);
    EXPECT_LE(p, 1.0L);
}

TEST_F(CTagTransitionsTest, LogTableIsBitIdenticalToTheDirectComputation)
{
    std::mt19937 rng(7);
    const int n = 40;
    std::vector<int32_t> freq(n), counts(n * n);
    for (int32_t& f : freq)
        f = static_cast<int32_t>(rng() % 5000);
    freq[3] = 0;
    for (int p = 0; p < n; ++p)
        for (int q = 0; q < n; ++q)
            counts[p * n + q] = rng() % 3 == 0 ? 0 : static_cast<int32_t>(rng() % (freq[p] + 1));
    CTagTransitions fresh;
    EXPECT_EQ(fresh.LogTransition(0, 0), std::log(static_cast<double>(fresh.TransitionProbability(0, 0))));
    ASSERT_TRUE(LoadImage(CtxFile(123457, freq, counts)));
    for (int p = 0; p < 256; ++p)
        for (int q = 0; q < 256; ++q) {
            const double direct = std::log(static_cast<double>(ctx.TransitionProbability(p, q)));
            const double table = ctx.LogTransition(p, q);
            ASSERT_EQ(std::memcmp(&direct, &table, sizeof direct), 0) << p << "," << q;
            // The taggers read whole rows; a row holds the same values.
            const double row = ctx.LogRow(p)[q];
            ASSERT_EQ(std::memcmp(&direct, &row, sizeof direct), 0) << p << "," << q;
        }
    // Negative codes are their unsigned bytes.
    EXPECT_EQ(ctx.LogRow(-216)[5], ctx.LogTransition(40, 5));
    EXPECT_EQ(ctx.LogTransition(-1, -1), ctx.LogTransition(255, 255));

    // A smaller inventory loaded after a larger one leaves no stale value in
    // the rows of codes it no longer has.
    ASSERT_TRUE(LoadImage(CtxFile(100, {50, 50}, {10, 40, 30, 20})));
    const double floor = std::log(static_cast<double>(ctx.TransitionProbability(7, 7)));
    for (int p = 0; p < 256; ++p) {
        for (int q = 0; q < 256; ++q) {
            if (p >= 2 || q >= 2) {
                ASSERT_EQ(ctx.LogRow(p)[q], floor) << p << "," << q;
            }
        }
    }
}

} // namespace
