#include "segment/CharModelFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

struct Slot {
    uint32_t key;
    int32_t row;
};

std::string WriteKeys(const std::vector<uint32_t>& keys)
{
    // CTest runs the tests of this file side by side: one file per test.
    const std::string path = testing::TempDir() + "charmodelfile_" +
                             testing::UnitTest::GetInstance()->current_test_info()->name() + ".bin";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f != nullptr) {
        if (!keys.empty())
            std::fwrite(keys.data(), sizeof(uint32_t), keys.size(), f);
        std::fclose(f);
    }
    return path;
}

} // namespace

// The ordered table stops a lookup early; it must still find every stored key
// at its row and nothing else, whatever the load and however the keys cluster.
// A plain map is the reference.
TEST(CharModelFileTest, PairTableFindsWhatAMapFinds)
{
    std::mt19937 random(11);
    constexpr uint32_t kRows = 300;
    constexpr size_t kWidth = 4;
    for (int trial = 0; trial < 60; ++trial) {
        // Few rows make dense clusters of neighbouring keys; sizes straddle
        // the table's growth steps, so that some tables are three quarters full.
        const uint32_t span = trial % 3 == 0 ? 12 : kRows;
        const size_t count = trial < 6 ? size_t(trial) : 1 + random() % 700;
        std::set<uint32_t> chosen;
        while (chosen.size() < count && chosen.size() < size_t(span - 1) * (span - 1))
            chosen.insert(charkeys::PairKey(1 + random() % (span - 1), 1 + random() % (span - 1)));
        const std::vector<uint32_t> keys(chosen.begin(), chosen.end());
        std::map<uint32_t, int32_t> reference;
        for (size_t i = 0; i < keys.size(); ++i)
            reference[keys[i]] = static_cast<int32_t>(i);

        const int bits = charkeys::TableBits(static_cast<uint32_t>(keys.size()));
        std::vector<Slot> storage(bits < 0 ? 1 : size_t(1) << bits);
        const std::string path = WriteKeys(keys);
        Slot* table = nullptr;
        {
            BinaryFile file(path.c_str(), "rb");
            ASSERT_TRUE(file.IsOpen());
            ASSERT_TRUE(charmodelfile::ReadPairs(file, static_cast<uint32_t>(keys.size()), kRows,
                                                 reinterpret_cast<uint8_t*>(storage.data()), 0, bits, table));
        }
        std::remove(path.c_str());
        ASSERT_EQ(table == nullptr, keys.empty());

        // Every stored key, its neighbours (often absent, hashing anywhere),
        // keys of rows past the table, and the "no pair" key 0.
        std::vector<uint32_t> asked;
        for (uint32_t k : keys) {
            asked.push_back(k);
            asked.push_back(k + 1);
            asked.push_back(k - 1);
        }
        for (int i = 0; i < 200; ++i)
            asked.push_back(charkeys::PairKey(1 + random() % (kRows + 20), 1 + random() % (kRows + 20)));
        asked.push_back(0);
        std::vector<int16_t> weights(keys.size() * kWidth + 1);
        std::vector<const int16_t*> rows;
        charmodelfile::FindRows(table, bits, weights.data(), kWidth, asked, rows);
        ASSERT_EQ(rows.size(), asked.size());
        for (size_t i = 0; i < asked.size(); ++i) {
            const auto it = asked[i] == 0 ? reference.end() : reference.find(asked[i]);
            const int16_t* expected = it == reference.end() ? nullptr : weights.data() + size_t(it->second) * kWidth;
            ASSERT_EQ(rows[i], expected) << "trial " << trial << " key " << asked[i];
        }
    }
}

// Keys out of order or naming rows that do not exist still refuse the file.
TEST(CharModelFileTest, PairTableRefusesUnsoundKeys)
{
    const struct {
        const char* what;
        std::vector<uint32_t> keys;
    } cases[] = {
        {"descending", {charkeys::PairKey(3, 4), charkeys::PairKey(2, 5)}},
        {"repeated", {charkeys::PairKey(3, 4), charkeys::PairKey(3, 4)}},
        {"unknown row", {charkeys::PairKey(0, 4)}},
        {"row past the table", {charkeys::PairKey(3, 10)}},
    };
    for (const auto& c : cases) {
        const int bits = charkeys::TableBits(static_cast<uint32_t>(c.keys.size()));
        std::vector<Slot> storage(size_t(1) << bits);
        const std::string path = WriteKeys(c.keys);
        BinaryFile file(path.c_str(), "rb");
        Slot* table = nullptr;
        EXPECT_FALSE(charmodelfile::ReadPairs(file, static_cast<uint32_t>(c.keys.size()), 10,
                                              reinterpret_cast<uint8_t*>(storage.data()), 0, bits, table))
            << c.what;
    }
}
