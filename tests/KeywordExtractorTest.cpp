// Keyword extraction's tables and ranking: the IDF and stop-word files as
// jieba writes them, TF-IDF weights, and TextRank's ranks against those jieba
// computes for the same tokens.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "engine/CKeywordExtractor.h"
#include "engine/CKeywordTable.h"

namespace {

using Term = CKeywordExtractor::Term;

Term Word(const std::string& key, const std::string& tag = "n", bool plain = true)
{
    Term t;
    t.key = key;
    t.tag = tag;
    size_t chars = 0;
    for (unsigned char c : key)
        chars += (c & 0xC0) != 0x80;
    t.chars = chars;
    t.plain = plain;
    return t;
}

std::vector<Term> Words(const std::vector<std::string>& keys)
{
    std::vector<Term> out;
    for (const std::string& k : keys)
        out.push_back(Word(k));
    return out;
}

// Keyword key -> weight.
std::map<std::string, double> Weights(const std::vector<Term>& terms,
                                      const std::vector<CKeywordExtractor::Keyword>& found)
{
    std::map<std::string, double> out;
    for (const auto& k : found)
        out[terms[k.first].key] = k.weight;
    return out;
}

} // namespace

TEST(KeywordTable, ReadsJiebaFormatAndReportsTheBadLine)
{
    struct Case {
        const char* content;
        bool ok;
        const char* error; // part of the message
    };
    const Case cases[] = {
        {"稀土 9.5\n资源 3.25\n", true, ""},
        {"\xEF\xBB\xBF# comment\n\n稀土 9.5\r\n资源\t3.25\n", true, ""},       // BOM, comment, CRLF, tab
        {"稀土 9.5\n资源\n", false, "list:2: expected 'word idf'"},
        {"稀土 9.5\n资源 abc\n", false, "list:2: 'abc' is not an IDF"},
        {"稀土 -1\n", false, "list:1:"},
        {"稀土 nan\n", false, "list:1:"},
        {"# only a comment\n", false, "no word"},
    };
    for (const Case& c : cases) {
        CKeywordTable table;
        std::string error;
        EXPECT_EQ(table.ParseIdf(c.content, "list", &error), c.ok) << c.content;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        if (c.ok) {
            EXPECT_DOUBLE_EQ(table.Idf("稀土"), 9.5);
            EXPECT_DOUBLE_EQ(table.Idf("资源"), 3.25);
        }
    }
}

TEST(KeywordTable, AFailedLoadKeepsTheTableAndUnseenWordsGetTheMedian)
{
    CKeywordTable table;
    std::string error;
    ASSERT_TRUE(table.ParseIdf("a 1\nb 2\nc 3\nd 10\n", "t", &error));
    EXPECT_DOUBLE_EQ(table.MedianIdf(), 3); // jieba: the upper middle of an even count
    EXPECT_DOUBLE_EQ(table.Idf("unseen"), 3);
    EXPECT_FALSE(table.ParseIdf("a x\n", "t", &error));
    EXPECT_DOUBLE_EQ(table.Idf("d"), 10);
    EXPECT_FALSE(table.LoadIdf("/nonexistent/idf.txt", &error));
    EXPECT_NE(error.find("/nonexistent/idf.txt"), std::string::npos);
    EXPECT_EQ(table.IdfSize(), 4u);
}

TEST(KeywordTable, StopWordsCompareInAnyLetterCase)
{
    CKeywordTable table;
    table.ParseStopWords("# comment\nThe\n我们\n  of  \n");
    EXPECT_TRUE(table.IsStopWord("the"));
    EXPECT_TRUE(table.IsStopWord("THE"));
    EXPECT_TRUE(table.IsStopWord("Of"));
    EXPECT_TRUE(table.IsStopWord("我们"));
    EXPECT_FALSE(table.IsStopWord("# comment"));
    EXPECT_FALSE(table.IsStopWord("稀土"));
    EXPECT_EQ(table.StopWordCount(), 3u);
}

TEST(KeywordExtractor, TfIdfWeighsCountsByIdfOverAllCandidates)
{
    CKeywordTable table;
    std::string error;
    ASSERT_TRUE(table.ParseIdf("稀土 8\n资源 2\n出口 4\n的话 1\n", "t", &error));
    table.ParseStopWords("的话\n");
    // 稀土 x3, 资源 x1, 出口 x1, an unseen word x1 (median 4); one-character
    // words, stop words and punctuation are no candidates.
    std::vector<Term> terms = Words({"稀土", "是", "资源", "稀土", "出口", "的话", "稀土", "新词"});
    terms.push_back(Word("。", "w", false));
    CKeywordExtractor::Options options;
    const auto found = CKeywordExtractor(table).Extract(terms, options);
    ASSERT_EQ(found.size(), 4u);
    const auto weights = Weights(terms, found);
    EXPECT_DOUBLE_EQ(weights.at("稀土"), 3 * 8 / 6.0);
    EXPECT_DOUBLE_EQ(weights.at("资源"), 2 / 6.0);
    EXPECT_DOUBLE_EQ(weights.at("出口"), 4 / 6.0);
    EXPECT_DOUBLE_EQ(weights.at("新词"), 4 / 6.0);
    // Heaviest first, the earlier on equal weights; each at its first token.
    EXPECT_EQ(found[0].first, 0u);
    EXPECT_EQ(terms[found[1].first].key, "出口");
    EXPECT_EQ(terms[found[2].first].key, "新词");
    EXPECT_EQ(terms[found[3].first].key, "资源");
    options.top = 2;
    EXPECT_EQ(CKeywordExtractor(table).Extract(terms, options).size(), 2u);
}

TEST(KeywordExtractor, TagsChooseTheCandidatesAndByTagSplitsAWord)
{
    CKeywordTable table;
    std::string error;
    ASSERT_TRUE(table.ParseIdf("发展 2\n经济 3\n", "t", &error));
    std::vector<Term> terms = {Word("发展", "v"), Word("经济", "n"), Word("发展", "vn"), Word("2008", "m", false)};
    struct Case {
        std::vector<std::string> tags;
        bool byTag;
        size_t expected;
    };
    const Case cases[] = {
        {{}, false, 2},            // every tag but numbers
        {{"n"}, false, 1},
        {{"v", "vn"}, false, 1},   // one word under two tags
        {{"v", "vn"}, true, 2},    // two keywords
        {{"m"}, false, 1},         // a number when asked for
        {{"x"}, false, 0},
    };
    for (const Case& c : cases) {
        CKeywordExtractor::Options options;
        options.allowTags = c.tags;
        options.byTag = c.byTag;
        EXPECT_EQ(CKeywordExtractor(table).Extract(terms, options).size(), c.expected)
            << c.tags.size() << " tags, byTag " << c.byTag;
    }
}

TEST(KeywordExtractor, TextRankGivesJiebasRanks)
{
    // Ranks from jieba.analyse.textrank's graph on the same tokens (x: a
    // token that is no candidate but takes a place in the window).
    CKeywordTable table;
    std::string error;
    ASSERT_TRUE(table.ParseIdf("aa 1\n", "t", &error));
    const std::vector<Term> terms = Words({"aa", "bb", "x", "cc", "aa", "bb", "dd", "x", "x", "aa", "ee", "cc"});
    CKeywordExtractor::Options options;
    options.textRank = true;
    options.allowTags = {"n"};
    std::vector<Term> tagged = terms;
    for (Term& t : tagged)
        if (t.key == "x")
            t.tag = "w";
    const auto found = CKeywordExtractor(table).Extract(tagged, options);
    ASSERT_EQ(found.size(), 5u);
    const auto weights = Weights(tagged, found);
    EXPECT_NEAR(weights.at("aa"), 1.0, 1e-12);
    EXPECT_NEAR(weights.at("bb"), 0.747247307663087, 1e-12);
    EXPECT_NEAR(weights.at("cc"), 0.6165602832721961, 1e-12);
    EXPECT_NEAR(weights.at("dd"), 0.4648468797780575, 1e-12);
    EXPECT_NEAR(weights.at("ee"), 0.3070291145244944, 1e-12);
    EXPECT_EQ(tagged[found[0].first].key, "aa");
    EXPECT_EQ(tagged[found[4].first].key, "ee");
}

TEST(KeywordExtractor, NothingToRankGivesNoKeywords)
{
    CKeywordTable table;
    std::string error;
    ASSERT_TRUE(table.ParseIdf("aa 1\n", "t", &error));
    for (bool textRank : {false, true}) {
        CKeywordExtractor::Options options;
        options.textRank = textRank;
        EXPECT_TRUE(CKeywordExtractor(table).Extract({}, options).empty());
        // One candidate alone has no neighbour in the graph.
        const auto one = CKeywordExtractor(table).Extract(Words({"aa", "b"}), options);
        EXPECT_EQ(one.size(), textRank ? 0u : 1u);
    }
}
