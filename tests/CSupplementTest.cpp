#include "lexicon/CSupplement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "lexicon/CPDAT.h"
#include "tools/trainer/SupplementLexicon.h"

namespace {

// 人工 人工智能 点赞 (GBK)
const char kAi[] = "\xC8\xCB\xB9\xA4";
const char kAiLong[] = "\xC8\xCB\xB9\xA4\xD6\xC7\xC4\xDC";
const char kLike[] = "\xB5\xE3\xD4\xDE";

void Put32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void PutFloat(std::string& out, float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    Put32(out, bits);
}

// The table as its layout is documented: magic, version, count, reserved,
// frequencies, tags.
std::string Table(const std::vector<float>& frequencies, const std::vector<uint8_t>& tags, uint32_t version = 1,
                  uint32_t reserved = 0)
{
    std::string out = "MSUP";
    Put32(out, version);
    Put32(out, static_cast<uint32_t>(frequencies.size()));
    Put32(out, reserved);
    for (float f : frequencies)
        PutFloat(out, f);
    for (uint8_t t : tags)
        out.push_back(static_cast<char>(t));
    return out;
}

std::string Trie(const std::vector<std::string>& words, const TempDir& dir)
{
    CPDAT trie;
    trie.BuildFromWords(words);
    const std::string path = dir / "built.pdat";
    EXPECT_TRUE(trie.Save(path.c_str()));
    return ReadFile(path);
}

class CSupplementTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        words = {kAi, kAiLong, kLike};
        trie = Trie(words, dir);
        table = Table({1.5f, 0.25f, 3.0f}, {21, 255, 50});
    }
    bool Load(CSupplement& s, const std::string& trieBytes, const std::string& tableBytes, bool* tableFailed = nullptr)
    {
        WriteFile(dir / "Supplement.pdat", trieBytes);
        WriteFile(dir / "Supplement.tab", tableBytes);
        return s.Load((dir / "Supplement.pdat").c_str(), (dir / "Supplement.tab").c_str(), tableFailed);
    }

    TempDir dir;
    std::vector<std::string> words;
    std::string trie;
    std::string table;
};

TEST_F(CSupplementTest, FindsEveryWordThatPrefixesTheTextShortestFirst)
{
    CSupplement s;
    ASSERT_TRUE(Load(s, trie, table));
    EXPECT_EQ(s.GetWordCount(), 3);
    std::vector<int> indices, lengths;
    const std::string text = std::string(kAiLong) + "\xB5\xC4"; // 人工智能的
    s.Matches(text.c_str(), static_cast<int>(text.size()), indices, lengths);
    ASSERT_EQ(lengths, (std::vector<int>{4, 8}));
    EXPECT_EQ(indices, (std::vector<int>{0, 1}));
    EXPECT_FLOAT_EQ(s.Frequency(0), 1.5f);
    EXPECT_EQ(s.Tag(0), 21);
    EXPECT_FLOAT_EQ(s.Frequency(1), 0.25f);
    EXPECT_EQ(s.Tag(1), CSupplement::kNoTag);
    // A word longer than the room left is not a match.
    s.Matches(text.c_str(), 7, indices, lengths);
    EXPECT_EQ(lengths, (std::vector<int>{4}));
    const struct {
        const char* text;
        int maxLength;
    } none[] = {{"", 10}, {"\xB5\xC4", 10}, {kLike, 0}, {kLike, -1}, {"\xB5", 10}, {"abc", 10}};
    for (const auto& c : none) {
        s.Matches(c.text, c.maxLength, indices, lengths);
        EXPECT_TRUE(indices.empty() && lengths.empty()) << c.text << " " << c.maxLength;
    }
    s.Matches(nullptr, 10, indices, lengths);
    EXPECT_TRUE(indices.empty());
    CSupplement unloaded;
    unloaded.Matches(kLike, 10, indices, lengths);
    EXPECT_TRUE(indices.empty());
}

TEST_F(CSupplementTest, TheTrainersTableIsTheDocumentedLayout)
{
    std::vector<SupplementLexicon::Word> list;
    const float f[] = {1.5f, 0.25f, 3.0f};
    const uint8_t t[] = {21, 255, 50};
    for (int i = 0; i < 3; ++i)
        list.push_back({words[static_cast<size_t>(i)], f[i], t[i]});
    EXPECT_EQ(SupplementLexicon::SerializeTable(list), table);
}

TEST_F(CSupplementTest, RefusesDamagedTablesAndKeepsWhatItHeld)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    std::string badMagic = table;
    badMagic[0] = 'X';
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"header only in part", table.substr(0, 10)},
        {"magic", badMagic},
        {"version", Table({1.5f, 0.25f, 3.0f}, {21, 255, 50}, 2)},
        {"reserved", Table({1.5f, 0.25f, 3.0f}, {21, 255, 50}, 1, 7)},
        {"one byte short", table.substr(0, table.size() - 1)},
        {"one byte more", table + "x"},
        {"a word fewer than the trie", Table({1.5f, 0.25f}, {21, 255})},
        {"a word more than the trie", Table({1.5f, 0.25f, 3.0f, 1.0f}, {21, 255, 50, 1})},
        {"count far beyond the file", [&] {
             std::string t = table;
             t[8] = t[9] = t[10] = t[11] = '\xFF';
             return t;
         }()},
        {"NaN frequency", Table({1.5f, nan, 3.0f}, {21, 255, 50})},
        {"infinite frequency", Table({inf, 0.25f, 3.0f}, {21, 255, 50})},
        {"zero frequency", Table({1.5f, 0.0f, 3.0f}, {21, 255, 50})},
        {"negative frequency", Table({1.5f, -1.0f, 3.0f}, {21, 255, 50})},
        {"frequency beyond the limit", Table({1.5f, 2e9f, 3.0f}, {21, 255, 50})},
    };
    CSupplement s;
    ASSERT_TRUE(Load(s, trie, table));
    for (const auto& c : cases) {
        bool tableFailed = false;
        EXPECT_FALSE(Load(s, trie, c.bytes, &tableFailed)) << c.what;
        EXPECT_TRUE(tableFailed) << c.what;
        // The lexicon loaded before stays whole.
        EXPECT_TRUE(s.IsLoaded());
        ASSERT_EQ(s.GetWordCount(), 3) << c.what;
        EXPECT_FLOAT_EQ(s.Frequency(2), 3.0f);
    }
    CSupplement fresh;
    EXPECT_FALSE(fresh.Load((dir / "none.pdat").c_str(), (dir / "none.tab").c_str()));
    EXPECT_FALSE(fresh.IsLoaded());
}

TEST_F(CSupplementTest, RefusesDamagedOrForeignTries)
{
    // A word-ending entry whose value names no row of the table.
    std::string outOfRange = trie;
    bool patched = false;
    for (size_t at = CPDAT::kHeaderBytes + 12; at + 12 <= outOfRange.size() && !patched; at += 12) {
        int32_t entry[3];
        std::memcpy(entry, outOfRange.data() + at, 12);
        if (entry[1] != -1 && entry[0] < 0) {
            entry[2] = 3;
            std::memcpy(&outOfRange[at], entry, 12);
            patched = true;
        }
    }
    ASSERT_TRUE(patched);
    // A damaged trie is reported as the trie's fault; a sound one that
    // disagrees with the table as the table's, which holds the words' rows.
    const struct {
        const char* what;
        std::string bytes;
        bool tableBlamed;
    } cases[] = {
        {"empty", "", false},
        {"cut inside its entries", trie.substr(0, trie.size() - 12), false},
        {"cut inside its code table", trie.substr(0, 1000), false},
        {"a value beyond the table", outOfRange, true},
        {"another word count", Trie({kAi, kLike}, dir), true},
    };
    for (const auto& c : cases) {
        CSupplement s;
        bool tableFailed = !c.tableBlamed;
        EXPECT_FALSE(Load(s, c.bytes, table, &tableFailed)) << c.what;
        EXPECT_FALSE(s.IsLoaded()) << c.what;
        EXPECT_EQ(tableFailed, c.tableBlamed) << c.what;
    }
}

} // namespace

// The quick test that lets a caller skip a start must never skip one where
// Matches finds a word longer than the given bytes, and it should skip most
// of the rest: checked against Matches over every text of up to four pieces.
TEST_F(CSupplementTest, MayMatchBeyondNeverHidesALongerMatch)
{
    // 点 (a one-character word), A (a one-byte word), 人工 人工智能 点赞, and
    // Ab, which starts with a one-byte character.
    const std::string dian = "\xB5\xE3", zan = "\xD4\xDE", ren = "\xC8\xCB", gong = "\xB9\xA4", de = "\xB5\xC4";
    CSupplement s;
    ASSERT_TRUE(Load(s, Trie({kAi, kAiLong, kLike, dian, "A", "Ab"}, dir),
                     Table({1, 1, 1, 1, 1, 1}, {255, 255, 255, 255, 255, 255})));
    const std::vector<std::string> pieces = {dian, zan, ren, gong, de, "A", "b", "\xB5"};
    std::vector<std::string> texts = {""};
    for (size_t from = 0, depth = 0; depth < 4; ++depth) {
        const size_t to = texts.size();
        for (size_t t = from; t < to; ++t)
            for (const std::string& p : pieces)
                texts.push_back(texts[t] + p);
        from = to;
    }
    std::vector<int> indices, lengths;
    int skipped = 0;
    for (const std::string& text : texts) {
        s.Matches(text.c_str(), static_cast<int>(text.size()), indices, lengths);
        for (int bytes = 0; bytes <= 4; ++bytes) {
            bool longer = false;
            for (int l : lengths)
                longer = longer || l > bytes;
            const bool may = s.MayMatchBeyond(text.c_str(), bytes);
            if (longer) {
                EXPECT_TRUE(may) << "text of " << text.size() << " bytes, beyond " << bytes;
            }
            skipped += may ? 0 : 1;
        }
    }
    EXPECT_GT(skipped, static_cast<int>(texts.size()) * 2);
    EXPECT_FALSE(s.MayMatchBeyond(nullptr, 0));
    CSupplement unloaded;
    EXPECT_FALSE(unloaded.MayMatchBeyond(kAi, 0));
}
