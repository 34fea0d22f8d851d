// The trainers' label decoder against every labelling the grammar allows.
#include "segment/LabelDecoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "segment/CCharModel.h"
#include "tagging/CNameModel.h"

namespace {

struct Bmes {
    bool allowed[16] = {};
    bool canStart[4] = {true, false, false, true};
    bool canEnd[4] = {false, false, true, true};
    Bmes()
    {
        for (int label = 0; label < 4; ++label)
            for (uint8_t previous : CCharModel::kPredecessors[label])
                allowed[previous * 4 + label] = true;
    }
    LabelDecoder::Grammar Grammar() const { return {4, allowed, canStart, canEnd}; }
};

// The score of a labelling, or false when the grammar does not allow it.
bool Score(const LabelDecoder::Grammar& g, const std::vector<int64_t>& emission, const std::vector<int32_t>& t,
           const std::vector<uint8_t>& labels, int64_t* score)
{
    const size_t k = static_cast<size_t>(g.labels), n = labels.size();
    if (!g.canStart[labels[0]] || !g.canEnd[labels[n - 1]])
        return false;
    int64_t s = 0;
    for (size_t i = 0; i < n; ++i) {
        if (i > 0) {
            if (!g.allowed[labels[i - 1] * k + labels[i]])
                return false;
            s += t[labels[i - 1] * k + labels[i]];
        }
        s += emission[i * k + labels[i]];
    }
    *score = s;
    return true;
}

TEST(LabelDecoder, FindsTheBestLabellingTheGrammarAllows)
{
    const Bmes bmes;
    const LabelDecoder::Grammar grammars[] = {
        bmes.Grammar(),
        {CNameModel::kLabelCount, &CNameModel::kAllowed[0][0], CNameModel::kCanStart, CNameModel::kCanEnd},
    };
    std::mt19937 random(7);
    std::vector<int64_t> forward;
    std::vector<uint8_t> back, labels;
    for (const LabelDecoder::Grammar& g : grammars) {
        const size_t k = static_cast<size_t>(g.labels);
        for (int trial = 0; trial < 200; ++trial) {
            const size_t n = 1 + static_cast<size_t>(trial % 4);
            // Few distinct values, so that ties are common.
            std::uniform_int_distribution<int> value(-2, 2);
            std::vector<int64_t> emission(n * k);
            std::vector<int32_t> t(k * k);
            for (int64_t& e : emission)
                e = value(random);
            for (int32_t& w : t)
                w = value(random);
            LabelDecoder::Best(g, emission.data(), n, t.data(), forward, back, labels);
            ASSERT_EQ(labels.size(), n);
            int64_t got = 0;
            ASSERT_TRUE(Score(g, emission, t, labels, &got)) << "labelling outside the grammar, trial " << trial;
            // Every labelling, by counting in base k.
            int64_t best = INT64_MIN;
            std::vector<uint8_t> all(n, 0);
            for (;;) {
                int64_t s = 0;
                if (Score(g, emission, t, all, &s) && s > best)
                    best = s;
                size_t i = 0;
                while (i < n && ++all[i] == k)
                    all[i++] = 0;
                if (i == n)
                    break;
            }
            EXPECT_EQ(got, best) << "trial " << trial;
        }
    }
}

TEST(LabelDecoder, OnEqualScoresTheLowerLabelWins)
{
    const Bmes bmes;
    const std::vector<int64_t> flat(3 * 4, 0);
    const std::vector<int32_t> t(16, 0);
    std::vector<int64_t> forward;
    std::vector<uint8_t> back, labels;
    LabelDecoder::Best(bmes.Grammar(), flat.data(), 3, t.data(), forward, back, labels);
    // Read back from the end: E before S, then B before M as what E follows,
    // then E before S as what B follows, but E cannot begin: S B E.
    EXPECT_EQ(labels, (std::vector<uint8_t>{CCharModel::kS, CCharModel::kB, CCharModel::kE}));
    LabelDecoder::Best(bmes.Grammar(), flat.data(), 1, t.data(), forward, back, labels);
    EXPECT_EQ(labels, (std::vector<uint8_t>{CCharModel::kS})); // one character can only be S
}

} // namespace
