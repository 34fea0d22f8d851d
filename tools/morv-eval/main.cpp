// morv-eval: trains on the first days of the corpus, analyses the held-out days
// with the engine and scores the result against the corpus annotation.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "engine/Engine.h"
#include "engine/EngineContext.h"
#include "tools/morv-eval/Evaluator.h"
#include "tools/trainer/Trainer.h"

#ifndef MORV_CORPUS_TEXT
#define MORV_CORPUS_TEXT "pd199801.txt"
#endif
#ifndef MORV_DATA_SOURCE_DIR
#define MORV_DATA_SOURCE_DIR "data"
#endif
#ifndef MORV_EVAL_DIR
#define MORV_EVAL_DIR "eval-model"
#endif

int main(int argc, char** argv)
{
    TrainerOptions o;
    o.corpusPath = MORV_CORPUS_TEXT;
    o.sourceDir = MORV_DATA_SOURCE_DIR;
    o.outputDir = MORV_EVAL_DIR;
    o.firstDate = 19980101;
    o.lastDate = 19980127;
    o.quiet = true;
    int testFirst = 19980128, testLast = 19980131;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--corpus" && i + 1 < argc)
            o.corpusPath = argv[++i];
        else if (a == "--work" && i + 1 < argc)
            o.outputDir = argv[++i];
        else if (a == "--data" && i + 1 < argc)
            o.sourceDir = argv[++i];
        else {
            std::fprintf(stderr, "usage: morv-eval [--corpus PATH] [--work DIR] [--data DIR]\n"
                                 "  trains on 1998-01-01..27 into DIR, evaluates on 1998-01-28..31\n");
            return 2;
        }
    }

    Trainer trainer(o);
    if (trainer.Run() != 0)
        return 1;
    std::set<std::string> vocabulary;
    for (const Paragraph& p : trainer.GetCorpus().GetParagraphs())
        for (const CorpusToken& t : p.tokens)
            vocabulary.insert(t.word);
    std::printf("Trained on 1998-01-01..01-27: %zu paragraphs, %zu words, in %.2f s\n",
                trainer.GetReport().paragraphs, trainer.GetReport().tokens, trainer.GetReport().seconds);

    CorpusReader test;
    if (!test.Read(o.corpusPath, testFirst, testLast) || test.GetParagraphs().empty()) {
        std::fprintf(stderr, "morv-eval: no test paragraphs in %s\n", o.corpusPath.c_str());
        return 1;
    }
    if (!EngineInit(o.outputDir.c_str()) || !TheEngine().analyzer || !TheEngine().analyzer->IsComplete()) {
        std::fprintf(stderr, "morv-eval: the engine does not start on %s (see its Morv.log)\n",
                     o.outputDir.c_str());
        return 1;
    }
    EngineContext& engine = TheEngine();
    Evaluator eval(vocabulary);
    auto t0 = std::chrono::steady_clock::now();
    size_t bytes = 0;
    for (const Paragraph& p : test.GetParagraphs()) {
        std::string text = p.Text();
        bytes += text.size();
        std::vector<Evaluator::Word> words;
        engine.analyzer->Analyze(text.c_str(), [&](const CAnalyzer::Sentence& s) {
            int base = static_cast<int>(s.text - text.c_str());
            for (int i = 1; i + 1 < s.count; ++i) {
                const TokenRecord& t = s.items[i];
                const char* name = engine.tagSet->GetName(t.tag);
                std::string tag = name ? name : "?";
                if (s.nameSplits && s.nameSplits[i] > t.start && s.nameSplits[i] < t.end) {
                    words.push_back({base + t.start, base + s.nameSplits[i], "nr"});
                    words.push_back({base + s.nameSplits[i], base + t.end, "nr"});
                } else {
                    words.push_back({base + t.start, base + t.end, tag});
                }
            }
        });
        eval.Score(p, words);
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("Evaluated on 1998-01-28..01-31: %zu paragraphs, %zu words, analysed in %.2f s\n\n",
                test.GetParagraphs().size(), eval.GetCounts().gold, seconds);
    (void)bytes;
    eval.Print();
    EngineExit();
    return 0;
}
