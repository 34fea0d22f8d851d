#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "lexicon/CPDAT.h"
#include "tests/TestUtil.h"

namespace {

// Two-byte characters used below.
#define ZH_YI "\xD2\xBB"   // 一
#define ZH_ZHONG "\xD6\xD0" // 中
#define ZH_GUO "\xB9\xFA"  // 国
#define ZH_REN "\xC8\xCB"  // 人
#define ZH_MIN "\xC3\xF1"  // 民

struct E {
    int32_t base, check, value;
};

void ExpectEntries(const CPDAT& dict, const std::vector<E>& expected)
{
    ASSERT_EQ(dict.GetHighestIndex() + 1, static_cast<int>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        const CPDAT::Entry& e = dict.GetEntries()[i];
        EXPECT_EQ(e.base, expected[i].base) << "entry " << i;
        EXPECT_EQ(e.check, expected[i].check) << "entry " << i;
        EXPECT_EQ(e.value, expected[i].value) << "entry " << i;
    }
}

int32_t Int32At(const std::string& bytes, size_t offset)
{
    int32_t v = 0;
    std::memcpy(&v, bytes.data() + offset, 4);
    return v;
}

struct Built {
    TempDir dir;
    CPDAT dict;
    int count = 0;
    explicit Built(const std::string& list, const CPDAT* exclude = nullptr)
    {
        WriteFile(dir / "list.txt", list);
        count = dict.BuildFromWordList((dir / "list.txt").c_str(), exclude);
    }
    std::string Saved()
    {
        EXPECT_TRUE(dict.Save((dir / "out.pdat").c_str()));
        return ReadFile(dir / "out.pdat");
    }
};

TEST(CPDAT, WorkedExampleSharedPrefix)
{
    Built b("AB\nAC\nB\n");
    EXPECT_EQ(b.count, 3);
    EXPECT_EQ(b.dict.GetWordCount(), 3);
    EXPECT_EQ(b.dict.GetCode('A'), 0);
    EXPECT_EQ(b.dict.GetCode('B'), 1);
    EXPECT_EQ(b.dict.GetCode('C'), 2);
    EXPECT_EQ(b.dict.GetCode('D'), -1);
    EXPECT_EQ(b.dict.GetCapacity(), 4);
    EXPECT_EQ(b.dict.GetHighestIndex(), 3);
    ExpectEntries(b.dict, {{1, -2, -1}, {-1, -2, 2}, {-2, 0, 0}, {-3, 0, 1}});

    const std::string file = b.Saved();
    ASSERT_EQ(file.size(), 262200u);
    EXPECT_EQ(Int32At(file, 4 * 'A'), 0);
    EXPECT_EQ(Int32At(file, 4 * 'C'), 2);
    EXPECT_EQ(Int32At(file, 0), -1);
    EXPECT_EQ(Int32At(file, 262144), 3);  // highestIndex
    EXPECT_EQ(Int32At(file, 262148), 3);  // wordCount
    EXPECT_EQ(Int32At(file, 262152), 1);  // entry 0 base
    EXPECT_EQ(Int32At(file, 262152 + 12 * 3 + 8), 1); // entry 3 value

    EXPECT_EQ(b.dict.ExactMatch("AB"), 0);
    EXPECT_EQ(b.dict.ExactMatch("AC"), 1);
    EXPECT_EQ(b.dict.ExactMatch("B"), 2);
    EXPECT_EQ(b.dict.ExactMatch("A"), -1);
}

TEST(CPDAT, WorkedExampleWordWithChildrenAvoidsOccupiedOffset)
{
    Built b("A\nB\nBA\nBB\n");
    EXPECT_EQ(b.count, 4);
    EXPECT_EQ(b.dict.GetCode('B'), 0);
    EXPECT_EQ(b.dict.GetCode('A'), 1);
    ExpectEntries(b.dict, {{-2, -2, 1}, {-1, -2, 0}, {-2, 0, 3}, {-3, 0, 2}});
    EXPECT_EQ(b.Saved().size(), 262200u);
    EXPECT_EQ(b.dict.CharacterWord('B'), 1);
    EXPECT_EQ(b.dict.CharacterWord('A'), 0);
    int value = 0;
    EXPECT_EQ(b.dict.LongestMatch("BBA", &value), 2);
    EXPECT_EQ(value, 3);
}

TEST(CPDAT, EmptyResultsSaveTheEmptyDictionary)
{
    TempDir dir;
    CPDAT core;
    WriteFile(dir / "core.txt", "A\nBC\n");
    ASSERT_EQ(core.BuildFromWordList((dir / "core.txt").c_str()), 2);

    struct Case {
        const char* name;
        std::string list;
        const CPDAT* exclude;
    } cases[] = {
        {"empty list", "", nullptr},
        {"blank lines only", "  \n\t\r\n\n", nullptr},
        {"every word excluded", "A\n  BC x\n", &core},
    };
    for (const Case& c : cases) {
        Built b(c.list, c.exclude);
        EXPECT_EQ(b.count, 0) << c.name;
        EXPECT_EQ(b.dict.GetWordCount(), 0) << c.name;
        EXPECT_EQ(b.dict.GetHighestIndex(), 0) << c.name;
        ExpectEntries(b.dict, {{-1, -1, -1}});
        const std::string file = b.Saved();
        EXPECT_EQ(file.size(), 262164u) << c.name;
        EXPECT_TRUE(file == std::string(262164, '\xFF').replace(262144, 8, std::string(8, '\0')))
            << c.name;
        EXPECT_EQ(b.dict.ExactMatch("A"), -1);
    }

    // A trie that was never filled saves as the same empty dictionary.
    CPDAT fresh;
    EXPECT_EQ(fresh.ExactMatch("A"), -1);
    EXPECT_EQ(fresh.CharacterWord('A'), -1);
    EXPECT_EQ(fresh.LongestMatch("A"), 0);
    ASSERT_TRUE(fresh.Save((dir / "fresh.pdat").c_str()));
    Built empty("");
    EXPECT_TRUE(ReadFile(dir / "fresh.pdat") == empty.Saved());
}

TEST(CPDAT, UnopenableListLeavesTheTrieAlone)
{
    Built b("AB\nAC\nB\n");
    const std::string before = b.Saved();
    EXPECT_EQ(b.dict.BuildFromWordList((b.dir / "missing.txt").c_str()), 0);
    EXPECT_EQ(b.dict.BuildFromWordList(b.dir.path.c_str()), 0); // a directory holds no lines
    EXPECT_EQ(b.dict.GetWordCount(), 3);
    EXPECT_TRUE(b.Saved() == before);
    EXPECT_FALSE(b.dict.Save((b.dir / "no/such/dir.pdat").c_str()));
}

TEST(CPDAT, LookupsOnTwoByteWords)
{
    // ids: 中 0, 中国 1, 中国人民 2, 人 3, 一A 4
    Built b(ZH_ZHONG "\n" ZH_ZHONG ZH_GUO "\n" ZH_ZHONG ZH_GUO ZH_REN ZH_MIN "\n" ZH_REN "\nA" ZH_YI "\n");
    ASSERT_EQ(b.count, 5);

    struct Exact {
        const char* text;
        int expected;
    } exact[] = {
        {ZH_ZHONG, 0},
        {ZH_ZHONG ZH_GUO, 1},
        {ZH_ZHONG ZH_GUO ZH_REN ZH_MIN, 2},
        {ZH_ZHONG ZH_GUO ZH_REN, -1}, // only a prefix of a word
        {ZH_GUO, -1},                 // character known, not a word
        {"A" ZH_YI, 4},
        {"A", -1},
        {"", -1},
        {ZH_ZHONG "\xB9", -1}, // lone lead byte at the end
        {"\xD6", -1},
    };
    for (const Exact& c : exact) {
        EXPECT_EQ(b.dict.ExactMatch(c.text), c.expected) << c.text;
        EXPECT_EQ(b.dict.ExactMatch(c.text, int(std::strlen(c.text))), c.expected) << c.text;
    }
    // The counted form stops at the length, not at the NUL.
    EXPECT_EQ(b.dict.ExactMatch(ZH_ZHONG ZH_GUO ZH_REN, 4), 1);
    EXPECT_EQ(b.dict.ExactMatch(ZH_ZHONG ZH_GUO, 3), -1); // 中 then a lone lead byte
    EXPECT_EQ(b.dict.ExactMatch(ZH_ZHONG, 0), -1);
    EXPECT_EQ(b.dict.ExactMatch(nullptr), -1);

    EXPECT_EQ(b.dict.CharacterWord(0xD6D0), 0);
    EXPECT_EQ(b.dict.CharacterWord(0xC8CB), 3);
    EXPECT_EQ(b.dict.CharacterWord(0xB9FA), -1);
    EXPECT_EQ(b.dict.CharacterWord(-42), -1);
    EXPECT_EQ(b.dict.CharacterWord(70000), -1);

    struct Longest {
        const char* text;
        int length, value;
    } longest[] = {
        {ZH_ZHONG ZH_GUO ZH_REN ZH_MIN ZH_YI, 8, 2},
        {ZH_ZHONG ZH_GUO ZH_REN ZH_YI, 4, 1},
        {ZH_ZHONG ZH_GUO "\xC8", 4, 1}, // a trailing lone lead byte ends the walk
        {ZH_GUO ZH_ZHONG, 0, -1},
        {"", 0, -1},
        {ZH_REN ZH_REN, 2, 3},
    };
    for (const Longest& c : longest) {
        int value = 12345;
        EXPECT_EQ(b.dict.LongestMatch(c.text, &value), c.length) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
        EXPECT_EQ(b.dict.LongestMatch(c.text), c.length) << c.text;
    }

    std::vector<int> values{7, 7, 7}, lengths{9};
    EXPECT_EQ(b.dict.AllPrefixMatches(ZH_ZHONG ZH_GUO ZH_REN ZH_MIN, values, lengths, 0), 8);
    EXPECT_EQ(values, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(lengths, (std::vector<int>{2, 4, 8}));
    EXPECT_EQ(b.dict.AllPrefixMatches(ZH_ZHONG ZH_GUO ZH_YI, values, lengths, 2), 4);
    EXPECT_EQ(values, (std::vector<int>{1}));
    EXPECT_EQ(lengths, (std::vector<int>{4}));
    EXPECT_EQ(b.dict.AllPrefixMatches(ZH_ZHONG ZH_GUO ZH_YI, values, lengths, 4), 4);
    EXPECT_TRUE(values.empty());
    EXPECT_TRUE(lengths.empty());
    EXPECT_EQ(b.dict.AllPrefixMatches(ZH_YI, values, lengths, 0), 0);
    EXPECT_TRUE(values.empty());
}

TEST(CPDAT, WordListLinesAndIds)
{
    std::string longLine(5000, 'x'); // read as 3071 bytes, then the rest as a line of its own
    longLine[3071] = 'Q';
    Built b("  AB\tn 42\n\n   \nAB\nC x y\n" + longLine + "\nD\r\n");
    // AB, AB, C, 3071 x, Q..., D
    EXPECT_EQ(b.count, 6);
    EXPECT_EQ(b.dict.ExactMatch("AB"), 1); // repeated word: the later id
    EXPECT_EQ(b.dict.ExactMatch("C"), 2);
    EXPECT_EQ(b.dict.ExactMatch(std::string(3071, 'x').c_str()), 3);
    EXPECT_EQ(b.dict.ExactMatch(("Q" + std::string(5000 - 3072, 'x')).c_str()), 4);
    EXPECT_EQ(b.dict.ExactMatch("D"), 5);
    EXPECT_EQ(b.dict.ExactMatch("n"), -1);
    EXPECT_EQ(b.dict.ExactMatch("42"), -1);
}

TEST(CPDAT, ExcludeDictionarySkipsKnownWordsAndContinuesIds)
{
    Built core(ZH_ZHONG "\n" ZH_ZHONG ZH_GUO "\n" ZH_REN "\n");
    ASSERT_EQ(core.count, 3);
    Built user(ZH_ZHONG ZH_GUO " n\n" ZH_REN ZH_MIN "\n" ZH_ZHONG "\n" ZH_YI "\n" ZH_REN ZH_MIN "\n",
               &core.dict);
    EXPECT_EQ(user.count, 3);
    EXPECT_EQ(user.dict.GetWordCount(), 3);
    EXPECT_EQ(user.dict.ExactMatch(ZH_REN ZH_MIN), 5); // ids 3 and 5; the later wins
    EXPECT_EQ(user.dict.ExactMatch(ZH_YI), 4);
    EXPECT_EQ(user.dict.ExactMatch(ZH_ZHONG), -1);
    EXPECT_EQ(user.dict.ExactMatch(ZH_ZHONG ZH_GUO), -1);
}

TEST(CPDAT, OneCharacterLeafAtIndexZeroIsFound)
{
    // A has code 0, begins no longer word, and sits at index 0 as a leaf.
    Built b("A\nBC\n");
    EXPECT_EQ(b.dict.GetCode('A'), 0);
    EXPECT_EQ(b.dict.GetEntries()[0].check, -2);
    EXPECT_LT(b.dict.GetEntries()[0].base, 0);
    EXPECT_EQ(b.dict.ExactMatch("A"), 0);
    EXPECT_EQ(b.dict.CharacterWord('A'), 0);
    int value = -5;
    EXPECT_EQ(b.dict.LongestMatch("AB", &value), 1);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(b.dict.LongestMatch("AA"), 1);
    EXPECT_EQ(b.dict.ExactMatch("AB"), -1);
    EXPECT_EQ(b.dict.ExactMatch("BC"), 1);
}

TEST(CPDAT, WordEndingInLoneLeadByteTakesAnIdButNoNodes)
{
    Built b("\xB0\nA\xD6\nAB\n" ZH_YI "\n");
    EXPECT_EQ(b.count, 4);
    EXPECT_EQ(b.dict.ExactMatch("AB"), 2);
    EXPECT_EQ(b.dict.ExactMatch(ZH_YI), 3);
    EXPECT_EQ(b.dict.ExactMatch("A\xD6"), -1);
    EXPECT_EQ(b.dict.ExactMatch("A"), -1);
    EXPECT_EQ(b.dict.GetCode(0xB0), -1);
    // Only A, B and 一 are characters of the trie.
    EXPECT_EQ(b.dict.GetCode('A'), 0);
    EXPECT_EQ(b.dict.GetCode('B'), 1);
    EXPECT_EQ(b.dict.GetCode(0xD2BB), 2);
}

TEST(CPDAT, SaveLoadRoundTrip)
{
    Built b(ZH_ZHONG "\n" ZH_ZHONG ZH_GUO "\n" ZH_ZHONG ZH_GUO ZH_REN ZH_MIN "\nA\nAB" ZH_YI "\n");
    const std::string file = b.Saved();
    CPDAT loaded;
    ASSERT_TRUE(loaded.Load((b.dir / "out.pdat").c_str()));
    EXPECT_EQ(loaded.GetWordCount(), 5);
    EXPECT_EQ(loaded.GetHighestIndex(), b.dict.GetHighestIndex());
    EXPECT_EQ(loaded.GetCapacity(), loaded.GetHighestIndex() + 1);
    const char* probes[] = {ZH_ZHONG, ZH_ZHONG ZH_GUO, ZH_ZHONG ZH_GUO ZH_REN ZH_MIN ZH_YI, "A", "AB" ZH_YI,
                            "AB", ZH_GUO, ""};
    std::vector<int> v1, l1, v2, l2;
    for (const char* p : probes) {
        EXPECT_EQ(loaded.ExactMatch(p), b.dict.ExactMatch(p)) << p;
        int a = 0, c = 0;
        EXPECT_EQ(loaded.LongestMatch(p, &a), b.dict.LongestMatch(p, &c)) << p;
        EXPECT_EQ(a, c);
        EXPECT_EQ(loaded.AllPrefixMatches(p, v1, l1, 0), b.dict.AllPrefixMatches(p, v2, l2, 0));
        EXPECT_EQ(v1, v2);
        EXPECT_EQ(l1, l2);
    }
    ASSERT_TRUE(loaded.Save((b.dir / "again.pdat").c_str()));
    EXPECT_TRUE(ReadFile(b.dir / "again.pdat") == file);
    EXPECT_FALSE(loaded.Load((b.dir / "missing.pdat").c_str()));
    EXPECT_EQ(loaded.ExactMatch("A"), 3);
}

// ----- damaged files -----

std::string PdatBytes(const std::vector<int32_t>& codes, int32_t highest, int32_t count,
                      const std::vector<E>& entries)
{
    std::vector<int32_t> table(CPDAT::kKeyCount, -1);
    for (size_t i = 0; i + 1 < codes.size(); i += 2)
        table[static_cast<size_t>(codes[i])] = codes[i + 1];
    std::string out(reinterpret_cast<const char*>(table.data()), table.size() * 4);
    out.append(reinterpret_cast<const char*>(&highest), 4);
    out.append(reinterpret_cast<const char*>(&count), 4);
    for (const E& e : entries)
        out.append(reinterpret_cast<const char*>(&e), sizeof e);
    return out;
}

TEST(CPDAT, ImpossibleHeadersAreRefused)
{
    TempDir dir;
    Built good("AB\n");
    const std::string goodPath = good.dir / "out.pdat";
    const std::string goodFile = good.Saved();
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"negative highestIndex", PdatBytes({'A', 0}, -1, 1, {{-1, -1, -1}})},
        {"INT_MIN highestIndex", PdatBytes({'A', 0}, INT_MIN, 1, {})},
        {"INT_MAX highestIndex", PdatBytes({'A', 0}, INT_MAX, 1, {{-1, -1, -1}})},
        {"far more entries than the file holds", PdatBytes({}, 1 << 20, 1, {{-1, -1, -1}})},
        {"negative word count", PdatBytes({}, 0, -3, {{-1, -1, -1}})},
        // Code tables no build makes: codes below -1 or beyond the 65536 keys, one
        // code for two characters.
        {"negative code", PdatBytes({'A', 0, 'E', -7}, 0, 1, {{-1, -1, -1}})},
        {"INT_MIN code", PdatBytes({'A', INT_MIN}, 0, 1, {{-1, -1, -1}})},
        {"code beyond the keys", PdatBytes({'A', 65536}, 0, 1, {{-1, -1, -1}})},
        {"INT_MAX code", PdatBytes({'A', INT_MAX}, 0, 1, {{-1, -1, -1}})},
        {"one code for two characters", PdatBytes({'A', 0, 'B', 1, 'C', 0}, 1, 2, {{-1, -1, -1}})},
        // Bytes after the last entry: some other file.
        {"one byte after the entries", PdatBytes({'A', 0}, 0, 1, {{-1, -1, -1}}) + "x"},
        {"an entry more than the header says", PdatBytes({'A', 0}, 0, 1, {{-1, -1, -1}, {-1, -1, -1}})},
    };
    for (const Case& c : cases) {
        WriteFile(dir / "bad.pdat", c.bytes);
        CPDAT dict;
        ASSERT_TRUE(dict.Load(goodPath.c_str()));
        EXPECT_FALSE(dict.Load((dir / "bad.pdat").c_str())) << c.name;
        EXPECT_EQ(dict.ExactMatch("AB"), 0) << c.name; // unchanged
        ASSERT_TRUE(dict.Save((dir / "again.pdat").c_str()));
        EXPECT_TRUE(ReadFile(dir / "again.pdat") == goodFile) << c.name;
    }
}

TEST(CPDAT, TruncatedFilesLoadWithMissingPartsEmpty)
{
    Built b("AB\nAC\nB\n");
    const std::string file = b.Saved();
    TempDir dir;
    // Cut inside the entries: entries 0 and 1 survive, 2 and 3 read as free.
    WriteFile(dir / "cut.pdat", file.substr(0, 262152 + 24));
    CPDAT dict;
    ASSERT_TRUE(dict.Load((dir / "cut.pdat").c_str()));
    EXPECT_EQ(dict.GetHighestIndex(), 3);
    EXPECT_EQ(dict.ExactMatch("B"), 2);
    EXPECT_EQ(dict.ExactMatch("AB"), -1);
    ExpectEntries(dict, {{1, -2, -1}, {-1, -2, 2}, {-1, -1, -1}, {-1, -1, -1}});

    // Cut inside the code table or the header: no dictionary, even an empty one,
    // is that short. The trie held stays.
    for (size_t cut : {size_t(0), size_t(3), size_t(1000), size_t(262146), size_t(262150)}) {
        WriteFile(dir / "cut.pdat", file.substr(0, cut));
        EXPECT_FALSE(dict.Load((dir / "cut.pdat").c_str())) << cut;
        EXPECT_EQ(dict.ExactMatch("B"), 2) << cut;
        EXPECT_EQ(dict.GetHighestIndex(), 3) << cut;
    }
    // The header alone is an empty dictionary cut before its one entry.
    WriteFile(dir / "cut.pdat", file.substr(0, 262152));
    ASSERT_TRUE(dict.Load((dir / "cut.pdat").c_str()));
    EXPECT_EQ(dict.ExactMatch("B"), -1);
}

TEST(CPDAT, DamagedEntriesKeepLookupsInBounds)
{
    // Codes beyond the array (codes of impossible values are refused at load),
    // bases of INT_MIN and INT_MAX, checks that point anywhere. Run under the
    // sanitizers this shows every read in bounds.
    TempDir dir;
    WriteFile(dir / "bad.pdat",
              PdatBytes({'A', 0, 'B', 1, 'C', 2, 'D', 1000, 'E', 65535},
                        3, 4,
                        {{INT_MIN, -2, 5}, {1, -2, -1}, {-INT_MAX, -2, 7}, {-2, 1, 8}}));
    CPDAT dict;
    ASSERT_TRUE(dict.Load((dir / "bad.pdat").c_str()));
    std::vector<int> values, lengths;
    const char* texts[] = {"A", "AA", "AB", "ABCDEFG", "B", "BA", "C", "CA", "CC", "D", "E",
                           "F", "G", "CAAAAAAA", "\xFF\xFF", "\x80"};
    for (const char* t : texts) {
        dict.ExactMatch(t);
        dict.ExactMatch(t, int(std::strlen(t)));
        dict.LongestMatch(t);
        dict.AllPrefixMatches(t, values, lengths, 0);
        // The walks asked for ahead read the same nodes a walk does.
        for (int depth = 0; depth <= 4; ++depth)
            dict.PrefetchTextWalk(t, depth);
    }
    const int32_t codeRuns[][3] = {{0, 0, 0}, {0, 1, 2}, {1, 2, 3}, {2, 2, 2}, {3, 0, 1}, {1000, 0, 0},
                                   {-1, 0, 0}, {0, -1, 0}, {1, 1, -1}, {INT32_MAX, 1, 1}};
    for (const auto& codes : codeRuns)
        for (int depth = 1; depth <= 3; ++depth)
            dict.PrefetchWalk(codes, depth);
    for (int key : {int('A'), int('B'), int('C'), int('D'), int('E'), int('F'), int('G'), 0, 65535})
        dict.CharacterWord(key);
    EXPECT_EQ(dict.ExactMatch("A"), 5);
    EXPECT_EQ(dict.ExactMatch("D"), -1);
    EXPECT_EQ(dict.CharacterWord('D'), -1);
    EXPECT_EQ(dict.ExactMatch("E"), -1);
    EXPECT_EQ(dict.ExactMatch("C"), 7);
    EXPECT_EQ(dict.ExactMatch("CC"), -1); // INT_MAX + 2 lies beyond the array
    EXPECT_EQ(dict.ExactMatch("B"), -1);
    EXPECT_EQ(dict.ExactMatch("BC"), 8);
    EXPECT_EQ(dict.LongestMatch("BCA"), 2);
}

} // namespace
