// morv-eval: trains on the first days of the corpus, analyses the held-out days
// with the engine and scores the result against the corpus annotation.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>

#include "engine/morv.hpp"
#include "tools/morv-eval/Evaluator.h"
#include "tools/trainer/SourceDir.h"
#include "tools/trainer/Trainer.h"

#ifndef MORV_CORPUS_TEXT
#define MORV_CORPUS_TEXT "pd199801.txt"
#endif
#ifndef MORV_DATA_SOURCE_DIR
#define MORV_DATA_SOURCE_DIR "data"
#endif
#ifndef MORV_INSTALLED_SOURCE_DIR
#define MORV_INSTALLED_SOURCE_DIR ""
#endif
#ifndef MORV_EVAL_DIR
#define MORV_EVAL_DIR "eval-model"
#endif

int main(int argc, char** argv)
{
    TrainerOptions o;
    o.corpusPath = MORV_CORPUS_TEXT;
    o.sourceDir = DefaultSourceDir(MORV_INSTALLED_SOURCE_DIR, MORV_DATA_SOURCE_DIR);
    o.outputDir = MORV_EVAL_DIR;
    o.firstDate = 19980101;
    o.lastDate = 19980127;
    o.quiet = true;
    int testFirst = 19980128, testLast = 19980131;
    std::string dumpPath; // GBK: the engine's words and the corpus words of every paragraph
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--corpus" && i + 1 < argc)
            o.corpusPath = argv[++i];
        else if (a == "--work" && i + 1 < argc)
            o.outputDir = argv[++i];
        else if (a == "--data" && i + 1 < argc)
            o.sourceDir = argv[++i];
        else if (a == "--train-days" && i + 1 < argc && std::sscanf(argv[i + 1], "%d-%d", &o.firstDate, &o.lastDate) == 2) {
            o.firstDate += 19980100;
            o.lastDate += 19980100;
            ++i;
        } else if (a == "--test-days" && i + 1 < argc && std::sscanf(argv[i + 1], "%d-%d", &testFirst, &testLast) == 2) {
            testFirst += 19980100;
            testLast += 19980100;
            ++i;
        } else if (a == "--dump" && i + 1 < argc)
            dumpPath = argv[++i];
        else {
            std::fprintf(stderr, "usage: morv-eval [--corpus PATH] [--work DIR] [--data DIR] [--train-days 1-27] [--test-days 28-31] [--dump FILE]\n"
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
    std::printf("Trained on 1998-01-%02d..01-%02d: %zu paragraphs, %zu words, in %.2f s\n",
                o.firstDate % 100, o.lastDate % 100, trainer.GetReport().paragraphs, trainer.GetReport().tokens, trainer.GetReport().seconds);

    CorpusReader test;
    if (!test.Read(o.corpusPath, testFirst, testLast) || test.GetParagraphs().empty()) {
        std::fprintf(stderr, "morv-eval: no test paragraphs in %s\n", o.corpusPath.c_str());
        return 1;
    }
    std::unique_ptr<morv::Model> model;
    std::unique_ptr<morv::Analyzer> analyzer;
    try {
        model.reset(new morv::Model(o.outputDir));
        analyzer.reset(new morv::Analyzer(*model));
    } catch (const morv::Error& e) {
        std::fprintf(stderr, "morv-eval: %s\n", e.what());
        return 1;
    }
    Evaluator eval(vocabulary);
    FILE* dump = dumpPath.empty() ? nullptr : std::fopen(dumpPath.c_str(), "wb");
    auto t0 = std::chrono::steady_clock::now();
    size_t bytes = 0;
    std::vector<morv::Token> tokens;
    for (const Paragraph& p : test.GetParagraphs()) {
        std::string text = p.Text();
        bytes += text.size();
        std::vector<Evaluator::Word> words;
        try {
            analyzer->Analyze(text, tokens, morv::Encoding::Gbk, true);
        } catch (const morv::Error& e) {
            std::fprintf(stderr, "morv-eval: line %d: %s\n", p.line, e.what());
            return 1;
        }
        for (const morv::Token& t : tokens) {
            const int start = static_cast<int>(t.start), end = static_cast<int>(t.end);
            const std::string tag(t.tag);
            // A full Chinese name counts as surname and given name, as the corpus writes it.
            if (t.nameSplit > t.start && t.nameSplit < t.end) {
                const int split = static_cast<int>(t.nameSplit);
                words.push_back({start, split, "nr"});
                words.push_back({split, end, "nr"});
            } else {
                words.push_back({start, end, tag});
            }
        }
        eval.Score(p, words);
        if (dump) {
            std::string line = "S:";
            for (const Evaluator::Word& w : words)
                line += " " + text.substr(static_cast<size_t>(w.start), static_cast<size_t>(w.end - w.start)) + "/" + w.tag;
            line += "\nG:";
            for (const CorpusToken& t : p.tokens)
                line += " " + t.word + "/" + t.tag;
            std::fprintf(dump, "%s\n", line.c_str());
        }
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("Evaluated on 1998-01-%02d..01-%02d: %zu paragraphs, %zu words, analysed in %.2f s\n\n",
                testFirst % 100, testLast % 100, test.GetParagraphs().size(), eval.GetCounts().gold, seconds);
    (void)bytes;
    if (dump)
        std::fclose(dump);
    eval.Print();
    return 0;
}
