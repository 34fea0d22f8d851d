// Web text: the atoms of CWebText alone, then through the analyser on the
// trained models with the key WebText on and off; the slash of the text format
// never glued to a character; punctuation tagged w in every stage; names that
// do not run across punctuation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/CModel.h"
#include "engine/CSymbolTagger.h"
#include "engine/EngineText.h"
#include "engine/TextCodec.h"
#include "engine/morv.hpp"
#include "segment/CWebText.h"
#include "tagging/CNameBounds.h"
#include "tests/TestUtil.h"

namespace {

const std::string kTrained = std::string(MORV_BINARY_DIR) + "/bin/Morv";
const std::string kClassic = std::string(MORV_BINARY_DIR) + "/models-classic";
const std::string kMorv = std::string(MORV_BINARY_DIR) + "/bin/morv";

std::string Gbk(const std::string& utf8)
{
    std::string out;
    TextCodec::Instance().AppendUtf8AsGbk(out, utf8.data(), utf8.size());
    return out;
}

std::string Show(const std::vector<morv::Token>& tokens)
{
    std::string out;
    for (const morv::Token& t : tokens)
        out += std::string(t.word) + "/" + std::string(t.tag) + "  ";
    return out;
}

bool IsSymbolWord(std::string_view utf8)
{
    const std::string gbk = Gbk(std::string(utf8));
    return CSymbolTagger::IsSymbolText(gbk.data(), static_cast<int>(gbk.size()));
}

using Kind = CWebText::Kind;

TEST(WebTextRules, EachRuleTakesItsAtomWholeAndNoMore)
{
    const struct {
        const char* text;
        const char* atom; // the atom at the text's start; "" for none
        Kind kind;
    } cases[] = {
        // e-mail addresses
        {"abc.def@example.com，你好", "abc.def@example.com", Kind::kWord},
        {"a_b+c@mail.example.org.", "a_b+c@mail.example.org", Kind::kWord},
        {"abc@localhost", "", Kind::kNone},         // no domain of two labels
        {"abc@x.c1", "", Kind::kNone},              // top-level domain of letters
        {"abc.@x.com", "", Kind::kNone},             // local part ending in a dot
        // URLs: scheme to end, query included, closing marks of the sentence left out
        {"https://www.example.com/path?q=1&lang=zh。", "https://www.example.com/path?q=1&lang=zh", Kind::kWord},
        {"http://example.com/a_(b)).", "http://example.com/a_(b)", Kind::kWord},
        {"HTTP://EXAMPLE.COM,", "HTTP://EXAMPLE.COM", Kind::kWord},
        {"https://example.com/a/。", "https://example.com/a", Kind::kWord},
        {"www.example.com/x网站", "www.example.com/x", Kind::kWord},
        {"ftp://files.example.net/a.tar.gz!", "ftp://files.example.net/a.tar.gz", Kind::kWord},
        {"http://", "", Kind::kNone},
        // mentions and topics
        {"@张三 你好", "@张三", Kind::kWord},
        {"@user_01:hi", "@user_01", Kind::kWord},
        {"＠李四，", "＠李四", Kind::kWord},
        {"@ 张三", "", Kind::kNone},
        {"#话题#后面", "#话题#", Kind::kWord},
        {"＃春节快乐＃", "＃春节快乐＃", Kind::kWord},
        {"#没有结尾", "", Kind::kNone},
        {"##", "", Kind::kNone},
        {"#一句话。#", "", Kind::kNone}, // a sentence end inside is no topic
        // identifiers and numbers with a unit in Latin letters
        {"abc_123 ", "abc_123", Kind::kWord},
        {"iPhone6s手机", "iPhone6s", Kind::kWord},
        {"5G网络", "5G", Kind::kWord},
        {"4K电视", "4K", Kind::kWord},
        {"120Hz,", "120Hz", Kind::kWord},
        {"COVID-19.", "COVID-19", Kind::kWord},
        {"v1.2.3版", "v1.2.3", Kind::kWord},
        {"_init_", "_init_", Kind::kWord},
        {"hello world", "", Kind::kNone}, // plain words and numbers: the classes' business
        {"2023年", "", Kind::kNone},
        {"3.14", "", Kind::kNone},
        // katakana
        {"アニメ很好", "アニメ", Kind::kWord},
        {"コーヒー店", "コーヒー", Kind::kWord},
        {"ー", "", Kind::kNone},
        // hangul, as the engine's text holds it
        {"\xA1\x9F\xA1\x9F\xA1\x9F好", "\xA1\x9F\xA1\x9F\xA1\x9F", Kind::kWord},
        {"\xA1\xA0\xA1\xA0", "", Kind::kNone}, // the placeholder of other characters
        // punctuation runs
        {"...真的", "...", Kind::kEllipsis},
        {"......", "......", Kind::kEllipsis},
        {"……好", "", Kind::kNone}, // the dictionary's word
        {"~~~哈", "~~~", Kind::kTilde},
        {"～～~", "～～~", Kind::kTilde},
        {".a", "", Kind::kNone},
        {"~", "", Kind::kNone},
        {"", "", Kind::kNone},
    };
    const CWebText rules(7, 9);
    for (const auto& c : cases) {
        // The placeholders are GBK bytes already (no UTF-8 text holds them).
        const bool raw = static_cast<unsigned char>(c.text[0]) == 0xA1;
        const std::string text = raw ? c.text : Gbk(c.text);
        const CWebText::Match m = rules.At(text.c_str(), 0);
        EXPECT_EQ(m.length, static_cast<int>(raw ? std::strlen(c.atom) : Gbk(c.atom).size())) << c.text;
        EXPECT_EQ(m.kind, c.kind) << c.text;
    }
    EXPECT_EQ(rules.WordTag(), 7);
    EXPECT_EQ(rules.SymbolTag(), 9);
}

TEST(WebTextRules, AMentionDoesNotFollowALetterOrDigit)
{
    const CWebText rules(7, 9);
    const std::string text = Gbk("abc@def 看@张三");
    EXPECT_EQ(rules.At(text.c_str(), 3).length, 0);
    const size_t at = text.find('@', 4);
    EXPECT_EQ(rules.At(text.c_str(), static_cast<int>(at)).length, static_cast<int>(Gbk("@张三").size()));
    EXPECT_EQ(rules.At(nullptr, 0).length, 0);
    EXPECT_EQ(rules.At(text.c_str(), -1).length, 0);
}

TEST(WebTextRules, LongMentionsAndTopicsStopAtTheirLimit)
{
    const CWebText rules(7, 9);
    const std::string name = "@" + std::string(40, 'a');
    EXPECT_EQ(rules.At(name.c_str(), 0).length, 31); // @ and thirty characters
    std::string topic = "#";
    for (int i = 0; i < 41; ++i)
        topic += "\xBA\xC3"; // 好
    topic += "#";
    EXPECT_EQ(rules.At(topic.c_str(), 0).length, 0);
}

// Random text of the bytes the rules look at: no match runs past the text's
// end, and a match always has its kind (the sanitizer build checks each read).
TEST(WebTextRules, MatchesStayInsideTheTextOnRandomBytes)
{
    static const char kBytes[] = "@#._-~/:?=&aZ09 \xA1\x9F\xA0\xA3\xC0\xA3\xA5\xA9\x60\xB0\xA1\x80";
    std::mt19937 random(26);
    const CWebText rules(1, 2);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const size_t length = random() % 24;
        for (size_t i = 0; i < length; ++i)
            text += kBytes[random() % (sizeof kBytes - 1)];
        const std::unique_ptr<char[]> exact(new char[text.size() + 1]);
        std::memcpy(exact.get(), text.c_str(), text.size() + 1);
        for (int p = 0; p <= static_cast<int>(text.size()); ++p) {
            const CWebText::Match m = rules.At(exact.get(), p);
            ASSERT_GE(m.length, 0);
            ASSERT_LE(p + m.length, static_cast<int>(text.size())) << text;
            EXPECT_EQ(m.length == 0, m.kind == Kind::kNone) << text;
        }
    }
}

TEST(WebTextRules, HangulHasAPlaceholderOfItsOwn)
{
    EngineText text;
    const std::string input = "가나😀好";
    text.Build(input.data(), input.size(), Encoding::Utf8, true);
    ASSERT_EQ(text.Length(), 8u);
    EXPECT_EQ(std::string(text.Text(), 6), "\xA1\x9F\xA1\x9F\xA1\xA0");
    EXPECT_EQ(text.Substitutions(), (std::vector<uint32_t>{0xAC00, 0xB098, 0x1F600}));
    EXPECT_TRUE(text.IsPlaceholdersOnly(0, 4));
    EXPECT_EQ(text.InputOffset(2), 3u);
    EXPECT_EQ(text.CharIndex(6), 3u);
    // GBK input that holds either code itself keeps its bytes, as a placeholder.
    EngineText gbk;
    const std::string bytes = "\xA1\x9F\xBA\xC3";
    gbk.Build(bytes.data(), bytes.size(), Encoding::Gbk, false);
    EXPECT_EQ(gbk.Substitutions(), (std::vector<uint32_t>{EngineText::kOwnBytes}));
    EXPECT_TRUE(EngineText::IsHangul(0xD7A3));
    EXPECT_TRUE(EngineText::IsHangul(0x3131));
    EXPECT_FALSE(EngineText::IsHangul(0x4E00));
    EXPECT_FALSE(EngineText::IsHangul(0x30A2));
}

// Tokens of GBK text cut at the blanks, with the two markers around them.
std::vector<TokenRecord> Tokens(const std::string& gbk)
{
    std::vector<TokenRecord> items(1);
    items[0].start = items[0].end = 0;
    for (size_t p = 0; p < gbk.size();) {
        size_t q = gbk.find(' ', p);
        if (q == std::string::npos)
            q = gbk.size();
        TokenRecord t;
        t.start = static_cast<int32_t>(p);
        t.end = static_cast<int32_t>(q);
        items.push_back(t);
        p = q + 1;
    }
    TokenRecord end;
    end.start = end.end = static_cast<int32_t>(gbk.size());
    items.push_back(end);
    return items;
}

TEST(NameBounds, NamesStopAtPunctuationButKeepTheirJoiners)
{
    const struct {
        const char* tokens; // blank-separated; the whole run is asked about
        bool name;
    } cases[] = {
        {"比尔 · 盖茨", true},
        {"尼赫鲁 — 甘地", true},
        {"中国 远洋 运输 （ 集团 ） 总公司", true},
        {"张三 +", false},
        {"张三 + 李四", false},
        {"《 张伟 》", false},
        {"张伟 》 的", false},
        {"ＯＥＣＤ ） 发展 中心", false},
        {"ＮＨＬ （ 职业 冰球 联盟", false},
        {"社会史 ” 学术 研讨会", false},
        {"王小明 …… 李大伟", false},
        {"北京 ． ． 上海", false},
        {"北京 大学", true},
        {"· 盖茨", false}, // a joiner at an end
        {"盖茨 ·", false},
        {"中国 ） （ 集团", false}, // closed before it opens
        {"３１． 最高 人民 检察院", false}, // the dot of a list number
        {"联合国 ＨＩＶ／艾滋病 联合 计划署", true},
    };
    for (const auto& c : cases) {
        const std::string gbk = Gbk(c.tokens);
        const std::vector<TokenRecord> items = Tokens(gbk);
        EXPECT_EQ(CNameBounds::MayBeOneName(gbk.c_str(), items.data(), 1, static_cast<int>(items.size()) - 2), c.name)
            << c.tokens;
    }
    const struct {
        const char* ch;
        bool breaks;
    } chars[] = {{"·", false}, {"—", false}, {"－", false}, {"-", false}, {"+", true}, {"》", true},
                 {"）", true},  {"…", true},  {"“", true},  {"好", false}, {"Ａ", false}, {"．", true}};
    for (const auto& c : chars) {
        const std::string gbk = Gbk(c.ch);
        EXPECT_EQ(CNameBounds::BreaksName(gbk.data(), static_cast<int>(gbk.size())), c.breaks) << c.ch;
    }
}

// A view of the trained models with the stage keys given, beside their Data/.
class WebTextModels : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!FileExists(kTrained + "/Configure.xml"))
            GTEST_SKIP() << "no models in " << kTrained;
    }
    std::unique_ptr<morv::Model> Open(const std::string& keys)
    {
        const std::string dir = scratch / ("m" + std::to_string(views++));
        std::string config = ReadFile(kTrained + "/Configure.xml");
        for (const char* key : {"NewWords", "WebText"}) {
            const std::string open = std::string("<") + key + ">";
            const size_t a = config.find(open);
            if (a != std::string::npos)
                config.erase(a, config.find('\n', a) + 1 - a);
        }
        config.insert(config.find("</Configure>"), keys + "\n");
        EXPECT_TRUE(LinkModels(kTrained, dir, config));
        return std::unique_ptr<morv::Model>(new morv::Model(dir));
    }
    TempDir scratch;
    int views = 0;
};

const char kWebOn[] = "<NewWords>on</NewWords><WebText>on</WebText>";
const char kWebOff[] = "<NewWords>on</NewWords><WebText>off</WebText>";
const char kClassicKeys[] = "<NewWords>off</NewWords><WebText>on</WebText>";

TEST_F(WebTextModels, WebTextAtomsAreOneTokenTaggedNxOrW)
{
    const struct {
        const char* text;
        const char* token; // word/tag
    } cases[] = {
        {"请发邮件到abc.def@example.com联系我们", "abc.def@example.com/nx"},
        {"详情见https://www.example.com/path?q=1&lang=zh。", "https://www.example.com/path?q=1&lang=zh/nx"},
        {"打开www.example.com就能看到", "www.example.com/nx"},
        {"@张三 你今天去哪儿了", "@张三/nx"},
        {"大家都在讨论#春节放假#这个话题", "#春节放假#/nx"},
        {"变量名叫abc_123就行", "abc_123/nx"},
        {"5G网络已经覆盖全国", "5G/nx"},
        {"他买了一台4K电视", "4K/nx"},
        {"我的iPhone6s坏了", "iPhone6s/nx"},
        {"这部アニメ很好看", "アニメ/nx"},
        {"等了好久...终于来了", ".../w"},
        {"今天好开心~~~", "~~~/w"},
        {"真的吗......我不信", "....../w"},
        {"等了3...终于来了", "3/m"}, // the dots are no part of the number
        {"等了3...终于来了", ".../w"},
        {"他说안녕하세요就走了", "안녕하세요/nx"},
    };
    const auto model = Open(kWebOn);
    morv::Analyzer analyzer(*model);
    for (const auto& c : cases) {
        const std::vector<morv::Token> tokens = analyzer.Analyze(c.text);
        const std::string shown = Show(tokens);
        EXPECT_NE(("  " + shown).find("  " + std::string(c.token) + "  "), std::string::npos)
            << c.text << " -> " << shown;
        // GBK input (where GBK holds the text): the same tokens.
        const std::string gbk = Gbk(c.text);
        if (std::strstr(c.text, "안") == nullptr) {
            EXPECT_EQ(analyzer.Analyze(gbk, morv::Encoding::Gbk).size(), tokens.size()) << c.text;
        }
    }
}

TEST_F(WebTextModels, WithoutTheKeyOrTheNewStagesTheRulesDoNotAct)
{
    for (const char* keys : {kWebOff, kClassicKeys}) {
        const auto model = Open(keys);
        morv::Analyzer analyzer(*model);
        for (const char* text : {"abc.def@example.com", "#话题#", "abc_123", "..."}) {
            const std::vector<morv::Token> tokens = analyzer.Analyze(text);
            EXPECT_GT(tokens.size(), 1u) << keys << " " << text << " -> " << Show(tokens);
        }
    }
    // Hangul without the rules: a token a character, tagged w, as any
    // character GBK lacks; with them one word that still reads as substituted.
    {
        const auto model = Open(kClassicKeys);
        morv::Analyzer analyzer(*model);
        const std::vector<morv::Token> tokens = analyzer.Analyze("안녕朋友");
        ASSERT_EQ(tokens.size(), 3u) << Show(tokens);
        EXPECT_EQ(tokens[0].tag, "w");
        EXPECT_TRUE(tokens[0].Has(MORV_FLAG_SUBSTITUTED));
    }
    {
        const auto model = Open(kWebOn);
        morv::Analyzer analyzer(*model);
        const std::vector<morv::Token> tokens = analyzer.Analyze("안녕朋友");
        ASSERT_EQ(tokens.size(), 2u) << Show(tokens);
        EXPECT_EQ(tokens[0].word, "안녕");
        EXPECT_EQ(tokens[0].tag, "nx");
        EXPECT_TRUE(tokens[0].Has(MORV_FLAG_SUBSTITUTED));
        EXPECT_EQ(tokens[0].charEnd, 2u);
    }
    std::string why;
    EXPECT_TRUE(CModel::CheckSetting("WebText", "on", &why));
    EXPECT_FALSE(CModel::CheckSetting("WebText", "yes", &why));
}

TEST_F(WebTextModels, NoCharacterIsGluedToTheSlashOfTheTextFormat)
{
    const char* const texts[] = {
        "一/二/三", "5/", "十/", "abc/", "ｂｃ/", "３/", "好/坏", "百分之一/ 吗", "12//34", "他说/",
    };
    for (const char* keys : {kWebOn, kWebOff, kClassicKeys}) {
        const auto model = Open(keys);
        morv::Analyzer analyzer(*model);
        for (const char* text : texts) {
            const std::vector<morv::Token> tokens = analyzer.Analyze(text);
            for (const morv::Token& t : tokens)
                if (t.word.size() > 1) {
                    EXPECT_NE(t.word.back(), '/') << keys << " " << text << " -> " << Show(tokens);
                }
        }
    }
    // Between two characters of a run the slash stays: a fraction, a ratio.
    const auto model = Open(kClassicKeys);
    morv::Analyzer analyzer(*model);
    EXPECT_EQ(analyzer.Analyze("1/2").size(), 1u);
    EXPECT_EQ(analyzer.Analyze("http://www.example.com/a").size(), 1u);
    EXPECT_EQ(analyzer.Analyze("a//b").size(), 1u);
    EXPECT_EQ(analyzer.Analyze("a//").size(), 3u);
}

// The command's text format: every item of every line splits back at its last
// slash into the word and a tag, the slashes of the text included.
TEST_F(WebTextModels, EveryLineOfTheTextFormatSplitsBackIntoWordsAndTags)
{
    if (!FileExists(kMorv))
        GTEST_SKIP() << "no " << kMorv;
    const std::string input = "一/二/三，5/ 十/ abc/ 好/坏\nhttps://example.com/a/b?x=1/ 见@张三/李四 #话题#/\n"
                              "3/4斤、1/2杯 a//b 他说/\n";
    const std::string in = scratch / "in.txt", out = scratch / "out.txt";
    WriteFile(in, input);
    for (const std::string& base : {kTrained, kClassic}) {
        const std::string command = "'" + kMorv + "' -d '" + base + "' -f text '" + in + "' > '" + out + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const std::string text = ReadFile(out);
        std::string words;
        size_t lines = 0;
        for (size_t p = 0; p < text.size();) {
            size_t q = text.find('\n', p);
            if (q == std::string::npos)
                q = text.size();
            const std::string line = text.substr(p, q - p);
            ++lines;
            for (size_t a = 0; a < line.size();) {
                size_t b = line.find("  ", a);
                if (b == std::string::npos)
                    b = line.size();
                // A blank token shows as " /w".
                const std::string item = line.substr(a, b - a);
                const size_t slash = item.rfind('/');
                ASSERT_NE(slash, std::string::npos) << base << ": " << line;
                const std::string word = item.substr(0, slash), tag = item.substr(slash + 1);
                EXPECT_FALSE(word.empty()) << base << ": " << line;
                EXPECT_FALSE(tag.empty()) << base << ": " << line;
                EXPECT_TRUE(word == "/" || word.back() != '/') << base << ": " << item;
                for (const char c : tag)
                    EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << base << ": " << item;
                words += word;
                a = b + 2;
            }
            p = q + 1;
        }
        EXPECT_EQ(lines, 3u) << base;
        // The words give back the text, blanks included (the input has single
        // blanks only, so no item is ambiguous).
        std::string plain = input;
        plain.erase(std::remove(plain.begin(), plain.end(), '\n'), plain.end());
        EXPECT_EQ(words, plain) << base << ": " << text;
    }
}

TEST_F(WebTextModels, PunctuationIsTaggedWInEveryStageAndPart)
{
    const char* const texts[] = {
        "【重磅】…中国银行今天发布公告",
        "【转发】中华人民共和国外交部发言人表示……",
        "《人民日报》社论：“北京大学”学生会（筹）成立！",
        "张三+李四=？？？",
        "王小明……今天来了～～",
        "哈哈哈!!!真的假的???",
        "中国远洋运输（集团）总公司的『新闻』「发布」",
        "→点击这里★★★☆☆",
    };
    for (const char* keys : {kWebOn, kWebOff, kClassicKeys}) {
        const auto model = Open(keys);
        morv::Analyzer analyzer(*model);
        for (const char* text : texts)
            for (const morv::Mode mode : {morv::Mode::Normal, morv::Mode::Search}) {
                const std::vector<morv::Token> tokens = analyzer.Analyze(text, mode);
                for (const morv::Token& t : tokens) {
                    if (IsSymbolWord(t.word)) {
                        EXPECT_EQ(t.tag, "w") << keys << " " << text << " -> " << Show(tokens);
                    }
                    for (const morv::Part& p : t.parts)
                        if (IsSymbolWord(p.word)) {
                            EXPECT_EQ(std::string(p.tag), "w") << keys << " " << text << " part " << p.word;
                        }
                }
            }
    }
}

TEST_F(WebTextModels, NamesHoldNoPunctuationOrSymbol)
{
    // Brackets, book-title marks, quotes, a plus sign, runs of dots beside
    // names: the names stop at them. A dot or dash between the parts of a
    // foreign name belongs to it.
    const char* const texts[] = {
        "张三+李四来了",
        "【王小明】今天到了北京",
        "《张伟传》的作者李强说",
        "（刘德华）和“周杰伦”一起",
        "王小明……李大伟……都来了",
        "北京市+上海市的代表",
        "ＮＨＬ（职业冰球联盟）的比赛",
        "他在ＯＥＣＤ）发展中心工作",
        "“２０世纪中国社会史”学术研讨会开幕",
        "比尔·盖茨访问了微软公司",
    };
    const auto model = Open(kWebOn);
    morv::Analyzer analyzer(*model);
    for (const char* text : texts) {
        const std::vector<morv::Token> tokens = analyzer.Analyze(text);
        for (const morv::Token& t : tokens) {
            const std::string tag(t.tag);
            if (tag != "nr" && tag != "nrf" && tag != "ns" && tag != "nt")
                continue;
            // Character by character: every symbol but the joiners of a name.
            const std::string word(t.word);
            for (size_t i = 0; i < word.size();) {
                size_t n = 1;
                const unsigned char c = static_cast<unsigned char>(word[i]);
                if (c >= 0xF0)
                    n = 4;
                else if (c >= 0xE0)
                    n = 3;
                else if (c >= 0xC0)
                    n = 2;
                const std::string ch = word.substr(i, n);
                const bool joiner = ch == "·" || ch == "—" || ch == "－" || ch == "-";
                EXPECT_TRUE(joiner || !IsSymbolWord(ch)) << text << " -> " << Show(tokens);
                i += n;
            }
        }
    }
    const std::vector<morv::Token> gates = analyzer.Analyze("比尔·盖茨访问了微软公司");
    EXPECT_NE(("  " + Show(gates)).find("  比尔·盖茨/"), std::string::npos) << Show(gates);
}

} // namespace
