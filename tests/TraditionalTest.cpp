// Traditional Chinese: which sentences are converted, and that the caller's
// characters, offsets, page and keywords survive the conversion.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "engine/CTraditional.h"
#include "engine/TextCodec.h"
#include "engine/morv.hpp"
#include "tests/TestUtil.h"

namespace {

const std::string kTrained = std::string(MORV_BINARY_DIR) + "/bin/Morv";

bool HaveTrained()
{
    return FileExists(kTrained + "/Configure.xml");
}

std::string Converted(const std::string& text, CTraditional::Mode mode)
{
    std::string out, error;
    EXPECT_TRUE(CTraditional::Instance().ConvertUtf8(text, mode, out, &error)) << error;
    return out;
}

std::string Words(const std::vector<morv::Token>& tokens)
{
    std::string out;
    for (const morv::Token& t : tokens)
        out += std::string(t.word) + "/" + std::string(t.tag) + " ";
    return out;
}

} // namespace

TEST(Traditional, SentencesThatReadAsTraditionalAreConverted)
{
    using Mode = CTraditional::Mode;
    const struct {
        const char* text;
        Mode mode;
        const char* expected;
    } cases[] = {
        {"我們在大學學習計算機。", Mode::Auto, "我们在大学学习计算机。"},
        {"我们在大学学习。", Mode::Auto, "我们在大学学习。"},
        // Per sentence: only the traditional one.
        {"我們在大學。我们在大学。", Mode::Auto, "我们在大学。我们在大学。"},
        // One traditional character among simplified ones that s2t would
        // change: the sentence stays as written.
        {"我们在一個大学学习。", Mode::Auto, "我们在一個大学学习。"},
        {"我们在一個大学学习。", Mode::On, "我们在一个大学学习。"},
        {"我們在大學。", Mode::Off, "我們在大學。"},
        // Phrases: the word decides the form.
        {"頭髮乾了，發展經濟。", Mode::Auto, "头发干了，发展经济。"},
        // Latin letters, digits and full-width forms are untouched.
        {"iPhone手機５Ｇ網絡2024年。", Mode::Auto, "iPhone手机５Ｇ网络2024年。"},
        {"", Mode::On, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Converted(c.text, c.mode), c.expected) << c.text;
}

TEST(Traditional, TokensKeepTheCallersCharactersAndOffsets)
{
    if (!HaveTrained())
        GTEST_SKIP() << "no trained models";
    morv::Model model(kTrained);
    morv::Analyzer analyzer(model);
    const std::string traditional = "我們在大學學習計算機，煙火很漂亮。";
    const std::string simplified = "我们在大学学习计算机，烟火很漂亮。";
    const auto t = analyzer.Analyze(traditional);
    const auto s = analyzer.Analyze(simplified);
    ASSERT_EQ(t.size(), s.size()) << Words(t) << "| " << Words(s);
    std::string joined;
    for (size_t i = 0; i < t.size(); ++i) {
        EXPECT_EQ(t[i].tag, s[i].tag) << t[i].word;
        EXPECT_EQ(t[i].charStart, s[i].charStart);
        EXPECT_EQ(t[i].charEnd, s[i].charEnd);
        EXPECT_EQ(traditional.substr(t[i].start, t[i].end - t[i].start), t[i].word);
        joined += std::string(t[i].word);
    }
    EXPECT_EQ(joined, traditional);
    EXPECT_EQ(t[0].word, "我們");
    // Off: the text as it is, which the models cut apart.
    const auto off = analyzer.Analyze(traditional, morv::Encoding::Utf8, false, morv::Mode::Normal,
                                      morv::Traditional::Off);
    EXPECT_GT(off.size(), t.size()) << Words(off);
    // The same in GBK, which holds traditional characters too.
    const std::string gbk = Gbk(traditional);
    const auto g = analyzer.Analyze(gbk, morv::Encoding::Gbk);
    ASSERT_EQ(g.size(), t.size());
    for (size_t i = 0; i < g.size(); ++i)
        EXPECT_EQ(std::string(g[i].word), Gbk(std::string(t[i].word)));
}

TEST(Traditional, SimplifiedTextIsAnalysedAsBefore)
{
    if (!HaveTrained())
        GTEST_SKIP() << "no trained models";
    morv::Model model(kTrained);
    morv::Analyzer analyzer(model);
    for (const char* text : {"他在北京工作。", "中国农业发展银行发放了贷款。", "乾隆年间，他著书立说。"}) {
        const std::string a = Words(analyzer.Analyze(text));
        const std::string off = Words(analyzer.Analyze(text, morv::Encoding::Utf8, false, morv::Mode::Normal,
                                                       morv::Traditional::Off));
        EXPECT_EQ(a, off) << text;
    }
    // Both bits at once are refused.
    const morv_token* tokens = nullptr;
    size_t count = 0;
    morv_analyzer* raw = nullptr;
    morv_model* m = nullptr;
    ASSERT_EQ(morv_model_open(kTrained.c_str(), &m), MORV_OK);
    ASSERT_EQ(morv_analyzer_new(m, &raw), MORV_OK);
    EXPECT_EQ(morv_analyze(raw, "我們", MORV_NUL_TERMINATED, MORV_TRADITIONAL_ON | MORV_TRADITIONAL_OFF, &tokens,
                           &count),
              MORV_E_ARGUMENT);
    morv_analyzer_free(raw);
    morv_model_free(m);
}

TEST(Traditional, PageSearchWordsAndKeywordsKeepTheCallersCharacters)
{
    if (!HaveTrained())
        GTEST_SKIP() << "no trained models";
    morv::Model model(kTrained);
    morv::Analyzer analyzer(model);
    const std::string text = "中國農業發展銀行發放了貸款。";
    // The page (GBK) shows the traditional characters.
    const std::string page(analyzer.AnalyzeHtml(text));
    EXPECT_NE(page.find(Gbk("中國")), std::string::npos) << page;
    EXPECT_EQ(page.find(Gbk("中国")), std::string::npos);
    // Search mode's sub-tokens and the dictionary words too.
    bool sub = false;
    for (const morv::Token& t : analyzer.Analyze("他們學習計算機技術。", morv::Mode::Search))
        if (t.Has(MORV_FLAG_SUBTOKEN) && t.word == "計算")
            sub = true;
    EXPECT_TRUE(sub);
    bool found = false;
    for (const morv::Token& w : analyzer.DictionaryWords(text))
        found = found || w.word == "銀行";
    EXPECT_TRUE(found);
    // Keywords: the text's words, the simplified forms' weights.
    const std::string rare = "稀土是重要的戰略資源。我國稀土儲量豐富，稀土出口要管好，稀土產業要升級。";
    const std::string simple = "稀土是重要的战略资源。我国稀土储量丰富，稀土出口要管好，稀土产业要升级。";
    const auto kt = analyzer.Keywords(rare, 3);
    const auto ks = analyzer.Keywords(simple, 3);
    ASSERT_EQ(kt.size(), ks.size());
    EXPECT_EQ(kt[0].word, "稀土");
    EXPECT_EQ(kt[1].word, "儲量");
    for (size_t i = 0; i < kt.size(); ++i)
        EXPECT_DOUBLE_EQ(kt[i].weight, ks[i].weight) << kt[i].word;
}

TEST(Traditional, ThreadsConvertAtOnce)
{
    if (!HaveTrained())
        GTEST_SKIP() << "no trained models";
    morv::Model model(kTrained);
    const std::string text = "我們在大學學習計算機，煙火很漂亮。頭髮乾了，經濟發展。";
    const std::string expected = Words(morv::Analyzer(model).Analyze(text));
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int k = 0; k < 4; ++k)
        threads.emplace_back([&] {
            morv::Analyzer analyzer(model);
            for (int i = 0; i < 50; ++i)
                if (Words(analyzer.Analyze(text)) != expected)
                    ++wrong;
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(Traditional, TheKeyTraditionalOffLeavesItToTheCalls)
{
    if (!HaveTrained())
        GTEST_SKIP() << "no trained models";
    TempDir dir;
    ASSERT_EQ(std::system(("cp -r '" + kTrained + "' '" + dir.path + "/m'").c_str()), 0);
    std::string config = ReadFile(dir / "m/Configure.xml");
    const size_t end = config.find("</Configure>");
    ASSERT_NE(end, std::string::npos);
    config.insert(end, "<Traditional>off</Traditional>\n");
    WriteFile(dir / "m/Configure.xml", config);
    morv::Model model(dir / "m");
    EXPECT_NE(model.Describe().find("Traditional off"), std::string::npos) << model.Describe();
    morv::Analyzer analyzer(model);
    const std::string text = "我們在大學學習。";
    EXPECT_EQ(analyzer.Analyze(text)[0].word, "我");
    EXPECT_EQ(analyzer.Analyze(text, morv::Encoding::Utf8, false, morv::Mode::Normal, morv::Traditional::On)[0].word,
              "我們");
    // The trained models leave it on.
    morv::Model own(kTrained);
    EXPECT_NE(own.Describe().find("Traditional on"), std::string::npos);
}
