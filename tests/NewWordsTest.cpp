// The stages beyond the classic pipeline, switched by the NewWords key: off, the
// engine ignores their models; on, unseen words and mixed numbers come out whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/CModel.h"
#include "engine/Engine.h"
#include "engine/morv.hpp"
#include "tests/TestUtil.h"

namespace {

const std::string kTrained = std::string(MORV_BINARY_DIR) + "/bin/Morv";
const std::string kSample = std::string(MORV_SOURCE_DIR) + "/data/sample.txt";

class NewWordsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!FileExists(kTrained + "/Data/NewWord.cm"))
            GTEST_SKIP() << "no trained models in " << kTrained;
        Copy(off, "off");
        Copy(on, "on");
    }
    void Copy(const std::string& dir, const char* key)
    {
        ASSERT_EQ(std::system(("cp -r '" + kTrained + "' '" + dir + "'").c_str()), 0);
        std::string config = ReadFile(dir + "/Configure.xml");
        const size_t at = config.find("<NewWords>");
        if (at != std::string::npos)
            config.erase(at, config.find("</NewWords>", at) + 11 - at);
        config.insert(config.rfind("</Configure>"), std::string("<NewWords>") + key + "</NewWords>\n");
        WriteFile(dir + "/Configure.xml", config);
    }
    // Sets the keys in the directory's Configure.xml, each replacing its old value.
    static void SetKeys(const std::string& dir, const std::vector<std::pair<std::string, std::string>>& keys)
    {
        std::string config = ReadFile(dir + "/Configure.xml");
        for (const auto& [key, value] : keys) {
            const size_t at = config.find("<" + key + ">");
            if (at != std::string::npos)
                config.erase(at, config.find("</" + key + ">", at) + key.size() + 3 - at);
            config.insert(config.rfind("</Configure>"), "<" + key + ">" + value + "</" + key + ">\n");
        }
        WriteFile(dir + "/Configure.xml", config);
    }
    // word/tag items, and the words flagged as new in brackets.
    static std::string Items(morv::Analyzer& a, const std::string& text)
    {
        std::string out;
        for (const morv::Token& t : a.Analyze(text))
            out += (t.Has(MORV_FLAG_NEW_WORD) ? "[" : "") + std::string(t.word) +
                   (t.Has(MORV_FLAG_NEW_WORD) ? "]" : "") + " ";
        return out;
    }
    TempDir dir;
    const std::string off = dir / "off";
    const std::string on = dir / "on";
};

TEST_F(NewWordsTest, OffTheNewModelsAreNotReadAndThePageIsTheClassicOne)
{
    std::string text = ReadFile(kSample);
    ASSERT_FALSE(text.empty());
    morv::Model full(off);
    morv::Analyzer a(full);
    const std::string page(a.AnalyzeHtml(text, morv::Encoding::Gbk, true));
    // The same directory without the new stages' files: the same page.
    ASSERT_EQ(std::system(("rm -f '" + off + "'/Data/NewWord.*").c_str()), 0);
    morv::Model bare(off);
    morv::Analyzer b(bare);
    EXPECT_TRUE(page == std::string(b.AnalyzeHtml(text, morv::Encoding::Gbk, true)));
    // Switched on, a missing file of the new stages is an error that names it.
    ASSERT_EQ(std::system(("rm -f '" + on + "'/Data/NewWord.cm").c_str()), 0);
    try {
        morv::Model broken(on);
        ADD_FAILURE() << "a model without NewWord.cm opened with NewWords on";
    } catch (const morv::Error& e) {
        EXPECT_NE(std::string(e.what()).find("NewWord.cm"), std::string::npos) << e.what();
    }
}

TEST_F(NewWordsTest, UnseenWordsAndMixedNumbersComeOutWhole)
{
    morv::Model classic(off), extended(on);
    morv::Analyzer a(classic), b(extended);
    const struct {
        const char* text;
        const char* classic;
        const char* extended;
    } cases[] = {
        // 微信 is no word of 1998.
        {"我们用微信付款", "我们 用 微 信 付款 ", "我们 用 [微信] 付款 "},
        {"气温－5度", "气温 － 5 度 ", "气温 －5 度 "},
        // 零下-3.5度: the minus sign joins the number, 5-3 stays one run.
        {"-3.5 5-3", "- 3.5   5-3 ", "-3.5   5-3 "},
        // Digits of two widths and numerals, one year.
        {"二００一年", "二 ００ 一 年 ", "二００一年 "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Items(a, c.text), c.classic) << c.text;
        EXPECT_EQ(Items(b, c.text), c.extended) << c.text;
    }
    // The year is a time, the signed number a number.
    const std::vector<morv::Token> year = b.Analyze("二００一年");
    ASSERT_EQ(year.size(), 1u);
    EXPECT_TRUE(year[0].Has(MORV_FLAG_TIME));
    const std::vector<morv::Token> minus = b.Analyze("-5");
    ASSERT_EQ(minus.size(), 1u);
    EXPECT_TRUE(minus[0].Has(MORV_FLAG_NUMBER));
}

TEST_F(NewWordsTest, UnseenPlaceAndOrganisationNamesComeOutWholeAndTagged)
{
    morv::Model classic(off), extended(on);
    morv::Analyzer a(classic), b(extended);
    const struct {
        const char* text;
        const char* name;
        const char* tag;
        unsigned flag;
        size_t parts;
    } cases[] = {
        // 雷山县 is in no text of the corpus; the school named after it is an
        // organisation with the place among its words.
        {"他曾在雷山县任教。", "雷山县", "ns", MORV_FLAG_PLACE, 0},
        {"他曾在雷山县第一中学任教。", "雷山县第一中学", "nt", MORV_FLAG_ORGANIZATION, 3},
        // The university took that name after 1998.
        {"他毕业于华中科技大学。", "华中科技大学", "nt", MORV_FLAG_ORGANIZATION, 3},
    };
    for (const auto& c : cases) {
        bool found = false;
        for (const morv::Token& t : b.Analyze(c.text)) {
            if (t.word != c.name)
                continue;
            found = true;
            EXPECT_EQ(t.tag, c.tag) << c.name;
            EXPECT_TRUE(t.Has(c.flag)) << c.name;
            EXPECT_EQ(t.parts.size(), c.parts) << c.name;
        }
        EXPECT_TRUE(found) << Items(b, c.text);
        for (const morv::Token& t : a.Analyze(c.text))
            EXPECT_NE(t.word, c.name) << "the classic pipeline knows no such name";
    }
}

// SingleSearch: the new words join the lattice before the one search. It
// keeps what the stages find (unseen words, whole numbers, tokens that cover
// the text) and, without NewWords, changes nothing of the classic pipeline.
TEST_F(NewWordsTest, NoProposedWordHoldsABracketOrASymbol)
{
    // Brackets and symbols of no class of their own are atoms like any
    // character, but never a piece of a new word: each stays a token of its
    // own, tagged w.
    morv::Model extended(on);
    morv::Analyzer b(extended);
    const char* const symbols[] = {"（", "【", "☆", "★", "《"};
    for (const char* text : {"绥【芬河", "走进叽【咕村看看。", "他去了嘎（吱屯。", "☆嘎吱屯☆", "来到吉（乌镇",
                             "看了★嘎吱★演出"}) {
        for (const morv::Token& t : b.Analyze(text)) {
            const std::string word(t.word);
            for (const char* symbol : symbols)
                if (word.find(symbol) != std::string::npos) {
                    EXPECT_EQ(word, symbol) << text;
                    EXPECT_EQ(std::string(t.tag), "w") << text;
                }
        }
    }
}

TEST_F(NewWordsTest, OneSearchKeepsTheNewWordsAndLeavesTheClassicPipeline)
{
    const auto withKey = [](const std::string& dir, const char* value) {
        std::string config = ReadFile(dir + "/Configure.xml");
        const size_t at = config.find("<SingleSearch>");
        if (at != std::string::npos)
            config.erase(at, config.find("</SingleSearch>", at) + 15 - at);
        config.insert(config.rfind("</Configure>"), std::string("<SingleSearch>") + value + "</SingleSearch>\n");
        WriteFile(dir + "/Configure.xml", config);
    };
    const std::string text = ReadFile(kSample);
    ASSERT_FALSE(text.empty());
    std::string classicPage;
    {
        morv::Model m(off);
        morv::Analyzer a(m);
        classicPage = a.AnalyzeHtml(text, morv::Encoding::Gbk, true);
    }
    withKey(off, "on");
    {
        morv::Model m(off);
        morv::Analyzer a(m);
        EXPECT_TRUE(classicPage == std::string(a.AnalyzeHtml(text, morv::Encoding::Gbk, true)));
    }
    const char* const wechat = "\xE6\x88\x91\xE4\xBB\xAC\xE7\x94\xA8\xE5\xBE\xAE\xE4\xBF\xA1\xE4\xBB\x98\xE6\xAC\xBE";
    for (const char* value : {"on", "off"}) {
        withKey(on, value);
        morv::Model m(on);
        morv::Analyzer a(m);
        // 我们用微信付款: 微信 a new word; 气温－5度: the signed number whole.
        EXPECT_EQ(Items(a, wechat), "\xE6\x88\x91\xE4\xBB\xAC \xE7\x94\xA8 [\xE5\xBE\xAE\xE4\xBF\xA1] \xE4\xBB\x98\xE6\xAC\xBE ")
            << value;
        EXPECT_EQ(Items(a, "\xE6\xB0\x94\xE6\xB8\xA9\xEF\xBC\x8D" "5\xE5\xBA\xA6"),
                  "\xE6\xB0\x94\xE6\xB8\xA9 \xEF\xBC\x8D" "5 \xE5\xBA\xA6 ")
            << value;
        // Every line of the sample: the tokens, in order, are the line without its blanks.
        size_t lines = 0;
        for (size_t at = 0; at < text.size() && lines < 40;) {
            size_t end = text.find('\n', at);
            end = end == std::string::npos ? text.size() : end;
            const std::string line = text.substr(at, end - at);
            at = end + 1;
            std::string joined, expected;
            for (const morv::Token& t : a.Analyze(line))
                joined += t.word;
            for (char ch : line)
                if (ch != ' ' && ch != '\r' && ch != '\t')
                    expected += ch;
            ++lines;
            std::string joinedPlain;
            for (char ch : joined)
                if (ch != ' ' && ch != '\r' && ch != '\t')
                    joinedPlain += ch;
            EXPECT_EQ(joinedPlain, expected) << value << " line " << lines;
        }
    }
}

// NewWordStretches: words are proposed only around the characters no
// dictionary word of two characters or more covers (with the context of
// NewWordStretchContext characters each side). 打工人: 打工 and 工人 cover all
// three characters, and no uncovered one lies within two characters of 打, so
// the word the model proposes without stretches is gone with them; 微信: no
// dictionary word covers 微 or 信, so it is proposed either way.
TEST_F(NewWordsTest, StretchesProposeOnlyAroundCharactersNoWordCovers)
{
    const struct {
        const char* text;
        const char* stretches;    // with the key on, context 2
        const char* noStretches;  // with it off
    } cases[] = {
        {"作为打工人的快乐就是周五下午摸鱼。", "作为 打工 人 ", "作为 [打工人] "},
        {"我们用微信付款", "我们 用 [微信] 付款 ", "我们 用 [微信] 付款 "},
    };
    for (const char* value : {"on", "off"}) {
        SetKeys(on, {{"NewWordStretches", value}, {"NewWordStretchContext", "2"}});
        morv::Model m(on);
        morv::Analyzer a(m);
        for (const auto& c : cases) {
            const std::string items = Items(a, c.text);
            const std::string want = std::string(value) == "on" ? c.stretches : c.noStretches;
            EXPECT_EQ(items.substr(0, want.size()), want) << value << ": " << c.text;
        }
    }
    // No context: a stretch is the uncovered characters alone, so 微信 (two
    // of them side by side) is still proposed.
    SetKeys(on, {{"NewWordStretches", "on"}, {"NewWordStretchContext", "0"}});
    morv::Model m(on);
    morv::Analyzer a(m);
    EXPECT_EQ(Items(a, "我们用微信付款"), "我们 用 [微信] 付款 ");
}

// A proposed word pays the new-word penalty wherever it stands: with one no
// labelling can make up, none wins, at the start of a sentence (where the
// begin marker shares the first character's offset) as anywhere else.
TEST_F(NewWordsTest, AnOverwhelmingPenaltyKeepsEveryProposedWordOutAtTheStartToo)
{
    SetKeys(on, {{"NewWordPenalty", "100000"}, {"Supplement", "off"}});
    morv::Model m(on);
    morv::Analyzer a(m);
    for (const char* text : {"打工人的快乐就是周五下午摸鱼。", "新冠疫情发生以来", "美团和饿了么的骑手越来越多。",
                             "大模型的训练需要很多电。"}) {
        const std::string items = Items(a, text);
        EXPECT_EQ(items.find('['), std::string::npos) << items;
    }
}

// NewWordConfidence moves a proposed word's penalty by the character model's
// confidence in it, counted up to NewWordConfidenceCap. With no cap every word
// pays the plain penalty, whatever the weight. With a steep weight and a
// penalty that only a word at the cap pays in full as before, the words the
// model is sure of still come in and its close calls stay out.
TEST_F(NewWordsTest, TheModelsConfidenceMovesAProposedWordsPenalty)
{
    const std::string text = ReadFile(kSample);
    ASSERT_FALSE(text.empty());
    const auto page = [this, &text](const std::vector<std::pair<std::string, std::string>>& keys) {
        SetKeys(on, keys);
        morv::Model m(on);
        morv::Analyzer a(m);
        return std::string(a.AnalyzeHtml(text, morv::Encoding::Gbk, true));
    };
    const std::string flat = page({{"NewWordPenalty", "24"}, {"NewWordConfidence", "0"}});
    EXPECT_TRUE(flat == page({{"NewWordConfidence", "5"}, {"NewWordConfidenceCap", "0"}}));
    EXPECT_FALSE(flat == page({{"NewWordConfidence", "0.3"}, {"NewWordConfidenceCap", "40"}}));

    const struct {
        const char* text;
        const char* flat;     // penalty 24 for every proposed word
        const char* sureOnly; // 24 at a confidence of 10 or more, far more below it
    } cases[] = {
        {"我们用微信付款", "我们 用 [微信] 付款 ", "我们 用 [微信] 付款 "},
        {"作为打工人的快乐就是周五下午摸鱼。", "作为 [打工人] 的 快乐 就 是 周 五 下午 [摸鱼] 。 ",
         "作为 [打工人] 的 快乐 就 是 周 五 下午 [摸鱼] 。 "},
        // A word and its neighbours merged, which the model is sure of (it
        // stays), and a close call of two characters the corpus writes apart
        // (it goes).
        {"网友纷纷留言点赞。", "[网友] 纷纷 [留言点赞] 。 ", "[网友] 纷纷 [留言点赞] 。 "},
        {"他在村口的老槐树下看海棠花开。", "他 在 村口 的 [老槐] 树 下 看 [海棠] 花 开 。 ",
         "他 在 村口 的 老 槐 树 下 看 [海棠] 花 开 。 "},
        {"美团和饿了么的骑手越来越多。", "美 团 和 饿 了 么 的 [骑手] 越来越 多 。 ",
         "美 团 和 饿 了 么 的 [骑手] 越来越 多 。 "},
    };
    SetKeys(on, {{"Supplement", "off"}, {"NewWordStretches", "off"}, {"NewWordPenalty", "24"},
                 {"NewWordConfidence", "0"}});
    std::vector<std::string> flatItems;
    {
        morv::Model m(on);
        morv::Analyzer a(m);
        for (const auto& c : cases)
            flatItems.push_back(Items(a, c.text));
    }
    SetKeys(on, {{"NewWordPenalty", "10024"}, {"NewWordConfidence", "1000"}, {"NewWordConfidenceCap", "10"}});
    morv::Model m(on);
    morv::Analyzer a(m);
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(flatItems[i], cases[i].flat) << cases[i].text;
        EXPECT_EQ(Items(a, cases[i].text), cases[i].sureOnly) << cases[i].text;
    }
}

// NewWordRepeatBonus: a proposed word whose characters occur again in its line
// pays less. With a penalty no labelling makes up and a bonus that brings it
// back to the usual one, only the words written twice in a line come in: in
// another sentence of the line or in the same one, never from another line.
TEST_F(NewWordsTest, AWordWrittenTwiceInItsLinePaysLess)
{
    SetKeys(on, {{"Supplement", "off"}, {"NewWordConfidence", "0"}, {"NewWordPenalty", "100000"},
                 {"NewWordRepeatBonus", "99976"}});
    morv::Model m(on);
    morv::Analyzer a(m);
    const struct {
        const char* text;
        const char* items;
    } cases[] = {
        {"我们用微信付款。", "我们 用 微 信 付款 。 "},
        {"我们用微信付款。微信很方便。", "我们 用 [微信] 付款 。 [微信] 很 方便 。 "},
        // 微 twice, but 微信 once.
        {"微信和微博都是打工人常用的。", "微 信 和 微 博 都 是 打 工人 常用 的 。 "},
        {"我们用微信付款。\n微信很方便。", "我们 用 微 信 付款 。 \n 微 信 很 方便 。 "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Items(a, c.text), c.items) << c.text;
    // A line reads the same after another line as alone.
    EXPECT_EQ(Items(a, "微信很方便。\n我们用微信付款。"), Items(a, "微信很方便。\n") + Items(a, "我们用微信付款。"));
}

TEST_F(NewWordsTest, ALineComesOutTheSameWithOrWithoutItsBreak)
{
    // Lines without a closing punctuation mark, where the break ends the
    // sentence: 挣扎着开放在 (tags), 粒砂 (a name or not), 剑武安远远 (names'
    // bounds), 有家人请无家人 (a cut).
    morv::Model extended(on);
    morv::Analyzer b(extended);
    const auto tagged = [&b](const std::string& text) {
        std::string out;
        for (const morv::Token& t : b.Analyze(text))
            out += std::string(t.word) + "/" + std::string(t.tag) + " ";
        return out;
    };
    for (const char* line : {"挣扎着开放在",
                             "粒砂",
                             "剑武安远远",
                             "有家人请无家人"}) {
        // A sentence of nothing but line breaks has no characters to label.
        for (const char* breaks : {"\n", "\r\n", "\n\n\n"})
            EXPECT_EQ(tagged(std::string(breaks) + line), tagged(breaks) + tagged(line)) << line;
        const std::string plain = tagged(line);
        for (const char* end : {"\n", "\r\n", "\n\n"}) {
            const std::string with = tagged(std::string(line) + end);
            EXPECT_EQ(with.substr(0, plain.size()), plain) << line;
        }
    }
}

TEST_F(NewWordsTest, AFailedLoadNamesTheFirstFileInOrderAndNoOther)
{
    // The new stages' models load beside the core tables; however the two
    // parts finish, the log holds the one line a load in order would write.
    const struct {
        std::vector<const char*> missing;
        const char* named;
    } cases[] = {
        {{"NewWord.cm"}, "NewWord.cm"},
        {{"NewPos.pm", "nt.ctx"}, "nt.ctx"},
        {{"PersonName.nm", "NewWord.big"}, "NewWord.big"},
        {{"NewPos.pm", "nr.fsa"}, "nr.fsa"},
        {{"Supplement.tab", "charset.type"}, "charset.type"},
        {{"NewPos.pm"}, "NewPos.pm"},
    };
    const std::string data = on + "/Data/";
    // The new stages' lexicon with a word of more candidates than the context
    // file has tags: the line names that lexicon, not the classic one.
    const std::string lexicon = ReadFile(data + "NewWord.pos");
    int32_t words = 0;
    std::memcpy(&words, lexicon.data() + 4, 4);
    const int tags = static_cast<unsigned char>(ReadFile(data + "Morv.ctx")[0]) + 1;
    WriteFile(data + "NewWord.pos", LexiconOfEveryTag(tags, words));
    EXPECT_FALSE(EngineInit(on.c_str()));
    EXPECT_EQ(ReadFile(on + "/Morv.log"), "Cannot open file " + data + "NewWord.pos.\n");
    EngineExit();
    WriteFile(data + "NewWord.pos", lexicon);

    for (const auto& c : cases) {
        for (const char* file : c.missing)
            ASSERT_EQ(std::rename((data + file).c_str(), (data + file + ".away").c_str()), 0) << file;
        EXPECT_FALSE(EngineInit(on.c_str())) << c.named;
        EXPECT_EQ(ReadFile(on + "/Morv.log"), "Cannot open file " + data + c.named + ".\n");
        EngineExit();
        CModel model;
        std::string error;
        EXPECT_FALSE(model.Open(on, &error));
        EXPECT_EQ(error.rfind("cannot load " + data + c.named + ":", 0), 0u) << error;
        for (const char* file : c.missing)
            ASSERT_EQ(std::rename((data + file + ".away").c_str(), (data + file).c_str()), 0) << file;
    }
    // Every file back: the model loads again.
    EXPECT_TRUE(EngineInit(on.c_str())) << ReadFile(on + "/Morv.log");
    EngineExit();
}

TEST_F(NewWordsTest, AStartWithTooLittleMemoryFailsWithoutACrash)
{
#ifdef MORV_SANITIZED
    GTEST_SKIP() << "the sanitizers reserve more address space than any limit leaves";
#else
    // Start-up in a child whose address space is capped a little above what it
    // holds. How far the load gets depends on the memory this process left free
    // for the child, so only the outcome's form is fixed: a return (with at most
    // one log line when it fails), never a signal.
    for (long extraMiB : {2L, 8L, 24L, 48L}) {
        std::remove((on + "/Morv.log").c_str());
        const pid_t pid = ::fork();
        if (pid == 0) {
            long kib = 0;
            std::ifstream status("/proc/self/status");
            for (std::string line; std::getline(status, line);)
                if (line.rfind("VmSize:", 0) == 0)
                    kib = std::atol(line.c_str() + 7);
            const rlim_t bytes = rlim_t(kib + extraMiB * 1024) * 1024;
            const rlimit cap{bytes, bytes};
            ::setrlimit(RLIMIT_AS, &cap);
            ::_exit(EngineInit(on.c_str()) ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status)) << extraMiB << " MiB more: ended by signal " << WTERMSIG(status);
        const std::string log = FileExists(on + "/Morv.log") ? ReadFile(on + "/Morv.log") : "";
        if (WEXITSTATUS(status) == 0) {
            EXPECT_LE(std::count(log.begin(), log.end(), '\n'), 1) << log;
        }
    }
#endif
}

} // namespace
