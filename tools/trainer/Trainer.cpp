#include "tools/trainer/Trainer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/trainer/CharModelTrainer.h"
#include "tools/trainer/CharModelWriter.h"
#include "tools/trainer/KeywordIdf.h"
#include "tools/trainer/ModelWriter.h"
#include "tools/trainer/NameModelTrainer.h"
#include "tools/trainer/TranslitKindTrainer.h"
#include "tools/trainer/TranslitModelTrainer.h"
#include "tools/trainer/OrgRoleScheme.h"
#include "tools/trainer/PersonRoleScheme.h"
#include "tools/trainer/PlaceRoleScheme.h"
#include "tools/trainer/PosModelTrainer.h"
#include "tagging/CPosLexicon.h"
#include "tools/trainer/RoleModelTrainer.h"
#include "tools/trainer/WordStatistics.h"

namespace fs = std::filesystem;

#ifndef MORV_TRAINER_VERSION
#define MORV_TRAINER_VERSION "3.1.0"
#endif

namespace {

bool CopyFile(const std::string& from, const std::string& to)
{
    std::ifstream in(from, std::ios::binary);
    if (!in)
        return false;
    std::stringstream ss;
    ss << in.rdbuf();
    return ModelWriter::WriteBytes(to, ss.str());
}

} // namespace

Trainer::Trainer(const TrainerOptions& o) : options(o) {}
Trainer::~Trainer() = default;

std::string Trainer::DataDir() const
{
    return (fs::path(options.outputDir) / "Data").string();
}

int Trainer::Run()
{
    auto t0 = std::chrono::steady_clock::now();
    const std::clock_t cpu0 = std::clock();
    ModelWriter::Batch batch; // the previous models stay until every new one is written
    if (!LoadSources() || !ReadCorpus())
        return 1;
    std::error_code ec;
    fs::create_directories(DataDir(), ec);
    if (ec) {
        std::fprintf(stderr, "morv-train: cannot create %s/Data: %s\n", options.outputDir.c_str(),
                     ec.message().c_str());
        return 1;
    }
    const std::vector<Paragraph>& paragraphs = reader.GetParagraphs();
    names.Collect(paragraphs);

    words = std::make_unique<WordStatistics>(charset, tagSet, paragraphs, names);
    if (!words->Build(DataDir()))
        return 1;
    report.words = words->GetWordCount();
    report.sentences = words->GetSentenceCount();
    if (!WriteSourceCopies() || !words->Write(DataDir())) {
        std::fprintf(stderr, "morv-train: cannot write the models into %s\n", options.outputDir.c_str());
        return 1;
    }

    if (!WriteKeywordTables())
        return 1;

    PersonRoleScheme personScheme(names);
    RoleModelTrainer persons(personScheme, *words, charset);
    persons.Learn(paragraphs, DataDir());
    report.names = persons.GetEntityCount();
    report.namesAligned = persons.GetAlignedCount();
    report.realSegmentation = persons.UsedRealSegmentation();
    if (!persons.Write(DataDir())) {
        std::fprintf(stderr, "morv-train: cannot write the %s models into %s\n", personScheme.Description().c_str(),
                     options.outputDir.c_str());
        return 1;
    }

    // Places, then organisations: the order the engine finds them in.
    PlaceRoleScheme placeScheme(paragraphs);
    OrgRoleScheme orgScheme(paragraphs);
    for (const RoleScheme* scheme : {static_cast<const RoleScheme*>(&placeScheme), static_cast<const RoleScheme*>(&orgScheme)}) {
        RoleModelTrainer entities(*scheme, *words, charset);
        entities.Learn(paragraphs, DataDir());
        (scheme == &placeScheme ? report.places : report.organizations) = entities.GetEntityCount();
        if (!entities.Write(DataDir())) {
            std::fprintf(stderr, "morv-train: cannot write the %s models into %s\n", scheme->Description().c_str(),
                         options.outputDir.c_str());
            return 1;
        }
    }

    if (options.newWordModel &&
        (!TrainNewWordModel() || !words->WriteNewWordTables(DataDir()) || !TrainPosModel())) {
        std::fprintf(stderr, "morv-train: cannot write the new-word models into %s\n", options.outputDir.c_str());
        return 1;
    }
    if (options.newWordModel && (!BuildSupplement() || !TrainNameModel()))
        return 1;
    words->MeasureNumericAtoms(report.numericTokens, report.numericOneAtom);
    if (!WriteProvenance())
        return 1;
    if (!batch.Commit())
        return 1;
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    report.cpuSeconds = static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;
    return 0;
}

bool Trainer::TrainNewWordModel()
{
    const auto charStart = std::chrono::steady_clock::now();
    CharModelTrainer newWords(charset, options.charModel);
    newWords.Train(reader.GetParagraphs());
    const CharModelWriter::Image image = newWords.BuildImage();
    const std::string bytes = CharModelWriter::Serialize(image);
    if (bytes.empty() || !CharModelWriter::WriteAtomically(DataDir() + "/NewWord.cm", bytes)) {
        std::fprintf(stderr, "morv-train: cannot write the new-word model into %s\n", options.outputDir.c_str());
        return false;
    }
    report.charModelChars = static_cast<int>(image.charKeys.size());
    report.charModelPairs = static_cast<int>(image.pairKeys.size());
    report.charModelSkips = static_cast<int>(image.skipKeys.size());
    report.charModelBytes = bytes.size();
    report.charModelSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - charStart).count();
    return true;
}

bool Trainer::BuildSupplement()
{
    const auto start = std::chrono::steady_clock::now();
    SupplementLexicon supplement(charset, tagSet, *words->GetDictionary(), names);
    std::string error;
    if (options.supplementList.empty()) {
        report.supplementSource = "none";
    } else if (!supplement.ReadList(options.supplementList, &error)) {
        if (options.supplementRequired) {
            std::fprintf(stderr, "morv-train: %s\n", error.c_str());
            return false;
        }
        std::fprintf(stderr, "morv-train: warning: %s; the supplementary lexicon stays empty\n", error.c_str());
        report.supplementSource = "none (" + error + ")";
    } else {
        supplement.Build(reader.GetParagraphs(), report.tokens, options.supplement);
        report.supplementEntries = supplement.GetEntryCount();
        report.supplementWords = supplement.GetWords().size();
        report.supplementSource = std::to_string(report.supplementWords) + " words of the " +
                                  std::to_string(report.supplementEntries) + " entries of " + options.supplementList;
        for (int r = SupplementLexicon::kKept + 1; r < SupplementLexicon::kReasonCount; ++r) {
            const size_t n = supplement.GetReasonCount(static_cast<SupplementLexicon::Reason>(r));
            if (n > 0)
                report.supplementLeftOut += std::string(report.supplementLeftOut.empty() ? "" : ", ") +
                                            SupplementLexicon::ReasonName(r) + " " + std::to_string(n);
        }
    }
    if (!supplement.Write(DataDir())) {
        std::fprintf(stderr, "morv-train: cannot write the supplementary lexicon into %s\n",
                     options.outputDir.c_str());
        return false;
    }
    report.supplementSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return true;
}

bool Trainer::TrainNameModel()
{
    const auto start = std::chrono::steady_clock::now();
    NameModelTrainer persons(charset);
    persons.Train(reader.GetParagraphs());
    if (!persons.Write(DataDir() + "/PersonName.nm")) {
        std::fprintf(stderr, "morv-train: cannot write the person-name model into %s\n", options.outputDir.c_str());
        return false;
    }
    // The transliteration model, which the person-name stage hears (Translit).
    TranslitModelTrainer translit;
    translit.Train(reader.GetParagraphs());
    if (!translit.Write(DataDir() + "/Translit.tm")) {
        std::fprintf(stderr, "morv-train: cannot write the transliteration model into %s\n",
                     options.outputDir.c_str());
        return false;
    }
    // Which kind a transliterated name is, from the same names (TranslitPlaces).
    TranslitKindTrainer kind;
    kind.Train(reader.GetParagraphs(), translit);
    if (!kind.Write(DataDir() + "/TranslitKind.tk")) {
        std::fprintf(stderr, "morv-train: cannot write the transliteration kind model into %s\n",
                     options.outputDir.c_str());
        return false;
    }
    report.nameModelChars = persons.GetReport().chars;
    report.nameModelPairs = persons.GetReport().pairsKept;
    report.nameModelBytes = persons.GetReport().bytes;
    report.nameModelSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return true;
}

bool Trainer::TrainPosModel()
{
    // The lexicon the engine reads beside the model when the new stages are on:
    // the candidates and lexicon features of training are the ones of tagging.
    CPosLexicon lexicon;
    if (!lexicon.Load(ModelWriter::Staged(DataDir() + "/NewWord.pos").c_str()))
        return false;
    PosModelTrainer pos(*words, lexicon, options.pos);
    pos.Train(reader.GetParagraphs());
    const PosModelWriter::Image image = pos.BuildImage();
    const std::string bytes = PosModelWriter::Serialize(image);
    if (bytes.empty() || !ModelWriter::WriteBytes(DataDir() + "/NewPos.pm", bytes)) {
        std::fprintf(stderr, "morv-train: cannot write the part-of-speech model into %s\n", options.outputDir.c_str());
        return false;
    }
    report.posModelTokens = pos.GetReport().tokens;
    report.posModelEntries = image.entryTags.size();
    report.posModelBytes = bytes.size();
    report.posModelSeconds = pos.GetReport().seconds;
    return true;
}

bool Trainer::LoadSources()
{
    fs::path src(options.sourceDir);
    if (!classSource.Load((src / "charclasses.txt").string())) {
        for (const std::string& e : classSource.GetErrors())
            std::fprintf(stderr, "morv-train: charclasses.txt: %s\n", e.c_str());
        return false;
    }
    classSource.FillCharset(charset);
    if (!tagSet.Load((src / "tagset.txt").string())) {
        std::fprintf(stderr, "morv-train: cannot read the tag set %s\n", (src / "tagset.txt").string().c_str());
        return false;
    }
    const std::pair<int, const char*> fixed[] = {{18, "m"},  {21, "n"},   {24, "nr"}, {25, "nr1"},
                                                 {26, "nr2"}, {27, "nrj"}, {28, "nrf"}, {29, "ns"},
                                                 {30, "nsf"}, {31, "nt"},  {52, "t"},  {93, "nx"}};
    for (const auto& f : fixed) {
        if (tagSet.Code(f.second) != f.first) {
            std::fprintf(stderr, "morv-train: tagset.txt: %s must have code %d\n", f.second, f.first);
            return false;
        }
    }
    return true;
}

bool Trainer::ReadCorpus()
{
    if (!reader.Read(options.corpusPath, options.firstDate, options.lastDate)) {
        std::fprintf(stderr, "morv-train: cannot open the corpus %s\n", options.corpusPath.c_str());
        return false;
    }
    if (!reader.HasParagraphIds() && (options.firstDate != 0 || options.lastDate != 0)) {
        std::fprintf(stderr, "morv-train: %s has no paragraph ids, so no dates to choose days by\n",
                     options.corpusPath.c_str());
        return false;
    }
    for (const CorpusReader::Error& e : reader.GetErrors())
        std::fprintf(stderr, "morv-train: %s:%d: %s; line skipped\n", options.corpusPath.c_str(), e.line,
                     e.message.c_str());
    report.badLines = reader.GetBadLineCount();
    const std::string refusal = reader.Refusal(options.allowBadLines);
    if (!refusal.empty()) {
        std::fprintf(stderr, "morv-train: %s: %s\n", options.corpusPath.c_str(), refusal.c_str());
        return false;
    }
    report.paragraphs = reader.GetParagraphs().size();
    report.tokens = reader.GetTokenCount();
    if (report.tokens == 0) {
        std::fprintf(stderr, "morv-train: the corpus %s yields no words\n", options.corpusPath.c_str());
        return false;
    }
    for (const Paragraph& p : reader.GetParagraphs()) {
        for (const CorpusToken& t : p.tokens) {
            if (tagSet.Code(t.tag) < 0) {
                std::fprintf(stderr, "morv-train: %s:%d: tag %s is not in the tag set (counted as n)\n",
                             options.corpusPath.c_str(), p.line, t.tag.c_str());
            }
        }
    }
    return true;
}

// What the models were trained from, for people (morv --dump-config shows it).
// No time stamp: the same corpus gives the same files.
bool Trainer::WriteProvenance() const
{
    const std::vector<Paragraph>& paragraphs = reader.GetParagraphs();
    int first = 0, last = 0;
    for (const Paragraph& p : paragraphs) {
        if (p.date != 0 && (first == 0 || p.date < first))
            first = p.date;
        last = std::max(last, p.date);
    }
    std::error_code ec;
    const auto size = fs::file_size(options.corpusPath, ec);
    std::string text = "corpus: " + fs::path(options.corpusPath).filename().string() + " (" +
                       (ec ? std::string("size unknown") : std::to_string(size) + " bytes") + ")\n";
    text += "paragraphs: " + std::to_string(report.paragraphs) + ", words: " + std::to_string(report.tokens) +
            ", lines skipped: " + std::to_string(report.badLines) + "\n";
    if (first != 0)
        text += "dates: " + std::to_string(first) + " to " + std::to_string(last) + "\n";
    else
        text += "dates: none (one sentence a line, no paragraph ids)\n";
    text += "dictionary: " + std::to_string(report.words) + " words\n";
    text += std::string("new-word model: ") + (options.newWordModel ? "NewWord.cm" : "not trained") + "\n";
    if (options.newWordModel)
        text += "supplementary lexicon: " + report.supplementSource + "\n";
    text += std::string("person-name model: ") + (options.newWordModel ? "PersonName.nm" : "not trained") + "\n";
    text += std::string("part-of-speech model: ") + (options.newWordModel ? "NewPos.pm" : "not trained") + "\n";
    text += "keyword IDF table: Keywords.idf, " + std::to_string(report.keywordWords) + " words over " +
            std::to_string(report.paragraphs) + " paragraphs\n";
    text += "trainer: morv-train " MORV_TRAINER_VERSION "\n";
    return ModelWriter::WriteBytes(DataDir() + "/Trained.txt", text);
}

// Keyword extraction's IDF table from the corpus's paragraphs, and the stop
// words of the sources (none when the sources have no list).
bool Trainer::WriteKeywordTables()
{
    KeywordIdf idf;
    idf.Count(reader.GetParagraphs());
    report.keywordWords = idf.WordCount();
    std::string stopWords;
    std::ifstream in((fs::path(options.sourceDir) / "stopwords.txt").string(), std::ios::binary);
    if (in) {
        std::stringstream ss;
        ss << in.rdbuf();
        stopWords = ss.str();
    }
    if (ModelWriter::WriteBytes(DataDir() + "/Keywords.idf", idf.Text()) &&
        ModelWriter::WriteBytes(DataDir() + "/stopwords.txt", stopWords))
        return true;
    std::fprintf(stderr, "morv-train: cannot write the keyword tables into %s\n", options.outputDir.c_str());
    return false;
}

// The character classes, the tag set and the configuration, as the engine
// reads them beside the trained models.
bool Trainer::WriteSourceCopies() const
{
    return classSource.WriteCharsetFile(ModelWriter::Target(DataDir() + "/charset.type")) &&
           ModelWriter::WriteBytes(DataDir() + "/tagset.txt", tagSet.GetText()) &&
           CopyFile((fs::path(options.sourceDir) / "Configure.xml").string(),
                    (fs::path(options.outputDir) / "Configure.xml").string());
}
