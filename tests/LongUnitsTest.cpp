// The long-unit standard (MORV_LONG_UNITS, morv --standard long): numerals with
// their measure word and runs of time words become one token each, keeping
// their words as parts; everything else, and the default output, stays as it is.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/TextCodec.h"
#include "engine/morv.hpp"
#include "tests/TestUtil.h"

namespace {

const std::string kTrained = std::string(MORV_BINARY_DIR) + "/bin/Morv";
const std::string kClassic = std::string(MORV_BINARY_DIR) + "/models-classic";
const std::string kMorv = std::string(MORV_BINARY_DIR) + "/bin/morv";

std::string Show(const std::vector<morv::Token>& tokens, bool subTokens = true)
{
    std::string out;
    for (const morv::Token& t : tokens)
        if (subTokens || !t.Has(MORV_FLAG_SUBTOKEN))
            out += std::string(t.word) + "/" + std::string(t.tag) + " ";
    return out;
}

// The tokens of the corpus standard that lie in [start, end), as "word/tag ".
std::string Inside(const std::vector<morv::Token>& tokens, size_t start, size_t end)
{
    std::string out;
    for (const morv::Token& t : tokens)
        if (t.start >= start && t.end <= end && !t.Has(MORV_FLAG_SUBTOKEN))
            out += std::string(t.word) + "/" + std::string(t.tag) + " ";
    return out;
}

class LongUnits : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override
    {
        if (!FileExists(GetParam() + "/Configure.xml"))
            GTEST_SKIP() << "no trained models in " << GetParam();
        model.reset(new morv::Model(GetParam()));
        analyzer.reset(new morv::Analyzer(*model));
    }
    std::unique_ptr<morv::Model> model;
    std::unique_ptr<morv::Analyzer> analyzer;
};

TEST_P(LongUnits, NumeralsWithMeasureWordsAndDatesAreOneWord)
{
    struct Case {
        const char* text;
        const char* unit; // a token the long standard must have
        const char* tag;
    } cases[] = {
        {"他买了２９个苹果。", "２９个", "mq"},
        {"全程５１００公里。", "５１００公里", "mq"},
        {"我们三个人去了。", "三个", "mq"},
        {"会议于１月２８日开幕。", "１月２８日", "t"},
        {"今年７月１日起施行。", "今年７月１日", "t"},
        {"1998年1月28日下午3时，会议开始。", "1998年1月28日下午3时", "t"},
    };
    for (const Case& c : cases) {
        const std::vector<morv::Token> corpus = analyzer->Analyze(c.text);
        const std::vector<morv::Token> longer = analyzer->Analyze(c.text, morv::Mode::LongUnits);
        const morv::Token* unit = nullptr;
        for (const morv::Token& t : longer)
            if (t.word == c.unit)
                unit = &t;
        ASSERT_NE(unit, nullptr) << c.text << ": " << Show(longer);
        EXPECT_EQ(unit->tag, c.tag) << c.text;
        EXPECT_TRUE(unit->Has(MORV_FLAG_COMPOUND)) << c.text;
        EXPECT_TRUE(unit->Has(std::string(c.tag) == "t" ? MORV_FLAG_TIME : MORV_FLAG_NUMBER)) << c.text;
        // Its parts are the corpus standard's tokens in its place.
        std::string parts;
        for (const morv::Part& p : unit->parts)
            parts += std::string(p.word) + "/" + std::string(p.tag) + " ";
        EXPECT_EQ(parts, Inside(corpus, unit->start, unit->end)) << c.text;
        EXPECT_GE(unit->parts.size(), 2u) << c.text;
        // The default is the corpus standard: no such token there.
        for (const morv::Token& t : corpus)
            EXPECT_NE(t.word, c.unit) << c.text;
    }
}

TEST_P(LongUnits, OtherTokensStayAndTheTextIsTiled)
{
    const std::string text =
        "“今年７月１日”，约翰逊在伦敦买了２９个苹果和三本书。\n张三说：第二天下午３时再来！\n";
    const std::vector<morv::Token> corpus = analyzer->Analyze(text);
    const std::vector<morv::Token> longer = analyzer->Analyze(text, morv::Mode::LongUnits);
    size_t at = 0, c = 0;
    for (const morv::Token& t : longer) {
        EXPECT_EQ(t.start, at) << Show(longer);
        at = t.end;
        if (t.Has(MORV_FLAG_COMPOUND) && (t.tag == "mq" || t.tag == "t")) {
            while (c < corpus.size() && corpus[c].end <= t.end)
                ++c;
            continue;
        }
        // Any other token is the corpus standard's, word, tag, flags and split.
        ASSERT_LT(c, corpus.size());
        EXPECT_EQ(t.word, corpus[c].word);
        EXPECT_EQ(t.tag, corpus[c].tag);
        EXPECT_EQ(t.flags, corpus[c].flags);
        EXPECT_EQ(t.nameSplit, corpus[c].nameSplit);
        ++c;
    }
    EXPECT_EQ(at, text.size());
    EXPECT_EQ(c, corpus.size());
}

TEST_P(LongUnits, SearchModeAndGbkAgree)
{
    const std::string text = "他走了５１００公里，１月２８日回来。";
    const std::vector<morv::Token> plain = analyzer->Analyze(text, morv::Mode::LongUnits);
    const std::vector<morv::Token> search =
        analyzer->Analyze(text, morv::Mode::Search | morv::Mode::LongUnits);
    // Leaving the sub-tokens out gives the plain result.
    EXPECT_EQ(Show(search, false), Show(plain));
    // A unit's own words are among its sub-tokens.
    bool found = false;
    for (const morv::Token& t : search)
        found = found || (t.Has(MORV_FLAG_SUBTOKEN) && t.word == "公里");
    EXPECT_TRUE(found) << Show(search);
    std::string gbk;
    TextCodec::Instance().AppendUtf8AsGbk(gbk, text.data(), text.size());
    const std::vector<morv::Token> g = analyzer->Analyze(gbk, morv::Encoding::Gbk, false, morv::Mode::LongUnits);
    ASSERT_EQ(g.size(), plain.size());
    for (size_t i = 0; i < g.size(); ++i) {
        EXPECT_EQ(g[i].tag, plain[i].tag);
        EXPECT_EQ(g[i].charStart, plain[i].charStart);
        EXPECT_EQ(g[i].charEnd, plain[i].charEnd);
        EXPECT_EQ(g[i].parts.size(), plain[i].parts.size());
    }
}

TEST_P(LongUnits, UserWordsKeepTheirBounds)
{
    model->AddWord("个苹果", 100, "n");
    const std::vector<morv::Token> longer = analyzer->Analyze("他买了２９个苹果。", morv::Mode::LongUnits);
    EXPECT_NE(Show(longer).find("个苹果/n"), std::string::npos) << Show(longer);
    EXPECT_EQ(Show(longer).find("２９个"), std::string::npos) << Show(longer);
}

INSTANTIATE_TEST_SUITE_P(Models, LongUnits, ::testing::Values(kTrained, kClassic));

// The command: --standard long merges in every format and keeps names whole in
// seg; seg in the corpus standard splits Chinese names only.
TEST(LongUnitsCommand, SegKeepsNamesWholeAndSplitsOnlyChineseNames)
{
    if (!FileExists(kMorv) || !FileExists(kTrained + "/Configure.xml"))
        GTEST_SKIP() << "no command or models";
    TempDir temp;
    const std::string dir = temp.path;
    WriteFile(dir + "/in.txt", "张三今年７月１日买了２９个苹果，约翰逊说。\n");
    const auto run = [&](const std::string& options) {
        const std::string out = dir + "/out.txt";
        const std::string command = kMorv + " -d " + kTrained + " " + options + " " + dir + "/in.txt > " + out;
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return ReadFile(out);
    };
    const std::string seg = run("-f seg");
    EXPECT_NE(seg.find("张 三"), std::string::npos) << seg;
    EXPECT_NE(seg.find(" 约翰逊 "), std::string::npos) << seg;
    const std::string longSeg = run("--standard long -f seg");
    EXPECT_EQ(longSeg, run("--standard long -f words"));
    EXPECT_NE(longSeg.find("张三 今年７月１日 买 了 ２９个 苹果"), std::string::npos) << longSeg;
    const std::string text = run("--standard=long");
    EXPECT_NE(text.find("２９个/mq"), std::string::npos) << text;
    EXPECT_NE(text.find("今年７月１日/t"), std::string::npos) << text;
    EXPECT_NE(std::system((kMorv + " --standard wide < /dev/null 2>/dev/null").c_str()), 0);
}

} // namespace
