// The part-of-speech model of the new stages against the HMM, on the tokens the
// tagger meets: the engine (with NewWords on) analyses the held-out days once,
// and the tokens of every sentence as they reach the part-of-speech pass are
// kept; then both taggers tag all of them again and again. Prints the load time
// of NewPos.pm in a fresh process, its size and counts, the decoding speed of
// both taggers and of the whole pipeline, and how often the two agree. Prints
// figures; never fails on them.
//
// Usage: bench_posmodel [--engine DIR] [--corpus PATH] [--test-days 28-31] [--repeats N]
// DIR is an engine base directory trained with the new stages' models (default
// build/bin/Morv); its Configure.xml is read, NewWords and NewPos are switched on.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "bench/BenchClock.h"
#include "engine/CAnalyzer.h"
#include "engine/CModel.h"
#include "tagging/CHmmTagger.h"
#include "tagging/CPosModel.h"
#include "tools/trainer/CorpusReader.h"

namespace {

// One sentence as the part-of-speech pass receives it.
struct Sentence {
    std::string text;
    std::vector<TokenRecord> items;
    int characters;
};

int Characters(const std::string& s)
{
    int n = 0;
    for (size_t i = 0; i < s.size(); ++n)
        i += (static_cast<unsigned char>(s[i]) >= 0x80 && i + 1 < s.size()) ? 2 : 1;
    return n;
}

} // namespace

int main(int argc, char** argv)
{
    std::string engine = std::string(MORV_BINARY_DIR) + "/bin/Morv";
    std::string corpus = std::string(MORV_BINARY_DIR) + "/data/pd199801.txt";
    int testFirst = 28, testLast = 31, repeats = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--engine" && more)
            engine = argv[++i];
        else if (a == "--corpus" && more)
            corpus = argv[++i];
        else if (a == "--test-days" && more && std::sscanf(argv[i + 1], "%d-%d", &testFirst, &testLast) == 2)
            ++i;
        else if (a == "--repeats" && more)
            repeats = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: bench_posmodel [--engine DIR] [--corpus PATH] [--test-days 28-31] [--repeats N]\n");
            return 2;
        }
    }

    // The first load, while the process is fresh, pays for every page it touches
    // as the engine's start-up does.
    const std::string path = engine + "/Data/NewPos.pm";
    double cpu = CpuNow(), wall = WallNow();
    CPosModel first;
    if (!first.Load(path.c_str())) {
        std::fprintf(stderr, "bench_posmodel: %s does not load\n", path.c_str());
        return 1;
    }
    const double firstCpu = CpuNow() - cpu, firstWall = WallNow() - wall;
    cpu = CpuNow();
    wall = WallNow();
    CPosModel again;
    again.Load(path.c_str());
    const double againCpu = CpuNow() - cpu, againWall = WallNow() - wall;
    struct stat st {};
    stat(path.c_str(), &st);

    CModel model;
    if (!model.ReadConfig(engine)) {
        std::fprintf(stderr, "bench_posmodel: cannot read %s/Configure.xml\n", engine.c_str());
        return 1;
    }
    model.newWordsOn = true;
    model.pos.on = true;
    if (!model.LoadModels([](const char* format, const char* arg) { std::fprintf(stderr, format, arg); })) {
        std::fprintf(stderr, "bench_posmodel: the models of %s do not load with NewWords on\n", engine.c_str());
        return 1;
    }
    CorpusReader reader;
    if (!reader.Read(corpus, 19980100 + testFirst, 19980100 + testLast) || reader.GetParagraphs().empty()) {
        std::fprintf(stderr, "bench_posmodel: no paragraphs of days %d-%d in %s\n", testFirst, testLast, corpus.c_str());
        return 1;
    }
    std::vector<std::string> texts;
    size_t characters = 0;
    for (const Paragraph& p : reader.GetParagraphs()) {
        texts.push_back(p.Text());
        characters += static_cast<size_t>(Characters(texts.back()));
    }

    // The pipeline once, keeping what reaches the part-of-speech pass. A name's
    // kind was turned into its tag by the pass: it is given back.
    std::vector<Sentence> sentences;
    CAnalyzer analyzer(model);
    const int32_t person = model.ids.unknownPerson;
    cpu = CpuNow();
    for (const std::string& text : texts)
        analyzer.Analyze(text.c_str(), [&](const CAnalyzer::Sentence& s) {
            Sentence kept{std::string(s.text, static_cast<size_t>(s.length)),
                          std::vector<TokenRecord>(s.items, s.items + s.count), 0};
            for (TokenRecord& t : kept.items)
                if (t.wordId == person && t.kind == kKindPersonName)
                    t.kind = t.tag;
            kept.characters = Characters(kept.text);
            sentences.push_back(std::move(kept));
        });
    const double pipelineCpu = CpuNow() - cpu;
    size_t tokens = 0;
    for (const Sentence& s : sentences)
        tokens += s.items.size();

    // Both taggers on copies of the same tokens.
    CHmmTagger hmm(model.core.posLexicon.get(), model.core.posContext.get(), static_cast<double>(model.core.unigram->GetEntryCount()),
                   21, person);
    hmm.SetUseFixedTags(true);
    CPosModel::Workspace ws;
    std::vector<std::vector<TokenRecord>> work(sentences.size());
    double modelCpu = 1e30, hmmCpu = 1e30;
    for (int r = 0; r < repeats; ++r) {
        for (size_t i = 0; i < sentences.size(); ++i)
            work[i] = sentences[i].items;
        cpu = CpuNow();
        for (size_t i = 0; i < sentences.size(); ++i)
            model.pos.model->Tag(sentences[i].text.data(), static_cast<int>(sentences[i].text.size()), work[i].data(),
                                static_cast<int>(work[i].size()), model.core.posLexicon.get(), person, true, ws);
        modelCpu = std::min(modelCpu, CpuNow() - cpu);
        for (size_t i = 0; i < sentences.size(); ++i)
            work[i] = sentences[i].items;
        cpu = CpuNow();
        for (size_t i = 0; i < sentences.size(); ++i)
            hmm.Tag(work[i].data(), static_cast<int>(work[i].size()));
        hmmCpu = std::min(hmmCpu, CpuNow() - cpu);
    }
    // Agreement of the two, over the tokens between the markers.
    size_t same = 0, compared = 0;
    for (size_t i = 0; i < sentences.size(); ++i) {
        std::vector<TokenRecord> a = sentences[i].items, b = sentences[i].items;
        model.pos.model->Tag(sentences[i].text.data(), static_cast<int>(sentences[i].text.size()), a.data(),
                            static_cast<int>(a.size()), model.core.posLexicon.get(), person, true, ws);
        hmm.Tag(b.data(), static_cast<int>(b.size()));
        for (size_t t = 1; t + 1 < a.size(); ++t, ++compared)
            same += a[t].tag == b[t].tag;
    }

    const double chars = static_cast<double>(characters);
    std::printf("NewPos.pm: %lld bytes, %d tags, %d words, %d characters, %d weights\n",
                static_cast<long long>(st.st_size), first.GetTagCount(), first.GetWordCount(), first.GetCharCount(),
                first.GetEntryCount());
    std::printf("load: %.2f ms CPU (%.2f ms wall) in a fresh process, %.2f ms CPU (%.2f ms wall) again\n",
                firstCpu * 1e3, firstWall * 1e3, againCpu * 1e3, againWall * 1e3);
    std::printf("held-out days %d-%d: %zu sentences, %zu tokens, %zu characters\n", testFirst, testLast,
                sentences.size(), tokens, characters);
    std::printf("| tagger | CPU s (best of %d) | characters/s | ns/character |\n|---|---|---|---|\n", repeats);
    std::printf("| CPosModel | %.4f | %.1f M | %.1f |\n", modelCpu, chars / modelCpu / 1e6, modelCpu / chars * 1e9);
    std::printf("| CHmmTagger | %.4f | %.1f M | %.1f |\n", hmmCpu, chars / hmmCpu / 1e6, hmmCpu / chars * 1e9);
    std::printf("| whole pipeline, NewWords on (once) | %.4f | %.1f M | %.1f |\n", pipelineCpu,
                chars / pipelineCpu / 1e6, pipelineCpu / chars * 1e9);
    std::printf("the two taggers agree on %.4f of %zu tokens\n",
                compared ? static_cast<double>(same) / static_cast<double>(compared) : 0.0, compared);
    return 0;
}
