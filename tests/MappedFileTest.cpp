#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "lexicon/MappedFile.h"
#include "tests/TestUtil.h"

TEST(MappedFile, OpensOnlyReadableRegularFiles)
{
    TempDir dir;
    WriteFile(dir / "empty", "");
    WriteFile(dir / "bytes", std::string("ab\0cd", 5));
    MakeDir(dir / "sub");
    const struct {
        std::string path;
        bool open;
        std::string bytes;
    } cases[] = {
        {dir / "missing", false, ""},
        {dir / "sub", false, ""}, // a directory is no model file
        {"/dev/null", false, ""}, // nor is a device
        {dir / "empty", true, ""},
        {dir / "bytes", true, std::string("ab\0cd", 5)},
    };
    for (const auto& c : cases) {
        MappedFile file(c.path.c_str());
        EXPECT_EQ(file.IsOpen(), c.open) << c.path;
        ASSERT_EQ(file.Size(), c.bytes.size()) << c.path;
        if (!c.bytes.empty())
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.Data()), file.Size()), c.bytes);
        else
            EXPECT_EQ(file.Data(), nullptr) << c.path;
    }
    MappedFile none(nullptr);
    EXPECT_FALSE(none.IsOpen());
}

TEST(MappedFile, KeepsTheBytesOfAFileReplacedByRename)
{
    // Models are replaced by writing a new file and renaming it over the old:
    // a load under way goes on reading the file it opened, whole.
    TempDir dir;
    WriteFile(dir / "model", "old bytes");
    MappedFile file((dir / "model").c_str());
    WriteFile(dir / "model.tmp", "new and longer bytes");
    ASSERT_EQ(std::rename((dir / "model.tmp").c_str(), (dir / "model").c_str()), 0);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.Data()), file.Size()), "old bytes");
}
