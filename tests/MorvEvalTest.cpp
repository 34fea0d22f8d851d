// Scoring without ids: a plain segmented file against a gold file, corpora of one
// sentence a line, and the tools' --help and --version.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <sys/wait.h>

#include "tests/TestUtil.h"
#include "tools/morv-eval/PlainScorer.h"
#include "tools/morv-eval/WorkDirLock.h"
#include "tools/trainer/CorpusReader.h"

namespace {

TEST(PlainScorer, CountsSpansAndOutOfVocabularyWords)
{
    const std::set<std::string> vocabulary = {"ab", "c", "d"};
    const struct {
        const char* system;
        const char* gold;
        size_t gold_, system_, correct, oov, oovCorrect;
    } cases[] = {
        {"ab c d", "ab c d", 3, 3, 3, 0, 0},
        {"a b c d", "ab c d", 3, 4, 2, 0, 0},
        {"abcd", "ab cd", 2, 1, 0, 1, 0},
        {"ab cd", "ab  cd\r", 2, 2, 2, 1, 1}, // blanks of any kind and a CR separate words
        {"", "", 0, 0, 0, 0, 0},
        {"ab/v c/u d", "[ab/n c/x]nt d/w", 3, 3, 3, 0, 0}, // corpus items give their words
        {"a/b", "a/b", 1, 1, 1, 1, 1},                    // a slash inside a word stays
    };
    for (const auto& c : cases) {
        PlainScorer scorer;
        scorer.SetVocabulary(&vocabulary);
        ASSERT_TRUE(scorer.ScoreLine(c.system, c.gold)) << c.system;
        const PlainScorer::Counts& n = scorer.GetCounts();
        EXPECT_EQ(n.gold, c.gold_) << c.system;
        EXPECT_EQ(n.system, c.system_) << c.system;
        EXPECT_EQ(n.correct, c.correct) << c.system;
        EXPECT_EQ(n.oovGold, c.oov) << c.system;
        EXPECT_EQ(n.oovCorrect, c.oovCorrect) << c.system;
    }
    PlainScorer scorer;
    EXPECT_FALSE(scorer.ScoreLine("ab c", "ab d"));
}

TEST(PlainScorer, FilesMustCorrespondLineByLine)
{
    TempDir dir;
    WriteFile(dir / "gold.txt", "ab c\nd e\n");
    WriteFile(dir / "sys.txt", "a b c\nd e\n");
    WriteFile(dir / "short.txt", "ab c\n");
    WriteFile(dir / "other.txt", "ab c\nd f\n");
    PlainScorer scorer;
    std::string error;
    ASSERT_TRUE(scorer.Score(dir / "sys.txt", dir / "gold.txt", &error)) << error;
    EXPECT_EQ(scorer.GetCounts().correct, 3u);
    EXPECT_FALSE(PlainScorer().Score(dir / "short.txt", dir / "gold.txt", &error));
    EXPECT_NE(error.find("ends at line 2"), std::string::npos) << error;
    EXPECT_FALSE(PlainScorer().Score(dir / "other.txt", dir / "gold.txt", &error));
    EXPECT_NE(error.find("line 2: the two files hold different texts"), std::string::npos) << error;
    EXPECT_FALSE(PlainScorer().Score(dir / "none.txt", dir / "gold.txt", &error));
}

// Two runs in one work directory would score each other's models: the second
// must be refused until the first lets go, and a bad directory is an error.
TEST(WorkDirLock, OneRunAtATimeInAWorkDirectory)
{
    TempDir tmp;
    const std::string dir = tmp / "a/b"; // made on the way
    WorkDirLock first, second, other;
    std::string error;
    ASSERT_TRUE(first.Take(dir, &error)) << error;
    EXPECT_FALSE(second.Take(dir, &error));
    EXPECT_NE(error.find("in use by another run"), std::string::npos) << error;
    EXPECT_TRUE(other.Take(tmp / "c", &error)) << error; // another directory is free
    first.Release();
    {
        WorkDirLock scoped;
        EXPECT_TRUE(scoped.Take(dir, &error)) << error;
        EXPECT_FALSE(second.Take(dir, nullptr)); // no message wanted: still refused
    }
    EXPECT_TRUE(second.Take(dir, &error)) << error; // the destructor let go

    WriteFile(tmp / "file", "x");
    WorkDirLock onFile;
    EXPECT_FALSE(onFile.Take(tmp / "file", &error));
    EXPECT_NE(error.find("cannot use the work directory"), std::string::npos) << error;
}

TEST(TrainerCorpusReader, ACorpusWithoutIdsIsOneSentenceALine)
{
    TempDir dir;
    WriteFile(dir / "plain.txt", "\xE8\xB7\x91/v  \xE8\xB5\xB0/v\n\n[\xE4\xB8\xAD\xE5\xA4\xAE/n  \xE7\x94\xB5\xE5\x8F\xB0/n]nt  "
                                 "\xE8\xB7\x91/v\n19980101-01-001-002/m  \xE8\xB7\x91/v\n");
    CorpusReader reader;
    ASSERT_TRUE(reader.Read(dir / "plain.txt", 0, 0));
    EXPECT_FALSE(reader.HasParagraphIds());
    ASSERT_EQ(reader.GetParagraphs().size(), 2u);
    EXPECT_EQ(reader.GetParagraphs()[1].tokens.size(), 3u);
    EXPECT_TRUE(reader.GetParagraphs()[1].tokens[0].inCompound);
    // A line of the other form is no sentence of this corpus.
    EXPECT_EQ(reader.GetBadLineCount(), 1u);
    // A corpus with ids still needs them on every line.
    WriteFile(dir / "ids.txt", "19980101-01-001-002/m  \xE8\xB7\x91/v\n\xE8\xB7\x91/v\n");
    ASSERT_TRUE(reader.Read(dir / "ids.txt", 0, 0));
    EXPECT_TRUE(reader.HasParagraphIds());
    EXPECT_EQ(reader.GetParagraphs().size(), 1u);
    EXPECT_EQ(reader.GetBadLineCount(), 1u);
}

TEST(Tools, TrainAndEvalAnswerHelpAndVersionAndRefuseBadOptions)
{
    const std::string bin = std::string(MORV_BINARY_DIR) + "/bin/";
    TempDir dir;
    for (const char* tool : {"morv-train", "morv-eval"}) {
        const struct {
            const char* args;
            int status;
            const char* out;
        } cases[] = {{"--help", 0, "usage:"}, {"--version", 0, "3."}, {"--no-such-option", 2, ""}};
        for (const auto& c : cases) {
            const int raw = std::system(("'" + bin + tool + "' " + c.args + " > '" + dir.path + "/out' 2> '" +
                                         dir.path + "/err'")
                                            .c_str());
            EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, c.status) << tool << " " << c.args;
            EXPECT_NE(ReadFile(dir / "out").find(c.out), std::string::npos) << tool << " " << c.args;
            if (c.status != 0) {
                EXPECT_FALSE(ReadFile(dir / "err").empty()) << tool << " " << c.args;
            }
        }
    }
    // morv-eval on a plain segmented file.
    WriteFile(dir / "gold.txt", "ab c\n");
    WriteFile(dir / "sys.txt", "a b c\n");
    WriteFile(dir / "vocab.txt", "ab\n");
    const int raw = std::system(("'" + bin + "morv-eval' --system '" + dir.path + "/sys.txt' --gold '" + dir.path +
                                 "/gold.txt' --vocab '" + dir.path + "/vocab.txt' > '" + dir.path + "/out'")
                                    .c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 0);
    const std::string out = ReadFile(dir / "out");
    EXPECT_NE(out.find("| segmentation F1 | 0.4000 |"), std::string::npos) << out;
    EXPECT_NE(out.find("| OOV recall (1 OOV words) | 1.0000 |"), std::string::npos) << out;
}

} // namespace
