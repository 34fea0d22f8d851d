// Throughput of the engine on a GBK corpus, stage by stage: model load, segmentation
// alone (pre-processing and best path, no tagging), the whole pipeline as the morv
// command drives it (line by line, tokens to a sink) and the result page. Prints
// figures; never fails on speed.
//
// Usage: bench_pipeline BASE_DIR CORPUS_GBK [REPEATS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "engine/CAnalyzer.h"
#include "engine/Engine.h"
#include "engine/EngineContext.h"
#include "segment/CPreProcess.h"
#include "segment/CSegment.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point from)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

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

void Report(const char* what, double seconds, long long chars, size_t bytes, long long tokens)
{
    std::printf("%-28s %8.3f s  %10.0f chars/s  %7.2f MB/s  (%lld tokens)\n", what, seconds,
                static_cast<double>(chars) / seconds, static_cast<double>(bytes) / seconds / 1e6, tokens);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_pipeline BASE_DIR CORPUS_GBK [REPEATS]\n");
        return 2;
    }
    const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;

    auto start = std::chrono::steady_clock::now();
    if (!EngineInit(argv[1])) {
        std::fprintf(stderr, "bench_pipeline: the engine does not start from %s\n", argv[1]);
        return 1;
    }
    const double loadSeconds = Seconds(start);
    const double modelPeak = PeakMiB();
    EngineContext& engine = TheEngine();
    if (!engine.analyzer || !engine.analyzer->IsComplete()) {
        std::fprintf(stderr, "bench_pipeline: the analyser is incomplete\n");
        return 1;
    }
    std::printf("model load (EngineInit)      %8.4f s  peak RSS %.1f MiB\n", loadSeconds, modelPeak);

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
    std::printf("corpus                       %zu bytes, %lld chars, %zu lines\n", corpus.size(), chars,
                lines.size());

    // Segmentation alone: the pre-processor and the segmenter on the engine's models.
    CPreProcess pre(engine.charset.get(), engine.coreDict.get(), engine.userDict.get());
    CSegment segment(engine.coreDict.get(), engine.unigram.get(), engine.bigram.get());
    double best = 1e30;
    long long tokens = 0;
    for (int r = 0; r < repeats; ++r) {
        tokens = 0;
        start = std::chrono::steady_clock::now();
        for (const std::string& line : lines) {
            const char* p = line.c_str();
            while (*p != '\0') {
                const char* next = pre.BuildLattice(p);
                if (pre.GetAtomCount() <= 2 || next <= p)
                    break;
                tokens += segment.Segment(pre.GetLattice(), pre.GetSlotCount(), pre.GetSlotSizes(),
                                          pre.GetAtomCount()) - 2;
                p = next;
            }
        }
        best = std::min(best, Seconds(start));
    }
    Report("segmentation alone", best, chars, corpus.size(), tokens);

    // The whole pipeline, line by line into a sink, as morv runs it.
    best = 1e30;
    const CAnalyzer::SentenceSink sink = [&tokens](const CAnalyzer::Sentence& s) { tokens += s.count - 2; };
    for (int r = 0; r < repeats; ++r) {
        tokens = 0;
        start = std::chrono::steady_clock::now();
        for (const std::string& line : lines)
            engine.analyzer->Analyze(line.c_str(), sink);
        best = std::min(best, Seconds(start));
    }
    Report("full pipeline (to a sink)", best, chars, corpus.size(), tokens);

    // The result page of the whole text in one call.
    best = 1e30;
    for (int r = 0; r < repeats; ++r) {
        start = std::chrono::steady_clock::now();
        if (!EngineWriteHtml(corpus.c_str(), "/dev/null")) {
            std::fprintf(stderr, "bench_pipeline: EngineWriteHtml failed\n");
            return 1;
        }
        best = std::min(best, Seconds(start));
    }
    Report("result page (EngineWriteHtml)", best, chars, corpus.size(), 0);
    std::printf("peak RSS of this driver      %.1f MiB (models %.1f MiB, corpus held in memory)\n", PeakMiB(),
                modelPeak);
    EngineExit();
    return 0;
}
