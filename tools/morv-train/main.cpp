// morv-train: computes an engine base directory from the annotated corpus.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/trainer/ModelWriter.h"
#include "tools/trainer/SourceDir.h"
#include "tools/trainer/Trainer.h"

#ifndef MORV_DATA_SOURCE_DIR
#define MORV_DATA_SOURCE_DIR "data"
#endif
#ifndef MORV_TRAINER_VERSION
#define MORV_TRAINER_VERSION "3.1.0"
#endif
#ifndef MORV_INSTALLED_SOURCE_DIR
#define MORV_INSTALLED_SOURCE_DIR ""
#endif

namespace {

void Usage(std::FILE* to)
{
    std::fprintf(to,
                 "usage: morv-train [--days FIRST-LAST] [--data DIR] [--supplement LIST|none] [--allow-bad-lines]\n"
                 "                  [--quiet] CORPUS OUTPUT-DIR\n"
                 "       morv-train --help | --version\n"
                 "  CORPUS      the segmented, tagged corpus (UTF-8): one paragraph a line with\n"
                 "              its id (19980101-01-001-001/m  word/tag  word/tag ...), or one\n"
                 "              sentence a line without ids (word/tag items separated by blanks)\n"
                 "  OUTPUT-DIR  the engine base directory to write (Configure.xml, Data/)\n"
                 "  --days      train on the paragraphs of these days of January 1998 only\n"
                 "              (1-27), or of these dates (19980101-19980127)\n"
                 "  --data      the directory of charclasses.txt, tagset.txt, Configure.xml\n"
                 "  --supplement  the modern word list (\"word frequency tag\" lines, UTF-8) of\n"
                 "              the supplementary lexicon, or none; default %s, left out\n"
                 "              with a warning when it is missing (a LIST given here must exist)\n"
                 "  --allow-bad-lines  train even when more than 5%% of the lines cannot be\n"
                 "              read (they are skipped and counted)\n"
                 "  --quiet     print nothing but errors\n",
                 SupplementLexicon::kDefaultList);
}

int ParseDay(const std::string& s)
{
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end || v <= 0)
        return -1;
    if (v <= 31)
        return 19980100 + static_cast<int>(v);
    return v >= 10000101 && v <= 99991231 ? static_cast<int>(v) : -1;
}

} // namespace

int main(int argc, char** argv)
{
    TrainerOptions o;
    o.sourceDir = DefaultSourceDir(MORV_INSTALLED_SOURCE_DIR, MORV_DATA_SOURCE_DIR);
    std::string positional[2];
    int npos = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--allow-bad-lines") {
            o.allowBadLines = true;
        } else if (a == "--supplement" && i + 1 < argc) {
            const std::string v = argv[++i];
            o.supplementList = v == "none" ? std::string() : v;
            o.supplementRequired = v != "none";
        } else if ((a == "--days" || a == "--data") && i + 1 < argc) {
            std::string v = argv[++i];
            if (a == "--data") {
                o.sourceDir = v;
                continue;
            }
            size_t dash = v.find('-');
            o.firstDate = ParseDay(v.substr(0, dash));
            o.lastDate = dash == std::string::npos ? o.firstDate : ParseDay(v.substr(dash + 1));
            if (o.firstDate < 0 || o.lastDate < 0 || o.lastDate < o.firstDate) {
                std::fprintf(stderr, "morv-train: bad --days %s\n", v.c_str());
                return 2;
            }
        } else if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("morv-train %s\n", MORV_TRAINER_VERSION);
            return 0;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "morv-train: unknown option '%s'\n", a.c_str());
            Usage(stderr);
            return 2;
        } else if (npos < 2) {
            positional[npos++] = a;
        } else {
            Usage(stderr);
            return 2;
        }
    }
    if (npos != 2) {
        Usage(stderr);
        return 2;
    }
    o.corpusPath = positional[0];
    o.outputDir = positional[1];
    if (ModelWriter::WouldReplace(o.outputDir, o.corpusPath)) {
        std::fprintf(stderr, "morv-train: the output directory %s would overwrite the corpus %s\n",
                     o.outputDir.c_str(), o.corpusPath.c_str());
        return 2;
    }

    Trainer trainer(o);
    int rc = trainer.Run();
    if (rc != 0)
        return rc;
    const TrainerReport& r = trainer.GetReport();
    if (!o.quiet) {
        std::printf("morv-train: %zu paragraphs, %zu tokens, %zu sentences, %zu bad lines skipped\n",
                    r.paragraphs, r.tokens, r.sentences, r.badLines);
        std::printf("dictionary: %d words\n", r.words);
        std::printf("number and time tokens made one atom: %zu of %zu (%.2f%%)\n", r.numericOneAtom,
                    r.numericTokens, r.numericTokens ? 100.0 * r.numericOneAtom / r.numericTokens : 0.0);
        std::printf("person names: %zu; cut at both ends into 2+ tokens by %s: %zu (%.2f%%)\n", r.names,
                    r.realSegmentation ? "segmentation" : "character split", r.namesAligned,
                    r.names ? 100.0 * r.namesAligned / r.names : 0.0);
        std::printf("place names: %zu; organisation names: %zu\n", r.places, r.organizations);
        std::printf("new-word model: %d characters, %d pair and %d skip-pair rows, %zu bytes, in %.2f s\n",
                    r.charModelChars, r.charModelPairs, r.charModelSkips, r.charModelBytes, r.charModelSeconds);
        std::printf("supplementary lexicon: %s, in %.2f s\n", r.supplementSource.c_str(), r.supplementSeconds);
        if (!r.supplementLeftOut.empty())
            std::printf("  left out: %s\n", r.supplementLeftOut.c_str());
        std::printf("person-name model: %d characters, %d pair rows, %zu bytes, in %.2f s\n", r.nameModelChars,
                    r.nameModelPairs, r.nameModelBytes, r.nameModelSeconds);
        std::printf("part-of-speech model: %zu tokens, %zu weights, %zu bytes, in %.2f s\n", r.posModelTokens,
                    r.posModelEntries, r.posModelBytes, r.posModelSeconds);
        std::printf("training time: %.2f s (%.2f s of processor time)\n", r.seconds, r.cpuSeconds);
    }
    return 0;
}
