// The place and organisation role models: roles by position and word boundary,
// the automaton, the lexicon completion, and training on a small corpus.
#include "tools/trainer/EntityRoleScheme.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "lexicon/CPDAT.h"
#include "segment/CCharset.h"
#include "segment/SpecialWords.h"
#include "tagging/CPosLexicon.h"
#include "tagging/CRoleTagger.h"
#include "tagging/CTagTransitions.h"
#include "tools/trainer/CharClassSource.h"
#include "tools/trainer/CorpusNames.h"
#include "tools/trainer/EntityAutomaton.h"
#include "tools/trainer/OrgRoleScheme.h"
#include "tools/trainer/PlaceRoleScheme.h"
#include "tools/trainer/RoleModelTrainer.h"
#include "tools/trainer/TagSetFile.h"
#include "tools/trainer/WordStatistics.h"

namespace {

using namespace entityrole;

Paragraph Parse(const std::string& line)
{
    CorpusReader reader;
    Paragraph p;
    std::string message;
    EXPECT_TRUE(reader.ParseLine(line, p, message)) << message;
    return p;
}

std::vector<int> Offsets(const Paragraph& p)
{
    std::vector<int> offsets(1, 0);
    for (const CorpusToken& t : p.tokens)
        offsets.push_back(offsets.back() + static_cast<int>(t.word.size()));
    return offsets;
}

TEST(EntityRoleScheme, RolesTellPositionAndWhereWordsStartAndEnd)
{
    PlaceRoleScheme scheme({});
    // An entity of bytes 0..12 made of the words 0..4, 4..10 and 10..12.
    RoleScheme::Entity e{0, 12, 12, EntityRoleScheme::kCompound, {4, 10}};
    const struct {
        int start, end, role;
    } cases[] = {
        {0, 4, kFirst},       {0, 2, kFirstPiece}, {4, 10, kInner},  {4, 6, kInnerBegin},
        {6, 8, kInnerMiddle}, {8, 10, kInnerEnd},  {10, 12, kLast},  {11, 12, kLastPiece},
        {0, 12, kWhole},
    };
    for (const auto& c : cases)
        EXPECT_EQ(scheme.InsideRole(e, c.start, c.end), c.role) << c.start << ".." << c.end;
    // A single word cut into pieces: every inner boundary goes on.
    RoleScheme::Entity word{0, 8, 8, EntityRoleScheme::kWord};
    EXPECT_EQ(scheme.InsideRole(word, 0, 2), kFirstPiece);
    EXPECT_EQ(scheme.InsideRole(word, 2, 6), kInnerMiddle);
    EXPECT_EQ(scheme.InsideRole(word, 6, 8), kLastPiece);
}

TEST(EntityRoleScheme, EntitiesComeFromTheSchemesTagInWordsAndCompounds)
{
    const Paragraph p = Parse("19980101-01-001-001/m  [中国/ns  国际/n  电台/n]nt  在/p  北京/ns  "
                              "[香港/ns  特别/a  行政区/n]ns  新华社/nt  [美国/ns  之/u  音/n]nz");
    const std::vector<int> o = Offsets(p);
    struct Expected {
        int first, last; // token range
        int type;
    };
    const auto check = [&](const EntityRoleScheme& scheme, const std::vector<Expected>& expected) {
        const std::vector<RoleScheme::Entity> found = scheme.FindEntities(p, o);
        ASSERT_EQ(found.size(), expected.size()) << scheme.Tag();
        for (size_t k = 0; k < expected.size(); ++k) {
            const Expected& x = expected[k];
            EXPECT_EQ(found[k].start, o[static_cast<size_t>(x.first)]) << scheme.Tag() << k;
            EXPECT_EQ(found[k].end, o[static_cast<size_t>(x.last) + 1]) << scheme.Tag() << k;
            EXPECT_EQ(found[k].type, x.type) << scheme.Tag() << k;
            std::vector<int> ends;
            if (x.type == EntityRoleScheme::kCompound)
                for (int j = x.first; j < x.last; ++j)
                    ends.push_back(o[static_cast<size_t>(j) + 1]);
            EXPECT_EQ(found[k].wordEnds, ends) << scheme.Tag() << k;
        }
    };
    // Places: 中国 inside the organisation and 美国 inside the nz compound are
    // places of their own; 香港 inside the place compound is not.
    check(PlaceRoleScheme({}), {{0, 0, EntityRoleScheme::kWord},
                                {4, 4, EntityRoleScheme::kWord},
                                {5, 7, EntityRoleScheme::kCompound},
                                {9, 9, EntityRoleScheme::kWord}});
    check(OrgRoleScheme({}), {{0, 2, EntityRoleScheme::kCompound}, {8, 8, EntityRoleScheme::kWord}});
}

TEST(EntityRoleScheme, AutomatonAcceptsFirstInnerLastAndMarksOpenWords)
{
    TempDir dir;
    ASSERT_TRUE(EntityAutomaton(PlaceRoleScheme::kTagCode).Write(dir / "ns.fsa"));
    CRoleTagger fsa;
    ASSERT_TRUE(fsa.Load((dir / "ns.fsa").c_str()));
    EXPECT_EQ(fsa.GetSymbolCount(), kCount);
    const struct {
        const char* label;
        std::vector<int> roles; // between the markers
        bool accepted;
        std::vector<bool> goesOn; // per role but the last: the word goes on after it
    } cases[] = {
        {"two words", {kFirst, kLast}, true, {false}},
        {"one word in two pieces", {kFirstPiece, kLastPiece}, true, {true}},
        {"compound", {kFirst, kInner, kInner, kLast}, true, {false, false, false}},
        {"word in pieces, then a word", {kFirstPiece, kInnerMiddle, kInnerEnd, kLast}, true, {true, true, false}},
        {"word, then a word in pieces", {kFirst, kInnerBegin, kLastPiece}, true, {false, true}},
        {"an open word cannot be closed as a word of its own", {kFirstPiece, kLast}, false, {}},
        {"a closed word cannot go on", {kFirst, kLastPiece}, false, {}},
        {"no last token", {kFirst, kInner}, false, {}},
        {"a whole name alone", {kWhole}, false, {}},
        {"context roles open nothing", {kBefore, kFirst, kLast}, false, {}},
    };
    for (const auto& c : cases) {
        // The context role before keeps the run from starting at the marker.
        std::vector<TokenRecord> tokens(c.roles.size() + 2);
        tokens.front().tag = kSentenceBegin;
        tokens.back().tag = kSentenceEnd;
        for (size_t k = 0; k < c.roles.size(); ++k)
            tokens[k + 1].tag = static_cast<uint8_t>(c.roles[k]);
        std::vector<CRoleTagger::Run> runs;
        fsa.FindRuns(tokens.data(), static_cast<int>(tokens.size()), runs);
        const bool whole = runs.size() == 1 && runs[0].first == 1 && runs[0].last == static_cast<int>(c.roles.size());
        EXPECT_EQ(whole, c.accepted) << c.label;
        if (!whole)
            continue;
        EXPECT_EQ(runs[0].output, PlaceRoleScheme::kTagCode) << c.label;
        int state = 0;
        for (size_t k = 0; k + 1 < c.roles.size(); ++k) {
            state = fsa.Next(state, c.roles[k]);
            EXPECT_EQ((fsa.GetOutput(state) & EntityAutomaton::kWordGoesOn) != 0, c.goesOn[k]) << c.label << k;
        }
    }
}

TEST(EntityRoleScheme, LexiconOpensNamesToWordsOfTheOpeningAndInnerTags)
{
    const std::vector<Paragraph> corpus = {
        Parse("19980101-01-001-001/m  石家庄市/ns  工商局/n  动物/n  动物/v  、/w  很/d"),
        Parse("19980101-01-001-002/m  动物/n  石家庄市/ns"),
    };
    OrgRoleScheme scheme(corpus);
    std::vector<std::string> words(SpecialWords::kWords, SpecialWords::kWords + SpecialWords::kCount);
    for (const char* w : {"石家庄市", "工商局", "动物", "、", "很"})
        words.push_back(Gbk(w));
    const size_t city = SpecialWords::kCount, office = city + 1, animal = city + 2, comma = city + 3, very = city + 4;
    std::vector<std::map<int, int32_t>> counts(words.size());
    counts[office] = {{kLast, 20}, {kOther, 5}};
    counts[comma] = {{kInner, 4}, {kOther, 9000}}; // 、 in a few names that list two bodies
    counts[very] = {{kInner, 4}, {kOther, 100}};
    counts[3] = {{kLast, 2}, {kOther, 16000}}; // 未##人, a special word, is completed too
    scheme.CompleteLexicon(counts, words);
    // A place opens and continues a name; a common noun (动物: n twice, v once;
    // 工商局) stands inside one; a word of another tag is left as it was.
    EXPECT_EQ(counts[city], (std::map<int, int32_t>{{kFirst, 1}, {kInner, 1}}));
    EXPECT_EQ(counts[animal], (std::map<int, int32_t>{{kInner, 1}}));
    EXPECT_EQ(counts[office], (std::map<int, int32_t>{{kInner, 1}, {kLast, 20}, {kOther, 5}}));
    // A role inside names seen a few times against a thousand times more others
    // goes; against fewer it stays.
    EXPECT_EQ(counts[comma], (std::map<int, int32_t>{{kOther, 9000}}));
    EXPECT_EQ(counts[very], (std::map<int, int32_t>{{kInner, 4}, {kOther, 100}}));
    EXPECT_EQ(counts[3], (std::map<int, int32_t>{{kOther, 16000}}));
}

// Trains both models on a small corpus of two days.
class EntityTraining : public ::testing::Test {
protected:
    void SetUp() override
    {
        data = dir / "Data";
        MakeDir(data);
        WriteFile(dir / "corpus.txt",
                  "19980101-01-001-001/m  [中国/ns  国际/n  广播/vn  电台/n]nt  在/p  北京/ns  举行/v  晚会/n  。/w\n"
                  "19980101-01-001-002/m  记者/n  在/p  格拉斯哥/ns  看到/v  [中国/ns  国际/n  广播/vn  电台/n]nt  。/w\n"
                  "19980101-01-001-003/m  [北京/ns  大学/n]nt  江/nr  泽民/nr  讲话/v  。/w\n"
                  "19980102-01-001-001/m  [中国/ns  国际/n  广播/vn  电台/n]nt  和/c  [北京/ns  大学/n]nt  在/p  "
                  "北京/ns  。/w\n"
                  "19980102-01-001-002/m  江/nr  泽民/nr  看到/v  晚会/n  。/w\n");
        CharClassSource classes;
        ASSERT_TRUE(classes.Load(std::string(MORV_SOURCE_DIR) + "/data/charclasses.txt"));
        classes.FillCharset(charset);
        ASSERT_TRUE(tags.Load(std::string(MORV_SOURCE_DIR) + "/data/tagset.txt"));
        ASSERT_TRUE(reader.Read(dir / "corpus.txt", 0, 0));
        ASSERT_EQ(reader.GetParagraphs().size(), 5u);
        names.Collect(reader.GetParagraphs());
        words.reset(new WordStatistics(charset, tags, reader.GetParagraphs(), names));
        ASSERT_TRUE(words->Build(data));
        ASSERT_TRUE(words->Write(data));
    }
    std::vector<int> Roles(const std::string& stem, const std::string& utf8Word)
    {
        CPosLexicon lexicon;
        EXPECT_TRUE(lexicon.Load((data + "/" + stem + ".role").c_str()));
        int n = 0;
        const CPosLexicon::Entry* e = lexicon.Lookup(words->GetDictionary()->ExactMatch(Gbk(utf8Word).c_str()), &n);
        std::vector<int> roles;
        for (int i = 0; i < n; ++i)
            roles.push_back(e[i].tag);
        std::sort(roles.begin(), roles.end());
        return roles;
    }

    TempDir dir;
    std::string data;
    CCharset charset;
    TagSetFile tags;
    CorpusReader reader;
    CorpusNames names;
    std::unique_ptr<WordStatistics> words;
};

TEST_F(EntityTraining, LearnsPlaceAndOrganisationRolesFromTheEnginesTokens)
{
    PlaceRoleScheme places(reader.GetParagraphs());
    OrgRoleScheme organizations(reader.GetParagraphs());
    for (const RoleScheme* scheme : {static_cast<const RoleScheme*>(&places), static_cast<const RoleScheme*>(&organizations)}) {
        RoleModelTrainer trainer(*scheme, *words, charset);
        trainer.Learn(reader.GetParagraphs(), data);
        ASSERT_TRUE(trainer.Write(data));
        EXPECT_TRUE(trainer.UsedRealSegmentation());
    }
    for (const char* stem : {"ns", "nt"}) {
        CTagTransitions ctx;
        ASSERT_TRUE(ctx.Load((data + "/" + stem + ".ctx").c_str(), false)) << stem;
        EXPECT_EQ(ctx.GetTagCount(), kCount);
        EXPECT_EQ(ctx.TagFrequency(kSentenceBegin), 5) << stem;
        CRoleTagger fsa;
        EXPECT_TRUE(fsa.Load((data + "/" + stem + ".fsa").c_str())) << stem;
    }
    EXPECT_FALSE(FileExists(data + "/nr.role"));
    // 中国 opens the broadcaster three times and stands alone as a place inside
    // it; 电台 ends it and, a common noun, may stand inside one; 北京 is a place
    // alone, opens 北京大学 and, a place word, may open any organisation.
    EXPECT_EQ(Roles("nt", "中国"), (std::vector<int>{kFirst, kInner}));
    EXPECT_EQ(Roles("nt", "电台"), (std::vector<int>{kInner, kLast}));
    EXPECT_EQ(Roles("ns", "中国"), (std::vector<int>{kFirst, kInner, kWhole}));
    EXPECT_EQ(Roles("ns", "北京"), (std::vector<int>{kFirst, kInner, kWhole}));
    EXPECT_EQ(Roles("nt", "北京"), (std::vector<int>{kFirst, kInner, kOther}));
    // 格拉斯哥, a word of one day only, is read in characters, as the recogniser
    // reads a new word: its characters take the piece roles.
    EXPECT_EQ(Roles("ns", "格"), (std::vector<int>{kFirstPiece}));
    EXPECT_EQ(Roles("ns", "斯"), (std::vector<int>{kInnerMiddle}));
    EXPECT_EQ(Roles("ns", "哥"), (std::vector<int>{kLastPiece}));
    // Person names reach the tagger merged (江泽民 as 未##人), here after an
    // organisation; their characters are never seen.
    EXPECT_EQ(Roles("nt", "未##人"), (std::vector<int>{kAfter, kOther}));
    EXPECT_TRUE(Roles("ns", "江").empty());
}

TEST_F(EntityTraining, OrganisationsCountTheFinalCharactersOfTheirLastWords)
{
    for (const bool organizations : {false, true}) {
        const PlaceRoleScheme places(reader.GetParagraphs());
        const OrgRoleScheme orgs(reader.GetParagraphs());
        const RoleScheme& scheme = organizations ? static_cast<const RoleScheme&>(orgs) : places;
        RoleModelTrainer trainer(scheme, *words, charset);
        trainer.Learn(reader.GetParagraphs(), data);
        ASSERT_TRUE(trainer.Write(data));
    }
    // Places keep no table; organisations one by the final character's id.
    EXPECT_FALSE(FileExists(data + "/ns.suffix"));
    CPosLexicon table;
    ASSERT_TRUE(table.Load((data + "/nt.suffix").c_str()));
    const auto counts = [&](const char* utf8Char) {
        const int id = words->GetDictionary()->ExactMatch(Gbk(utf8Char).c_str());
        int n = 0;
        const CPosLexicon::Entry* e = id >= 0 ? table.Lookup(id, &n) : nullptr;
        std::map<int, int32_t> c;
        for (int i = 0; e != nullptr && i < n; ++i)
            c[e[i].tag] = e[i].frequency;
        return c;
    };
    // 电台 ends the broadcaster three times, 大学 北京大学 twice; 晚会 ends
    // none, so 会 has no row (nor 国 of 中国, which opens them).
    EXPECT_EQ(counts("台"), (std::map<int, int32_t>{{kLast, 3}, {kOther, 0}}));
    EXPECT_EQ(counts("学"), (std::map<int, int32_t>{{kLast, 2}, {kOther, 0}}));
    EXPECT_TRUE(counts("会").empty());
    EXPECT_TRUE(counts("国").empty());
}

} // namespace
