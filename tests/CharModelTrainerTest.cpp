#include "tools/trainer/CharModelTrainer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "TrainerTestUtil.h"
#include "segment/CCharModel.h"
#include "segment/CCharset.h"
#include "tools/trainer/CharClassSource.h"
#include "tools/trainer/CorpusReader.h"

namespace {

const CCharset& Charset()
{
    static CCharset charset;
    static bool loaded = false;
    if (!loaded) {
        CharClassSource source;
        EXPECT_TRUE(source.Load(std::string(MORV_SOURCE_DIR) + "/data/charclasses.txt"));
        source.FillCharset(charset);
        loaded = true;
    }
    return charset;
}

// A few sentences, each seen several times, with a name written as the corpus
// writes it (surname and given name apart).
const char* const kLines[] = {
    "我们/r  热爱/v  和平/n  。/w",
    "江/nr  泽民/nr  发表/v  新年/t  讲话/n  。/w",
    "人民/n  热爱/v  祖国/n  ，/w  我们/r  发表/v  文章/n  。/w",
    "１９９８年/t  新年/t  ，/w  人民/n  欢度/v  节日/n  。/w  和平/n  发展/v  。/w",
};

std::string Repeated(int times)
{
    std::string corpus;
    int id = 0;
    for (int k = 0; k < times; ++k)
        for (const char* line : kLines)
            corpus += "19980101-01-001-" + std::to_string(100 + id++) + "/m  " + line + "\n";
    return corpus;
}

void Load(const CharModelTrainer& trainer, CCharModel& model)
{
    static TempDir dir;
    ASSERT_TRUE(trainer.Write(dir / "NewWord.cm"));
    ASSERT_TRUE(model.Load((dir / "NewWord.cm").c_str()));
}

TEST(CharModelTrainer, LearnsTheCorpusWordsAndKeepsNamesInTwo)
{
    const std::vector<Paragraph> corpus = CorpusParagraphs(Repeated(5));
    CharModelTrainer trainer(Charset());
    trainer.Train(corpus);
    const CharModelTrainer::Report& r = trainer.GetReport();
    EXPECT_EQ(r.sentences, 5u * 5u); // cut after every 。, as the engine cuts
    EXPECT_EQ(r.updates, 0u);        // the last pass got every sentence right
    CCharModel model;
    Load(trainer, model);
    CCharModel::Workspace ws;
    for (size_t i = 0; i < 4; ++i) {
        const Paragraph& p = corpus[i];
        const std::string text = p.Text();
        std::vector<std::pair<int, int>> gold, got;
        int at = 0;
        for (const CorpusToken& t : p.tokens) {
            gold.emplace_back(at, at + static_cast<int>(t.word.size()));
            at += static_cast<int>(t.word.size());
        }
        // Sentence by sentence, as the engine will ask: each ends after 。.
        const std::string stop = Gbk("。");
        for (size_t begin = 0; begin < text.size();) {
            size_t end = text.find(stop, begin);
            end = end == std::string::npos ? text.size() : end + 2;
            const std::string sentence = text.substr(begin, end - begin);
            model.Words(sentence.data(), static_cast<int>(sentence.size()), ws);
            for (const CCharModel::Word& w : ws.GetWords())
                got.emplace_back(static_cast<int>(begin) + w.start, static_cast<int>(begin) + w.end);
            begin = end;
        }
        EXPECT_EQ(got, gold) << "paragraph " << i;
    }
    // 江 | 泽民 in new company: the name stays two words.
    const std::string text = Gbk("江泽民热爱和平");
    model.Label(text.data(), static_cast<int>(text.size()), ws);
    std::string labels;
    for (int i = 0; i < ws.GetCharCount(); ++i)
        labels += "BMES"[ws.GetLabels()[i]];
    EXPECT_EQ(labels, "SBEBEBE");
}

TEST(CharModelTrainer, TrainingIsDeterministic)
{
    const std::vector<Paragraph> corpus = CorpusParagraphs(Repeated(3));
    CharModelTrainer first(Charset()), second(Charset());
    first.Train(corpus);
    second.Train(corpus);
    const std::string a = CharModelWriter::Serialize(first.BuildImage());
    ASSERT_FALSE(a.empty());
    EXPECT_TRUE(a == CharModelWriter::Serialize(second.BuildImage()));
    // One more sentence changes the model: the comparison above means something.
    CharModelTrainer third(Charset());
    third.Train(CorpusParagraphs(Repeated(3) + "19980102-01-001-001/m  和平/n  热爱/v  。/w\n"));
    EXPECT_FALSE(a == CharModelWriter::Serialize(third.BuildImage()));
}

TEST(CharModelTrainer, ReportsEveryPassAndEachAverageLoads)
{
    const std::vector<Paragraph> corpus = CorpusParagraphs(Repeated(2));
    CharModelTrainer::Options options;
    options.iterations = 3;
    CharModelTrainer trainer(Charset(), options);
    std::vector<int> passes;
    std::vector<std::string> images;
    trainer.Train(corpus, [&](int pass) {
        passes.push_back(pass);
        images.push_back(CharModelWriter::Serialize(trainer.BuildImage()));
    });
    EXPECT_EQ(passes, (std::vector<int>{1, 2, 3}));
    ASSERT_EQ(images.size(), 3u);
    EXPECT_TRUE(images.back() == CharModelWriter::Serialize(trainer.BuildImage()));
    CCharModel model;
    Load(trainer, model);
    EXPECT_EQ(model.GetClassCount(), CharModelTrainer::kClassCount);
    EXPECT_GT(model.GetPairCount(), 0);
}

TEST(CharModelTrainer, RarePairsGetNoFeatureWhenAsked)
{
    const std::vector<Paragraph> corpus = CorpusParagraphs(Repeated(1) + Repeated(1));
    CharModelTrainer all(Charset());
    all.Train(corpus);
    CharModelTrainer::Options options;
    options.minPairCount = 3; // most pairs are seen twice; 热爱, the pads and a few more often
    CharModelTrainer some(Charset(), options);
    some.Train(corpus);
    options.minPairCount = 1000;
    CharModelTrainer none(Charset(), options);
    none.Train(corpus);
    EXPECT_GT(all.GetReport().pairsSeen, some.GetReport().pairsSeen);
    EXPECT_GT(some.GetReport().pairsSeen, 0);
    const CharModelWriter::Image image = some.BuildImage();
    auto pair = [&image](uint16_t a, uint16_t b) {
        auto row = [&image](uint16_t key) {
            return uint32_t(std::lower_bound(image.charKeys.begin(), image.charKeys.end(), key) -
                            image.charKeys.begin()) + CCharModel::kReservedRows;
        };
        return std::binary_search(image.pairKeys.begin(), image.pairKeys.end(), row(a) << 16 | row(b));
    };
    EXPECT_TRUE(pair(0xC8C8, 0xB0AE));  // 热爱, four times
    EXPECT_FALSE(pair(0xD7E6, 0xB9FA)); // 祖国, twice
    EXPECT_EQ(none.GetReport().pairsSeen, 0);
    EXPECT_EQ(none.GetReport().skipsSeen, 0);
    EXPECT_TRUE(none.BuildImage().pairKeys.empty());
}

// Without the skip template the model has no skip rows, but the same pairs,
// and it still loads and learns the corpus words.
TEST(CharModelTrainer, LeavesOutTheSkipPairsWhenAsked)
{
    const std::vector<Paragraph> corpus = CorpusParagraphs(Repeated(5));
    CharModelTrainer all(Charset());
    all.Train(corpus);
    CharModelTrainer::Options options;
    options.skipPairs = false;
    CharModelTrainer noSkips(Charset(), options);
    noSkips.Train(corpus);
    EXPECT_GT(all.GetReport().skipsSeen, 0);
    EXPECT_EQ(noSkips.GetReport().skipsSeen, 0);
    EXPECT_EQ(noSkips.GetReport().pairsSeen, all.GetReport().pairsSeen);
    const CharModelWriter::Image image = noSkips.BuildImage();
    EXPECT_TRUE(image.skipKeys.empty());
    EXPECT_TRUE(image.skipWeights.empty());
    EXPECT_FALSE(image.pairKeys.empty());
    CCharModel model;
    Load(noSkips, model);
    EXPECT_EQ(model.GetSkipCount(), 0);
    EXPECT_EQ(noSkips.GetReport().updates, 0u); // the last pass got every sentence right
    CCharModel::Workspace ws;
    const std::string text = Gbk("人民热爱祖国，我们发表文章。");
    model.Label(text.data(), static_cast<int>(text.size()), ws);
    std::string labels;
    for (int i = 0; i < ws.GetCharCount(); ++i)
        labels += "BMES"[ws.GetLabels()[i]];
    EXPECT_EQ(labels, "BEBEBESBEBEBES");
}

TEST(CharModelTrainer, CoarseClassesFollowTheEngineClassesAndTheCodeRows)
{
    const CCharset& c = Charset();
    const struct {
        const char* what;
        int key;
        int expected;
    } cases[] = {
        {"ASCII digit", '7', CharModelTrainer::kDigit},
        {"full-width digit", 0xA3B1, CharModelTrainer::kDigit},
        {"circled number", 0xA2D9, CharModelTrainer::kDigit},
        {"Chinese numeral", 0xD2BB, CharModelTrainer::kNumeral}, // 一
        {"magnitude", 0xCDF2, CharModelTrainer::kNumeral},       // 万
        {"ASCII letter", 'Q', CharModelTrainer::kLetter},
        {"full-width letter", 0xA3C1, CharModelTrainer::kLetter},
        {"sentence end", 0xA1A3, CharModelTrainer::kPunctuation},   // 。
        {"comma", 0xA3AC, CharModelTrainer::kPunctuation},          // ，
        {"enumeration comma", 0xA1A2, CharModelTrainer::kPunctuation}, // 、
        {"blank", ' ', CharModelTrainer::kPunctuation},
        {"line feed", '\n', CharModelTrainer::kPunctuation},
        {"year", 0xC4EA, CharModelTrainer::kDateUnit},  // 年
        {"o'clock", 0xB5E3, CharModelTrainer::kDateUnit}, // 点
        {"Greek", 0xA6C1, CharModelTrainer::kSymbol},
        {"lone lead byte", 0xB0, CharModelTrainer::kSymbol},
        {"Chinese character", 0xD6D0, CharModelTrainer::kHan},   // 中
        {"GBK extension character", 0x8140, CharModelTrainer::kHan},
    };
    for (const auto& x : cases)
        EXPECT_EQ(CharModelTrainer::ClassOf(x.key, c.GetClass(x.key)), x.expected) << x.what;
}

} // namespace
