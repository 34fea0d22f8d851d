#include "tools/trainer/Trainer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "engine/Engine.h"
#include "engine/EngineContext.h"
#include "tools/trainer/CorpusNames.h"
#include "tools/trainer/TagSetFile.h"
#include "lexicon/CPDAT.h"
#include "lexicon/CUnigram.h"
#include "segment/CCharModel.h"
#include "segment/SpecialWords.h"
#include "tagging/CPosLexicon.h"
#include "tools/trainer/NameRoles.h"

namespace {

const char* const kModelFiles[] = {"Configure.xml",       "Data/charset.type", "Data/CoreDict.pdat",
                                   "Data/CoreDict.unig",  "Data/BiWord.big",   "Data/CoreDict.pos",
                                   "Data/Morv.ctx",       "Data/tagset.txt",   "Data/nr.role",
                                   "Data/nr.ctx",         "Data/nr.fsa",       "Data/NewWord.cm",
                                   "Data/Supplement.pdat", "Data/Supplement.tab",
                                   "Data/NewPos.pm"};

TrainerOptions Fixture(const std::string& out)
{
    TrainerOptions o;
    o.corpusPath = std::string(MORV_SOURCE_DIR) + "/tests/data/trainer-corpus.txt";
    o.sourceDir = std::string(MORV_SOURCE_DIR) + "/data";
    o.outputDir = out;
    o.quiet = true;
    // The small corpus holds two bad lines of thirteen on purpose, far over the
    // share a real corpus may have.
    o.allowBadLines = true;
    // A small list of its own, so that no test depends on the installed one.
    o.supplementList = std::string(MORV_SOURCE_DIR) + "/tests/data/supplement-list.txt";
    return o;
}

// Words of every sentence the engine gives back, as "text/tag".
std::vector<std::string> Analyse(const std::string& text)
{
    std::vector<std::string> words;
    EngineContext& e = TheEngine();
    e.analyzer->Analyze(text.c_str(), [&](const CAnalyzer::Sentence& s) {
        for (int i = 1; i + 1 < s.count; ++i) {
            const TokenRecord& t = s.items[i];
            const char* name = e.model->core.tagSet->GetName(t.tag);
            words.push_back(std::string(s.text + t.start, static_cast<size_t>(t.end - t.start)) + "/" +
                            (name ? name : "?"));
        }
    });
    return words;
}

TEST(Trainer, GroupsNameRunsIntoNames)
{
    auto tok = [](const char* w, const char* t) {
        CorpusToken c;
        c.word = w;
        c.tag = t;
        return c;
    };
    // 杜 中武 孙 传刚 等 克林顿 约翰·施特劳斯 江
    std::vector<CorpusToken> tokens = {
        tok("\xB6\xC5", "nr"), tok("\xD6\xD0\xCE\xE4", "nr"), tok("\xCB\xEF", "nr"),
        tok("\xB4\xAB\xB8\xD5", "nr"), tok("\xB5\xC8", "u"), tok("\xBF\xCB\xC1\xD6\xB6\xD9", "nr"),
        tok("\xD4\xBC\xBA\xB2\xA1\xA4\xCA\xA9", "nr"), tok("\xBD\xAD", "nr")};
    auto groups = CorpusNames::GroupNames(tokens);
    ASSERT_EQ(groups.size(), 5u);
    EXPECT_EQ(groups[0].first, 0u);
    EXPECT_EQ(groups[0].last, 1u);
    EXPECT_EQ(groups[1].first, 2u);
    EXPECT_EQ(groups[1].last, 3u);
    EXPECT_EQ(groups[2].first, 5u); // a three-character token stands alone
    EXPECT_EQ(groups[2].last, 5u);
    EXPECT_EQ(groups[3].first, 6u); // so does a name with ·
    EXPECT_EQ(groups[4].first, 7u);
    EXPECT_EQ(groups[4].last, 7u);
}

TEST(Trainer, ShippedTagSetKeepsTheFixedCodes)
{
    TagSetFile tags;
    ASSERT_TRUE(tags.Load(std::string(MORV_SOURCE_DIR) + "/data/tagset.txt"));
    const std::pair<int, const char*> fixed[] = {{18, "m"},  {21, "n"},   {24, "nr"}, {25, "nr1"}, {26, "nr2"},
                                                 {27, "nrj"}, {28, "nrf"}, {29, "ns"}, {30, "nsf"}, {31, "nt"},
                                                 {52, "t"},  {93, "nx"}};
    for (const auto& f : fixed)
        EXPECT_EQ(tags.Code(f.second), f.first) << f.second;
    EXPECT_LT(tags.Code("n"), tags.Code("nr"));
    // Every tag of the corpus has a code.
    const char* corpusTags[] = {"n", "v", "w", "u", "d", "vn", "m", "p", "nr", "a", "r", "ns", "c", "q", "t",
                                "f", "j", "b", "l", "ad", "i", "Ng", "s", "nz", "nt", "an", "y", "Vg", "z", "k",
                                "vd", "Tg", "nx", "Ag", "Dg", "o", "h", "e", "Rg", "Bg", "Mg", "vvn", "na", "Yg"};
    for (const char* t : corpusTags)
        EXPECT_GE(tags.Code(t), 0) << t;
}

TEST(Trainer, WritesALoadableBaseDirectoryAndTheSameBytesTwice)
{
    TempDir dir;
    Trainer first(Fixture(dir / "a"));
    ASSERT_EQ(first.Run(), 0);
    EXPECT_EQ(first.GetReport().badLines, 2u); // the line without id and the unclosed bracket
    EXPECT_EQ(first.GetReport().paragraphs, 11u);
    EXPECT_GT(first.GetReport().words, 100);
    Trainer second(Fixture(dir / "b"));
    ASSERT_EQ(second.Run(), 0);
    for (const char* f : kModelFiles) {
        std::string a = ReadFile(dir / "a/" + f);
        EXPECT_FALSE(a.empty()) << f;
        EXPECT_TRUE(a == ReadFile(dir / "b/" + f)) << f << " differs between two runs";
    }
    CCharModel newWords;
    EXPECT_TRUE(newWords.Load((dir / "a/Data/NewWord.cm").c_str()));
    EXPECT_GT(newWords.GetCharCount(), 100);
    // The dictionary holds no person name, but every character of one.
    CPDAT dict;
    ASSERT_TRUE(dict.Load((dir / "a/Data/CoreDict.pdat").c_str()));
    EXPECT_LT(dict.ExactMatch("\xBD\xAD\xD4\xF3\xC3\xF1"), 0);     // 江泽民
    EXPECT_LT(dict.ExactMatch("\xD4\xF3\xC3\xF1"), 0);             // 泽民
    EXPECT_LT(dict.ExactMatch("\xBF\xCB\xC1\xD6\xB6\xD9"), 0);     // 克林顿
    EXPECT_GE(dict.ExactMatch("\xD4\xF3"), 0);                     // 泽
    EXPECT_GE(dict.ExactMatch("\xC5\xB7\xD1\xF4"), 0);             // 欧阳, a compound surname
    EXPECT_LT(dict.ExactMatch("\xA3\xB1\xA3\xB9\xA3\xB9\xA3\xB8\xC4\xEA"), 0); // １９９８年 is a class word
    EXPECT_GE(dict.ExactMatch("\xD6\xD0\xB9\xB2\xD6\xD0\xD1\xEB"), 0); // 中共中央

    EngineExit(); // the engine is process-wide: start from a clean one
    ASSERT_TRUE(EngineInit((dir / "a").c_str()));
    ASSERT_TRUE(TheEngine().analyzer && TheEngine().analyzer->IsComplete());
    std::vector<std::string> words = Analyse("\xD6\xD0\xB9\xB2\xD6\xD0\xD1\xEB\xD7\xDC\xCA\xE9\xBC\xC7"
                                             "\xBD\xB2\xBB\xB0\xA1\xA3"); // 中共中央总书记讲话。
    std::vector<std::string> expected = {"\xD6\xD0\xB9\xB2\xD6\xD0\xD1\xEB/nt", "\xD7\xDC\xCA\xE9\xBC\xC7/n",
                                         "\xBD\xB2\xBB\xB0/n", "\xA1\xA3/w"};
    EXPECT_EQ(words, expected);
    EngineExit();
}

// Tags (or roles) of a word in a lexicon file, most frequent first.
std::vector<int> Tags(const CPosLexicon& lex, int id)
{
    int n = 0;
    const CPosLexicon::Entry* e = lex.Lookup(id, &n);
    std::vector<int> tags;
    for (int i = 0; i < n; ++i)
        tags.push_back(e[i].tag);
    return tags;
}

TEST(Trainer, CountsClassWordsNamesAndSentencesAsThePipelineMeetsThem)
{
    TempDir dir;
    Trainer trainer(Fixture(dir / "m"));
    ASSERT_EQ(trainer.Run(), 0);
    EXPECT_EQ(trainer.GetReport().sentences, 13u); // cut after 。 ！ ？ ； and at paragraph ends
    CPDAT dict;
    CUnigram uni;
    CPosLexicon pos, roles;
    ASSERT_TRUE(dict.Load((dir / "m/Data/CoreDict.pdat").c_str()));
    ASSERT_TRUE(uni.Load((dir / "m/Data/CoreDict.unig").c_str()));
    ASSERT_TRUE(pos.Load((dir / "m/Data/CoreDict.pos").c_str()));
    ASSERT_TRUE(roles.Load((dir / "m/Data/nr.role").c_str()));
    SpecialWords ids = SpecialWords::Lookup(dict);
    ASSERT_TRUE(ids.HasRequired());
    EXPECT_GE(ids.one, 0);
    EXPECT_GE(ids.dash, 0);
    EXPECT_EQ(uni.Frequency(ids.sentenceBegin), 13);
    EXPECT_EQ(uni.Frequency(ids.sentenceEnd), 13);
    // 江泽民 twice, 兰红光, 李鹏, 克林顿, 欧阳中石, 老张, 小李, 杜中武, 孙传刚, 朱镕基; the
    // lone 江 of 江主席 is counted as the character.
    EXPECT_EQ(uni.Frequency(ids.unknownPerson), 11);
    EXPECT_EQ(Tags(pos, ids.unknownPerson), std::vector<int>{24});
    EXPECT_EQ(Tags(pos, ids.unknownTime), std::vector<int>{52});   // １２月 ３１日 一九九八年 ...
    EXPECT_EQ(Tags(pos, ids.unknownNumber), std::vector<int>{18}); // ８．８％ ２０００
    EXPECT_EQ(Tags(pos, ids.unknownString), std::vector<int>{93}); // ＷＴＯ
    EXPECT_FALSE(Tags(pos, ids.sentenceBegin).empty());
    const int jiang = dict.ExactMatch("\xBD\xAD"); // 江
    const int ze = dict.ExactMatch("\xD4\xF3");    // 泽
    ASSERT_GE(jiang, 0);
    ASSERT_GE(ze, 0);
    EXPECT_EQ(Tags(pos, jiang), std::vector<int>{24});
    std::vector<int> jiangRoles = Tags(roles, jiang);
    EXPECT_EQ(jiangRoles.at(0), role::kSurname);
    // A surname character may stand in a given name too (林 of 张林).
    EXPECT_NE(std::find(jiangRoles.begin(), jiangRoles.end(), role::kSingleGiven), jiangRoles.end());
    // 泽 was seen as a first given character only; the other given-name roles
    // come after it with the shared count of one.
    EXPECT_EQ(Tags(roles, ze), (std::vector<int>{role::kGiven1, role::kGiven2, role::kSingleGiven}));
    int k = 0;
    const CPosLexicon::Entry* ze3 = roles.Lookup(ze, &k);
    ASSERT_EQ(k, 3);
    EXPECT_EQ(ze3[1].frequency, 1);
    EXPECT_EQ(ze3[2].frequency, 1);
    EXPECT_EQ(Tags(roles, ids.sentenceBegin), std::vector<int>{role::kSentenceBegin});
    // 主席 stands just before 江泽民 (国家主席江泽民): its roles include "before".
    std::vector<int> chairman = Tags(roles, dict.ExactMatch("\xD6\xF7\xCF\xAF")); // 主席
    EXPECT_NE(std::find(chairman.begin(), chairman.end(), role::kBefore), chairman.end());
}

// The characters of a word seen once count in the default role as well (such a
// word is mostly unknown in new text, left in characters); a word seen twice
// adds nothing. 明 is also a given name here (王明), so its entry is written.
TEST(Trainer, CharactersOfWordsSeenOnceAlsoTakeTheDefaultRole)
{
    const std::string name = "19980101-01-001-001/m  \xE7\x8E\x8B/nr  \xE6\x98\x8E/nr  \xE8\xAF\xB4/v  "
                             "\xE3\x80\x82/w\n"; // 王/nr 明/nr 说/v 。/w
    const std::string tomorrow = "/m  \xE6\x98\x8E\xE5\xA4\xA9/t  \xE6\x99\xB4/a  \xE3\x80\x82/w\n"; // 明天/t 晴/a 。/w
    const struct {
        int seen;
        bool defaultRole;
    } cases[] = {{1, true}, {2, false}};
    for (const auto& c : cases) {
        TempDir dir;
        std::string corpus = name;
        for (int i = 0; i < c.seen; ++i)
            corpus += "19980101-01-001-00" + std::to_string(i + 2) + tomorrow;
        WriteFile(dir / "corpus.txt", corpus);
        TrainerOptions o = Fixture(dir / "m");
        o.corpusPath = dir / "corpus.txt";
        ASSERT_EQ(Trainer(o).Run(), 0);
        CPDAT dict;
        CPosLexicon roles;
        ASSERT_TRUE(dict.Load((dir / "m/Data/CoreDict.pdat").c_str()));
        ASSERT_TRUE(roles.Load((dir / "m/Data/nr.role").c_str()));
        std::vector<int> ming = Tags(roles, dict.ExactMatch("\xC3\xF7")); // 明
        ASSERT_FALSE(ming.empty()) << c.seen;
        EXPECT_NE(std::find(ming.begin(), ming.end(), role::kSingleGiven), ming.end()) << c.seen;
        EXPECT_EQ(std::find(ming.begin(), ming.end(), role::kOther) != ming.end(), c.defaultRole) << c.seen;
    }
}

TEST(Trainer, LeavesTheNewWordModelOutWhenAsked)
{
    TempDir dir;
    TrainerOptions o = Fixture(dir / "m");
    o.newWordModel = false;
    ASSERT_EQ(Trainer(o).Run(), 0);
    EXPECT_TRUE(FileExists(dir / "m/Data/nr.fsa"));
    EXPECT_FALSE(FileExists(dir / "m/Data/NewWord.cm"));
}

TEST(Trainer, FailsOnAMissingOrEmptyCorpus)
{
    TempDir dir;
    TrainerOptions o = Fixture(dir / "out");
    o.corpusPath = dir / "missing.txt";
    EXPECT_NE(Trainer(o).Run(), 0);
    WriteFile(dir / "bad.txt", "no id here/m\n19980101-01-001-001/m  [x/n\n");
    o.corpusPath = dir / "bad.txt";
    EXPECT_NE(Trainer(o).Run(), 0);
    o = Fixture(dir / "out");
    o.firstDate = 19990101; // no paragraph in range
    EXPECT_NE(Trainer(o).Run(), 0);
    EXPECT_FALSE(FileExists(dir / "out/Data/CoreDict.pdat"));
}

// A run that fails after it has written some of its models leaves the previous
// ones as they were, and no temporary file behind.
TEST(Trainer, FailedRunLeavesThePreviousModels)
{
    TempDir dir;
    ASSERT_EQ(Trainer(Fixture(dir / "m")).Run(), 0);
    std::vector<std::string> before;
    for (const char* f : kModelFiles)
        before.push_back(ReadFile(dir / "m/" + f));

    // A second run on other days, made to fail at its last model file: a
    // directory stands where that file's temporary would go.
    const std::string blocker = dir / "m/Data/nr.fsa.tmp-" + std::to_string(static_cast<long>(getpid()));
    MakeDir(blocker);
    TrainerOptions o = Fixture(dir / "m");
    o.firstDate = 19980102;
    EXPECT_NE(Trainer(o).Run(), 0);
    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_TRUE(ReadFile(dir / "m/" + kModelFiles[i]) == before[i]) << kModelFiles[i] << " was replaced";
    ::rmdir(blocker.c_str());
    const std::string listing = dir / "listing";
    std::system(("ls -a '" + dir.path + "/m' '" + dir.path + "/m/Data' > '" + listing + "'").c_str());
    EXPECT_EQ(ReadFile(listing).find(".tmp-"), std::string::npos) << ReadFile(listing);

    // The same run without the obstacle replaces them all.
    ASSERT_EQ(Trainer(o).Run(), 0);
    EXPECT_FALSE(ReadFile(dir / "m/Data/CoreDict.unig") == before[3]);
    std::system(("ls -a '" + dir.path + "/m' '" + dir.path + "/m/Data' > '" + listing + "'").c_str());
    EXPECT_EQ(ReadFile(listing).find(".tmp-"), std::string::npos) << ReadFile(listing);
}

std::string Repeat(const std::string& line, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += line;
    return out;
}

TEST(Trainer, RefusesACorpusItCannotRead)
{
    TempDir dir;
    const std::string good = "19980101-01-001-001/m  \xE8\xB7\x91/v  \xE4\xBA\x86/u\n"; // 跑/v  了/u
    const std::string gbk = "19980101-01-001-002/m  \xC5\xDC/v  \xC1\xCB/u\n";          // the same in GBK
    const std::string unparsed = "19980101-01-001-003/m  [\xE8\xB7\x91/v\n";
    struct Case {
        const char* name;
        std::string corpus;
        bool allowBadLines;
        bool trains;
    } cases[] = {
        {"GBK text", gbk + gbk + gbk + good, false, false},
        {"GBK text, bad lines allowed", gbk + gbk + gbk + good, true, false},
        {"one bad line in twenty", unparsed + Repeat(good, 19), false, true},
        {"one bad line in ten", unparsed + Repeat(good, 9), false, false},
        {"one bad line in ten, allowed", unparsed + Repeat(good, 9), true, true},
    };
    for (const Case& c : cases) {
        WriteFile(dir / "corpus.txt", c.corpus);
        TrainerOptions o = Fixture(dir / "out");
        o.corpusPath = dir / "corpus.txt";
        o.allowBadLines = c.allowBadLines;
        Trainer t(o);
        EXPECT_EQ(t.Run() == 0, c.trains) << c.name;
        EXPECT_EQ(FileExists(dir / "out/Data/CoreDict.pdat"), c.trains) << c.name;
        std::system(("rm -rf '" + dir.path + "/out'").c_str());
    }
}

} // namespace
