#include "tools/trainer/ModelWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "TestUtil.h"
#include "lexicon/CBigram.h"
#include "lexicon/CUnigram.h"
#include "tagging/CPosLexicon.h"
#include "tagging/CRoleTagger.h"
#include "tagging/CTagTransitions.h"
#include "tools/trainer/NameRoles.h"

namespace {

// Every writer's file must read back through the engine's own loader.
TEST(TrainerModelWriter, FilesReadBackThroughTheEngineLoaders)
{
    TempDir dir;
    ASSERT_TRUE(ModelWriter::WriteUnigram(dir / "u", {5, 0, 7}));
    CUnigram uni;
    ASSERT_TRUE(uni.Load((dir / "u").c_str()));
    EXPECT_EQ(uni.GetEntryCount(), 3);
    EXPECT_EQ(uni.GetTotalFrequency(), 12);
    EXPECT_EQ(uni.Frequency(2), 7);
    EXPECT_EQ(ReadFile(dir / "u").size(), 12u + 12u);

    std::map<std::pair<int32_t, int32_t>, int32_t> pairs = {{{0, 2}, 4}, {{0, 1}, 3}, {{2, 0}, 9}};
    ASSERT_TRUE(ModelWriter::WriteBigram(dir / "b", 3, pairs));
    CBigram big;
    ASSERT_TRUE(big.Load((dir / "b").c_str()));
    EXPECT_EQ(big.PairFrequency(0, 1), 3);
    EXPECT_EQ(big.PairFrequency(0, 2), 4);
    EXPECT_EQ(big.PairFrequency(2, 0), 9);
    EXPECT_EQ(big.PairFrequency(1, 0), 0); // a row without pairs
    EXPECT_EQ(ReadFile(dir / "b").size(), 8u + 8u * 3 + 8u * 3);

    std::vector<ModelWriter::LexiconEntries> words = {{{46, 10}, {21, 2}}, {}, {{18, 1}}};
    ASSERT_TRUE(ModelWriter::WriteLexicon(dir / "p", words));
    CPosLexicon lex;
    ASSERT_TRUE(lex.Load((dir / "p").c_str()));
    int n = 0;
    const CPosLexicon::Entry* e = lex.Lookup(0, &n);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(e[0].tag, 46);
    EXPECT_EQ(e[0].frequency, 10);
    EXPECT_EQ(e[1].tag, 21);
    lex.Lookup(1, &n);
    EXPECT_EQ(n, 0);
    e = lex.Lookup(2, &n);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(e[0].tag, 18);

    ASSERT_TRUE(ModelWriter::WriteContext(dir / "c", 2, {100, 300}, {0, 40, 30, 0}));
    EXPECT_EQ(ReadFile(dir / "c").size(), 1u + 4 + 4 * 2 + 4 * 4);
    CTagTransitions ctx;
    ASSERT_TRUE(ctx.Load((dir / "c").c_str(), false));
    EXPECT_EQ(ctx.TagFrequency(1), 300);
    EXPECT_NEAR(static_cast<double>(ctx.TransitionProbability(0, 1)),
                0.99999 * (0.1 * 100 / 400 + 0.9 * 40 / 100) + 0.00001, 1e-9);
    EXPECT_FALSE(ModelWriter::WriteContext(dir / "bad", 2, {1}, {0, 0, 0, 0}));
}

struct RoleRun {
    std::vector<int> roles; // between the sentence markers
    std::vector<std::pair<int, int>> names; // (first token, last token) of each merged name, 1-based
    std::vector<int> kinds;
};

// The shipped automaton, driven by the engine's recogniser.
TEST(TrainerRoleAutomaton, MergesTheNamePatternsOnly)
{
    using namespace role;
    const RoleRun runs[] = {
        {{kBefore, kSurname, kGiven1, kGiven2, kAfter}, {{2, 4}}, {24}},
        {{kSurname, kSingleGiven, kOther}, {{1, 2}}, {24}},
        {{kSurname, kWholeGiven}, {{1, 2}}, {24}},
        {{kSurnameGiven1, kGiven2}, {{1, 2}}, {24}},
        {{kPrefix, kSurname, kAfter}, {{1, 2}}, {25}},
        {{kForeignFirst, kForeignMiddle, kForeignMiddle, kForeignLast}, {{1, 4}}, {28}},
        {{kForeignFirst, kForeignLast, kForeignMiddle, kForeignLast}, {{1, 4}}, {28}},
        {{kSurname, kGiven1, kGiven2, kBetween, kSurname, kSingleGiven}, {{1, 3}, {5, 6}}, {24, 24}},
        {{kSurname, kGiven1, kGiven2, kSurname, kGiven1, kGiven2}, {{1, 3}, {4, 6}}, {24, 24}},
        {{kSurname, kOther}, {}, {}},                // a name is never one token
        {{kSurname, kGiven1, kOther}, {}, {}},       // the second given character is missing
        {{kGiven1, kGiven2}, {}, {}},                // given names alone are not merged
        {{kBefore, kAfter, kBetween, kOther}, {}, {}}, // context roles start no run
        {{kForeignFirst, kOther}, {}, {}},
    };
    TempDir dir;
    RoleAutomaton fsa;
    ASSERT_TRUE(fsa.Write(dir / "nr.fsa"));
    CRoleTagger tagger;
    ASSERT_TRUE(tagger.Load((dir / "nr.fsa").c_str()));
    EXPECT_EQ(tagger.GetSymbolCount(), kCount);
    for (const RoleRun& r : runs) {
        std::vector<TokenRecord> items(r.roles.size() + 2);
        for (size_t i = 0; i < items.size(); ++i) {
            items[i].wordId = static_cast<int32_t>(100 + i);
            items[i].start = static_cast<int32_t>(2 * i);
            items[i].end = static_cast<int32_t>(2 * i + 2);
            items[i].kind = 0;
            items[i].tag = i == 0 ? kSentenceBegin : i + 1 == items.size() ? kSentenceEnd : r.roles[i - 1];
        }
        items.front().end = 0;
        items.back().start = items.back().end = items[items.size() - 2].end;
        int count = static_cast<int>(items.size());
        tagger.Recognize(items.data(), count, 3);
        std::vector<std::pair<int, int>> names;
        std::vector<int> kinds;
        for (int i = 0; i < count; ++i) {
            if (items[static_cast<size_t>(i)].wordId == 3) {
                names.emplace_back(items[static_cast<size_t>(i)].start / 2, items[static_cast<size_t>(i)].end / 2 - 1);
                kinds.push_back(items[static_cast<size_t>(i)].kind);
            }
        }
        EXPECT_EQ(names, r.names) << "run of " << r.roles.size() << " roles starting " << r.roles[0];
        EXPECT_EQ(kinds, r.kinds);
    }
}

// Names in a directory, one line each (sorted), for checks that nothing is left over.
std::string Listing(const std::string& dir)
{
    std::string out;
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& n : names)
        out += n + "\n";
    return out;
}

TEST(TrainerModelWriter, FilesAreReplacedWholeOrNotAtAll)
{
    TempDir dir;
    WriteFile(dir / "m", "old");
    ASSERT_TRUE(ModelWriter::WriteBytes(dir / "m", "new contents"));
    EXPECT_EQ(ReadFile(dir / "m"), "new contents");
    EXPECT_EQ(Listing(dir.path), "m\n");
    // A target that cannot be replaced (a directory stands there) stays, and
    // the temporary file goes.
    MakeDir(dir / "d");
    EXPECT_FALSE(ModelWriter::WriteBytes(dir / "d", "x"));
    EXPECT_FALSE(ModelWriter::WriteBytes(dir / "missing/m", "x"));
    EXPECT_EQ(Listing(dir.path), "d\nm\n");
    // Outside a batch a target is written where it is.
    EXPECT_EQ(ModelWriter::Target(dir / "m"), dir / "m");
    EXPECT_EQ(ModelWriter::Staged(dir / "m"), dir / "m");
}

TEST(TrainerModelWriter, ABatchReplacesItsFilesOnlyOnCommit)
{
    TempDir dir;
    WriteFile(dir / "a", "old a");
    WriteFile(dir / "b", "old b");
    {
        ModelWriter::Batch batch;
        ASSERT_TRUE(ModelWriter::WriteBytes(dir / "a", "new a"));
        const std::string b = ModelWriter::Target(dir / "b"); // a writer of its own
        EXPECT_NE(b, dir / "b");
        EXPECT_EQ(ModelWriter::Target(dir / "b"), b);
        WriteFile(b, "new b");
        // The run reads what it wrote; everyone else still sees the old files.
        EXPECT_EQ(ReadFile(ModelWriter::Staged(dir / "a")), "new a");
        EXPECT_EQ(ReadFile(dir / "a"), "old a");
        EXPECT_EQ(ReadFile(dir / "b"), "old b");
        // No Commit: the run failed.
    }
    EXPECT_EQ(ReadFile(dir / "a"), "old a");
    EXPECT_EQ(ReadFile(dir / "b"), "old b");
    EXPECT_EQ(Listing(dir.path), "a\nb\n");
    {
        ModelWriter::Batch batch;
        ASSERT_TRUE(ModelWriter::WriteBytes(dir / "a", "new a"));
        WriteFile(ModelWriter::Target(dir / "c"), "new c");
        ASSERT_TRUE(batch.Commit());
        EXPECT_EQ(ModelWriter::Staged(dir / "a"), dir / "a");
    }
    EXPECT_EQ(ReadFile(dir / "a"), "new a");
    EXPECT_EQ(ReadFile(dir / "b"), "old b");
    EXPECT_EQ(ReadFile(dir / "c"), "new c");
    EXPECT_EQ(Listing(dir.path), "a\nb\nc\n");
}

TEST(TrainerModelWriter, AnOutputDirectoryMustNotReplaceTheCorpus)
{
    TempDir dir;
    MakeDir(dir / "out");
    MakeDir(dir / "out/Data");
    WriteFile(dir / "corpus.txt", "19980101-01-001-001/m  x/n\n");
    WriteFile(dir / "out/Data/other.txt", "not written by a run");
    ASSERT_EQ(::link((dir / "corpus.txt").c_str(), (dir / "out/Configure.xml").c_str()), 0);
    const struct {
        std::string dir, corpus;
        bool replaces;
    } cases[] = {
        {dir / "corpus.txt", dir / "corpus.txt", true},          // the directory is the corpus
        {dir / "out", dir / "corpus.txt", true},                 // linked as Configure.xml
        {dir / "out", dir / "out/Configure.xml", true},
        {dir / "out", dir / "out/./Data/../Configure.xml", true}, // another spelling
        {dir / "out/Data", dir / "corpus.txt", false},
        {dir / "out", dir / "out/Data/other.txt", false},        // no file a run writes
        {dir / "none", dir / "corpus.txt", false},
        {dir / "out", dir / "missing.txt", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ModelWriter::WouldReplace(c.dir, c.corpus), c.replaces) << c.dir << " " << c.corpus;
    WriteFile(dir / "out/Data/CoreDict.pos", "a corpus kept as a model file");
    EXPECT_TRUE(ModelWriter::WouldReplace(dir / "out", dir / "out/Data/CoreDict.pos"));
    for (const std::string& name : ModelWriter::RunFiles())
        EXPECT_FALSE(name.empty());
}

// The command refuses before it reads anything; the corpus stays as it was.
TEST(TrainerModelWriter, TheTrainerCommandRefusesToOverwriteItsCorpus)
{
    const std::string trainer = std::string(MORV_BINARY_DIR) + "/bin/morv-train";
    if (!FileExists(trainer))
        GTEST_SKIP() << "no " << trainer;
    TempDir dir;
    MakeDir(dir / "out");
    MakeDir(dir / "out/Data");
    const std::string corpus = dir / "out/Data/nr.role";
    WriteFile(corpus, "19980101-01-001-001/m  \xE8\xB7\x91/v\n");
    const std::string command = "'" + trainer + "' --quiet '" + corpus + "' '" + dir.path + "/out' 2> '" +
                                dir.path + "/err'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(ReadFile(dir / "err").find("would overwrite the corpus"), std::string::npos) << ReadFile(dir / "err");
    EXPECT_EQ(ReadFile(corpus), "19980101-01-001-001/m  \xE8\xB7\x91/v\n");
}

} // namespace
