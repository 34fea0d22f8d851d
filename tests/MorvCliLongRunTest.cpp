// The morv program on long work: the progress line on a terminal (a pseudo-
// terminal here) and nothing left beside an output after a signal ends the run.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tests/ModelFixture.h"
#include "tests/TestUtil.h"
#include "tools/morv/ProgressLine.h"

namespace {

const std::string kMorv = std::string(MORV_BINARY_DIR) + "/bin/morv";

// A morv process with its standard error on a pseudo-terminal or a pipe, its
// standard output in a file and its input from /dev/null.
class Child {
public:
    Child(const std::vector<std::string>& args, bool terminal, const std::string& outPath)
    {
        int errWrite = -1;
        if (terminal) {
            reader = ::posix_openpt(O_RDWR | O_NOCTTY);
            if (reader < 0 || ::grantpt(reader) != 0 || ::unlockpt(reader) != 0)
                return;
            errWrite = ::open(::ptsname(reader), O_RDWR | O_NOCTTY);
        } else {
            int fds[2];
            if (::pipe(fds) != 0)
                return;
            reader = fds[0];
            errWrite = fds[1];
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(kMorv.c_str()));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        pid = ::fork();
        if (pid == 0) {
            // As from an interactive shell, whatever this test runs under.
            for (int sig : {SIGINT, SIGTERM, SIGHUP})
                std::signal(sig, SIG_DFL);
            const int in = ::open("/dev/null", O_RDONLY);
            const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(in, 0);
            ::dup2(out, 1);
            ::dup2(errWrite, 2);
            ::execv(kMorv.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(errWrite);
    }
    ~Child()
    {
        if (pid > 0 && !waited) {
            ::kill(pid, SIGKILL);
            Wait();
        }
        if (reader >= 0)
            ::close(reader);
    }

    // Reads standard error until it holds `want` (true) or ends (false).
    bool ReadUntil(const std::string& want, int timeoutMs = 60000)
    {
        while (err.find(want) == std::string::npos) {
            pollfd p{reader, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0)
                return false;
            char buffer[4096];
            const ssize_t n = ::read(reader, buffer, sizeof buffer);
            if (n <= 0) // a pseudo-terminal reports EIO once the child has closed it
                return false;
            err.append(buffer, static_cast<size_t>(n));
        }
        return true;
    }
    int Wait()
    {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        waited = true;
        return status;
    }

    pid_t pid = -1;
    int reader = -1;
    bool waited = false;
    std::string err;
};

// Names in dir other than the ones expected.
std::vector<std::string> Leftovers(const std::string& dir, const std::vector<std::string>& expected)
{
    std::vector<std::string> found;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            bool known = name == "." || name == "..";
            for (const std::string& x : expected)
                known = known || name == x;
            if (!known)
                found.push_back(name);
        }
        ::closedir(d);
    }
    return found;
}

class MorvCliLongRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        model.Write();
        MakeDir(dir / "out");
        std::string text;
        for (int i = 0; i < 2000; ++i)
            text += "ab ab\n";
        WriteFile(dir / "in.txt", text);
    }
    std::vector<std::string> Args(std::vector<std::string> more) const
    {
        more.insert(more.begin(), {"--base", model.base});
        return more;
    }

    TempDir dir;
    ModelFixture model{dir / "base"};
};

TEST_F(MorvCliLongRun, ProgressIsShownOnATerminalWhenAskedOrFitting)
{
    struct Case {
        std::vector<std::string> args;
        bool terminal;
        bool shown;
    } cases[] = {
        {{"-o", dir / "out/a.txt", dir / "in.txt"}, true, true},
        {{"--no-progress", "-o", dir / "out/a.txt", dir / "in.txt"}, true, false},
        {{"-o", dir / "out/a.txt", dir / "in.txt"}, false, false},             // not a terminal
        {{"--progress", "-o", dir / "out/a.txt", dir / "in.txt"}, false, true}, // asked for
        {{"-o", dir / "out/a.txt", "-"}, true, false},                         // not a file
    };
    for (const Case& c : cases) {
        Child child(Args(c.args), c.terminal, dir / "stdout");
        ASSERT_GT(child.pid, 0);
        child.ReadUntil("\x01never");
        const int status = child.Wait();
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << child.err;
        const std::string& err = child.err;
        if (c.args.back() != "-") {
            EXPECT_NE(ReadFile(dir / "out/a.txt"), "");
        }
        if (!c.shown) {
            EXPECT_EQ(err.find("morv: "), std::string::npos) << err;
            continue;
        }
        // The first line at once, the last with the whole size and time.
        EXPECT_NE(err.find("morv: 0 B of 12.0 kB (0%)"), std::string::npos) << err;
        EXPECT_NE(err.find("morv: 12.0 kB in 0:"), std::string::npos) << err;
        if (c.terminal) {
            EXPECT_EQ(err.substr(0, 1), "\r") << err; // redrawn in place
            EXPECT_NE(err.find("\033[K"), std::string::npos) << err;
        } else {
            EXPECT_EQ(err.find('\r'), std::string::npos) << err;
        }
    }
}

// The signal arrives while the output is being written: the earlier output stays
// as it was, nothing is left beside it, and the process ends by that signal.
TEST_F(MorvCliLongRun, ASignalLeavesNoTemporaryFile)
{
    ASSERT_EQ(::mkfifo((dir / "in.fifo").c_str(), 0600), 0);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        WriteFile(dir / "out/result.txt", "earlier\n");
        Child child(Args({"--progress", "-o", dir / "out/result.txt", "--html", dir / "out/page.htm",
                          dir / "in.fifo"}),
                    false, dir / "stdout");
        ASSERT_GT(child.pid, 0);
        // The first progress line comes once both outputs are open.
        ASSERT_TRUE(child.ReadUntil("morv: 0 B")) << child.err;
        EXPECT_EQ(Leftovers(dir / "out", {"result.txt"}).size(), 2u);
        // Some input analysed and more to come, the writer still open.
        const int fifo = ::open((dir / "in.fifo").c_str(), O_WRONLY);
        ASSERT_GE(fifo, 0);
        const std::string lines = ReadFile(dir / "in.txt");
        ASSERT_EQ(::write(fifo, lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
        ::usleep(100 * 1000);
        ::kill(child.pid, sig);
        const int status = child.Wait();
        ::close(fifo);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << sig << ": " << status;
        EXPECT_EQ(ReadFile(dir / "out/result.txt"), "earlier\n") << sig;
        EXPECT_EQ(Leftovers(dir / "out", {"result.txt"}), std::vector<std::string>()) << sig;
    }
}

TEST(ProgressLine, LineText)
{
    struct Case {
        unsigned long long done, total;
        double seconds;
        bool finished;
        const char* expected;
    } cases[] = {
        {0, 104857600, 0, false, "morv: 0 B of 104.9 MB (0%)"},
        {26214400, 104857600, 10, false, "morv: 26.2 MB of 104.9 MB (25%), 2.6 MB/s, 0:30 left"},
        {104857600, 104857600, 40, true, "morv: 104.9 MB in 0:40, 2.6 MB/s"},
        {5000, 0, 2, false, "morv: 5.0 kB, 2.5 kB/s"},                   // size unknown
        {3000, 2000, 1, false, "morv: 3.0 kB of 2.0 kB (100%), 3.0 kB/s, 0:00 left"}, // a growing file
        {999, 1000, 0.01, false, "morv: 999 B of 1.0 kB (99%)"},          // too soon for a rate
        {999950, 0, 1, false, "morv: 1.0 MB, 1.0 MB/s"},
        {1000, 7200000, 1, false, "morv: 1.0 kB of 7.2 MB (0%), 1.0 kB/s, 1:59:59 left"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProgressLine::Format(c.done, c.total, c.seconds, c.finished), c.expected);
}

} // namespace
