// morv-eval: scores the analyser against annotated text. By default it trains on
// the first days of the corpus, analyses the held-out days with the engine and
// scores the result against the corpus annotation; it also scores a given model
// on a given test corpus, or a plain segmented file against a gold file.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>
#include <memory>
#include <set>
#include <string>

#include "engine/CModel.h"
#include "engine/morv.hpp"
#include "tools/morv-eval/Evaluator.h"
#include "tools/morv-eval/PlainScorer.h"
#include "tools/morv-eval/WorkDirLock.h"
#include "tools/trainer/GbkConverter.h"
#include "tools/trainer/ModelWriter.h"
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
#ifndef MORV_TRAINER_VERSION
#define MORV_TRAINER_VERSION "3.1.0"
#endif

namespace {

const char kUsage[] =
    "usage: morv-eval [--corpus PATH] [--work DIR] [--data DIR] [--train-days 1-27] [--test-days 28-31]\n"
    "                 [--test FILE] [--model DIR] [--vocab WORDLIST] [--dump FILE]\n"
    "       morv-eval --system FILE --gold FILE [--vocab WORDLIST]\n"
    "       morv-eval --help | --version\n"
    "Trains on the corpus days given (default 1998-01-01..27) into DIR, analyses the\n"
    "test days (default 01-28..31) with the engine and scores segmentation, OOV\n"
    "recall, part-of-speech tags, person, place and organisation names against the\n"
    "annotation.\n"
    "  --corpus PATH     the annotated corpus (UTF-8): paragraphs with ids, or one\n"
    "                    sentence a line of word/tag items (then all of it is trained on)\n"
    "  --work DIR        where the trained models go (one run at a time)\n"
    "  --data DIR        the directory of charclasses.txt, tagset.txt, Configure.xml\n"
    "  --train-days A-B  --test-days A-B  days of January 1998\n"
    "  --test FILE       score on this annotated file (with or without ids) instead\n"
    "                    of the test days\n"
    "  --model DIR       score this model directory; nothing is trained\n"
    "  --vocab WORDLIST  words (one a line, UTF-8) that count as known for OOV recall;\n"
    "                    default: the words of the training corpus\n"
    "  --dump FILE       write the engine's words and the gold words of every line (GBK;\n"
    "                    names of several words in brackets, [w/t w/t]nt)\n"
    "  --articles        analyse the paragraphs of each article (one id's date, page\n"
    "                    and article) as one text, one paragraph a line, instead of\n"
    "                    each paragraph alone\n"
    "  --set KEY=VALUE   set a key of the trained model's Configure.xml before scoring\n"
    "                    (--set NewWords=off scores the classic pipeline)\n"
    "  --system FILE --gold FILE\n"
    "                    score a segmentation (words separated by blanks, one sentence\n"
    "                    a line) against a gold file of the same form; no engine\n";

bool ReadVocabulary(const std::string& path, std::set<std::string>& words, bool toGbk)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    GbkConverter converter;
    for (std::string line; std::getline(in, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        const size_t blank = line.find_first_of(" \t");
        if (blank != std::string::npos)
            line.erase(blank); // a jieba-style list: the word comes first
        if (line.empty())
            continue;
        std::string gbk;
        if (!toGbk)
            words.insert(line);
        else if (converter.ToGbk(line, gbk))
            words.insert(gbk);
    }
    return true;
}

// Gives each key its value in a Configure.xml: the element's text replaced, or
// the element added before the closing tag of the root.
bool SetKeys(const std::string& path, const std::vector<std::pair<std::string, std::string>>& settings)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    for (const auto& kv : settings) {
        const std::string open = "<" + kv.first + ">", close = "</" + kv.first + ">";
        const size_t at = text.find(open);
        const size_t end = at == std::string::npos ? at : text.find(close, at);
        if (at != std::string::npos && end != std::string::npos) {
            text.replace(at + open.size(), end - at - open.size(), kv.second);
        } else {
            const size_t root = text.rfind("</Configure>");
            text.insert(root == std::string::npos ? text.size() : root, open + kv.second + close + "\n");
        }
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

} // namespace

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
    std::string testPath, modelDir, vocabPath, systemPath, goldPath;
    std::vector<std::pair<std::string, std::string>> settings;
    bool daysGiven = false;
    bool byArticle = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("morv-eval %s\n", MORV_TRAINER_VERSION);
            return 0;
        } else if (a == "--corpus" && hasValue)
            o.corpusPath = argv[++i];
        else if (a == "--work" && hasValue)
            o.outputDir = argv[++i];
        else if (a == "--data" && hasValue)
            o.sourceDir = argv[++i];
        else if (a == "--train-days" && hasValue && std::sscanf(argv[i + 1], "%d-%d", &o.firstDate, &o.lastDate) == 2) {
            o.firstDate += 19980100;
            o.lastDate += 19980100;
            daysGiven = true;
            ++i;
        } else if (a == "--test-days" && hasValue && std::sscanf(argv[i + 1], "%d-%d", &testFirst, &testLast) == 2) {
            testFirst += 19980100;
            testLast += 19980100;
            ++i;
        } else if (a == "--dump" && hasValue)
            dumpPath = argv[++i];
        else if (a == "--articles")
            byArticle = true;
        else if (a == "--test" && hasValue)
            testPath = argv[++i];
        else if (a == "--model" && hasValue)
            modelDir = argv[++i];
        else if (a == "--vocab" && hasValue)
            vocabPath = argv[++i];
        else if (a == "--system" && hasValue)
            systemPath = argv[++i];
        else if (a == "--gold" && hasValue)
            goldPath = argv[++i];
        else if (a == "--set" && hasValue && std::string(argv[i + 1]).find('=') != std::string::npos) {
            const std::string kv = argv[++i];
            const std::string key = kv.substr(0, kv.find('=')), value = kv.substr(kv.find('=') + 1);
            // The engine's own table of keys says which exist and what they take.
            std::string why;
            if (!CModel::CheckSetting(key, value, &why)) {
                std::fprintf(stderr, "morv-eval: --set %s\n", why.c_str());
                return 2;
            }
            settings.emplace_back(key, value);
        }
        else {
            std::fprintf(stderr, "morv-eval: bad option '%s'\n%s", a.c_str(), kUsage);
            return 2;
        }
    }

    // No output may replace an input: the work directory's models, the dump.
    for (const std::string& input : {o.corpusPath, testPath, vocabPath, systemPath, goldPath}) {
        if (input.empty())
            continue;
        if ((modelDir.empty() && systemPath.empty() && ModelWriter::WouldReplace(o.outputDir, input)) ||
            (!dumpPath.empty() && ModelWriter::WouldReplace(dumpPath, input))) {
            std::fprintf(stderr, "morv-eval: an output would overwrite the input %s: refused\n", input.c_str());
            return 2;
        }
    }

    std::set<std::string> vocabulary;
    const bool haveVocabulary = !vocabPath.empty();
    // A plain segmented file: words in the file's own encoding, no engine.
    if (!systemPath.empty() || !goldPath.empty()) {
        if (systemPath.empty() || goldPath.empty()) {
            std::fprintf(stderr, "morv-eval: --system and --gold go together\n");
            return 2;
        }
        if (haveVocabulary && !ReadVocabulary(vocabPath, vocabulary, false)) {
            std::fprintf(stderr, "morv-eval: cannot read the word list %s\n", vocabPath.c_str());
            return 2;
        }
        PlainScorer scorer;
        if (haveVocabulary)
            scorer.SetVocabulary(&vocabulary);
        std::string error;
        if (!scorer.Score(systemPath, goldPath, &error)) {
            std::fprintf(stderr, "morv-eval: %s\n", error.c_str());
            return 2;
        }
        scorer.Print();
        return 0;
    }

    if (haveVocabulary && !ReadVocabulary(vocabPath, vocabulary, true)) {
        std::fprintf(stderr, "morv-eval: cannot read the word list %s\n", vocabPath.c_str());
        return 2;
    }
    WorkDirLock workLock; // held until the scores are printed
    if (modelDir.empty()) {
        std::string lockError;
        if (!workLock.Take(o.outputDir, &lockError)) {
            std::fprintf(stderr, "morv-eval: %s\n", lockError.c_str());
            return 2;
        }
        // Without ids the whole corpus is trained on; then --test says what to score.
        CorpusReader probe;
        const bool withIds = !probe.Read(o.corpusPath, 0, 0) || probe.HasParagraphIds();
        if (!withIds) {
            if (testPath.empty()) {
                std::fprintf(stderr, "morv-eval: %s has no paragraph ids: give the held-out text with --test\n",
                             o.corpusPath.c_str());
                return 2;
            }
            if (daysGiven) {
                std::fprintf(stderr, "morv-eval: %s has no paragraph ids, so no days\n", o.corpusPath.c_str());
                return 2;
            }
            o.firstDate = o.lastDate = 0;
        }
        Trainer trainer(o);
        if (trainer.Run() != 0)
            return 1;
        if (!haveVocabulary)
            for (const Paragraph& p : trainer.GetCorpus().GetParagraphs())
                for (const CorpusToken& t : p.tokens)
                    vocabulary.insert(t.word);
        if (withIds)
            std::printf("Trained on 1998-01-%02d..01-%02d: %zu paragraphs, %zu words, in %.2f s\n",
                        o.firstDate % 100, o.lastDate % 100, trainer.GetReport().paragraphs,
                        trainer.GetReport().tokens, trainer.GetReport().seconds);
        else
            std::printf("Trained on %s: %zu sentences, %zu words, in %.2f s\n", o.corpusPath.c_str(),
                        trainer.GetReport().paragraphs, trainer.GetReport().tokens, trainer.GetReport().seconds);
        modelDir = o.outputDir;
        if (!settings.empty() && !SetKeys(modelDir + "/Configure.xml", settings)) {
            std::fprintf(stderr, "morv-eval: cannot change %s/Configure.xml\n", modelDir.c_str());
            return 1;
        }
    } else if (!settings.empty()) {
        std::fprintf(stderr, "morv-eval: --set changes only the models it trains, not --model's\n");
        return 2;
    } else if (!haveVocabulary) {
        std::printf("(no --vocab: OOV recall is not measured)\n");
    }

    CorpusReader test;
    const std::string testFile = testPath.empty() ? o.corpusPath : testPath;
    const int first = testPath.empty() ? testFirst : 0, last = testPath.empty() ? testLast : 0;
    if (!test.Read(testFile, first, last) || test.GetParagraphs().empty()) {
        std::fprintf(stderr, "morv-eval: no test paragraphs in %s\n", testFile.c_str());
        return 1;
    }
    std::unique_ptr<morv::Model> model;
    std::unique_ptr<morv::Analyzer> analyzer;
    try {
        model.reset(new morv::Model(modelDir));
        analyzer.reset(new morv::Analyzer(*model));
    } catch (const morv::Error& e) {
        std::fprintf(stderr, "morv-eval: %s\n", e.what());
        return 1;
    }
    Evaluator eval(vocabulary);
    FILE* dump = dumpPath.empty() ? nullptr : std::fopen(dumpPath.c_str(), "wb");
    auto t0 = std::chrono::steady_clock::now();
    std::vector<morv::Token> tokens;
    const std::vector<Paragraph>& paragraphs = test.GetParagraphs();
    std::vector<std::string> texts(paragraphs.size());
    std::vector<std::vector<morv::Token>> paragraphTokens(paragraphs.size());
    size_t straddling = 0; // tokens of an article that run over a paragraph's end
    for (size_t first = 0; first < paragraphs.size();) {
        // The paragraphs analysed as one text: one, or the article's.
        size_t last = first + 1;
        while (byArticle && last < paragraphs.size() && paragraphs[last].article != 0 &&
               paragraphs[last].date == paragraphs[first].date && paragraphs[last].article == paragraphs[first].article)
            ++last;
        std::string whole;
        std::vector<size_t> offsets;
        for (size_t k = first; k < last; ++k) {
            texts[k] = paragraphs[k].Text();
            if (k > first)
                whole += '\n';
            offsets.push_back(whole.size());
            whole += texts[k];
        }
        try {
            analyzer->Analyze(whole, tokens, morv::Encoding::Gbk, true);
        } catch (const morv::Error& e) {
            std::fprintf(stderr, "morv-eval: line %d: %s\n", paragraphs[first].line, e.what());
            return 1;
        }
        // Each token to its paragraph, in the paragraph's offsets; the line
        // breaks between paragraphs are no paragraph's.
        for (size_t k = first; k < last; ++k) {
            const size_t from = offsets[k - first], to = from + texts[k].size();
            for (const morv::Token& t : tokens) {
                if (t.start >= to || t.end <= from)
                    continue;
                if (t.start < from || t.end > to) {
                    ++straddling;
                    continue;
                }
                morv::Token local = t;
                // The words view the article's text, which is gone when scored.
                local.word = std::string_view();
                local.start -= from;
                local.end -= from;
                if (local.nameSplit >= from)
                    local.nameSplit -= from;
                for (morv::Part& part : local.parts) {
                    part.word = std::string_view();
                    part.start -= from;
                    part.end -= from;
                }
                paragraphTokens[k].push_back(local);
            }
        }
        first = last;
    }
    if (straddling > 0)
        std::fprintf(stderr, "morv-eval: %zu tokens ran over the end of a paragraph\n", straddling);
    for (size_t index = 0; index < paragraphs.size(); ++index) {
        const Paragraph& p = paragraphs[index];
        const std::string& text = texts[index];
        std::vector<Evaluator::Word> words;
        std::vector<Evaluator::Word> entities; // place and organisation names, whole
        std::string dumped = "S:";
        for (const morv::Token& t : paragraphTokens[index]) {
            const int start = static_cast<int>(t.start), end = static_cast<int>(t.end);
            const std::string tag(t.tag);
            const std::string corpusTag = Evaluator::CorpusTag(tag);
            if (corpusTag == "ns" || corpusTag == "nt")
                entities.push_back({start, end, tag});
            // A name made of several words counts as its words, and a full Chinese
            // name as surname and given name, as the corpus writes them.
            const size_t firstWord = words.size();
            if (!t.parts.empty()) {
                for (const morv::Part& part : t.parts)
                    words.push_back({static_cast<int>(part.start), static_cast<int>(part.end), std::string(part.tag)});
            } else if (t.nameSplit > t.start && t.nameSplit < t.end) {
                const int split = static_cast<int>(t.nameSplit);
                words.push_back({start, split, "nr"});
                words.push_back({split, end, "nr"});
            } else {
                words.push_back({start, end, tag, t.Has(MORV_FLAG_NEW_WORD)});
            }
            if (dump) {
                // A compound in brackets with its own tag, as the corpus writes it.
                for (size_t k = firstWord; k < words.size(); ++k) {
                    const Evaluator::Word& w = words[k];
                    dumped += std::string(" ") + (t.parts.empty() || k > firstWord ? "" : "[") +
                              text.substr(static_cast<size_t>(w.start), static_cast<size_t>(w.end - w.start)) + "/" +
                              w.tag;
                }
                if (!t.parts.empty())
                    dumped += "]" + tag;
            }
        }
        eval.Score(p, words, entities);
        if (dump) {
            dumped += "\nG:";
            size_t next = 0; // the next compound
            for (size_t k = 0; k < p.tokens.size(); ++k) {
                const bool opens = next < p.compounds.size() && p.compounds[next].first == k;
                dumped += std::string(" ") + (opens ? "[" : "") + p.tokens[k].word + "/" + p.tokens[k].tag;
                if (next < p.compounds.size() && p.compounds[next].last == k)
                    dumped += "]" + p.compounds[next++].tag;
            }
            std::fprintf(dump, "%s\n", dumped.c_str());
        }
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (testPath.empty())
        std::printf("Evaluated on 1998-01-%02d..01-%02d: %zu paragraphs, %zu words, analysed in %.2f s\n\n",
                    testFirst % 100, testLast % 100, test.GetParagraphs().size(), eval.GetCounts().gold, seconds);
    else
        std::printf("Evaluated on %s with the models of %s: %zu lines, %zu words, analysed in %.2f s\n\n",
                    testPath.c_str(), modelDir.c_str(), test.GetParagraphs().size(), eval.GetCounts().gold, seconds);
    if (dump)
        std::fclose(dump);
    eval.Print();
    return 0;
}
