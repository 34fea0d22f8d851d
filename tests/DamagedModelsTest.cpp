// The trained models with one file damaged: start-up must refuse the file with
// the one log line that names it, and no file a loader accepts may make the
// analysis of a sentence slow.
#include <gtest/gtest.h>

#include <vector>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "tests/TestUtil.h"

namespace {

const std::string kTrained = std::string(MORV_BINARY_DIR) + "/bin/Morv";

// The data files of a trained base directory, by the kind of model each holds;
// files of one kind are sound stand-ins for each other.
const std::map<std::string, std::string> kFiles = {
    {"charset.type", "charset"}, {"CoreDict.pdat", "dict"}, {"CoreDict.unig", "unigram"},
    {"BiWord.big", "bigram"},    {"CoreDict.pos", "lexicon"}, {"Morv.ctx", "context"},
    {"tagset.txt", "tagset"},    {"nr.role", "lexicon"},      {"nr.ctx", "context"},
    {"nr.fsa", "automaton"},
};

// A copy of the trained base directory that a test may damage file by file.
class DamagedModelsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!FileExists(kTrained + "/Data/nr.fsa"))
            GTEST_SKIP() << "no trained models in " << kTrained;
        base = dir / "Morv";
        MakeDir(base);
        MakeDir(base + "/Data");
        // The classic pipeline's files: the new stages stay off.
        WriteFile(base + "/Configure.xml", WithStageKeys(ReadFile(kTrained + "/Configure.xml"), ""));
        for (const auto& f : kFiles) {
            original[f.first] = ReadFile(kTrained + "/Data/" + f.first);
            WriteFile(Data(f.first), original[f.first]);
        }
    }
    void TearDown() override { EngineExit(); }

    std::string Data(const std::string& name) const { return base + "/Data/" + name; }
    std::string Log() const { return ReadFile(base + "/Morv.log"); }

    // CPU seconds to analyse `text` `rounds` times into a page.
    double AnalyseSeconds(const std::string& text, int rounds) const
    {
        const std::string page = dir / "result.htm";
        const std::clock_t start = std::clock();
        for (int i = 0; i < rounds; ++i)
            EXPECT_TRUE(EngineWriteHtml(text.c_str(), page.c_str()));
        return double(std::clock() - start) / CLOCKS_PER_SEC;
    }

    TempDir dir;
    std::string base;
    std::map<std::string, std::string> original;
};

TEST_F(DamagedModelsTest, EveryTrainedModelLoads)
{
    ASSERT_TRUE(EngineInit(base.c_str())) << Log();
    EXPECT_EQ(Log(), "");
}

TEST_F(DamagedModelsTest, EachDamagedFileIsRefusedWithTheLineThatNamesIt)
{
    for (const auto& target : kFiles) {
        const std::string& name = target.first;
        const std::string& sound = original[name];
        std::vector<std::pair<std::string, std::string>> damages = {{"zero bytes", ""}};
        if (target.second != "tagset")
            damages.emplace_back("one byte more", sound + std::string(1, '\0'));
        else {
            damages.emplace_back("a NUL byte", sound + std::string("x\0y\n", 4));
            // Cut short, it would leave every later tag without a name.
            damages.emplace_back("cut to one byte", sound.substr(0, 1));
            damages.emplace_back("cut in half", sound.substr(0, sound.size() / 2));
        }
        if (target.second == "charset" || target.second == "context")
            damages.emplace_back("one byte less", sound.substr(0, sound.size() - 1));
        // Another kind of model copied over it: the next two kinds after it in the
        // list (each kind still meets others, at a fraction of the start-ups).
        const std::vector<std::pair<std::string, std::string>> files(kFiles.begin(), kFiles.end());
        size_t at = 0;
        while (at < files.size() && files[at].first != name)
            ++at;
        for (size_t step = 1, taken = 0; step < files.size() && taken < 2; ++step) {
            const auto& other = files[(at + step) % files.size()];
            if (other.second == target.second)
                continue;
            damages.emplace_back(other.first + " copied over it", original[other.first]);
            ++taken;
        }

        for (const auto& damage : damages) {
            WriteFile(Data(name), damage.second);
            EXPECT_FALSE(EngineInit(base.c_str())) << name << ": " << damage.first;
            EXPECT_EQ(Log(), "Cannot open file " + Data(name) + ".\n") << name << ": " << damage.first;
            EngineExit();
        }
        WriteFile(Data(name), sound);
    }
    // Every file back as trained: the engine starts again.
    ASSERT_TRUE(EngineInit(base.c_str())) << Log();
}

TEST_F(DamagedModelsTest, AbsurdRecordIsRefusedAndTheLargestSoundLexiconsStayFast)
{
    // Word count W of the trained lexicon; every word of the core dictionary is in
    // its index.
    int32_t words = 0;
    std::memcpy(&words, original["CoreDict.pos"].data() + 4, 4);
    ASSERT_GT(words, 100);

    // A lexicon whose word 1 claims 440,000 candidates (another file's field read
    // as a count) is no lexicon.
    std::string absurd;
    PutInt(absurd, 440000);
    PutInt(absurd, words);
    absurd.append(size_t(8) * 440000, '\0');
    for (int32_t id = 0; id < words; ++id) {
        PutInt(absurd, id == 1 ? 0 : -1);
        PutInt(absurd, id == 1 ? 440000 : 0);
    }
    WriteFile(Data("CoreDict.pos"), absurd);
    EXPECT_FALSE(EngineInit(base.c_str()));
    EXPECT_EQ(Log(), "Cannot open file " + Data("CoreDict.pos") + ".\n");
    EngineExit();

    // The largest lexicons a sound file can hold: every word with every tag code of
    // its context file.
    const int posTags = static_cast<unsigned char>(original["Morv.ctx"][0]);
    const int roleTags = static_cast<unsigned char>(original["nr.ctx"][0]);

    // One candidate more than the context has tags: the lexicon belongs elsewhere.
    WriteFile(Data("CoreDict.pos"), LexiconOfEveryTag(posTags + 1, words));
    EXPECT_FALSE(EngineInit(base.c_str()));
    EXPECT_EQ(Log(), "Cannot open file " + Data("CoreDict.pos") + ".\n");
    EngineExit();

    const std::string text = "\xD5\xC5\xCE\xB0\xC3\xF7\xCA\xC7\xB1\xB1\xBE\xA9\xB4\xF3\xD1\xA7\xB5\xC4\xC0\xCF"
                             "\xCA\xA6\xA1\xA3"
                             "\xCE\xD2\xC3\xC7\xBD\xF1\xCC\xEC\xC8\xA5\xB9\xAB\xD4\xB0\xC9\xA2\xB2\xBD\xC1\xCB"
                             "\xA1\xA3"
                             "\xA3\xB1\xA3\xB9\xA3\xB9\xA3\xB8\xC4\xEA\xD0\xC2\xC4\xEA\xBD\xB2\xBB\xB0\xA3\xAC"
                             "\xBD\xAD\xD4\xF3\xC3\xF1\xD6\xF7\xCF\xAF\xCF\xF2\xC8\xAB\xB9\xFA\xB8\xF7\xD7\xE5"
                             "\xC8\xCB\xC3\xF1\xD6\xC2\xD2\xD4\xCE\xCA\xBA\xF2\xA1\xA3";
    const int rounds = 200;

    WriteFile(Data("CoreDict.pos"), original["CoreDict.pos"]);
    ASSERT_TRUE(EngineInit(base.c_str())) << Log();
    const double trained = AnalyseSeconds(text, rounds);
    EngineExit();

    WriteFile(Data("CoreDict.pos"), LexiconOfEveryTag(posTags, words));
    WriteFile(Data("nr.role"), LexiconOfEveryTag(roleTags, words));
    ASSERT_TRUE(EngineInit(base.c_str())) << Log();
    const double widest = AnalyseSeconds(text, rounds);
    std::printf("[ bench    ] %d x 3 sentences: trained lexicons %.4f s CPU, every word with every tag %.4f s CPU "
                "(%.1f times)\n",
                rounds, trained, widest, trained > 0 ? widest / trained : 0.0);
}

// With the new stages on, a word table that does not fit the dictionary is the
// file named, not the part-of-speech model checked against it.
TEST_F(DamagedModelsTest, ADamagedNewWordTableIsTheFileNamed)
{
    ASSERT_EQ(std::system(("cp '" + kTrained + "/Configure.xml' '" + base + "/' && cp '" + kTrained + "'/Data/* '" +
                           base + "/Data/'").c_str()),
              0);
    ASSERT_TRUE(EngineInit(base.c_str())) << Log();
    EngineExit();
    const std::string sound = ReadFile(Data("NewWord.unig"));
    std::string fewer = sound;
    int32_t count = 0;
    std::memcpy(&count, fewer.data(), 4);
    --count;
    std::memcpy(&fewer[0], &count, 4);
    const std::pair<std::string, std::string> damages[] = {
        {"an entry count one less", fewer},
        {"nr.ctx copied over it", ReadFile(Data("nr.ctx"))},
        {"ns.fsa copied over it", ReadFile(Data("ns.fsa"))},
        {"zero bytes", ""},
    };
    for (const auto& damage : damages) {
        WriteFile(Data("NewWord.unig"), damage.second);
        EXPECT_FALSE(EngineInit(base.c_str())) << damage.first;
        EXPECT_EQ(Log(), "Cannot open file " + Data("NewWord.unig") + ".\n") << damage.first;
        EngineExit();
    }
    WriteFile(Data("NewWord.unig"), sound);
    ASSERT_TRUE(EngineInit(base.c_str())) << Log();
    EngineExit();

    // The runs kept apart, read with the trained EntityApart.
    for (const char* name : {"ns.apart", "nt.apart"}) {
        const std::string runs = ReadFile(Data(name));
        for (const std::string& damage : {std::string(), runs + std::string(1, '\0'), ReadFile(Data("nt.suffix"))}) {
            WriteFile(Data(name), damage);
            EXPECT_FALSE(EngineInit(base.c_str())) << name;
            EXPECT_EQ(Log(), "Cannot open file " + Data(name) + ".\n") << name;
            EngineExit();
        }
        WriteFile(Data(name), runs);
    }
    ASSERT_TRUE(EngineInit(base.c_str())) << Log();
}

} // namespace
