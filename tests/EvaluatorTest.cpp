// Place and organisation names in morv-eval's scores.
#include "tools/morv-eval/Evaluator.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tools/trainer/CorpusReader.h"

namespace {

Paragraph Parse(const std::string& items)
{
    CorpusReader reader;
    Paragraph p;
    std::string message;
    EXPECT_TRUE(reader.ParseLine("19980101-01-001-001/m  " + items, p, message)) << items << ": " << message;
    return p;
}

// The engine's analysis written as the corpus writes it: its words (a compound's
// inner words) and its entities (a bracketed compound as one span with the
// compound's tag, any other word with its own tag).
void SystemOf(const Paragraph& p, std::vector<Evaluator::Word>& words, std::vector<Evaluator::Word>& entities)
{
    int at = 0;
    std::vector<int> offsets;
    for (const CorpusToken& t : p.tokens) {
        offsets.push_back(at);
        words.push_back({at, at + static_cast<int>(t.word.size()), t.tag});
        at += static_cast<int>(t.word.size());
    }
    offsets.push_back(at);
    size_t next = 0;
    for (size_t k = 0; k < p.tokens.size();) {
        if (next < p.compounds.size() && p.compounds[next].first == k) {
            const CorpusCompound& c = p.compounds[next++];
            entities.push_back({offsets[c.first], offsets[c.last + 1], c.tag});
            k = c.last + 1;
        } else {
            entities.push_back(words[k]);
            ++k;
        }
    }
}

// The counts of scoring one system analysis against its gold paragraph, with
// nothing known from training.
Evaluator::Counts CountsOf(const char* gold, const char* system)
{
    const std::set<std::string> vocabulary;
    Evaluator eval(vocabulary);
    std::vector<Evaluator::Word> words, entities;
    SystemOf(Parse(system), words, entities);
    eval.Score(Parse(gold), words, entities);
    return eval.GetCounts();
}

TEST(Evaluator, GoldNamesAreTheNsAndNtWordsOutsideBracketsAndTheBracketedCompounds)
{
    const Paragraph p = Parse("[中国/ns  国际/n  广播/vn  电台/n]nt  在/p  北京/ns  [香港/ns  特别/a  行政区/n]ns  "
                              "新华社/nt  [美国/ns  之/u  音/n]nz  纽约/nsf");
    const std::vector<Evaluator::Word> gold = Evaluator::GoldEntities(p);
    // 中国国际广播电台, 北京, 香港特别行政区, 新华社, 纽约 (nsf counts as ns); 中国 and
    // 香港 inside a compound and 美国 inside an nz compound are none.
    std::vector<std::string> kinds;
    std::vector<int> lengths;
    for (const Evaluator::Word& e : gold) {
        kinds.push_back(e.tag);
        lengths.push_back(e.end - e.start);
    }
    EXPECT_EQ(kinds, (std::vector<std::string>{"nt", "ns", "ns", "nt", "ns"}));
    EXPECT_EQ(lengths, (std::vector<int>{16, 4, 14, 6, 4}));
}

TEST(Evaluator, PlacesAndOrganisationsScoreWholeSpansOfTheirKind)
{
    const struct {
        const char* label;
        const char* gold;
        const char* system;
        size_t goldPlaces, systemPlaces, correctPlaces;
        size_t goldOrgs, systemOrgs, correctOrgs;
        size_t correctWords; // segmentation on the inner words
    } cases[] = {
        {"compound found whole", "[中国/ns  国际/n  电台/n]nt  在/p  北京/ns", "[中国/ns  国际/n  电台/n]nt  在/p  北京/ns",
         1, 1, 1, 1, 1, 1, 5},
        // Unmerged, the compound's first word is a spurious place and the
        // organisation is missed, though every word is cut right.
        {"compound left in words", "[中国/ns  国际/n  电台/n]nt  在/p  北京/ns", "中国/ns  国际/n  电台/n  在/p  北京/ns",
         1, 2, 1, 1, 0, 0, 5},
        {"wrong kind", "[北京/ns  饭店/n]ns", "[北京/ns  饭店/n]nt", 1, 0, 0, 0, 1, 0, 2},
        {"wrong bounds", "[北京/ns  市委/n]nt  书记/n", "[北京/ns  市委/n  书记/n]nt", 0, 0, 0, 1, 1, 0, 3},
        {"single words and nsf", "格拉斯哥/ns  新华社/nt  纽约/ns", "格拉斯哥/nsf  新华社/nt  纽约/n", 2, 1, 1, 1, 1, 1, 3},
        {"a name cut in pieces is none", "格拉斯哥/ns", "格拉/ns  斯哥/ns", 1, 2, 0, 0, 0, 0, 0},
        {"nothing to find", "我/r  来/v", "我/r  来/v", 0, 0, 0, 0, 0, 0, 2},
    };
    for (const auto& c : cases) {
        const Evaluator::Counts n = CountsOf(c.gold, c.system);
        EXPECT_EQ(n.goldPlaces, c.goldPlaces) << c.label;
        EXPECT_EQ(n.systemPlaces, c.systemPlaces) << c.label;
        EXPECT_EQ(n.correctPlaces, c.correctPlaces) << c.label;
        EXPECT_EQ(n.goldOrgs, c.goldOrgs) << c.label;
        EXPECT_EQ(n.systemOrgs, c.systemOrgs) << c.label;
        EXPECT_EQ(n.correctOrgs, c.correctOrgs) << c.label;
        EXPECT_EQ(n.correct, c.correctWords) << c.label;
    }
}

TEST(Evaluator, WordsAloneGiveTheirNsAndNtWordsAsEntities)
{
    // The form without entities: every ns, nsf and nt word is one, counted once
    // however often it is listed.
    const std::set<std::string> vocabulary;
    Evaluator eval(vocabulary);
    const Paragraph gold = Parse("北京/ns  新华社/nt");
    std::vector<Evaluator::Word> words, entities;
    SystemOf(Parse("北京/nsf  新华社/nt"), words, entities);
    eval.Score(gold, words);
    entities.push_back(entities.front());
    eval.Score(gold, words, entities);
    const Evaluator::Counts& n = eval.GetCounts();
    EXPECT_EQ(n.correctPlaces, 2u);
    EXPECT_EQ(n.systemPlaces, 2u);
    EXPECT_EQ(n.correctOrgs, 2u);
}

TEST(Evaluator, PrecisionOfProposedAndOutOfVocabularyWords)
{
    // Known from training: 网友, 来, 留言, 点, 赞, 他, 说.
    const std::set<std::string> vocabulary = {"\xCD\xF8\xD3\xD1", "\xC0\xB4", "\xC1\xF4\xD1\xD4", "\xB5\xE3",
                                              "\xD4\xDE", "\xCB\xFB", "\xCB\xB5"};
    const struct {
        const char* label;
        const char* gold;
        const char* system;
        std::vector<bool> proposed; // per system word
        size_t proposedWords, proposedRight, oovWords, oovRight;
    } cases[] = {
        // 留言点赞 glued: a proposed word the gold does not have, and no word of training.
        {"a false merge", "网友/n  来/v  留言/v  点赞/v", "网友/n  来/v  留言点赞/i", {false, false, true}, 1, 0, 1, 0},
        // 点赞 proposed and right; unknown to training, so an OOV word too.
        {"a right new word", "网友/n  来/v  留言/v  点赞/v", "网友/n  来/v  留言/v  点赞/v", {false, false, false, true},
         1, 1, 1, 1},
        // Known words are no OOV words, right or wrong, and nothing was proposed.
        {"known words only", "他/r  说/v", "他说/v", {false}, 0, 0, 1, 0},
        {"known words right", "他/r  说/v", "他/r  说/v", {false, false}, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        Evaluator eval(vocabulary);
        std::vector<Evaluator::Word> words, entities;
        SystemOf(Parse(c.system), words, entities);
        ASSERT_EQ(words.size(), c.proposed.size()) << c.label;
        for (size_t k = 0; k < words.size(); ++k)
            words[k].proposed = c.proposed[k];
        eval.Score(Parse(c.gold), words, entities);
        const Evaluator::Counts& n = eval.GetCounts();
        EXPECT_EQ(n.proposed, c.proposedWords) << c.label;
        EXPECT_EQ(n.proposedCorrect, c.proposedRight) << c.label;
        EXPECT_EQ(n.oovSystem, c.oovWords) << c.label;
        EXPECT_EQ(n.oovSystemCorrect, c.oovRight) << c.label;
    }
}

TEST(Evaluator, NamesInsideNamesOfAnotherKindCountAtEveryLevel)
{
    const struct {
        const char* label;
        const char* gold;
        const char* system;
        size_t goldPlaces, systemPlaces, correctPlaces;
        size_t goldOrgs, systemOrgs, correctOrgs;
    } cases[] = {
        // The place inside a missed organisation is right, the organisation missed.
        {"organisation left in words", "[玉溪/ns  卷烟厂/n]nt  厂长/n", "玉溪/ns  卷烟厂/n  厂长/n", 1, 1, 1, 1, 0, 0},
        {"organisation whole", "[玉溪/ns  卷烟厂/n]nt  厂长/n", "[玉溪/ns  卷烟厂/n]nt  厂长/n", 1, 1, 1, 1, 1, 1},
        // Too long an organisation still holds the right place.
        {"organisation too long", "[北京/ns  市委/n]nt  书记/n", "[北京/ns  市委/n  书记/n]nt", 1, 1, 1, 1, 1, 0},
        // A place inside a place compound is no name of its own, on either side.
        {"place in a place", "[香港/ns  特别/a  行政区/n]ns", "[香港/ns  特别/a  行政区/n]ns", 1, 1, 1, 0, 0, 0},
        {"place compound left in words", "[香港/ns  特别/a  行政区/n]ns", "香港/ns  特别/a  行政区/n", 1, 1, 0, 0, 0, 0},
        {"organisation in a place", "[新华社/nt  大楼/n]ns", "新华社/nt  大楼/n", 1, 0, 0, 1, 1, 1},
        {"place in an nz compound", "[美国/ns  之/u  音/n]nz", "美国/ns  之/u  音/n", 1, 1, 1, 0, 0, 0},
        {"spurious place", "大理/n  石/n", "大理/ns  石/n", 0, 1, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const Evaluator::Counts n = CountsOf(c.gold, c.system);
        EXPECT_EQ(n.goldPlacesAll, c.goldPlaces) << c.label;
        EXPECT_EQ(n.systemPlacesAll, c.systemPlaces) << c.label;
        EXPECT_EQ(n.correctPlacesAll, c.correctPlaces) << c.label;
        EXPECT_EQ(n.goldOrgsAll, c.goldOrgs) << c.label;
        EXPECT_EQ(n.systemOrgsAll, c.systemOrgs) << c.label;
        EXPECT_EQ(n.correctOrgsAll, c.correctOrgs) << c.label;
    }
}

} // namespace
