#include "segment/CSupplementWords.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "TestUtil.h"
#include "lexicon/CPDAT.h"
#include "lexicon/CSupplement.h"
#include "tools/trainer/SupplementLexicon.h"

namespace {

// 人工智能点赞。: a lexicon of 人工 (n), 人工智能 (no tag) and 点赞 (v).
const char kText[] = "\xC8\xCB\xB9\xA4\xD6\xC7\xC4\xDC\xB5\xE3\xD4\xDE\xA1\xA3";
constexpr int kLength = 14;
constexpr int32_t kClassWord = 8;

class CSupplementWordsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::vector<SupplementLexicon::Word> words = {
            {"\xC8\xCB\xB9\xA4", 2.0f, 21}, {"\xC8\xCB\xB9\xA4\xD6\xC7\xC4\xDC", 0.5f, 255},
            {"\xB5\xE3\xD4\xDE", 4.0f, 47}};
        std::vector<std::string> texts;
        for (const auto& w : words)
            texts.push_back(w.text);
        CPDAT trie;
        trie.BuildFromWords(texts);
        ASSERT_TRUE(trie.Save((dir / "s.pdat").c_str()));
        WriteFile(dir / "s.tab", SupplementLexicon::SerializeTable(words));
        ASSERT_TRUE(lexicon.Load((dir / "s.pdat").c_str(), (dir / "s.tab").c_str()));
    }

    // The markers and one atom per character, of kind 0 (the sentence end 2).
    static std::vector<TokenRecord> Atoms()
    {
        std::vector<TokenRecord> atoms;
        TokenRecord begin;
        begin.start = begin.end = 0;
        begin.kind = kKindSentenceBegin;
        atoms.push_back(begin);
        for (int at = 0; at < kLength; at += 2) {
            TokenRecord a;
            a.start = at;
            a.end = at + 2;
            a.kind = at == 12 ? 2 : 0;
            atoms.push_back(a);
        }
        TokenRecord end;
        end.start = end.end = kLength;
        end.kind = kKindSentenceEnd;
        atoms.push_back(end);
        return atoms;
    }

    static std::vector<std::pair<int, int>> Spans(const std::vector<TokenRecord>& words)
    {
        std::vector<std::pair<int, int>> out;
        for (const TokenRecord& w : words)
            out.emplace_back(w.start, w.end);
        return out;
    }

    TempDir dir;
    CSupplement lexicon;
};

TEST_F(CSupplementWordsTest, OffersTheWordsThatBeginAndEndAtAtoms)
{
    CSupplementWords stage(&lexicon);
    const std::vector<TokenRecord>& words = stage.Find(kText, kLength, Atoms(), {}, kClassWord);
    ASSERT_EQ(Spans(words), (std::vector<std::pair<int, int>>{{0, 4}, {0, 8}, {8, 12}}));
    for (const TokenRecord& w : words) {
        EXPECT_EQ(w.flags, kFlagSupplementWord);
        EXPECT_EQ(w.wordId, kClassWord);
        EXPECT_EQ(w.kind, 0);
    }
    EXPECT_EQ(words[0].fixedTag, 21);
    EXPECT_EQ(words[1].fixedTag, 255);
    EXPECT_EQ(words[2].fixedTag, 47);
    EXPECT_FLOAT_EQ(stage.FrequencyOf(0, 8), 0.5f);
    EXPECT_FLOAT_EQ(stage.FrequencyOf(8, 12), 4.0f);
    EXPECT_EQ(stage.FrequencyOf(2, 8), 0.0f);
    EXPECT_EQ(stage.FrequencyOf(8, 10), 0.0f);
}

TEST_F(CSupplementWordsTest, LeavesOutWhatCannotBeAPathOrCutsAName)
{
    using Spans_ = std::vector<std::pair<int, int>>;
    // Atoms: 人工智 as one atom (a user word), so that 人工 ends inside it.
    std::vector<TokenRecord> merged = Atoms();
    merged[1].end = 6;
    merged.erase(merged.begin() + 2, merged.begin() + 4);
    // 点赞 as one atom: the lattice holds the word already, as the atom.
    std::vector<TokenRecord> whole = Atoms();
    whole[5].end = 12;
    whole.erase(whole.begin() + 6);
    // 点 as punctuation: no word begins there.
    std::vector<TokenRecord> punct = Atoms();
    punct[5].kind = 3;
    const struct {
        const char* what;
        std::vector<TokenRecord> atoms;
        int length;
        Spans_ protectedSpans;
        Spans_ expected;
    } cases[] = {
        {"a name over 工智", Atoms(), kLength, {{2, 6}}, {{8, 12}}},
        {"a name over 赞", Atoms(), kLength, {{10, 12}}, {{0, 4}, {0, 8}}},
        {"a name beside the words", Atoms(), kLength, {{12, 14}}, {{0, 4}, {0, 8}, {8, 12}}},
        {"ends inside an atom", merged, kLength, {}, {{0, 8}, {8, 12}}},
        {"is one atom", whole, kLength, {}, {{0, 4}, {0, 8}}},
        {"begins at punctuation", punct, kLength, {}, {{0, 4}, {0, 8}}},
        {"runs past the sentence", Atoms(), 10, {}, {{0, 4}, {0, 8}}},
        {"an empty sentence", Atoms(), 0, {}, {}},
    };
    CSupplementWords stage(&lexicon);
    for (const auto& c : cases)
        EXPECT_EQ(Spans(stage.Find(kText, c.length, c.atoms, c.protectedSpans, kClassWord)), c.expected) << c.what;
}

TEST_F(CSupplementWordsTest, WithoutAClassWordAWordCarriesItsFrequency)
{
    CSupplementWords stage(&lexicon);
    const std::vector<TokenRecord>& words = stage.Find(kText, kLength, Atoms(), {}, -1);
    ASSERT_EQ(words.size(), 3u);
    EXPECT_EQ(words[2].wordId, -1);
    EXPECT_EQ(words[2].flags, kFlagSupplementWord | kFlagPresetFrequency);
    EXPECT_DOUBLE_EQ(words[2].frequency, 4.0);
    CSupplementWords none(nullptr);
    EXPECT_TRUE(none.Find(kText, kLength, Atoms(), {}, kClassWord).empty());
}

} // namespace
