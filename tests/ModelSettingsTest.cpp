#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <sys/stat.h>

#include <unistd.h>

#include "engine/CModel.h"
#include "tests/TestUtil.h"

namespace {

const std::string kTrained = std::string(MORV_BINARY_DIR) + "/bin/Morv";

// A model that has read a Configure.xml holding `keys`.
struct Configured {
    TempDir dir;
    CModel model;
    explicit Configured(const std::string& keys)
    {
        WriteFile(dir / "Configure.xml", "<Configure>\n" + keys + "</Configure>\n");
        EXPECT_TRUE(model.ReadConfig(dir.path));
    }
};

TEST(ModelSettings, EveryKeyReadsAsItsRowSays)
{
    const Configured absent("<Other>1</Other>\n");
    const CModel& d = absent.model;
    EXPECT_EQ(d.dataDir, "Data");
    EXPECT_EQ(d.tagSetFile, "");
    EXPECT_EQ(d.posDelimiter, "\\");
    EXPECT_EQ(d.posMode, 2);
    EXPECT_FALSE(d.newWordsOn);
    EXPECT_TRUE(d.supplement.on);
    EXPECT_TRUE(d.names.veto);
    EXPECT_FLOAT_EQ(d.newWords.margin, 0.5f);
    EXPECT_FLOAT_EQ(d.newWords.margin2, 0.5f);
    EXPECT_FLOAT_EQ(d.names.cutPenalty, 50);

    const Configured set("<DataPath>D2</DataPath><NewWords>ON</NewWords><Log>yes</Log><POS>upper</POS>"
                         "<Supplement>OFF</Supplement><NameVeto>maybe</NameVeto><NewWordMargin>0.7</NewWordMargin>"
                         "<SupplementBonus>-3</SupplementBonus><NameCutPenalty>-1</NameCutPenalty>"
                         "<NewWordWeight>heavy</NewWordWeight><NewWordPenalty>1e7</NewWordPenalty>\n");
    const CModel& m = set.model;
    EXPECT_EQ(m.dataDir, "D2");
    EXPECT_TRUE(m.newWordsOn);          // "on" in any letter case
    EXPECT_FALSE(m.logOn);              // only "on" turns a classic switch on
    EXPECT_EQ(m.posMode, 1);
    EXPECT_FALSE(m.supplement.on);      // "off" in any letter case
    EXPECT_TRUE(m.names.veto);          // anything but "off" leaves it on
    EXPECT_FLOAT_EQ(m.newWords.margin, 0.7f);
    EXPECT_FLOAT_EQ(m.newWords.margin2, 0.7f); // absent: the margin's value
    EXPECT_FLOAT_EQ(m.supplement.bonus, -3);   // the bonus may be negative
    EXPECT_FLOAT_EQ(m.names.cutPenalty, 50);   // a penalty may not: the default stays
    EXPECT_FLOAT_EQ(m.newWords.weight, 0.4f);  // not a number
    EXPECT_FLOAT_EQ(m.newWords.penalty, 24);   // out of range

    // Without a file nothing is read, and every key keeps its default.
    TempDir empty;
    CModel none;
    EXPECT_FALSE(none.ReadConfig(empty.path));
    EXPECT_FLOAT_EQ(none.newWords.margin2, 0.5f);
    EXPECT_EQ(none.dataDir, "Data");

    // A second read starts from the defaults again.
    WriteFile(set.dir / "Configure.xml", "<Configure><NewWordMargin2>0.1</NewWordMargin2></Configure>");
    CModel& again = const_cast<CModel&>(m);
    ASSERT_TRUE(again.ReadConfig(set.dir.path));
    EXPECT_FALSE(again.newWordsOn);
    EXPECT_TRUE(again.supplement.on);
    EXPECT_FLOAT_EQ(again.newWords.margin, 0.5f);
    EXPECT_FLOAT_EQ(again.newWords.margin2, 0.1f);
}

TEST(ModelSettings, CheckSettingKnowsTheKeysAndTheirValues)
{
    const struct {
        const char* key;
        const char* value;
        bool usable;
    } cases[] = {
        {"NewWords", "off", true},      {"NewWords", "ON", true},        {"NewWords", "yes", false},
        {"NewWordMargin", "0.3", true}, {"NewWordMargin", "-1", false},  {"NewWordMargin", "x", false},
        {"SupplementBonus", "-5", true}, {"NameCutPenalty", "2e6", false}, {"DataPath", "Other", true},
        {"NewWord", "on", false},       {"", "on", false},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_EQ(CModel::CheckSetting(c.key, c.value, &why), c.usable) << c.key << "=" << c.value;
        EXPECT_EQ(why.empty(), c.usable) << why;
    }
    // Every row names its field of the kind it reads.
    for (const CModel::SettingRow& row : CModel::Settings()) {
        const bool text = row.kind == CModel::SettingRow::kText, number = row.kind == CModel::SettingRow::kNumber;
        const bool flag = row.kind == CModel::SettingRow::kOnlyOn || row.kind == CModel::SettingRow::kUnlessOff;
        EXPECT_EQ(row.text != nullptr, text) << row.key;
        EXPECT_EQ(row.number != nullptr, number) << row.key;
        EXPECT_EQ(row.flag != nullptr, flag) << row.key;
        EXPECT_EQ(number, row.tuning) << row.key; // the numbers are tuning instruments
    }
}

// The trained models in a directory of their own, with NewWords as given.
std::string Describe(const TempDir& dir, const char* name, const char* newWords)
{
    std::string config = WithStageKeys(ReadFile(kTrained + "/Configure.xml"), newWords);
    const std::string base = dir / name;
    EXPECT_TRUE(LinkModels(kTrained, base, config));
    CModel model;
    std::string error;
    EXPECT_TRUE(model.Open(base, &error)) << error;
    return model.Describe();
}

TEST(ModelSettings, DescriptionNamesTheFilesTheStagesLoaded)
{
    if (!FileExists(kTrained + "/Data/NewWord.cm"))
        GTEST_SKIP() << "no trained models in " << kTrained;
    TempDir dir;
    const std::string on = Describe(dir, "on", "<NewWords>on</NewWords>"), off = Describe(dir, "off", "");
    for (const char* file : {"NewWord.unig ", "NewWord.big ", "NewWord.pos ", "NewWord.cm ", "Supplement.pdat ",
                             "Supplement.tab ", "PersonName.nm ", "nt.fsa ", "NewPos.pm "}) {
        EXPECT_NE(on.find(std::string("  ") + file), std::string::npos) << file << "\n" << on;
        EXPECT_EQ(off.find(std::string("  ") + file), std::string::npos) << file << "\n" << off;
    }
    for (const char* file : {"CoreDict.unig ", "BiWord.big ", "CoreDict.pos "}) {
        EXPECT_EQ(on.find(std::string("  ") + file), std::string::npos) << file;
        EXPECT_NE(off.find(std::string("  ") + file), std::string::npos) << file;
    }
    EXPECT_NE(on.find("NewWords on"), std::string::npos);
    EXPECT_NE(on.find("tuning:          NewWordMargin 0.5,"), std::string::npos) << on;
    // Each file line gives the size of the file of that name in the data
    // directory, and no file is named twice.
    for (const std::string* text : {&on, &off}) {
        std::istringstream lines(*text);
        std::set<std::string> named;
        int files = 0;
        for (std::string line; std::getline(lines, line);) {
            std::istringstream fields(line);
            std::string name, unit;
            long long bytes = -1;
            if (line.rfind("  ", 0) != 0 || !(fields >> name >> bytes >> unit) || unit != "bytes")
                continue;
            ++files;
            EXPECT_TRUE(named.insert(name).second) << name;
            struct stat st {};
            ASSERT_EQ(::stat((kTrained + "/Data/" + name).c_str(), &st), 0) << name;
            EXPECT_EQ(bytes, static_cast<long long>(st.st_size)) << name;
        }
        EXPECT_GE(files, 10) << *text;
    }
}

} // namespace
