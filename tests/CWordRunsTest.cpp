#include "lexicon/CWordRuns.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "tools/trainer/ApartRuns.h"
#include "tools/trainer/ByteImage.h"
#include "tools/trainer/EntityAutomaton.h"

namespace {

using WordRun = CWordRuns::Run;

std::string Image(const std::vector<WordRun>& runs, uint32_t count, const char* magic = "MWRA", uint32_t version = 1)
{
    std::string out(magic, 4);
    byteimage::Put<uint32_t>(out, version);
    byteimage::Put<uint32_t>(out, count);
    byteimage::Put<uint32_t>(out, 0);
    for (const WordRun& r : runs)
        for (int32_t id : r)
            byteimage::Put<int32_t>(out, id);
    return out;
}

} // namespace

// The trainer's image loads and answers for exactly its runs; every damage
// leaves the set the loader had.
TEST(CWordRunsTest, LoadsSoundFilesAndRefusesDamagedOnes)
{
    TempDir dir;
    const std::string path = dir / "x.apart";
    const std::vector<WordRun> sound = {{3, 4, -1, -1}, {3, 4, 5, -1}, {3, 9, -1, -1}, {7, 1, 2, 8}};
    WriteFile(path, ApartRuns::Bytes(sound));
    CWordRuns runs;
    ASSERT_TRUE(runs.Load(path.c_str()));
    ASSERT_EQ(runs.GetCount(), 4u);

    const struct {
        std::vector<int32_t> ids;
        bool found;
    } asked[] = {
        {{3, 4}, true},        {{3, 4, 5}, true},      {{7, 1, 2, 8}, true}, {{3, 9}, true},
        {{4, 3}, false},       {{3, 4, 6}, false},     {{3}, false},         {{7, 1, 2}, false},
        {{3, -1}, false},      {{7, 1, 2, 8, 9}, false},
    };
    for (const auto& a : asked)
        EXPECT_EQ(runs.Contains(a.ids.data(), static_cast<int>(a.ids.size())), a.found) << a.ids.size();
    EXPECT_FALSE(runs.Contains(nullptr, 2));

    const struct {
        const char* what;
        std::string bytes;
    } damaged[] = {
        {"zero bytes", ""},
        {"one byte more", ApartRuns::Bytes(sound) + std::string(1, '\0')},
        {"one byte less", ApartRuns::Bytes(sound).substr(0, ApartRuns::Bytes(sound).size() - 1)},
        {"a count past the records", Image(sound, 5)},
        {"another magic", Image(sound, 4, "MTKD")},
        {"another version", Image(sound, 4, "MWRA", 2)},
        {"out of order", Image({{3, 9, -1, -1}, {3, 4, -1, -1}}, 2)},
        {"a run twice", Image({{3, 4, -1, -1}, {3, 4, -1, -1}}, 2)},
        {"one word", Image({{3, -1, -1, -1}}, 1)},
        {"a word after an unused slot", Image({{3, -1, 4, -1}}, 1)},
        {"a negative id", Image({{3, -2, -1, -1}}, 1)},
    };
    for (const auto& d : damaged) {
        WriteFile(path, d.bytes);
        EXPECT_FALSE(runs.Load(path.c_str())) << d.what;
        EXPECT_EQ(runs.GetCount(), 4u) << d.what;
    }
    // No runs at all is a sound set (a small corpus may keep none apart).
    WriteFile(path, ApartRuns::Bytes({}));
    ASSERT_TRUE(runs.Load(path.c_str()));
    EXPECT_EQ(runs.GetCount(), 0u);
    const int32_t pair[] = {3, 4};
    EXPECT_FALSE(runs.Contains(pair, 2));
}

// A run is kept apart when the corpus shows it at least three times and as
// one name in under a tenth of them, and only when the role models could
// merge it at all: its first token may open a name and its last end one.
TEST(ApartRunsTest, KeepsTheRunsTheCorpusWritesApart)
{
    using namespace entityrole;
    // Word ids: 1 opens names, 2 and 5 end them, 3 is inner, 4 neither.
    std::vector<std::map<int, int32_t>> roles(7);
    roles[1] = {{kFirst, 3}};
    roles[2] = {{kLast, 5}};
    roles[3] = {{kInner, 2}};
    roles[5] = {{kLastPiece, 1}};
    roles[6] = {{kFirstPiece, 1}, {kLast, 1}};

    const struct {
        const char* what;
        std::vector<std::vector<int32_t>> sentences;
        std::vector<std::vector<uint8_t>> names; // per sentence, per token: bit n, a name of n tokens from it
        std::vector<WordRun> kept;
    } cases[] = {
        {"three times, never a name", {{1, 2}, {1, 2}, {4, 1, 2}}, {}, {{1, 2, -1, -1}}},
        {"twice is too few", {{1, 2}, {1, 2}}, {}, {}},
        {"once a name in three", {{1, 2}, {1, 2}, {1, 2}}, {{4}, {}, {}}, {}},
        {"once a name in eleven",
         {{1, 2}, {1, 2}, {1, 2}, {1, 2}, {1, 2}, {1, 2}, {1, 2}, {1, 2}, {1, 2}, {1, 2}, {1, 2}},
         {{4}},
         {{1, 2, -1, -1}}},
        {"the first cannot open a name", {{4, 2}, {4, 2}, {4, 2}}, {}, {}},
        {"the last cannot end one", {{1, 3}, {1, 3}, {1, 3}}, {}, {}},
        {"inner words and the piece roles", {{1, 3, 5}, {1, 3, 5}, {6, 3, 2}, {1, 3, 5}, {6, 3, 2}, {6, 3, 2}},
         {},
         {{1, 3, 5, -1}, {6, 3, 2, -1}}},
        {"at most four words", {{1, 3, 3, 3, 2}, {1, 3, 3, 3, 2}, {1, 3, 3, 3, 2}}, {}, {}},
        {"never across sentences", {{1}, {2}, {1}, {2}, {1}, {2}}, {}, {}},
    };
    for (const auto& c : cases) {
        ApartRuns apart;
        for (size_t s = 0; s < c.sentences.size(); ++s)
            apart.AddSentence(c.sentences[s], s < c.names.size() ? c.names[s] : std::vector<uint8_t>{});
        EXPECT_EQ(apart.Runs(roles), c.kept) << c.what;
    }
}
