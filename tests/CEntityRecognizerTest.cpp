// The place and organisation stage: on hand-made role models where every word
// has one role, so that the role taggers' choices are known; then on the
// trained models through the library.
#include "tagging/CEntityRecognizer.h"

#include <filesystem>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "engine/morv.hpp"
#include "lexicon/CPDAT.h"
#include "lexicon/CUnigram.h"
#include "segment/SpecialWords.h"
#include "tagging/CHmmTagger.h"
#include "tagging/CPosLexicon.h"
#include "tagging/CTagTransitions.h"
#include "tools/trainer/EntityAutomaton.h"
#include "tools/trainer/ModelWriter.h"

namespace {

using namespace entityrole;

constexpr int kNs = 29, kNt = 31, kN = 21, kC = 7, kM = 18, kQ = 38;

// Words after the special words, with their place role, organisation role and
// part-of-speech tag (kOther: no role entry).
struct FixtureWord {
    const char* text;
    int placeRole;
    int orgRole;
    int tag;
    int orgRole2 = kOther; // a second organisation role, a little rarer than the first
    int placeRole2 = kOther; // the same for places
};
const FixtureWord kWords[] = {
    {"中国", kFirst, kFirst, kNs},       {"国际", kOther, kInner, kN},         {"电台", kOther, kLast, kN},
    {"香港", kFirst, kFirst, kNs},       {"特区", kLast, kInner, kN},          {"格", kFirstPiece, kFirstPiece, kN},
    {"拉", kInnerMiddle, kInnerMiddle, kN}, {"哥", kLastPiece, kInnerEnd, kN}, {"在", kOther, kOther, 30 + 10},
    {"市", kLast, kFirst, kN},
    // Inside a place in pieces, but the first piece of an organisation.
    {"斯", kInnerMiddle, kFirstPiece, kN},
    // For the stops: a conjunction, a numeral and its measure word, and two
    // words the organisation tagger may read as inner words although they
    // mostly end and open names.
    {"和", kOther, kInner, kC}, {"第九", kOther, kInner, kM}, {"届", kOther, kInner, kQ},
    {"总社", kOther, kLast, kN, kInner}, {"报业", kOther, kFirst, kN, kInner},
    // For the back-off: a word that mostly stands outside names but sometimes
    // ends an organisation.
    {"分台", kOther, kOther, kN, kLast},
    // For the suffix table: words no role model knows, ending in a character
    // that mostly ends organisations (厂) or seldom does (店), and the two
    // characters as words of their own.
    {"卷烟厂", kOther, kOther, kN}, {"卷烟店", kOther, kOther, kN}, {"旅店", kOther, kOther, kN},
    {"厂", kOther, kOther, kN}, {"店", kOther, kOther, kN},
    // A character that ends names of both kinds as the last piece of a word.
    {"村", kLastPiece, kLastPiece, kN},
    // A place the organisation roles never saw.
    {"塘沽", kFirst, kOther, kNs},
    // For the runs of places: a place mostly a name by itself but sometimes
    // the last word of one, and a place that only ever ends names.
    {"信阳", kWhole, kOther, kNs, kOther, kLast}, {"长城站", kLast, kOther, kNs},
};

class EntityFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string list;
        for (const char* w : SpecialWords::kWords)
            list += std::string(w) + "\n";
        for (const FixtureWord& w : kWords)
            list += Gbk(w.text) + "\n";
        WriteFile(dir / "words.txt", list);
        ASSERT_EQ(dict.BuildFromWordList((dir / "words.txt").c_str()),
                  SpecialWords::kCount + static_cast<int>(std::size(kWords)));
        ids = SpecialWords::Lookup(dict);
        LoadRoleModels({{kSentenceBegin, 10}}, {{kSentenceEnd, 10}});
        // Part-of-speech models: one tag per word.
        std::vector<ModelWriter::LexiconEntries> pos(SpecialWords::kCount + std::size(kWords));
        for (size_t i = 0; i < std::size(kWords); ++i)
            pos[SpecialWords::kCount + i] = {{static_cast<uint8_t>(kWords[i].tag), 10}};
        pos[static_cast<size_t>(ids.sentenceBegin)] = pos[static_cast<size_t>(ids.sentenceEnd)] = {{kN, 10}};
        ASSERT_TRUE(ModelWriter::WriteLexicon(dir / "pos.role", pos));
        ASSERT_TRUE(ModelWriter::WriteContext(dir / "pos.ctx", 100, std::vector<int32_t>(100, 100),
                                              std::vector<int32_t>(100 * 100, 5)));
        ASSERT_TRUE(posLexicon.Load((dir / "pos.role").c_str()));
        ASSERT_TRUE(posContext.Load((dir / "pos.ctx").c_str(), false));
        posTagger.reset(new CHmmTagger(&posLexicon, &posContext, 100, kN));
        posTagger->SetEntityWordIds(ids.unknownPlace, ids.unknownOrganization);
    }
    // The role models of both kinds, the sentence markers with the roles
    // given, and a recogniser over them.
    // roleFrequency: the count of each role the tagger divides by (100 unless given).
    // unseen: pairs of roles (previous, next) that training never showed.
    void LoadRoleModels(const ModelWriter::LexiconEntries& beginRoles, const ModelWriter::LexiconEntries& endRoles,
                        const std::map<int, int32_t>& roleFrequency = {},
                        const std::vector<std::pair<int, int>>& unseen = {})
    {
        std::vector<int32_t> pairs(kCount * kCount, 5);
        for (const auto& u : unseen)
            pairs[static_cast<size_t>(u.first * kCount + u.second)] = 0;
        std::vector<int32_t> frequencies(kCount, 100);
        for (const auto& f : roleFrequency)
            frequencies[static_cast<size_t>(f.first)] = f.second;
        for (int k = 0; k < 2; ++k) {
            const std::string stem = dir / (k == 0 ? "ns" : "nt");
            std::vector<ModelWriter::LexiconEntries> lexicon(dict.GetWordCount() > 0 ? SpecialWords::kCount + std::size(kWords) : 0);
            lexicon[static_cast<size_t>(ids.sentenceBegin)] = beginRoles;
            lexicon[static_cast<size_t>(ids.sentenceEnd)] = endRoles;
            for (size_t i = 0; i < std::size(kWords); ++i) {
                const int role = k == 0 ? kWords[i].placeRole : kWords[i].orgRole;
                const int role2 = k == 0 ? kWords[i].placeRole2 : kWords[i].orgRole2;
                if (role != kOther || role2 != kOther)
                    lexicon[SpecialWords::kCount + i] = {{static_cast<uint8_t>(role), 10}};
                if (role2 != kOther)
                    lexicon[SpecialWords::kCount + i].push_back({static_cast<uint8_t>(role2), 9});
            }
            // Every pair of roles seen: the words alone decide.
            ASSERT_TRUE(ModelWriter::WriteLexicon(stem + ".role", lexicon));
            ASSERT_TRUE(ModelWriter::WriteContext(stem + ".ctx", kCount, frequencies, pairs));
            ASSERT_TRUE(EntityAutomaton(k == 0 ? kNs : kNt).Write(stem + ".fsa"));
            ASSERT_TRUE(roles[k].Load((stem + ".role").c_str()));
            ASSERT_TRUE(contexts[k].Load((stem + ".ctx").c_str(), false));
            ASSERT_TRUE(automata[k].Load((stem + ".fsa").c_str()));
        }
        recognizer.reset(new CEntityRecognizer(&dict, ids.unknownProper, 100, Kind(0), Kind(1)));
    }
    CEntityRecognizer::Kind Kind(int k) const
    {
        return {&roles[k], &contexts[k], &automata[k], k == 0 ? ids.unknownPlace : ids.unknownOrganization};
    }
    // The sentence of the given words between the markers; a word given as
    // "+text" is a new word (the class word of new words, flagged), one given
    // as "@text" or "%text" a supplementary word its list tags ns or n, "!text"
    // one tagged c, "?text" one its list gives no tag; "^text" a place the
    // name stage found (the class word of places).
    void Build(const std::vector<std::string>& words)
    {
        text.clear();
        tokens.clear();
        TokenRecord begin;
        begin.wordId = ids.sentenceBegin;
        begin.start = begin.end = 0;
        tokens.push_back(begin);
        for (const std::string& w : words) {
            const bool fresh = w[0] == '+';
            const bool untagged = w[0] == '?', place = w[0] == '^';
            const int listed = w[0] == '@' ? kNs : w[0] == '%' ? kN : w[0] == '!' ? kC : untagged ? 255 : -1;
            const std::string g = Gbk(fresh || listed >= 0 || place ? w.substr(1) : w);
            TokenRecord t;
            t.start = static_cast<int>(text.size());
            text += g;
            t.end = static_cast<int>(text.size());
            t.wordId = fresh || listed >= 0 ? ids.unknownProper : dict.ExactMatch(g.c_str());
            t.flags = fresh ? kFlagNewWord : listed >= 0 ? kFlagSupplementWord : 0;
            if (listed >= 0)
                t.fixedTag = static_cast<uint8_t>(listed);
            if (place)
                t.wordId = ids.unknownPlace;
            t.kind = place ? kNs : 0;
            tokens.push_back(t);
        }
        TokenRecord end;
        end.wordId = ids.sentenceEnd;
        end.start = end.end = static_cast<int>(text.size());
        tokens.push_back(end);
        count = static_cast<int>(tokens.size());
    }
    // Recognises, tags, and describes the tokens between the markers as
    // "text/tag" with a compound's words in brackets.
    std::string Run()
    {
        recognizer->Recognize(text.c_str(), tokens.data(), count);
        posTagger->Tag(tokens.data(), count);
        if (recognizer->HasParts())
            recognizer->TagParts(*posTagger);
        std::string out;
        for (int i = 1; i + 1 < count; ++i) {
            const TokenRecord& t = tokens[static_cast<size_t>(i)];
            std::string item = text.substr(static_cast<size_t>(t.start), static_cast<size_t>(t.end - t.start)) + "/" +
                               std::to_string(t.tag);
            if (recognizer->HasParts()) {
                const auto& offsets = recognizer->GetPartOffsets();
                std::string words;
                for (int32_t k = offsets[static_cast<size_t>(i)]; k < offsets[static_cast<size_t>(i) + 1]; ++k) {
                    const CEntityRecognizer::Part& p = recognizer->GetParts()[static_cast<size_t>(k)];
                    words += (words.empty() ? "" : " ") +
                             text.substr(static_cast<size_t>(p.start), static_cast<size_t>(p.end - p.start)) + "/" +
                             std::to_string(p.tag);
                }
                if (!words.empty())
                    item = "[" + words + "]" + item;
            }
            out += (out.empty() ? "" : "  ") + item;
        }
        return out;
    }

    TempDir dir;
    CPDAT dict;
    SpecialWords ids;
    CPosLexicon roles[2];
    CTagTransitions contexts[2];
    CRoleTagger automata[2];
    CPosLexicon posLexicon;
    CTagTransitions posContext;
    std::unique_ptr<CHmmTagger> posTagger;
    std::unique_ptr<CEntityRecognizer> recognizer;
    std::string text;
    std::vector<TokenRecord> tokens;
    int count = 0;
};

TEST_F(EntityFixture, MergesNamesAndKeepsTheirWords)
{
    const struct {
        const char* label;
        std::vector<std::string> words;
        const char* expected; // GBK text in the description is compared through Gbk()
    } cases[] = {
        {"an organisation of three words", {"在", "中国", "国际", "电台", "在"},
         "在/40  [中国/29 国际/21 电台/21]中国国际电台/31  在/40"},
        {"a place of two words", {"香港", "特区", "在"}, "[香港/29 特区/21]香港特区/29  在/40"},
        // The organisation's roles take 香港 特区 on as well: it wins, and the
        // place's words stay its words.
        {"an organisation over a place", {"香港", "特区", "电台"}, "[香港/29 特区/21 电台/21]香港特区电台/31"},
        // A place in pieces is one word, of the organisation's too, with the
        // place's tag.
        {"a place in pieces", {"在", "格", "拉", "哥"}, "在/40  格拉哥/29"},
        {"a place in pieces inside an organisation", {"格", "拉", "哥", "电台"}, "[格拉哥/29 电台/21]格拉哥电台/31"},
        // A new word is read in characters and may become a name whole ...
        {"a new word that is a place", {"在", "+格拉哥", "在"}, "在/40  格拉哥/29  在/40"},
        // ... but a name never ends inside one.
        {"a name ending inside a new word", {"格", "拉", "+哥在"}, "格/21  拉/21  哥在/21"},
        {"no name", {"在", "国际", "在"}, "在/40  国际/21  在/40"},
        // A place that ends on the word an organisation begins with gives way
        // to it; the organisation is not lost beside it.
        {"a place ending where an organisation begins", {"香港", "市", "电台"}, "香港/29  [市/21 电台/21]市电台/31"},
        // A place in pieces that an organisation overlaps without holding it
        // (格斯哥 and 斯哥电台) gives way, and lends none of its words' tags:
        // only a place inside the organisation does.
        {"a place in pieces overlapping an organisation", {"格", "斯", "哥", "电台"},
         "格/21  [斯哥/31 电台/21]斯哥电台/31"},
    };
    for (const auto& c : cases) {
        Build(c.words);
        std::string expected = Gbk(c.expected);
        EXPECT_EQ(Run(), expected) << c.label;
    }
}

TEST_F(EntityFixture, MergesStopWhereTheWordsSayANameEnds)
{
    // Ending and opening roles counted often enough that the tagger reads 总社
    // and 报业 as inner words, although each mostly ends or opens a name.
    LoadRoleModels({{kSentenceBegin, 10}}, {{kSentenceEnd, 10}}, {{kLast, 1000}, {kFirst, 1000}, {kWhole, 1000}});
    const struct {
        const char* label;
        std::vector<std::string> words;
        const char* merged;  // without stops
        const char* stopped; // with them
    } cases[] = {
        {"a conjunction between two bodies", {"在", "中国", "国际", "和", "国际", "电台"},
         "在/40  [中国/29 国际/21 和/7 国际/21 电台/21]中国国际和国际电台/31",
         "在/40  [中国/29 国际/21]中国国际/31  和/7  [国际/21 电台/21]国际电台/31"},
        {"an ordinal and its measure word before a body", {"在", "中国", "第九", "届", "国际", "电台"},
         "在/40  [中国/29 第九/18 届/38 国际/21 电台/21]中国第九届国际电台/31",
         "在/40  中国/29  第九/18  届/38  [国际/21 电台/21]国际电台/31"},
        {"two complete bodies side by side", {"在", "中国", "国际", "总社", "报业", "电台"},
         "在/40  [中国/29 国际/21 总社/21 报业/21 电台/21]中国国际总社报业电台/31",
         "在/40  [中国/29 国际/21 总社/21]中国国际总社/31  [报业/21 电台/21]报业电台/31"},
        // A word that mostly ends names but opens no new one stays inside.
        {"an ending word inside one body", {"在", "中国", "总社", "国际", "电台"},
         "在/40  [中国/29 总社/21 国际/21 电台/21]中国总社国际电台/31",
         "在/40  [中国/29 总社/21 国际/21 电台/21]中国总社国际电台/31"},
        {"a conjunction outside any name", {"中国", "和", "香港", "特区"}, "中国/29  和/7  [香港/29 特区/21]香港特区/29",
         "中国/29  和/7  [香港/29 特区/21]香港特区/29"},
    };
    CEntityRecognizer::Stops stops;
    stops.lexicon = &posLexicon;
    stops.conjunction = kC;
    stops.numeral = kM;
    stops.measure = kQ;
    stops.numberId = ids.unknownNumber;
    for (bool on : {false, true}) {
        if (on)
            recognizer->SetStops(stops);
        for (const auto& c : cases) {
            Build(c.words);
            EXPECT_EQ(Run(), Gbk(on ? c.stopped : c.merged)) << c.label << (on ? ", with stops" : ", without");
        }
    }
}

TEST_F(EntityFixture, ARunOfPlacesAloneIsAsManyPlaces)
{
    // The whole role counted so often that the tagger reads 信阳 after a
    // first word as the last word of a name.
    LoadRoleModels({{kSentenceBegin, 10}}, {{kSentenceEnd, 10}}, {{kWhole, 1000}});
    const struct {
        const char* label;
        std::vector<std::string> words;
        const char* merged;  // without the rule
        const char* chained; // with it
    } cases[] = {
        {"two places", {"在", "香港", "信阳"}, "在/40  [香港/29 信阳/29]香港信阳/29", "在/40  香港/29  信阳/29"},
        {"a place and a word of another kind", {"在", "香港", "特区"}, "在/40  [香港/29 特区/21]香港特区/29",
         "在/40  [香港/29 特区/21]香港特区/29"},
        // Its own roles say the last place ends names more often than it is one.
        {"a place that mostly ends names", {"在", "香港", "长城站"}, "在/40  [香港/29 长城站/29]香港长城站/29",
         "在/40  [香港/29 长城站/29]香港长城站/29"},
        // Organisations are left to their own stops.
        {"an organisation of places", {"在", "中国", "国际", "电台"}, "在/40  [中国/29 国际/21 电台/21]中国国际电台/31",
         "在/40  [中国/29 国际/21 电台/21]中国国际电台/31"},
    };
    CEntityRecognizer::Stops stops;
    stops.lexicon = &posLexicon;
    for (bool on : {false, true}) {
        stops.place = on ? static_cast<uint8_t>(kNs) : uint8_t{255};
        recognizer->SetStops(stops);
        for (const auto& c : cases) {
            Build(c.words);
            EXPECT_EQ(Run(), Gbk(on ? c.chained : c.merged)) << c.label << (on ? ", with the rule" : ", without");
        }
    }
}

TEST_F(EntityFixture, BackoffRolesLetUnseenWordsTakePartInNames)
{
    // Training never showed an organisation's last role followed by the
    // default role: only a token that has the role after a name may follow one.
    // The default role is the most frequent, as in trained models.
    LoadRoleModels({{kSentenceBegin, 10}}, {{kSentenceEnd, 10}}, {{kOther, 1000}},
                   {{kLast, kOther}, {kLastPiece, kOther}});
    CEntityRecognizer::Backoff backoff;
    backoff.opening[0] = {kNs};
    backoff.opening[1] = {kNs, kNt};
    backoff.inner[1] = {kN};
    const struct {
        const char* label;
        std::vector<std::string> words;
        bool context, listed;
        const char* expected;
    } cases[] = {
        // 在 was never seen after a name; 分台 mostly stands outside one.
        {"a word never seen after a name, no back-off", {"在", "中国", "分台", "在"}, false, false,
         "在/40  中国/29  分台/21  在/40"},
        {"a word never seen after a name, context", {"在", "中国", "分台", "在"}, true, false,
         "在/40  [中国/29 分台/21]中国分台/31  在/40"},
        // A listed place of today's vocabulary opens an organisation, a listed
        // noun stands inside one; each only with its back-off.
        {"a listed place, no back-off", {"在", "@鞍山", "国际", "电台"}, false, false,
         "在/40  鞍山/21  国际/21  电台/21"},
        {"a listed place opens a name", {"在", "@鞍山", "国际", "电台"}, false, true,
         "在/40  [鞍山/21 国际/21 电台/21]鞍山国际电台/31"},
        {"a listed noun inside a name", {"在", "中国", "%台联", "电台"}, false, true,
         "在/40  [中国/29 台联/21 电台/21]中国台联电台/31"},
        {"a listed noun, no back-off", {"在", "中国", "%台联", "电台"}, false, false,
         "在/40  中国/29  台联/21  电台/21"},
        // A listed noun opens no name, and a tag of neither list joins none.
        {"a listed noun first", {"在", "%台联", "国际", "电台"}, false, true, "在/40  台联/21  国际/21  电台/21"},
        {"a listed conjunction", {"在", "中国", "!及", "电台"}, true, true, "在/40  中国/29  及/21  电台/21"},
        // The place model reads listed words too, whatever the other back-offs.
        {"a listed place opens a place", {"在", "@鞍山", "特区", "在"}, true, true,
         "在/40  [鞍山/21 特区/21]鞍山特区/29  在/40"},
        {"a listed place, context only", {"在", "@鞍山", "特区", "在"}, true, false, "在/40  鞍山/21  特区/21  在/40"},
    };
    for (const auto& c : cases) {
        backoff.context = c.context;
        backoff.listed = c.listed;
        recognizer->SetBackoff(backoff);
        Build(c.words);
        EXPECT_EQ(Run(), Gbk(c.expected)) << c.label;
    }
}

TEST_F(EntityFixture, SuffixesAndNewWordsLetUnseenWordsEndOrOpenOrganisations)
{
    // The default role the most frequent, as in trained models; a first word
    // never seen right before the first piece of another name.
    LoadRoleModels({{kSentenceBegin, 10}}, {{kSentenceEnd, 10}}, {{kOther, 1000}}, {{kFirst, kFirstPiece}});
    // 厂 ended 20 of its 30 words, 店 5 of 100, 台 (电台 knows its role) 9 of 10.
    std::vector<ModelWriter::LexiconEntries> table(static_cast<size_t>(dict.GetWordCount()));
    table[static_cast<size_t>(dict.ExactMatch(Gbk("厂").c_str()))] = {{kLast, 20}, {kOther, 10}};
    table[static_cast<size_t>(dict.ExactMatch(Gbk("店").c_str()))] = {{kLast, 5}, {kOther, 95}};
    ASSERT_TRUE(ModelWriter::WriteLexicon(dir / "nt.suffix", table));
    CPosLexicon suffixTable;
    ASSERT_TRUE(suffixTable.Load((dir / "nt.suffix").c_str()));
    // Every word seen twice, but 旅店 seen often (never ending one).
    std::vector<int32_t> frequencies(static_cast<size_t>(dict.GetWordCount()), 2);
    frequencies[static_cast<size_t>(dict.ExactMatch(Gbk("旅店").c_str()))] = 50;
    ASSERT_TRUE(ModelWriter::WriteUnigram(dir / "words.unig", frequencies));
    CUnigram unigram;
    ASSERT_TRUE(unigram.Load((dir / "words.unig").c_str()));
    const struct {
        const char* label;
        std::vector<std::string> words;
        double share; // 0: no suffix table
        bool newWords;
        const char* expected;
    } cases[] = {
        {"an unseen suffix word, no table", {"在", "中国", "卷烟厂", "在"}, 0, false, "在/40  中国/29  卷烟厂/21  在/40"},
        {"an unseen suffix word ends one", {"在", "中国", "卷烟厂", "在"}, 0.5, false,
         "在/40  [中国/29 卷烟厂/21]中国卷烟厂/31  在/40"},
        {"its character ends too few", {"在", "中国", "卷烟厂", "在"}, 0.7, false, "在/40  中国/29  卷烟厂/21  在/40"},
        {"a character that seldom ends one", {"在", "中国", "卷烟店", "在"}, 0.5, false, "在/40  中国/29  卷烟店/21  在/40"},
        {"a word training saw often", {"在", "中国", "旅店", "在"}, 0.01, false, "在/40  中国/29  旅店/21  在/40"},
        {"a supplementary word", {"在", "中国", "%旅店", "在"}, 0.01, false, "在/40  [中国/29 旅店/21]中国旅店/31  在/40"},
        // A word of one character keeps what its own roles say.
        {"the character alone", {"在", "中国", "厂", "在"}, 0.5, false, "在/40  中国/29  厂/21  在/40"},
        // The pieces of a new word, otherwise unknown characters, open a name
        // or stand inside one; nothing ends one by them.
        {"a new word, no back-off", {"在", "+巨鹰", "电台", "在"}, 0, false, "在/40  巨鹰/21  电台/21  在/40"},
        {"a new word opens one", {"在", "+巨鹰", "电台", "在"}, 0, true, "在/40  [巨鹰/21 电台/21]巨鹰电台/31  在/40"},
        {"a new word inside one", {"在", "中国", "+巨鹰", "电台"}, 0, true, "在/40  [中国/29 巨鹰/21 电台/21]中国巨鹰电台/31"},
        {"a new word with no end after it", {"在", "+巨鹰", "在", "在"}, 0, true, "在/40  巨鹰/21  在/40  在/40"},
        // Nor does a name run through a new word to end in it.
        {"a new word's last piece", {"在", "中国", "+巨鹰村", "在"}, 0, true, "在/40  中国/29  巨鹰村/21  在/40"},
        {"both", {"在", "+巨鹰", "卷烟厂", "在"}, 0.5, true, "在/40  [巨鹰/21 卷烟厂/21]巨鹰卷烟厂/31  在/40"},
    };
    for (const auto& c : cases) {
        CEntityRecognizer::Backoff backoff;
        backoff.newWords = c.newWords;
        recognizer->SetBackoff(backoff);
        CEntityRecognizer::Suffixes suffixes;
        suffixes.table = c.share > 0 ? &suffixTable : nullptr;
        suffixes.share = c.share;
        suffixes.unigram = &unigram;
        recognizer->SetOrgSuffixes(suffixes);
        Build(c.words);
        EXPECT_EQ(Run(), Gbk(c.expected)) << c.label;
    }
}

TEST_F(EntityFixture, PlacesAndUntaggedListedWordsOpenOrganisations)
{
    LoadRoleModels({{kSentenceBegin, 10}}, {{kSentenceEnd, 10}}, {{kOther, 1000}});
    const struct {
        const char* label;
        std::vector<std::string> words;
        bool places, untagged;
        const char* expected;
    } cases[] = {
        // 塘沽 opens places only; the place it opens opens the organisation.
        {"a place found, no back-off", {"在", "塘沽", "特区", "电台"}, false, false,
         "在/40  [塘沽/29 特区/21]塘沽特区/29  电台/21"},
        {"a place found opens one", {"在", "塘沽", "特区", "电台"}, true, false,
         "在/40  [塘沽/29 特区/21 电台/21]塘沽特区电台/31"},
        {"a place of the name stage, no back-off", {"在", "^玉溪", "电台", "在"}, false, true,
         "在/40  玉溪/29  电台/21  在/40"},
        {"a place of the name stage opens one", {"在", "^玉溪", "电台", "在"}, true, false,
         "在/40  [玉溪/29 电台/21]玉溪电台/31  在/40"},
        // A listed word without a tag, a brand as often as not.
        {"an untagged word, no back-off", {"在", "?华英", "电台", "在"}, true, false,
         "在/40  华英/21  电台/21  在/40"},
        {"an untagged word opens one", {"在", "?华英", "电台", "在"}, false, true,
         "在/40  [华英/21 电台/21]华英电台/31  在/40"},
        {"an untagged word with no end after it", {"在", "?华英", "在", "在"}, true, true,
         "在/40  华英/21  在/40  在/40"},
    };
    for (const auto& c : cases) {
        CEntityRecognizer::Backoff backoff;
        backoff.listed = true;
        backoff.places = c.places;
        backoff.untagged = c.untagged;
        recognizer->SetBackoff(backoff);
        Build(c.words);
        EXPECT_EQ(Run(), Gbk(c.expected)) << c.label;
    }
}

TEST_F(EntityFixture, MergedTokensAreClassWordsWithTheirCodeForThePosPass)
{
    // 格拉哥 fails the organisation's run at 中国, which still opens the next.
    Build({"在", "+格拉哥", "中国", "国际", "电台"});
    recognizer->Recognize(text.c_str(), tokens.data(), count);
    ASSERT_EQ(count, 5);
    EXPECT_EQ(tokens[2].wordId, ids.unknownPlace);
    EXPECT_EQ(tokens[2].kind, kNs);
    EXPECT_EQ(tokens[2].flags, kFlagNewWord); // a name of one new word keeps its flags
    EXPECT_EQ(tokens[3].wordId, ids.unknownOrganization);
    EXPECT_EQ(tokens[3].kind, kNt);
    EXPECT_EQ(tokens[3].fixedTag, 255);
    EXPECT_EQ(tokens[4].wordId, ids.sentenceEnd); // the end marker moved down
    posTagger->Tag(tokens.data(), count);
    EXPECT_EQ(tokens[2].tag, kNs);
    EXPECT_EQ(tokens[2].kind, kKindPlaceName);
    EXPECT_EQ(tokens[3].tag, kNt);
    EXPECT_EQ(tokens[3].kind, kKindOrganizationName);
}

TEST_F(EntityFixture, TheMarkersAndShortSentencesAreLeftAlone)
{
    // A sentence of the markers and one token has no room for a name.
    Build({"中国"});
    recognizer->Recognize(text.c_str(), tokens.data(), count);
    EXPECT_EQ(count, 3);
    EXPECT_FALSE(recognizer->HasParts());
    int none = 0;
    recognizer->Recognize(text.c_str(), nullptr, none);
    EXPECT_EQ(none, 0);
    // Without models of either kind nothing is recognised.
    CEntityRecognizer bare(&dict, ids.unknownProper, 100, CEntityRecognizer::Kind(), CEntityRecognizer::Kind());
    Build({"中国", "国际", "电台"});
    bare.Recognize(text.c_str(), tokens.data(), count);
    EXPECT_EQ(count, 5);
}

TEST_F(EntityFixture, ANameNeverTakesInASentenceMarker)
{
    // Role models that let the markers play the parts of a name's first and
    // last words (as the words next to them would): a sentence that begins
    // with a name's suffix, or ends with a word that begins names, still has
    // its markers, and those words stay as they are.
    LoadRoleModels({{kFirst, 50}, {kSentenceBegin, 10}}, {{kLast, 50}, {kSentenceEnd, 10}});
    const struct {
        const char* label;
        std::vector<std::string> words;
        const char* expected;
    } cases[] = {
        {"a place's suffix first", {"特区", "在"}, "特区/21  在/40"},
        {"an organisation's suffix first", {"电台", "在"}, "电台/21  在/40"},
        {"a suffix, then a name", {"特区", "香港", "特区"}, "特区/21  [香港/29 特区/21]香港特区/29"},
        {"a first word last", {"在", "中国"}, "在/40  中国/29"},
        {"the two together", {"特区", "中国"}, "特区/21  中国/29"},
    };
    for (const auto& c : cases) {
        Build(c.words);
        const int tokensIn = count;
        EXPECT_EQ(Run(), Gbk(c.expected)) << c.label;
        EXPECT_EQ(tokens.front().wordId, ids.sentenceBegin) << c.label;
        EXPECT_EQ(tokens[static_cast<size_t>(count) - 1].wordId, ids.sentenceEnd) << c.label;
        EXPECT_LE(count, tokensIn) << c.label;
    }
}

TEST(EntityTagging, ATokensOwnCandidatesReplaceTheLexiconsOnlyWhereGiven)
{
    // Word 4 is tag 21 in the lexicon; token 2's own candidates make it 29.
    std::vector<ModelWriter::LexiconEntries> entries(5);
    entries[4] = {{21, 10}};
    TempDir tmp;
    ASSERT_TRUE(ModelWriter::WriteLexicon(tmp / "l.role", entries));
    CPosLexicon lexicon;
    ASSERT_TRUE(lexicon.Load((tmp / "l.role").c_str()));
    CHmmTagger tagger(&lexicon, nullptr, 10, 7);
    std::vector<TokenRecord> tokens(4);
    tokens[1].wordId = tokens[2].wordId = 4;
    const CPosLexicon::Entry own29[] = {{29, 3}};
    std::vector<CHmmTagger::Candidates> own(4);
    own[2] = {own29, 1};
    tagger.Tag(tokens.data(), 4, own.data());
    EXPECT_EQ(tokens[1].tag, 21);
    EXPECT_EQ(tokens[2].tag, 29);
    EXPECT_EQ(tokens[3].tag, 7);
    // An empty list is none of its own.
    own[2] = {own29, 0};
    tagger.Tag(tokens.data(), 4, own.data());
    EXPECT_EQ(tokens[2].tag, 21);
}

TEST(EntityTagging, TheClassWordsOfPlacesAndOrganisationsTakeTheirCodeFromKind)
{
    // Without the ids set a token of the word is looked up like any other.
    const CPosLexicon lexicon;
    CHmmTagger tagger(&lexicon, nullptr, 10, 21);
    std::vector<TokenRecord> tokens(4);
    tokens[1].wordId = 4;
    tokens[1].kind = 29;
    tokens[2].wordId = 5;
    tokens[2].kind = 31;
    tagger.Tag(tokens.data(), 4);
    EXPECT_EQ(tokens[1].tag, 21);
    EXPECT_EQ(tokens[1].kind, 29);
    tagger.SetEntityWordIds(4, 5);
    tagger.Tag(tokens.data(), 4);
    EXPECT_EQ(tokens[1].tag, 29);
    EXPECT_EQ(tokens[1].kind, kKindPlaceName);
    EXPECT_EQ(tokens[2].tag, 31);
    EXPECT_EQ(tokens[2].kind, kKindOrganizationName);
    EXPECT_EQ(tokens[3].tag, 21);
}

} // namespace

namespace {

const std::string kTrained = std::string(MORV_BINARY_DIR) + "/bin/Morv";

// The trained models with the stage's keys set, in a directory of their own.
class EntityStage : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!FileExists(kTrained + "/Data/ns.fsa"))
            GTEST_SKIP() << "no trained place models in " << kTrained;
    }
    // keys: the stage keys; a setting of the trained Configure.xml given as
    // from is replaced by to.
    std::unique_ptr<morv::Model> Open(const std::string& keys, const std::string& from = "", const std::string& to = "")
    {
        return Open(keys, {{from, to}});
    }
    // The trained Configure.xml with each (from, to) replaced, and keys.
    std::unique_ptr<morv::Model> Open(const std::string& keys, const std::vector<std::pair<std::string, std::string>>& swaps)
    {
        std::string trained = ReadFile(kTrained + "/Configure.xml");
        for (const auto& s : swaps) {
            const size_t at = s.first.empty() ? std::string::npos : trained.find(s.first);
            if (at != std::string::npos)
                trained.replace(at, s.first.size(), s.second);
        }
        const std::string config = WithStageKeys(trained, keys);
        const std::string base = dir / std::to_string(++opened);
        EXPECT_TRUE(LinkModels(kTrained, base, config));
        return std::unique_ptr<morv::Model>(new morv::Model(base));
    }
    // The organisations of a text, as "word word ".
    static std::string Organisations(morv::Analyzer& analyzer, const char* text)
    {
        std::string names;
        for (const morv::Token& t : analyzer.Analyze(text))
            if (t.tag == "nt")
                names += std::string(t.word) + " ";
        return names;
    }
    // The places of a text, as "word/ns ".
    static std::string Places(morv::Analyzer& analyzer, const char* text)
    {
        std::string names;
        for (const morv::Token& t : analyzer.Analyze(text))
            if (t.tag == "ns")
                names += std::string(t.word) + "/ns ";
        return names;
    }
    // The places and organisations of a text, as "word/tag ".
    static std::string Names(morv::Analyzer& analyzer, const char* text)
    {
        std::string names;
        for (const morv::Token& t : analyzer.Analyze(text))
            if (t.tag == "ns" || t.tag == "nt")
                names += std::string(t.word) + "/" + std::string(t.tag) + " ";
        return names;
    }
    TempDir dir;
    int opened = 0;
};

const char kBroadcast[] = "我通过中国国际广播电台向香港特别行政区同胞问候。";

TEST_F(EntityStage, CompoundNamesAreOneTokenWithTheirWords)
{
    const auto model = Open("<NewWords>on</NewWords>\n");
    morv::Analyzer analyzer(*model);
    const std::vector<morv::Token> tokens = analyzer.Analyze(kBroadcast);
    bool found = false;
    size_t at = 0;
    for (const morv::Token& t : tokens) {
        EXPECT_EQ(t.start, at);
        at = t.end;
        EXPECT_EQ(t.Has(MORV_FLAG_COMPOUND), !t.parts.empty()) << t.word;
        // The words tile their name.
        size_t inner = t.start;
        for (const morv::Part& p : t.parts) {
            EXPECT_EQ(p.start, inner) << t.word;
            EXPECT_GT(p.end, p.start) << t.word;
            inner = p.end;
        }
        if (!t.parts.empty()) {
            EXPECT_EQ(inner, t.end) << t.word;
        }
        if (t.word != "中国国际广播电台")
            continue;
        found = true;
        EXPECT_EQ(t.tag, "nt");
        EXPECT_TRUE(t.Has(MORV_FLAG_ORGANIZATION));
        std::string words;
        for (const morv::Part& p : t.parts)
            words += std::string(p.word) + "/" + std::string(p.tag) + " ";
        EXPECT_EQ(words, "中国/ns 国际/n 广播/vn 电台/n ");
    }
    EXPECT_EQ(at, std::string(kBroadcast).size());
    EXPECT_TRUE(found);
    const std::string described = model->Describe();
    EXPECT_NE(described.find("PlaceNames on"), std::string::npos);
    EXPECT_NE(described.find("nt.fsa"), std::string::npos);
}

TEST_F(EntityStage, TrainedMergesStopAtConjunctionsAndOrdinals)
{
    const struct {
        const char* text;
        const char* stopped; // the names with EntityStops on, as "word/tag "
        const char* merged;  // with it off
    } cases[] = {
        {"浙江省第十一届人民代表大会今天开幕。", "浙江省/ns 人民代表大会/nt ", "浙江省第十一届人民代表大会/nt "},
        // Two bodies with a conjunction between stay two either way.
        {"北京市教育委员会和上海市卫生局签署协议。", "北京市教育委员会/nt 上海市卫生局/nt ",
         "北京市教育委员会/nt 上海市卫生局/nt "},
        {"中国科学院和北京大学联合举办讲座。", "中国科学院/nt 北京大学/nt ", "中国科学院/nt 北京大学/nt "},
    };
    const char kOn[] = "<EntityStops>on</EntityStops>";
    for (bool on : {true, false}) {
        // (The stops alone: the runs kept apart would part 人民/代表大会 too.)
        const auto model = Open("<NewWords>on</NewWords>\n", {{kOn, on ? kOn : "<EntityStops>off</EntityStops>"},
                                                               {"<EntityApart>on</EntityApart>", ""}});
        morv::Analyzer analyzer(*model);
        for (const auto& c : cases)
            EXPECT_EQ(Names(analyzer, c.text), on ? c.stopped : c.merged) << c.text << (on ? ", stops on" : ", stops off");
    }
}

// The corpus writes some runs the role models would merge apart far more
// often than as one name; with EntityApart (the trained default) they stay
// words, and a place among them is a place of its own.
TEST_F(EntityStage, TrainedRunsTheCorpusKeepsApartStayWords)
{
    const struct {
        const char* text;
        const char* apart;  // the names with EntityApart on, as "word/tag "
        const char* merged; // with it off
    } cases[] = {
        {"他希望台湾当局早日回应。", "台湾/ns ", "台湾当局/nt "},
        // A name the corpus writes whole is merged either way.
        {"中国政府发表声明。", "中国政府/nt ", "中国政府/nt "},
    };
    for (bool on : {true, false}) {
        const auto model = Open("<NewWords>on</NewWords>\n", "<EntityApart>on</EntityApart>",
                                on ? "<EntityApart>on</EntityApart>" : "");
        morv::Analyzer analyzer(*model);
        for (const auto& c : cases)
            EXPECT_EQ(Names(analyzer, c.text), on ? c.apart : c.merged) << c.text << (on ? ", apart on" : ", apart off");
        EXPECT_EQ(model->Describe().find("nt.apart") != std::string::npos, on);
    }
}

// A word the supplementary list tags ns may be tagged n (ListedPlaceNouns);
// with ListedPlaceLists (on in the trained file) it stays a place where it
// stands in a list beside a place (or beside such a word), across 、 和 与 及
// 或, and only there.
// (The words here are in the list but nowhere in the corpus.)
TEST_F(EntityStage, TrainedListedPlacesInListsStayPlaces)
{
    const struct {
        const char* text;
        const char* on; // the places, as "word/tag "
        const char* off;
    } cases[] = {
        {"他先后到过杭州、浠水等地。", "杭州/ns 浠水/ns ", "杭州/ns "},
        // A listed word beside a listed word beside a place: the list runs on.
        {"我们参观了花园口与湖口和杭州。", "花园口/ns 湖口/ns 杭州/ns ", "杭州/ns "},
        // Two listed words without a place make no list of places (the list
        // tags many nouns ns).
        {"浠水和湖口都在长江边。", "长江/ns ", "长江/ns "},
        // A comma ends the list.
        {"他到过杭州，浠水也去过。", "杭州/ns ", "杭州/ns "},
    };
    for (bool on : {true, false}) {
        const auto model = Open("<NewWords>on</NewWords>\n", "<ListedPlaceLists>on</ListedPlaceLists>",
                                on ? "<ListedPlaceLists>on</ListedPlaceLists>" : "");
        morv::Analyzer analyzer(*model);
        for (const auto& c : cases)
            EXPECT_EQ(Places(analyzer, c.text), on ? c.on : c.off) << c.text << (on ? ", lists on" : ", lists off");
    }
}

TEST_F(EntityStage, TrainedPlacesTakeTheWordThatMostlyEndsPlaces)
{
    // With the trained default (PlaceSuffixes on) a place keeps the suffix
    // that ends it and leaves a word that follows places more often.
    const struct {
        const char* text;
        const char* places; // as "word/tag "
    } cases[] = {
        {"先是东南亚地区汇市大跌。", "东南亚地区/ns "},
        {"先是南亚地区股市大跌。", "南亚地区/ns "},
        {"他们来到西藏自治区考察。", "西藏自治区/ns "},
        {"东亚国家和地区稳定金融形势。", "东亚/ns "},
    };
    const auto model = Open("<NewWords>on</NewWords>\n");
    morv::Analyzer analyzer(*model);
    for (const auto& c : cases)
        EXPECT_EQ(Places(analyzer, c.text), c.places) << c.text;
}

TEST_F(EntityStage, TrainedPlacesTakeTheUnitThatEndsTheirWord)
{
    // With PlaceUnits (on in the trained file) a place word and the unit
    // after it are one word where the place roles say the unit mostly ends
    // one; a unit that makes a word with what follows, stands beside another
    // unit or is mostly a function word stays apart either way.
    const struct {
        const char* text;
        const char* on; // the places, as "word/tag "
        const char* off;
    } cases[] = {
        {"我们都是乌鲁木齐市、克拉玛依市的居民。", "乌鲁木齐市/ns 克拉玛依市/ns ", "乌鲁木齐/ns 克拉玛依市/ns "},
        {"他们是乌鲁木齐市、吐鲁番地区的代表。", "乌鲁木齐市/ns 吐鲁番地区/ns ", "乌鲁木齐/ns 吐鲁番地区/ns "},
        {"我们都是乌鲁木齐市区的居民。", "乌鲁木齐/ns ", "乌鲁木齐/ns "},
        {"他们是上海区县的干部。", "上海/ns ", "上海/ns "},
        {"城门洞里蹿出一只猫。", "", ""},
    };
    const std::string trained = ReadFile(kTrained + "/Configure.xml");
    ASSERT_NE(trained.find("<PlaceUnits>on</PlaceUnits>"), std::string::npos);
    for (bool on : {true, false}) {
        const auto model = Open("<NewWords>on</NewWords>\n", "<PlaceUnits>on</PlaceUnits>",
                                on ? "<PlaceUnits>on</PlaceUnits>" : "<PlaceUnits>off</PlaceUnits>");
        morv::Analyzer analyzer(*model);
        for (const auto& c : cases)
            EXPECT_EQ(Places(analyzer, c.text), on ? c.on : c.off) << c.text << (on ? ", units on" : ", off");
    }
}

TEST_F(EntityStage, TrainedBrandsOpenOrganisations)
{
    // A word the corpus mostly tags nz (a brand, a product) may open an
    // organisation as a place may: the month shows few of the bodies a brand
    // names. Without a word that ends one nothing is merged.
    const struct {
        const char* text;
        const char* organisations; // as "word "
    } cases[] = {
        {"福寿仙集团推出新产品。", "福寿仙集团 "},
        {"万德莱公司宣布裁员。", "万德莱公司 "},
        {"丰田研究所发表报告。", "丰田研究所 "},
        {"华广集团推出新产品。", "华广集团 "},
        {"丰田汽车在美国畅销。", ""},
        {"藏族同胞欢度新年。", ""},
        {"他读了水浒传和红楼梦。", ""},
    };
    const auto model = Open("<NewWords>on</NewWords>\n");
    morv::Analyzer analyzer(*model);
    for (const auto& c : cases)
        EXPECT_EQ(Organisations(analyzer, c.text), c.organisations) << c.text;
}

TEST_F(EntityStage, TrainedBackoffEndsOrganisationsBeforeUnseenWords)
{
    // The trained default (EntityContext, EntitySupplement on) against the
    // three back-off keys off.
    const struct {
        const char* text;
        const char* on;  // the organisations, as "word "
        const char* off;
    } cases[] = {
        // A verb never seen right after an organisation.
        {"昨天，张家口市邮电局协同有关部门检查了线路。", "张家口市邮电局 ", ""},
        {"义乌市工商局查处了一批假冒商品。", "义乌市工商局 ", ""},
        // Names the role models knew already stay as they were.
        {"他在绵阳市卫生局工作多年。", "绵阳市卫生局 ", "绵阳市卫生局 "},
        {"淄博市环保局局长介绍了情况。", "淄博市环保局 ", "淄博市环保局 "},
    };
    const std::string trained = ReadFile(kTrained + "/Configure.xml");
    ASSERT_NE(trained.find("<EntityContext>on</EntityContext>"), std::string::npos);
    ASSERT_NE(trained.find("<EntitySupplement>on</EntitySupplement>"), std::string::npos);
    for (bool on : {true, false}) {
        const auto model = on ? Open("<NewWords>on</NewWords>\n")
                              : Open("<NewWords>on</NewWords>\n", "<EntityContext>on</EntityContext>",
                                     "<EntityContext>off</EntityContext><EntitySupplement>off</EntitySupplement>");
        morv::Analyzer analyzer(*model);
        for (const auto& c : cases) {
            EXPECT_EQ(Organisations(analyzer, c.text), on ? c.on : c.off) << c.text << (on ? ", back-off on" : ", off");
        }
    }
}

TEST_F(EntityStage, TrainedSuffixesAndNewWordsCompleteOrganisations)
{
    // The trained default (OrgSuffixShare, OrgNewWords) against both off.
    const char trainedKeys[] = "<OrgSuffixShare>0.05</OrgSuffixShare>\n<OrgNewWords>on</OrgNewWords>";
    const struct {
        const char* text;
        const char* on; // the organisations, as "word "
        const char* off;
    } cases[] = {
        // A suffix word the role models never saw end one (防疫站, 粮食局
        // before a verb it then runs into).
        {"天津市河西区防疫站发出通知。", "天津市河西区防疫站 ", ""},
        {"济南市历下区粮食局组织了检查。", "济南市历下区粮食局 ", "济南市历下区粮食局组织 "},
        // A brand the new-word stage found opens one, or stands inside it.
        {"记者采访了福州闽佳集团的职工。", "福州闽佳集团 ", ""},
        {"温州奥康鞋业公司获得质量奖。", "温州奥康鞋业公司 ", ""},
        // Names the role models knew already stay as they were.
        {"她在沈阳市铁西区检察院工作。", "沈阳市铁西区检察院 ", "沈阳市铁西区检察院 "},
    };
    ASSERT_NE(ReadFile(kTrained + "/Configure.xml").find(trainedKeys), std::string::npos);
    for (bool on : {true, false}) {
        const auto model = on ? Open("<NewWords>on</NewWords>\n")
                              : Open("<NewWords>on</NewWords>\n", trainedKeys,
                                     "<OrgSuffixShare>0</OrgSuffixShare><OrgNewWords>off</OrgNewWords>");
        morv::Analyzer analyzer(*model);
        for (const auto& c : cases) {
            EXPECT_EQ(Organisations(analyzer, c.text), on ? c.on : c.off) << c.text << (on ? ", keys on" : ", off");
        }
    }
}

TEST_F(EntityStage, TrainedPartsAreTaggedAsTheSentenceWithoutNamesIs)
{
    // With EntityPartsPos (trained default) the words of a merged name get the
    // tags the part-of-speech model gives the same tokens when no names are
    // merged at all.
    const char* texts[] = {
        "我通过中国国际广播电台向香港特别行政区同胞问候。",
        "他在绵阳市卫生局工作多年。",
        "珠海格力电器股份有限公司发布了新产品。",
    };
    const auto merged = Open("<NewWords>on</NewWords>\n");
    const auto plain = Open("<NewWords>on</NewWords><PlaceNames>off</PlaceNames>\n");
    morv::Analyzer withNames(*merged), without(*plain);
    for (const char* text : texts) {
        std::string parts, words;
        for (const morv::Token& t : withNames.Analyze(text))
            for (const morv::Part& p : t.parts)
                parts += std::string(p.word) + "/" + std::string(p.tag) + " ";
        ASSERT_FALSE(parts.empty()) << text;
        std::string all;
        for (const morv::Token& t : without.Analyze(text))
            all += " " + std::string(t.word) + "/" + std::string(t.tag) + " ";
        // Every part, in order, is one of the unmerged tokens with its tag.
        size_t from = 0;
        std::string rest = parts;
        while (!rest.empty()) {
            const size_t space = rest.find(' ');
            const std::string item = " " + rest.substr(0, space + 1);
            const size_t at = all.find(item, from);
            EXPECT_NE(at, std::string::npos) << text << ": " << item << " in" << all;
            if (at != std::string::npos)
                from = at + item.size() - 1;
            rest.erase(0, space + 1);
        }
    }
}

TEST_F(EntityStage, OffOrWithoutNewWordsNothingIsMerged)
{
    for (const char* keys : {"<NewWords>on</NewWords><PlaceNames>off</PlaceNames>\n", ""}) {
        const auto model = Open(keys);
        morv::Analyzer analyzer(*model);
        for (const morv::Token& t : analyzer.Analyze(kBroadcast)) {
            EXPECT_TRUE(t.parts.empty()) << keys << t.word;
            EXPECT_FALSE(t.Has(MORV_FLAG_COMPOUND)) << keys << t.word;
            EXPECT_NE(t.word, "中国国际广播电台") << keys;
        }
        EXPECT_EQ(model->Describe().find("nt.fsa"), std::string::npos) << keys;
    }
}

TEST_F(EntityStage, PartsOfATokenByIndex)
{
    const auto model = Open("<NewWords>on</NewWords>\n");
    morv_analyzer* analyzer = nullptr;
    ASSERT_EQ(morv_analyzer_new(model->Get(), &analyzer), MORV_OK);
    const morv_token* tokens = nullptr;
    size_t count = 0;
    ASSERT_EQ(morv_analyze(analyzer, kBroadcast, MORV_NUL_TERMINATED, MORV_UTF8, &tokens, &count), MORV_OK);
    const morv_part* parts = nullptr;
    size_t n = 99;
    size_t compounds = 0;
    for (size_t i = 0; i < count; ++i) {
        ASSERT_EQ(morv_token_parts(analyzer, i, &parts, &n), MORV_OK);
        EXPECT_EQ(n > 0, (tokens[i].flags & MORV_FLAG_COMPOUND) != 0);
        EXPECT_EQ(n == 0, parts == nullptr);
        compounds += n > 0;
    }
    EXPECT_GE(compounds, 1u);
    EXPECT_EQ(morv_token_parts(analyzer, count, &parts, &n), MORV_E_ARGUMENT);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(parts, nullptr);
    EXPECT_EQ(morv_token_parts(nullptr, 0, &parts, &n), MORV_E_ARGUMENT);
    EXPECT_EQ(morv_token_parts(analyzer, 0, nullptr, &n), MORV_E_ARGUMENT);
    // A new analysis replaces the parts of the last.
    ASSERT_EQ(morv_analyze(analyzer, "我", MORV_NUL_TERMINATED, MORV_UTF8, &tokens, &count), MORV_OK);
    ASSERT_EQ(morv_token_parts(analyzer, 0, &parts, &n), MORV_OK);
    EXPECT_EQ(n, 0u);
    morv_analyzer_free(analyzer);
}

} // namespace

namespace {

TEST_F(EntityStage, AMissingOrDamagedModelStopsTheLoadOnlyWhenTheStageRuns)
{
    const std::pair<const char*, bool> cases[] = {{"ns.role", true}, {"ns.ctx", false}, {"nt.fsa", true}};
    for (const auto& c : cases) {
        const char* damaged = c.first;
        const bool empty = c.second;
        const std::string base = dir / (std::string("damaged-") + damaged + (empty ? "-empty" : "-missing"));
        MakeDir(base);
        MakeDir(base + "/Data");
        // Every model the trainer wrote, but the damaged one.
        for (const auto& entry : std::filesystem::directory_iterator(kTrained + "/Data")) {
            const std::string f = entry.path().filename().string();
            const std::string target = base + "/Data/" + f;
            if (f == damaged) {
                if (empty)
                    WriteFile(target, "");
                continue;
            }
            ASSERT_EQ(symlink((kTrained + "/Data/" + f).c_str(), target.c_str()), 0);
        }
        const std::string config = ReadFile(kTrained + "/Configure.xml");
        WriteFile(base + "/Configure.xml", WithStageKeys(config, "<NewWords>on</NewWords>"));
        morv_model* model = nullptr;
        EXPECT_EQ(morv_model_open(base.c_str(), &model), MORV_E_MODEL) << damaged;
        EXPECT_NE(std::string(morv_last_error()).find(damaged), std::string::npos) << morv_last_error();
        morv_model_free(model);
        WriteFile(base + "/Configure.xml", WithStageKeys(config, "<NewWords>on</NewWords><PlaceNames>off</PlaceNames>"));
        EXPECT_EQ(morv_model_open(base.c_str(), &model), MORV_OK) << damaged << ": " << morv_last_error();
        morv_model_free(model);
    }
}

} // namespace
