#include "tools/trainer/PosModelTrainer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "engine/CAnalyzer.h"
#include "engine/CModel.h"
#include "segment/CCharset.h"
#include "segment/SpecialWords.h"
#include "tagging/CPosLexicon.h"
#include "tagging/CPosModel.h"
#include "tools/trainer/CharClassSource.h"
#include "tools/trainer/CorpusNames.h"
#include "tools/trainer/CorpusReader.h"
#include "tools/trainer/TagSetFile.h"
#include "tools/trainer/Trainer.h"
#include "tools/trainer/WordStatistics.h"

namespace {

// Everything a PosModelTrainer needs, from a corpus given as UTF-8 lines with
// paragraph ids: the word statistics, the lexicon of the new stages.
struct Corpus {
    TempDir dir;
    CCharset charset;
    TagSetFile tags;
    std::vector<Paragraph> paragraphs;
    CorpusNames names;
    std::unique_ptr<WordStatistics> words;
    CPosLexicon lexicon;

    explicit Corpus(const std::string& corpus)
    {
        CharClassSource classes;
        EXPECT_TRUE(classes.Load(std::string(MORV_SOURCE_DIR) + "/data/charclasses.txt"));
        classes.FillCharset(charset);
        EXPECT_TRUE(tags.Load(std::string(MORV_SOURCE_DIR) + "/data/tagset.txt"));
        WriteFile(dir / "corpus.txt", corpus);
        CorpusReader reader;
        EXPECT_TRUE(reader.Read(dir / "corpus.txt", 0, 0));
        EXPECT_TRUE(reader.GetErrors().empty());
        paragraphs = reader.GetParagraphs();
        names.Collect(paragraphs);
        words = std::make_unique<WordStatistics>(charset, tags, paragraphs, names);
        MakeDir(dir / "Data");
        EXPECT_TRUE(words->Build(dir / "Data"));
        EXPECT_TRUE(words->WriteNewWordTables(dir / "Data"));
        EXPECT_TRUE(lexicon.Load((dir / "Data/NewWord.pos").c_str()));
    }

    // Tags the corpus's own sentences with a model as the engine would, the
    // words of one day presented as new words; returns "word/tag" per token.
    std::vector<std::string> TagCorpus(const CPosModel& model) const
    {
        std::vector<std::string> out;
        CPosModel::Workspace ws;
        const int proper = words->WordId(SpecialWords::kWords[8]);
        for (const Paragraph& p : paragraphs) {
            const std::string text = p.Text();
            for (const auto& s : words->TaggerSentences(p)) {
                std::vector<TokenRecord> items(s.size());
                for (size_t i = 0; i < s.size(); ++i) {
                    items[i].wordId = s[i].rare ? proper : s[i].id;
                    items[i].flags = s[i].rare ? kFlagNewWord : 0;
                    items[i].start = s[i].start;
                    items[i].end = s[i].end;
                }
                model.Tag(text.data(), static_cast<int>(text.size()), items.data(), static_cast<int>(items.size()),
                          &lexicon, -1, true, ws);
                for (size_t i = 1; i + 1 < items.size(); ++i)
                    out.push_back(text.substr(static_cast<size_t>(items[i].start),
                                              static_cast<size_t>(items[i].end - items[i].start)) +
                                  "/" + tags.Name(items[i].tag));
            }
        }
        return out;
    }
    // The corpus's own words as "word/tag" (GBK).
    std::vector<std::string> Gold() const
    {
        std::vector<std::string> out;
        for (const Paragraph& p : paragraphs)
            for (const CorpusToken& t : p.tokens)
                out.push_back(t.word + "/" + t.tag);
        return out;
    }
};

// Lines spread over days (each line its own day from `day` on).
std::string Days(const std::vector<std::string>& lines, int day = 1, int times = 1)
{
    std::string corpus;
    int n = 0;
    for (int t = 0; t < times; ++t)
        for (const std::string& line : lines) {
            const int d = day + (n++ % 28);
            corpus += "199801" + std::string(d < 10 ? "0" : "") + std::to_string(d) + "-01-001-" +
                      std::to_string(100 + n) + "/m  " + line + "\n";
        }
    return corpus;
}

// One word, two tags, the context telling them apart.
const std::vector<std::string> kAmbiguous = {
    "经济/n  发展/v  很/d  快/a  。/w",
    "经济/n  的/u  发展/vn  很/d  快/a  。/w",
    "我们/r  研究/v  经济/n  。/w",
    "他们/r  的/u  研究/vn  很/d  好/a  。/w",
    "社会/n  发展/v  了/u  。/w",
    "社会/n  的/u  发展/vn  好/a  。/w",
};

TEST(PosModelTrainer, TagsATinyCorpusAsItIsAnnotated)
{
    Corpus s(Days(kAmbiguous, 1, 6));
    PosModelTrainer trainer(*s.words, s.lexicon);
    trainer.Train(s.paragraphs);
    const PosModelTrainer::Report& r = trainer.GetReport();
    EXPECT_EQ(r.sentences, 36u);
    EXPECT_EQ(r.tokens, 36u * 2 + 6 * (5 + 6 + 4 + 6 + 4 + 5));
    EXPECT_GT(r.choiceTokens, 0u);
    EXPECT_EQ(r.errors, 0u); // the last pass tags every token right
    TempDir dir;
    ASSERT_TRUE(trainer.Write(dir / "NewPos.pm"));
    CPosModel model;
    ASSERT_TRUE(model.Load((dir / "NewPos.pm").c_str()));
    EXPECT_EQ(model.GetWordCount(), s.words->GetWordCount());
    EXPECT_EQ(s.TagCorpus(model), s.Gold());
}

TEST(PosModelTrainer, TheSameCorpusGivesTheSameBytes)
{
    Corpus s(Days(kAmbiguous, 1, 4));
    PosModelTrainer first(*s.words, s.lexicon), second(*s.words, s.lexicon);
    first.Train(s.paragraphs);
    second.Train(s.paragraphs);
    const std::string a = PosModelWriter::Serialize(first.BuildImage());
    EXPECT_FALSE(a.empty());
    EXPECT_EQ(a, PosModelWriter::Serialize(second.BuildImage()));
    // Each pass's average is a model of its own.
    PosModelTrainer::Options o;
    o.iterations = 3;
    PosModelTrainer third(*s.words, s.lexicon, o);
    int passes = 0;
    third.Train(s.paragraphs, [&](int pass) {
        EXPECT_EQ(pass, ++passes);
        CPosModel model;
        TempDir dir;
        ASSERT_TRUE(PosModelWriter::Write(dir / "m.pm", third.BuildImage()));
        EXPECT_TRUE(model.Load((dir / "m.pm").c_str()));
    });
    EXPECT_EQ(passes, 3);
}

// Pruning leaves out exactly the weights within the threshold and nothing
// else: the model stays loadable (even with every weight gone, when only the
// transitions are left to choose) and a light threshold keeps its answers.
TEST(PosModelTrainer, PruningLeavesOutTheSmallWeightsOnly)
{
    Corpus s(Days(kAmbiguous, 1, 6));
    PosModelTrainer full(*s.words, s.lexicon);
    full.Train(s.paragraphs);
    const PosModelWriter::Image all = full.BuildImage();
    ASSERT_FALSE(all.entryWeights.empty());
    int largest = 0;
    for (int16_t w : all.entryWeights)
        largest = std::max(largest, std::abs(static_cast<int>(w)));

    struct Case {
        int pruneBelow;
        bool keepsAnswers; // tags the corpus as the unpruned model does
    };
    const Case cases[] = {
        {1, true},
        {largest / 100, true},
        {largest / 2, false},
        {32767, false}, // every weight goes
    };
    const std::vector<std::string> unpruned = [&] {
        TempDir dir;
        EXPECT_TRUE(PosModelWriter::Write(dir / "m.pm", all));
        CPosModel model;
        EXPECT_TRUE(model.Load((dir / "m.pm").c_str()));
        return s.TagCorpus(model);
    }();
    size_t previous = all.entryWeights.size();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pruneBelow);
        PosModelTrainer::Options o;
        o.pruneBelow = c.pruneBelow;
        PosModelTrainer pruned(*s.words, s.lexicon, o);
        pruned.Train(s.paragraphs);
        const PosModelWriter::Image image = pruned.BuildImage();
        // Training is the same run: pruning only filters what the file keeps.
        EXPECT_EQ(image.transitions, all.transitions);
        EXPECT_EQ(image.scale, all.scale);
        size_t expected = 0;
        for (int16_t w : all.entryWeights)
            expected += std::abs(static_cast<int>(w)) > c.pruneBelow;
        EXPECT_EQ(image.entryWeights.size(), expected);
        EXPECT_LE(image.entryWeights.size(), previous);
        previous = image.entryWeights.size();
        for (int16_t w : image.entryWeights)
            EXPECT_GT(std::abs(static_cast<int>(w)), c.pruneBelow);
        TempDir dir;
        ASSERT_TRUE(PosModelWriter::Write(dir / "m.pm", image));
        CPosModel model;
        ASSERT_TRUE(model.Load((dir / "m.pm").c_str()));
        EXPECT_EQ(model.GetEntryCount(), static_cast<int>(image.entryWeights.size()));
        const std::vector<std::string> tagged = s.TagCorpus(model);
        ASSERT_EQ(tagged.size(), unpruned.size()); // every token still tagged
        if (c.keepsAnswers) {
            EXPECT_EQ(tagged, unpruned);
        }
    }
    EXPECT_EQ(previous, 0u);
}

// The trained default prunes: morv-train's model is the smaller one.
TEST(PosModelTrainer, TheTrainerPrunesByDefault)
{
    EXPECT_GT(TrainerOptions().pos.pruneBelow, 0);
    EXPECT_EQ(PosModelTrainer::Options().pruneBelow, 0);
}

TEST(PosModelTrainer, TagsNewWordsByTheirCharacters)
{
    // Verbs ending in 化 and nouns ending in 店, each on one day only: the
    // model meets them as new words and learns their last characters.
    std::vector<std::string> lines;
    const char* verbs[] = {"绿化", "美化", "净化", "老化", "硬化", "淡化", "强化", "优化", "深化", "简化"};
    const char* nouns[] = {"书店", "商店", "饭店", "花店", "酒店", "药店", "鞋店", "茶店", "肉店", "布店"};
    for (int i = 0; i < 10; ++i) {
        lines.push_back(std::string("我们/r  ") + verbs[i] + "/v  。/w");
        lines.push_back(std::string("我们/r  ") + nouns[i] + "/n  。/w");
    }
    Corpus s(Days(lines));
    PosModelTrainer trainer(*s.words, s.lexicon);
    trainer.Train(s.paragraphs);
    EXPECT_EQ(trainer.GetReport().newWordTokens, 20u);
    TempDir dir;
    ASSERT_TRUE(trainer.Write(dir / "NewPos.pm"));
    CPosModel model;
    ASSERT_TRUE(model.Load((dir / "NewPos.pm").c_str()));

    // Words the corpus never shows, as the new-word stage hands them on.
    const int proper = s.words->WordId(SpecialWords::kWords[8]);
    CPosModel::Workspace ws;
    for (const auto& c : std::vector<std::pair<std::string, std::string>>{{"软化", "v"}, {"果店", "n"}}) {
        const std::string text = Gbk("我们" + c.first + "。");
        std::vector<TokenRecord> items(5);
        const int ids[] = {s.words->WordId(SpecialWords::kWords[0]), s.words->WordId(Gbk("我们")), proper,
                           s.words->WordId(Gbk("。")), s.words->WordId(SpecialWords::kWords[1])};
        const int bounds[] = {0, 0, 4, 8, 10, 10};
        for (int i = 0; i < 5; ++i) {
            items[static_cast<size_t>(i)].wordId = ids[i];
            items[static_cast<size_t>(i)].start = bounds[i];
            items[static_cast<size_t>(i)].end = bounds[i + 1];
        }
        items[2].flags = kFlagNewWord;
        model.Tag(text.data(), static_cast<int>(text.size()), items.data(), 5, &s.lexicon, -1, true, ws);
        EXPECT_EQ(s.tags.Name(items[2].tag), c.second) << c.first;
    }
}

TEST(PosModelTrainer, BringsBackATagTheLexiconDropsOftenEnough)
{
    // Three verbs, each a noun-verb once in twenty: the lexicon drops vn for
    // them, and the pair v -> vn is seen three times, enough in a small corpus.
    std::vector<std::string> lines;
    for (const char* verb : {"建设", "改革", "管理"}) {
        for (int i = 0; i < 20; ++i)
            lines.push_back(std::string("我们/r  ") + verb + "/v  国家/n  。/w");
        lines.push_back(std::string("国家/n  的/u  ") + verb + "/vn  。/w");
    }
    Corpus s(Days(lines));
    PosModelTrainer trainer(*s.words, s.lexicon);
    trainer.Train(s.paragraphs);
    EXPECT_EQ(trainer.GetReport().expansions, 1u);
    const PosModelWriter::Image image = trainer.BuildImage();
    ASSERT_EQ(image.expansions.size(), 1u);
    EXPECT_EQ(s.tags.Name(image.tagCodes[image.expansions[0].first]), "v");
    EXPECT_EQ(s.tags.Name(image.tagCodes[image.expansions[0].second]), "vn");
    // Asked for a larger share, none.
    PosModelTrainer::Options o;
    o.expansionShare = 0.5;
    PosModelTrainer strict(*s.words, s.lexicon, o);
    strict.Train(s.paragraphs);
    EXPECT_TRUE(strict.BuildImage().expansions.empty());
}

// The trainer's whole run writes the model; the engine reads it under
// NewWords (and NewPos) only, and refuses one of another dictionary.
TEST(PosModelTrainer, TheEngineTagsWithItUnderTheNewStagesOnly)
{
    TempDir dir;
    TrainerOptions o;
    o.corpusPath = std::string(MORV_SOURCE_DIR) + "/tests/data/trainer-corpus.txt";
    o.sourceDir = std::string(MORV_SOURCE_DIR) + "/data";
    o.outputDir = dir / "m";
    o.quiet = true;
    o.allowBadLines = true;
    Trainer trainer(o);
    ASSERT_EQ(trainer.Run(), 0);
    ASSERT_TRUE(FileExists(dir / "m/Data/NewPos.pm"));
    const std::string configure = ReadFile(dir / "m/Configure.xml");
    auto open = [&](const std::string& keys, std::string* error) {
        const std::string text = WithStageKeys(configure, keys);
        WriteFile(dir / "m/Configure.xml", text);
        auto model = std::make_unique<CModel>();
        const bool ok = model->Open(dir / "m", error);
        return ok ? std::move(model) : nullptr;
    };
    std::string error;
    auto off = open("", &error);
    ASSERT_NE(off, nullptr) << error;
    EXPECT_EQ(off->pos.model, nullptr);
    auto alone = open("<NewWords>on</NewWords><NewPos>off</NewPos>", &error);
    ASSERT_NE(alone, nullptr) << error;
    EXPECT_EQ(alone->pos.model, nullptr);
    auto on = open("<NewWords>on</NewWords>", &error);
    ASSERT_NE(on, nullptr) << error;
    ASSERT_NE(on->pos.model, nullptr);
    EXPECT_TRUE(on->pos.model->IsLoaded());

    // Every token gets a tag; a recognised name keeps the recogniser's.
    CAnalyzer analyzer(*on);
    const std::string text = Gbk("朱镕基说，经济发展很快。");
    std::vector<std::string> got;
    analyzer.Analyze(text.c_str(), [&](const CAnalyzer::Sentence& s) {
        for (int i = 1; i + 1 < s.count; ++i) {
            const TokenRecord& t = s.items[i];
            ASSERT_NE(on->core.tagSet->GetName(t.tag), nullptr);
            if (t.wordId == on->ids.unknownPerson) {
                EXPECT_EQ(t.kind, kKindPersonName);
                EXPECT_TRUE(t.tag >= 24 && t.tag <= 28) << int(t.tag);
            }
            got.push_back(std::string(s.text + t.start, static_cast<size_t>(t.end - t.start)) + "/" +
                          on->core.tagSet->GetName(t.tag));
        }
    });
    ASSERT_GE(got.size(), 5u);
    const std::vector<std::string> tail(got.end() - 5, got.end());
    EXPECT_EQ(tail, (std::vector<std::string>{Gbk("经济/n"), Gbk("发展/v"), Gbk("很/d"), Gbk("快/a"), Gbk("。/w")}));

    // A model trained on another dictionary (another word count) is refused.
    PosModelWriter::Image other;
    other.tagCodes = {21};
    other.openTags = {0};
    other.transitions = {0};
    other.wordCount = 3;
    other.rowStarts.assign(CPosModel::kWordTemplates * 3 + 1, 0);
    ASSERT_TRUE(PosModelWriter::Write(dir / "m/Data/NewPos.pm", other));
    EXPECT_EQ(open("<NewWords>on</NewWords>", &error), nullptr);
    EXPECT_NE(error.find("NewPos.pm"), std::string::npos) << error;
}

} // namespace
