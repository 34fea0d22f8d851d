// Keywords through the library (morv_keywords, morv.hpp) on the trained models:
// texts whose keywords are plain to any reader, the options, the caller's own
// IDF and stop-word files, and the failures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/TextCodec.h"
#include "engine/morv.hpp"
#include "tests/TestUtil.h"

namespace {

const std::string kTrained = std::string(MORV_BINARY_DIR) + "/bin/Morv";

bool HaveTrained()
{
    return FileExists(kTrained + "/Data/Keywords.idf");
}

std::vector<std::string> WordsOf(const std::vector<morv::Keyword>& found)
{
    std::vector<std::string> out;
    for (const morv::Keyword& k : found)
        out.emplace_back(k.word);
    return out;
}

bool Has(const std::vector<std::string>& words, const std::string& w)
{
    for (const std::string& x : words)
        if (x == w)
            return true;
    return false;
}

// Texts about one thing, named several times.
struct Obvious {
    const char* text;
    const char* first; // the keyword both methods must put first
    const char* also;  // one more that must be among the top five
};
const Obvious kObvious[] = {
    {"稀土是重要的战略资源。我国稀土储量丰富，稀土出口要管好，稀土产业要升级。国务院发布了关于稀土行业发展的意见。",
     "稀土", "储量"},
    {"足球是世界第一运动。很多人喜欢足球，孩子们在操场上踢足球。足球比赛吸引了大量球迷，球迷为足球疯狂。",
     "足球", "球迷"},
    {"粮食是农业的根本。今年粮食产量创新高，粮食收购价格稳定，各地粮食部门做好粮食储备工作，农民很高兴。",
     "粮食", "储备"},
};

} // namespace

TEST(KeywordsApi, ObviousKeywordsComeFirstByBothMethods)
{
    if (!HaveTrained())
        GTEST_SKIP() << "no trained models";
    morv::Model model(kTrained);
    morv::Analyzer analyzer(model);
    for (const Obvious& o : kObvious) {
        for (morv::KeywordMethod method : {morv::KeywordMethod::TfIdf, morv::KeywordMethod::TextRank}) {
            morv::KeywordOptions options;
            options.top = 5;
            options.method = method;
            const std::vector<morv::Keyword> found = analyzer.Keywords(o.text, options);
            ASSERT_FALSE(found.empty()) << o.text;
            const std::vector<std::string> words = WordsOf(found);
            EXPECT_EQ(words[0], o.first) << o.text;
            EXPECT_TRUE(Has(words, o.also)) << o.text << ": " << o.also;
            EXPECT_LE(found.size(), 5u);
            for (size_t i = 1; i < found.size(); ++i)
                EXPECT_GE(found[i - 1].weight, found[i].weight);
            // A keyword views its first occurrence in the text.
            const std::string text = o.text;
            EXPECT_EQ(text.substr(found[0].start, found[0].end - found[0].start), found[0].word);
            EXPECT_EQ(text.find(std::string(found[0].word)), found[0].start);
            for (const morv::Keyword& k : found) {
                EXPECT_NE(k.tag, "w");
                EXPECT_GE(k.charEnd - k.charStart, 2u);
            }
        }
    }
}

TEST(KeywordsApi, StopWordsAndPunctuationAreNeverKeywords)
{
    if (!HaveTrained())
        GTEST_SKIP() << "no trained models";
    morv::Model model(kTrained);
    morv::Analyzer analyzer(model);
    const std::string text = "我们认为，我们的工作还有很多不足。我们要努力工作！The work of the team……2008年";
    const std::vector<std::string> words = WordsOf(analyzer.Keywords(text, 0));
    EXPECT_TRUE(Has(words, "工作"));
    for (const char* never : {"我们", "还有", "The", "the", "of", "……", "2008年", "，"})
        EXPECT_FALSE(Has(words, never)) << never;
}

TEST(KeywordsApi, TagsLimitTheCandidates)
{
    if (!HaveTrained())
        GTEST_SKIP() << "no trained models";
    morv::Model model(kTrained);
    morv::Analyzer analyzer(model);
    morv::KeywordOptions options;
    options.top = 0;
    options.tags = {"ns"};
    const std::vector<morv::Keyword> found = analyzer.Keywords("北京和上海的企业到广州参加交易会。北京企业最多。", options);
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found[0].word, "北京");
    for (const morv::Keyword& k : found)
        EXPECT_EQ(k.tag, "ns") << k.word;
}

TEST(KeywordsApi, GbkTextHasTheKeywordsOfItsUtf8)
{
    if (!HaveTrained())
        GTEST_SKIP() << "no trained models";
    morv::Model model(kTrained);
    morv::Analyzer analyzer(model);
    const std::string utf8 = kObvious[1].text;
    std::string gbk;
    TextCodec::Instance().AppendUtf8AsGbk(gbk, utf8.data(), utf8.size());
    morv::KeywordOptions options;
    const auto a = analyzer.Keywords(utf8, options);
    std::vector<std::pair<std::string, double>> fromUtf8;
    for (const auto& k : a)
        fromUtf8.emplace_back(std::string(k.word), k.weight);
    const auto b = analyzer.Keywords(gbk, options, morv::Encoding::Gbk);
    ASSERT_EQ(fromUtf8.size(), b.size());
    for (size_t i = 0; i < b.size(); ++i) {
        std::string word;
        TextCodec::Instance().AppendAsUtf8(word, b[i].word.data(), b[i].word.size(), Encoding::Gbk);
        EXPECT_EQ(word, fromUtf8[i].first);
        EXPECT_DOUBLE_EQ(b[i].weight, fromUtf8[i].second);
    }
}

TEST(KeywordsApi, TheCallersIdfAndStopWordsReplaceTheModels)
{
    if (!HaveTrained())
        GTEST_SKIP() << "no trained models";
    TempDir dir;
    morv::Model model(kTrained);
    morv::Analyzer analyzer(model);
    const std::string text = kObvious[0].text;
    ASSERT_EQ(WordsOf(analyzer.Keywords(text, 1))[0], "稀土");
    // A table where 稀土 is the commonest word and 储量 the rarest.
    WriteFile(dir / "idf.txt", "稀土 0.001\n储量 50\n资源 1\n");
    model.SetIdf(dir / "idf.txt");
    EXPECT_EQ(WordsOf(analyzer.Keywords(text, 1))[0], "储量");
    // A bad table is refused with its line, and the one in use stays.
    WriteFile(dir / "bad.txt", "稀土 1\n储量 many\n");
    try {
        model.SetIdf(dir / "bad.txt");
        ADD_FAILURE() << "a bad IDF table was taken";
    } catch (const morv::Error& e) {
        EXPECT_EQ(e.Status(), MORV_E_LIST);
        EXPECT_NE(std::string(e.what()).find("bad.txt:2:"), std::string::npos) << e.what();
    }
    EXPECT_EQ(WordsOf(analyzer.Keywords(text, 1))[0], "储量");
    for (const std::string& missing : {dir / "none.txt", dir.path}) {
        try {
            model.SetIdf(missing);
            ADD_FAILURE() << missing;
        } catch (const morv::Error& e) {
            EXPECT_EQ(e.Status(), MORV_E_IO) << e.what();
        }
    }
    // Stop words of the caller's.
    WriteFile(dir / "stop.txt", "储量\n");
    model.SetStopWords(dir / "stop.txt");
    EXPECT_FALSE(Has(WordsOf(analyzer.Keywords(text, 0)), "储量"));
    // The model's own again.
    model.SetIdf("");
    model.SetStopWords("");
    const std::vector<std::string> own = WordsOf(analyzer.Keywords(text, 0));
    EXPECT_EQ(own[0], "稀土");
    EXPECT_TRUE(Has(own, "储量"));
}

TEST(KeywordsApi, AModelWithoutAnIdfTableSaysSoAndTakesOne)
{
    if (!HaveTrained())
        GTEST_SKIP() << "no trained models";
    TempDir dir;
    // The trained models without their keyword files.
    ASSERT_EQ(std::system(("cp -r '" + kTrained + "' '" + dir.path + "/m' && rm '" + dir.path +
                           "/m/Data/Keywords.idf' '" + dir.path + "/m/Data/stopwords.txt'").c_str()),
              0);
    morv_model* model = nullptr;
    ASSERT_EQ(morv_model_open((dir / "m").c_str(), &model), MORV_OK);
    morv_analyzer* analyzer = nullptr;
    ASSERT_EQ(morv_analyzer_new(model, &analyzer), MORV_OK);
    const morv_keyword* found = nullptr;
    size_t count = 7;
    EXPECT_EQ(morv_keywords(analyzer, "稀土资源", MORV_NUL_TERMINATED, 0, 5, nullptr, &found, &count), MORV_E_MODEL);
    EXPECT_EQ(count, 0u);
    EXPECT_NE(std::string(morv_last_error()).find("Keywords.idf"), std::string::npos) << morv_last_error();
    EXPECT_EQ(morv_model_set_idf(model, nullptr), MORV_E_MODEL);
    WriteFile(dir / "idf.txt", "稀土 5\n资源 1\n");
    ASSERT_EQ(morv_model_set_idf(model, (dir / "idf.txt").c_str()), MORV_OK);
    ASSERT_EQ(morv_keywords(analyzer, "稀土资源", MORV_NUL_TERMINATED, 0, 5, "", &found, &count), MORV_OK);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(std::string(found[0].word, found[0].length), "稀土");
    // Null arguments.
    EXPECT_EQ(morv_keywords(nullptr, "a", 1, 0, 5, nullptr, &found, &count), MORV_E_ARGUMENT);
    EXPECT_EQ(morv_keywords(analyzer, "a", 1, 0, 5, nullptr, nullptr, &count), MORV_E_ARGUMENT);
    EXPECT_EQ(morv_model_set_idf(nullptr, nullptr), MORV_E_ARGUMENT);
    EXPECT_EQ(morv_model_set_stop_words(nullptr, nullptr), MORV_E_ARGUMENT);
    // Text errors are the analysis's.
    EXPECT_EQ(morv_keywords(analyzer, "\xFF\xFE", 2, 0, 5, nullptr, &found, &count), MORV_E_ENCODING);
    morv_analyzer_free(analyzer);
    morv_model_free(model);
}
