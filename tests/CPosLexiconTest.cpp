#include "tagging/CPosLexicon.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "TestUtil.h"

namespace {

struct Candidate {
    uint8_t tag;
    int32_t frequency;
};

// A lexicon image with the given header counts; entries carry junk in their
// three ignored bytes.
std::string LexiconFile(int32_t m, int32_t w, const std::vector<Candidate>& entries,
                        const std::vector<std::pair<int32_t, int32_t>>& index)
{
    std::string out;
    PutInt(out, m);
    PutInt(out, w);
    for (const Candidate& e : entries) {
        out += static_cast<char>(e.tag);
        out += "\x7F\x80\xFF";
        PutInt(out, e.frequency);
    }
    for (const auto& r : index) {
        PutInt(out, r.first);
        PutInt(out, r.second);
    }
    return out;
}

std::string LexiconFile(const std::vector<Candidate>& entries, const std::vector<std::pair<int32_t, int32_t>>& index)
{
    return LexiconFile(static_cast<int32_t>(entries.size()), static_cast<int32_t>(index.size()), entries, index);
}

class CPosLexiconTest : public ::testing::Test {
protected:
    bool LoadImage(const std::string& image)
    {
        WriteFile(dir / "t.pos", image);
        return lexicon.Load((dir / "t.pos").c_str());
    }
    // The (tag, frequency) pairs Lookup hands out for a word.
    std::vector<std::pair<int, int>> Entries(int wordId) const
    {
        int count = -7;
        const CPosLexicon::Entry* e = lexicon.Lookup(wordId, &count);
        std::vector<std::pair<int, int>> out;
        if (count == 0) {
            EXPECT_EQ(e, nullptr);
        }
        for (int i = 0; i < count; ++i)
            out.emplace_back(e[i].tag, e[i].frequency);
        return out;
    }
    TempDir dir;
    CPosLexicon lexicon;
};

using Pairs = std::vector<std::pair<int, int>>;

TEST_F(CPosLexiconTest, LooksUpContiguousEntriesInFileOrder)
{
    ASSERT_TRUE(LoadImage(LexiconFile({{5, 100}, {1, 7}, {200, 3}, {9, -2}},
                                      {{0, 1}, {1, 2}, {-1, 0}, {-1, 5}, {3, 1}})));
    EXPECT_EQ(lexicon.GetEntryCount(), 4);
    EXPECT_EQ(lexicon.GetIndexSize(), 5);
    EXPECT_EQ(Entries(0), (Pairs{{5, 100}}));
    EXPECT_EQ(Entries(1), (Pairs{{1, 7}, {200, 3}}));
    EXPECT_EQ(Entries(2), Pairs{});
    EXPECT_EQ(Entries(3), Pairs{}); // first entry -1 despite a positive count
    EXPECT_EQ(Entries(4), (Pairs{{9, -2}}));
    EXPECT_EQ(Entries(5), Pairs{}); // = W
    EXPECT_EQ(Entries(-1), Pairs{});
    EXPECT_EQ(Entries(1 << 30), Pairs{});
}

TEST_F(CPosLexiconTest, RecordsReachingPastTheEntriesAreRefused)
{
    const std::vector<Candidate> three = {{1, 10}, {2, 20}, {3, 30}};
    ASSERT_TRUE(LoadImage(LexiconFile(three, {{0, 3}, {-1, 7}, {2, 0}})));
    EXPECT_EQ(Entries(0), (Pairs{{1, 10}, {2, 20}, {3, 30}}));
    EXPECT_EQ(Entries(1), Pairs{}); // first entry -1: none, whatever the count
    EXPECT_EQ(Entries(2), Pairs{}); // no entries
    EXPECT_EQ(lexicon.GetLongestRecord(), 3);
    int count = 0;
    EXPECT_EQ(lexicon.Lookup(0, nullptr), lexicon.Lookup(0, &count));

    // One such record among sound ones makes the whole file no lexicon, and the
    // lexicon held stays.
    const std::pair<int32_t, int32_t> bad[] = {
        {1, 5},          // runs past the third entry
        {2, 0x7FFFFFFF}, // the count of another file's field
        {3, 1},          // first entry = M
        {0x7FFFFFFF, 1},
        {0, -4},         // negative count
        {-2, 1},         // negative first entry other than -1
    };
    for (const auto& record : bad) {
        EXPECT_FALSE(LoadImage(LexiconFile(three, {{0, 1}, record, {2, 1}}))) << record.first << "," << record.second;
        EXPECT_EQ(Entries(0), (Pairs{{1, 10}, {2, 20}, {3, 30}}));
    }
}

TEST_F(CPosLexiconTest, AWordHasAtMostOneEntryPerTagCode)
{
    // The largest record a sound lexicon can hold: every one of the 256 tag codes.
    std::vector<Candidate> entries;
    for (int tag = 0; tag < 257; ++tag)
        entries.push_back({static_cast<uint8_t>(tag), tag});
    ASSERT_TRUE(LoadImage(LexiconFile(entries, {{0, 256}, {1, 256}})));
    EXPECT_EQ(lexicon.GetLongestRecord(), 256);
    EXPECT_EQ(Entries(1).size(), 256u);
    EXPECT_FALSE(LoadImage(LexiconFile(entries, {{0, 257}})));
    EXPECT_EQ(Entries(1).size(), 256u);
}

TEST_F(CPosLexiconTest, ShortFileKeepsThePresets)
{
    const std::string full = LexiconFile({{1, 10}, {2, 20}, {3, 30}}, {{0, 1}, {1, 2}, {2, 1}});
    struct Case {
        size_t length;
        Pairs word0, word1, word2;
    } cases[] = {
        // Cut inside the entries: the missing ones read as tag 255, frequency 0,
        // and no index record arrived.
        {8 + 8 + 5, {}, {}, {}},
        // Cut after the second index record's first entry: its count stays -1.
        {8 + 24 + 8 + 4, {{1, 10}}, {}, {}},
        // Cut inside the last record's count.
        {8 + 24 + 16 + 6, {{1, 10}}, {{2, 20}, {3, 30}}, {}},
        {full.size(), {{1, 10}}, {{2, 20}, {3, 30}}, {{3, 30}}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(LoadImage(full.substr(0, c.length))) << c.length;
        EXPECT_EQ(lexicon.GetEntryCount(), 3);
        EXPECT_EQ(lexicon.GetIndexSize(), 3);
        EXPECT_EQ(Entries(0), c.word0) << c.length;
        EXPECT_EQ(Entries(1), c.word1) << c.length;
        EXPECT_EQ(Entries(2), c.word2) << c.length;
    }
    // A lexicon of no words still has its header; a file shorter than that is
    // none, nor is one with bytes after its last record.
    EXPECT_FALSE(LoadImage(""));
    EXPECT_FALSE(LoadImage(full.substr(0, 7)));
    EXPECT_FALSE(LoadImage(full + std::string(8, '\xFF')));
    EXPECT_EQ(Entries(2), (Pairs{{3, 30}}));
    ASSERT_TRUE(LoadImage(LexiconFile({}, {})));
    EXPECT_EQ(lexicon.GetEntryCount(), 0);
    EXPECT_EQ(Entries(0), Pairs{});
}

TEST_F(CPosLexiconTest, ImplausibleHeadersAreRejectedAndKeepTheOldLexicon)
{
    ASSERT_TRUE(LoadImage(LexiconFile({{4, 40}}, {{0, 1}})));
    const std::vector<std::pair<int32_t, int32_t>> headers = {
        {-1, 1}, {1, -1}, {INT32_MIN, 0}, {0x7FFFFFFF, 0}, {0, 0x7FFFFFFF}, {0x40000000, 0x40000000},
        {20000, 20000}, // 320 KB promised by a file of a few bytes
    };
    for (const auto& h : headers)
        EXPECT_FALSE(LoadImage(LexiconFile(h.first, h.second, {}, {}))) << h.first << "," << h.second;
    EXPECT_FALSE(lexicon.Load((dir / "missing.pos").c_str()));
    EXPECT_EQ(Entries(0), (Pairs{{4, 40}}));
    // Within the slack a truncated file still loads.
    ASSERT_TRUE(LoadImage(LexiconFile(4000, 4000, {}, {})));
    EXPECT_EQ(Entries(3999), Pairs{});
}

} // namespace
