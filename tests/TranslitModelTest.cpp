// The transliteration model: the trainer's statistics on a small corpus, the
// loader's refusals, and the person-name stage with it on the trained models:
// unseen foreign names in sentences come out whole, Chinese names stop before
// function words, names stop at brackets and quotes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "TrainerTestUtil.h"
#include "engine/morv.hpp"
#include "tagging/CTranslitModel.h"
#include "tools/trainer/CorpusReader.h"
#include "tools/trainer/TranslitModelTrainer.h"

namespace {

const std::string kTrained = std::string(MORV_BINARY_DIR) + "/bin/Morv";

// Foreign persons and places, Chinese names and ordinary words.
std::string TinyCorpus()
{
    std::string text;
    for (int i = 0; i < 3; ++i)
        text += "克拉斯诺/nr  说/v  ，/w  马里克斯/nr  和/c  王/nr  小明/nr  在/p  拉斯克诺/ns  开会/v  。/w\n"
                "记者/n  到/v  诺斯拉克/ns  市/n  访问/v  ，/w  斯特拉/nr  表示/v  欢迎/v  。/w\n"
                "我们/r  的/u  工作/n  是/v  建设/v  国家/n  ，/w  北京/ns  的/u  人民/n  很/d  高兴/a  。/w\n"
                "今天/t  的/u  天气/n  很/d  好/a  ，/w  大家/r  都/d  去/v  公园/n  散步/v  了/y  。/w\n"
                "我们/r  要/v  努力/ad  学习/v  文化/n  知识/n  ，/w  提高/v  自己/r  的/u  水平/n  。/w\n"
                "农民/n  在/p  田里/s  劳动/v  ，/w  工人/n  在/p  工厂/n  生产/v  机器/n  和/c  汽车/n  。/w\n";
    return text;
}

int Key(const char* gbk) { return static_cast<unsigned char>(gbk[0]) << 8 | static_cast<unsigned char>(gbk[1]); }

CTranslitModel Trained(const std::string& bytes)
{
    TempDir dir;
    WriteFile(dir.path + "/Translit.tm", bytes);
    CTranslitModel model;
    EXPECT_TRUE(model.Load((dir.path + "/Translit.tm").c_str()));
    return model;
}

TEST(TranslitModelTrainer, LearnsTransliterationCharactersAndPlaces)
{
    TranslitModelTrainer trainer;
    trainer.Train(CorpusParagraphs(TinyCorpus()));
    EXPECT_EQ(trainer.GetReport().personNames, 9);  // 克拉斯诺, 马里克斯, 斯特拉; not 王小明
    EXPECT_EQ(trainer.GetReport().placeNames, 6);   // 拉斯克诺, 诺斯拉克; not 北京
    const std::string bytes = trainer.Bytes();
    const CTranslitModel model = Trained(bytes);
    // GBK: 斯 CBB9, 拉 C0AD, 的 B5C4, 是 CAC7, 王 CDF5, 尔 B6FB, 马 C2ED, 市 CAD0, 说 CBB5.
    const int si = Key("\xCB\xB9"), la = Key("\xC0\xAD"), de = Key("\xB5\xC4"), shi = Key("\xCA\xC7");
    EXPECT_GT(model.Of(si).inName, 100);
    EXPECT_GT(model.Of(la).inName, 100);
    EXPECT_LT(model.Of(de).inName, 0);
    EXPECT_LT(model.Of(shi).inName, 0);
    EXPECT_LT(model.Of(Key("\xCD\xF5")).inName, model.Of(si).inName);
    // 马 only in a person name, 诺 in places more than in persons.
    EXPECT_LT(model.Of(Key("\xC2\xED")).place, 0);
    EXPECT_GT(model.Of(Key("\xC5\xB5")).place, model.Of(Key("\xC2\xED")).place);
    // After a place 市, after a person 说.
    EXPECT_GT(model.Of(Key("\xCA\xD0")).after, 0);
    EXPECT_LT(model.Of(Key("\xCB\xB5")).after, 0);
    // An unseen character says nothing; the same corpus gives the same bytes.
    EXPECT_EQ(model.Of(Key("\xD3\xE3")).inName, 0);
    TranslitModelTrainer again;
    again.Train(CorpusParagraphs(TinyCorpus()));
    EXPECT_EQ(again.Bytes(), bytes);
}

TEST(TranslitModel, RefusesDamagedFilesAndKeepsWhatItHeld)
{
    TranslitModelTrainer trainer;
    trainer.Train(CorpusParagraphs(TinyCorpus()));
    const std::string good = trainer.Bytes();
    ASSERT_GT(good.size(), 16u + 2 * 12u);
    const struct {
        const char* what;
        std::function<std::string(std::string)> damage;
    } cases[] = {
        {"empty", [](std::string) { return std::string(); }},
        {"bad magic", [](std::string s) { s[0] = 'X'; return s; }},
        {"version 2", [](std::string s) { s[4] = 2; return s; }},
        {"reserved field", [](std::string s) { s[12] = 1; return s; }},
        {"count of none", [](std::string s) { std::memset(&s[8], 0, 4); return s; }},
        {"one byte short", [](std::string s) { s.pop_back(); return s; }},
        {"one byte more", [](std::string s) { return s + "x"; }},
        {"keys out of order", [](std::string s) { return WithLe16(s, 16 + 12, 0); }},
        {"no unseen character", [](std::string s) { return WithLe16(s, 16, 1); }},
        {"value out of range", [](std::string s) { return WithLe16(s, 16 + 12 + 2, 1001); }},
        {"negative out of range", [](std::string s) { return WithLe16(s, 16 + 12 + 8, -1001); }},
        {"record reserved", [](std::string s) { return WithLe16(s, 16 + 12 + 10, 7); }},
    };
    TempDir dir;
    const std::string path = dir.path + "/Translit.tm";
    WriteFile(path, good);
    CTranslitModel model;
    ASSERT_TRUE(model.Load(path.c_str()));
    const CTranslitModel::Entry before = model.Of(Key("\xCB\xB9"));
    const int chars = model.GetCharCount();
    for (const auto& c : cases) {
        WriteFile(path, c.damage(good));
        EXPECT_FALSE(model.Load(path.c_str())) << c.what;
        EXPECT_EQ(model.GetCharCount(), chars) << c.what;
        EXPECT_EQ(model.Of(Key("\xCB\xB9")).inName, before.inName) << c.what;
    }
    EXPECT_FALSE(model.Load((dir.path + "/missing.tm").c_str()));
    EXPECT_FALSE(model.Load(nullptr));
}

// The tag the trained models give the token that is exactly `word` in
// `text`, or "(not one token)".
std::string TagOf(morv::Analyzer& analyzer, const std::string& text, const std::string& word)
{
    for (const morv::Token& t : analyzer.Analyze(text))
        if (t.word == word)
            return std::string(t.tag);
    return "(not one token)";
}

std::string Show(morv::Analyzer& analyzer, const std::string& text)
{
    std::string out;
    for (const morv::Token& t : analyzer.Analyze(text))
        out += std::string(t.word) + "/" + std::string(t.tag) + " ";
    return out;
}

class NamesInSentences : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!FileExists(kTrained + "/Data/Translit.tm"))
            GTEST_SKIP() << "no trained models in " << kTrained;
        model.reset(new morv::Model(kTrained));
        analyzer.reset(new morv::Analyzer(*model));
    }
    std::unique_ptr<morv::Model> model;
    std::unique_ptr<morv::Analyzer> analyzer;
};

// Names the training corpus never shows, in sentences of our own.
TEST_F(NamesInSentences, UnseenForeignNamesComeOutWhole)
{
    const struct {
        const char* text;
        const char* name;
        const char* tag;
    } cases[] = {
        {"昨天，菲茨杰拉德教授在会上发言。", "菲茨杰拉德", "nrf"},
        {"斯特凡诺维奇因病住院。", "斯特凡诺维奇", "nrf"},
        {"女选手卡列尼娜却没有出场。", "卡列尼娜", "nrf"},
        {"扎哈罗夫说，会谈很有成效。", "扎哈罗夫", "nrf"},
        {"普拉蒂尼表示，比赛将如期举行。", "普拉蒂尼", "nrf"},
        {"记者在车站见到了克里斯蒂娜和她的丈夫。", "克里斯蒂娜", "nrf"},
        {"贝克汉姆因伤缺阵。", "贝克汉姆", "nrf"},
        {"费德勒赢得了比赛。", "费德勒", "nrf"},
        {"柯林斯表示同意。", "柯林斯", "nrf"},
        // With one search the character model's new word takes it before the
        // name stage; the role automaton still reads it in characters.
        {"金斯利认为不妥。", "金斯利", "nrf"},
        {"金斯利在会上说，改革势在必行。", "金斯利", "nrf"},
        {"记者采访了奥斯特罗夫斯基。", "奥斯特罗夫斯基", "nrf"},
        {"据报道，阿尔伯克基市长说，该市将举办节日活动。", "阿尔伯克基", "ns"},
        // Beside brackets and quotes, which stay outside the name.
        {"（记者莫洛托夫斯基）", "莫洛托夫斯基", "nrf"},
        {"“伊莎贝拉”说她会来。", "伊莎贝拉", "nrf"},
        {"《卡列尼娜》是一本书。", "卡列尼娜", "nrf"},
    };
    for (const auto& c : cases) {
        if (c.tag == nullptr)
            EXPECT_NE(TagOf(*analyzer, c.text, c.name), "(not one token)") << c.text << "\n" << Show(*analyzer, c.text);
        else
            EXPECT_EQ(TagOf(*analyzer, c.text, c.name), c.tag) << c.text << "\n" << Show(*analyzer, c.text);
    }
}

TEST_F(NamesInSentences, ChineseNamesStopBeforeFunctionWordsAndBrackets)
{
    const struct {
        const char* text;
        const char* name;
        const char* next; // the token after the name
    } cases[] = {
        {"李晓红因病缺席。", "李晓红", "因"},
        {"张立新等人出席了会议。", "张立新", "等"},
        {"陈小平的哥哥也来了。", "陈小平", "的"},
        {"王小明却不这么看。", "王小明", "却"},
        {"赵一鸣因工作需要调走了。", "赵一鸣", "因"},
        {"周建华并没有回答。", "周建华", "并"},
        {"吴国栋才离开。", "吴国栋", "才"},
        // A given name is not cut short before a numeral.
        {"郑海涛三次获得冠军。", "郑海涛", "三"},
        {"何志刚一人包揽金牌。", "何志刚", "一"},
        {"（王建国）", "王建国", "）"},
        {"“李晓红”这个名字很常见。", "李晓红", "”"},
    };
    for (const auto& c : cases) {
        const std::vector<morv::Token> tokens = analyzer->Analyze(c.text);
        bool found = false;
        for (size_t i = 0; i + 1 < tokens.size(); ++i)
            if (tokens[i].word == c.name) {
                found = true;
                EXPECT_EQ(tokens[i].tag, "nr") << c.text;
                EXPECT_EQ(tokens[i + 1].word, c.next) << c.text;
            }
        EXPECT_TRUE(found) << c.text << "\n" << Show(*analyzer, c.text);
    }
}

} // namespace
