// Throughput of the engine on a GBK corpus, stage by stage: model load, segmentation
// alone (pre-processing and best path, no tagging), the whole pipeline as the morv
// command drives it (line by line, tokens to a sink) and the result page. Prints
// figures; never fails on speed.
//
// Usage: bench_pipeline BASE_DIR CORPUS_GBK [REPEATS]
//        bench_pipeline BASE_DIR        (the model load alone, one fresh start)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <ctime>
#include <sys/resource.h>
#include <vector>

#include "bench/BenchClock.h"
#include "engine/CAnalyzer.h"
#include "engine/Engine.h"
#include "engine/EngineContext.h"
#include "segment/CPreProcess.h"
#include "segment/CSegment.h"

namespace {

// A moment on both clocks.
struct Clock {
    std::chrono::steady_clock::time_point wall;
    double cpu;
};

Clock Now() { return Clock{std::chrono::steady_clock::now(), CpuNow()}; }

struct Span {
    double cpu = 1e30;
    double wall = 1e30;
    void Keep(const Clock& from) // the best of the repeats
    {
        const double c = CpuNow() - from.cpu;
        if (c < cpu) {
            cpu = c;
            wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - from.wall).count();
        }
    }
};

// Peak resident memory of this process so far, in MiB.
double PeakMiB()
{
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

long long CountChars(const std::string& text)
{
    long long chars = 0;
    for (size_t i = 0; i < text.size(); ++chars)
        i += (static_cast<unsigned char>(text[i]) >= 0x80 && i + 1 < text.size()) ? 2 : 1;
    return chars;
}

void Report(const char* what, const Span& span, long long chars, size_t bytes, long long tokens)
{
    std::printf("%-30s cpu %7.3f s (wall %7.3f s)  %10.0f chars/s  %7.2f MB/s  (%lld tokens)\n", what, span.cpu,
                span.wall, static_cast<double>(chars) / span.cpu, static_cast<double>(bytes) / span.cpu / 1e6,
                tokens);
}

// The least wall time, over the repeats, that work(line) takes on every line
// right after a first, untimed call on the same line: the same work with the
// model's tables already in the cache. What is left is the arithmetic and
// bookkeeping, the least time the work can take however well its reads are laid
// out; the distance to the cold figure is cache misses. Wall time of the timed
// halves only: a CPU clock read per line costs a system call.
template <class Work> double AgainInCache(const std::vector<std::string>& lines, int repeats, Work work)
{
    double best = 1e30;
    for (int r = 0; r < repeats; ++r) {
        double seconds = 0;
        for (const std::string& line : lines) {
            work(line);
            const double from = WallNow();
            work(line);
            seconds += WallNow() - from;
        }
        best = std::min(best, seconds);
    }
    return best;
}

void ReportInCache(const char* what, double seconds, long long chars, size_t bytes)
{
    std::printf("%-30s                  wall %7.3f s   %10.0f chars/s  %7.2f MB/s\n", what, seconds,
                static_cast<double>(chars) / seconds, static_cast<double>(bytes) / seconds / 1e6);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_pipeline BASE_DIR [CORPUS_GBK [REPEATS]]\n");
        return 2;
    }
    const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;

    Clock start = Now();
    if (!EngineInit(argv[1])) {
        std::fprintf(stderr, "bench_pipeline: the engine does not start from %s\n", argv[1]);
        return 1;
    }
    Span load;
    load.Keep(start);
    const double modelPeak = PeakMiB();
    EngineContext& engine = TheEngine();
    if (!engine.analyzer || !engine.analyzer->IsComplete()) {
        std::fprintf(stderr, "bench_pipeline: the analyser is incomplete\n");
        return 1;
    }
    std::printf("model load (EngineInit)        cpu %7.4f s (wall %7.4f s)  peak RSS %.1f MiB\n", load.cpu, load.wall,
                modelPeak);
    if (argc < 3)
        return 0;

    std::ifstream in(argv[2], std::ios::binary);
    const std::string corpus((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (corpus.empty()) {
        std::fprintf(stderr, "bench_pipeline: cannot read %s\n", argv[2]);
        return 2;
    }
    // Lines as the command feeds them: each with its line feed, NUL-terminated.
    std::vector<std::string> lines;
    for (size_t at = 0; at < corpus.size();) {
        size_t lf = corpus.find('\n', at);
        lf = lf == std::string::npos ? corpus.size() : lf + 1;
        lines.emplace_back(corpus, at, lf - at);
        at = lf;
    }
    const long long chars = CountChars(corpus);
    std::printf("corpus                         %zu bytes, %lld chars, %zu lines\n", corpus.size(), chars,
                lines.size());

    // MORV_BENCH_STAGE=segment|match|pipeline|shares|page runs that stage alone (for a
    // profiler); a comma-separated list runs those.
    const char* only = std::getenv("MORV_BENCH_STAGE");
    const auto runs = [only](const char* stage) {
        if (only == nullptr)
            return true;
        const std::string list = std::string(",") + only + ",";
        return list.find(std::string(",") + stage + ",") != std::string::npos;
    };

    // Segmentation alone: the pre-processor and the segmenter on the engine's models.
    const CModel& model = *engine.model;
    CPreProcess pre(model.core.charset.get(), model.core.coreDict.get(), engine.userDict.get());
    CSegment segment(model.core.coreDict.get(), model.core.unigram.get(), model.core.bigram.get(), model.core.pairScores.get());
    Span segmentOnly;
    long long tokens = 0;
    const auto segmentLine = [&](const std::string& line) {
        const char* p = line.c_str();
        while (*p != '\0') {
            const char* next = pre.BuildLattice(p);
            if (pre.GetAtomCount() <= 2 || next <= p)
                break;
            tokens += segment.Segment(pre.GetLattice(), pre.GetSlotCount(), pre.GetSlotSizes(), pre.GetAtomCount()) - 2;
            p = next;
        }
    };
    for (int r = 0; r < repeats && runs("segment"); ++r) {
        tokens = 0;
        start = Now();
        for (const std::string& line : lines)
            segmentLine(line);
        segmentOnly.Keep(start);
    }
    if (runs("segment")) {
        Report("segmentation alone", segmentOnly, chars, corpus.size(), tokens);
        ReportInCache("  segmentation, tables cached", AgainInCache(lines, repeats, segmentLine), chars,
                      corpus.size());
    }

    // Forward maximum match over the same core dictionary: the longest word at
    // each position, else one character. No dictionary-based segmenter can cut
    // much faster, so the distance to it is what the lattice and its scores cost.
    const CPDAT& dict = *model.core.coreDict;
    Span maximumMatch;
    for (int r = 0; r < repeats && runs("match"); ++r) {
        tokens = 0;
        start = Now();
        for (const std::string& line : lines) {
            const char* p = line.c_str();
            while (*p != '\0' && *p != '\n') {
                int n = dict.LongestMatch(p);
                if (n <= 0)
                    n = (static_cast<unsigned char>(*p) >= 0x81 && p[1] != '\0') ? 2 : 1;
                p += n;
                ++tokens;
            }
        }
        maximumMatch.Keep(start);
    }
    if (runs("match"))
        Report("forward maximum match (bound)", maximumMatch, chars, corpus.size(), tokens);

    // The whole pipeline, line by line into a sink, as morv runs it.
    Span pipeline;
    const CAnalyzer::SentenceSink sink = [&tokens](const CAnalyzer::Sentence& s) { tokens += s.count - 2; };
    for (int r = 0; r < repeats && runs("pipeline"); ++r) {
        tokens = 0;
        start = Now();
        for (const std::string& line : lines)
            engine.analyzer->Analyze(line.c_str(), sink);
        pipeline.Keep(start);
    }
    if (runs("pipeline")) {
        Report("full pipeline (to a sink)", pipeline, chars, corpus.size(), tokens);
        ReportInCache("  pipeline, tables cached", AgainInCache(lines, repeats, [&](const std::string& line) {
                          engine.analyzer->Analyze(line.c_str(), sink);
                      }),
                      chars, corpus.size());
    }

    // Where the pipeline's time goes: one more pass with a clock read between
    // the steps (wall time; the reads cost a little of their own).
    if (runs("shares")) {
        CAnalyzer::StageTimes times;
        engine.analyzer->SetStageTimes(&times);
        for (const std::string& line : lines)
            engine.analyzer->Analyze(line.c_str(), sink);
        engine.analyzer->SetStageTimes(nullptr);
        double total = 0;
        for (double t : times.seconds)
            total += t;
        std::printf("pipeline steps (wall, one timed pass)  %.3f s\n", total);
        for (int step = 0; step < CAnalyzer::StageTimes::kStepCount; ++step)
            std::printf("  step %-26s %7.3f s  %5.1f%%\n", CAnalyzer::StageTimes::Name(step), times.seconds[step],
                        total > 0 ? 100.0 * times.seconds[step] / total : 0.0);
    }

    // The result page of the whole text in one call.
    Span page;
    for (int r = 0; r < repeats && runs("page"); ++r) {
        start = Now();
        if (!EngineWriteHtml(corpus.c_str(), "/dev/null")) {
            std::fprintf(stderr, "bench_pipeline: EngineWriteHtml failed\n");
            return 1;
        }
        page.Keep(start);
    }
    if (runs("page"))
        Report("result page (EngineWriteHtml)", page, chars, corpus.size(), 0);
    std::printf("peak RSS of this driver        %.1f MiB (models %.1f MiB, corpus held in memory)\n", PeakMiB(),
                modelPeak);
    EngineExit();
    return 0;
}
