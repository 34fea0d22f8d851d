#include "segment/RowSum.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

// The vector path must give the portable path's sums exactly: odd widths
// exercise the tails, extremes the sign extension.
TEST(RowSumTest, FastPathEqualsScalarOnRandomRows)
{
    std::mt19937 rng(24);
    std::uniform_int_distribution<int> weight(INT16_MIN, INT16_MAX);
    const std::vector<int16_t> extremes = {INT16_MIN, INT16_MAX, -1, 0, 1};
    for (size_t width : {1u, 3u, 4u, 5u, 7u, 8u, 9u, 15u, 16u, 17u, 20u, 33u}) {
        for (int trial = 0; trial < 50; ++trial) {
            std::vector<int32_t> fast(width + 1), slow(width + 1);
            for (size_t l = 0; l < width; ++l)
                fast[l] = slow[l] = weight(rng) * 1000;
            fast[width] = slow[width] = 12345; // past the row: must stay put
            for (int r = 0; r < 6; ++r) {
                std::vector<int16_t> row(width);
                for (size_t l = 0; l < width; ++l)
                    row[l] = trial % 5 == 0 ? extremes[(l + size_t(r)) % extremes.size()]
                                            : static_cast<int16_t>(weight(rng));
                rowsum::Add(fast.data() + 0, row.data(), width);
                rowsum::AddScalar(slow.data(), row.data(), width);
            }
            ASSERT_EQ(fast, slow) << "width " << width << " trial " << trial;
        }
    }
}

TEST(RowSumTest, Sum4EqualsScalar)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> weight(INT16_MIN, INT16_MAX);
    for (int trial = 0; trial < 200; ++trial) {
        rowsum::Sum4 sum;
        int32_t slow[4] = {0, 0, 0, 0};
        for (int r = 0; r < 12; ++r) {
            int16_t row[4], other[4];
            for (int l = 0; l < 4; ++l) {
                row[l] = trial % 4 == 0 ? (r % 2 ? INT16_MIN : INT16_MAX) : static_cast<int16_t>(weight(rng));
                // Both extremes in one pair of lanes too (the multiply-add path).
                other[l] = trial % 4 <= 1 ? (l % 2 ? INT16_MIN : INT16_MAX) : static_cast<int16_t>(weight(rng));
            }
            if (r % 3 == 0) {
                sum.Add(row);
                rowsum::AddScalar(slow, row, 4);
            } else {
                sum.Add2(row, other);
                rowsum::AddScalar(slow, row, 4);
                rowsum::AddScalar(slow, other, 4);
            }
        }
        int32_t fast[4];
        sum.Store(fast);
        for (int l = 0; l < 4; ++l)
            ASSERT_EQ(fast[l], slow[l]) << "trial " << trial << " lane " << l;
    }
}

// The label scores are the sums times the model's scale; the vector store must
// round each lane as the scalar conversion and product do, or the deficits
// that compare them drift by an ulp.
TEST(RowSumTest, StoreScaledEqualsScalarProduct)
{
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> weight(INT16_MIN, INT16_MAX);
    std::uniform_real_distribution<float> scale(1e-6f, 10.0f);
    for (int trial = 0; trial < 500; ++trial) {
        rowsum::Sum4 sum;
        int32_t lanes[4] = {0, 0, 0, 0};
        // Enough rows that some sums pass 2^24, where int to float rounds.
        for (int r = 0; r < (trial % 2 ? 3 : 600); ++r) {
            int16_t row[4];
            for (auto& w : row)
                w = static_cast<int16_t>(weight(rng));
            sum.Add(row);
            rowsum::AddScalar(lanes, row, 4);
        }
        const float s = trial % 7 == 0 ? 1.0f / 3.0f : scale(rng);
        float fast[4];
        sum.StoreScaled(fast, s);
        for (int l = 0; l < 4; ++l)
            ASSERT_EQ(fast[l], static_cast<float>(lanes[l]) * s) << "trial " << trial << " lane " << l;
    }
}
