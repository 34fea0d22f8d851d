#include <gtest/gtest.h>

#include "engine/Engine.h"
#include "engine/CTokenizer.h"
#include "engine/EngineContext.h"
#include "tests/ModelFixture.h"
#include "tests/TestUtil.h"

namespace {

// A fixture whose role model turns 中 followed by 国 into a full name (output 24)
// and 我 followed by 们 into a given name alone (output 26).
class CAnalyzerTest : public ::testing::Test {
protected:
    TempDir dir;
    ModelFixture models{dir.path + "/Morv"};
    void SetUp() override
    {
        models.words.erase(models.words.begin() + models.Id(Gbk("中国"))); // no 中国 word
        models.words.erase(models.words.begin() + models.Id(Gbk("我们"))); // no 我们 word
        models.roles[models.Id(Gbk("中"))] = {{1, 5}};                          // 中: surname
        models.roles[models.Id(Gbk("国"))] = {{2, 5}};                          // 国: given
        models.roles[models.Id(Gbk("我"))] = {{3, 5}};                          // 我
        models.roles[models.Id(Gbk("们"))] = {{4, 5}};                          // 们
        // The first user word's id follows the core words: give it the given-name role.
        models.roles[static_cast<int>(models.words.size())] = {{2, 5}};
        // A = 5 symbols, S = 5 states: 0 -1-> 1 -2-> 2 (accept 24); 0 -3-> 3 -4-> 4 (accept 26).
        std::string& f = models.fsa;
        AppendInt(f, 5);
        AppendInt(f, 5);
        for (int flag : {0, 0, 1, 0, 1})
            AppendInt(f, flag);
        for (int out : {0, 0, 24, 0, 26})
            AppendInt(f, out);
        const int next[5][5] = {{-1, 1, -1, 3, -1}, {-1, -1, 2, -1, -1}, {-1, -1, -1, -1, -1},
                                {-1, -1, -1, -1, 4}, {-1, -1, -1, -1, -1}};
        for (const auto& row : next)
            for (int n : row)
                AppendInt(f, n);
        models.tags[26] = "nr2";
        models.Write();
        ASSERT_TRUE(EngineInit(models.base.c_str()));
    }
    void TearDown() override { EngineExit(); }

    struct Token {
        std::string text;
        int tag;
        int split;
        bool operator==(const Token& o) const { return text == o.text && tag == o.tag && split == o.split; }
    };
    std::vector<Token> Analyse(const std::string& text) { return Analyse(*TheEngine().analyzer, text); }
    static std::vector<Token> Analyse(CAnalyzer& analyzer, const std::string& text)
    {
        std::vector<Token> out;
        std::vector<int32_t> splits;
        analyzer.Analyze(text.c_str(), [&](const CAnalyzer::Sentence& s) {
            CTokenizer::NameSplits(s, TheEngine().idUnknownPerson, splits);
            for (int i = 1; i < s.count - 1; ++i)
                out.push_back({std::string(s.text + s.items[i].start, s.text + s.items[i].end),
                               s.items[i].tag, splits[static_cast<size_t>(i)]});
        });
        return out;
    }
};

TEST_F(CAnalyzerTest, NamesAreMergedTaggedAndSplit)
{
    const auto tokens = Analyse(Gbk("说中国说我们"));
    // A name at the very start shares its start with the begin marker.
    const auto first = Analyse(Gbk("中国说"));
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].split, 2);
    ASSERT_EQ(tokens.size(), 4u);
    EXPECT_EQ(tokens[1].text, Gbk("中国"));
    EXPECT_EQ(tokens[1].tag, 24);
    EXPECT_EQ(tokens[1].split, 4); // the surname 中 ends at byte 4 of the sentence
    EXPECT_EQ(tokens[3].text, Gbk("我们"));
    EXPECT_EQ(tokens[3].tag, 26);
    EXPECT_EQ(tokens[3].split, -1); // only full names split
    EXPECT_EQ(tokens[0].split, -1);
}

TEST_F(CAnalyzerTest, NamesAreRedEvenWhenUserWords)
{
    const std::string list = dir.path + "/list.txt";
    WriteFile(list, Gbk("国\n国国\n")); // 国 (a core word: skipped), 国国
    EXPECT_EQ(EngineImportUserDict(list.c_str()), 1);
    const std::string page = dir.path + "/r.htm";
    ASSERT_TRUE(EngineWriteHtml(Gbk("中国国").c_str(), page.c_str()));
    const std::string html = ReadFile(page);
    EXPECT_EQ(html.substr(0, html.find("\t<hr>")).find("<u>"), std::string::npos);
    EXPECT_NE(html.find(" color=\"#FF0000\"><i>" + Gbk("中国国") + "</i></font></font>"
                        "<font face=\"Times New Roman\" color=\"#0000FF\">/nr</font>  "),
              std::string::npos);
}

TEST_F(CAnalyzerTest, UserDictionaryTakesEffectAtTheNextSentence)
{
    const std::string list = dir.path + "/list.txt";
    WriteFile(list, Gbk("说说\n"));
    ASSERT_EQ(EngineImportUserDict(list.c_str()), 1);
    const auto tokens = Analyse(Gbk("说说"));
    ASSERT_EQ(tokens.size(), 1u);
    EXPECT_EQ(tokens[0].text, Gbk("说说"));
}

// The engine builds its analyser over the whole model; the constructor over the
// eleven models one by one is the classic pipeline a program can assemble itself,
// and must analyse and write exactly as the engine's does.
TEST_F(CAnalyzerTest, OverTheElevenModelsAnalysesAsOverTheModel)
{
    const CModel& model = *TheEngine().model;
    const CModel::CorePart& c = model.core;
    CAnalyzer alone(c.charset.get(), c.coreDict.get(), c.unigram.get(), c.bigram.get(), model.userDictFile.get(),
                    c.posLexicon.get(), c.tagSet.get(), c.posContext.get(), c.roleLexicon.get(),
                    c.roleContext.get(), c.roleTagger.get());
    ASSERT_TRUE(alone.IsComplete());
    for (const char* utf8 : {"说中国说我们", "中国说。我们说中国", "国国说"}) {
        const std::string text = Gbk(utf8);
        const auto expected = Analyse(text);
        EXPECT_FALSE(expected.empty()) << utf8;
        EXPECT_TRUE(Analyse(alone, text) == expected) << utf8;
        std::string page, expectedPage;
        alone.AnalyzeToPage(text.c_str(), page);
        TheEngine().analyzer->AnalyzeToPage(text.c_str(), expectedPage);
        EXPECT_EQ(page, expectedPage) << utf8;
    }
    // Without the unigram table there is no segmenter, and nothing is analysed.
    CAnalyzer partial(c.charset.get(), c.coreDict.get(), nullptr, c.bigram.get(), nullptr, c.posLexicon.get(),
                      c.tagSet.get(), c.posContext.get(), c.roleLexicon.get(), c.roleContext.get(),
                      c.roleTagger.get());
    EXPECT_FALSE(partial.IsComplete());
    std::string page;
    partial.AnalyzeToPage(Gbk("说中国").c_str(), page);
    EXPECT_TRUE(page.empty());
}

// The stage times gather only while they are set, add up over the steps the
// pipeline runs, and leave the analysis as it was.
TEST_F(CAnalyzerTest, StageTimesGatherOnlyWhileSet)
{
    const std::string text = "\xD6\xD0\xB9\xFA\xCB\xB5\xA1\xA3\xCE\xD2\xC3\xC7\xCB\xB5\xA1\xA3\n"; // 中国说。我们说。
    const auto plain = Analyse(text);
    CAnalyzer::StageTimes times;
    TheEngine().analyzer->SetStageTimes(&times);
    const auto timed = Analyse(text);
    TheEngine().analyzer->SetStageTimes(nullptr);
    ASSERT_EQ(timed.size(), plain.size());
    for (size_t i = 0; i < plain.size(); ++i) {
        EXPECT_EQ(timed[i].text, plain[i].text);
        EXPECT_EQ(timed[i].tag, plain[i].tag);
    }
    double total = 0;
    for (int step = 0; step < CAnalyzer::StageTimes::kStepCount; ++step) {
        EXPECT_GE(times.seconds[step], 0.0) << CAnalyzer::StageTimes::Name(step);
        EXPECT_STRNE(CAnalyzer::StageTimes::Name(step), "?");
        total += times.seconds[step];
    }
    EXPECT_GT(total, 0.0);
    EXPECT_GT(times.seconds[CAnalyzer::StageTimes::kPreProcess], 0.0);
    EXPECT_STREQ(CAnalyzer::StageTimes::Name(CAnalyzer::StageTimes::kStepCount), "?");
    const CAnalyzer::StageTimes before = times;
    Analyse(text);
    for (int step = 0; step < CAnalyzer::StageTimes::kStepCount; ++step)
        EXPECT_EQ(times.seconds[step], before.seconds[step]);
}

} // namespace
