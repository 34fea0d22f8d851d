#include "tools/trainer/RoleModelTrainer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "lexicon/CPDAT.h"
#include "segment/CCharset.h"
#include "tagging/CPosLexicon.h"
#include "tagging/CRoleTagger.h"
#include "tagging/CTagTransitions.h"
#include "tools/trainer/CharClassSource.h"
#include "tools/trainer/CorpusNames.h"
#include "tools/trainer/CorpusReader.h"
#include "tools/trainer/ModelWriter.h"
#include "tools/trainer/TagSetFile.h"
#include "tools/trainer/WordStatistics.h"

namespace {

// A place-name scheme of its own inventory, as a later ns model would have:
// the trainer must take everything from the scheme, nothing from the person
// names.
class PlaceScheme : public RoleScheme {
public:
    enum { kWhole = 1, kInner = 2, kBefore = 3, kAfter = 4, kBetween = 5, kBegin = 6, kEnd = 7, kOther = 8 };
    PlaceScheme()
    {
        inv.count = 9;
        inv.sentenceBegin = kBegin;
        inv.sentenceEnd = kEnd;
        inv.other = kOther;
        inv.before = kBefore;
        inv.after = kAfter;
        inv.between = kBetween;
    }
    const Inventory& GetInventory() const override { return inv; }
    std::string FileStem() const override { return "ns"; }
    std::string Description() const override { return "place-name"; }
    std::vector<Entity> FindEntities(const Paragraph& p, const std::vector<int>& offsets) const override
    {
        std::vector<Entity> out;
        for (size_t k = 0; k < p.tokens.size(); ++k)
            if (p.tokens[k].tag == "ns")
                out.push_back({offsets[k], offsets[k + 1], offsets[k + 1], 0});
        return out;
    }
    int InsideRole(const Entity& e, int start, int end) const override
    {
        return start == e.start && end == e.end ? kWhole : kInner;
    }
    void CompleteLexicon(std::vector<std::map<int, int32_t>>&, const std::vector<std::string>&) const override {}
    bool WriteAutomaton(const std::string& path) const override
    {
        // Start --whole--> accepting state with tag ns (29).
        std::vector<int32_t> transitions(2 * 9, -1);
        transitions[kWhole] = 1;
        return ModelWriter::WriteAutomaton(path, 9, {0, 1}, {0, 29}, transitions);
    }

private:
    Inventory inv;
};

std::vector<int> Roles(const CPosLexicon& lex, int id)
{
    int n = 0;
    const CPosLexicon::Entry* e = lex.Lookup(id, &n);
    std::vector<int> roles;
    for (int i = 0; i < n; ++i)
        roles.push_back(e[i].tag);
    return roles;
}

bool Has(const std::vector<int>& v, int x) { return std::find(v.begin(), v.end(), x) != v.end(); }

TEST(RoleModelTrainer, LearnsAnotherSchemeWithItsOwnInventoryAndFiles)
{
    TempDir dir;
    const std::string data = dir / "Data";
    MakeDir(data);
    CharClassSource classes;
    ASSERT_TRUE(classes.Load(std::string(MORV_SOURCE_DIR) + "/data/charclasses.txt"));
    CCharset charset;
    classes.FillCharset(charset);
    TagSetFile tags;
    ASSERT_TRUE(tags.Load(std::string(MORV_SOURCE_DIR) + "/data/tagset.txt"));
    CorpusReader reader;
    ASSERT_TRUE(reader.Read(std::string(MORV_SOURCE_DIR) + "/tests/data/trainer-corpus.txt", 0, 0));
    CorpusNames names;
    names.Collect(reader.GetParagraphs());
    WordStatistics words(charset, tags, reader.GetParagraphs(), names);
    ASSERT_TRUE(words.Build(data));
    ASSERT_TRUE(words.Write(data));

    PlaceScheme scheme;
    RoleModelTrainer trainer(scheme, words, charset);
    trainer.Learn(reader.GetParagraphs(), data);
    ASSERT_TRUE(trainer.Write(data));
    EXPECT_TRUE(trainer.UsedRealSegmentation());
    EXPECT_EQ(trainer.GetEntityCount(), 1u); // 美国 (北京 is on a line that does not parse)

    CTagTransitions ctx;
    ASSERT_TRUE(ctx.Load((data + "/ns.ctx").c_str(), false));
    EXPECT_EQ(ctx.GetTagCount(), 9);
    EXPECT_EQ(ctx.TagFrequency(PlaceScheme::kWhole), 1);
    EXPECT_EQ(ctx.TagFrequency(PlaceScheme::kBegin), ctx.TagFrequency(PlaceScheme::kEnd));
    CPosLexicon lex;
    ASSERT_TRUE(lex.Load((data + "/ns.role").c_str()));
    const CPDAT& dict = *words.GetDictionary();
    // ，美国总统克林顿
    EXPECT_EQ(Roles(lex, dict.ExactMatch("\xC3\xC0\xB9\xFA")), std::vector<int>{PlaceScheme::kWhole}); // 美国
    EXPECT_TRUE(Has(Roles(lex, dict.ExactMatch("\xA3\xAC")), PlaceScheme::kBefore));                  // ，
    EXPECT_EQ(Roles(lex, dict.ExactMatch("\xD7\xDC\xCD\xB3")), std::vector<int>{PlaceScheme::kAfter}); // 总统
    // Words seen only in the default role have no entries.
    EXPECT_TRUE(Roles(lex, dict.ExactMatch("\xBB\xE1\xD2\xE9")).empty()); // 会议
    CRoleTagger fsa;
    EXPECT_TRUE(fsa.Load((data + "/ns.fsa").c_str()));
    EXPECT_FALSE(FileExists(data + "/nr.role"));
}

} // namespace
