// Writes that fail part-way (a full disk, a file size limit, a device that takes
// nothing) are failures, and they lose nothing: the page and the user dictionary
// keep what they held.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

#include "engine/Engine.h"
#include "engine/EngineContext.h"
#include "tests/ModelFixture.h"
#include "tests/TestUtil.h"

namespace {

// Limits the size of every file this process writes while it lives: a write
// beyond it fails with EFBIG, as on a full disk (SIGXFSZ ignored meanwhile).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
    }

private:
    rlimit saved {};
    void (*previous)(int) = SIG_DFL;
};

class WriteFailureTest : public ::testing::Test {
protected:
    TempDir dir;
    ModelFixture models{dir.path + "/Morv"};
    void SetUp() override
    {
        models.Write();
        ASSERT_TRUE(EngineInit(models.base.c_str()));
    }
    void TearDown() override { EngineExit(); }
};

TEST_F(WriteFailureTest, APageThatCannotBeWrittenWholeIsAFailureAndLeavesTheOldOne)
{
    const std::string page = dir / "result.htm";
    ASSERT_TRUE(EngineWriteHtml("\xCB\xB5", page.c_str()));
    const std::string before = ReadFile(page);
    std::string longText;
    for (int i = 0; i < 20000; ++i)
        longText += "\xCE\xD2\xC3\xC7\xCB\xB5";
    {
        FileSizeLimit limit(64 * 1024);
        EXPECT_FALSE(EngineWriteHtml(longText.c_str(), page.c_str()));
    }
    EXPECT_EQ(ReadFile(page), before);
    // No temporary file is left beside it.
    EXPECT_EQ(std::system(("test $(ls -A '" + dir.path + "' | wc -l) -eq 2").c_str()), 0);
    // A device that takes nothing.
    EXPECT_FALSE(EngineWriteHtml("\xCB\xB5", "/dev/full"));
    // And a page that fits is written again.
    EXPECT_TRUE(EngineWriteHtml(longText.c_str(), page.c_str()));
    EXPECT_GT(ReadFile(page).size(), before.size());
}

TEST_F(WriteFailureTest, AUserDictionaryThatCannotBeSavedWholeKeepsTheOneInUse)
{
    const std::string list = dir / "list.txt";
    WriteFile(list, "\xCB\xB5\xBB\xB0\n"); // 说话
    ASSERT_EQ(EngineImportUserDict(list.c_str()), 1);
    const std::string target = models.base + "/Data/UserDict.pdat";
    const std::string saved = ReadFile(target);
    const CPDAT* inUse = TheEngine().userDict.get();
    WriteFile(list, "\xBB\xB0\xCB\xB5\n");
    {
        FileSizeLimit limit(100 * 1024); // the dictionary's code table alone is 256 KiB
        EXPECT_EQ(EngineImportUserDict(list.c_str()), 0);
    }
    EXPECT_EQ(ReadFile(target), saved);
    EXPECT_EQ(TheEngine().userDict.get(), inUse);
    // Lists that are no regular readable file change nothing either.
    for (const char* bad : {"/dev/null", "/nonexistent/list.txt"}) {
        EXPECT_EQ(EngineImportUserDict(bad), 0) << bad;
        EXPECT_EQ(TheEngine().userDict.get(), inUse) << bad;
        EXPECT_EQ(ReadFile(target), saved) << bad;
    }
    EXPECT_EQ(EngineImportUserDict(dir.path.c_str()), 0);
    EXPECT_EQ(ReadFile(target), saved);
}

} // namespace
