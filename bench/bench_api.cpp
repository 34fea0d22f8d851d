// Throughput of the library interface (morv.h) on a UTF-8 corpus, line by line:
// one analyser on one thread, then N threads with an analyser each over one
// shared model, and the speed-up of the threads in wall time. Prints figures;
// never fails on speed.
//
// Usage: bench_api MODEL_DIR CORPUS_UTF8 [REPEATS] [THREADS]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchClock.h"
#include "engine/morv.h"

namespace {

struct Times {
    double cpu = 1e30;
    double wall = 1e30;
};

// Analyses lines[k], lines[k + step], ... with one analyser; returns tokens made.
long long Run(const morv_model* model, const std::vector<std::string>& lines, size_t first, size_t step)
{
    morv_analyzer* analyzer = nullptr;
    if (morv_analyzer_new(model, &analyzer) != MORV_OK)
        return -1;
    long long tokens = 0;
    for (size_t i = first; i < lines.size(); i += step) {
        const morv_token* t = nullptr;
        size_t n = 0;
        if (morv_analyze(analyzer, lines[i].data(), lines[i].size(), MORV_UTF8 | MORV_LENIENT, &t, &n) == MORV_OK)
            tokens += static_cast<long long>(n);
    }
    morv_analyzer_free(analyzer);
    return tokens;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_api MODEL_DIR CORPUS_UTF8 [REPEATS] [THREADS]\n");
        return 2;
    }
    const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
    const int threads = argc > 4 ? std::max(1, std::atoi(argv[4])) : 2;

    double c0 = CpuNow(), w0 = WallNow();
    morv_model* model = nullptr;
    if (morv_model_open(argv[1], &model) != MORV_OK) {
        std::fprintf(stderr, "bench_api: %s\n", morv_last_error());
        return 1;
    }
    std::printf("model load (morv_model_open)   cpu %7.4f s (wall %7.4f s)\n", CpuNow() - c0, WallNow() - w0);

    std::ifstream in(argv[2], std::ios::binary);
    std::vector<std::string> lines;
    long long chars = 0;
    size_t bytes = 0;
    for (std::string line; std::getline(in, line);) {
        line += '\n';
        for (unsigned char c : line)
            chars += (c & 0xC0) != 0x80;
        bytes += line.size();
        lines.push_back(std::move(line));
    }
    if (lines.empty()) {
        std::fprintf(stderr, "bench_api: cannot read %s\n", argv[2]);
        return 2;
    }
    std::printf("corpus                         %zu bytes, %lld chars, %zu lines\n", bytes, chars, lines.size());

    Times one;
    long long tokens = 0;
    for (int r = 0; r < repeats; ++r) {
        c0 = CpuNow();
        w0 = WallNow();
        tokens = Run(model, lines, 0, 1);
        one.cpu = std::min(one.cpu, CpuNow() - c0);
        one.wall = std::min(one.wall, WallNow() - w0);
    }
    std::printf("C API, 1 thread                cpu %7.3f s (wall %7.3f s)  %10.0f chars/s  (%lld tokens)\n", one.cpu,
                one.wall, static_cast<double>(chars) / one.cpu, tokens);

    Times many;
    for (int r = 0; r < repeats; ++r) {
        c0 = CpuNow();
        w0 = WallNow();
        std::vector<std::thread> pool;
        std::atomic<long long> total{0};
        for (int k = 0; k < threads; ++k)
            pool.emplace_back([&, k] { total += Run(model, lines, static_cast<size_t>(k), static_cast<size_t>(threads)); });
        for (std::thread& t : pool)
            t.join();
        many.cpu = std::min(many.cpu, CpuNow() - c0);
        many.wall = std::min(many.wall, WallNow() - w0);
        tokens = total;
    }
    std::printf("C API, %d threads, one model   cpu %7.3f s (wall %7.3f s)  %10.0f chars/s of wall time\n", threads,
                many.cpu, many.wall, static_cast<double>(chars) / many.wall);
    std::printf("speed-up of %d threads (wall)   %.2f  (aim >= %.1f on as many free cores)\n", threads,
                one.wall / many.wall, 0.9 * threads);
    morv_model_free(model);
    return 0;
}
