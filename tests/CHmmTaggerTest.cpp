#include "tagging/CHmmTagger.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "TestUtil.h"
#include "tagging/CPosLexicon.h"
#include "tagging/CTagTransitions.h"

namespace {

struct Candidate {
    uint8_t tag;
    int32_t frequency;
};
using WordEntries = std::vector<Candidate>; // entries of one word id

std::string CtxFile(int32_t total, const std::vector<int32_t>& freq, const std::vector<int32_t>& counts)
{
    std::string out(1, static_cast<char>(freq.size()));
    PutInt(out, total);
    for (int32_t f : freq)
        PutInt(out, f);
    for (int32_t c : counts)
        PutInt(out, c);
    return out;
}

// Word id i gets words[i]; an empty list means no entries.
std::string LexiconFile(const std::vector<WordEntries>& words)
{
    std::string entries, index;
    int32_t m = 0;
    for (const WordEntries& word : words) {
        PutInt(index, word.empty() ? -1 : m);
        PutInt(index, static_cast<int32_t>(word.size()));
        for (const Candidate& c : word) {
            entries += static_cast<char>(c.tag);
            entries += std::string(3, '\0');
            PutInt(entries, c.frequency);
            ++m;
        }
    }
    std::string out;
    PutInt(out, m);
    PutInt(out, static_cast<int32_t>(words.size()));
    return out + entries + index;
}

TokenRecord Token(int32_t wordId, uint8_t kind = 0)
{
    TokenRecord t;
    t.wordId = wordId;
    t.kind = kind;
    return t;
}

class CHmmTaggerTest : public ::testing::Test {
protected:
    void LoadModels(const std::string& ctxImage, const std::vector<WordEntries>& words)
    {
        WriteFile(dir / "m.ctx", ctxImage);
        WriteFile(dir / "m.pos", LexiconFile(words));
        ASSERT_TRUE(ctx.Load((dir / "m.ctx").c_str(), false));
        ASSERT_TRUE(lexicon.Load((dir / "m.pos").c_str()));
    }
    // The worked-example statistics: N = 3, total 1000, tag frequencies 100, 300,
    // 200; counts [0][1] = 40, [0][2] = 10, [1][0] = 30, [2][0] = 60.
    std::string ExampleCtx() const { return CtxFile(1000, {100, 300, 200}, {0, 40, 10, 30, 0, 0, 60, 0, 0}); }
    static std::vector<uint8_t> Tags(const std::vector<TokenRecord>& tokens)
    {
        std::vector<uint8_t> out;
        for (const TokenRecord& t : tokens)
            out.push_back(t.tag);
        return out;
    }

    TempDir dir;
    CTagTransitions ctx;
    CPosLexicon lexicon;
};

TEST_F(CHmmTaggerTest, WorkedExample)
{
    // Word 0: begin/end word (tag 0, 100); word 1: (tag 1, 5), (tag 2, 20).
    LoadModels(ExampleCtx(), {{{0, 100}}, {{1, 5}, {2, 20}}});
    CHmmTagger tagger(&lexicon, &ctx, 1000.0, 21);
    std::vector<TokenRecord> tokens = {Token(0), Token(1), Token(0)};
    EXPECT_EQ(tagger.Tag(tokens.data(), 3), 0);
    EXPECT_NEAR(tagger.GetScore(1, 0), -5.1491, 5e-5);
    EXPECT_NEAR(tagger.GetScore(1, 1), -4.6994, 5e-5);
    // At token 2 the path through tag 2 (about -5.9372 before the emission) wins.
    const double viaTag1 = tagger.GetScore(1, 0) + std::log(static_cast<double>(ctx.TransitionProbability(1, 0)));
    const double viaTag2 = tagger.GetScore(1, 1) + std::log(static_cast<double>(ctx.TransitionProbability(2, 0)));
    EXPECT_NEAR(viaTag1, -7.2693, 5e-5);
    EXPECT_NEAR(viaTag2, -5.9372, 5e-5);
    EXPECT_EQ(tagger.GetBack(2, 0), 1);
    EXPECT_EQ(tagger.GetScore(2, 0),
              viaTag2 + (std::log(100 + 0.02) - std::log(100 + 0.02 * 1000.0)));
    EXPECT_EQ(Tags(tokens), (std::vector<uint8_t>{0, 2, 0}));
    // Nothing but the tags changes.
    EXPECT_EQ(tokens[1].wordId, 1);
    EXPECT_EQ(tokens[1].kind, 0);
    EXPECT_EQ(tokens[1].start, -1);
}

TEST_F(CHmmTaggerTest, WordsWithoutEntriesTakeTheDefaultTag)
{
    // Word 1 has no entries; word 2 has a record pointing nowhere; 7 is beyond W.
    LoadModels(ExampleCtx(), {{{0, 100}}, {}, {}});
    for (uint8_t defaultTag : {uint8_t(21), uint8_t(22), uint8_t(2)}) {
        CHmmTagger tagger(&lexicon, &ctx, 1000.0, defaultTag);
        std::vector<TokenRecord> tokens = {Token(0), Token(1), Token(-1), Token(7), Token(0)};
        tagger.Tag(tokens.data(), 5);
        EXPECT_EQ(Tags(tokens), (std::vector<uint8_t>{0, defaultTag, defaultTag, defaultTag, 0}));
        // The emission of a word without entries is ln(0.02) - ln(F + 0.02 V).
        const double expected = std::log(static_cast<double>(ctx.TransitionProbability(0, defaultTag))) +
                                (std::log(0.02) - std::log(ctx.TagFrequency(defaultTag) + 0.02 * 1000.0));
        EXPECT_EQ(tagger.GetScore(1, 0), expected);
    }
    EXPECT_NEAR(std::log(0.02), -3.9120, 5e-5);
}

TEST_F(CHmmTaggerTest, EqualSumsKeepTheEarlierCandidate)
{
    // Tags 1 and 2 have identical statistics, so both candidates of token 1 reach
    // token 2 with the same sum; the earlier one in lexicon order wins.
    const std::string image = CtxFile(1000, {100, 300, 300}, {0, 40, 40, 30, 0, 0, 30, 0, 0});
    for (bool tag1First : {true, false}) {
        const WordEntries middle = tag1First ? WordEntries{{1, 5}, {2, 5}} : WordEntries{{2, 5}, {1, 5}};
        LoadModels(image, {{{0, 100}}, middle});
        CHmmTagger tagger(&lexicon, &ctx, 1000.0, 21);
        std::vector<TokenRecord> tokens = {Token(0), Token(1), Token(0)};
        tagger.Tag(tokens.data(), 3);
        ASSERT_EQ(tagger.GetScore(1, 0), tagger.GetScore(1, 1));
        EXPECT_EQ(tagger.GetBack(2, 0), 0);
        EXPECT_EQ(tokens[1].tag, tag1First ? 1 : 2);
    }
}

TEST_F(CHmmTaggerTest, TraceStartsAtTheFirstCandidateOfTheLastToken)
{
    // Tags 1 and 2 each follow only themselves. The last token's second candidate
    // (tag 2, frequent) scores best, but the path is traced from its first.
    LoadModels(CtxFile(1000, {100, 100, 100}, {0, 50, 50, 0, 80, 0, 0, 0, 80}),
               {{{0, 100}}, {{1, 10}, {2, 10}}, {{1, 1}, {2, 1000}}});
    CHmmTagger tagger(&lexicon, &ctx, 1000.0, 21);
    std::vector<TokenRecord> tokens = {Token(0), Token(1), Token(2)};
    tagger.Tag(tokens.data(), 3);
    ASSERT_GT(tagger.GetScore(2, 1), tagger.GetScore(2, 0));
    EXPECT_EQ(Tags(tokens), (std::vector<uint8_t>{0, 1, 1}));
}

TEST_F(CHmmTaggerTest, TokenZero)
{
    // Word 0 has two candidates, word 1 none.
    LoadModels(ExampleCtx(), {{{1, 5}, {2, 20}}, {}});
    CHmmTagger tagger(&lexicon, &ctx, 1000.0, 0);
    std::vector<TokenRecord> tokens = {Token(0, 7)};
    tokens[0].tag = 99;
    EXPECT_EQ(tagger.Tag(tokens.data(), 0), 0);
    EXPECT_EQ(tagger.Tag(tokens.data(), -3), 0);
    EXPECT_EQ(tokens[0].tag, 99);
    // One token: its first candidate, whatever the rest.
    tagger.Tag(tokens.data(), 1);
    EXPECT_EQ(tokens[0].tag, 1);
    EXPECT_EQ(tokens[0].kind, 7);
    // Every candidate of token 0 starts at 0, so the transition decides here:
    // (1 -> 0) has count 30 of 300, (2 -> 0) 60 of 200.
    tokens = {Token(0), Token(1)};
    tagger.Tag(tokens.data(), 2);
    EXPECT_EQ(tagger.GetScore(0, 0), 0.0);
    EXPECT_EQ(tagger.GetScore(0, 1), 0.0);
    EXPECT_EQ(Tags(tokens), (std::vector<uint8_t>{2, 0}));
    // A token 0 without entries takes the default entry.
    tokens = {Token(1), Token(0)};
    tagger.Tag(tokens.data(), 2);
    EXPECT_EQ(tokens[0].tag, 0);
}

TEST_F(CHmmTaggerTest, PersonNamePlaceholderTakesItsTagFromKind)
{
    // Word 3 is the placeholder; it has an entry of its own, which is overridden.
    LoadModels(ExampleCtx(), {{{0, 100}}, {{1, 5}}, {}, {{2, 50}}});
    CHmmTagger tagger(&lexicon, &ctx, 1000.0, 21, 3);
    EXPECT_EQ(tagger.GetPersonWordId(), 3);
    std::vector<TokenRecord> tokens = {Token(0, 120), Token(3, 27), Token(1, 4), Token(3, 30), Token(0, 121)};
    tagger.Tag(tokens.data(), 5);
    EXPECT_EQ(Tags(tokens), (std::vector<uint8_t>{0, 27, 1, 30, 0}));
    EXPECT_EQ(tokens[1].kind, kKindPersonName);
    EXPECT_EQ(tokens[3].kind, kKindPersonName);
    EXPECT_EQ(tokens[2].kind, 4);
    EXPECT_EQ(tokens[0].kind, 120);

    // Without a placeholder id, tokens whose word id is -1 are ordinary tokens.
    CHmmTagger plain(&lexicon, &ctx, 1000.0, 21);
    tokens = {Token(0, 120), Token(-1, 5), Token(0, 121)};
    plain.Tag(tokens.data(), 3);
    EXPECT_EQ(Tags(tokens), (std::vector<uint8_t>{0, 21, 0}));
    EXPECT_EQ(tokens[1].kind, 5);
    plain.SetPersonWordId(1);
    tokens = {Token(0, 120), Token(1, 12), Token(0, 121)};
    plain.Tag(tokens.data(), 3);
    EXPECT_EQ(tokens[1].tag, 12);
    EXPECT_EQ(tokens[1].kind, kKindPersonName);
}

TEST_F(CHmmTaggerTest, ReusedWorkingArraysGiveTheSameResult)
{
    LoadModels(ExampleCtx(), {{{0, 100}}, {{1, 5}, {2, 20}}, {{2, 3}, {1, 30}, {0, 1}}, {}});
    CHmmTagger reused(&lexicon, &ctx, 1000.0, 21);
    const std::vector<std::vector<int>> sentences = {
        {0, 1, 2, 3, 2, 1, 1, 2, 3, 0}, {0, 2, 0}, {0, 3, 3, 1, 2, 2, 2, 1, 3, 2, 1, 0, 0, 1, 2, 0}, {0}, {0, 1, 0}};
    for (int round = 0; round < 2; ++round)
        for (const std::vector<int>& ids : sentences) {
            std::vector<TokenRecord> a, b;
            for (int id : ids) {
                a.push_back(Token(id));
                b.push_back(Token(id));
            }
            CHmmTagger fresh(&lexicon, &ctx, 1000.0, 21);
            fresh.Tag(a.data(), static_cast<int>(a.size()));
            reused.Tag(b.data(), static_cast<int>(b.size()));
            EXPECT_EQ(Tags(a), Tags(b));
        }
}

} // namespace

namespace {

TEST_F(CHmmTaggerTest, NoTokenHasMoreCandidatesThanTheStatisticsHaveTags)
{
    // Word 1 lists all 256 tag codes, as a lexicon file may; with N = 3 only its
    // first three entries can be a sound model's, and the tagger reads only them.
    WordEntries all;
    for (int tag = 0; tag < 256; ++tag)
        all.push_back({static_cast<uint8_t>((tag + 1) % 256), 5 + tag});
    LoadModels(ExampleCtx(), {{{0, 100}}, all, {all[0], all[1], all[2]}});
    CHmmTagger tagger(&lexicon, &ctx, 1000.0, 21);
    std::vector<TokenRecord> wide = {Token(0), Token(1), Token(1), Token(0)};
    tagger.Tag(wide.data(), 4);
    EXPECT_NE(tagger.GetBack(1, 2), -1);
    EXPECT_EQ(tagger.GetBack(1, 3), -1);
    const double wideScore = tagger.GetScore(3, 0);
    std::vector<TokenRecord> cut = {Token(0), Token(2), Token(2), Token(0)};
    tagger.Tag(cut.data(), 4);
    EXPECT_EQ(Tags(wide), Tags(cut));
    EXPECT_EQ(wideScore, tagger.GetScore(3, 0));

    // Without statistics of any tag (N = 0) the lexicon alone bounds the list.
    WriteFile(dir / "empty.ctx", CtxFile(0, {}, {}));
    CTagTransitions none;
    ASSERT_TRUE(none.Load((dir / "empty.ctx").c_str(), false));
    CHmmTagger unbounded(&lexicon, &none, 1000.0, 21);
    unbounded.Tag(wide.data(), 4);
    EXPECT_NE(unbounded.GetBack(1, 255), -1);
}

// The Viterbi search written out plainly, one candidate list per token, for the
// tagger's slot-based search to match bit for bit.
struct PlainViterbi {
    std::vector<std::vector<double>> score;
    std::vector<std::vector<int>> back;
    std::vector<uint8_t> tags;
};

PlainViterbi PlainTag(const std::vector<std::vector<Candidate>>& lists, const CTagTransitions& ctx,
                      double vocabularySize)
{
    PlainViterbi out;
    const size_t n = lists.size();
    out.score.resize(n);
    out.back.resize(n);
    out.score[0].assign(lists[0].size(), 0.0);
    out.back[0].assign(lists[0].size(), 0);
    for (size_t j = 1; j < n; ++j) {
        for (const Candidate& c : lists[j]) {
            double best = out.score[j - 1][0] + ctx.LogTransition(lists[j - 1][0].tag, c.tag);
            int from = 0;
            for (size_t l = 1; l < lists[j - 1].size(); ++l) {
                const double s = out.score[j - 1][l] + ctx.LogTransition(lists[j - 1][l].tag, c.tag);
                if (s > best) {
                    best = s;
                    from = static_cast<int>(l);
                }
            }
            best += std::log(c.frequency + 0.02) - std::log(ctx.TagFrequency(c.tag) + 0.02 * vocabularySize);
            out.score[j].push_back(best);
            out.back[j].push_back(from);
        }
    }
    out.tags.resize(n);
    int current = 0;
    for (size_t i = n; i-- > 0;) {
        out.tags[i] = lists[i][static_cast<size_t>(current)].tag;
        current = out.back[i][static_cast<size_t>(current)];
    }
    return out;
}

TEST_F(CHmmTaggerTest, MatchesThePlainSearchOnRandomSentences)
{
    // Few distinct counts and frequencies, so that equal sums are common; tag
    // codes past N (rows of the floor); frequencies past the small table's
    // 4096, some of them sharing a bucket of the cache of their logarithms
    // (those 256 apart).
    std::mt19937 random(24);
    for (int round = 0; round < 40; ++round) {
        const int tagCount = 2 + static_cast<int>(random() % 12);
        std::vector<int32_t> freq(static_cast<size_t>(tagCount));
        std::vector<int32_t> counts(static_cast<size_t>(tagCount * tagCount));
        for (int32_t& f : freq)
            f = round % 3 == 0 ? 50 : 10 + static_cast<int32_t>(random() % 4) * 20;
        for (int32_t& c : counts)
            c = round % 3 == 0 ? 3 : static_cast<int32_t>(random() % 4);
        std::vector<WordEntries> words(30);
        for (WordEntries& word : words) {
            const int k = static_cast<int>(random() % 5); // 0: no entries, the default tag
            std::vector<bool> used(256, false);
            for (int e = 0; e < k; ++e) {
                uint8_t tag = static_cast<uint8_t>(random() % static_cast<unsigned>(tagCount + 2));
                if (used[tag])
                    continue;
                used[tag] = true;
                static const int32_t kFrequencies[] = {0, 1, 7, 4095, 4096, 5000, 5256, 70000, 70256};
                const int32_t f = round % 3 == 0 ? 7 : kFrequencies[random() % 9];
                word.push_back({tag, f});
            }
        }
        LoadModels(CtxFile(1000, freq, counts), words);
        const uint8_t defaultTag = static_cast<uint8_t>(random() % static_cast<unsigned>(tagCount));
        CHmmTagger tagger(&lexicon, &ctx, 500.0, defaultTag);
        for (int sentence = 0; sentence < 25; ++sentence) {
            const int count = 1 + static_cast<int>(random() % 40);
            std::vector<TokenRecord> tokens;
            std::vector<std::vector<Candidate>> lists;
            for (int i = 0; i < count; ++i) {
                const int32_t id = static_cast<int32_t>(random() % 32) - 1; // -1 and 30: outside the lexicon
                tokens.push_back(Token(id));
                const bool listed = id >= 0 && id < 30 && !words[static_cast<size_t>(id)].empty();
                lists.push_back(listed ? words[static_cast<size_t>(id)] : WordEntries{{defaultTag, 0}});
                if (lists.back().size() > static_cast<size_t>(tagCount))
                    lists.back().resize(static_cast<size_t>(tagCount)); // no more candidates than tags
            }
            const PlainViterbi plain = PlainTag(lists, ctx, 500.0);
            tagger.Tag(tokens.data(), count);
            ASSERT_EQ(Tags(tokens), plain.tags) << "round " << round << " sentence " << sentence;
            for (int i = 0; i < count; ++i)
                for (int c = 0; c < static_cast<int>(lists[static_cast<size_t>(i)].size()); ++c) {
                    ASSERT_EQ(tagger.GetScore(i, c), plain.score[static_cast<size_t>(i)][static_cast<size_t>(c)]);
                    ASSERT_EQ(tagger.GetBack(i, c), plain.back[static_cast<size_t>(i)][static_cast<size_t>(c)]);
                }
        }
    }
}

} // namespace
