#include "tagging/PosFeatures.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

using F = PosFeatures;

// The word features of token i: template -> key.
std::map<int, uint32_t> WordFeatures(const std::vector<F::TokenInfo>& infos, int i)
{
    F::Key keys[F::kTemplateCount];
    const int n = F::Keys(infos.data(), static_cast<int>(infos.size()), i, keys);
    std::map<int, uint32_t> out;
    for (int k = 0; k < n; ++k)
        if (keys[k].templ < F::kWordTemplates)
            out[keys[k].templ] = keys[k].key;
    return out;
}

// Every token within two of a token reaches its features, in sentences of every
// length up to six: the window stops at the sentence's edges, not before.
TEST(PosFeatures, EveryNeighbourWithinTwoIsReadUpToTheEdges)
{
    for (int count = 1; count <= 6; ++count) {
        std::vector<F::TokenInfo> infos(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            infos[static_cast<size_t>(i)].word = 100 + i;
        for (int i = 0; i < count; ++i) {
            std::map<int, uint32_t> expected{{F::kWord, 100u + i}};
            const struct {
                F::Template templ;
                int offset;
            } around[] = {{F::kPrevWord, -1}, {F::kNextWord, 1}, {F::kPrev2Word, -2}, {F::kNext2Word, 2}};
            for (const auto& a : around)
                if (i + a.offset >= 0 && i + a.offset < count)
                    expected[a.templ] = static_cast<uint32_t>(100 + i + a.offset);
            EXPECT_EQ(WordFeatures(infos, i), expected) << "token " << i << " of " << count;
        }
    }
}

// A neighbour without a word id gives no word feature; the others stay.
TEST(PosFeatures, ANeighbourWithoutAWordGivesNoWordFeature)
{
    std::vector<F::TokenInfo> infos(5);
    for (int i = 0; i < 5; ++i)
        infos[static_cast<size_t>(i)].word = i == 3 ? -1 : 100 + i;
    EXPECT_EQ(WordFeatures(infos, 1), (std::map<int, uint32_t>{{F::kWord, 101}, {F::kPrevWord, 100}, {F::kNextWord, 102}}));
    EXPECT_EQ(WordFeatures(infos, 2), (std::map<int, uint32_t>{{F::kWord, 102}, {F::kPrevWord, 101}, {F::kPrev2Word, 100},
                                                               {F::kNext2Word, 104}}));
}

} // namespace
