// Keys of Configure.xml set by a program for one model (morv_model_open_with,
// the command's --set): applied over the file in their order, checked before
// anything loads, and never written back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "engine/morv.h"
#include "engine/morv.hpp"
#include "tests/TestUtil.h"

namespace {

const std::string kTrained = std::string(MORV_BINARY_DIR) + "/bin/Morv";
const std::string kClassic = std::string(MORV_BINARY_DIR) + "/models-classic";
const std::string kMorv = std::string(MORV_BINARY_DIR) + "/bin/morv";

// Sentences whose analysis the new stages change (an organisation, a new
// word, names), so that a setting that did not take would show.
const std::vector<std::string> kTexts = {
    "中国农业发展银行的行长王小明昨天访问了阿尔伯克基。",
    "很多网友来留言点赞，邛崃、大邑、双流三县的代表出席了会议。",
    "台湾当局的做法遭到了普京和叶利钦的批评。",
};

std::string Tagged(morv::Analyzer& analyzer)
{
    std::string out;
    for (const std::string& text : kTexts)
        for (const morv::Token& t : analyzer.Analyze(text))
            out += std::string(t.word) + "/" + std::string(t.tag) + " ";
    return out;
}

std::string TaggedWith(const std::string& dir, const std::vector<std::string>& settings)
{
    morv::Model model(dir, settings);
    morv::Analyzer analyzer(model);
    return Tagged(analyzer);
}

std::string TaggedBy(const std::string& dir)
{
    morv::Model model(dir);
    morv::Analyzer analyzer(model);
    return Tagged(analyzer);
}

class SetForOneModel : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!FileExists(kTrained + "/Configure.xml") || !FileExists(kClassic + "/Configure.xml"))
            GTEST_SKIP() << "no trained models in " << kTrained;
    }
};

TEST_F(SetForOneModel, OneSettingGivesTheClassicPipelineAndTheFileStays)
{
    const std::string configure = ReadFile(kTrained + "/Configure.xml");
    const std::string trained = TaggedBy(kTrained);
    const std::string classic = TaggedBy(kClassic);
    ASSERT_NE(trained, classic); // else the texts prove nothing
    EXPECT_EQ(TaggedWith(kTrained, {"NewWords=off"}), classic);
    EXPECT_EQ(TaggedWith(kClassic, {"NewWords=on"}), trained);
    // In their order: the last word on a key is the one that holds.
    EXPECT_EQ(TaggedWith(kTrained, {"NewWords=off", "NewWords=on"}), trained);
    EXPECT_EQ(TaggedWith(kTrained, {}), trained);
    EXPECT_EQ(ReadFile(kTrained + "/Configure.xml"), configure);
}

// Without the name model, the names are guarded before the new words join
// the lattice (two searches): after one search a proposed 泽民 or 小明 would
// keep the surname from its given name, with nothing left to read the name
// across it.
TEST_F(SetForOneModel, WithoutTheNameModelNewWordsDoNotCutNames)
{
    morv::Model model(kTrained, {"NameModel=off"});
    morv::Analyzer analyzer(model);
    std::string tagged;
    for (const morv::Token& t : analyzer.Analyze("江泽民主席昨天会见了王小明和李鹏。"))
        tagged += std::string(t.word) + "/" + std::string(t.tag) + " ";
    for (const char* name : {"江泽民/nr ", "王小明/nr ", "李鹏/nr "})
        EXPECT_NE(tagged.find(name), std::string::npos) << name << " in " << tagged;
}

TEST_F(SetForOneModel, RefusedSettingsSayWhichAndWhy)
{
    struct Case {
        std::vector<const char*> settings;
        const char* message;
    };
    const Case cases[] = {
        {{"NewWordz=on"}, "setting NewWordz=on: no such key"},
        {{"NewWords=maybe"}, "setting NewWords=maybe: neither on nor off"},
        {{"NewWordPenalty=-3"}, "setting NewWordPenalty=-3: not a number of at least 0 and below 1000000"},
        {{"NewWordPenalty=much"}, "setting NewWordPenalty=much: not a number of at least 0 and below 1000000"},
        {{"NewWords"}, "setting \"NewWords\": not KEY=VALUE"},
        {{"=on"}, "setting \"=on\": not KEY=VALUE"},
        // One bad setting among good ones refuses the whole open.
        {{"NewWords=off", "Translit=of"}, "setting Translit=of: neither on nor off"},
        {{nullptr}, "setting \"(null)\": not KEY=VALUE"},
    };
    for (const Case& c : cases) {
        morv_model* model = reinterpret_cast<morv_model*>(1);
        EXPECT_EQ(morv_model_open_with(kTrained.c_str(), c.settings.data(), c.settings.size(), &model),
                  MORV_E_ARGUMENT)
            << c.message;
        EXPECT_EQ(model, nullptr) << c.message;
        EXPECT_EQ(std::string(morv_last_error()), c.message);
    }
    morv_model* model = nullptr;
    EXPECT_EQ(morv_model_open_with(kTrained.c_str(), nullptr, 1, &model), MORV_E_ARGUMENT);
    // No settings at all is a plain open.
    ASSERT_EQ(morv_model_open_with(kTrained.c_str(), nullptr, 0, &model), MORV_OK);
    morv_model_free(model);
    // A sound setting on a directory without models is the model's failure.
    const char* off[] = {"NewWords=off"};
    EXPECT_EQ(morv_model_open_with("/nonexistent/models", off, 1, &model), MORV_E_MODEL);
}

TEST_F(SetForOneModel, AKeyThatFollowsAnotherFollowsItsNewValueAndTheModelSaysWhatWasSet)
{
    // The trained file leaves NewWordMargin2 out: it takes NewWordMargin's value.
    ASSERT_EQ(ReadFile(kTrained + "/Configure.xml").find("NewWordMargin2"), std::string::npos);
    morv::Model model(kTrained, {"NewWordMargin=0.7", "NewWordPenalty=12"});
    const std::string described = model.Describe();
    EXPECT_NE(described.find("NewWordMargin 0.7, NewWordMargin2 0.7,"), std::string::npos) << described;
    EXPECT_NE(described.find("NewWordPenalty 12,"), std::string::npos) << described;
    EXPECT_NE(described.find("set for it:      NewWordMargin=0.7, NewWordPenalty=12 (over Configure.xml"),
              std::string::npos)
        << described;
    EXPECT_EQ(morv::Model(kTrained).Describe().find("set for it:"), std::string::npos);
}

TEST_F(SetForOneModel, TheCommandTakesSetAndABadOneIsAWrongOption)
{
    TempDir dir;
    std::string input;
    for (const std::string& text : kTexts)
        input += text + "\n";
    WriteFile(dir / "in.txt", input);
    const auto run = [&](const std::string& args, std::string* err = nullptr) {
        const std::string command = "cd '" + dir.path + "' && '" + kMorv + "' " + args +
                                    " in.txt > out.txt 2> err.txt";
        const int raw = std::system(command.c_str());
        if (err != nullptr)
            *err = ReadFile(dir / "err.txt");
        return std::make_pair(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(dir / "out.txt"));
    };
    const auto classic = run("--base '" + kClassic + "'");
    ASSERT_EQ(classic.first, 0);
    EXPECT_EQ(run("--base '" + kTrained + "' --set NewWords=off"), classic);
    EXPECT_NE(run("--base '" + kTrained + "'").second, classic.second);
    std::string err;
    EXPECT_EQ(run("--base '" + kTrained + "' --set NewWordz=off", &err).first, 2);
    EXPECT_NE(err.find("NewWordz=off: no such key"), std::string::npos) << err;
    EXPECT_EQ(run("--base '" + kTrained + "' --set NewWords", &err).first, 2);
    EXPECT_NE(err.find("option '--set' needs KEY=VALUE, not 'NewWords'"), std::string::npos) << err;
    // A model that cannot be opened stays the model's failure, with or without settings.
    EXPECT_EQ(run("--base '" + dir.path + "/none' --set NewWords=off", &err).first, 1);
}

} // namespace
