#include "tagging/CRunFilter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "TestUtil.h"
#include "tagging/CPosLexicon.h"
#include "tagging/CRoleTagger.h"
#include "tools/trainer/ModelWriter.h"

namespace {

// The person-name automaton's shape: 1 surname, 2/3 given-name characters, 4
// one-character given name, 5 two-character given name, 6 prefix (老), 10/11/12
// first/inner/last token of a foreign name, 13 surname and given character as
// one word; 22 the default role, which no transition reads.
struct Automaton {
    int32_t symbols = 23;
    std::vector<int32_t> accepting = {0, 0, 0, 0, 1, 0, 1, 0, 0, 1};
    std::map<std::pair<int, int>, int32_t> moves = {
        {{0, 1}, 1},  {{0, 6}, 5}, {{0, 10}, 7}, {{0, 13}, 3}, {{1, 2}, 2},  {{1, 3}, 4},  {{1, 4}, 4},
        {{1, 5}, 4},  {{2, 3}, 4}, {{2, 4}, 4},  {{3, 3}, 4},  {{3, 4}, 4},  {{5, 1}, 6},  {{7, 11}, 8},
        {{7, 12}, 9}, {{8, 11}, 8}, {{8, 12}, 9}, {{9, 11}, 8}};

    bool Write(const std::string& path) const
    {
        std::vector<int32_t> outputs, transitions;
        for (size_t s = 0; s < accepting.size(); ++s) {
            outputs.push_back(s == 4 || s == 6 || s == 9 ? 24 : 0);
            for (int r = 0; r < symbols; ++r) {
                auto it = moves.find({static_cast<int>(s), r});
                transitions.push_back(it == moves.end() ? -1 : it->second);
            }
        }
        return ModelWriter::WriteAutomaton(path, symbols, accepting, outputs, transitions);
    }
};

constexpr uint8_t kDefault = 22;

// Word id i gets the roles words[i] (frequency 1 each); an empty list: no entries.
bool WriteLexicon(const std::string& path, const std::vector<std::vector<uint8_t>>& words)
{
    std::vector<ModelWriter::LexiconEntries> entries;
    for (const auto& word : words) {
        entries.emplace_back();
        for (uint8_t role : word)
            entries.back().emplace_back(role, 1);
    }
    return ModelWriter::WriteLexicon(path, entries);
}

std::vector<TokenRecord> Tokens(const std::vector<int32_t>& ids)
{
    std::vector<TokenRecord> tokens;
    for (size_t i = 0; i < ids.size(); ++i) {
        TokenRecord t;
        t.wordId = ids[i];
        t.start = 2 * static_cast<int>(i);
        t.end = t.start + 2;
        tokens.push_back(t);
    }
    return tokens;
}

// Whether any choice of one role a token among its choices lets the automaton
// merge a name: the truth the filter may never deny.
bool AnyChoiceMerges(const CRoleTagger& fsa, const std::vector<int32_t>& ids,
                     const std::vector<std::vector<uint8_t>>& choices)
{
    std::vector<size_t> pick(ids.size(), 0);
    for (;;) {
        std::vector<TokenRecord> tokens = Tokens(ids);
        for (size_t i = 0; i < ids.size(); ++i)
            tokens[i].tag = choices[i][pick[i]];
        int count = static_cast<int>(tokens.size());
        fsa.Recognize(tokens.data(), count, 4242);
        if (count < static_cast<int>(ids.size()))
            return true;
        size_t i = 0;
        while (i < pick.size() && ++pick[i] == choices[i].size())
            pick[i++] = 0;
        if (i == pick.size())
            return false;
    }
}

class CRunFilterTest : public ::testing::Test {
protected:
    void Load(const Automaton& a, const std::vector<std::vector<uint8_t>>& words)
    {
        ASSERT_TRUE(a.Write(dir / "nr.fsa"));
        ASSERT_TRUE(WriteLexicon(dir / "nr.role", words));
        ASSERT_TRUE(fsa.Load((dir / "nr.fsa").c_str()));
        ASSERT_TRUE(lexicon.Load((dir / "nr.role").c_str()));
    }
    TempDir dir;
    CRoleTagger fsa;
    CPosLexicon lexicon;
};

TEST_F(CRunFilterTest, AnswersByTheRolesTheLexiconAllows)
{
    // Word ids: 0 the markers (20, 21), 1 a surname that is also a plain word,
    // 2 a given-name character, 3 only ever plain, 4 a prefix, 5/6/7 pieces of a
    // foreign name, 8 no entries (the default role), 9 a role the automaton has
    // no code for, 10 a second given-name character.
    Load(Automaton(), {{20, 21}, {22, 1}, {4, 22, 3}, {22}, {6}, {10}, {11}, {12}, {}, {40}, {2}});
    CRunFilter filter;
    ASSERT_TRUE(filter.Build(fsa, &lexicon, kDefault));
    const struct {
        const char* label;
        std::vector<int32_t> ids;
        bool expected;
    } cases[] = {
        {"surname, given name", {0, 1, 2, 0}, true},
        {"surname, two given characters", {0, 1, 10, 2, 0}, true},
        {"surname, plain word", {0, 1, 3, 0}, false},
        {"given name before the surname", {0, 2, 1, 0}, false},
        {"surname and given name apart", {0, 1, 3, 2, 0}, false},
        {"prefix, surname", {0, 4, 1, 0}, true},
        {"prefix alone", {0, 4, 3, 0}, false},
        {"foreign name", {0, 5, 6, 6, 7, 0}, true},
        {"foreign name broken", {0, 5, 6, 3, 7, 0}, false},
        {"first piece, last piece", {0, 5, 7, 0}, true},
        {"a word without entries", {0, 1, 8, 0}, false},
        {"an id beyond the lexicon", {0, 1, 77, 0}, false},
        {"no id", {0, 1, -1, 0}, false},
        {"a role without a code", {0, 1, 9, 0}, false},
        {"only plain words", {0, 3, 3, 8, 0}, false},
        {"empty", {}, false},
    };
    for (const auto& c : cases) {
        const std::vector<TokenRecord> tokens = Tokens(c.ids);
        EXPECT_EQ(filter.MayAccept(tokens.data(), static_cast<int>(tokens.size())), c.expected) << c.label;
    }
    // A token of the passed word answers yes whatever the others.
    const std::vector<TokenRecord> named = Tokens({0, 3, 4242, 3, 0});
    EXPECT_FALSE(filter.MayAccept(named.data(), 5));
    EXPECT_TRUE(filter.MayAccept(named.data(), 5, 4242));
}

TEST_F(CRunFilterTest, UnbuiltOrTooLargeAutomataPassEverything)
{
    Load(Automaton(), {{22}});
    const std::vector<TokenRecord> plain = Tokens({0, 0, 0});
    CRunFilter unbuilt;
    EXPECT_TRUE(unbuilt.MayAccept(plain.data(), 3));
    CRunFilter noLexicon;
    EXPECT_FALSE(noLexicon.Build(fsa, nullptr, kDefault));
    EXPECT_TRUE(noLexicon.MayAccept(plain.data(), 3));
    CRunFilter badDefault;
    EXPECT_FALSE(badDefault.Build(fsa, &lexicon, 40));
    EXPECT_TRUE(badDefault.MayAccept(plain.data(), 3));

    Automaton large;
    large.accepting.assign(CRunFilter::kMaxStates + 1, 0);
    large.accepting.back() = 1;
    Load(large, {{22}});
    CRunFilter filter;
    EXPECT_FALSE(filter.Build(fsa, &lexicon, kDefault));
    EXPECT_TRUE(filter.MayAccept(plain.data(), 3));
}

// Whatever roles the lexicon allows, the automaton merges a name only where the
// filter said it might: every assignment of roles to small random sentences is
// tried.
TEST_F(CRunFilterTest, NeverMissesAMergeTheAutomatonCouldMake)
{
    const std::vector<uint8_t> roles = {1, 2, 3, 4, 5, 6, 10, 11, 12, 13, 22};
    std::mt19937 random(7);
    std::vector<std::vector<uint8_t>> words(12);
    for (auto& word : words) {
        const int n = static_cast<int>(random() % 4);
        for (int k = 0; k < n; ++k)
            word.push_back(roles[random() % roles.size()]);
    }
    Load(Automaton(), words);
    CRunFilter filter;
    ASSERT_TRUE(filter.Build(fsa, &lexicon, kDefault));
    int mergeable = 0, refused = 0;
    for (int sentence = 0; sentence < 400; ++sentence) {
        std::vector<int32_t> ids(2 + random() % 4);
        for (int32_t& id : ids)
            id = static_cast<int32_t>(random() % words.size());
        std::vector<std::vector<uint8_t>> choices;
        for (int32_t id : ids)
            choices.push_back(words[static_cast<size_t>(id)].empty() ? std::vector<uint8_t>{kDefault}
                                                                      : words[static_cast<size_t>(id)]);
        const bool merges = AnyChoiceMerges(fsa, ids, choices);
        const std::vector<TokenRecord> tokens = Tokens(ids);
        const bool may = filter.MayAccept(tokens.data(), static_cast<int>(tokens.size()));
        if (merges) {
            EXPECT_TRUE(may) << "sentence " << sentence;
        }
        mergeable += merges;
        refused += !may;
    }
    // Both answers occur, so the test says something.
    EXPECT_GT(mergeable, 20);
    EXPECT_GT(refused, 20);
}

// With extra roles per token (and one role every token takes), the filter
// answers as the automaton over every assignment of the enlarged role sets,
// and as the plain test where no token has extra roles.
TEST_F(CRunFilterTest, ExtraRolesNeverMissAMerge)
{
    const std::vector<uint8_t> roles = {1, 2, 3, 4, 5, 6, 10, 11, 12, 13, 22};
    std::mt19937 random(11);
    std::vector<std::vector<uint8_t>> words(10);
    for (auto& word : words) {
        const int n = static_cast<int>(random() % 3);
        for (int k = 0; k < n; ++k)
            word.push_back(roles[random() % roles.size()]);
    }
    Load(Automaton(), words);
    for (const uint8_t every : {uint8_t(0), uint8_t(11)}) {
        const uint32_t everyBit = every != 0 ? uint32_t(1) << every : 0;
        CRunFilter filter;
        ASSERT_TRUE(filter.Build(fsa, &lexicon, kDefault, everyBit));
        int mergeable = 0, refused = 0;
        for (int sentence = 0; sentence < 400; ++sentence) {
            std::vector<int32_t> ids(2 + random() % 4);
            for (int32_t& id : ids)
                id = static_cast<int32_t>(random() % words.size());
            std::vector<uint32_t> extra(ids.size(), 0);
            for (uint32_t& e : extra)
                if (random() % 3 == 0)
                    e = uint32_t(1) << roles[random() % roles.size()];
            std::vector<std::vector<uint8_t>> choices;
            for (size_t i = 0; i < ids.size(); ++i) {
                const auto& own = words[static_cast<size_t>(ids[i])];
                std::vector<uint8_t> c = own.empty() ? std::vector<uint8_t>{kDefault} : own;
                for (int r = 0; r < 32; ++r)
                    if (((extra[i] | everyBit) >> r & 1) != 0)
                        c.push_back(static_cast<uint8_t>(r));
                choices.push_back(c);
            }
            const bool merges = AnyChoiceMerges(fsa, ids, choices);
            const std::vector<TokenRecord> tokens = Tokens(ids);
            const int n = static_cast<int>(tokens.size());
            const bool may = filter.MayAccept(tokens.data(), n, extra.data());
            if (merges) {
                EXPECT_TRUE(may) << "sentence " << sentence << " every " << int(every);
            }
            const std::vector<uint32_t> none(ids.size(), 0);
            EXPECT_EQ(filter.MayAccept(tokens.data(), n, none.data()), filter.MayAccept(tokens.data(), n));
            mergeable += merges;
            refused += !may;
        }
        EXPECT_GT(mergeable, 20);
        EXPECT_GT(refused, 20);
    }
}

} // namespace
