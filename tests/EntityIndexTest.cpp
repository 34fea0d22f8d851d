#include "tools/trainer/EntityIndex.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <vector>

namespace {

using Entity = RoleScheme::Entity;

// What the trainer asked of the entities before there was an index: every
// entity compared with the offset.
const Entity* PlainHolding(const std::vector<Entity>& list, int offset)
{
    const Entity* in = nullptr;
    for (const Entity& e : list)
        if (offset >= e.start && offset < e.end)
            in = &e;
    return in;
}

TEST(EntityIndex, AnswersAsTheComparisonWithEveryEntity)
{
    std::mt19937 random(7);
    const struct {
        const char* what;
        std::vector<Entity> list;
    } cases[] = {
        {"none", {}},
        {"apart, in order", {{0, 2, 2, 0}, {4, 6, 6, 0}, {6, 9, 9, 0}}},
        {"a word inside a compound, listed after it", {{0, 8, 8, 1}, {2, 4, 4, 0}}},
        {"nested, listed before", {{2, 4, 4, 0}, {0, 8, 8, 1}}},
        {"overlapping and the same twice", {{0, 5, 5, 0}, {3, 9, 9, 0}, {3, 9, 9, 0}, {8, 8, 8, 0}}},
        {"out of order", {{10, 12, 12, 0}, {0, 3, 3, 0}, {5, 11, 11, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const EntityIndex index(c.list);
        // Offsets in order (as the tokens of a paragraph come), then with jumps back.
        std::vector<int> offsets;
        for (int o = 0; o <= 14; ++o)
            offsets.push_back(o);
        for (int k = 0; k < 40; ++k)
            offsets.push_back(static_cast<int>(random() % 15));
        EntityIndex::Cursor cursor(index);
        for (int o : offsets) {
            EXPECT_EQ(cursor.Holding(o), PlainHolding(c.list, o)) << "offset " << o;
            bool starts = false, ends = false;
            for (const Entity& e : c.list) {
                starts = starts || e.start == o;
                ends = ends || e.end == o;
            }
            EXPECT_EQ(index.StartsAt(o), starts) << o;
            EXPECT_EQ(index.EndsAt(o), ends) << o;
        }
        for (int from = 0; from < 14; ++from)
            for (int to = from; to < 14; ++to) {
                size_t expected = 0;
                for (const Entity& e : c.list)
                    expected += e.start >= from && e.start <= to;
                const auto found = index.StartingIn(from, to);
                EXPECT_EQ(found.size(), expected) << from << ".." << to;
                for (const Entity* e : found)
                    EXPECT_TRUE(e->start >= from && e->start <= to);
            }
    }
}

// A paragraph of a hundred thousand entities (a list of place names on one
// line) is walked in time proportional to it: comparing each offset with each
// entity took 10^10 steps here.
TEST(EntityIndex, AHundredThousandEntitiesOfOneParagraphAreCheap)
{
    std::vector<Entity> list;
    for (int k = 0; k < 100000; ++k)
        list.push_back({6 * k, 6 * k + 4, 6 * k + 4, 0});
    const auto start = std::chrono::steady_clock::now();
    const EntityIndex index(list);
    EntityIndex::Cursor cursor(index);
    size_t held = 0, before = 0, aligned = 0;
    for (int o = 0; o < 600000; o += 2) {
        held += cursor.Holding(o) != nullptr;
        before += index.StartsAt(o + 2);
    }
    for (int s = 0; s < 600000; s += 60)
        aligned += index.StartingIn(s, s + 59).size();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(aligned, list.size());
    EXPECT_EQ(held, 200000u);   // 6k and 6k + 2
    EXPECT_EQ(before, 99999u); // 6k - 2 for k >= 1
    EXPECT_LT(seconds, 5.0);
}

} // namespace
