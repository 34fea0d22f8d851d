// Search mode (sub-tokens), the dictionary words of a text, the tag of tokens
// that are no words, and the tags of user words without a tag of their own: on
// the trained models, with the new stages and without.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/CSymbolTagger.h"
#include "engine/TextCodec.h"
#include "engine/morv.hpp"
#include "tests/TestUtil.h"

namespace {

const std::string kTrained = std::string(MORV_BINARY_DIR) + "/bin/Morv";
const std::string kClassic = std::string(MORV_BINARY_DIR) + "/models-classic";
const std::string kMorv = std::string(MORV_BINARY_DIR) + "/bin/morv";

std::string Show(const std::vector<morv::Token>& tokens)
{
    std::string out;
    for (const morv::Token& t : tokens)
        out += std::string(t.word) + "/" + std::string(t.tag) + (t.Has(MORV_FLAG_SUBTOKEN) ? "(sub) " : " ");
    return out;
}

std::string Key(const morv::Token& t)
{
    return std::string(t.word) + "/" + std::string(t.tag) + "@" + std::to_string(t.start) + "-" +
           std::to_string(t.end) + ":" + std::to_string(t.charStart) + "-" + std::to_string(t.charEnd) + "#" +
           std::to_string(t.flags) + "," + std::to_string(t.nameSplit);
}

bool HasWord(const std::vector<morv::Token>& tokens, const std::string& word, bool sub)
{
    for (const morv::Token& t : tokens)
        if (t.word == word && t.Has(MORV_FLAG_SUBTOKEN) == sub)
            return true;
    return false;
}

// Both pipelines: the trained models (new stages on) and the classic ones.
class SearchMode : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override
    {
        if (!FileExists(GetParam() + "/Configure.xml"))
            GTEST_SKIP() << "no models in " << GetParam();
        model.reset(new morv::Model(GetParam()));
        analyzer.reset(new morv::Analyzer(*model));
    }
    bool NewStages() const { return GetParam() == kTrained; }
    std::unique_ptr<morv::Model> model;
    std::unique_ptr<morv::Analyzer> analyzer;
};

const char* const kTexts[] = {
    "中国农业发展银行在北京大学旁边。\n",
    "中国国际广播电台报道，全国人民代表大会常务委员会昨天开会。",
    "他说 hello world，价格是3.5元！　江泽民同志讲话。",
    "",
    "“中华人民共和国”成立了\r\n第二行",
};

TEST_P(SearchMode, SkippingSubTokensGivesTheOrdinaryStream)
{
    for (const char* text : kTexts) {
        const std::vector<morv::Token> plain = analyzer->Analyze(text);
        const std::vector<morv::Token> search = analyzer->Analyze(text, morv::Mode::Search);
        std::vector<std::string> kept, expected;
        for (const morv::Token& t : plain)
            expected.push_back(Key(t));
        const morv::Token* holder = nullptr;
        for (const morv::Token& t : search) {
            if (!t.Has(MORV_FLAG_SUBTOKEN)) {
                kept.push_back(Key(t));
                holder = &t;
                continue;
            }
            // A sub-token lies inside the token before it, is shorter, has two
            // characters or more, and its offsets are its own.
            ASSERT_NE(holder, nullptr) << text;
            EXPECT_GE(t.start, holder->start);
            EXPECT_LE(t.end, holder->end);
            EXPECT_LT(t.end - t.start, holder->end - holder->start);
            EXPECT_GE(t.charEnd - t.charStart, 2u);
            EXPECT_EQ(std::string(text).substr(t.start, t.end - t.start), t.word);
            EXPECT_FALSE(t.Has(MORV_FLAG_SENTENCE_END));
            EXPECT_FALSE(t.tag.empty());
        }
        EXPECT_EQ(kept, expected) << Show(search);
    }
}

TEST_P(SearchMode, LongWordsYieldTheWordsInsideThem)
{
    const std::vector<morv::Token> t = analyzer->Analyze("中国农业发展银行在北京大学旁边", morv::Mode::Search);
    const std::string shown = Show(t);
    EXPECT_TRUE(HasWord(t, "北京", true)) << shown;
    EXPECT_TRUE(HasWord(t, "大学", true)) << shown;
    // A string across the words of 北京大学 is no word inside it.
    EXPECT_FALSE(HasWord(t, "京大", true)) << shown;
    // Sub-tokens come ordered by start, then by length.
    for (size_t i = 1; i < t.size(); ++i) {
        if (t[i].Has(MORV_FLAG_SUBTOKEN) && t[i - 1].Has(MORV_FLAG_SUBTOKEN)) {
            EXPECT_TRUE(t[i - 1].start < t[i].start || (t[i - 1].start == t[i].start && t[i - 1].end < t[i].end))
                << shown;
        }
    }
    if (NewStages()) {
        // The organisation name is one token; its words are its parts and its sub-tokens.
        ASSERT_FALSE(t.empty());
        EXPECT_EQ(t[0].word, "中国农业发展银行");
        EXPECT_TRUE(t[0].Has(MORV_FLAG_COMPOUND));
        EXPECT_FALSE(t[0].parts.empty());
        EXPECT_TRUE(HasWord(t, "农业", true)) << shown;
        for (const morv::Part& p : t[0].parts) {
            if (p.end - p.start > 3) {
                EXPECT_TRUE(HasWord(t, std::string(p.word), true)) << p.word << " in " << shown;
            }
        }
    }
}

TEST_P(SearchMode, UserWordsAreFoundInsideOtherWordsInBothEncodings)
{
    model->AddWord("蓝鲸", -1, "nz");
    model->AddWord("蓝鲸科技公司", -1, "nt");
    const std::vector<morv::Token> t = analyzer->Analyze("蓝鲸科技公司成立", morv::Mode::Search);
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t[0].word, "蓝鲸科技公司") << Show(t);
    bool found = false;
    for (const morv::Token& k : t)
        if (k.word == "蓝鲸" && k.Has(MORV_FLAG_SUBTOKEN)) {
            found = true;
            EXPECT_EQ(k.tag, "nz");
            EXPECT_TRUE(k.Has(MORV_FLAG_USER_WORD));
            EXPECT_EQ(k.start, 0u);
            EXPECT_EQ(k.end, 6u);
        }
    EXPECT_TRUE(found) << Show(t);
    // GBK text: GBK byte offsets, the same characters.
    std::string gbk;
    TextCodec::Instance().AppendUtf8AsGbk(gbk, "蓝鲸科技公司成立", std::strlen("蓝鲸科技公司成立"));
    const std::vector<morv::Token> g = analyzer->Analyze(gbk, morv::Encoding::Gbk, false, morv::Mode::Search);
    ASSERT_EQ(g.size(), t.size());
    for (size_t i = 0; i < g.size(); ++i) {
        EXPECT_EQ(g[i].start * 3, t[i].start * 2);
        EXPECT_EQ(g[i].charStart, t[i].charStart);
        EXPECT_EQ(g[i].charEnd, t[i].charEnd);
        EXPECT_EQ(g[i].flags, t[i].flags);
    }
}

TEST_P(SearchMode, DictionaryWordsListEveryWordOverlapping)
{
    const std::string text = "我来到北京清华大学";
    const std::vector<morv::Token> words = analyzer->DictionaryWords(text);
    std::vector<std::string> list;
    for (size_t i = 0; i < words.size(); ++i) {
        const morv::Token& w = words[i];
        list.push_back(std::string(w.word));
        EXPECT_EQ(text.substr(w.start, w.end - w.start), w.word);
        EXPECT_GE(w.charEnd - w.charStart, 2u);
        if (i > 0) {
            EXPECT_TRUE(words[i - 1].start < w.start || (words[i - 1].start == w.start && words[i - 1].end < w.end));
        }
    }
    for (const char* expected : {"来到", "北京", "清华", "清华大学", "大学"})
        EXPECT_NE(std::find(list.begin(), list.end(), expected), list.end()) << expected;
    EXPECT_EQ(std::find(list.begin(), list.end(), "京清"), list.end());
    // With single characters every Chinese character of the text is a word.
    const std::vector<morv::Token> all = analyzer->DictionaryWords(text, true);
    std::set<size_t> covered;
    for (const morv::Token& w : all)
        if (w.charEnd - w.charStart == 1)
            covered.insert(w.charStart);
    EXPECT_EQ(covered.size(), 9u);
    EXPECT_GT(all.size(), words.size());
    // A run-time word is listed with its tag; class words (未##数) are not words of the text.
    model->AddWord("华大学", -1, "nz");
    bool user = false;
    for (const morv::Token& w : analyzer->DictionaryWords(text))
        if (w.word == "华大学")
            user = w.Has(MORV_FLAG_USER_WORD) && w.tag == "nz";
    EXPECT_TRUE(user);
    for (const morv::Token& w : analyzer->DictionaryWords("未##数 始##始 hello 123"))
        EXPECT_EQ(std::string(w.word).find("##"), std::string::npos) << w.word;
    EXPECT_TRUE(analyzer->DictionaryWords("").empty());
}

// Tokens that are no words are tagged w in every pipeline and in the page.
TEST_P(SearchMode, BlanksPunctuationAndSymbolsAreTaggedW)
{
    const char* const texts[] = {
        "他说 hello world ，# @ _ 你好\t北京 大学",
        "价格 ＋ 税 = 100 % ！ 真的？ ~ | ^ $ & * （ ） 《书》",
        "一九九○年　他来了 ×× 先生 ℃ 温度 ° ①",
    };
    for (const char* text : texts) {
        for (const morv::Token& t : analyzer->Analyze(text)) {
            std::string gbk;
            TextCodec::Instance().AppendUtf8AsGbk(gbk, t.word.data(), t.word.size());
            if (CSymbolTagger::IsSymbolText(gbk.data(), static_cast<int>(gbk.size()))) {
                EXPECT_EQ(t.tag, "w") << "'" << t.word << "' in " << text;
            }
        }
    }
    // The page writes the same tag after a blank.
    const std::string page(analyzer->AnalyzeHtml("北京 大学"));
    const std::string blank = "> </font><font face=\"Times New Roman\" color=\"#0000FF\">/w</font>";
    EXPECT_NE(page.find(blank), std::string::npos) << page;
}

// A user's word the dictionaries lack, given without a tag, is tagged as a new
// word would be there: never with a closed-class tag.
TEST_P(SearchMode, UserWordsWithoutATagGetAnOpenClassTag)
{
    const std::set<std::string> closed = {"p", "u", "c", "d", "ad", "vd", "r", "q", "f", "y", "e", "m", "w"};
    const struct {
        const char* word;
        const char* text;
    } cases[] = {
        {"蓝鲸科技", "我们的蓝鲸科技很好。"}, {"魔法棒", "他拿着魔法棒走了。"},
        {"在那儿", "我就在那儿等你。"},       {"给力", "这个真给力啊"},
        {"超级棒", "超级棒地完成了"},         {"呱呱叫", "他呱呱叫着跑了"},
    };
    for (const auto& c : cases)
        model->AddWord(c.word);
    for (const auto& c : cases) {
        bool seen = false;
        for (const morv::Token& t : analyzer->Analyze(c.text)) {
            if (t.word != c.word)
                continue;
            seen = true;
            EXPECT_TRUE(t.Has(MORV_FLAG_USER_WORD));
            EXPECT_FALSE(t.Has(MORV_FLAG_NEW_WORD));
            EXPECT_EQ(closed.count(std::string(t.tag)), 0u) << c.word << "/" << t.tag;
        }
        EXPECT_TRUE(seen) << c.word;
    }
    // A tag given is kept, and a word the dictionary has keeps its own tags.
    model->AddWord("魔法棒", -1, "d");
    model->AddWord("因为");
    const std::vector<morv::Token> t = analyzer->Analyze("因为魔法棒");
    ASSERT_EQ(t.size(), 2u) << Show(t);
    EXPECT_EQ(t[0].tag, "c");
    EXPECT_EQ(t[1].tag, "d");
}

INSTANTIATE_TEST_SUITE_P(Pipelines, SearchMode, ::testing::Values(kTrained, kClassic),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param == kTrained ? std::string("NewStages") : std::string("Classic");
                         });

TEST(SymbolTagger, TheTableIsOrderedAndDrawsTheLineRight)
{
    const struct {
        uint32_t cp;
        bool symbol;
    } cases[] = {
        {' ', true},     {'\t', true},    {'#', true},     {'@', true},     {'_', true},     {'~', true},
        {0x3000, true},  {0xFF0C, true},  {0x3001, true},  {0x300A, true},  {0x2014, true},  {0x2026, true},
        {0xD7, true},    {0x25CF, true},  {0x2605, true},  {0xFFE5, true},  {'a', false},    {'7', false},
        {0x4E2D, false}, {0x25CB, false}, {0x3007, false}, {0xB0, false},   {0x2103, false}, {0x2460, false},
        {0x2160, false}, {0x3005, false}, {0x338F, false}, {0xFF21, false}, {0xFF10, false}, {0x3B1, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CSymbolTagger::IsSymbol(c.cp), c.symbol) << std::hex << c.cp;
    EXPECT_FALSE(CSymbolTagger::IsSymbolText("", 0));
    EXPECT_TRUE(CSymbolTagger::IsSymbolText(" #\xA1\xA1", 4));  // blank, #, ideographic space
    EXPECT_FALSE(CSymbolTagger::IsSymbolText(" a", 2));
    EXPECT_FALSE(CSymbolTagger::IsSymbolText("\xA1", 1)); // a lone lead byte
    EXPECT_FALSE(CSymbolTagger::IsSymbolText("\xA1\xA1\xD6\xD0", 4)); // a symbol, then 中
}

// Each character alone, every byte and every lead + trail pair: a symbol text
// exactly when its code point is a symbol.
TEST(SymbolTagger, EveryCharacterIsASymbolTextExactlyWhenItsCodePointIsOne)
{
    for (unsigned c = 1; c < 0x80; ++c) {
        const char b = static_cast<char>(c);
        ASSERT_EQ(CSymbolTagger::IsSymbolText(&b, 1), CSymbolTagger::IsSymbol(c)) << std::hex << c;
    }
    for (unsigned key = 0x8100; key < 0x10000; ++key) {
        const char gbk[2] = {static_cast<char>(key >> 8), static_cast<char>(key & 0xFF)};
        ASSERT_EQ(CSymbolTagger::IsSymbolText(gbk, 2),
                  CSymbolTagger::IsSymbol(TextCodec::Instance().GbkToUnicode(key)))
            << std::hex << key;
    }
}

// The command: --search adds the sub-tokens, marked in compact and json.
TEST(SearchCommand, SubTokensAreMarkedInCompactAndJson)
{
    if (!FileExists(kTrained + "/Configure.xml"))
        GTEST_SKIP() << "no trained models";
    TempDir dir;
    WriteFile(dir / "in.txt", "北京大学的学生\n");
    const auto run = [&](const std::string& args) {
        const std::string out = dir / "out.txt";
        EXPECT_EQ(std::system(("'" + kMorv + "' --base '" + kTrained + "' " + args + " '" + (dir / "in.txt") +
                               "' > '" + out + "'")
                                  .c_str()),
                  0);
        return ReadFile(out);
    };
    EXPECT_NE(run("--search -f compact").find("北京\tns\t0\t2\tsub\n"), std::string::npos);
    EXPECT_EQ(run("-f compact").find("sub"), std::string::npos);
    const std::string json = run("--search -f json");
    EXPECT_NE(json.find("{\"word\":\"大学\",\"tag\":\"n\",\"start\":2,\"end\":4,\"sub\":true}"), std::string::npos)
        << json;
    EXPECT_EQ(run("-f text"), "北京大学/nt  的/u  学生/n\n");
    EXPECT_EQ(run("--search -f text"), "北京大学/nt  北京/ns  大学/n  的/u  学生/n\n");
}

} // namespace
