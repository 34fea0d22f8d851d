// Run-time words through the C API, as a program that adds words while it
// analyses meets them:
//   1. 100 x (add one word + analyse one sentence) over 20,000 and over
//      100,000 words already added (the sentence's analysis makes the new
//      snapshot of the words), and 100,000 x the same from no words;
//   2. a list of 1,000,000 entries ("word frequency tag", GBK) loaded with
//      morv_model_load_userdict, and the first analysis after it: the time,
//      and the peak memory of the process beyond what it held before.
// Each figure comes from a child process of its own, so that one's memory
// does not count in the next. Usage: bench_userwords [MODEL_DIR [ENTRIES]]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <malloc.h>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "bench/BenchClock.h"
#include "engine/morv.h"

namespace {

// 他在北京大学读书。 (UTF-8)
const char kSentence[] = "\xE4\xBB\x96\xE5\x9C\xA8\xE5\x8C\x97\xE4\xBA\xAC\xE5\xA4\xA7\xE5\xAD\xA6"
                         "\xE8\xAF\xBB\xE4\xB9\xA6\xE3\x80\x82";

// A random word of 2 to 4 GB2312 hanzi (GBK bytes): almost never one of the core's.
std::string RandomWord(std::mt19937& rng)
{
    std::uniform_int_distribution<int> chars(2, 4), lead(0xB0, 0xF7), trail(0xA1, 0xFE);
    std::string w;
    for (int n = chars(rng); n > 0; --n) {
        w += static_cast<char>(lead(rng));
        w += static_cast<char>(trail(rng));
    }
    return w;
}

// A word list of n entries, one in three with a frequency and a tag.
std::string MakeList(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string list;
    list.reserve(n * 14);
    for (size_t i = 0; i < n; ++i) {
        list += RandomWord(rng);
        if (i % 3 == 0)
            list += " " + std::to_string(1 + i % 97) + " n";
        list += '\n';
    }
    return list;
}

struct Session {
    morv_model* model = nullptr;
    morv_analyzer* analyzer = nullptr;
    explicit Session(const char* dir)
    {
        if (morv_model_open(dir, &model) != MORV_OK || morv_analyzer_new(model, &analyzer) != MORV_OK) {
            std::fprintf(stderr, "bench_userwords: %s\n", morv_last_error());
            std::exit(1);
        }
    }
    ~Session()
    {
        morv_analyzer_free(analyzer);
        morv_model_free(model);
    }
    void Analyze()
    {
        const morv_token* tokens = nullptr;
        size_t count = 0;
        if (morv_analyze(analyzer, kSentence, MORV_NUL_TERMINATED, 0, &tokens, &count) != MORV_OK) {
            std::fprintf(stderr, "bench_userwords: %s\n", morv_last_error());
            std::exit(1);
        }
    }
};

void AddsAndCuts(const char* dir, size_t base)
{
    Session s(dir);
    const std::string list = MakeList(base, 1);
    if (morv_model_load_userdict_buffer(s.model, list.data(), list.size(), "base", nullptr) != MORV_OK) {
        std::fprintf(stderr, "bench_userwords: %s\n", morv_last_error());
        std::exit(1);
    }
    s.Analyze(); // the snapshot of the base words
    std::mt19937 rng(2);
    const double cpu = CpuNow(), wall = WallNow();
    for (int i = 0; i < 100; ++i) {
        const std::string w = RandomWord(rng);
        if (morv_model_add_word(s.model, w.data(), w.size(), 10, "n", MORV_GBK) != MORV_OK)
            std::exit(1);
        s.Analyze();
    }
    const double cpuSeconds = CpuNow() - cpu, wallSeconds = WallNow() - wall;
    std::printf("100 x (add + cut) over %7zu words: %8.4f s CPU (%.3f ms each), %8.4f s wall; %zu words\n", base,
                cpuSeconds, cpuSeconds * 10, wallSeconds, morv_model_user_word_count(s.model));
}

// Every word added alone, an analysis after each: the snapshot is made anew
// 100,000 times.
void AddsFromNone(const char* dir, size_t count)
{
    Session s(dir);
    std::mt19937 rng(4);
    const double cpu = CpuNow(), wall = WallNow();
    for (size_t i = 0; i < count; ++i) {
        const std::string w = RandomWord(rng);
        if (morv_model_add_word(s.model, w.data(), w.size(), 10, "n", MORV_GBK) != MORV_OK)
            std::exit(1);
        s.Analyze();
    }
    std::printf("%zu x (add + cut) from no words: %.2f s CPU, %.2f s wall; %zu words\n", count, CpuNow() - cpu,
                WallNow() - wall, morv_model_user_word_count(s.model));
}

void LoadList(const char* dir, size_t entries)
{
    std::string list = MakeList(entries, 3);
    char path[] = "/tmp/bench-userwords-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0 || write(fd, list.data(), list.size()) != static_cast<ssize_t>(list.size()))
        std::exit(1);
    close(fd);
    const size_t listBytes = list.size();
    std::string().swap(list);
    const pid_t pid = fork();
    if (pid == 0) {
        Session s(dir);
        s.Analyze();
        const long before = StatusKiB("VmRSS");
        const struct mallinfo2 heapBefore = mallinfo2();
        const double liveBefore = static_cast<double>(heapBefore.uordblks + heapBefore.hblkhd);
        const double cpu = CpuNow(), wall = WallNow();
        size_t added = 0;
        if (morv_model_load_userdict(s.model, path, &added) != MORV_OK) {
            std::fprintf(stderr, "bench_userwords: %s\n", morv_last_error());
            _exit(1);
        }
        const double loadCpu = CpuNow() - cpu;
        s.Analyze(); // the snapshot of the list's words
        const double cpuSeconds = CpuNow() - cpu, wallSeconds = WallNow() - wall;
        const long peak = StatusKiB("VmHWM");
        const struct mallinfo2 heap = mallinfo2();
        const double live = static_cast<double>(heap.uordblks + heap.hblkhd) - liveBefore;
        std::printf("list of %zu entries (%.1f MB): load + first cut %.2f s CPU (the load %.2f s), %.2f s wall;"
                    " peak %.1f MB beyond the %.1f MB before; the words hold %.1f MB of heap after; %zu words\n",
                    added, listBytes / 1e6, cpuSeconds, loadCpu, wallSeconds, (peak - before) / 1024.0,
                    before / 1024.0, live / 1e6, morv_model_user_word_count(s.model));
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    unlink(path);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string dir = argc > 1 ? argv[1] : MORV_BINARY_DIR "/bin/Morv";
    const size_t entries = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1000000;
    for (size_t base : {size_t(20000), size_t(100000)}) {
        std::fflush(stdout);
        const pid_t pid = fork();
        if (pid == 0) {
            AddsAndCuts(dir.c_str(), base);
            std::fflush(stdout);
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
    }
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        AddsFromNone(dir.c_str(), 100000);
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    LoadList(dir.c_str(), entries);
    return 0;
}
