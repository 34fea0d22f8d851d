#include "tools/trainer/SupplementLexicon.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "lexicon/CPDAT.h"
#include "lexicon/CSupplement.h"
#include "segment/CCharset.h"
#include "tools/trainer/CharClassSource.h"
#include "tools/trainer/CorpusNames.h"
#include "tools/trainer/CorpusReader.h"
#include "tools/trainer/TagSetFile.h"

namespace {

// The shipped sources, the small trainer corpus, and a dictionary of its words
// that holds 中共中央 (as the corpus's dictionary would).
class SupplementLexiconTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string data = std::string(MORV_SOURCE_DIR) + "/data";
        ASSERT_TRUE(classes.Load(data + "/charclasses.txt"));
        classes.FillCharset(charset);
        ASSERT_TRUE(tags.Load(data + "/tagset.txt"));
        ASSERT_TRUE(corpus.Read(std::string(MORV_SOURCE_DIR) + "/tests/data/trainer-corpus.txt", 0, 0));
        names.Collect(corpus.GetParagraphs());
        std::vector<std::string> words;
        for (const Paragraph& p : corpus.GetParagraphs())
            for (const CorpusToken& t : p.tokens)
                if (t.tag != "nr")
                    words.push_back(t.word);
        dict.BuildFromWords(words);
        ASSERT_GE(dict.ExactMatch(Gbk("中共中央").c_str()), 0);
    }

    CharClassSource classes;
    CCharset charset;
    TagSetFile tags;
    CorpusReader corpus;
    CorpusNames names;
    CPDAT dict;
};

TEST(SupplementLexiconTags, MapsTheListsTagsToTheCorpusTagSet)
{
    const struct {
        const char* list;
        const char* ours;
    } cases[] = {
        {"n", "n"},   {"v", "v"},   {"ns", "ns"}, {"nz", "nz"}, {"i", "i"},   {"l", "l"},   {"j", "j"},
        {"vn", "vn"}, {"ng", "Ng"}, {"vg", "Vg"}, {"tg", "Tg"}, {"ag", "Ag"}, {"dg", "Dg"}, {"mq", "m"},
        {"vi", "v"},  {"vq", "v"},  {"rr", "r"},  {"rz", "r"},  {"df", "d"},  {"uj", "u"},  {"ul", "u"},
        {"zg", "z"},  {"eng", "nx"}, {"nl", "n"},
        // names and non-words: the entry is not a word with a tag of ours
        {"nr", ""},   {"nrt", ""},  {"nrfg", ""}, {"x", ""},
        // unknown tags: kept, the tagger chooses
        {"qq", "?"},  {"", "?"},
    };
    TagSetFile tags;
    ASSERT_TRUE(tags.Load(std::string(MORV_SOURCE_DIR) + "/data/tagset.txt"));
    for (const auto& c : cases) {
        const std::string mapped = SupplementLexicon::MapTag(c.list);
        EXPECT_EQ(mapped, c.ours) << c.list;
        if (!mapped.empty() && mapped != "?") {
            EXPECT_GE(tags.Code(mapped), 0) << mapped << " is not in the tag set";
        }
    }
}

TEST_F(SupplementLexiconTest, ReadsTheListSkippingLinesThatDoNotParse)
{
    SupplementLexicon lexicon(charset, tags, dict, names);
    std::string error;
    ASSERT_TRUE(lexicon.ReadList(std::string(MORV_SOURCE_DIR) + "/tests/data/supplement-list.txt", &error))
        << error;
    // 18 entries, one of them a second 人工智能; four malformed lines and one
    // word without a GBK form.
    EXPECT_EQ(lexicon.GetEntryCount(), 17u);
    EXPECT_EQ(lexicon.GetBadLineCount(), 5u);
}

TEST_F(SupplementLexiconTest, RefusesWhatIsNoWordList)
{
    const struct {
        const char* text;
        const char* why;
    } cases[] = {
        {"", "no entry"},
        {"\n\n  \n", "no entry"},
        {"a b c d\nx y\n", "no entry"},
        {"one 1 n\nbad\nworse\nworst\n", "3 of 4 lines"},
    };
    for (const auto& c : cases) {
        SupplementLexicon lexicon(charset, tags, dict, names);
        std::istringstream in(c.text);
        std::string error;
        EXPECT_FALSE(lexicon.ReadList(in, &error)) << c.text;
        EXPECT_NE(error.find(c.why), std::string::npos) << error;
        EXPECT_EQ(lexicon.GetEntryCount(), 0u);
    }
    SupplementLexicon lexicon(charset, tags, dict, names);
    std::string error;
    EXPECT_FALSE(lexicon.ReadList("/no/such/list.txt", &error));
    EXPECT_NE(error.find("/no/such/list.txt"), std::string::npos) << error;
}

TEST_F(SupplementLexiconTest, KeepsTheCorpusConventions)
{
    SupplementLexicon lexicon(charset, tags, dict, names);
    std::string error;
    ASSERT_TRUE(lexicon.ReadList(std::string(MORV_SOURCE_DIR) + "/tests/data/supplement-list.txt", &error));
    lexicon.Build(corpus.GetParagraphs(), 1000, SupplementLexicon::Options());

    std::map<std::string, const SupplementLexicon::Word*> kept;
    for (const SupplementLexicon::Word& w : lexicon.GetWords())
        kept[w.text] = &w;
    const struct {
        const char* word;
        bool kept;
        const char* tag; // of a kept word; "" when the tagger chooses
    } cases[] = {
        {"人工智能", true, "n"},   // the first entry of a word stands
        {"改革开放", true, "l"},
        {"刷屏", true, "Vg"},
        {"施瓦辛格", true, ""},    // a transliteration, not cut as a Chinese name is
        {"国家主席", false, ""},   // the corpus writes 国家 主席
        {"中共中央", false, ""},   // in the dictionary
        {"哦", false, ""},         // one character
        {"WTO", false, ""},        // the string atom's
        {"三十", false, ""},       // a number
        {"三件", false, ""},       // numeral and classifier
        {"江泽民", false, ""},     // a Chinese name: the corpus cuts 江 泽民
        {"欧阳明", false, ""},     // with a compound surname
        {"克林顿", false, ""},     // a name the corpus has whole: the recogniser's
        {"泽民", false, ""},       // a given name of the corpus
        {"点赞", false, ""},       // at the list's floor frequency
        {"谢谢。", false, ""},     // ends a sentence
        {"哈哈哈", false, ""},     // not a word by its tag
    };
    for (const auto& c : cases) {
        auto it = kept.find(Gbk(c.word));
        ASSERT_EQ(it != kept.end(), c.kept) << c.word;
        if (!c.kept)
            continue;
        const uint8_t expected = *c.tag ? static_cast<uint8_t>(tags.Code(c.tag)) : CSupplement::kNoTag;
        EXPECT_EQ(it->second->tag, expected) << c.word;
    }
    EXPECT_EQ(kept.size(), 4u);
    using L = SupplementLexicon;
    EXPECT_EQ(lexicon.GetReasonCount(L::kKept), 4u);
    EXPECT_EQ(lexicon.GetReasonCount(L::kKnown), 1u);
    EXPECT_EQ(lexicon.GetReasonCount(L::kOneChar), 1u);
    EXPECT_EQ(lexicon.GetReasonCount(L::kNotChinese), 1u);
    EXPECT_EQ(lexicon.GetReasonCount(L::kNumeric), 2u);
    EXPECT_EQ(lexicon.GetReasonCount(L::kSentenceEnd), 1u);
    EXPECT_EQ(lexicon.GetReasonCount(L::kName), 2u);
    EXPECT_EQ(lexicon.GetReasonCount(L::kNoTag), 1u);
    EXPECT_EQ(lexicon.GetReasonCount(L::kCorpusCuts), 1u);
    EXPECT_EQ(lexicon.GetReasonCount(L::kCorpusWhole), 2u);
    EXPECT_EQ(lexicon.GetReasonCount(L::kRare), 1u);

    // Frequencies on the corpus's scale: 1000 corpus words against the list's
    // 8425 (every entry read counts, the second 人工智能 too).
    EXPECT_DOUBLE_EQ(lexicon.GetScale(), 1000.0 / 8425.0);
    EXPECT_FLOAT_EQ(kept[Gbk("改革开放")]->frequency, static_cast<float>(5000 * 1000.0 / 8425.0));
    // Sorted, so that the trie and the table agree on the order.
    for (size_t i = 1; i < lexicon.GetWords().size(); ++i)
        EXPECT_LT(lexicon.GetWords()[i - 1].text, lexicon.GetWords()[i].text);
}

TEST_F(SupplementLexiconTest, FiltersFollowTheirOptions)
{
    const struct {
        int minCutCount;
        int nameRule;
        int64_t minListFrequency;
        size_t kept;
    } cases[] = {
        {1, 2, 4, 4},
        {0, 2, 4, 5},  // 国家主席 stays
        {3, 2, 4, 5},  // the corpus cuts it twice only
        {1, 0, 4, 3},  // every listed name out, 施瓦辛格 too
        {1, 1, 4, 5},  // no name out by its shape: 欧阳明 stays (the corpus cuts 江泽民)
        {1, 2, 0, 5},  // 点赞 stays
        {1, 2, 201, 1}, // only 改革开放 is that frequent
    };
    SupplementLexicon lexicon(charset, tags, dict, names);
    std::string error;
    ASSERT_TRUE(lexicon.ReadList(std::string(MORV_SOURCE_DIR) + "/tests/data/supplement-list.txt", &error));
    for (const auto& c : cases) {
        SupplementLexicon::Options o;
        o.minCutCount = c.minCutCount;
        o.nameRule = c.nameRule;
        o.minListFrequency = c.minListFrequency;
        lexicon.Build(corpus.GetParagraphs(), 1000, o);
        EXPECT_EQ(lexicon.GetWords().size(), c.kept)
            << "cut " << c.minCutCount << " names " << c.nameRule << " frequency " << c.minListFrequency;
    }
    SupplementLexicon::Options o;
    o.listTags = false;
    lexicon.Build(corpus.GetParagraphs(), 1000, o);
    for (const SupplementLexicon::Word& w : lexicon.GetWords())
        EXPECT_EQ(w.tag, CSupplement::kNoTag);
}

// A listed name the corpus would cut as surname and given name stays out of
// the lexicon, so that the name model sees its characters: a three-character
// one as soon as the corpus shows its first character as a surname once, a
// two-character one (more often a word) only when it does twice.
TEST_F(SupplementLexiconTest, LeavesOutNamesByTheirSurnameAndLength)
{
    ASSERT_EQ(names.SurnameCount(Gbk("李")), 1);
    ASSERT_EQ(names.SurnameCount(Gbk("江")), 2);
    const struct {
        const char* line;
        bool kept;
    } cases[] = {
        {"李慕华 50 nr", false}, // 李 began one name
        {"江慕华 50 nr", false},
        {"李慕 50 nr", true},    // two characters, 李 once: could be a word
        {"江慕 50 nr", false},   // 江 twice
        {"鲍慕华 50 nr", true},  // no surname of the corpus: the list's word stands
        {"李慕华 50 n", true},   // not listed as a name
    };
    TempDir dir;
    for (const auto& c : cases) {
        WriteFile(dir / "list.txt", std::string(c.line) + "\n改革开放 5000 l\n"); // UTF-8, as the list is
        SupplementLexicon lexicon(charset, tags, dict, names);
        std::string error;
        ASSERT_TRUE(lexicon.ReadList(dir / "list.txt", &error)) << error;
        lexicon.Build(corpus.GetParagraphs(), 1000, SupplementLexicon::Options());
        const std::string word = Gbk(std::string(c.line).substr(0, std::string(c.line).find(' ')));
        bool found = false;
        for (const SupplementLexicon::Word& w : lexicon.GetWords())
            found = found || w.text == word;
        EXPECT_EQ(found, c.kept) << c.line;
    }
}

TEST_F(SupplementLexiconTest, WritesFilesTheEngineLoads)
{
    SupplementLexicon lexicon(charset, tags, dict, names);
    std::string error;
    ASSERT_TRUE(lexicon.ReadList(std::string(MORV_SOURCE_DIR) + "/tests/data/supplement-list.txt", &error));
    lexicon.Build(corpus.GetParagraphs(), 1000, SupplementLexicon::Options());
    TempDir dir;
    ASSERT_TRUE(lexicon.Write(dir.path));
    CSupplement loaded;
    ASSERT_TRUE(loaded.Load((dir / "Supplement.pdat").c_str(), (dir / "Supplement.tab").c_str()));
    ASSERT_EQ(loaded.GetWordCount(), 4);
    std::vector<int> indices, lengths;
    for (const SupplementLexicon::Word& w : lexicon.GetWords()) {
        loaded.Matches(w.text.c_str(), static_cast<int>(w.text.size()), indices, lengths);
        ASSERT_EQ(indices.size(), 1u);
        EXPECT_EQ(lengths[0], static_cast<int>(w.text.size()));
        EXPECT_EQ(loaded.Frequency(indices[0]), w.frequency);
        EXPECT_EQ(loaded.Tag(indices[0]), w.tag);
    }

    // An empty lexicon (no list) is a sound pair of files too.
    SupplementLexicon empty(charset, tags, dict, names);
    TempDir other;
    ASSERT_TRUE(empty.Write(other.path));
    CSupplement none;
    ASSERT_TRUE(none.Load((other / "Supplement.pdat").c_str(), (other / "Supplement.tab").c_str()));
    EXPECT_EQ(none.GetWordCount(), 0);
    none.Matches(Gbk("人工智能").c_str(), 8, indices, lengths);
    EXPECT_TRUE(indices.empty());
}

} // namespace

// A listed word made of a place of the corpus and one character (黄河口) is
// left out where the corpus writes that character as a word of its own after
// places (长江/ns 口/n) often enough, and far more often than it has words of a
// place and that character; then the segmenter cuts it the corpus's way.
TEST_F(SupplementLexiconTest, LeavesOutAPlaceAndACharacterTheCorpusWritesApart)
{
    TempDir dir;
    WriteFile(dir / "corpus.txt", "长江/ns  口/n  污染/vn  。/w\n"
                                  "珠江/ns  口/n  航道/n  。/w\n"
                                  "长江/ns  口/n  航道/n  。/w\n"
                                  "长江/ns  岸/n  。/w\n"
                                  "珠江/ns  岸/n  。/w\n"
                                  "北京/ns  市/n  。/w\n"
                                  "北京/ns  市/n  。/w\n"
                                  "北京/ns  市/n  。/w\n"
                                  "北京市/ns  航道/n  。/w\n"
                                  "北京市/ns  污染/vn  。/w\n"
                                  "黄河/ns  流域/n  。/w\n"
                                  "大江/n  流域/n  。/w\n");
    CorpusReader places;
    ASSERT_TRUE(places.Read(dir / "corpus.txt", 0, 0));
    std::vector<std::string> words;
    for (const Paragraph& p : places.GetParagraphs())
        for (const CorpusToken& t : p.tokens)
            words.push_back(t.word);
    CPDAT placeDict;
    placeDict.BuildFromWords(words);
    WriteFile(dir / "list.txt", "黄河口 100 ns\n黄河岸 100 ns\n黄河市 100 ns\n大江口 100 ns\n");

    const struct {
        int minPlaceApart;
        const char* kept; // the words kept, in order
    } cases[] = {
        // 口 three times after a place, never in a word of one: out. 岸 only
        // twice; 市 in 北京市 twice for three times apart; 大江 is no place.
        {3, "大江口 黄河岸 黄河市 "},
        {2, "大江口 黄河市 "},
        {0, "大江口 黄河岸 黄河口 黄河市 "}, // (in GBK order)
    };
    for (const auto& c : cases) {
        SupplementLexicon lexicon(charset, tags, placeDict, names);
        std::string error;
        ASSERT_TRUE(lexicon.ReadList(dir / "list.txt", &error)) << error;
        SupplementLexicon::Options o;
        o.minPlaceApart = c.minPlaceApart;
        lexicon.Build(places.GetParagraphs(), 100, o);
        std::string kept;
        for (const SupplementLexicon::Word& w : lexicon.GetWords())
            kept += w.text + " ";
        EXPECT_EQ(kept, Gbk(c.kept)) << c.minPlaceApart;
        EXPECT_EQ(lexicon.GetReasonCount(SupplementLexicon::kPlaceAndChar), 4 - lexicon.GetWords().size())
            << c.minPlaceApart;
    }
}
