#include <gtest/gtest.h>

#include <algorithm>
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

// The search over a lattice by the plain definition: every transition scored with
// TransitionScore, the first successor setting a candidate's score and a later one
// replacing it only when strictly better; with extra, its weighted entry and
// label-transition scores (a null table: none) join each transition. Returns
// the chosen tokens.
std::vector<TokenRecord> ReferencePath(const CSegment& seg, const CUnigram& unigram, Lattice& l,
                                       const CSegment::ExtraScores* extra = nullptr)
{
    const int last = static_cast<int>(l.slots.size()) - 1;
    std::vector<size_t> base(l.slots.size() + 1, 0); // a slot's first index in lattice order
    for (size_t s = 0; s < l.slots.size(); ++s)
        base[s + 1] = base[s] + l.slots[s].size();
    std::vector<std::vector<double>> best(l.slots.size());
    std::vector<std::vector<int>> back(l.slots.size());
    const auto frequencyOf = [&unigram](const TokenRecord& t) {
        return (t.flags & kFlagPresetFrequency) ? t.frequency : double(unigram.Frequency(t.wordId));
    };
    for (int s = last; s >= 0; --s) {
        auto& slot = l.slots[static_cast<size_t>(s)];
        best[static_cast<size_t>(s)].assign(slot.size(), 0.0);
        back[static_cast<size_t>(s)].assign(slot.size(), -2);
        for (size_t k = 0; k < slot.size(); ++k) {
            if (s == last) {
                back[static_cast<size_t>(s)][k] = -1;
                continue;
            }
            const int next = slot[k].end + 1;
            if (next <= s || next > last)
                continue;
            for (size_t j = 0; j < l.slots[static_cast<size_t>(next)].size(); ++j) {
                if (back[static_cast<size_t>(next)][j] == -2)
                    continue;
                const TokenRecord& d = l.slots[static_cast<size_t>(next)][j];
                double v = seg.TransitionScore(slot[k].wordId, frequencyOf(slot[k]), d.wordId, frequencyOf(d)) +
                           best[static_cast<size_t>(next)][j];
                if (extra != nullptr) {
                    const size_t from = base[static_cast<size_t>(s)] + k, to = base[static_cast<size_t>(next)] + j;
                    double added = extra->entry[to];
                    if (extra->transitions != nullptr && extra->lastLabel[from] < 4 && extra->firstLabel[to] < 4)
                        added += extra->transitions[extra->lastLabel[from] * 4 + extra->firstLabel[to]];
                    v += extra->weight * added;
                }
                if (back[static_cast<size_t>(s)][k] == -2 || v > best[static_cast<size_t>(s)][k]) {
                    best[static_cast<size_t>(s)][k] = v;
                    back[static_cast<size_t>(s)][k] = static_cast<int>(j);
                }
            }
        }
    }
    std::vector<TokenRecord> path = {l.slots[0][0]};
    int i = back[0][0];
    int slot = path[0].end + 1;
    while (i >= 0) {
        path.push_back(l.slots[static_cast<size_t>(slot)][static_cast<size_t>(i)]);
        i = back[static_cast<size_t>(slot)][static_cast<size_t>(i)];
        slot = path.back().end + 1;
    }
    return path;
}

TEST(CSegment, ChoosesThePathOfThePlainDefinition)
{
    // Random tables and lattices: stored and unseen pairs, ids outside the tables,
    // words ending inside atoms, duplicate candidates (equal scores) and words
    // whose frequency their source set (the pair table's scores do not apply to
    // them). The search must choose exactly the path the definition gives.
    uint32_t seed = 2024;
    const auto next = [&seed](uint32_t n) { return seed = seed * 1103515245u + 12345u, ((seed >> 8) & 0xFFFFFF) % n; };
    const int words = 40;
    std::vector<int> freq(words);
    for (int& f : freq)
        f = static_cast<int>(next(3) == 0 ? 0 : next(500));
    std::vector<std::array<int, 3>> pairs;
    for (int a = 0; a < words; ++a)
        for (int b = 0; b < words; ++b)
            if (next(3) == 0)
                pairs.push_back({a, b, static_cast<int>(next(4) == 0 ? 0 : 1 + next(60))});
    Tables t(20000, words, freq, pairs);
    CSegment seg(nullptr, &t.unigram, &t.bigram);
    for (int round = 0; round < 300; ++round) {
        std::vector<int> bounds = {0};
        const int atoms = 1 + static_cast<int>(next(12));
        for (int a = 0; a < atoms; ++a)
            bounds.push_back(bounds.back() + 1 + static_cast<int>(next(2)));
        const int length = bounds.back();
        Lattice l(length);
        l.Add(Token(words, 0, 0, 120));
        const auto randomId = [&] { return next(10) == 0 ? -1 : next(10) == 0 ? words + 3 : static_cast<int>(next(words)); };
        for (int a = 0; a < atoms; ++a) {
            const int start = bounds[static_cast<size_t>(a)];
            TokenRecord atom = Token(randomId(), start, bounds[static_cast<size_t>(a) + 1]);
            l.Add(atom);
            if (next(8) == 0)
                l.Add(atom); // the same candidate twice: equal scores
            const int longer = static_cast<int>(next(4));
            for (int w = 0; w < longer; ++w) {
                // A word ending at a later atom boundary, or inside an atom.
                const int end = next(4) == 0 ? start + 3 : bounds[std::min<size_t>(bounds.size() - 1, static_cast<size_t>(a) + 2 + next(3))];
                if (end > length || end <= atom.end)
                    continue;
                TokenRecord word = Token(randomId(), start, end);
                if (next(5) == 0) {
                    word.flags = kFlagPresetFrequency;
                    word.frequency = next(3) == 0 ? 0 : next(800);
                }
                l.Add(word);
            }
        }
        l.Add(Token(words + 1, length, length, 121));
        l.Finish();
        // Every third round adds random extra scores, every sixth without a
        // transition table (labels below 4 then add nothing).
        size_t candidates = 0;
        for (const auto& slot : l.slots)
            candidates += slot.size();
        std::vector<float> entry(candidates), transitions(16);
        std::vector<uint8_t> firstLabel(candidates), lastLabel(candidates);
        for (size_t i = 0; i < candidates; ++i) {
            entry[i] = static_cast<float>(next(200)) / 10.0f - 10.0f;
            firstLabel[i] = static_cast<uint8_t>(next(6));
            lastLabel[i] = static_cast<uint8_t>(next(6));
        }
        for (float& x : transitions)
            x = -static_cast<float>(next(100)) / 10.0f;
        const CSegment::ExtraScores extra{entry.data(), firstLabel.data(), lastLabel.data(),
                                          round % 6 == 3 ? nullptr : transitions.data(), 0.3};
        const CSegment::ExtraScores* withExtra = round % 3 == 0 ? &extra : nullptr;
        std::vector<TokenRecord> expected = ReferencePath(seg, t.unigram, l, withExtra);
        // Searched twice: the second time every logarithm the search remembers
        // is known already, and must give the same path.
        int n = seg.Segment(l.pointers.data(), length + 2, l.sizes.data(), atoms + 2, withExtra);
        const std::vector<TokenRecord> firstTime(seg.GetItems(), seg.GetItems() + n);
        n = seg.Segment(l.pointers.data(), length + 2, l.sizes.data(), atoms + 2, withExtra);
        ASSERT_EQ(n, static_cast<int>(firstTime.size())) << "round " << round;
        ASSERT_EQ(n, static_cast<int>(expected.size())) << "round " << round;
        for (int i = 0; i < n; ++i) {
            const TokenRecord& got = seg.GetItems()[i];
            const TokenRecord& want = expected[static_cast<size_t>(i)];
            ASSERT_TRUE(got.wordId == want.wordId && got.start == want.start && got.end == want.end &&
                        got.flags == want.flags)
                << "round " << round << " token " << i;
            EXPECT_EQ(got.wordId, firstTime[static_cast<size_t>(i)].wordId);
            EXPECT_EQ(got.end, firstTime[static_cast<size_t>(i)].end);
            const double f = (want.flags & kFlagPresetFrequency) ? want.frequency : t.unigram.Frequency(want.wordId);
            EXPECT_EQ(got.frequency, f);
        }
    }
}

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

TEST(CSegment, ExtraScoresDecideOneSearchAndLeaveTheNextAlone)
{
    // The lattice of BestPathOverAtomsAndWords, where the bigram pairs prefer AB.
    std::vector<int> freq = {50, 50, 10, 10, 10, 10};
    Tables t(1000, 6, freq, {{0, 4, 40}, {4, 1, 40}});
    CSegment seg(nullptr, &t.unigram, &t.bigram);
    Lattice l(6);
    l.Add(Token(0, 0, 0, 120));
    l.Add(Token(2, 0, 2));
    l.Add(Token(4, 0, 4));
    l.Add(Token(3, 2, 4));
    l.Add(Token(3, 4, 6));
    l.Add(Token(1, 6, 6, 121));
    l.Finish();
    // Candidates in lattice order: begin, A, AB, B, C, end.
    auto words = [&](const CSegment::ExtraScores* extra) {
        std::vector<int> ids;
        const int n = seg.Segment(l.pointers.data(), 8, l.sizes.data(), 5, extra);
        for (int i = 1; i + 1 < n; ++i)
            ids.push_back(seg.GetItems()[i].wordId);
        return ids;
    };
    const std::vector<int> plain = words(nullptr);
    EXPECT_EQ(plain, (std::vector<int>{4, 3}));
    // An entry score against AB, weighted, turns the path to A B C.
    std::vector<float> entry = {0, 0, -50, 0, 0, 0};
    std::vector<uint8_t> none(6, 255);
    CSegment::ExtraScores extra{entry.data(), none.data(), none.data(), nullptr, 1.0};
    EXPECT_EQ(words(&extra), (std::vector<int>{2, 3, 3}));
    // The same with weight 0 changes nothing. A label transition joins the
    // score only where both labels are below 4: B (label 0) after A (label 3)
    // pays more than AB does, and the path goes back to AB.
    extra.weight = 0;
    EXPECT_EQ(words(&extra), plain);
    std::vector<float> transitions(16, 0);
    transitions[3 * 4 + 0] = -100;
    std::vector<uint8_t> first = {255, 3, 255, 0, 255, 255}, last = {255, 3, 255, 0, 255, 255};
    CSegment::ExtraScores labelled{entry.data(), first.data(), last.data(), transitions.data(), 1.0};
    EXPECT_EQ(words(&labelled), plain);
    // Nothing carries over to a search without extra scores.
    EXPECT_EQ(words(nullptr), plain);
}

} // namespace
