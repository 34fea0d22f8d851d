// The new-word model alone: trains CharModelTrainer on the first days of the
// corpus, writes and loads NewWord.cm, labels the held-out days with CCharModel
// and scores its words against the corpus (words as byte spans), with the
// training time, file size, load time and decoding speed. Prints figures; never
// fails on them.
//
// Usage: bench_charmodel [--corpus PATH] [--data DIR] [--train-days 1-27] [--test-days 28-31]
//                        [--iterations N] [--sweep] [--min-pair N] [--prune N] [--no-skip] [--keep FILE] [--repeats N]
//                        [--model FILE] [--engine DIR]
// --model scores a model file instead of training one (and times its load in a
// fresh process); --engine names the engine base directory whose segmentation
// is timed on the same sentences for comparison (default build/bin/Morv).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "bench/BenchClock.h"
#include "engine/Engine.h"
#include "engine/EngineContext.h"
#include "segment/CCharModel.h"
#include "segment/CCharset.h"
#include "segment/CPreProcess.h"
#include "segment/CSegment.h"
#include "tools/trainer/CharClassSource.h"
#include "tools/trainer/CharModelTrainer.h"
#include "tools/trainer/CharModelWriter.h"
#include "tools/trainer/CorpusReader.h"

namespace {

// One test sentence: the paragraph's text cut after every character the engine
// ends a sentence with (classes 2 and 28), and the gold word spans in it.
struct TestSentence {
    std::string text;
    std::vector<std::pair<int, int>> gold;
    std::vector<bool> oov;
};

int CharLength(const std::string& s, size_t at)
{
    return (static_cast<unsigned char>(s[at]) >= 0x80 && at + 1 < s.size()) ? 2 : 1;
}

std::vector<TestSentence> CutSentences(const std::vector<Paragraph>& paragraphs, const CCharset& charset,
                                       const std::set<std::string>& vocabulary)
{
    std::vector<TestSentence> out;
    for (const Paragraph& p : paragraphs) {
        const std::string text = p.Text();
        std::vector<std::pair<int, int>> spans;
        std::vector<bool> oov;
        int at = 0;
        for (const CorpusToken& t : p.tokens) {
            spans.emplace_back(at, at + static_cast<int>(t.word.size()));
            oov.push_back(vocabulary.count(t.word) == 0);
            at += static_cast<int>(t.word.size());
        }
        size_t begin = 0, w = 0;
        for (size_t i = 0; i < text.size();) {
            const int n = CharLength(text, i);
            const unsigned char* b = reinterpret_cast<const unsigned char*>(text.data() + i);
            const int key = n == 2 ? b[0] * 256 + b[1] : b[0];
            const int cls = charset.GetClass(key);
            i += static_cast<size_t>(n);
            if (cls == 2 || cls == 28 || i == text.size()) {
                TestSentence s;
                s.text = text.substr(begin, i - begin);
                // Gold words inside the sentence; one that straddles its end
                // (rare) counts as missed.
                for (; w < spans.size() && spans[w].first < static_cast<int>(i); ++w) {
                    s.gold.emplace_back(spans[w].first - static_cast<int>(begin), spans[w].second - static_cast<int>(begin));
                    s.oov.push_back(oov[w]);
                }
                out.push_back(std::move(s));
                begin = i;
            }
        }
    }
    return out;
}

struct Score {
    size_t gold = 0, system = 0, correct = 0, oovGold = 0, oovCorrect = 0, chars = 0;
    // Proposed words that the training days never show (what the model adds to
    // a dictionary's lattice), and how many of them are right.
    size_t newWords = 0, newCorrect = 0;
    // Correct and proposed words by confidence band (margin in score units),
    // all of them and the new ones.
    std::vector<size_t> bandWords, bandCorrect, bandNew, bandNewCorrect;
    double F() const { return 2.0 * correct / static_cast<double>(gold + system); }
    double Precision() const { return static_cast<double>(correct) / static_cast<double>(system); }
    double Recall() const { return static_cast<double>(correct) / static_cast<double>(gold); }
    double OovRecall() const { return oovGold ? static_cast<double>(oovCorrect) / static_cast<double>(oovGold) : 0; }
};

const double kBands[] = {0.25, 0.5, 1, 2, 4, 8, 1e30}; // upper bounds, as fractions of the median margin

struct Proposed {
    float margin;
    bool correct;
    bool isNew;
};

Score Evaluate(const CCharModel& model, const std::vector<TestSentence>& test, const std::set<std::string>& vocabulary,
               double* medianMargin = nullptr)
{
    Score score;
    CCharModel::Workspace ws;
    std::vector<float> margins;
    std::vector<Proposed> words;
    for (const TestSentence& s : test) {
        model.Words(s.text.data(), static_cast<int>(s.text.size()), ws);
        score.chars += static_cast<size_t>(ws.GetCharCount());
        std::set<std::pair<int, int>> system;
        for (const CCharModel::Word& w : ws.GetWords())
            system.emplace(w.start, w.end);
        score.system += system.size();
        score.gold += s.gold.size();
        for (size_t i = 0; i < s.gold.size(); ++i) {
            const bool hit = system.count(s.gold[i]) > 0;
            score.correct += hit ? 1 : 0;
            if (s.oov[i]) {
                ++score.oovGold;
                score.oovCorrect += hit ? 1 : 0;
            }
        }
        std::set<std::pair<int, int>> gold(s.gold.begin(), s.gold.end());
        for (const CCharModel::Word& w : ws.GetWords()) {
            const bool correct = gold.count({w.start, w.end}) > 0;
            const bool isNew = vocabulary.count(s.text.substr(static_cast<size_t>(w.start),
                                                              static_cast<size_t>(w.end - w.start))) == 0;
            words.push_back({w.confidence, correct, isNew});
            score.newWords += isNew ? 1 : 0;
            score.newCorrect += isNew && correct ? 1 : 0;
            if (w.confidence < 1e30f)
                margins.push_back(w.confidence);
        }
    }
    if (medianMargin != nullptr && !margins.empty()) {
        std::nth_element(margins.begin(), margins.begin() + static_cast<long>(margins.size() / 2), margins.end());
        const double median = margins[margins.size() / 2];
        *medianMargin = median;
        const size_t bands = sizeof kBands / sizeof kBands[0];
        score.bandWords.assign(bands, 0);
        score.bandCorrect.assign(bands, 0);
        score.bandNew.assign(bands, 0);
        score.bandNewCorrect.assign(bands, 0);
        for (const Proposed& w : words) {
            size_t b = 0;
            while (b + 1 < bands && w.margin > kBands[b] * median)
                ++b;
            ++score.bandWords[b];
            score.bandCorrect[b] += w.correct ? 1 : 0;
            score.bandNew[b] += w.isNew ? 1 : 0;
            score.bandNewCorrect[b] += w.isNew && w.correct ? 1 : 0;
        }
    }
    return score;
}

long FileSize(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

int ParseRange(const char* s, int& first, int& last)
{
    return std::sscanf(s, "%d-%d", &first, &last) == 2 ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string corpus = std::string(MORV_BINARY_DIR) + "/data/pd199801.txt";
    std::string dataDir = std::string(MORV_SOURCE_DIR) + "/data";
    int trainFirst = 1, trainLast = 27, testFirst = 28, testLast = 31, repeats = 3;
    bool sweep = false;
    std::string modelPath;
    std::string keepPath; // where the trained model is moved, to score it with morv-eval --model
    std::string engineDir = std::string(MORV_BINARY_DIR) + "/bin/Morv";
    CharModelTrainer::Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--corpus" && more)
            corpus = argv[++i];
        else if (a == "--data" && more)
            dataDir = argv[++i];
        else if (a == "--train-days" && more && ParseRange(argv[i + 1], trainFirst, trainLast))
            ++i;
        else if (a == "--test-days" && more && ParseRange(argv[i + 1], testFirst, testLast))
            ++i;
        else if (a == "--iterations" && more)
            options.iterations = std::atoi(argv[++i]);
        else if (a == "--min-pair" && more)
            options.minPairCount = std::atoi(argv[++i]);
        else if (a == "--prune" && more)
            options.pruneBelow = std::atoi(argv[++i]);
        else if (a == "--keep" && more)
            keepPath = argv[++i];
        else if (a == "--no-skip")
            options.skipPairs = false;
        else if (a == "--repeats" && more)
            repeats = std::max(1, std::atoi(argv[++i]));
        else if (a == "--sweep")
            sweep = true;
        else if (a == "--model" && more)
            modelPath = argv[++i];
        else if (a == "--engine" && more)
            engineDir = argv[++i];
        else {
            std::fprintf(stderr,
                         "usage: bench_charmodel [--corpus PATH] [--data DIR] [--train-days 1-27] [--test-days 28-31]\n"
                         "                       [--iterations N] [--sweep] [--min-pair N] [--prune N] [--no-skip] [--keep FILE] [--repeats N]\n"
                         "                       [--model FILE] [--engine DIR]\n"
                         "  --sweep  scores the model after every pass, up to --iterations\n"
                         "  --model  scores this model file instead of training one\n"
                         "  --engine times this engine's segmentation on the same sentences\n");
            return 2;
        }
    }

    // A given model is loaded first, while the process is fresh: that load pays
    // for every page it touches, as the engine's start-up would.
    double firstLoadCpu = 0, firstLoadWall = 0;
    if (!modelPath.empty()) {
        const double cpu = CpuNow(), wall = WallNow();
        CCharModel first;
        if (!first.Load(modelPath.c_str())) {
            std::fprintf(stderr, "bench_charmodel: the model %s does not load\n", modelPath.c_str());
            return 1;
        }
        firstLoadCpu = CpuNow() - cpu;
        firstLoadWall = WallNow() - wall;
    }

    CharClassSource classes;
    if (!classes.Load(dataDir + "/charclasses.txt")) {
        std::fprintf(stderr, "bench_charmodel: cannot read %s/charclasses.txt\n", dataDir.c_str());
        return 1;
    }
    CCharset charset;
    classes.FillCharset(charset);
    CorpusReader train, test;
    if (!train.Read(corpus, 19980100 + trainFirst, 19980100 + trainLast) || train.GetParagraphs().empty() ||
        !test.Read(corpus, 19980100 + testFirst, 19980100 + testLast) || test.GetParagraphs().empty()) {
        std::fprintf(stderr, "bench_charmodel: no training or test paragraphs in %s\n", corpus.c_str());
        return 1;
    }
    std::set<std::string> vocabulary;
    for (const Paragraph& p : train.GetParagraphs())
        for (const CorpusToken& t : p.tokens)
            vocabulary.insert(t.word);
    const std::vector<TestSentence> sentences = CutSentences(test.GetParagraphs(), charset, vocabulary);

    char dirTemplate[] = "/tmp/bench-charmodel-XXXXXX";
    const char* dir = mkdtemp(dirTemplate);
    if (dir == nullptr) {
        std::fprintf(stderr, "bench_charmodel: cannot make a temporary directory\n");
        return 1;
    }
    std::string path = std::string(dir) + "/NewWord.cm";

    std::printf("train 1998-01-%02d..%02d: %zu paragraphs; test 1998-01-%02d..%02d: %zu paragraphs, %zu sentences\n",
                trainFirst, trainLast, train.GetParagraphs().size(), testFirst, testLast, test.GetParagraphs().size(),
                sentences.size());
    std::printf("options: %d iterations, pairs seen at least %d times, rows within +-%d pruned\n\n", options.iterations,
                options.minPairCount, options.pruneBelow);

    CharModelTrainer trainer(charset, options);
    double trainCpu = 0, trainWall = 0;
    if (modelPath.empty()) {
        double sweepCpu = 0; // evaluation time inside the training run, left out of the training time
        if (sweep)
            std::printf("| passes | P | R | F | OOV recall | file MB |\n|---:|---:|---:|---:|---:|---:|\n");
        auto afterPass = [&](int pass) {
            const double t = CpuNow();
            CCharModel model;
            if (CharModelWriter::Write(path, trainer.BuildImage()) && model.Load(path.c_str())) {
                const Score s = Evaluate(model, sentences, vocabulary);
                std::printf("| %d | %.4f | %.4f | %.4f | %.4f | %.1f |\n", pass, s.Precision(), s.Recall(), s.F(),
                            s.OovRecall(), static_cast<double>(FileSize(path)) / 1e6);
                std::fflush(stdout);
            }
            sweepCpu += CpuNow() - t;
        };
        const double cpu0 = CpuNow(), wall0 = WallNow();
        if (sweep)
            trainer.Train(train.GetParagraphs(), afterPass);
        else
            trainer.Train(train.GetParagraphs());
        const bool written = trainer.Write(path);
        trainCpu = CpuNow() - cpu0 - sweepCpu;
        trainWall = WallNow() - wall0 - sweepCpu;
        if (!written) {
            std::fprintf(stderr, "bench_charmodel: cannot write %s\n", path.c_str());
            return 1;
        }
        if (sweep)
            std::printf("\n");
    } else {
        path = modelPath;
    }
    const CharModelTrainer::Report& r = trainer.GetReport();

    // Load time: the best of a few loads.
    CCharModel model;
    double load = 1e30;
    for (int k = 0; k < 5; ++k) {
        const double t = CpuNow();
        CCharModel fresh;
        if (!fresh.Load(path.c_str())) {
            std::fprintf(stderr, "bench_charmodel: the model %s does not load\n", path.c_str());
            return 1;
        }
        load = std::min(load, CpuNow() - t);
    }
    model.Load(path.c_str());

    double median = 0;
    const Score s = Evaluate(model, sentences, vocabulary, &median);

    // Decoding speed: Label (Viterbi) and Words (Viterbi and the margins) over
    // every test sentence, the best of the repeats, per CPU second.
    CCharModel::Workspace ws;
    double labelCpu = 1e30, wordsCpu = 1e30;
    long long sink = 0;
    for (int k = 0; k < repeats; ++k) {
        double t = CpuNow();
        for (const TestSentence& x : sentences)
            sink += model.Label(x.text.data(), static_cast<int>(x.text.size()), ws);
        labelCpu = std::min(labelCpu, CpuNow() - t);
        t = CpuNow();
        for (const TestSentence& x : sentences)
            sink += model.Words(x.text.data(), static_cast<int>(x.text.size()), ws);
        wordsCpu = std::min(wordsCpu, CpuNow() - t);
    }

    // The engine's segmentation (pre-processing and best path) on the same
    // sentences, for a ratio measured in the same run.
    double segmentCpu = 0;
    if (EngineInit(engineDir.c_str()) && TheEngine().model && TheEngine().model->core.coreDict) {
        const CModel& e = *TheEngine().model;
        CPreProcess pre(e.core.charset.get(), e.core.coreDict.get(), TheEngine().userDict.get());
        CSegment segment(e.core.coreDict.get(), e.core.unigram.get(), e.core.bigram.get());
        segmentCpu = 1e30;
        for (int k = 0; k < repeats; ++k) {
            const double t = CpuNow();
            for (const TestSentence& x : sentences) {
                const char* p = x.text.c_str();
                while (*p != '\0') {
                    const char* next = pre.BuildLattice(p);
                    if (pre.GetAtomCount() <= 2 || next <= p)
                        break;
                    sink += segment.Segment(pre.GetLattice(), pre.GetSlotCount(), pre.GetSlotSizes(), pre.GetAtomCount());
                    p = next;
                }
            }
            segmentCpu = std::min(segmentCpu, CpuNow() - t);
        }
        EngineExit();
    }

    std::printf("| measure | value |\n|---|---|\n");
    if (modelPath.empty()) {
        std::printf("| training data | %zu sentences, %zu characters, %d distinct |\n", r.sentences, r.characters,
                    r.chars);
        std::printf("| features | %d pairs, %d skip pairs seen; %d and %d kept |\n", r.pairsSeen, r.skipsSeen,
                    model.GetPairCount(), model.GetSkipCount());
        std::printf("| training time (%d passes, with writing) | cpu %.2f s, wall %.2f s |\n", options.iterations,
                    trainCpu, trainWall);
        std::printf("| sentences wrong in the last pass | %zu (%.1f%%) |\n", r.updates,
                    100.0 * static_cast<double>(r.updates) / static_cast<double>(r.sentences));
    } else {
        std::printf("| model | %s: %d characters, %d pairs, %d skip pairs |\n", path.c_str(), model.GetCharCount(),
                    model.GetPairCount(), model.GetSkipCount());
    }
    std::printf("| file size | %ld bytes (%.2f MB) |\n", FileSize(path), static_cast<double>(FileSize(path)) / 1e6);
    if (!modelPath.empty())
        std::printf("| load time, fresh process | %.2f ms cpu, %.2f ms wall |\n", firstLoadCpu * 1e3, firstLoadWall * 1e3);
    std::printf("| load time, best of 5 | %.2f ms cpu |\n", load * 1e3);
    std::printf("| segmentation precision | %.4f |\n", s.Precision());
    std::printf("| segmentation recall | %.4f |\n", s.Recall());
    std::printf("| segmentation F1 | %.4f |\n", s.F());
    std::printf("| OOV recall (%zu OOV words) | %.4f |\n", s.oovGold, s.OovRecall());
    std::printf("| IV recall | %.4f |\n",
                static_cast<double>(s.correct - s.oovCorrect) / static_cast<double>(s.gold - s.oovGold));
    std::printf("| proposed words the training days lack | %zu, precision %.4f |\n", s.newWords,
                s.newWords ? static_cast<double>(s.newCorrect) / static_cast<double>(s.newWords) : 0.0);
    std::printf("| decoding, Label | %.0f chars/s (%.1f ns/char) |\n", static_cast<double>(s.chars) / labelCpu,
                labelCpu * 1e9 / static_cast<double>(s.chars));
    std::printf("| decoding, Words with margins | %.0f chars/s (%.1f ns/char) |\n", static_cast<double>(s.chars) / wordsCpu,
                wordsCpu * 1e9 / static_cast<double>(s.chars));
    if (segmentCpu > 0)
        std::printf("| engine segmentation, same sentences | %.0f chars/s (%.1f ns/char); Label costs %.2f of it |\n",
                    static_cast<double>(s.chars) / segmentCpu, segmentCpu * 1e9 / static_cast<double>(s.chars),
                    labelCpu / segmentCpu);
    std::printf("\nPrecision of the proposed words by margin (median margin %.3f):\n", median);
    std::printf("| margin up to | words | precision | new words | precision |\n|---:|---:|---:|---:|---:|\n");
    auto ratio = [](size_t a, size_t b) { return b ? static_cast<double>(a) / static_cast<double>(b) : 0.0; };
    for (size_t b = 0; b < s.bandWords.size(); ++b) {
        if (kBands[b] < 1e29)
            std::printf("| %.2f x median = %.3f", kBands[b], kBands[b] * median);
        else
            std::printf("| above");
        std::printf(" | %zu | %.4f | %zu | %.4f |\n", s.bandWords[b], ratio(s.bandCorrect[b], s.bandWords[b]),
                    s.bandNew[b], ratio(s.bandNewCorrect[b], s.bandNew[b]));
    }
    if (modelPath.empty() && !keepPath.empty() && std::rename(path.c_str(), keepPath.c_str()) != 0)
        std::fprintf(stderr, "bench_charmodel: cannot keep the model as %s\n", keepPath.c_str());
    if (modelPath.empty())
        std::remove(path.c_str());
    ::rmdir(dir);
    return sink < 0 ? 1 : 0;
}
