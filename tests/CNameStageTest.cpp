#include "tagging/CNameStage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "NameTestChars.h"
#include "TestUtil.h"
#include "engine/morv.hpp"
#include "lexicon/CPDAT.h"
#include "lexicon/CUnigram.h"
#include "segment/SpecialWords.h"
#include "tagging/CNameModel.h"
#include "tagging/CNameOpeners.h"
#include "tagging/CPosLexicon.h"
#include "tagging/CRoleTagger.h"
#include "tagging/CTranslitModel.h"
#include "tagging/TagCodes.h"
#include "tools/trainer/ModelWriter.h"
#include "tools/trainer/NameModelTrainer.h"
#include "tools/trainer/NameModelWriter.h"

namespace {

using N = CNameModel;
constexpr uint8_t kNr = 24, kNrf = 28, kNoun = 21, kVerb = 40;

using namespace namechars;

// The models a stage reads, small: a dictionary with the special words and a
// few others, their frequencies and tags, an automaton that finds no name, and
// a name model whose character weights make 王 a surname, 小 明 given-name
// characters, 克 林 顿 a transliterated name and 说 a word outside names.
class CNameStageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        words.assign(SpecialWords::kWords, SpecialWords::kWords + SpecialWords::kCount);
        for (const std::string& w : {kWang, kXiao, kMing, kXiao + kMing, kWang + kXiao, kKe, kLin, kDun, kKe + kLin, kShuo})
            words.push_back(w);
        ASSERT_EQ(dictionary.BuildFromWords(words), static_cast<int>(words.size()));
        ids = SpecialWords::Lookup(dictionary);
        ASSERT_TRUE(ids.HasRequired());
        ASSERT_TRUE(ModelWriter::WriteUnigram(dir / "u", std::vector<int32_t>(words.size(), 10)));
        ASSERT_TRUE(unigram.Load((dir / "u").c_str()));
        std::vector<ModelWriter::LexiconEntries> tags(words.size());
        tags[size_t(Id(kWang))] = {{kNr, 10}};            // known only as a name
        tags[size_t(Id(kLin))] = {{kNr, 5}, {kNoun, 3}};  // a name or a noun
        tags[size_t(Id(kShuo))] = {{kVerb, 10}};
        ASSERT_TRUE(ModelWriter::WriteLexicon(dir / "p", tags));
        ASSERT_TRUE(posLexicon.Load((dir / "p").c_str()));
        ASSERT_TRUE(ModelWriter::WriteAutomaton(dir / "f", 23, {0}, {0}, std::vector<int32_t>(23, -1)));
        ASSERT_TRUE(roles.Load((dir / "f").c_str()));

        LoadModel(60);
    }

    // outside: the weight of O that 说 gives itself.
    void LoadModel(int16_t outside)
    {
        NameModelTrainer::Image m;
        m.classCount = 4;
        m.scale = 1.0f;
        m.classes.assign(N::kKeyCount, 0);
        for (const std::string& c : {kWang, kXiao, kMing, kKe, kLin, kDun, kShuo})
            m.charKeys.push_back(static_cast<uint16_t>(Key(c)));
        std::sort(m.charKeys.begin(), m.charKeys.end());
        m.transitions.assign(N::kLabelCount * N::kLabelCount, 0);
        m.unigram.assign((m.charKeys.size() + N::kReservedRows) * N::kUnigramWeights, 0);
        m.classTrigram.assign(4 * 4 * 4 * N::kRowWidth, 0);
        m.lexWeights.assign(N::kLexWeights, 0);
        m.contextWeights.assign(N::kContextWeights, 0);
        const std::map<std::string, int> labels = {{kWang, N::kSB}, {kXiao, N::kG1}, {kMing, N::kG2}, {kKe, N::kWB},
                                                   {kLin, N::kWI},  {kDun, N::kWI},  {kShuo, N::kO}};
        for (const auto& l : labels) {
            const size_t row = size_t(std::find(m.charKeys.begin(), m.charKeys.end(), Key(l.first)) - m.charKeys.begin()) +
                               N::kReservedRows;
            m.unigram[row * N::kUnigramWeights + 2 * N::kRowWidth + size_t(l.second)] = l.first == kShuo ? outside : 60;
        }
        WriteFile(dir / "m.nm", NameModelWriter::Serialize(m));
        ASSERT_TRUE(model.Load((dir / "m.nm").c_str()));
    }

    int Id(const std::string& w) const
    {
        return static_cast<int>(std::find(words.begin(), words.end(), w) - words.begin());
    }
    // The sentence's tokens as segmentation leaves them: the markers around
    // tokens of the given texts.
    std::vector<TokenRecord> Tokens(const std::vector<std::string>& parts) const
    {
        std::vector<TokenRecord> tokens(1);
        tokens[0].wordId = ids.sentenceBegin;
        tokens[0].start = tokens[0].end = 0;
        tokens[0].kind = kKindSentenceBegin;
        int at = 0;
        for (const std::string& p : parts) {
            TokenRecord t;
            t.wordId = dictionary.ExactMatch(p.c_str(), static_cast<int>(p.size()));
            t.start = at;
            t.end = at += static_cast<int>(p.size());
            t.kind = 0;
            t.tag = 22;
            tokens.push_back(t);
        }
        TokenRecord end;
        end.wordId = ids.sentenceEnd;
        end.start = end.end = at;
        end.kind = kKindSentenceEnd;
        tokens.push_back(end);
        return tokens;
    }
    static std::string Text(const std::vector<std::string>& parts)
    {
        std::string text;
        for (const std::string& p : parts)
            text += p;
        return text;
    }
    // Find, Layout and Merge as the analyser calls them; `before` gets the
    // tokens between Layout and Merge as (start, end) pairs.
    std::vector<TokenRecord> Run(CNameStage& stage, const std::vector<std::string>& parts,
                                 std::vector<std::pair<int, int>>* before = nullptr)
    {
        const std::string text = Text(parts);
        std::vector<TokenRecord> tokens = Tokens(parts);
        int count = static_cast<int>(tokens.size());
        stage.Find(text.c_str(), static_cast<int>(text.size()), tokens.data(), count, roles);
        TokenRecord* items = stage.Layout(text.c_str(), tokens.data(), count);
        if (before != nullptr)
            for (int i = 1; i + 1 < count; ++i)
                before->emplace_back(items[i].start, items[i].end);
        stage.Merge(items, count);
        return std::vector<TokenRecord>(items + 1, items + count - 1);
    }

    TempDir dir;
    std::vector<std::string> words;
    CPDAT dictionary;
    SpecialWords ids;
    CUnigram unigram;
    CPosLexicon posLexicon;
    CRoleTagger roles;
    CNameModel model;
};

TEST_F(CNameStageTest, ReCutsTheTokensAtTheNamesAndMergesEachIntoOne)
{
    CNameStage stage(model, dictionary, unigram, &posLexicon, ids, CNameStage::Settings());
    const struct {
        std::vector<std::string> parts;
        std::vector<std::pair<int, int>> before; // tokens between Layout and Merge
        std::vector<std::pair<int, int>> after;
        std::vector<uint8_t> kinds;              // of the tokens after Merge
    } cases[] = {
        // Segmentation cut the surname off wrongly: the name is re-cut into
        // surname and given name, then merged.
        {{kWang + kXiao, kMing, kShuo}, {{0, 2}, {2, 6}, {6, 8}}, {{0, 6}, {6, 8}}, {kNr, 0}},
        {{kShuo, kWang, kXiao + kMing}, {{0, 2}, {2, 4}, {4, 8}}, {{0, 2}, {2, 8}}, {0, kNr}},
        // A transliterated name over two tokens becomes one token first.
        {{kKe + kLin, kDun, kShuo}, {{0, 6}, {6, 8}}, {{0, 6}, {6, 8}}, {kNrf, 0}},
        // Two names in a row, each its own token.
        {{kWang, kMing, kKe, kLin + kDun}, {{0, 2}, {2, 4}, {4, 10}}, {{0, 4}, {4, 10}}, {kNr, kNrf}},
    };
    for (const auto& c : cases) {
        std::vector<std::pair<int, int>> before;
        const std::vector<TokenRecord> out = Run(stage, c.parts, &before);
        EXPECT_EQ(before, c.before);
        ASSERT_EQ(out.size(), c.after.size());
        for (size_t k = 0; k < out.size(); ++k) {
            EXPECT_EQ(std::make_pair(out[k].start, out[k].end), c.after[k]) << k;
            const bool name = c.kinds[k] != 0;
            EXPECT_EQ(out[k].wordId == ids.unknownPerson, name) << k;
            if (name) {
                EXPECT_EQ(out[k].kind, c.kinds[k]) << k;
            }
        }
    }
    // A piece of a token cut off by a name takes the word id of its text.
    std::vector<TokenRecord> tokens = Tokens({kShuo + kWang, kXiao + kMing});
    const std::string text = kShuo + kWang + kXiao + kMing;
    int count = static_cast<int>(tokens.size());
    stage.Find(text.c_str(), static_cast<int>(text.size()), tokens.data(), count, roles);
    const TokenRecord* items = stage.Layout(text.c_str(), tokens.data(), count);
    ASSERT_EQ(count, 5);
    EXPECT_EQ(items[1].wordId, Id(kShuo));
    EXPECT_EQ(items[2].wordId, Id(kWang));
    EXPECT_EQ(items[3].wordId, Id(kXiao + kMing));
}

// The model labels only the stretches around characters that may open a name
// (说, with a strong O of its own, opens none), each stretch apart: the names
// of a long sentence come back at their places in it, whichever stretch
// found them.
TEST_F(CNameStageTest, FindsTheNamesOfEachStretchAtTheirPlaces)
{
    LoadModel(1500);
    CNameStage stage(model, dictionary, unigram, &posLexicon, ids, CNameStage::Settings());
    std::vector<std::string> parts(30, kShuo);
    parts.push_back(kWang);
    parts.push_back(kXiao + kMing);
    parts.insert(parts.end(), 10, kShuo);
    parts.push_back(kKe + kLin);
    parts.push_back(kDun);
    parts.insert(parts.end(), 5, kShuo);
    parts.push_back(kWang);
    parts.push_back(kMing);
    const std::string text = Text(parts);
    std::vector<TokenRecord> tokens = Tokens(parts);
    int count = static_cast<int>(tokens.size());
    stage.Find(text.c_str(), static_cast<int>(text.size()), tokens.data(), count, roles);
    const std::vector<CNameStage::Name>& names = stage.GetNames();
    ASSERT_EQ(names.size(), 3u);
    const struct {
        int start, end, split;
    } expected[] = {{60, 66, 62}, {86, 92, -1}, {102, 106, 104}};
    for (size_t k = 0; k < names.size(); ++k) {
        EXPECT_EQ(names[k].start, expected[k].start) << k;
        EXPECT_EQ(names[k].end, expected[k].end) << k;
        EXPECT_EQ(names[k].split, expected[k].split) << k;
    }
    EXPECT_EQ(names[0].tag, kTagPersonName);
    EXPECT_EQ(names[1].tag, kTagTransliteratedName);
    // Re-cut and merged, each name one token at its place.
    const std::vector<TokenRecord> out = Run(stage, parts);
    ASSERT_EQ(out.size(), parts.size() - 3);
    EXPECT_EQ(out[30].wordId, ids.unknownPerson);
    EXPECT_EQ(std::make_pair(out[30].start, out[30].end), std::make_pair(60, 66));
    EXPECT_EQ(std::make_pair(out[41].start, out[41].end), std::make_pair(86, 92));
    EXPECT_EQ(std::make_pair(out[47].start, out[47].end), std::make_pair(102, 106));
}

TEST_F(CNameStageTest, SentenceWithoutNamesKeepsItsTokens)
{
    CNameStage stage(model, dictionary, unigram, &posLexicon, ids, CNameStage::Settings());
    std::vector<TokenRecord> tokens = Tokens({kShuo, kShuo});
    const std::string text = kShuo + kShuo;
    int count = static_cast<int>(tokens.size());
    stage.Find(text.c_str(), static_cast<int>(text.size()), tokens.data(), count, roles);
    EXPECT_TRUE(stage.GetNames().empty());
    EXPECT_EQ(stage.Layout(text.c_str(), tokens.data(), count), tokens.data());
    stage.Merge(tokens.data(), count);
    EXPECT_EQ(count, 4);
}

TEST_F(CNameStageTest, UserWordsAndLineBreaksNeverBecomePartOfAName)
{
    CNameStage stage(model, dictionary, unigram, &posLexicon, ids, CNameStage::Settings());
    const std::string text = kWang + kXiao + kMing;
    for (int variant = 0; variant < 3; ++variant) {
        std::vector<TokenRecord> tokens = Tokens({kWang + kXiao + kMing});
        if (variant == 0)
            tokens[1].flags = kFlagUserWord;
        else if (variant == 1)
            tokens[1].fixedTag = kVerb;
        else
            tokens[1].kind = kKindLineBreak;
        const int count = static_cast<int>(tokens.size());
        stage.Find(text.c_str(), static_cast<int>(text.size()), tokens.data(), count, roles);
        EXPECT_TRUE(stage.GetNames().empty()) << variant;
    }
}

TEST_F(CNameStageTest, VetoTakesTheNameTagFromWordsThatAreNoName)
{
    CNameStage::Settings settings;
    CNameStage stage(model, dictionary, unigram, &posLexicon, ids, settings);
    std::vector<TokenRecord> tokens = Tokens({kLin, kWang, kShuo, kXiao});
    tokens[1].tag = kNr;  // 林: a noun as well
    tokens[2].tag = kNrf; // 王: known only as a name
    tokens[3].tag = kVerb;
    tokens[4].wordId = ids.unknownPerson; // a name the stage found stays one
    tokens[4].tag = kNr;
    stage.Veto(tokens.data(), static_cast<int>(tokens.size()));
    EXPECT_EQ(tokens[1].tag, kNoun);
    EXPECT_EQ(tokens[2].tag, kNoun);
    EXPECT_EQ(tokens[3].tag, kVerb);
    EXPECT_EQ(tokens[4].tag, kNr);
    settings.veto = false;
    CNameStage keeping(model, dictionary, unigram, &posLexicon, ids, settings);
    tokens[1].tag = kNr;
    keeping.Veto(tokens.data(), static_cast<int>(tokens.size()));
    EXPECT_EQ(tokens[1].tag, kNr);
}

TEST_F(CNameStageTest, BoundaryPenaltyKeepsANameFromCuttingAToken)
{
    CNameStage::Settings settings;
    settings.cutPenalty = 500;
    CNameStage stage(model, dictionary, unigram, &posLexicon, ids, settings);
    // 王 is a surname, but inside the token 说王 a name may neither begin nor end.
    const std::vector<TokenRecord> out = Run(stage, {kShuo + kWang, kXiao + kMing});
    for (const TokenRecord& t : out) {
        EXPECT_NE(t.start, 2);
        EXPECT_NE(t.end, 2);
    }
    settings.cutPenalty = 0;
    CNameStage free(model, dictionary, unigram, &posLexicon, ids, settings);
    const std::vector<TokenRecord> cut = Run(free, {kShuo + kWang, kXiao + kMing});
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_EQ(cut[1].wordId, ids.unknownPerson);
}

// The names a text shows with confidence help their later occurrences there:
// 王小明 inside one token (王小明说) pays the cut penalty at its end, more than
// the model's own margin, and is found only once the text has shown the name
// before; a new text, or a token that is a frequent word, gets no such help.
TEST_F(CNameStageTest, RemembersConfidentNamesForTheRestOfTheText)
{
    CNameStage::Settings settings;
    settings.cutPenalty = 200;
    settings.memory = true;
    settings.memoryBonus = 50;
    settings.memoryMargin = 100;
    const std::vector<std::string> plain = {kWang, kXiao + kMing, kShuo};
    const std::vector<std::string> inside = {kWang + kXiao + kMing + kShuo};
    const auto nameOf = [&](const std::vector<TokenRecord>& out) {
        for (const TokenRecord& t : out)
            if (t.wordId == ids.unknownPerson)
                return std::make_pair(t.start, t.end);
        return std::make_pair(-1, -1);
    };
    const std::pair<int, int> none(-1, -1), wangXiaoMing(0, 6);

    CNameStage stage(model, dictionary, unigram, &posLexicon, ids, settings);
    EXPECT_EQ(nameOf(Run(stage, inside)), none); // not seen yet
    EXPECT_EQ(nameOf(Run(stage, plain)), wangXiaoMing);
    ASSERT_EQ(stage.GetMemory().Size(), 1u);
    EXPECT_EQ(stage.GetMemory().Entries()[0].split, 2);
    EXPECT_EQ(nameOf(Run(stage, inside)), wangXiaoMing);
    // The name the memory gave is no sighting of its own.
    EXPECT_EQ(stage.GetMemory().Entries()[0].sightings, 1);

    // A token the dictionary knows as a frequent word (说, ten times a verb)
    // is not cut in two for a remembered name.
    std::vector<TokenRecord> tokens = Tokens(inside);
    tokens[1].wordId = Id(kShuo);
    const std::string text = Text(inside);
    int count = static_cast<int>(tokens.size());
    stage.Find(text.c_str(), static_cast<int>(text.size()), tokens.data(), count, roles);
    EXPECT_TRUE(stage.GetNames().empty());

    stage.BeginText();
    EXPECT_TRUE(stage.GetMemory().Empty());
    EXPECT_EQ(nameOf(Run(stage, inside)), none);

    // Without the key, or with a margin the name does not reach, nothing is kept.
    for (const auto& off : {std::make_pair(false, 100.0f), std::make_pair(true, 1000.0f)}) {
        settings.memory = off.first;
        settings.memoryMargin = off.second;
        CNameStage other(model, dictionary, unigram, &posLexicon, ids, settings);
        EXPECT_EQ(nameOf(Run(other, plain)), wangXiaoMing);
        EXPECT_TRUE(other.GetMemory().Empty());
        EXPECT_EQ(nameOf(Run(other, inside)), none);
    }
}

// A word that the role tagger's counts show after names more often than in
// them (和, 于 after a one-character given name, 爵士 after a foreign name)
// pays to continue a name, by the odds of those counts; with the counts the
// other way, or a word of other characters, it does not.
TEST_F(CNameStageTest, AWordThatFollowsNamesPaysToContinueOne)
{
    constexpr uint8_t kGivenSecond = 3, kAfterName = 8;
    const struct {
        std::vector<std::string> parts;
        std::string counted; // the word with the counts
        int32_t after, inName;
        float weight;
        int end; // of the name found at the first name character; 0: none reaches the counted word
    } cases[] = {
        {{kWang, kXiao, kMing, kShuo}, kMing, 0, 0, 0, 6},      // no penalty: 王小明
        {{kWang, kXiao, kMing, kShuo}, kMing, 1000, 0, 100, 4}, // 明 mostly follows names: 王小
        {{kWang, kXiao, kMing, kShuo}, kMing, 1000, 0, 0, 6},   // the same with the key off
        {{kWang, kXiao, kMing, kShuo}, kMing, 10, 1000, 100, 6}, // 明 mostly in names
        {{kWang, kXiao, kMing, kShuo}, kMing, 1000, 1000, 100, 6},
        {{kWang, kXiao + kMing, kShuo}, kMing, 1000, 0, 100, 6}, // 明 no word of its own here
        {{kShuo, kKe + kLin, kDun, kShuo}, kDun, 1000, 0, 100, 6}, // 克林, not 克林顿
        {{kShuo, kWang, kXiao + kMing, kShuo}, kXiao + kMing, 0, 0, 0, 8},   // 王小明
        {{kShuo, kWang, kXiao + kMing, kShuo}, kXiao + kMing, 1000, 0, 100, 0}, // a word of two: not into it
        {{kShuo, kWang, kXiao + kMing, kShuo}, kXiao + kMing, 0, 1000, 100, 8},
    };
    for (const auto& c : cases) {
        std::vector<ModelWriter::LexiconEntries> counts(words.size());
        ASSERT_GE(Id(c.counted), 0);
        ASSERT_LT(Id(c.counted), static_cast<int>(words.size()));
        counts[size_t(Id(c.counted))] = {{kAfterName, c.after}, {kGivenSecond, c.inName}};
        ASSERT_TRUE(ModelWriter::WriteLexicon(dir / "r", counts));
        CPosLexicon roleCounts;
        ASSERT_TRUE(roleCounts.Load((dir / "r").c_str()));
        CNameStage::Settings settings;
        settings.roles = &roleCounts;
        settings.wordPenalty = c.weight;
        CNameStage stage(model, dictionary, unigram, &posLexicon, ids, settings);
        const std::string text = Text(c.parts);
        std::vector<TokenRecord> tokens = Tokens(c.parts);
        stage.Find(text.c_str(), static_cast<int>(text.size()), tokens.data(), static_cast<int>(tokens.size()), roles);
        const int start = c.parts[0] == kShuo ? 2 : 0;
        const auto& found = stage.GetNames();
        const auto it = std::find_if(found.begin(), found.end(), [&](const CNameStage::Name& n) { return n.start == start; });
        if (c.end == 0) {
            EXPECT_TRUE(it == found.end() || it->end <= start + 2) << text;
            continue;
        }
        ASSERT_NE(it, found.end()) << text;
        EXPECT_EQ(it->end, c.end) << c.after << " " << c.inName << " " << c.weight << " " << text;
    }
}

// A supplementary word carries the word list's tag, which is no choice of the
// caller's: with supplementWords a name may run over it, paying for each
// character, and a word the list calls a place stays a place.
TEST_F(CNameStageTest, SupplementaryWordsHearTheListsTag)
{
    constexpr uint8_t kNs = 29, kNone = 255;
    const struct {
        std::string word;
        uint8_t listTag;
        bool supplementWords;
        float listedPenalty;
        int names;
        uint8_t tag; // of the name found
    } cases[] = {
        {kWang + kXiao + kMing, kNoun, false, 0, 0, 0},    // the tag kept like a user's
        {kWang + kXiao + kMing, kNoun, true, 0, 1, kNr},   // a name over it
        {kWang + kXiao + kMing, kNoun, true, 500, 0, 0},   // a price the name cannot pay
        {kWang + kXiao + kMing, kNone, false, 500, 1, kNr}, // no tag: nothing to pay
        {kKe + kLin + kDun, kNs, true, 0, 1, kNs},         // a listed place stays one
        {kKe + kLin + kDun, kNoun, true, 0, 1, kNrf},
        {kWang + kXiao + kMing, kNs, true, 0, 0, 0},       // no Chinese name either
    };
    for (const auto& c : cases) {
        CNameStage::Settings settings;
        settings.supplementWords = c.supplementWords;
        settings.listedPenalty = c.listedPenalty;
        CNameStage stage(model, dictionary, unigram, &posLexicon, ids, settings);
        const std::vector<std::string> parts = {kShuo, c.word, kShuo};
        const std::string text = Text(parts);
        std::vector<TokenRecord> tokens = Tokens(parts);
        tokens[2].flags = kFlagSupplementWord;
        tokens[2].fixedTag = c.listTag;
        stage.Find(text.c_str(), static_cast<int>(text.size()), tokens.data(), static_cast<int>(tokens.size()), roles);
        ASSERT_EQ(stage.GetNames().size(), size_t(c.names)) << int(c.listTag) << " " << c.listedPenalty;
        if (c.names == 1) {
            EXPECT_EQ(stage.GetNames()[0].start, 2);
            EXPECT_EQ(stage.GetNames()[0].end, 8);
            EXPECT_EQ(stage.GetNames()[0].tag, c.tag) << int(c.listTag);
        }
    }
}

// A transliteration beside a place word, or linked to one by a mark of a list,
// is a place (法国阿尔贝维尔, 哈尔滨、齐齐哈尔); a word between them, or
// nothing placelike around it, leaves it a person.
TEST_F(CNameStageTest, PlacesBesideMakeATransliterationAPlace)
{
    // A transliteration model that knows no character: only the words around
    // the name can speak for a place.
    std::string tm = "MTRL";
    for (uint32_t v : {1u, 1u, 0u})
        for (int b = 0; b < 4; ++b)
            tm += static_cast<char>(v >> (8 * b) & 0xFF);
    tm += std::string(12, '\0');
    WriteFile(dir / "t.tm", tm);
    CTranslitModel translit;
    ASSERT_TRUE(translit.Load((dir / "t.tm").c_str()));
    std::vector<ModelWriter::LexiconEntries> tags(words.size());
    tags[size_t(Id(kShuo))] = {{29, 10}, {kVerb, 2}}; // 说 stands for a place here
    ASSERT_TRUE(ModelWriter::WriteLexicon(dir / "places", tags));
    CPosLexicon places;
    ASSERT_TRUE(places.Load((dir / "places").c_str()));
    const std::string mark = Gbk("、"), name = kKe + kLin + kDun;
    const struct {
        std::vector<std::string> parts;
        bool placeContext;
        uint8_t tag;
    } cases[] = {
        {{kShuo, name, mark}, true, 29},          // a place just before
        {{kShuo, mark, name, mark}, true, 29},    // a place, then a mark
        {{mark, name, mark, kShuo}, true, 29},    // a mark, then a place after
        {{kShuo, name, mark}, false, kNrf},       // the key off
        {{mark, name, mark}, true, kNrf},         // no place around
        {{kShuo, kMing, mark, name, mark}, true, kNrf}, // the place two words off
    };
    for (const auto& c : cases) {
        CNameStage::Settings settings;
        settings.translit = &translit;
        settings.placeContext = c.placeContext;
        CNameStage stage(model, dictionary, unigram, &places, ids, settings);
        const std::string text = Text(c.parts);
        std::vector<TokenRecord> tokens = Tokens(c.parts);
        stage.Find(text.c_str(), static_cast<int>(text.size()), tokens.data(), static_cast<int>(tokens.size()), roles);
        const auto& found = stage.GetNames();
        const auto it = std::find_if(found.begin(), found.end(), [&](const CNameStage::Name& n) {
            return text.compare(size_t(n.start), size_t(n.end - n.start), name) == 0;
        });
        ASSERT_NE(it, found.end()) << text;
        EXPECT_EQ(it->tag, c.tag) << c.placeContext << " " << c.parts.size();
    }
}

// A mark inside the stretch of a name keeps the name out, one-byte or two-byte,
// whether the stage meets the mark for the first time or again, and the
// characters around it still make names where no mark is.
TEST_F(CNameStageTest, MarksBreakNamesEachTimeTheyAreMet)
{
    CNameStage stage(model, dictionary, unigram, &posLexicon, ids, CNameStage::Settings());
    const std::string comma = Gbk("，"), bracket = "(";
    const struct {
        std::vector<std::string> parts;
        size_t names;
    } cases[] = {
        {{kWang, comma, kXiao + kMing}, 0},
        {{kWang, bracket, kXiao + kMing}, 0},
        {{kWang + kXiao + kMing, comma, kShuo}, 1},
        {{kKe, comma, kLin + kDun}, 2}, // 克 and 林顿, each a one-word name
        {{kWang + kXiao + kMing}, 1},
    };
    for (int round = 0; round < 2; ++round)
        for (const auto& c : cases) {
            const std::string text = Text(c.parts);
            std::vector<TokenRecord> tokens = Tokens(c.parts);
            stage.Find(text.c_str(), static_cast<int>(text.size()), tokens.data(), static_cast<int>(tokens.size()),
                       roles);
            EXPECT_EQ(stage.GetNames().size(), c.names) << round << " " << text;
            for (const CNameStage::Name& name : stage.GetNames()) {
                const std::string found = text.substr(size_t(name.start), size_t(name.end - name.start));
                EXPECT_EQ(found.find(comma), std::string::npos) << round;
                EXPECT_EQ(found.find(bracket), std::string::npos) << round;
            }
        }
}

// The whole engine with the trained models and the new stages on: names come
// out as one token, tagged as names, with their surname split, and the tokens
// still tile the text.
TEST(NameStageEngine, TrainedModelsFindNamesAndKeepTheTokensWhole)
{
    const std::string trained = std::string(MORV_BINARY_DIR) + "/bin/Morv";
    if (!FileExists(trained + "/Data/PersonName.nm"))
        GTEST_SKIP() << "no trained models in " << trained;
    TempDir dir;
    std::string config = ReadFile(trained + "/Configure.xml");
    config.replace(config.find("</Configure>"), 12, "<NewWords>on</NewWords>\n</Configure>");
    ASSERT_TRUE(LinkModels(trained, dir.path, config));
    morv::Model model(dir.path);
    morv::Analyzer analyzer(model);
    const std::string text = "国家主席江泽民今天在北京会见了美国总统克林顿。记者王小明报道。";
    std::vector<morv::Token> tokens;
    analyzer.Analyze(text, tokens, morv::Encoding::Utf8);
    size_t at = 0;
    std::map<std::string, std::pair<std::string, size_t>> found; // name -> tag, split offset in it
    for (const morv::Token& t : tokens) {
        EXPECT_EQ(t.start, at);
        at = t.end;
        const std::string word = text.substr(t.start, t.end - t.start);
        if (t.nameSplit != 0) {
            EXPECT_GT(t.nameSplit, t.start);
            EXPECT_LT(t.nameSplit, t.end);
        }
        if (std::string(t.tag).compare(0, 2, "nr") == 0)
            found[word] = {std::string(t.tag), t.nameSplit == 0 ? 0 : t.nameSplit - t.start};
    }
    EXPECT_EQ(at, text.size());
    ASSERT_TRUE(found.count("江泽民"));
    EXPECT_EQ(found["江泽民"], std::make_pair(std::string("nr"), size_t(3)));
    ASSERT_TRUE(found.count("克林顿"));
    EXPECT_EQ(found["克林顿"].second, 0u);
    ASSERT_TRUE(found.count("王小明"));
    EXPECT_EQ(found["王小明"].second, 3u);
}

} // namespace

namespace {

// Names the corpus never shows, in sentences of our own, through the whole
// engine with the trained models and their Configure.xml: each name one token
// of the kind expected, a Chinese name split after its surname and a
// transliteration never, no name running into the function word after it, and
// no name, place or organisation token holding a mark.
TEST(NameStageEngine, UnseenNamesInSentencesComeOutWhole)
{
    const std::string trained = std::string(MORV_BINARY_DIR) + "/bin/Morv";
    if (!FileExists(trained + "/Data/PersonName.nm"))
        GTEST_SKIP() << "no trained models in " << trained;
    morv::Model model(trained);
    morv::Analyzer analyzer(model);
    const struct {
        const char* text;
        const char* name;
        const char* tag;
        size_t split; // bytes of the surname (UTF-8); 0 for a name without one
    } cases[] = {
        {"新任大使马洛维奇和夫人昨天抵达。", "马洛维奇", "nrf", 0},
        {"奥斯特罗夫斯基说，会谈很成功。", "奥斯特罗夫斯基", "nrf", 0},
        {"（记者诸葛青云）报道称，卡西米尔·普瓦捷先生将出席。", "卡西米尔·普瓦捷", "nrf", 0},
        {"（记者诸葛青云）报道称，卡西米尔·普瓦捷先生将出席。", "诸葛青云", "nr", 6},
        {"教练邬晓并没有到场。", "邬晓", "nr", 3},
        {"选手郜建和队友一起训练。", "郜建", "nr", 3},
        {"据《宁远报》报道，郦文涛于昨日离任。", "郦文涛", "nr", 3},
        {"“车晓岚”这个名字很好听。", "车晓岚", "nr", 3},
        {"代表团访问了哈尔滨、齐齐哈尔和大庆。", "齐齐哈尔", "ns", 0},
        // A transliteration that opens with a surname character is one word;
        // a Chinese name whose given name looks foreign keeps its surname.
        {"副总统华莱士昨天抵达北京。", "华莱士", "nrf", 0},
        {"记者采访了华格纳先生。", "华格纳", "nrf", 0},
        {"球员林德曼在比赛中受伤。", "林德曼", "nrf", 0},
        {"作家金斯伯格的诗集出版了。", "金斯伯格", "nrf", 0},
        {"老朋友李莉娜从上海来看我。", "李莉娜", "nr", 3},
        {"钱正英参加了会议。", "钱正英", "nr", 3},
        {"王小明和张伟都是工程师。", "王小明", "nr", 3},
    };
    const std::string marks[] = {"，", "、", "。", "（", "）", "《", "》", "“", "”", "+", "…"};
    for (const auto& c : cases) {
        const std::string text = c.text;
        std::vector<morv::Token> tokens;
        analyzer.Analyze(text, tokens, morv::Encoding::Utf8);
        bool found = false;
        for (const morv::Token& t : tokens) {
            const std::string word = text.substr(t.start, t.end - t.start);
            const std::string tag(t.tag);
            if (tag.compare(0, 2, "nr") == 0 || tag == "ns" || tag == "nt") {
                for (const std::string& m : marks) {
                    EXPECT_EQ(word.find(m), std::string::npos) << word << "/" << tag << " in " << text;
                }
            }
            if (word != c.name)
                continue;
            found = true;
            EXPECT_EQ(tag, c.tag) << text;
            EXPECT_EQ(t.nameSplit == 0 ? 0 : t.nameSplit - t.start, c.split) << text;
        }
        EXPECT_TRUE(found) << c.name << " not one token in " << text;
    }
}

} // namespace

// The table of which characters may open a name is built once beside the
// loaded models and shared; a stage handed a table of other models must not
// trust it, and every stage finds the same names whichever table it reads.
TEST_F(CNameStageTest, SharedOpenersTableAnswersForItsOwnModelsOnly)
{
    LoadModel(1000); // 说 now favours O by far more than the opening margin
    const CNameOpeners shared(model, nullptr);
    EXPECT_TRUE(shared.BuiltFor(model, nullptr));
    EXPECT_TRUE(shared.Opens(Key(kWang)));
    EXPECT_FALSE(shared.Opens(Key(kShuo)));
    EXPECT_FALSE(shared.Foreign(Key(kKe))); // no transliteration model heard

    CNameModel other;
    ASSERT_TRUE(other.Load((dir / "m.nm").c_str()));
    const CNameOpeners foreignTable(other, nullptr);
    EXPECT_FALSE(foreignTable.BuiltFor(model, nullptr));

    CNameStage::Settings withShared, withOther;
    withShared.openers = &shared;
    withOther.openers = &foreignTable;
    CNameStage own(model, dictionary, unigram, &posLexicon, ids, CNameStage::Settings());
    CNameStage fromShared(model, dictionary, unigram, &posLexicon, ids, withShared);
    CNameStage fromOther(model, dictionary, unigram, &posLexicon, ids, withOther);
    const std::vector<std::vector<std::string>> sentences = {
        {kWang + kXiao, kMing, kShuo}, {kShuo, kWang, kXiao + kMing}, {kKe + kLin, kDun, kShuo}, {kShuo, kShuo}};
    for (const auto& parts : sentences) {
        const auto span = [](const std::vector<TokenRecord>& t) {
            std::vector<std::pair<int, int>> s;
            for (const TokenRecord& r : t)
                s.emplace_back(r.start, r.end);
            return s;
        };
        const std::vector<TokenRecord> expected = Run(own, parts);
        EXPECT_EQ(span(Run(fromShared, parts)), span(expected));
        EXPECT_EQ(span(Run(fromOther, parts)), span(expected));
    }
}
