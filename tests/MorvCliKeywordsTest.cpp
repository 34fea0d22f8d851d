// morv --keywords: each input's keywords, the options that go with it and
// those it refuses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/wait.h>

#include "engine/TextCodec.h"
#include "tools/morv/MorvOptions.h"
#include "tests/TestUtil.h"

namespace {

const std::string kMorv = std::string(MORV_BINARY_DIR) + "/bin/morv";
const std::string kTrained = std::string(MORV_BINARY_DIR) + "/bin/Morv";
const char* const kRareEarths = "稀土是重要的战略资源。我国稀土储量丰富，稀土出口要管好，\n稀土产业要升级。\n";
const char* const kFootball = "足球是世界第一运动。很多人喜欢足球，孩子们在操场上踢足球。足球比赛吸引了大量球迷。\n";

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result RunKeywords(const TempDir& dir, const std::string& args, const std::string& input = "")
{
    WriteFile(dir / "stdin", input);
    const std::string command = "cd '" + dir.path + "' && '" + kMorv + "' -d '" + kTrained + "' " + args +
                                " < stdin > stdout 2> stderr";
    const int raw = std::system(command.c_str());
    return Result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(dir / "stdout"), ReadFile(dir / "stderr")};
}

bool Ready()
{
    return FileExists(kMorv) && FileExists(kTrained + "/Data/Keywords.idf");
}

} // namespace

TEST(MorvKeywords, OptionsParse)
{
    struct Case {
        std::vector<const char*> args;
        bool ok;
        const char* error;
    };
    const Case cases[] = {
        {{"morv", "--keywords", "5"}, true, ""},
        {{"morv", "--keywords=3", "--textrank", "--keyword-tags", "n,ns"}, true, ""},
        {{"morv", "--keywords", "0"}, false, "needs a number"},
        {{"morv", "--keywords", "x"}, false, "needs a number"},
        {{"morv", "--textrank"}, false, "needs '--keywords N'"},
        {{"morv", "--keyword-tags", "n"}, false, "needs '--keywords N'"},
        {{"morv", "--keywords", "5", "--search"}, false, "takes no"},
        {{"morv", "--keywords", "5", "-f", "json"}, false, "takes no"},
        {{"morv", "--keywords", "5", "--html", "x.htm"}, false, "takes no"},
        {{"morv", "--traditional", "on"}, true, ""},
        {{"morv", "--traditional=off", "--keywords", "2"}, true, ""},
        {{"morv", "--traditional", "maybe"}, false, "needs auto, on or off"},
    };
    for (const Case& c : cases) {
        MorvOptions options;
        const auto action = options.Parse(static_cast<int>(c.args.size()), c.args.data());
        EXPECT_EQ(action == MorvOptions::Action::Run, c.ok) << c.args[1] << " " << options.error;
        EXPECT_NE(options.error.find(c.error), std::string::npos) << options.error;
    }
}

TEST(MorvKeywords, ListsEachInputsKeywords)
{
    if (!Ready())
        GTEST_SKIP() << "no command or models";
    TempDir dir;
    // Standard input whole, line breaks and all.
    Result r = RunKeywords(dir, "--keywords 2", kRareEarths);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.out.find("稀土\tn\t"), 0u) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);
    // Several files: each under its name; TextRank's first has weight 1.
    WriteFile(dir / "a.txt", kRareEarths);
    WriteFile(dir / "b.txt", kFootball);
    r = RunKeywords(dir, "--keywords 1 --textrank a.txt b.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "# a.txt\n稀土\tn\t1.000000\n# b.txt\n足球\tn\t1.000000\n");
    // Tags; a GBK file, answered in GBK or in the encoding asked for.
    r = RunKeywords(dir, "--keywords 3 --keyword-tags v a.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("稀土"), std::string::npos) << r.out;
    std::string gbk;
    TextCodec::Instance().AppendUtf8AsGbk(gbk, kFootball, std::strlen(kFootball));
    WriteFile(dir / "gbk.txt", gbk);
    r = RunKeywords(dir, "--keywords 1 gbk.txt");
    std::string word;
    TextCodec::Instance().AppendUtf8AsGbk(word, "足球\t", std::strlen("足球\t"));
    EXPECT_EQ(r.out.find(word), 0u);
    r = RunKeywords(dir, "--keywords 1 --output-encoding utf-8 gbk.txt");
    EXPECT_EQ(r.out.find("足球\tn\t"), 0u) << r.out;
    // -o replaces the file once complete.
    r = RunKeywords(dir, "--keywords 1 -o out.txt a.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "out.txt").find("稀土\t"), 0u);
    // Traditional text: its own characters, the simplified forms' weights.
    WriteFile(dir / "t.txt", "稀土是重要的戰略資源。我國稀土儲量豐富，稀土出口要管好。\n");
    r = RunKeywords(dir, "--keywords 2 t.txt");
    EXPECT_EQ(r.out.find("稀土\tn\t"), 0u) << r.out;
    EXPECT_NE(r.out.find("\n儲量\tn\t"), std::string::npos) << r.out;
    r = RunKeywords(dir, "--traditional on", "我們在大學學習。\n");
    EXPECT_EQ(r.out, "我們/r  在/p  大學/n  學習/v  。/w\n") << r.err;
    r = RunKeywords(dir, "--traditional off", "我們\n");
    EXPECT_EQ(r.out.find("我/r  們/"), 0u) << r.out;
    // A missing input: status 2, the others still listed.
    r = RunKeywords(dir, "--keywords 1 missing.txt a.txt");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("missing.txt"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("# a.txt\n稀土"), std::string::npos) << r.out;
}
