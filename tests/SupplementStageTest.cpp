// The supplementary lexicon end to end: the trainer writes it beside the other
// models (or an empty one when the list is missing), the model loads it only
// with the new stages on, and the analyser offers its words to the lattice.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "engine/CAnalyzer.h"
#include "engine/CModel.h"
#include "lexicon/CSupplement.h"
#include "tools/trainer/Trainer.h"

namespace {

const std::string kList = std::string(MORV_SOURCE_DIR) + "/tests/data/supplement-list.txt";

TrainerOptions Options(const std::string& out)
{
    TrainerOptions o;
    o.corpusPath = std::string(MORV_SOURCE_DIR) + "/tests/data/trainer-corpus.txt";
    o.sourceDir = std::string(MORV_SOURCE_DIR) + "/data";
    o.outputDir = out;
    o.quiet = true;
    o.allowBadLines = true;
    o.supplementList = kList;
    return o;
}

// Sets keys of a trained base directory's Configure.xml.
void Configure(const std::string& base, const std::string& keys)
{
    WriteFile(base + "/Configure.xml", WithStageKeys(ReadFile(base + "/Configure.xml"), keys + "\n"));
}

struct Token {
    std::string text;
    std::string tag;
    uint8_t flags;
};

std::vector<Token> Analyse(const CModel& model, const std::string& text)
{
    CAnalyzer analyzer(model);
    std::vector<Token> out;
    analyzer.Analyze(text.c_str(), [&](const CAnalyzer::Sentence& s) {
        for (int i = 1; i + 1 < s.count; ++i) {
            const TokenRecord& t = s.items[i];
            const char* name = model.core.tagSet->GetName(t.tag);
            out.push_back({std::string(s.text + t.start, static_cast<size_t>(t.end - t.start)), name ? name : "?",
                           t.flags});
        }
    });
    return out;
}

// 改革开放和人工智能很重要。
const char kSentence[] = "\xB8\xC4\xB8\xEF\xBF\xAA\xB7\xC5\xBA\xCD\xC8\xCB\xB9\xA4\xD6\xC7\xC4\xDC"
                         "\xBA\xDC\xD6\xD8\xD2\xAA\xA1\xA3";
const char kReform[] = "\xB8\xC4\xB8\xEF\xBF\xAA\xB7\xC5"; // 改革开放
const char kAi[] = "\xC8\xCB\xB9\xA4\xD6\xC7\xC4\xDC";     // 人工智能

class SupplementStageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        base = dir / "m";
        ASSERT_EQ(Trainer(Options(base)).Run(), 0);
    }
    TempDir dir;
    std::string base;
};

TEST_F(SupplementStageTest, ListWordsJoinTheLatticeWithTheirTags)
{
    Configure(base, "<NewWords>on</NewWords>");
    CModel model;
    std::string error;
    ASSERT_TRUE(model.Open(base, &error)) << error;
    ASSERT_TRUE(model.supplement.lexicon);
    EXPECT_EQ(model.supplement.lexicon->GetWordCount(), 4);
    EXPECT_NE(model.Describe().find("Supplement.pdat"), std::string::npos);

    const std::vector<Token> tokens = Analyse(model, kSentence);
    int found = 0;
    for (const Token& t : tokens) {
        if (t.text != kReform && t.text != kAi)
            continue;
        ++found;
        // A supplementary word, never proposed again as a new word, with its list tag.
        EXPECT_EQ(t.flags & (kFlagSupplementWord | kFlagNewWord), kFlagSupplementWord) << t.text;
        EXPECT_EQ(t.tag, t.text == kReform ? "l" : "n");
    }
    EXPECT_EQ(found, 2);
}

TEST_F(SupplementStageTest, TheKeySwitchesTheStageAlone)
{
    // Off, the new stages run without it and the files are not even read.
    Configure(base, "<NewWords>on</NewWords><Supplement>off</Supplement>");
    WriteFile(base + "/Data/Supplement.tab", "damaged");
    CModel model;
    std::string error;
    ASSERT_TRUE(model.Open(base, &error)) << error;
    EXPECT_FALSE(model.supplement.lexicon);
    for (const Token& t : Analyse(model, kSentence))
        EXPECT_FALSE(t.flags & kFlagSupplementWord) << t.text;
}

TEST_F(SupplementStageTest, DamagedFilesStopTheLoadOnlyWhenTheStageIsOn)
{
    const std::string sound = ReadFile(base + "/Data/Supplement.tab");
    const std::string soundTrie = ReadFile(base + "/Data/Supplement.pdat");
    const struct {
        const char* file;
        std::string bytes;
    } cases[] = {
        {"Supplement.tab", ""},
        {"Supplement.tab", sound.substr(0, sound.size() - 1)},
        {"Supplement.pdat", soundTrie.substr(0, soundTrie.size() - 12)},
    };
    for (const auto& c : cases) {
        WriteFile(base + "/Data/Supplement.tab", sound);
        WriteFile(base + "/Data/Supplement.pdat", soundTrie);
        WriteFile(base + "/Data/" + c.file, c.bytes);
        // The classic pipeline never reads them.
        Configure(base, "");
        CModel plain;
        std::string error;
        EXPECT_TRUE(plain.Open(base, &error)) << error;
        EXPECT_FALSE(plain.supplement.lexicon);

        TempDir copy;
        const std::string on = copy / "on";
        ASSERT_EQ(std::system(("cp -r '" + base + "' '" + on + "'").c_str()), 0);
        Configure(on, "<NewWords>on</NewWords>");
        CModel model;
        error.clear();
        EXPECT_FALSE(model.Open(on, &error)) << c.file;
        EXPECT_NE(error.find(std::string("cannot load ") + on + "/Data/" + c.file), std::string::npos) << error;
    }
}

// The supplement's bonus, on the trained models: its words win where the
// dictionary's pieces would otherwise score as well. In 自己是ＢＰ机主人，但又不知道。
// the list's 机主 is taken with the bonus the models come with, and the
// dictionary's 机 主人 without any.
TEST(SupplementBonus, TheTrainedBonusDecidesACut)
{
    const std::string trained = std::string(MORV_BINARY_DIR) + "/bin/Morv";
    if (!FileExists(trained + "/Data/Supplement.pdat"))
        GTEST_SKIP() << "no trained models in " << trained;
    const std::string text = "\xD7\xD4\xBC\xBA\xCA\xC7\xA3\xC2\xA3\xD0\xBB\xFA\xD6\xF7\xC8\xCB\xA3\xAC\xB5\xAB\xD3\xD6"
                             "\xB2\xBB\xD6\xAA\xB5\xC0\xA1\xA3";
    const std::string owner = "\xBB\xFA\xD6\xF7", person = "\xC8\xCB";       // 机主, 人
    const std::string machine = "\xBB\xFA", master = "\xD6\xF7\xC8\xCB";     // 机, 主人
    TempDir dir;
    const std::string base = dir / "Morv";
    MakeDir(base);
    ASSERT_EQ(std::system(("ln -s '" + trained + "/Data' '" + base + "/Data'").c_str()), 0);
    const struct {
        const char* keys;
        bool listWord;
    } cases[] = {{"", true}, {"<SupplementBonus>2</SupplementBonus>", true}, {"<SupplementBonus>0</SupplementBonus>", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys);
        WriteFile(base + "/Configure.xml",
                  WithStageKeys(ReadFile(trained + "/Configure.xml"), std::string("<NewWords>on</NewWords>") + c.keys));
        CModel model;
        std::string error;
        ASSERT_TRUE(model.Open(base, &error)) << error;
        std::string cut;
        const Token* listed = nullptr;
        const std::vector<Token> tokens = Analyse(model, text);
        for (const Token& t : tokens) {
            cut += t.text + " ";
            if (t.text == owner)
                listed = &t;
        }
        if (c.listWord) {
            EXPECT_NE(cut.find(" " + owner + " " + person + " "), std::string::npos) << cut;
            ASSERT_NE(listed, nullptr);
            EXPECT_TRUE(listed->flags & kFlagSupplementWord);
        } else {
            EXPECT_NE(cut.find(" " + machine + " " + master + " "), std::string::npos) << cut;
        }
    }
}

TEST(SupplementTrainer, AMissingListIsAWarningUnlessItWasAskedFor)
{
    TempDir dir;
    TrainerOptions o = Options(dir / "m");
    o.supplementList = dir / "no-such-list.txt";
    Trainer quiet(o);
    ASSERT_EQ(quiet.Run(), 0);
    CSupplement empty;
    ASSERT_TRUE(empty.Load((dir / "m/Data/Supplement.pdat").c_str(), (dir / "m/Data/Supplement.tab").c_str()));
    EXPECT_EQ(empty.GetWordCount(), 0);
    EXPECT_NE(ReadFile(dir / "m/Data/Trained.txt").find("supplementary lexicon: none (cannot open"),
              std::string::npos);

    o.outputDir = dir / "asked";
    o.supplementRequired = true;
    EXPECT_NE(Trainer(o).Run(), 0);
    EXPECT_FALSE(FileExists(dir / "asked/Data/Supplement.pdat"));
    EXPECT_FALSE(FileExists(dir / "asked/Data/CoreDict.pdat")); // the run's batch was dropped whole

    o = Options(dir / "listed");
    Trainer listed(o);
    ASSERT_EQ(listed.Run(), 0);
    EXPECT_EQ(listed.GetReport().supplementWords, 4u);
    EXPECT_EQ(listed.GetReport().supplementEntries, 17u);
    EXPECT_NE(ReadFile(dir / "listed/Data/Trained.txt").find("supplementary lexicon: 4 words of the 17 entries of"),
              std::string::npos);

    // Without the new-word model there are no new stages to use it.
    o = Options(dir / "plain");
    o.newWordModel = false;
    ASSERT_EQ(Trainer(o).Run(), 0);
    EXPECT_FALSE(FileExists(dir / "plain/Data/Supplement.pdat"));
}

} // namespace
