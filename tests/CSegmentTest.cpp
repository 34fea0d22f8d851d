#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "lexicon/CBigram.h"
#include "lexicon/CUnigram.h"
#include "segment/CSegment.h"
#include "tests/ModelFixture.h"
#include "tests/TestUtil.h"

namespace {

// Unigram table of `frequencies` with the given total and entry count; bigram
// table with pairs (first, second, frequency) sorted by first then second.
struct Tables {
    TempDir dir;
    CUnigram unigram;
    CBigram bigram;
    Tables(int total, int entries, const std::vector<int>& frequencies,
           const std::vector<std::array<int, 3>>& pairs)
    {
        std::string u;
        AppendInt(u, entries);
        AppendInt(u, static_cast<int32_t>(frequencies.size()) - 1);
        AppendInt(u, total);
        for (int f : frequencies)
            AppendInt(u, f);
        WriteFile(dir / "u", u);
        std::string b;
        AppendInt(b, static_cast<int32_t>(pairs.size()));
        AppendInt(b, entries);
        for (const auto& p : pairs) {
            AppendInt(b, p[1]);
            AppendInt(b, p[2]);
        }
        for (int row = 0; row < entries; ++row) {
            int first = -1, last = -1;
            for (size_t i = 0; i < pairs.size(); ++i)
                if (pairs[i][0] == row) {
                    if (first < 0)
                        first = static_cast<int>(i);
                    last = static_cast<int>(i);
                }
            AppendInt(b, first);
            AppendInt(b, last);
        }
        WriteFile(dir / "b", b);
        EXPECT_TRUE(unigram.Load((dir / "u").c_str()));
        EXPECT_TRUE(bigram.Load((dir / "b").c_str()));
    }
};

TokenRecord Token(int id, int start, int end, uint8_t kind = 0)
{
    TokenRecord t;
    t.wordId = id;
    t.start = start;
    t.end = end;
    t.kind = kind;
    return t;
}

// A lattice over slots; slot s + 1 holds the candidates starting at byte s.
struct Lattice {
    std::vector<std::vector<TokenRecord>> slots;
    std::vector<TokenRecord*> pointers;
    std::vector<int> sizes;
    explicit Lattice(int length) : slots(static_cast<size_t>(length) + 2) {}
    void Add(const TokenRecord& t) { slots[static_cast<size_t>(t.start) + (t.kind == 120 ? 0 : 1)].push_back(t); }
    void Finish()
    {
        for (auto& s : slots) {
            pointers.push_back(s.empty() ? nullptr : s.data());
            sizes.push_back(static_cast<int>(s.size()));
        }
    }
};

TEST(CSegment, WorkedTransitionScores)
{
    // T = 1000, V = 100; F(0) = 10, F(1) = 20, B(0, 1) = 5.
    std::vector<int> freq(100, 0);
    freq[0] = 10;
    freq[1] = 20;
    Tables t(1000, 100, freq, {{0, 1, 5}});
    CSegment seg(nullptr, &t.unigram, &t.bigram);
    EXPECT_NEAR(seg.TransitionScore(0, 10, 1, 20), -0.7424852, 1e-7);
    EXPECT_NEAR(std::exp(seg.TransitionScore(0, 10, 1, 20)), 0.4759296, 1e-7);
    EXPECT_NEAR(seg.TransitionScore(1, 10, 0, 20), -6.9308802, 1e-7);
    EXPECT_NEAR(std::exp(seg.TransitionScore(1, 10, 0, 20)), 0.0009771404, 1e-10);
    EXPECT_NEAR(seg.TransitionScore(2, 0, 3, 0), -4.6539604, 1e-7);
}

TEST(CSegment, BestPathOverAtomsAndWords)
{
    // Ids: 0 begin, 1 end, 2 A, 3 B, 4 AB, 5 ABC-inner word ending inside an atom.
    std::vector<int> freq = {50, 50, 10, 10, 10, 10};
    Tables t(1000, 6, freq, {{0, 4, 40}, {4, 1, 40}});
    CSegment seg(nullptr, &t.unigram, &t.bigram);
    // Text of 6 bytes: atom A [0,2), atom B [2,4), atom C [4,6) of 2 bytes; the dictionary
    // word AB [0,4) competes; word 5 [2,5) ends inside atom C and must never be chosen.
    Lattice l(6);
    l.Add(Token(0, 0, 0, 120));
    l.Add(Token(2, 0, 2));
    l.Add(Token(4, 0, 4));
    l.Add(Token(3, 2, 4));
    l.Add(Token(5, 2, 5));
    l.Add(Token(3, 4, 6));
    l.Add(Token(1, 6, 6, 121));
    l.Finish();
    const int n = seg.Segment(l.pointers.data(), 8, l.sizes.data(), 5);
    ASSERT_EQ(n, 4);
    const TokenRecord* items = seg.GetItems();
    EXPECT_EQ(items[0].wordId, 0);
    EXPECT_EQ(items[1].wordId, 4);
    EXPECT_EQ(items[2].wordId, 3);
    EXPECT_EQ(items[3].wordId, 1);
    for (int i = 1; i < n; ++i)
        EXPECT_EQ(items[i].start, items[i - 1].end);
    EXPECT_EQ(items[1].frequency, 10);
    EXPECT_EQ(items[3].frequency, 50);
}

TEST(CSegment, OneAtomGivesThreeTokensAndIdsOutsideTableCountZero)
{
    Tables t(100, 2, {5, 5}, {});
    CSegment seg(nullptr, &t.unigram, &t.bigram);
    Lattice l(2);
    l.Add(Token(0, 0, 0, 120));
    l.Add(Token(77, 0, 2));
    l.slots[3] = {Token(1, 2, 2, 121)};
    l.Finish();
    ASSERT_EQ(seg.Segment(l.pointers.data(), 4, l.sizes.data(), 3), 3);
    EXPECT_EQ(seg.GetItems()[1].wordId, 77);
    EXPECT_EQ(seg.GetItems()[1].frequency, 0);
}

TEST(CSegment, EqualScoresKeepTheAtom)
{
    // Two candidates in one slot with the same id and span: identical scores, so the
    // first (the atom) must be the one on the path; kinds tell them apart.
    Tables t(100, 3, {5, 5, 5}, {});
    CSegment seg(nullptr, &t.unigram, &t.bigram);
    Lattice l(2);
    l.Add(Token(0, 0, 0, 120));
    l.Add(Token(2, 0, 2, 7));
    l.Add(Token(2, 0, 2, 8));
    l.slots[3] = {Token(1, 2, 2, 121)};
    l.Finish();
    ASSERT_EQ(seg.Segment(l.pointers.data(), 4, l.sizes.data(), 3), 3);
    EXPECT_EQ(seg.GetItems()[1].kind, 7);
}

} // namespace
