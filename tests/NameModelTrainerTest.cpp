#include "tools/trainer/NameModelTrainer.h"
#include "tools/trainer/NameModelWriter.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "TrainerTestUtil.h"
#include "segment/CCharset.h"
#include "tagging/CNameModel.h"
#include "tools/trainer/CharClassSource.h"
#include "tools/trainer/CorpusReader.h"

namespace {

using N = CNameModel;

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

std::string LabelString(const std::vector<uint8_t>& labels)
{
    static const char* const kNames[] = {"O", "SB", "S2", "G1", "G2", "WB", "WI"};
    std::string out;
    for (uint8_t l : labels)
        out += std::string(out.empty() ? "" : " ") + kNames[l];
    return out;
}

TEST(NameModelTrainer, LabelsFollowTheCorpusNames)
{
    const struct {
        const char* line;
        const char* labels;
    } cases[] = {
        {"江/nr  泽民/nr  讲话/v", "SB G1 G2 O O"},
        {"李/nr  鹏/nr", "SB G1"},
        {"欧阳/nr  中石/nr  说/v", "SB S2 G1 G2 O"},
        {"克林顿/nr  访问/v", "WB WI WI O O"},
        {"老张/nr", "WB WI"},
        {"王/nr  村长/n", "WB O O"},
        {"约翰·施特劳斯/nr", "WB WI WI WI WI WI WI"},
        // Two names in a row: each surname starts its own.
        {"杜/nr  中武/nr  孙/nr  传刚/nr", "SB G1 G2 SB G1 G2"},
        {"记者/n  （/w  晓章/nr  ）/w", "O O O WB WI O"},
    };
    for (const auto& c : cases) {
        const std::vector<Paragraph> p = CorpusParagraphs(std::string(c.line) + "\n");
        ASSERT_EQ(p.size(), 1u) << c.line;
        EXPECT_EQ(LabelString(NameModelTrainer::Labels(p[0])), c.labels) << c.line;
    }
}

// Names of a little newspaper: reporters, officials, a foreign visitor, each
// in a context that announces a name.
std::string TinyCorpus()
{
    const char* const surnames[] = {"王", "李", "张", "刘", "陈", "杨", "赵", "黄"};
    const char* const given[] = {"小明", "建国", "红", "海涛", "丽", "志强", "军", "秀英"};
    const char* const foreign[] = {"克林顿", "叶利钦", "曼德拉", "阿拉法特"};
    std::string corpus;
    int id = 100;
    for (int round = 0; round < 6; ++round)
        for (int k = 0; k < 8; ++k) {
            const std::string s = surnames[(k + round) % 8], g = given[(k * 3 + round) % 8];
            const std::string f = foreign[(k + round) % 4];
            corpus += "19980101-01-001-" + std::to_string(id++) + "/m  本报/r  记者/n  " + s + "/nr  " + g +
                      "/nr  报道/v  ：/w  总统/n  " + f + "/nr  今天/t  会见/v  了/u  市长/n  " +
                      surnames[(k + 3) % 8] + "/nr  " + given[(k + 5) % 8] + "/nr  。/w\n";
            corpus += "19980101-01-001-" + std::to_string(id++) +
                      "/m  我们/r  热爱/v  和平/n  ，/w  人民/n  欢度/v  节日/n  。/w\n";
        }
    return corpus;
}

std::string Train(const std::vector<Paragraph>& paragraphs, const NameModelTrainer::Options& options)
{
    NameModelTrainer trainer(Charset(), options);
    trainer.Train(paragraphs);
    return NameModelWriter::Serialize(trainer.BuildImage());
}

TEST(NameModelTrainer, LearnsNamesFromATinyCorpusAndFindsThemInNewCombinations)
{
    const std::vector<Paragraph> paragraphs = CorpusParagraphs(TinyCorpus());
    NameModelTrainer trainer(Charset());
    trainer.Train(paragraphs);
    EXPECT_EQ(trainer.GetReport().sentences, paragraphs.size());
    EXPECT_EQ(trainer.GetReport().names, 48u * 3);
    TempDir dir;
    ASSERT_TRUE(trainer.Write(dir / "PersonName.nm"));
    EXPECT_EQ(trainer.GetReport().bytes, ReadFile(dir / "PersonName.nm").size());
    CNameModel model;
    ASSERT_TRUE(model.Load((dir / "PersonName.nm").c_str()));
    EXPECT_GT(model.GetLexiconSize(), 0);

    // A surname and a given name the corpus never put together, in a context
    // it knows (GB2312 text, as the engine passes it).
    const std::string text = Gbk("本报记者黄小明报道");
    CNameModel::Workspace ws;
    ASSERT_EQ(model.Prepare(text.data(), static_cast<int>(text.size()), ws), 9);
    model.Decode(ws);
    ASSERT_EQ(ws.GetNames().size(), 1u);
    EXPECT_EQ(ws.GetNames()[0].start, 8);  // 黄
    EXPECT_EQ(ws.GetNames()[0].split, 10); // after the surname
    EXPECT_EQ(ws.GetNames()[0].end, 14);   // 小明
    // Without a name in it, a sentence of the corpus keeps every character outside.
    const std::string plain = Gbk("我们热爱和平。");
    model.Prepare(plain.data(), static_cast<int>(plain.size()), ws);
    EXPECT_EQ(model.Decode(ws), 0);
}

TEST(NameModelTrainer, SameCorpusGivesTheSameFileByteForByte)
{
    const std::vector<Paragraph> paragraphs = CorpusParagraphs(TinyCorpus());
    NameModelTrainer::Options options;
    const std::string first = Train(paragraphs, options);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(Train(paragraphs, options), first);
    // The options take effect: other passes, another file.
    options.iterations = 2;
    EXPECT_NE(Train(paragraphs, options), first);
}

TEST(NameModelTrainer, EmptyCorpusGivesAModelThatFindsNoName)
{
    NameModelTrainer trainer(Charset());
    trainer.Train({});
    TempDir dir;
    ASSERT_TRUE(trainer.Write(dir / "empty.nm"));
    CNameModel model;
    ASSERT_TRUE(model.Load((dir / "empty.nm").c_str()));
    CNameModel::Workspace ws;
    ASSERT_EQ(model.Prepare(Gbk("王小明").c_str(), 6, ws), 3);
    EXPECT_EQ(model.Decode(ws), 0);
}

TEST(NameModelTrainer, SerializeRefusesAnImageThatDoesNotFitItsCounts)
{
    NameModelTrainer trainer(Charset());
    trainer.Train(CorpusParagraphs(TinyCorpus()));
    const NameModelTrainer::Image good = trainer.BuildImage();
    ASSERT_FALSE(NameModelWriter::Serialize(good).empty());
    const std::vector<std::function<void(NameModelTrainer::Image&)>> damages = {
        [](NameModelTrainer::Image& m) { m.classCount = 1; },
        [](NameModelTrainer::Image& m) { m.classes.pop_back(); },
        [](NameModelTrainer::Image& m) { m.unigram.pop_back(); },
        [](NameModelTrainer::Image& m) { m.transitions.pop_back(); },
        [](NameModelTrainer::Image& m) { m.pairKeys.push_back(1); },
        [](NameModelTrainer::Image& m) { m.lexClasses.pop_back(); },
        [](NameModelTrainer::Image& m) { m.lexContexts.push_back(0); },
        [](NameModelTrainer::Image& m) { m.contextWeights.clear(); },
        [](NameModelTrainer::Image& m) { m.lexWeights.push_back(0); },
    };
    for (size_t k = 0; k < damages.size(); ++k) {
        NameModelTrainer::Image m = good;
        damages[k](m);
        EXPECT_TRUE(NameModelWriter::Serialize(m).empty()) << k;
    }
}

} // namespace
