#include "tools/trainer/SourceDir.h"

#include <gtest/gtest.h>

#include "TestUtil.h"

// An installed trainer must take the sources installed with it, wherever the
// prefix was moved; a build-tree trainer (no installed copy beside it) the
// source tree's.
TEST(SourceDir, PrefersTheInstalledCopyBesideTheProgram)
{
    TempDir dir;
    MakeDir(dir / "bin");
    MakeDir(dir / "share");
    MakeDir(dir / "share/morv");
    MakeDir(dir / "share/morv/train");
    MakeDir(dir / "share/morv/empty");
    MakeDir(dir / "share/morv/dironly");
    MakeDir(dir / "share/morv/dironly/charclasses.txt");
    WriteFile(dir / "share/morv/train/charclasses.txt", "# classes\n");
    const std::string bin = dir / "bin";

    struct Case {
        std::string programDir;
        std::string relative;
        std::string expected;
    } cases[] = {
        {bin, "../share/morv/train", bin + "/../share/morv/train"},
        {bin, "../share/morv/empty", "/src/data"},   // no charclasses.txt there
        {bin, "../share/morv/dironly", "/src/data"}, // a directory of that name is no source
        {bin, "../share/morv/missing", "/src/data"},
        {bin, "", "/src/data"},                        // built without an installed location
        {"", "../share/morv/train", "/src/data"},      // the program's own path is unknown
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChooseSourceDir(c.programDir, c.relative, "/src/data"), c.expected)
            << c.programDir << " + " << c.relative;
}

TEST(SourceDir, ABuildTreeProgramTakesTheSourceTree)
{
    // The test program lives in the build tree, where nothing is installed.
    EXPECT_EQ(DefaultSourceDir("../share/morv/train", "/src/data"), "/src/data");
}
