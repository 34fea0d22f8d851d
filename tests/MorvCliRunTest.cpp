// The morv program on many cores, as a co-process, with its output options, and
// refusing to write over its inputs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "engine/morv.h"
#include "tests/ModelFixture.h"
#include "tools/morv/MorvApp.h"
#include "tools/morv/MorvOptions.h"
#include "tests/TestUtil.h"

namespace {

const std::string kMorv = std::string(MORV_BINARY_DIR) + "/bin/morv";
const std::string kTrained = std::string(MORV_BINARY_DIR) + "/bin/Morv";
// The same models with the new stages off.
const std::string kClassic = std::string(MORV_BINARY_DIR) + "/models-classic";
const std::string kCorpus = std::string(MORV_BINARY_DIR) + "/data/pd199801.txt";

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result RunMorv(const TempDir& dir, const std::string& args, const std::string& input = "")
{
    WriteFile(dir / "stdin", input);
    const std::string command =
        "cd '" + dir.path + "' && env -u MORV_HOME '" + kMorv + "' " + args + " < stdin > stdout 2> stderr";
    const int raw = std::system(command.c_str());
    return Result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(dir / "stdout"), ReadFile(dir / "stderr")};
}

// The raw text of corpus lines (UTF-8), one per line, `count` of them.
std::string CorpusText(size_t count)
{
    const std::string corpus = ReadFile(kCorpus);
    std::string text;
    size_t lines = 0;
    for (size_t at = 0; at < corpus.size() && lines < count;) {
        size_t end = corpus.find('\n', at);
        if (end == std::string::npos)
            end = corpus.size();
        const std::string line = corpus.substr(at, end - at);
        at = end + 1;
        std::string plain;
        size_t i = line.find(' '); // after the paragraph id
        while (i != std::string::npos && i < line.size()) {
            while (i < line.size() && line[i] == ' ')
                ++i;
            size_t j = line.find(' ', i);
            if (j == std::string::npos)
                j = line.size();
            std::string item = line.substr(i, j - i);
            if (!item.empty() && item[0] == '[')
                item.erase(0, 1);
            plain += item.substr(0, item.rfind('/'));
            i = j;
        }
        if (!plain.empty()) {
            text += plain + "\n";
            ++lines;
        }
    }
    return text;
}

class MorvCliTrainedRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!FileExists(kTrained + "/Configure.xml") || !FileExists(kCorpus))
            GTEST_SKIP() << "no trained models in " << kTrained;
    }
    Result Morv(const std::string& args, const std::string& input = "")
    {
        return RunMorv(dir, "-d '" + kTrained + "' " + args, input);
    }
    TempDir dir;
};

TEST_F(MorvCliTrainedRun, ManyJobsGiveTheOutputOfOne)
{
    // Lines and a line long enough to be cut into pieces; the command end to end.
    const int lines = 400, pieces = 150;
    std::string text = CorpusText(lines);
    const std::string piece = CorpusText(3).substr(0, 600);
    std::string longLine;
    for (int i = 0; i < pieces; ++i)
        longLine += piece;
    for (char& c : longLine)
        if (c == '\n')
            c = ' ';
    text += longLine + "\n";
    WriteFile(dir / "in.txt", text);
    for (const char* format : {"text", "html"}) {
        const Result one = Morv(std::string("-j 1 -f ") + format + " in.txt");
        const Result two = Morv(std::string("--jobs=2 -f ") + format + " in.txt in.txt");
        ASSERT_EQ(one.status, 0) << one.err;
        ASSERT_EQ(two.status, 0) << two.err;
        if (std::string(format) == "text") {
            EXPECT_TRUE(one.out + one.out == two.out);
        } else {
            EXPECT_EQ(two.out.size(), 2 * one.out.size() - std::string(morv_html_head()).size() -
                                          std::string(morv_html_tail()).size());
        }
    }
}

// Many small blocks in flight on more threads than cores, in the command's own
// process: the output is that of one thread, in every format.
TEST_F(MorvCliTrainedRun, ManySmallBlocksOnManyThreadsKeepTheirOrder)
{
    WriteFile(dir / "in.txt", CorpusText(300));
    for (OutputFormat format : {OutputFormat::Text, OutputFormat::Json, OutputFormat::Compact, OutputFormat::Html}) {
        std::string outputs[2];
        for (int k = 0; k < 2; ++k) {
            MorvOptions options;
            options.baseDir = kTrained;
            options.format = format;
            options.jobs = k == 0 ? 1 : 3;
            options.files = {dir / "in.txt", dir / "in.txt"};
            char* data = nullptr;
            size_t size = 0;
            std::FILE* out = open_memstream(&data, &size);
            std::FILE* err = std::tmpfile();
            {
                MorvApp app(out, err);
                app.SetBlockLimits(2048, 7);
                EXPECT_EQ(app.Run(options), 0);
            }
            std::fclose(out);
            std::fclose(err);
            outputs[k].assign(data, size);
            std::free(data);
        }
        EXPECT_FALSE(outputs[0].empty());
        EXPECT_TRUE(outputs[0] == outputs[1]) << static_cast<int>(format);
    }
}

// A program that keeps morv running, writes a line and waits for its answer.
class CoProcess {
public:
    explicit CoProcess(const std::vector<std::string>& args)
    {
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0)
            return;
        pid = ::fork();
        if (pid == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::close(in[1]);
            ::close(out[0]);
            std::vector<char*> argv;
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        toChild = in[1];
        fromChild = out[0];
    }
    ~CoProcess()
    {
        if (toChild >= 0)
            ::close(toChild);
        if (fromChild >= 0)
            ::close(fromChild);
        if (pid > 0) {
            int status;
            if (::waitpid(pid, &status, WNOHANG) == 0) {
                ::kill(pid, SIGTERM);
                ::waitpid(pid, &status, 0);
            }
        }
    }
    bool Write(const std::string& line) { return ::write(toChild, line.data(), line.size()) == ssize_t(line.size()); }
    // Reads one answer line; empty when none comes within the time.
    std::string ReadLine(std::chrono::milliseconds limit)
    {
        const auto until = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const size_t lf = pending.find('\n');
            if (lf != std::string::npos) {
                std::string line = pending.substr(0, lf + 1);
                pending.erase(0, lf + 1);
                return line;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return "";
            pollfd p{fromChild, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char buf[4096];
            const ssize_t got = ::read(fromChild, buf, sizeof buf);
            if (got <= 0)
                return "";
            pending.append(buf, static_cast<size_t>(got));
        }
    }

private:
    pid_t pid = -1;
    int toChild = -1;
    int fromChild = -1;
    std::string pending;
};

TEST_F(MorvCliTrainedRun, TooLittleMemoryIsAClearFailureNotACrash)
{
#ifdef MORV_SANITIZED
    GTEST_SKIP() << "the sanitizers reserve more address space than any limit leaves";
#else
    // A fresh process under an address-space cap: below what the models take,
    // the start fails with the command's message (whichever model, on whichever
    // of the load's threads, ran out); with room enough it analyses.
    const struct {
        const std::string& base;
        long mib;
        bool starts;
    } cases[] = {
        {kTrained, 16, false}, {kTrained, 32, false}, {kTrained, 48, false},
        {kClassic, 16, false}, {kClassic, 24, false}, {kTrained, 1024, true},
        {kClassic, 1024, true},
    };
    for (const auto& c : cases) {
        WriteFile(dir / "stdin", "\xE4\xB8\xAD\xE5\x9B\xBD\xE4\xBA\xBA\xE6\xB0\x91\n");
        const std::string command = "cd '" + dir.path + "' && ulimit -v " + std::to_string(c.mib * 1024) +
                                    " && exec '" + kMorv + "' -d '" + c.base + "' < stdin > stdout 2> stderr";
        const int raw = std::system(command.c_str());
        const std::string what = c.base + " in " + std::to_string(c.mib) + " MiB";
        ASSERT_TRUE(WIFEXITED(raw)) << what << ": " << ReadFile(dir / "stderr");
        const std::string err = ReadFile(dir / "stderr");
        if (c.starts) {
            EXPECT_EQ(WEXITSTATUS(raw), 0) << what << ": " << err;
            EXPECT_FALSE(ReadFile(dir / "stdout").empty()) << what;
        } else {
            EXPECT_EQ(WEXITSTATUS(raw), 1) << what;
            EXPECT_EQ(err.rfind("morv: cannot start the engine: ", 0), 0u) << what << ": " << err;
            // Never blamed on a file: a model that could not be mapped is as
            // much a want of memory as one that could not be allocated.
            EXPECT_NE(err.find("out of memory"), std::string::npos) << what << ": " << err;
        }
    }
#endif
}

TEST_F(MorvCliTrainedRun, APipeIsAnsweredLineByLine)
{
    CoProcess morv({kMorv, "-d", kClassic});
    // The first answer also waits for the model to load.
    ASSERT_TRUE(morv.Write("\xE4\xBB\x96\xE5\x9C\xA8\xE5\x8C\x97\xE4\xBA\xAC\xE5\xB7\xA5\xE4\xBD\x9C\n")); // 他在北京工作
    EXPECT_EQ(morv.ReadLine(std::chrono::seconds(30)),
              "\xE4\xBB\x96/r  \xE5\x9C\xA8/p  \xE5\x8C\x97\xE4\xBA\xAC/ns  \xE5\xB7\xA5\xE4\xBD\x9C/vn\n");
    // The next one comes at once, without more input and with stdin still open;
    // this line is GBK: a pipe decides the encoding line by line.
    ASSERT_TRUE(morv.Write("\xB1\xB1\xBE\xA9\n")); // 北京
    EXPECT_EQ(morv.ReadLine(std::chrono::seconds(1)), "\xE5\x8C\x97\xE4\xBA\xAC/ns\n");
    ASSERT_TRUE(morv.Write("abc\n"));
    EXPECT_EQ(morv.ReadLine(std::chrono::seconds(1)), "abc/nz\n");
}

TEST_F(MorvCliTrainedRun, OutputFormatsAndEncodings)
{
    const std::string line = "\xE6\xB1\x9F\xE6\xB3\xBD\xE6\xB0\x91\xE8\xAF\xB4\n"; // 江泽民说
    struct Case {
        const char* args;
        std::string out;
    } cases[] = {
        {"-f words", "\xE6\xB1\x9F\xE6\xB3\xBD\xE6\xB0\x91 \xE8\xAF\xB4\n"},
        {"-f seg", "\xE6\xB1\x9F \xE6\xB3\xBD\xE6\xB0\x91 \xE8\xAF\xB4\n"},
        {"-f compact", "\xE6\xB1\x9F\xE6\xB3\xBD\xE6\xB0\x91\tnr\t0\t3\n\xE8\xAF\xB4\tv\t3\t4\n\n"},
        {"--output-encoding gbk", "\xBD\xAD\xD4\xF3\xC3\xF1/nr  \xCB\xB5/v\n"},
    };
    for (const Case& c : cases) {
        const Result r = Morv(c.args, line);
        EXPECT_EQ(r.status, 0) << c.args << ": " << r.err;
        EXPECT_EQ(r.out, c.out) << c.args;
    }
    // A character GBK lacks cannot go into GBK output: '?' and a note.
    const Result r = Morv("--output-encoding gbk", "\xF0\x9F\x98\x80\n");
    EXPECT_EQ(r.out, "?/w\n");
    EXPECT_NE(r.err.find("1 characters the output encoding lacks were written as '?'"), std::string::npos) << r.err;
    // --dump-config names the directory and the files with their counts.
    const Result dump = Morv("--dump-config");
    EXPECT_EQ(dump.status, 0);
    EXPECT_NE(dump.out.find("model directory: " + kTrained), std::string::npos) << dump.out;
    EXPECT_NE(dump.out.find("CoreDict.pdat"), std::string::npos);
    EXPECT_NE(dump.out.find(" words\n"), std::string::npos);
}

TEST(MorvCliOutput, AnOutputThatIsAnInputIsRefusedAndOutputsAreReplacedWhole)
{
    TempDir dir;
    ModelFixture model(dir / "m");
    model.Write();
    const std::string m = "-d '" + model.base + "' ";
    WriteFile(dir / "in.txt", "ab\n");
    MakeDir(dir / "sub");
    std::system(("ln -s ../in.txt '" + dir.path + "/sub/link.txt'").c_str());
    struct Case {
        std::string args;
        bool refused;
    } cases[] = {
        {"-o in.txt in.txt", true},
        {"--html in.txt -f json in.txt", true},
        {"-o sub/link.txt in.txt", true},
        {"-o in.txt", true}, // standard input is in.txt
        {"-o out.txt in.txt", false},
        {"-o page.htm --html ./page.htm in.txt", true},   // two outputs, one file: one would be lost
        {"-o sub/../o.txt --html o.txt -f json in.txt", true},
        {"-o out.txt --html /dev/null in.txt", false},
    };
    for (const Case& c : cases) {
        const std::string command = "cd '" + dir.path + "' && '" + kMorv + "' " + m + c.args +
                                    " < in.txt > stdout 2> stderr";
        const int raw = std::system(command.c_str());
        const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        EXPECT_EQ(status, c.refused ? 2 : 0) << c.args << ": " << ReadFile(dir / "stderr");
        EXPECT_EQ(ReadFile(dir / "in.txt"), "ab\n") << c.args;
        if (c.refused) {
            EXPECT_NE(ReadFile(dir / "stderr").find("refused"), std::string::npos) << c.args;
        }
    }
    EXPECT_EQ(ReadFile(dir / "out.txt"), "ab/n\n");
    // An output that cannot be written leaves the old file as it was.
    WriteFile(dir / "keep.txt", "old\n");
    const std::string full = "cd '" + dir.path + "' && '" + kMorv + "' " + m +
                             "-o keep.txt in.txt --html /dev/full > stdout 2> stderr";
    const int raw = std::system(full.c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 2);
    EXPECT_EQ(ReadFile(dir / "keep.txt"), "old\n");
}

// A failed write names the output and why, and stops the run at once: with an
// input that never ends (/dev/zero) the command would otherwise run until
// killed. Each output: standard output, -o, --html.
TEST(MorvCliOutput, AFailedWriteIsReportedAndStopsTheRun)
{
    TempDir dir;
    ModelFixture model(dir / "m");
    model.Write();
    const std::string enospc = std::strerror(ENOSPC);
    const struct {
        const char* args;
        std::string message;
    } cases[] = {
        {"/dev/zero > /dev/full", "morv: write error: " + enospc},
        {"-j 2 /dev/zero > /dev/full", "morv: write error: " + enospc},
        {"-f html /dev/zero > /dev/full", "morv: write error: " + enospc},
        {"-o /dev/full /dev/zero", "morv: cannot write /dev/full: " + enospc},
        {"--html /dev/full -f seg /dev/zero > /dev/null", "morv: cannot write /dev/full: " + enospc},
        {"--html /dev/full in.txt > /dev/null", "morv: cannot write /dev/full: " + enospc},
    };
    WriteFile(dir / "in.txt", "ab\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        // timeout's own status (124) tells a run that did not stop.
        const std::string command = "cd '" + dir.path + "' && timeout 120 '" + kMorv + "' -d '" + model.base +
                                    "' " + c.args + " 2> stderr";
        const int raw = std::system(command.c_str());
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 2);
        const std::string err = ReadFile(dir / "stderr");
        EXPECT_NE(err.find(c.message + "\n"), std::string::npos) << err;
        EXPECT_EQ(err.find("morv:", err.find("morv:") + 1), std::string::npos) << "reported once: " << err;
    }
}

} // namespace
