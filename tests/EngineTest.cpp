#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

#include "engine/Engine.h"
#include "engine/EngineContext.h"
#include "tests/ModelFixture.h"
#include "tests/TestUtil.h"

namespace {

class EngineTest : public ::testing::Test {
protected:
    TempDir dir;
    ModelFixture models{dir.path + "/Morv"};
    std::string Log() const { return ReadFile(models.base + "/Morv.log"); }
    void TearDown() override { EngineExit(); }
};

TEST_F(EngineTest, StartsAndStopsWithCompleteModels)
{
    models.Write();
    ASSERT_TRUE(EngineInit(models.base.c_str()));
    EXPECT_TRUE(TheEngine().initialized);
    EXPECT_TRUE(TheEngine().analyzer && TheEngine().analyzer->IsComplete());
    EXPECT_EQ(TheEngine().idOne, models.Id("\xD2\xBB"));
    EXPECT_EQ(Log(), "");
    EXPECT_TRUE(EngineExit());
    EXPECT_EQ(Log(), "Begin Destroy\nEnd Destroy\n");
    EXPECT_FALSE(TheEngine().initialized);
}

TEST_F(EngineTest, FirstMissingModelFileIsTheOneLogLine)
{
    const char* files[] = {"charset.type", "CoreDict.pdat", "CoreDict.unig", "BiWord.big",
                           "CoreDict.pos", "Morv.ctx",      "tags.txt",      "nr.role",
                           "nr.ctx",       "nr.fsa"};
    for (const char* file : files) {
        TempDir d;
        ModelFixture m(d.path);
        m.Write(file);
        EXPECT_FALSE(EngineInit(m.base.c_str())) << file;
        EXPECT_EQ(ReadFile(m.base + "/Morv.log"),
                  "Cannot open file " + m.base + "/Data/" + file + ".\n");
        EngineExit();
    }
}

TEST_F(EngineTest, ConfigurationDecidesPathsAndLog)
{
    struct Case {
        std::string configure;
        bool logExpected;
        std::string firstPath; // the charset path tried, given a missing model directory
    } cases[] = {
        {"<Log>On</Log><DataPath>Nowhere</DataPath>", true, "/Nowhere/charset.type"},
        {"<Log> on </Log><DataPath>Nowhere</DataPath>", false, ""},
        {"<log>on</log><DataPath>Nowhere</DataPath>", false, ""},
        {"<XLog>off</XLog><Log>on</Log><DataPath>Nowhere</DataPath>", true, "/Nowhere/charset.type"},
        {"<!-- <Log>on</Log> --><DataPath>Nowhere</DataPath>", false, ""},
        {"<Log>on</Log><!-- <DataPath>Nowhere</DataPath> --><DataPath>Else</DataPath>", true, "/Else/charset.type"},
        {"<Log>on</Log><DataPath></DataPath>", true, "//charset.type"},
    };
    for (const Case& c : cases) {
        TempDir d;
        MakeDir(d.path);
        WriteFile(d.path + "/Configure.xml", c.configure);
        EXPECT_FALSE(EngineInit(d.path.c_str())) << c.configure;
        EXPECT_EQ(FileExists(d.path + "/Morv.log"), c.logExpected) << c.configure;
        if (c.logExpected) {
            EXPECT_EQ(ReadFile(d.path + "/Morv.log"), "Cannot open file " + d.path + c.firstPath + ".\n");
        }
        EngineExit();
    }
}

TEST_F(EngineTest, MissingTagSetKeyFailsOnTheDataDirectory)
{
    models.configure = "<Log>on</Log>";
    models.Write();
    EXPECT_FALSE(EngineInit(models.base.c_str()));
    EXPECT_EQ(Log(), "Cannot open file " + models.base + "/Data/.\n");
}

TEST_F(EngineTest, EmptyOrMissingConfigurationFailsSilently)
{
    models.Write();
    WriteFile(models.base + "/Configure.xml", "");
    EXPECT_FALSE(EngineInit(models.base.c_str()));
    EXPECT_FALSE(FileExists(models.base + "/Morv.log"));
    EXPECT_FALSE(EngineInit((dir.path + "/nothing-here").c_str()));
    // A file cut short is no configuration either: its later keys are not taken as absent.
    WriteFile(models.base + "/Configure.xml", "<Configure><Log>on</Log><TagSet>tags.txt</TagSet><DataPa");
    EXPECT_FALSE(EngineInit(models.base.c_str()));
    EXPECT_FALSE(FileExists(models.base + "/Morv.log"));
}

// Start-up empties the log, so it takes only a regular file of its own: a link
// in the log's place (to a file, dangling, to a directory), a FIFO, a directory
// or a second name of another file makes the start fail and leaves what the
// name stands for as it was.
TEST_F(EngineTest, LogIsNeverWrittenThroughAnotherName)
{
    models.Write(); // the log is on
    const std::string log = models.base + "/Morv.log";
    const std::string target = dir.path + "/precious.txt";
    const struct {
        const char* what;
        std::string make;
    } cases[] = {
        {"a link to a file", "ln -s '" + target + "' '" + log + "'"},
        {"a dangling link", "ln -s '" + dir.path + "/made-by-the-log' '" + log + "'"},
        {"a link to a directory", "ln -s '" + dir.path + "' '" + log + "'"},
        {"a FIFO", "mkfifo '" + log + "'"},
        {"a directory", "mkdir '" + log + "'"},
        {"a hard link", "ln '" + target + "' '" + log + "'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(target, "keep me\n");
        ASSERT_EQ(std::system(("rm -rf '" + log + "' && " + c.make).c_str()), 0);
        EXPECT_FALSE(EngineInit(models.base.c_str()));
        EXPECT_EQ(TheEngine().logFile, nullptr);
        EXPECT_EQ(ReadFile(target), "keep me\n");
        EXPECT_FALSE(FileExists(dir.path + "/made-by-the-log"));
        EngineExit();
    }
    // A log of its own is emptied and written.
    ASSERT_EQ(std::system(("rm -rf '" + log + "'").c_str()), 0);
    WriteFile(log, "an old log\n");
    ASSERT_TRUE(EngineInit(models.base.c_str()));
    EngineExit();
    EXPECT_EQ(Log(), "Begin Destroy\nEnd Destroy\n");
}

TEST_F(EngineTest, RequiredSpecialWords)
{
    // Without 未##专 the dictionary counts as damaged; without 一 it does not.
    models.words[8] = "\xCE\xB4##x";
    models.Write();
    EXPECT_FALSE(EngineInit(models.base.c_str()));
    EXPECT_EQ(Log(), "The Core Dictionary has been destroyed!");
    EngineExit();

    TempDir d;
    ModelFixture m(d.path);
    m.words[14] = "x";
    m.Write();
    EXPECT_TRUE(EngineInit(m.base.c_str()));
    EXPECT_EQ(TheEngine().idOne, -1);
}

TEST_F(EngineTest, SecondInitReloadsNothing)
{
    models.Write();
    ASSERT_TRUE(EngineInit(models.base.c_str()));
    const CPDAT* dict = TheEngine().model->core.coreDict.get();
    EXPECT_TRUE(EngineInit((dir.path + "/elsewhere").c_str()));
    EXPECT_EQ(TheEngine().model->core.coreDict.get(), dict);
    EXPECT_EQ(TheEngine().basePath, models.base);
}

TEST_F(EngineTest, NoBasePathMeansWorkingDirectory)
{
    models.Write();
    char old[1000];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(models.base.c_str()), 0);
    const bool ok = EngineInit(nullptr);
    const std::string base = TheEngine().basePath;
    ASSERT_EQ(chdir(old), 0);
    EXPECT_TRUE(ok);
    char real[1000];
    ASSERT_NE(realpath(models.base.c_str(), real), nullptr);
    EXPECT_EQ(base, real);
}

TEST_F(EngineTest, MissingUserDictionaryIsLoggedOnly)
{
    models.configure += "<UserDict>on</UserDict>";
    models.Write();
    EXPECT_TRUE(EngineInit(models.base.c_str()));
    EXPECT_EQ(TheEngine().userDict, nullptr);
    EXPECT_EQ(Log(), "Cannot open user dictionary " + models.base + "/Data/UserDict.dct.\n");
}

TEST_F(EngineTest, RetryAfterFailureStartsAgain)
{
    models.Write("nr.fsa");
    EXPECT_FALSE(EngineInit(models.base.c_str()));
    models.Write();
    EXPECT_TRUE(EngineInit(models.base.c_str()));
    EXPECT_EQ(Log(), ""); // the retry truncated the log of the failed attempt
}

TEST_F(EngineTest, ExitOnNeverInitialisedEngineWritesNothing)
{
    EXPECT_TRUE(EngineExit());
    EXPECT_TRUE(EngineExit());
}

} // namespace
