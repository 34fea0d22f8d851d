#include "tagging/CNameMemory.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "TestUtil.h"
#include "engine/morv.hpp"

namespace {

// Every byte offset a character boundary, as in ASCII text.
bool AnyOffset(int) { return true; }

std::vector<std::pair<int, int>> Spans(const CNameMemory& m, const std::string& text,
                                       bool (*charStart)(int) = AnyOffset)
{
    std::vector<CNameMemory::Occurrence> found;
    m.Find(text.c_str(), static_cast<int>(text.size()), charStart, found);
    std::vector<std::pair<int, int>> spans;
    for (const auto& o : found)
        spans.emplace_back(o.start, o.end);
    return spans;
}

TEST(CNameMemory, ACommonWordTakesTwoSightingsAnyOtherNameOne)
{
    const struct {
        bool common;
        int sightings;
        bool usable;
    } cases[] = {{false, 1, true}, {true, 1, false}, {true, 2, true}};
    for (const auto& c : cases) {
        CNameMemory m;
        for (int k = 0; k < c.sightings; ++k)
            m.Note("ab", 2, 1, 24, c.common);
        EXPECT_EQ(Spans(m, "xxabyyab").size(), c.usable ? 2u : 0u) << c.common << " " << c.sightings;
    }
    // Once a frequent word, always: a later sighting marked otherwise does not
    // clear it.
    CNameMemory m;
    m.Note("ab", 2, -1, 28, true);
    m.Note("ab", 2, -1, 28, false);
    EXPECT_TRUE(m.Entries()[0].common);
    EXPECT_EQ(Spans(m, "ab").size(), 1u);
}

TEST(CNameMemory, FindsMatchesOnCharacterBoundariesInOrder)
{
    CNameMemory m;
    m.Note("bc", 2, 1, 24, false);
    m.Note("abc", 3, -1, 28, false);
    const std::vector<std::pair<int, int>> expected = {{0, 3}, {1, 3}, {4, 6}};
    EXPECT_EQ(Spans(m, "abc bc"), expected);
    std::vector<CNameMemory::Occurrence> found;
    m.Find("zbc", 3, AnyOffset, found);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].split, 2); // the surname's end, in the sentence's offsets
    // Only at even offsets (two-byte characters): "bc" at 1 would start inside one.
    const std::vector<std::pair<int, int>> even = {{4, 6}};
    EXPECT_EQ(Spans(m, "abc bc", [](int at) { return at % 2 == 0; }), even);
    EXPECT_TRUE(Spans(m, "").empty());
}

TEST(CNameMemory, StaysWithinItsCapacityForgettingTheLeastRecent)
{
    CNameMemory m(3);
    for (const char* name : {"aa", "bb", "cc"})
        m.Note(name, 2, -1, 28, false);
    m.Note("aa", 2, -1, 28, false); // seen again: bb is now the oldest
    m.Note("dd", 2, -1, 28, false);
    EXPECT_EQ(m.Size(), 3u);
    const std::vector<std::pair<int, int>> kept = {{0, 2}, {4, 6}, {6, 8}};
    EXPECT_EQ(Spans(m, "aabbccdd"), kept);
    // Nothing that could not be a name: empty, too long, a split past its end.
    const std::string longName(CNameMemory::kMaxBytes + 2, 'x');
    m.Clear();
    m.Note("", 0, -1, 28, false);
    m.Note(longName.c_str(), static_cast<int>(longName.size()), -1, 28, false);
    m.Note("ab", 2, 2, 24, false);
    EXPECT_TRUE(m.Empty());
}

// The memory belongs to one analysis: whatever texts two analysers of one
// model read at once, each text comes out as it does alone, first and
// again (no name carried from one text to the next, or across threads).
TEST(CNameMemory, NoNameCrossesTextsOrThreads)
{
    const std::string trained = std::string(MORV_BINARY_DIR) + "/bin/Morv";
    if (!FileExists(trained + "/Data/PersonName.nm"))
        GTEST_SKIP() << "no trained models in " << trained;
    TempDir dir;
    std::string config = ReadFile(trained + "/Configure.xml");
    config.replace(config.find("</Configure>"), 12, "<NameCache>on</NameCache>\n</Configure>");
    ASSERT_TRUE(LinkModels(trained, dir.path, config));
    morv::Model model(dir.path);
    const std::vector<std::string> texts = {
        "记者王国栋报道。得知王国栋倾囊相助，村民们很感动。",
        "得知王国栋倾囊相助，村民们很感动。",
        "总会计师罗以军说，他不知道。罗以军等少数人知道。",
        "罗以军等少数人知道。王国栋也知道。",
    };
    const auto cut = [](morv::Analyzer& a, const std::string& text) {
        std::vector<std::pair<size_t, std::string>> out;
        for (const morv::Token& t : a.Analyze(text))
            out.emplace_back(t.end, std::string(t.tag));
        return out;
    };
    std::vector<std::vector<std::pair<size_t, std::string>>> alone;
    for (const std::string& t : texts) {
        morv::Analyzer fresh(model);
        alone.push_back(cut(fresh, t));
    }
    const auto work = [&](size_t from, std::vector<int>* differs) {
        morv::Analyzer a(model);
        for (int round = 0; round < 20; ++round)
            for (size_t k = 0; k < texts.size(); ++k) {
                const size_t i = (from + k) % texts.size();
                if (cut(a, texts[i]) != alone[i])
                    ++(*differs)[i];
            }
    };
    std::vector<int> first(texts.size(), 0), second(texts.size(), 0);
    std::thread one(work, 0, &first), two(work, 1, &second);
    one.join();
    two.join();
    EXPECT_EQ(first, std::vector<int>(texts.size(), 0));
    EXPECT_EQ(second, std::vector<int>(texts.size(), 0));
}

} // namespace
