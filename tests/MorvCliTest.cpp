// The morv program run as a user runs it: exit codes, messages, encodings and the
// page, on a small hand-made model and, where present, on the trained models.
#include <gtest/gtest.h>

#include "engine/morv.h"

#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/Engine.h"
#include "tests/ModelFixture.h"
#include "tests/TestUtil.h"

namespace {

const std::string kMorv = std::string(MORV_BINARY_DIR) + "/bin/morv";
const std::string kTrained = std::string(MORV_BINARY_DIR) + "/bin/Morv";

struct Result {
    int status;
    std::string out;
    std::string err;
};

// Runs morv with args (already quoted for the shell) on input; MORV_HOME unset.
Result RunMorv(const TempDir& dir, const std::string& args, const std::string& input = "")
{
    WriteFile(dir / "stdin", input);
    const std::string command = "cd '" + dir.path + "' && env -u MORV_HOME '" + kMorv + "' " + args + " < stdin > stdout 2> stderr";
    const int raw = std::system(command.c_str());
    return Result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(dir / "stdout"), ReadFile(dir / "stderr")};
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

TEST(MorvCli, HelpVersionAndBadOptions)
{
    TempDir dir;
    Result r = RunMorv(dir, "--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--format"), std::string::npos);
    r = RunMorv(dir, "--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("morv ") + MORV_VERSION_STRING + "\n");
    r = RunMorv(dir, "-v");
    EXPECT_EQ(r.status, 0);
    r = RunMorv(dir, "--format xml");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("morv: unknown format 'xml'"), std::string::npos) << r.err;
}

TEST(MorvCli, EngineStartFailureNamesTheFileAndWhy)
{
    TempDir dir;
    // No Configure.xml: the message says which base directory was tried.
    Result r = RunMorv(dir, "--base " + Quote(dir / "nowhere"), "x\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(dir / "nowhere/Configure.xml"), std::string::npos) << r.err;

    // A model file missing: the message names it and the reason; no log is written
    // into the model directory, whatever its configuration says.
    ModelFixture model(dir / "base");
    model.Write("BiWord.big");
    r = RunMorv(dir, "--base " + Quote(model.base), "x\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(model.base + "/Data/BiWord.big: No such file or directory"), std::string::npos) << r.err;
    EXPECT_FALSE(FileExists(model.base + "/Morv.log"));

    // A damaged one: named as well.
    model.Write();
    WriteFile(model.base + "/Data/CoreDict.pos", std::string("\xFF\xFF\xFF\x7F\xFF\xFF\xFF\x7F", 8));
    r = RunMorv(dir, "--base " + Quote(model.base), "x\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(model.base + "/Data/CoreDict.pos: the file is damaged"), std::string::npos) << r.err;

    // Where the log could not be created the command works all the same.
    ModelFixture blocked(dir / "blocked");
    blocked.Write();
    MakeDir(blocked.base + "/Morv.log"); // a directory where the log would go
    r = RunMorv(dir, "--base " + Quote(blocked.base), "x\n");
    EXPECT_EQ(r.status, 0) << r.err;
}

// Runs on the small model that the fixture writes.
class MorvCliOnFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        model.Write();
        Result probe = RunMorv(dir, "--base " + Quote(model.base), "a\n");
        // Until every model loader is in place the small model cannot start the engine.
        if (probe.status == 1)
            GTEST_SKIP() << "the engine does not start on the small model: " << probe.err;
        ASSERT_EQ(probe.status, 0) << probe.err;
    }
    Result Morv(const std::string& args, const std::string& input = "")
    {
        return RunMorv(dir, "--base " + Quote(model.base) + " " + args, input);
    }

    TempDir dir;
    ModelFixture model{dir / "base"};
};

TEST_F(MorvCliOnFixture, UnreadableFilesAreReportedAndTheOthersStillRun)
{
    WriteFile(dir / "good.txt", "ab\n");
    MakeDir(dir / "adir");
    Result r = Morv("missing.txt good.txt adir --format seg");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("morv: cannot open missing.txt: No such file or directory"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("morv: cannot open adir: Is a directory"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "ab\n");
}

TEST_F(MorvCliOnFixture, SegIsTheSameForUtf8AndGbk)
{
    // 我们说中国。 / 中国 (GBK and UTF-8), with a CR LF line end in the middle.
    const std::string gbk = "\xCE\xD2\xC3\xC7\xCB\xB5\xD6\xD0\xB9\xFA\xA1\xA3\r\n\xD6\xD0\xB9\xFA\n";
    const std::string utf8 = "\xE6\x88\x91\xE4\xBB\xAC\xE8\xAF\xB4\xE4\xB8\xAD\xE5\x9B\xBD\xE3\x80\x82\r\n"
                             "\xE4\xB8\xAD\xE5\x9B\xBD\n";
    Result fromGbk = Morv("--format seg", gbk);
    Result fromUtf8 = Morv("--format seg", utf8);
    ASSERT_EQ(fromGbk.status, 0) << fromGbk.err;
    ASSERT_EQ(fromUtf8.status, 0) << fromUtf8.err;
    EXPECT_EQ(fromGbk.out, "\xCE\xD2\xC3\xC7 \xCB\xB5 \xD6\xD0\xB9\xFA \xA1\xA3\r\n\xD6\xD0\xB9\xFA\n");
    EXPECT_EQ(fromUtf8.out, "\xE6\x88\x91\xE4\xBB\xAC \xE8\xAF\xB4 \xE4\xB8\xAD\xE5\x9B\xBD \xE3\x80\x82\r\n"
                            "\xE4\xB8\xAD\xE5\x9B\xBD\n");
    // Forcing the wrong way round still gives whole lines, nothing lost.
    Result forced = Morv("--format seg --encoding utf-8", gbk);
    EXPECT_EQ(forced.status, 0);
    EXPECT_EQ(std::count(forced.out.begin(), forced.out.end(), '\n'), 2);
}

TEST_F(MorvCliOnFixture, EncodingIsDecidedAtTheFirstNonAsciiText)
{
    // 200 KB of ASCII before the first Chinese line; then a GBK file after a UTF-8 one.
    std::string ascii;
    for (int i = 0; i < 70000; ++i)
        ascii += "ab\n";
    WriteFile(dir / "late.txt", ascii + "\xE4\xB8\xAD\xE5\x9B\xBD\n");
    WriteFile(dir / "gbk.txt", "\xD6\xD0\xB9\xFA\n");
    // The output keeps the first input's encoding: the GBK file comes out in UTF-8.
    Result r = Morv("--format seg late.txt gbk.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string chinese = "\xE4\xB8\xAD\xE5\x9B\xBD\n";
    EXPECT_TRUE(r.out == ascii + chinese + chinese) << r.out.substr(r.out.size() > 40 ? r.out.size() - 40 : 0);
    // Asked for GBK, both come out in GBK.
    r = Morv("--format seg --output-encoding gbk late.txt gbk.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == ascii + "\xD6\xD0\xB9\xFA\n\xD6\xD0\xB9\xFA\n") << r.out.substr(r.out.size() - 20);
}

TEST_F(MorvCliOnFixture, CharactersGbkLacksKeepTheirPlaceAndNeighbours)
{
    // 中😀国 𠀀 (an extension B character) in UTF-8.
    const std::string grin = "\xF0\x9F\x98\x80";
    const std::string extB = "\xF0\xA0\x80\x80";
    const std::string zhong = "\xE4\xB8\xAD", guo = "\xE5\x9B\xBD";
    const std::string line = zhong + grin + guo + extB + "\n";
    Result r = Morv("--format seg", line);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, zhong + " " + grin + " " + guo + " " + extB + "\n");
    r = Morv("--format json", line);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("{\"word\":\"" + grin + "\",\"tag\":"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"start\":3,\"end\":4}]}"), std::string::npos) << r.out;
    // The page (GBK) shows them as character references.
    r = Morv("--format html", line);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("&#x1F600;"), std::string::npos);
    EXPECT_NE(r.out.find("&#x20000;"), std::string::npos);
    EXPECT_NE(r.out.find("\xD6\xD0"), std::string::npos);
}

TEST_F(MorvCliOnFixture, PageShowsMarkupCharactersLiterally)
{
    Result r = Morv("--format html", "a<b>&c\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const size_t body = r.out.find("<body>");
    ASSERT_NE(body, std::string::npos);
    EXPECT_NE(r.out.find("&lt;"), std::string::npos);
    EXPECT_NE(r.out.find("&gt;"), std::string::npos);
    EXPECT_NE(r.out.find("&amp;"), std::string::npos);
    EXPECT_EQ(r.out.find("<b>", body), r.out.find("<b>\xCD\xBC")) << "only the legend's own <b>";
}

// A lead byte then a markup character, in GBK input (a lone lead byte makes the
// input GBK): the page of the command, on standard output and through --html,
// holds no markup of the input's.
TEST_F(MorvCliOnFixture, PageEscapesMarkupAfterALeadByte)
{
    for (const char markup : {'<', '>', '&', '"', '\''}) {
        const std::string m(1, markup);
        const std::string input = "\xCB\xB5\xB0" + m + "svg/onload=alert(1)" + m + "\n\xB0" + m + "\n";
        SCOPED_TRACE(input);
        WriteFile(dir / "in.txt", input);
        Result r = Morv("--format html in.txt");
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string head = morv_html_head(), tail = morv_html_tail();
        ASSERT_GE(r.out.size(), head.size() + tail.size());
        EXPECT_EQ(ForeignMarkup(r.out.substr(head.size(), r.out.size() - head.size() - tail.size())), "");
        r = Morv("--html page.htm --format seg in.txt");
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string page = ReadFile(dir / "page.htm");
        ASSERT_GE(page.size(), head.size() + tail.size());
        EXPECT_EQ(ForeignMarkup(page.substr(head.size(), page.size() - head.size() - tail.size())), "");
    }
}

TEST_F(MorvCliOnFixture, StreamedPageEqualsTheEnginePageOfTheWholeText)
{
    const std::string text = "\xCE\xD2\xC3\xC7\xCB\xB5\xA1\xA3\xD6\xD0\xB9\xFA\r\n\nab 12\n\xB8\xF6";
    WriteFile(dir / "in.txt", text);
    Result r = Morv("--html page.htm --format text in.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4);
    ASSERT_TRUE(EngineInit(model.base.c_str()));
    ASSERT_TRUE(EngineWriteHtml(text.c_str(), (dir / "engine.htm").c_str()));
    EngineExit();
    EXPECT_EQ(ReadFile(dir / "page.htm"), ReadFile(dir / "engine.htm"));
}

TEST_F(MorvCliOnFixture, JsonIsOneObjectPerLine)
{
    Result r = Morv("--format json", "a\"b\\\n\nab\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3);
    EXPECT_EQ(r.out.rfind("{\"text\":\"a\\\"b\\\\\",\"tokens\":[", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\n{\"text\":\"\",\"tokens\":[]}\n"), std::string::npos) << r.out;
}

TEST_F(MorvCliOnFixture, LongLinesAreCutWithoutLoss)
{
    // A 300 KB line without a line end: pieces of at most 64 KiB, all words kept.
    std::string line;
    for (int i = 0; i < 100000; ++i)
        line += "\xD6\xD0\xB9\xFA\xA1\xA3"; // 中国。
    Result r = Morv("--format seg", line);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string expected;
    for (int i = 0; i < 100000; ++i)
        expected += i == 0 ? "\xD6\xD0\xB9\xFA \xA1\xA3" : " \xD6\xD0\xB9\xFA \xA1\xA3";
    EXPECT_EQ(r.out, expected + "\n");
}

TEST_F(MorvCliOnFixture, UserWordListsAreAddedFirstAndBadListsStopTheRun)
{
    // 说中, 我说 (tag and frequency in either order); nothing is written to the model.
    WriteFile(dir / "words.txt", "\xCB\xB5\xD6\xD0\n\xCE\xD2\xCB\xB5 n 5\n");
    Result r = Morv("--user-dict words.txt --format seg", "\xCB\xB5\xD6\xD0\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "\xCB\xB5\xD6\xD0\n");
    EXPECT_FALSE(FileExists(model.base + "/Data/UserDict.pdat"));
    // A UTF-8 list works the same, and every list given counts.
    WriteFile(dir / "words8.txt", "\xE8\xAF\xB4\xE4\xB8\xAD\n");
    WriteFile(dir / "more8.txt", "\xE6\x88\x91\xE8\xAF\xB4 x7\n");
    r = Morv("--user-dict words8.txt --user-dict more8.txt --format text",
             "\xE8\xAF\xB4\xE4\xB8\xAD\xE6\x88\x91\xE8\xAF\xB4\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 7), "\xE8\xAF\xB4\xE4\xB8\xAD/") << r.out;
    EXPECT_NE(r.out.find("\xE6\x88\x91\xE8\xAF\xB4/x7"), std::string::npos) << r.out;
    // Lists that cannot be used: the reason, status 2, and no output.
    const struct {
        const char* content; // null: no file
        const char* message;
    } bad[] = {
        {nullptr, "cannot read the word list nolist.txt: No such file or directory"},
        {"\xF0\x9F\x98\x80\n", "nolist.txt:1: the word cannot be used: it holds the character U+1F600"},
        {"ab\ncd 3 zz\n", "nolist.txt:2: unknown tag 'zz'"},
        {"ab 1 n x\n", "nolist.txt:1: more than three fields"},
    };
    for (const auto& b : bad) {
        std::remove((dir / "nolist.txt").c_str());
        if (b.content != nullptr)
            WriteFile(dir / "nolist.txt", b.content);
        r = Morv("--user-dict nolist.txt --format seg", "ab\n");
        EXPECT_EQ(r.status, 2) << b.message;
        EXPECT_NE(r.err.find(b.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

// On the trained models, when the build has made them.
TEST(MorvCliTrained, SegSameForBothEncodingsAndPageEscaped)
{
    if (!FileExists(kTrained + "/Configure.xml"))
        GTEST_SKIP() << "no trained models in " << kTrained;
    TempDir dir;
    // A copy, so that this test's log stays its own.
    ASSERT_EQ(std::system(("cp -r '" + kTrained + "' '" + dir.path + "/Morv'").c_str()), 0);
    const std::string base = dir / "Morv";
    const std::string utf8 = "\xE4\xBB\x8A\xE5\xA4\xA9\xE5\xA4\xA9\xE6\xB0\x94\xE5\xBE\x88\xE5\xA5\xBD"
                             "\xEF\xBC\x8C\xE6\x88\x91\xE4\xBB\xAC\xE5\x8E\xBB\xE5\x8C\x97\xE4\xBA\xAC\xE3\x80\x82\n";
    const std::string gbk = "\xBD\xF1\xCC\xEC\xCC\xEC\xC6\xF8\xBA\xDC\xBA\xC3\xA3\xAC\xCE\xD2\xC3\xC7\xC8\xA5"
                            "\xB1\xB1\xBE\xA9\xA1\xA3\n"; // 今天天气很好，我们去北京。
    Result a = RunMorv(dir, "--base " + Quote(base) + " --format seg", utf8);
    Result b = RunMorv(dir, "--base " + Quote(base) + " --format seg", gbk);
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;
    WriteFile(dir / "a.txt", a.out);
    WriteFile(dir / "b.txt", b.out);
    EXPECT_EQ(std::system(("iconv -f GBK -t UTF-8 '" + dir.path + "/b.txt' | cmp -s - '" + dir.path + "/a.txt'").c_str()), 0)
        << a.out;
    Result page = RunMorv(dir, "--base " + Quote(base) + " --format html", "a<b>&c\n");
    ASSERT_EQ(page.status, 0) << page.err;
    EXPECT_NE(page.out.find("&lt;"), std::string::npos);
    EXPECT_NE(page.out.find("&amp;"), std::string::npos);
}

} // namespace
