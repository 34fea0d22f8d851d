#include "lexicon/BinaryFile.h"

#include "TestUtil.h"

namespace {

// What a loader that checks a whole file first may be handed.
TEST(BinaryFileTest, ReadAllTakesAWholeFileUpToItsLimitAndNothingElse)
{
    TempDir dir;
    WriteFile(dir / "empty", "");
    WriteFile(dir / "four", "abcd");
    MakeDir(dir / "folder");
    struct Case {
        const char* what;
        std::string path;
        size_t limit;
        bool ok;
        std::string bytes;
    };
    const Case cases[] = {
        {"empty file", dir / "empty", 16, true, ""},
        {"under the limit", dir / "four", 16, true, "abcd"},
        {"at the limit", dir / "four", 4, true, "abcd"},
        {"over the limit", dir / "four", 3, false, ""},
        {"missing", dir / "none", 16, false, ""},
        {"a directory", dir / "folder", 16, false, ""},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> bytes = {'x', 'y'}; // stale content must not survive
        EXPECT_EQ(BinaryFile::ReadAll(c.path.c_str(), c.limit, bytes), c.ok) << c.what;
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.bytes) << c.what;
    }
    std::vector<unsigned char> bytes;
    EXPECT_FALSE(BinaryFile::ReadAll(nullptr, 16, bytes));
}

} // namespace
