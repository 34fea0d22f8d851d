#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "lexicon/CPDAT.h"
#include "lexicon/CUserWords.h"

namespace {

#define ZH_ZHONG "\xD6\xD0" // 中
#define ZH_GUO "\xB9\xFA"   // 国
#define ZH_REN "\xC8\xCB"   // 人
#define ZH_MIN "\xC3\xF1"   // 民

using Entry = CUserWords::Entry;

// The words as one trie over every entry so far, rebuilt whole: what the
// analysis saw before the words were kept in runs, and what they must still see.
class WholeRebuild {
public:
    void Add(const std::vector<Entry>& more, const CPDAT& core)
    {
        entries.insert(entries.end(), more.begin(), more.end());
        std::unordered_map<std::string, size_t> slot;
        std::vector<std::string> texts;
        words.clear();
        int32_t nextId = core.GetWordCount();
        for (const Entry& e : entries) {
            if (e.text.empty())
                continue;
            auto found = slot.find(e.text);
            if (found == slot.end()) {
                const int coreId = core.ExactMatch(e.text.c_str(), static_cast<int>(e.text.size()));
                slot.emplace(e.text, words.size());
                texts.push_back(e.text);
                words.push_back({coreId >= 0 ? coreId : nextId++, e.frequency, e.tag});
            } else {
                words[found->second].frequency = e.frequency;
                words[found->second].tag = e.tag;
            }
        }
        trie = CPDAT();
        trie.BuildFromWords(texts);
    }
    std::vector<std::pair<int, UserWord>> Matches(const char* text) const
    {
        std::vector<std::pair<int, UserWord>> out;
        if (words.empty())
            return out;
        std::vector<int> values, lengths;
        trie.AllPrefixMatches(text, values, lengths, 0);
        for (size_t i = 0; i < values.size(); ++i)
            out.emplace_back(lengths[i], words[static_cast<size_t>(values[i])]);
        return out;
    }
    size_t Size() const { return words.size(); }

private:
    std::vector<Entry> entries;
    std::vector<UserWord> words;
    CPDAT trie;
};

bool Same(const UserWord& a, const UserWord& b)
{
    return a.wordId == b.wordId && a.frequency == b.frequency && a.tag == b.tag;
}

// Every position of text: the same longest word and the same prefix words.
void ExpectSameAnswers(const CUserWords& words, const WholeRebuild& whole, const std::string& text,
                       const std::string& where)
{
    std::vector<std::pair<int, const UserWord*>> got;
    for (size_t p = 0; p < text.size(); ++p) {
        const char* at = text.c_str() + p;
        const auto want = whole.Matches(at);
        words.Matches(at, got);
        ASSERT_EQ(got.size(), want.size()) << where << " at byte " << p;
        for (size_t i = 0; i < want.size(); ++i) {
            EXPECT_EQ(got[i].first, want[i].first) << where << " at byte " << p;
            EXPECT_TRUE(Same(*got[i].second, want[i].second)) << where << " at byte " << p << " match " << i;
        }
        const UserWord* longest = nullptr;
        const int length = words.LongestMatch(at, &longest);
        if (want.empty()) {
            EXPECT_EQ(length, 0) << where << " at byte " << p;
            EXPECT_EQ(longest, nullptr) << where << " at byte " << p;
        } else {
            EXPECT_EQ(length, want.back().first) << where << " at byte " << p;
            ASSERT_NE(longest, nullptr) << where << " at byte " << p;
            EXPECT_TRUE(Same(*longest, want.back().second)) << where << " at byte " << p;
        }
    }
}

// Characters the random words and texts are made of: a few two-byte ones, two
// ASCII ones, and a lead byte that, last in a word or a text, stands alone.
const std::vector<std::string> kPieces = {ZH_ZHONG, ZH_GUO, ZH_REN, ZH_MIN, "a", "b", "\xB0\xA1", "\xB0"};

std::string RandomText(std::mt19937& rng, int from, int to)
{
    std::uniform_int_distribution<int> length(from, to), piece(0, static_cast<int>(kPieces.size()) - 1);
    std::string s;
    for (int n = length(rng); n > 0; --n)
        s += kPieces[static_cast<size_t>(piece(rng))];
    return s;
}

CPDAT Core()
{
    CPDAT core;
    core.BuildFromWords({ZH_ZHONG ZH_GUO, ZH_REN ZH_MIN, "a"});
    return core;
}

TEST(CUserWords, AnswersAsOneWholeTrieAfterEveryChange)
{
    // Batches of one word (as add_word makes them), of a few with repeats and
    // changed frequencies and tags, and large ones (the first-character table);
    // after each, every snapshot made so far still answers as it did.
    const CPDAT core = Core();
    std::mt19937 rng(30);
    const int batchSizes[] = {1, 1, 3, 1, 12, 1, 1, 5000, 1, 2, 40, 1, 6000, 1, 1, 1, 7, 1};
    WholeRebuild whole;
    std::vector<std::shared_ptr<const CUserWords>> snapshots{std::make_shared<CUserWords>()};
    std::vector<std::string> texts;
    std::vector<WholeRebuild> past{whole};
    for (size_t t = 0; t < 6; ++t)
        texts.push_back(RandomText(rng, 40, 80));
    std::uniform_int_distribution<int> freq(-1, 50), tag(0, 3);
    for (size_t b = 0; b < sizeof batchSizes / sizeof batchSizes[0]; ++b) {
        std::vector<Entry> batch;
        CUserWordList list;
        for (int i = 0; i < batchSizes[b]; ++i) {
            Entry e;
            e.text = RandomText(rng, 0, batchSizes[b] > 100 ? 6 : 3);
            e.frequency = freq(rng);
            e.tag = tag(rng) == 3 ? CUserWords::kNoTag : static_cast<uint8_t>(tag(rng));
            list.Add(e.text, e.frequency, e.tag);
            batch.push_back(std::move(e));
        }
        whole.Add(batch, core);
        past.push_back(whole);
        snapshots.push_back(snapshots.back()->With(list, core));
        const CUserWords& now = *snapshots.back();
        EXPECT_EQ(now.Size(), whole.Size()) << "batch " << b;
        // Each run at least twice the next: no more than log2(words) + 1 of them.
        EXPECT_LE(now.RunCount(), static_cast<size_t>(std::log2(double(now.Size()) + 1)) + 1) << "batch " << b;
        // The newest snapshot each time, every one of them now and then.
        for (size_t s = b % 4 == 0 ? 0 : snapshots.size() - 1; s < snapshots.size(); ++s)
            for (const std::string& text : texts)
                ExpectSameAnswers(*snapshots[s], past[s], text, "batch " + std::to_string(b) + ", snapshot " +
                                                                    std::to_string(s));
    }
}

TEST(CUserWords, IdsComeFromTheCoreOrInOrderOfFirstAppearance)
{
    const CPDAT core = Core();
    const int32_t firstFree = core.GetWordCount();
    const struct {
        std::vector<std::vector<Entry>> batches;
        std::vector<std::pair<std::string, UserWord>> expected; // text -> word as it ends up
    } cases[] = {
        // One batch: a repeat keeps the first id and takes the last frequency and tag.
        {{{{ZH_GUO ZH_REN, 5, 1}, {ZH_MIN, -1, 255}, {ZH_GUO ZH_REN, 9, 2}}},
         {{ZH_GUO ZH_REN, {firstFree, 9, 2}}, {ZH_MIN, {firstFree + 1, -1, 255}}}},
        // A core word keeps its core id and takes no new one.
        {{{{ZH_MIN ZH_MIN, 1, 0}, {ZH_ZHONG ZH_GUO, 7, 3}, {"b", 2, 0}}},
         {{ZH_MIN ZH_MIN, {firstFree, 1, 0}},
          {ZH_ZHONG ZH_GUO, {core.ExactMatch(ZH_ZHONG ZH_GUO), 7, 3}},
          {"b", {firstFree + 1, 2, 0}}}},
        // Over several batches: a word added again keeps its id, later words go on
        // from the last id given; sorted order (b < 中) is not id order.
        {{{{ZH_REN, 1, 0}}, {{"b", 2, 0}, {ZH_REN, 3, 1}}, {{ZH_GUO, 4, 0}, {"b", 5, 2}}},
         {{ZH_REN, {firstFree, 3, 1}}, {"b", {firstFree + 1, 5, 2}}, {ZH_GUO, {firstFree + 2, 4, 0}}}},
    };
    for (size_t c = 0; c < sizeof cases / sizeof cases[0]; ++c) {
        std::shared_ptr<const CUserWords> words = std::make_shared<CUserWords>();
        for (const auto& batch : cases[c].batches) {
            CUserWordList list;
            for (const Entry& e : batch)
                list.Add(e.text, e.frequency, e.tag);
            words = words->With(list, core);
        }
        EXPECT_EQ(words->Size(), cases[c].expected.size()) << "case " << c;
        for (const auto& want : cases[c].expected) {
            const std::string text = want.first + "\n";
            const UserWord* got = nullptr;
            ASSERT_EQ(words->LongestMatch(text.c_str(), &got), static_cast<int>(want.first.size())) << "case " << c;
            EXPECT_EQ(got->wordId, want.second.wordId) << "case " << c << " " << want.first;
            EXPECT_EQ(got->frequency, want.second.frequency) << "case " << c << " " << want.first;
            EXPECT_EQ(got->tag, want.second.tag) << "case " << c << " " << want.first;
        }
    }
}

TEST(CUserWords, WordsThatCannotMatchAreCountedButNeverFound)
{
    // A word ending in a lone lead byte, or the empty word: the first is a
    // distinct word (counted once however often added), neither ever matches,
    // not even inside a character of the text.
    const CPDAT core = Core();
    CUserWordList list;
    list.Add("\xB0", 1, 0);
    list.Add("", 1, 0);
    list.Add("a\xB0", 1, 0);
    list.Add("\xB0", 2, 0);
    const auto words = std::make_shared<CUserWords>()->With(list, core);
    EXPECT_EQ(words->Size(), 2u);
    for (const char* text : {"\xB0\xA1", "\xB0", "a\xB0\xA1", "a\xB0"}) {
        const UserWord* w = nullptr;
        EXPECT_EQ(words->LongestMatch(text, &w), 0) << text;
        std::vector<std::pair<int, const UserWord*>> all;
        words->Matches(text, all);
        EXPECT_TRUE(all.empty()) << text;
    }
}

TEST(CUserWords, BuildFromEntriesStartsAfresh)
{
    const CPDAT core = Core();
    CUserWords words;
    words.Build({{ZH_GUO ZH_REN, 1, 0}}, core);
    words.Build({{ZH_MIN, 2, 1}}, core);
    EXPECT_EQ(words.Size(), 1u);
    const UserWord* w = nullptr;
    EXPECT_EQ(words.LongestMatch(ZH_GUO ZH_REN, &w), 0);
    ASSERT_EQ(words.LongestMatch(ZH_MIN, &w), 2);
    EXPECT_EQ(w->wordId, core.GetWordCount());
}

} // namespace
