// The place-or-person model of transliterated names: what the trainer learns
// on a small corpus, the loader's refusals, the features at the edges of a
// text, and the trained models on foreign places and persons the corpus never
// shows, in sentences of our own.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "TestUtil.h"
#include "TrainerTestUtil.h"
#include "engine/morv.hpp"
#include "tagging/CTranslitKindModel.h"
#include "tools/trainer/CorpusReader.h"
#include "tools/trainer/TranslitKindTrainer.h"
#include "tools/trainer/TranslitModelTrainer.h"

namespace {

const std::string kTrained = std::string(MORV_BINARY_DIR) + "/bin/Morv";

// Foreign places that end in 亚 and follow 在 or 到, written with the
// characters of the foreign persons, who say or state something; Chinese
// words around them.
std::string KindCorpus()
{
    std::string text;
    for (int i = 0; i < 3; ++i)
        text += "代表团/n  在/p  克拉里亚/ns  访问/v  ，/w  克拉斯诺/nr  说/v  欢迎/v  。/w\n"
                "记者/n  到/v  诺斯特亚/ns  采访/v  ，/w  马里克斯/nr  表示/v  同意/v  。/w\n"
                "会议/n  在/p  马克拉亚/ns  举行/v  ，/w  斯特拉诺夫/nr  说/v  很/d  好/a  。/w\n"
                "他们/r  到/v  里德斯亚/ns  参观/v  ，/w  德拉克斯/nr  表示/v  感谢/v  。/w\n"
                "亚马里克/nr  说/v  ：/w  我们/r  的/u  工作/n  是/v  建设/v  国家/n  ，/w  北京/ns  很/d  好/a  。/w\n"
                "今天/t  的/u  天气/n  很/d  好/a  ，/w  大家/r  都/d  去/v  公园/n  散步/v  了/y  。/w\n"
                "农民/n  在/p  田里/s  劳动/v  ，/w  工人/n  在/p  工厂/n  生产/v  机器/n  和/c  汽车/n  。/w\n";
    return text;
}

std::string TrainedBytes(const std::vector<Paragraph>& corpus, TranslitKindTrainer::Report* report = nullptr)
{
    TranslitModelTrainer translit;
    translit.Train(corpus);
    TranslitKindTrainer kind;
    kind.Train(corpus, translit);
    if (report != nullptr)
        *report = kind.GetReport();
    return kind.Bytes();
}

CTranslitKindModel Loaded(const std::string& bytes)
{
    TempDir dir;
    WriteFile(dir.path + "/TranslitKind.tk", bytes);
    CTranslitKindModel model;
    EXPECT_TRUE(model.Load((dir.path + "/TranslitKind.tk").c_str()));
    return model;
}

// The score of the name in brackets: "before[name]after" (UTF-8).
int ScoreOf(const CTranslitKindModel& model, const std::string& marked)
{
    const size_t open = marked.find('['), close = marked.find(']');
    const std::string before = Gbk(marked.substr(0, open)), name = Gbk(marked.substr(open + 1, close - open - 1));
    const std::string text = before + name + Gbk(marked.substr(close + 1));
    return model.Score(text.data(), static_cast<int>(text.size()), static_cast<int>(before.size()),
                       static_cast<int>(before.size() + name.size()));
}

TEST(TranslitKindTrainer, LearnsPlacesAgainstPersonsFromEndingsAndContext)
{
    TranslitKindTrainer::Report report;
    const std::string bytes = TrainedBytes(CorpusParagraphs(KindCorpus()), &report);
    EXPECT_EQ(report.places, 12); // 克拉里亚, 诺斯特亚, 马克拉亚, 里德斯亚; not 北京
    EXPECT_EQ(report.persons, 15);
    const CTranslitKindModel model = Loaded(bytes);
    EXPECT_EQ(model.GetFeatureCount(), report.features);
    // Names the corpus never shows: the ending and the words around them tell.
    const struct {
        const char* marked;
        bool place;
    } cases[] = {
        {"代表团在[斯马德亚]访问", true},
        {"他们到[克马诺亚]参观", true},
        {"[拉斯克诺夫]说欢迎", false},
        {"，[德里马克斯]表示同意", false},
    };
    for (const auto& c : cases) {
        const int score = ScoreOf(model, c.marked);
        EXPECT_EQ(score > 0, c.place) << c.marked << " " << score;
    }
    // A name seen in training weighs by itself as well.
    EXPECT_GT(ScoreOf(model, "[克拉里亚]"), ScoreOf(model, "[克拉斯诺]"));
    EXPECT_EQ(TrainedBytes(CorpusParagraphs(KindCorpus())), bytes);
}

TEST(TranslitKindTrainer, ACorpusWithoutExamplesStillGivesAFileThatSaysPerson)
{
    const std::string bytes = TrainedBytes(CorpusParagraphs("我们/r  的/u  工作/n  很/d  好/a  。/w\n"));
    const CTranslitKindModel model = Loaded(bytes);
    EXPECT_EQ(model.GetFeatureCount(), 1);
    EXPECT_EQ(ScoreOf(model, "在[克拉里亚]访问"), 0);
}

TEST(TranslitKindModel, RefusesDamagedFilesAndKeepsWhatItHeld)
{
    const std::string good = TrainedBytes(CorpusParagraphs(KindCorpus()));
    ASSERT_GT(good.size(), 16u + 2 * 8u);
    const auto swapFirstKeys = [](std::string s) {
        for (size_t i = 0; i < 4; ++i)
            std::swap(s[16 + i], s[24 + i]);
        return s;
    };
    const struct {
        const char* what;
        std::function<std::string(std::string)> damage;
    } cases[] = {
        {"empty", [](std::string) { return std::string(); }},
        {"header only", [](std::string s) { return s.substr(0, 16); }},
        {"bad magic", [](std::string s) { s[0] = 'X'; return s; }},
        {"version 2", [](std::string s) { s[4] = 2; return s; }},
        {"reserved field", [](std::string s) { s[12] = 1; return s; }},
        {"count of none", [](std::string s) { std::memset(&s[8], 0, 4); return s; }},
        {"count beyond the limit", [](std::string s) { s[11] = 0x7F; return s; }},
        {"one byte short", [](std::string s) { s.pop_back(); return s; }},
        {"one record more than counted", [](std::string s) { return s + std::string(8, '\0'); }},
        {"keys out of order", swapFirstKeys},
        {"weight out of range", [](std::string s) { return WithLe16(s, 16 + 4, 1001); }},
        {"negative out of range", [](std::string s) { return WithLe16(s, 16 + 8 + 4, -1001); }},
        {"record reserved", [](std::string s) { return WithLe16(s, 16 + 6, 7); }},
    };
    TempDir dir;
    const std::string path = dir.path + "/TranslitKind.tk";
    WriteFile(path, good);
    CTranslitKindModel model;
    ASSERT_TRUE(model.Load(path.c_str()));
    const int features = model.GetFeatureCount();
    const int score = ScoreOf(model, "在[斯马德亚]访问");
    for (const auto& c : cases) {
        WriteFile(path, c.damage(good));
        EXPECT_FALSE(model.Load(path.c_str())) << c.what;
        EXPECT_EQ(model.GetFeatureCount(), features) << c.what;
        EXPECT_EQ(ScoreOf(model, "在[斯马德亚]访问"), score) << c.what;
    }
    EXPECT_FALSE(model.Load((dir.path + "/missing.tk").c_str()));
    EXPECT_FALSE(model.Load(nullptr));
    EXPECT_FALSE(CTranslitKindModel().IsLoaded());
}

TEST(TranslitKindModel, FeaturesStayInsideTheTextAndItsCharacters)
{
    // GBK 阿 B0A2 尔 B6FB 卡 BFA8; a trail byte (0xA2) that could lead a character.
    const std::string name = "\xB0\xA2\xB6\xFB\xBF\xA8";
    const auto count = [](const std::string& text, int start, int end, CTranslitKindModel::Word previous,
                          CTranslitKindModel::Word next) {
        std::vector<uint32_t> out;
        CTranslitKindModel::Features(text.data(), static_cast<int>(text.size()), start, end, out, previous, next);
        return out.size();
    };
    const CTranslitKindModel::Word none{-1, -1};
    // B W E1-E3 S1 S2 two pairs L: ten features of the name itself.
    const size_t own = 10;
    const struct {
        const char* what;
        std::string text;
        int start, end;
        CTranslitKindModel::Word previous, next;
        size_t features;
    } cases[] = {
        {"alone", name, 0, 6, none, none, own},
        {"an ASCII character before", "a" + name, 1, 7, none, none, own + 1},
        {"two characters after", name + "\xD4\xDA\xB1\xB1", 0, 6, none, none, own + 2},
        {"a lone lead byte after", name + "\xD4", 0, 6, none, none, own + 1},
        {"words beside", "\xD4\xDA" + name + "\xCB\xB5", 2, 8, {0, 2}, {8, 10}, own + 4},
        {"words that overlap the name", "\xD4\xDA" + name + "\xCB\xB5", 2, 8, {0, 4}, {6, 10}, own + 2},
        {"a word beyond the text", name + "\xCB\xB5", 0, 6, none, {6, 40}, own + 1},
        {"an empty span", name, 2, 2, none, none, 0},
        {"a span beyond the text", name, 0, 9, none, none, 0},
        {"a negative start", name, -2, 4, none, none, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(count(c.text, c.start, c.end, c.previous, c.next), c.features) << c.what;
    // The characters before are cut from the text's start: the trail byte DA
    // of 在 (B4DA) could lead a character with the name's first byte.
    std::vector<uint32_t> out;
    const std::string text = "\xB4\xDA" + name;
    CTranslitKindModel::Features(text.data(), static_cast<int>(text.size()), 2, 8, out);
    EXPECT_EQ(out.back(), CTranslitKindModel::Key("P1", "\xB4\xDA", 2));
}

// The trained models with the place-or-person model switched as given.
class TranslitPlacesInSentences : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!FileExists(kTrained + "/Data/TranslitKind.tk"))
            GTEST_SKIP() << "no trained models in " << kTrained;
        const std::string config = ReadFile(kTrained + "/Configure.xml");
        ASSERT_NE(config.find("<TranslitPlaces>on</TranslitPlaces>"), std::string::npos);
        on.reset(new morv::Model(kTrained));
        std::string offConfig = config;
        offConfig.replace(offConfig.find("<TranslitPlaces>on"), 18, "<TranslitPlaces>off");
        ASSERT_TRUE(LinkModels(kTrained, dir.path, offConfig));
        off.reset(new morv::Model(dir.path));
    }
    static std::string TagOf(const morv::Model& model, const std::string& text, const std::string& word)
    {
        morv::Analyzer analyzer(model);
        for (const morv::Token& t : analyzer.Analyze(text))
            if (t.word == word)
                return std::string(t.tag);
        return "(not one token)";
    }
    TempDir dir;
    std::unique_ptr<morv::Model> on, off;
};

TEST_F(TranslitPlacesInSentences, UnseenForeignPlacesAndPersonsTakeTheirKind)
{
    const struct {
        const char* text;
        const char* name;
        const char* tag;
    } cases[] = {
        {"会议在努瓦克肖特举行。", "努瓦克肖特", "ns"},
        {"据新华社瓦加杜古１月５日电，会议今天闭幕。", "瓦加杜古", "ns"},
        {"展览会在卢布尔雅那开幕。", "卢布尔雅那", "ns"},
        {"比赛在维尔纽斯举行。", "维尔纽斯", "ns"},
        {"双方在哈博罗内签署了协议。", "哈博罗内", "ns"},
        {"科瓦尔奇克说，谈判取得了进展。", "科瓦尔奇克", "nrf"},
        {"彼得罗维奇表示，他将继续参加比赛。", "彼得罗维奇", "nrf"},
        {"外长卡拉曼利斯会见了中国客人。", "卡拉曼利斯", "nrf"},
        {"瓦尔德内尔在决赛中获胜。", "瓦尔德内尔", "nrf"},
        {"总统奥卢塞贡会见了代表团。", "奥卢塞贡", "nrf"},
        {"博尔科夫斯基指出，形势依然严峻。", "博尔科夫斯基", "nrf"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TagOf(*on, c.text, c.name), c.tag) << c.text;
    // Off, the transliteration model's place odds alone call the dateline's
    // place a person.
    EXPECT_EQ(TagOf(*off, cases[1].text, cases[1].name), "nrf");
}

} // namespace
