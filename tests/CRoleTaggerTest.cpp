#include "tagging/CRoleTagger.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "TestUtil.h"

namespace {

struct Automaton {
    int32_t symbols = 0;
    std::vector<int32_t> accepting, outputs;
    std::map<std::pair<int, int>, int32_t> moves; // (state, role) -> next; others -1

    std::string Image() const
    {
        std::string out;
        PutInt(out, symbols);
        PutInt(out, static_cast<int32_t>(accepting.size()));
        for (int32_t a : accepting)
            PutInt(out, a);
        for (int32_t o : outputs)
            PutInt(out, o);
        for (size_t s = 0; s < accepting.size(); ++s)
            for (int r = 0; r < symbols; ++r) {
                auto it = moves.find({static_cast<int>(s), r});
                PutInt(out, it == moves.end() ? -1 : it->second);
            }
        return out;
    }
};

const int kX = 31;      // output code of a three-token name
const int kY = 0x11E;   // output code of a two-token name; only its low 8 bits count
const int kPerson = 4242;

// Roles: 1 opens a name, 2 continues it, 3 is a single-token accept, 5 runs on
// past an accept without accepting, 0 and 4 have no transition from state 0.
//   0 -1-> 1 -2-> 2 (accept, Y) -2-> 3 (accept, X)
//   0 -3-> 4 (accept)
//   3 -5-> 5,  5 -5-> 5,  3 -1-> 5
Automaton NameAutomaton()
{
    Automaton a;
    a.symbols = 6;
    a.accepting = {0, 0, 1, 1, 1, 0};
    a.outputs = {0, 0, kY, kX, 77, 0};
    a.moves = {{{0, 1}, 1}, {{1, 2}, 2}, {{2, 2}, 3}, {{0, 3}, 4}, {{3, 5}, 5}, {{5, 5}, 5}, {{3, 1}, 5}};
    return a;
}

// Token i spans bytes 2i .. 2i + 2, has word id 100 + i, kind i, and the given role.
std::vector<TokenRecord> Sentence(const std::vector<int>& roles)
{
    std::vector<TokenRecord> tokens;
    for (size_t i = 0; i < roles.size(); ++i) {
        TokenRecord t;
        t.wordId = 100 + static_cast<int>(i);
        t.start = 2 * static_cast<int>(i);
        t.end = t.start + 2;
        t.frequency = 10.0 + i;
        t.kind = static_cast<uint8_t>(i);
        t.tag = static_cast<uint8_t>(roles[i]);
        tokens.push_back(t);
    }
    return tokens;
}

class CRoleTaggerTest : public ::testing::Test {
protected:
    bool LoadImage(const std::string& image)
    {
        WriteFile(dir / "nr.fsa", image);
        return fsa.Load((dir / "nr.fsa").c_str());
    }
    TempDir dir;
    CRoleTagger fsa;
};

// Expected result token: old tokens [first, last] (one unless merged), and the
// kind of a merged name.
struct Span {
    int first, last, kind;
};

void ExpectTokens(const std::vector<TokenRecord>& before, const std::vector<TokenRecord>& after, int count,
                  const std::vector<Span>& expected, const std::string& label)
{
    ASSERT_EQ(count, static_cast<int>(expected.size())) << label;
    for (size_t k = 0; k < expected.size(); ++k) {
        const Span& s = expected[k];
        const TokenRecord& got = after[k];
        const TokenRecord& first = before[static_cast<size_t>(s.first)];
        EXPECT_EQ(got.start, first.start) << label << " token " << k;
        EXPECT_EQ(got.end, before[static_cast<size_t>(s.last)].end) << label << " token " << k;
        EXPECT_EQ(got.tag, first.tag) << label << " token " << k;
        EXPECT_EQ(got.frequency, first.frequency) << label << " token " << k;
        if (s.first == s.last) {
            EXPECT_EQ(got.wordId, first.wordId) << label << " token " << k;
            EXPECT_EQ(got.kind, first.kind) << label << " token " << k;
        } else {
            EXPECT_EQ(got.wordId, kPerson) << label << " token " << k;
            EXPECT_EQ(got.kind, s.kind) << label << " token " << k;
        }
    }
}

TEST_F(CRoleTaggerTest, WorkedExampleOfTenTokens)
{
    ASSERT_TRUE(LoadImage(NameAutomaton().Image()));
    EXPECT_EQ(fsa.GetSymbolCount(), 6);
    EXPECT_EQ(fsa.GetStateCount(), 6);
    const std::vector<TokenRecord> before = Sentence({0, 0, 1, 2, 2, 0, 1, 2, 0, 0});
    std::vector<TokenRecord> tokens = before;
    int count = 10;
    EXPECT_EQ(fsa.Recognize(tokens.data(), count, kPerson), 0);
    ExpectTokens(before, tokens, count,
                 {{0, 0, 0}, {1, 1, 0}, {2, 4, kX}, {5, 5, 0}, {6, 7, kY & 0xFF}, {8, 8, 0}, {9, 9, 0}}, "example");
    // The entries beyond the new count are left as they were.
    EXPECT_EQ(tokens[7].wordId, before[7].wordId);
    EXPECT_EQ(tokens[9].wordId, before[9].wordId);
}

TEST_F(CRoleTaggerTest, ScanRules)
{
    ASSERT_TRUE(LoadImage(NameAutomaton().Image()));
    struct Case {
        const char* label;
        std::vector<int> roles;
        std::vector<Span> expected;
    } cases[] = {
        {"an accept at the run's first token is no name", {0, 3, 0}, {{0, 0, 0}, {1, 1, 0}, {2, 2, 0}}},
        // Token 1 accepts alone, token 2 fails that run and is not retried, so
        // the name 1 2 right after it is lost.
        {"single accept before a name", {0, 3, 1, 2, 0}, {{0, 0, 0}, {1, 1, 0}, {2, 2, 0}, {3, 3, 0}, {4, 4, 0}}},
        // Token 2 fails the run opened at token 1; scanning goes on at token 3,
        // so the name 1 2 that would begin at token 2 is not found.
        {"failing token is not retried", {0, 1, 1, 2, 0}, {{0, 0, 0}, {1, 1, 0}, {2, 2, 0}, {3, 3, 0}, {4, 4, 0}}},
        // 1 2 2 5 5 then failure: cut back to the last accept (token 3).
        {"longest accepted prefix wins", {0, 1, 2, 2, 5, 5, 0},
         {{0, 0, 0}, {1, 3, kX}, {4, 4, 0}, {5, 5, 0}, {6, 6, 0}}},
        // 1 2 2 | 1 2: the part after the accept is scanned again and is a name.
        {"remainder is scanned again", {0, 1, 2, 2, 1, 2, 0}, {{0, 0, 0}, {1, 3, kX}, {4, 5, kY & 0xFF}, {6, 6, 0}}},
        {"adjacent names", {0, 1, 2, 1, 2, 0}, {{0, 0, 0}, {1, 2, kY & 0xFF}, {3, 4, kY & 0xFF}, {5, 5, 0}}},
        {"the begin token can open a name", {1, 2, 0}, {{0, 1, kY & 0xFF}, {2, 2, 0}}},
        // No end token closes the run: a run open at the end is not merged, but its
        // tokens still move down behind an earlier name.
        {"open run at the end", {0, 1, 2, 0, 1, 2}, {{0, 0, 0}, {1, 2, kY & 0xFF}, {3, 3, 0}, {4, 4, 0}, {5, 5, 0}}},
        {"open run only", {1, 2, 2}, {{0, 0, 0}, {1, 1, 0}, {2, 2, 0}}},
        {"whole sentence is a name", {1, 2, 2, 0}, {{0, 2, kX}, {3, 3, 0}}},
        // Codes the automaton does not read have no transition.
        {"role codes >= A", {0, 1, 200, 1, 2, 255, 6}, {{0, 0, 0}, {1, 1, 0}, {2, 2, 0}, {3, 4, kY & 0xFF}, {5, 5, 0}, {6, 6, 0}}},
        {"single token", {1}, {{0, 0, 0}}},
    };
    for (const Case& c : cases) {
        const std::vector<TokenRecord> before = Sentence(c.roles);
        std::vector<TokenRecord> tokens = before;
        int count = static_cast<int>(tokens.size());
        fsa.Recognize(tokens.data(), count, kPerson);
        ExpectTokens(before, tokens, count, c.expected, c.label);
    }
}

TEST_F(CRoleTaggerTest, EmptyInputAndNoAutomaton)
{
    std::vector<TokenRecord> tokens = Sentence({1, 2, 0});
    const std::vector<TokenRecord> before = tokens;
    int count = 3;
    // A fresh object holds no automaton: nothing is recognised.
    fsa.Recognize(tokens.data(), count, kPerson);
    ExpectTokens(before, tokens, count, {{0, 0, 0}, {1, 1, 0}, {2, 2, 0}}, "fresh");
    ASSERT_TRUE(LoadImage(NameAutomaton().Image()));
    for (int given : {0, -4}) {
        count = given;
        EXPECT_EQ(fsa.Recognize(tokens.data(), count, kPerson), 0);
        EXPECT_EQ(count, given);
        EXPECT_EQ(tokens[0].wordId, before[0].wordId);
    }
    count = 5;
    fsa.Recognize(nullptr, count, kPerson);
    EXPECT_EQ(count, 5);
}

TEST_F(CRoleTaggerTest, TransitionsOutsideTheAutomatonAreNone)
{
    // State 1 leads to 9 (no such state) on role 2 and to -7 on role 3; state 0
    // leads to 2 on role 1, and 2 accepts on role 2 via state 3.
    Automaton a;
    a.symbols = 4;
    a.accepting = {0, 0, 0, 1};
    a.outputs = {0, 0, 0, 40};
    a.moves = {{{0, 0}, 1}, {{1, 2}, 9}, {{1, 3}, -7}, {{0, 1}, 2}, {{2, 2}, 3}};
    ASSERT_TRUE(LoadImage(a.Image()));
    const std::vector<TokenRecord> before = Sentence({0, 2, 0, 3, 1, 2, 0});
    std::vector<TokenRecord> tokens = before;
    int count = 7;
    fsa.Recognize(tokens.data(), count, kPerson);
    ExpectTokens(before, tokens, count, {{0, 0, 0}, {1, 1, 0}, {2, 2, 0}, {3, 3, 0}, {4, 5, 40}, {6, 6, 0}},
                 "bad targets");
}

TEST_F(CRoleTaggerTest, LoadRejectsImplausibleHeaders)
{
    ASSERT_TRUE(LoadImage(NameAutomaton().Image()));
    const std::vector<std::pair<int32_t, int32_t>> headers = {
        {-1, 2}, {2, -1}, {0x7FFFFFFF, 0x7FFFFFFF}, {0x7FFFFFFF, 1}, {0, 0x7FFFFFFF}, {1, 50000}, {0x10000, 0x10000},
        {257, 0}, // more symbols than there are one-byte role codes
    };
    for (const auto& h : headers) {
        std::string image;
        PutInt(image, h.first);
        PutInt(image, h.second);
        EXPECT_FALSE(LoadImage(image)) << h.first << "," << h.second;
    }
    EXPECT_FALSE(fsa.Load((dir / "missing.fsa").c_str()));
    // The automaton held before stays.
    EXPECT_EQ(fsa.GetStateCount(), 6);
    std::vector<TokenRecord> tokens = Sentence({0, 1, 2, 0});
    int count = 4;
    fsa.Recognize(tokens.data(), count, kPerson);
    EXPECT_EQ(count, 3);
}

TEST_F(CRoleTaggerTest, ShortFileKeepsNoTransitionPresets)
{
    const std::string full = NameAutomaton().Image();
    // No automaton is shorter than its header (the empty one is 8 bytes), nor
    // has bytes after its last row.
    for (size_t length : {size_t(0), size_t(4), size_t(7)})
        EXPECT_FALSE(LoadImage(full.substr(0, length))) << length;
    EXPECT_FALSE(LoadImage(full + std::string(4, '\xFF')));
    // Cut inside the flags, inside the outputs, inside the rows, and after row 1.
    for (size_t length : {size_t(8), size_t(8 + 10), size_t(8 + 24 + 8), size_t(8 + 48 + 10),
                          size_t(8 + 48 + 2 * 24), full.size()}) {
        ASSERT_TRUE(LoadImage(full.substr(0, length))) << length;
        std::vector<TokenRecord> tokens = Sentence({0, 1, 2, 2, 0, 1, 2, 0});
        int count = 8;
        fsa.Recognize(tokens.data(), count, kPerson);
        // The full automaton finds 1 2 2 and 1 2; with rows 0 and 1 only, two
        // names 1 2; with less, none.
        const int expected = length == full.size() ? 5 : length == 8 + 48 + 2 * 24 ? 6 : 8;
        EXPECT_EQ(count, expected) << length;
    }
}

} // namespace

namespace {

TEST_F(CRoleTaggerTest, RunsAreFollowedForAtMostSixtyFourTokens)
{
    // 0 -1-> 1, 1 -1-> 1, 1 -2-> 2 (accept): a name of ones closed by a two.
    Automaton a;
    a.symbols = 3;
    a.accepting = {0, 0, 1};
    a.outputs = {0, 0, kX};
    a.moves = {{{0, 1}, 1}, {{1, 1}, 1}, {{1, 2}, 2}};
    ASSERT_TRUE(LoadImage(a.Image()));
    const int cap = CRoleTagger::kMaxRunTokens;
    for (int ones : {1, cap - 1, cap}) {
        std::vector<int> roles(1, 0);
        roles.insert(roles.end(), static_cast<size_t>(ones), 1);
        roles.push_back(2);
        roles.push_back(0);
        const std::vector<TokenRecord> before = Sentence(roles);
        std::vector<TokenRecord> tokens = before;
        int count = static_cast<int>(tokens.size());
        fsa.Recognize(tokens.data(), count, kPerson);
        const int last = ones + 1;
        if (ones + 1 <= cap) // the whole run fits: one name
            ExpectTokens(before, tokens, count, {{0, 0, 0}, {1, last, kX}, {last + 1, last + 1, 0}},
                         std::to_string(ones) + " ones");
        else // the run is ended before its accepting token: no name
            EXPECT_EQ(count, static_cast<int>(before.size())) << ones << " ones";
    }
}

TEST_F(CRoleTaggerTest, RescansStayLinearInTheSentenceLength)
{
    // 0 -1-> 1 -1-> 2 (accept) -1-> 3 -1-> 3: every name of two tokens is found
    // only after the run has gone on to the sentence end, and the rest of the run
    // is scanned again. Without a bound on runs that is quadratic.
    Automaton a;
    a.symbols = 2;
    a.accepting = {0, 0, 1, 0};
    a.outputs = {0, 0, kY, 0};
    a.moves = {{{0, 1}, 1}, {{1, 1}, 2}, {{2, 1}, 3}, {{3, 1}, 3}};
    ASSERT_TRUE(LoadImage(a.Image()));
    const int names = 50000;
    std::vector<int> roles(1, 0);
    roles.insert(roles.end(), size_t(2) * names, 1);
    roles.push_back(0);
    std::vector<TokenRecord> tokens = Sentence(roles);
    int count = static_cast<int>(tokens.size());
    const std::clock_t start = std::clock();
    fsa.Recognize(tokens.data(), count, kPerson);
    const double seconds = double(std::clock() - start) / CLOCKS_PER_SEC;
    std::printf("[ bench    ] %d-token sentence of two-token names: %.3f s CPU\n", 2 * names + 2, seconds);
    ASSERT_EQ(count, names + 2);
    EXPECT_EQ(tokens[1].wordId, kPerson);
    EXPECT_EQ(tokens[1].end, 2 * 3);
    EXPECT_EQ(tokens[static_cast<size_t>(names)].wordId, kPerson);
    EXPECT_EQ(tokens[static_cast<size_t>(names) + 1].wordId, 100 + 2 * names + 1);
}

} // namespace

namespace {

// FindRuns reports exactly the runs Recognize merges, with the whole output code.
TEST_F(CRoleTaggerTest, FindRunsReportsWhatRecognizeMerges)
{
    ASSERT_TRUE(LoadImage(NameAutomaton().Image()));
    std::srand(7);
    for (int round = 0; round < 2000; ++round) {
        std::vector<int> roles(static_cast<size_t>(1 + std::rand() % 12));
        for (int& r : roles)
            r = std::rand() % 7; // 6 is no role the automaton reads
        const std::vector<TokenRecord> before = Sentence(roles);
        std::vector<CRoleTagger::Run> runs;
        fsa.FindRuns(before.data(), static_cast<int>(before.size()), runs);
        // The merges Recognize makes, as old token ranges and kinds.
        std::vector<TokenRecord> tokens = before;
        int count = static_cast<int>(tokens.size());
        fsa.Recognize(tokens.data(), count, kPerson);
        std::vector<Span> merged;
        int old = 0;
        for (int k = 0; k < count; ++k) {
            const int last = old + (tokens[static_cast<size_t>(k)].end - tokens[static_cast<size_t>(k)].start) / 2 - 1;
            if (last > old)
                merged.push_back({old, last, tokens[static_cast<size_t>(k)].kind});
            old = last + 1;
        }
        ASSERT_EQ(runs.size(), merged.size()) << round;
        for (size_t k = 0; k < runs.size(); ++k) {
            EXPECT_EQ(runs[k].first, merged[k].first) << round;
            EXPECT_EQ(runs[k].last, merged[k].last) << round;
            EXPECT_EQ(runs[k].output & 0xFF, merged[k].kind) << round;
            EXPECT_TRUE(runs[k].output == kX || runs[k].output == kY) << round;
        }
    }
}

TEST_F(CRoleTaggerTest, FindRunsMayRetryTheFailingToken)
{
    ASSERT_TRUE(LoadImage(NameAutomaton().Image()));
    // 1 1 2: the run opened at token 1 fails at token 2, which opens the name
    // 1 2 that Recognize's scan skips.
    const std::vector<TokenRecord> tokens = Sentence({0, 1, 1, 2, 0});
    std::vector<CRoleTagger::Run> runs;
    fsa.FindRuns(tokens.data(), 5, runs);
    EXPECT_TRUE(runs.empty());
    fsa.FindRuns(tokens.data(), 5, runs, true);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].first, 2);
    EXPECT_EQ(runs[0].last, 3);
    EXPECT_EQ(runs[0].output, kY);
    // A token that fails a run of its own is passed over, not tried forever.
    const std::vector<TokenRecord> none = Sentence({0, 2, 5, 0});
    fsa.FindRuns(none.data(), 4, runs, true);
    EXPECT_TRUE(runs.empty());
}

} // namespace
