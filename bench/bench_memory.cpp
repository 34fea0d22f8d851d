// Peak memory on text without a sentence end:
//   1. the library: one morv_analyze call over N characters of Chinese without
//      a sentence-ending mark, and over N control bytes, in a child process of
//      its own: the peak beyond what the child held before, per character,
//      and how much of it is the call's result (the token array the caller
//      gets, which grows with the tokens whatever the analyser does);
//   2. the command: `morv -j J` for J = 1, 2, 4 over a file of that text, its
//      peak resident memory (from wait4).
// Usage: bench_memory [MODEL_DIR [MIB]]   (MIB of text for the command, default 8)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench/BenchClock.h"
#include "engine/morv.h"

namespace {

// 中国人民在北京工作 (GBK): no mark at all.
const char kWords[] = "\xD6\xD0\xB9\xFA\xC8\xCB\xC3\xF1\xD4\xDA\xB1\xB1\xBE\xA9\xB9\xA4\xD7\xF7";

// Hanzi, or one byte repeated.
std::string Text(bool hanzi, size_t bytes, char fill = '\x01')
{
    std::string s;
    if (!hanzi)
        return std::string(bytes, fill);
    s.reserve(bytes + sizeof kWords);
    while (s.size() < bytes)
        s += kWords;
    return s;
}

void Library(const char* dir, bool hanzi, size_t chars)
{
    const std::string text = Text(hanzi, hanzi ? chars * 2 : chars);
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        morv_model* model = nullptr;
        morv_analyzer* analyzer = nullptr;
        if (morv_model_open(dir, &model) != MORV_OK || morv_analyzer_new(model, &analyzer) != MORV_OK)
            _exit(1);
        const morv_token* tokens = nullptr;
        size_t count = 0;
        morv_analyze(analyzer, kWords, sizeof kWords - 1, MORV_GBK, &tokens, &count);
        const long before = StatusKiB("VmRSS");
        const double cpu = CpuNow();
        if (morv_analyze(analyzer, text.data(), text.size(), MORV_GBK | MORV_LENIENT, &tokens, &count) != MORV_OK) {
            std::fprintf(stderr, "bench_memory: %s\n", morv_last_error());
            _exit(1);
        }
        const double seconds = CpuNow() - cpu;
        const double peak = (StatusKiB("VmHWM") - before) * 1024.0;
        const double result = static_cast<double>(count) * sizeof(morv_token);
        std::printf("library, %zu %s without a sentence end: %.2f s CPU, peak %.1f MB beyond the %.1f MB before"
                    " = %.0f bytes a character; the result's %zu tokens %.1f MB of it (%.0f bytes a character),"
                    " the analyser %.0f bytes a character\n",
                    chars, hanzi ? "hanzi" : "control bytes", seconds, peak / 1e6, before / 1024.0,
                    peak / double(chars), count, result / 1e6, result / double(chars),
                    (peak - result) / double(chars));
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
}

void Command(const char* dir, const std::string& file, size_t bytes, const char* what, int jobs)
{
    std::fflush(stdout);
    const double wall = WallNow();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        const std::string morv = MORV_BINARY_DIR "/bin/morv";
        const std::string j = std::to_string(jobs);
        execl(morv.c_str(), "morv", "-j", j.c_str(), "--base", dir, file.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage {};
    wait4(pid, &status, 0, &usage);
    std::printf("morv -j %d, %.0f MB of %s without a sentence end: peak %.1f MB resident, %.1f s wall%s\n", jobs,
                bytes / 1e6, what, usage.ru_maxrss / 1024.0, WallNow() - wall,
                WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : " (failed)");
}

} // namespace

int main(int argc, char** argv)
{
    const std::string dir = argc > 1 ? argv[1] : MORV_BINARY_DIR "/bin/Morv";
    const size_t mib = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 8;
    Library(dir.c_str(), true, 1000000);
    Library(dir.c_str(), false, 1000000);
    for (bool hanzi : {true, false}) {
        char path[] = "/tmp/bench-memory-XXXXXX";
        const int fd = mkstemp(path);
        const std::string text = Text(hanzi, mib << 20, '\0');
        if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            return 1;
        close(fd);
        for (int jobs : {1, 2, 4})
            Command(dir.c_str(), path, text.size(), hanzi ? "hanzi (GBK)" : "NUL bytes", jobs);
        unlink(path);
    }
    return 0;
}
