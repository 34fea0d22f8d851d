#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "lexicon/CPDAT.h"
#include "segment/CCharset.h"
#include "segment/CPreProcess.h"
#include "segment/CWebText.h"
#include "segment/CharText.h"
#include "segment/SpecialWords.h"

namespace {

// GB2312 bytes of the characters the tests use.
#define ZHONG "\xD6\xD0"  // 中
#define GUO "\xB9\xFA"    // 国
#define REN "\xC8\xCB"    // 人
#define MIN "\xC3\xF1"    // 民
#define HUA "\xBB\xAA"    // 华
#define NIAN "\xC4\xEA"   // 年
#define YUE "\xD4\xC2"    // 月
#define FEN "\xB7\xDD"    // 份
#define DAI "\xB4\xFA"    // 代
#define QIAN "\xC7\xB0"   // 前
#define HOU "\xBA\xF3"    // 后
#define HAO "\xBA\xC5"    // 号
#define SHI "\xCA\xB1"    // 时
#define RI "\xC8\xD5"     // 日
#define DI "\xB5\xDA"     // 第
#define YUE4 "\xD4\xBC"   // 约
#define JI "\xBC\xB8"     // 几
#define DIAN "\xB5\xE3"   // 点
#define ZHONG1 "\xD6\xD3" // 钟
#define BAN "\xB0\xEB"    // 半
#define YU "\xD3\xE0"     // 余
#define WAN "\xCD\xF2"    // 万
#define SHI2 "\xCA\xAE"   // 十
#define YI "\xD2\xBB"     // 一
#define ER "\xB6\xFE"     // 二
#define SAN "\xC8\xFD"    // 三
#define WU "\xCE\xE5"     // 五
#define CIRCLED1 "\xA2\xD9" // ①
#define ROMAN1 "\xA2\xF1" // Ⅰ
#define DASH "\xA1\xAA"   // —
#define STOP "\xA1\xA3"   // 。
#define COMMA "\xA3\xAC"  // ，
#define FW3 "\xA3\xB3"    // ３
#define FW4 "\xA3\xB4"    // ４

int Key(const char* ch)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(ch);
    return p[0] < 0x80 ? p[0] : p[0] * 256 + p[1];
}

// A small class table made by hand: ASCII digits 7, letters 8, 年 23, 月 18 and a
// character or two for every other class with a role.
void FillClasses(CCharset& charset)
{
    for (int c = '0'; c <= '9'; ++c)
        charset.SetClass(c, 7);
    for (int c = 'A'; c <= 'Z'; ++c) {
        charset.SetClass(c, 8);
        charset.SetClass(c + 32, 8);
    }
    for (int k = 0xA3B0; k <= 0xA3B9; ++k) // full-width digits
        charset.SetClass(k, 29);
    const struct {
        const char* ch;
        uint8_t cls;
    } classes[] = {
        {"\"", 1}, {",", 1}, {"(", 1}, {STOP, 2}, {"!", 2}, {"'", 3}, {":", 3},
        {DASH, 4}, {"-", 4}, {ROMAN1, 5}, {CIRCLED1, 6}, {YI, 9}, {ER, 9}, {SAN, 9},
        {WU, 9}, {SHI2, 10}, {WAN, 11}, {YU, 12}, {JI, 13}, {BAN, 15}, {RI, 16},
        {DI, 17}, {YUE, 18}, {DIAN, 18}, {ZHONG1, 19}, {YUE4, 20}, {SHI, 21},
        {NIAN, 23}, {DAI, 24}, {HAO, 25}, {QIAN, 26}, {HOU, 27}, {"\n", 28}, {"\r", 28},
    };
    for (const auto& c : classes)
        charset.SetClass(Key(c.ch), c.cls);
}

const std::vector<std::string>& CoreWords()
{
    static const std::vector<std::string> words = [] {
        std::vector<std::string> list(SpecialWords::kWords, SpecialWords::kWords + SpecialWords::kCount);
        for (const char* w : {NIAN, YUE, ZHONG, ZHONG GUO, ZHONG GUO REN, REN, REN MIN, GUO,
                              ZHONG GUO STOP, ZHONG GUO STOP REN, ZHONG HUA REN MIN, COMMA,
                              SAN YUE, DI YI, SAN WU ZHONG, "12" ZHONG, "," ZHONG, SAN,
                              "5" YUE ZHONG, "3M" ZHONG})
            list.push_back(w);
        return list;
    }();
    return words;
}

const std::vector<std::string>& UserWords()
{
    static const std::vector<std::string> words = {ZHONG HUA, "ab", STOP ZHONG, "2006" NIAN};
    return words;
}

std::string Joined(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& w : words)
        text += w + "\n";
    return text;
}

class CPreProcessTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new TempDir;
        charset = new CCharset;
        FillClasses(*charset);
        core = new CPDAT;
        WriteFile(*dir / "core.txt", Joined(CoreWords()));
        core->BuildFromWordList((*dir / "core.txt").c_str());
        user = new CPDAT;
        WriteFile(*dir / "user.txt", Joined(UserWords()));
        user->BuildFromWordList((*dir / "user.txt").c_str(), core);
    }
    static void TearDownTestSuite()
    {
        delete user;
        delete core;
        delete charset;
        delete dir;
    }

    // Word id of a core word by its place in the list; -1 if not listed.
    static int Id(const std::string& word)
    {
        const auto& list = CoreWords();
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i] == word)
                return static_cast<int>(i);
        return -1;
    }
    static int UserId(const std::string& word)
    {
        const auto& list = UserWords();
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i] == word)
                return static_cast<int>(CoreWords().size() + i);
        return -1;
    }

    static TempDir* dir;
    static CCharset* charset;
    static CPDAT* core;
    static CPDAT* user;

    const int number = Id(SpecialWords::kWords[7]);
    const int time = Id(SpecialWords::kWords[6]);
    const int string = Id(SpecialWords::kWords[2]);
    const int sentenceEnd = Id(SpecialWords::kWords[1]);
};

TempDir* CPreProcessTest::dir = nullptr;
CCharset* CPreProcessTest::charset = nullptr;
CPDAT* CPreProcessTest::core = nullptr;
CPDAT* CPreProcessTest::user = nullptr;

struct Atom {
    std::string text;
    int wordId;
    int kind;
};

std::string Describe(const std::vector<Atom>& atoms)
{
    std::string out;
    for (const Atom& a : atoms)
        out += "[" + a.text + " " + std::to_string(a.wordId) + " " + std::to_string(a.kind) + "]";
    return out;
}

// The atoms between the markers, checking the markers and the coverage on the way.
std::vector<Atom> AtomsOf(const CPreProcess& pre, const char* text, int sentenceLength)
{
    const std::vector<TokenRecord>& atoms = pre.GetAtoms();
    const int count = pre.GetAtomCount();
    std::vector<Atom> out;
    EXPECT_GE(count, 2);
    EXPECT_EQ(static_cast<int>(atoms.size()), count);
    if (count < 2)
        return out;
    EXPECT_EQ(atoms[0].kind, kKindSentenceBegin);
    EXPECT_EQ(atoms[0].start, 0);
    EXPECT_EQ(atoms[0].end, 0);
    EXPECT_EQ(atoms[count - 1].kind, kKindSentenceEnd);
    EXPECT_EQ(atoms[count - 1].start, sentenceLength);
    EXPECT_EQ(atoms[count - 1].end, sentenceLength);
    int expectedStart = 0;
    for (int i = 1; i + 1 < count; ++i) {
        const TokenRecord& a = atoms[i];
        EXPECT_EQ(a.start, expectedStart) << "atom " << i;
        EXPECT_GT(a.end, a.start) << "atom " << i;
        expectedStart = a.end;
        out.push_back({std::string(text + a.start, text + a.end), a.wordId, a.kind});
    }
    EXPECT_EQ(expectedStart, sentenceLength);
    return out;
}

struct AtomCase {
    const char* text;
    std::vector<Atom> atoms;
};

void ExpectSentences(CPreProcess& pre, const std::vector<AtomCase>& cases)
{
    for (const AtomCase& c : cases) {
        const char* next = pre.SplitAtoms(c.text);
        const int length = static_cast<int>(next - c.text);
        EXPECT_EQ(length, static_cast<int>(std::strlen(c.text))) << c.text << ": not one sentence";
        const std::vector<Atom> got = AtomsOf(pre, c.text, length);
        EXPECT_EQ(Describe(got), Describe(c.atoms)) << "text " << c.text;
    }
}

TEST_F(CPreProcessTest, NumbersTakeInDateAndTimeUnits)
{
    CPreProcess pre(charset, core, nullptr);
    const int nian = Id(NIAN), yue = Id(YUE);
    ExpectSentences(pre, {
        {"2006" NIAN "5" YUE, {{"2006" NIAN, time, 7}, {"5" YUE, time, 7}}},
        {"45" NIAN, {{"45", number, 7}, {NIAN, nian, 23}}},           // 45 is no year
        {"98" NIAN, {{"98" NIAN, time, 7}}},
        {"2006" NIAN DAI, {{"2006", number, 7}, {NIAN, nian, 23}, {DAI, -1, 24}}},
        {"5" YUE FEN, {{"5" YUE FEN, time, 7}}},                      // 月份 as a whole
        {"5" YUE QIAN, {{"5", number, 7}, {YUE, yue, 18}, {QIAN, -1, 26}}},
        {"5" YUE HOU, {{"5", number, 7}, {YUE, yue, 18}, {HOU, -1, 27}}},
        {"5" HAO QIAN, {{"5", number, 7}, {HAO, -1, 25}, {QIAN, -1, 26}}},
        {"5" HAO HOU, {{"5" HAO, time, 7}, {HOU, -1, 27}}},           // 27 blocks 18 only
        {"12" SHI, {{"12" SHI, time, 7}}},
        {"5" RI, {{"5" RI, time, 7}}},
        {"123" YUE, {{"123", number, 7}, {YUE, yue, 18}}},            // not a short number
        {CIRCLED1 YUE, {{CIRCLED1, number, 6}, {YUE, yue, 18}}},
        {SAN YUE, {{SAN YUE, Id(SAN YUE), 9}}},                       // a time that is a word
    });
}

TEST_F(CPreProcessTest, NumberAfterPrefixIsMergedIntoIt)
{
    CPreProcess pre(charset, core, nullptr);
    ExpectSentences(pre, {
        {DI "3", {{DI "3", number, 17}}},
        {YUE4 "5", {{YUE4 "5", number, 20}}},
        {DI YI, {{DI YI, Id(DI YI), 17}}},                 // merged text looked up whole
        {DI "3" YUE, {{DI "3", number, 17}, {YUE, Id(YUE), 18}}}, // no unit after a merge
        {DI, {{DI, -1, 17}}},
        {DI ZHONG "3", {{DI, -1, 17}, {ZHONG, Id(ZHONG), 0}, {"3", number, 7}}},
        {"3" DI, {{"3", number, 7}, {DI, -1, 17}}},
    });
}

TEST_F(CPreProcessTest, DigitAndLetterRuns)
{
    CPreProcess pre(charset, core, nullptr);
    ExpectSentences(pre, {
        {"3M", {{"3M", string, 8}}},
        {"12" FW3 FW4, {{"12", number, 7}, {FW3 FW4, number, 29}}},
        {FW3 FW4 "12", {{FW3 FW4, number, 29}, {"12", number, 7}}},
        {ROMAN1 "12" FW3, {{ROMAN1 "12" FW3, number, 5}}},          // class 5 mixes with both
        {"1:2-3", {{"1:2-3", number, 7}}},
        {"12" WAN, {{"12" WAN, number, 7}}},
        {"3M" WAN, {{"3M", string, 8}, {WAN, number, 9}}},          // not pure: 万 stays out
        {"12" WAN YU, {{"12", number, 7}, {WAN, -1, 11}, {YU, -1, 12}}},
        {"ab3:c-d", {{"ab3:c-d", string, 8}}},
        {"ab" ZHONG, {{"ab", string, 8}, {ZHONG, Id(ZHONG), 0}}},
    });
}

TEST_F(CPreProcessTest, NumeralRuns)
{
    CPreProcess pre(charset, core, nullptr);
    ExpectSentences(pre, {
        {YI, {{YI, Id(YI), 9}}},
        {SAN WU, {{SAN WU, number, 9}}},
        {SAN WAN YU, {{SAN, Id(SAN), 9}, {WAN, -1, 11}, {YU, -1, 12}}},
        {WAN YU, {{WAN, -1, 11}, {YU, -1, 12}}},
        {SAN DIAN ZHONG1, {{SAN DIAN ZHONG1, number, 9}}},          // 18 with its 19
        {SAN RI ER, {{SAN RI ER, number, 9}}},
        {SAN RI, {{SAN RI, time, 9}}},          // trailing 16 given back, then taken as a unit
        {SAN ":" WU, {{SAN ":" WU, time, 9}}},
        {SAN WU DASH, {{SAN WU DASH, time, 9}}},
        // 点 without 钟 before 半 gives back itself and the character ahead of it;
        // the run never gives back its first character.
        {WU SHI2 DIAN BAN, {{WU, number, 9}, {SHI2 DIAN, time, 9}, {BAN, -1, 15}}},
        {SAN DIAN BAN, {{SAN DIAN, time, 9}, {BAN, -1, 15}}},
        {JI SHI2, {{JI SHI2, number, 13}}},
        {JI, {{JI, -1, 13}}},
        {JI JI, {{JI, -1, 13}, {JI, -1, 13}}},
        {JI SHI2 JI, {{JI, -1, 13}, {SHI2, number, 9}, {JI, -1, 13}}},
    });
}

TEST_F(CPreProcessTest, PunctuationDashesAndUnclassified)
{
    CPreProcess pre(charset, core, nullptr);
    ExpectSentences(pre, {
        {",", {{",", Id(COMMA), 1}}},                 // looked up in full-width form
        {"(", {{"(", -1, 1}}},
        {DASH DASH ZHONG, {{DASH DASH, Id(SpecialWords::kWords[13]), 4}, {ZHONG, Id(ZHONG), 0}}},
        {"-" DASH, {{"-" DASH, Id(SpecialWords::kWords[13]), 4}}},
        {MIN, {{MIN, -1, 0}}},
        {ZHONG "\xB0", {{ZHONG, Id(ZHONG), 0}, {"\xB0", -1, 255}}}, // lone lead byte at the end
        {"\xB0", {{"\xB0", -1, 255}}},
    });
}

TEST_F(CPreProcessTest, QuotesPairWithinASentenceAndStartOverInTheNext)
{
    CPreProcess pre(charset, core, nullptr);
    const int ldq = Id(SpecialWords::kWords[9]), rdq = Id(SpecialWords::kWords[10]);
    const int lsq = Id(SpecialWords::kWords[11]), rsq = Id(SpecialWords::kWords[12]);
    const char* text = "\"" ZHONG "\"\"" ZHONG STOP "\"" ZHONG STOP;
    const char* next = pre.SplitAtoms(text);
    ASSERT_EQ(next - text, 9);
    EXPECT_EQ(Describe(AtomsOf(pre, text, 9)),
              Describe({{"\"", ldq, 1}, {ZHONG, Id(ZHONG), 0}, {"\"", rdq, 1}, {"\"", ldq, 1},
                        {ZHONG, Id(ZHONG), 0}, {STOP, -1, 2}}));
    const char* after = pre.SplitAtoms(next);
    ASSERT_EQ(after - next, 5);
    EXPECT_EQ(Describe(AtomsOf(pre, next, 5)),
              Describe({{"\"", ldq, 1}, {ZHONG, Id(ZHONG), 0}, {STOP, -1, 2}}));

    ExpectSentences(pre, {{"'" ZHONG "'" ZHONG "'", {{"'", lsq, 3}, {ZHONG, Id(ZHONG), 0},
                                                   {"'", rsq, 3}, {ZHONG, Id(ZHONG), 0},
                                                   {"'", lsq, 3}}}});
}

TEST_F(CPreProcessTest, SentencesEndAfterClass2AndLineBreaks)
{
    CPreProcess pre(charset, core, nullptr);
    struct Case {
        const char* text;
        int length; // of the first sentence
        std::vector<Atom> atoms;
    };
    const Case cases[] = {
        {ZHONG STOP GUO, 4, {{ZHONG, Id(ZHONG), 0}, {STOP, -1, 2}}},
        {ZHONG "!!", 3, {{ZHONG, Id(ZHONG), 0}, {"!", -1, 2}}},
        {ZHONG "\n" GUO, 3, {{ZHONG, Id(ZHONG), 0}, {"\n", sentenceEnd, 28}}},
        {"\r\n", 1, {{"\r", sentenceEnd, 28}}},
        {"12\n", 3, {{"12", number, 7}, {"\n", sentenceEnd, 28}}},
        {ZHONG GUO, 4, {{ZHONG, Id(ZHONG), 0}, {GUO, Id(GUO), 0}}},
        {"", 0, {}},
    };
    for (const Case& c : cases) {
        const char* next = pre.SplitAtoms(c.text);
        EXPECT_EQ(next - c.text, c.length) << c.text;
        EXPECT_EQ(Describe(AtomsOf(pre, c.text, c.length)), Describe(c.atoms)) << c.text;
    }
}

TEST_F(CPreProcessTest, UserWordsOverrideClassRules)
{
    CPreProcess pre(charset, core, user);
    ExpectSentences(pre, {
        {ZHONG HUA REN MIN, {{ZHONG HUA, UserId(ZHONG HUA), 101}, {REN, Id(REN), 0}, {MIN, -1, 0}}},
        {"abc", {{"ab", UserId("ab"), 101}, {"c", string, 8}}},
        {"2006" NIAN "5" YUE, {{"2006" NIAN, UserId("2006" NIAN), 101}, {"5" YUE, time, 7}}},
        // A user word may hold a sentence-ending mark; it does not end the sentence.
        {GUO STOP ZHONG HUA, {{GUO, Id(GUO), 0}, {STOP ZHONG, UserId(STOP ZHONG), 101}, {HUA, -1, 0}}},
    });

    EXPECT_TRUE(pre.SetUserDict(nullptr));
    ExpectSentences(pre, {{"abc", {{"abc", string, 8}}}});
    const char* text = GUO STOP ZHONG;
    EXPECT_EQ(pre.SplitAtoms(text) - text, 4);

    EXPECT_TRUE(pre.SetUserDict(user));
    ExpectSentences(pre, {{"abc", {{"ab", UserId("ab"), 101}, {"c", string, 8}}}});
}

// The two-byte steps must also hold for a table that puts one-byte characters
// into the unit and stop classes: every atom stays on character boundaries.
TEST_F(CPreProcessTest, OneByteCharactersInTwoByteClassesStayInBounds)
{
    CCharset odd;
    FillClasses(odd);
    const struct {
        char ch;
        uint8_t cls;
    } extra[] = {{'#', 11}, {'~', 12}, {'^', 18}, {'&', 15}, {'`', 16}, {'|', 19},
                 {'@', 23}, {'*', 21}, {'$', 25}};
    for (const auto& e : extra)
        odd.SetClass(e.ch, e.cls);
    CPreProcess pre(&odd, core, nullptr);
    ExpectSentences(pre, {
        {"1#~", {{"1", number, 7}, {"#", -1, 11}, {"~", -1, 12}}},
        {SAN "#~", {{SAN, Id(SAN), 9}, {"#", -1, 11}, {"~", -1, 12}}},
        {"#~", {{"#", -1, 11}, {"~", -1, 12}}},
        {"5^", {{"5^", time, 7}}},
        {"5*", {{"5*", time, 7}}},
        {"5$", {{"5$", time, 7}}},
        {"2006@", {{"2006@", time, 7}}},
        {SAN "^", {{SAN "^", time, 9}}},
        {SAN "^|", {{SAN "^|", number, 9}}},
        {SAN "^&", {{SAN "^", time, 9}, {"&", -1, 15}}},
        {SAN WU "^&", {{SAN, Id(SAN), 9}, {WU "^", time, 9}, {"&", -1, 15}}},
        {SAN "`", {{SAN "`", time, 9}}},
        {"#", {{"#", number, 9}}},
    });
}

// Lattice checks ------------------------------------------------------------

struct Candidate {
    std::string text;
    int wordId;
    int kind;
};

std::string DescribeSlot(const TokenRecord* slot, int size, const char* text)
{
    std::string out;
    for (int i = 0; i < size; ++i)
        out += "[" + std::string(text + slot[i].start, text + slot[i].end) + " " +
               std::to_string(slot[i].wordId) + " " + std::to_string(slot[i].kind) + "]";
    return out;
}

std::string DescribeCandidates(const std::vector<Candidate>& list)
{
    std::string out;
    for (const Candidate& c : list)
        out += "[" + c.text + " " + std::to_string(c.wordId) + " " + std::to_string(c.kind) + "]";
    return out;
}

// Structural checks every lattice must pass: markers in the first and last slots,
// a slot exactly where an atom starts, the atom first, longer words after it in
// increasing length, all within the sentence, fresh fields on the words.
void CheckLatticeShape(CPreProcess& pre)
{
    const std::vector<TokenRecord>& atoms = pre.GetAtoms();
    const int count = pre.GetAtomCount();
    const int length = atoms[count - 1].start;
    ASSERT_EQ(pre.GetSlotCount(), length + 2);
    TokenRecord* const* lattice = pre.GetLattice();
    const int32_t* sizes = pre.GetSlotSizes();
    ASSERT_EQ(sizes[0], 1);
    EXPECT_EQ(lattice[0][0].kind, kKindSentenceBegin);
    ASSERT_EQ(sizes[length + 1], 1);
    EXPECT_EQ(lattice[length + 1][0].kind, kKindSentenceEnd);
    std::vector<bool> atomStart(static_cast<size_t>(length + 1), false);
    for (int i = 1; i + 1 < count; ++i)
        atomStart[static_cast<size_t>(atoms[i].start)] = true;
    int atomIndex = 1;
    for (int s = 0; s < length; ++s) {
        const int size = sizes[s + 1];
        if (!atomStart[static_cast<size_t>(s)]) {
            EXPECT_EQ(size, 0) << "slot " << s + 1;
            EXPECT_EQ(lattice[s + 1], nullptr) << "slot " << s + 1;
            continue;
        }
        ASSERT_GE(size, 1) << "slot " << s + 1;
        const TokenRecord* slot = lattice[s + 1];
        const TokenRecord& atom = atoms[atomIndex++];
        EXPECT_EQ(slot[0].start, atom.start);
        EXPECT_EQ(slot[0].end, atom.end);
        EXPECT_EQ(slot[0].wordId, atom.wordId);
        EXPECT_EQ(slot[0].kind, atom.kind);
        for (int j = 1; j < size; ++j) {
            EXPECT_EQ(slot[j].start, s);
            EXPECT_GT(slot[j].end, slot[j - 1].end);
            EXPECT_LE(slot[j].end, length);
            EXPECT_EQ(slot[j].kind, atom.kind);
            EXPECT_EQ(slot[j].tag, 255);
            EXPECT_EQ(slot[j].frequency, 0.0);
        }
    }
}

TEST_F(CPreProcessTest, LatticeHoldsAtomThenLongerWordsShortestFirst)
{
    CPreProcess pre(charset, core, nullptr);
    const char* text = ZHONG GUO REN MIN;
    EXPECT_EQ(pre.BuildLattice(text), text + 8);
    CheckLatticeShape(pre);
    ASSERT_EQ(pre.GetSlotCount(), 10);
    TokenRecord* const* lattice = pre.GetLattice();
    const int32_t* sizes = pre.GetSlotSizes();
    const std::vector<int32_t> expectedSizes = {1, 3, 0, 1, 0, 2, 0, 1, 0, 1};
    EXPECT_EQ(std::vector<int32_t>(sizes, sizes + 10), expectedSizes);
    EXPECT_EQ(DescribeSlot(lattice[1], sizes[1], text),
              DescribeCandidates({{ZHONG, Id(ZHONG), 0},
                                  {ZHONG GUO, Id(ZHONG GUO), 0},
                                  {ZHONG GUO REN, Id(ZHONG GUO REN), 0}}));
    EXPECT_EQ(DescribeSlot(lattice[5], sizes[5], text),
              DescribeCandidates({{REN, Id(REN), 0}, {REN MIN, Id(REN MIN), 0}}));
    EXPECT_EQ(lattice[7][0].wordId, -1);
    EXPECT_EQ(lattice[9][0].start, 8);
}

// Added candidates go after those of their slot, in their own order; one that
// does not begin and end where atoms do, repeats a span of its slot, runs past
// the sentence or comes behind its slot in the list is left out. The slots
// around stay as they were, and the pointers follow the moved candidates.
TEST_F(CPreProcessTest, AddedCandidatesJoinTheirSlotsAndTheRestAreLeftOut)
{
    const char* text = ZHONG GUO REN MIN;
    const auto extraWord = [](int start, int end) {
        TokenRecord t;
        t.start = start;
        t.end = end;
        t.wordId = 77;
        t.kind = 0;
        return t;
    };
    const auto slots = [&](CPreProcess& pre) {
        std::vector<std::string> out;
        for (int s = 1; s + 1 < pre.GetSlotCount(); ++s)
            out.push_back(DescribeSlot(pre.GetLattice()[s], pre.GetSlotSizes()[s], text));
        return out;
    };
    CPreProcess plain(charset, core, nullptr);
    plain.BuildLattice(text);
    const std::vector<std::string> before = slots(plain);
    const std::string added = " 77 0]";
    const struct {
        const char* what;
        std::vector<TokenRecord> extra;
        std::vector<std::pair<int, std::string>> gained; // slot - 1, what it gains
    } cases[] = {
        {"two words, one slot", {extraWord(0, 8), extraWord(0, 2)}, {{0, "[" ZHONG GUO REN MIN + added}}},
        {"in several slots", {extraWord(0, 8), extraWord(2, 8), extraWord(6, 8)},
         {{0, "[" ZHONG GUO REN MIN + added}, {2, "[" GUO REN MIN + added}}},
        {"two in a slot keep their order", {extraWord(2, 8), extraWord(2, 6)},
         {{2, "[" GUO REN MIN + added + "[" GUO REN + added}}},
        {"the same span twice", {extraWord(2, 6), extraWord(2, 6)}, {{2, "[" GUO REN + added}}},
        {"not at an atom's start or end", {extraWord(1, 4), extraWord(2, 5), extraWord(4, 7)}, {}},
        {"past the sentence", {extraWord(4, 10), extraWord(6, 12)}, {}},
        {"empty or reversed", {extraWord(2, 2), extraWord(4, 2)}, {}},
        {"behind its slot", {extraWord(2, 8), extraWord(0, 8)}, {{2, "[" GUO REN MIN + added}}},
        {"a span the lattice has", {extraWord(6, 8), extraWord(4, 8)}, {}},
    };
    for (const auto& c : cases) {
        CPreProcess pre(charset, core, nullptr);
        pre.BuildLattice(text);
        std::vector<std::string> expected = before;
        for (const auto& g : c.gained)
            expected[static_cast<size_t>(g.first)] += g.second;
        pre.AddCandidates(c.extra);
        EXPECT_EQ(slots(pre), expected) << c.what;
        // The markers stay where they were, and the total is the sum of the slots.
        ASSERT_EQ(pre.GetSlotCount(), 10) << c.what;
        EXPECT_EQ(pre.GetLattice()[0][0].kind, kKindSentenceBegin) << c.what;
        EXPECT_EQ(pre.GetLattice()[9][0].kind, kKindSentenceEnd) << c.what;
        size_t total = 0;
        for (int s = 0; s < pre.GetSlotCount(); ++s)
            total += static_cast<size_t>(pre.GetSlotSizes()[s]);
        EXPECT_EQ(total, pre.GetCandidates().size()) << c.what;
    }
}

TEST_F(CPreProcessTest, LatticeLeavesOutWordsBeyondTheSentence)
{
    CPreProcess pre(charset, core, nullptr);
    const char* text = ZHONG GUO STOP REN MIN;
    const char* next = pre.BuildLattice(text);
    ASSERT_EQ(next, text + 6);
    CheckLatticeShape(pre);
    // 中国。 ends with the sentence and stays; 中国。人 runs past it.
    EXPECT_EQ(DescribeSlot(pre.GetLattice()[1], pre.GetSlotSizes()[1], text),
              DescribeCandidates({{ZHONG, Id(ZHONG), 0},
                                  {ZHONG GUO, Id(ZHONG GUO), 0},
                                  {ZHONG GUO STOP, Id(ZHONG GUO STOP), 0}}));
    // The next sentence starts afresh at its own offset 0.
    EXPECT_EQ(pre.BuildLattice(next), next + 4);
    CheckLatticeShape(pre);
    EXPECT_EQ(pre.GetSlotCount(), 6);
    EXPECT_EQ(DescribeSlot(pre.GetLattice()[1], pre.GetSlotSizes()[1], next),
              DescribeCandidates({{REN, Id(REN), 0}, {REN MIN, Id(REN MIN), 0}}));
}

TEST_F(CPreProcessTest, WhichAtomsAreExpanded)
{
    CPreProcess withUser(charset, core, user);
    CPreProcess plain(charset, core, nullptr);
    struct Case {
        CPreProcess* pre;
        const char* text;
        std::vector<Candidate> firstSlot;
    };
    const Case cases[] = {
        // A pure numeral run (kind 9) is expanded ...
        {&plain, SAN WU ZHONG, {{SAN WU, number, 9}, {SAN WU ZHONG, Id(SAN WU ZHONG), 9}}},
        // ... a digit-run number, a time, a letter string and punctuation are not.
        {&plain, "12" ZHONG, {{"12", number, 7}}},
        {&plain, "5" YUE ZHONG, {{"5" YUE, time, 7}}},
        {&plain, "3M" ZHONG, {{"3M", string, 8}}},
        {&plain, "," ZHONG, {{",", Id(COMMA), 1}}},
        // A user word competes with longer core words.
        {&withUser, ZHONG HUA REN MIN,
         {{ZHONG HUA, UserId(ZHONG HUA), 101}, {ZHONG HUA REN MIN, Id(ZHONG HUA REN MIN), 101}}},
        {&plain, ZHONG HUA REN MIN, {{ZHONG, Id(ZHONG), 0}, {ZHONG HUA REN MIN, Id(ZHONG HUA REN MIN), 0}}},
    };
    for (const Case& c : cases) {
        c.pre->BuildLattice(c.text);
        CheckLatticeShape(*c.pre);
        EXPECT_EQ(DescribeSlot(c.pre->GetLattice()[1], c.pre->GetSlotSizes()[1], c.text),
                  DescribeCandidates(c.firstSlot))
            << c.text;
    }
}

TEST_F(CPreProcessTest, EmptyTextGetsTheMarkerLattice)
{
    CPreProcess pre(charset, core, nullptr);
    pre.BuildLattice(ZHONG GUO REN MIN);
    const char* empty = "";
    EXPECT_EQ(pre.BuildLattice(empty), empty);
    EXPECT_EQ(pre.GetAtomCount(), 2);
    ASSERT_EQ(pre.GetSlotCount(), 2);
    EXPECT_EQ(pre.GetSlotSizes()[0], 1);
    EXPECT_EQ(pre.GetSlotSizes()[1], 1);
    EXPECT_EQ(pre.GetLattice()[1][0].kind, kKindSentenceEnd);
}

TEST_F(CPreProcessTest, SpecialWordsAreLookedUpAtConstruction)
{
    CPreProcess pre(charset, core, nullptr);
    const SpecialWords& ids = pre.GetSpecialWords();
    for (int i = 0; i < SpecialWords::kCount; ++i)
        EXPECT_EQ(ids.At(i), i) << SpecialWords::kWords[i];
    pre.SplitAtoms(ZHONG);
    EXPECT_EQ(pre.GetAtoms()[0].wordId, Id(SpecialWords::kWords[0]));
    EXPECT_EQ(pre.GetAtoms()[2].wordId, Id(SpecialWords::kWords[1]));
}

// A text of up to maxPieces random pieces, with a lone lead byte at its very
// end when asked.
template <size_t N>
std::string RandomText(std::mt19937& random, const char* const (&pieces)[N], int maxPieces, bool loneLeadByte)
{
    std::uniform_int_distribution<size_t> pick(0, N - 1);
    std::string text;
    const int n = std::uniform_int_distribution<int>(0, maxPieces)(random);
    for (int i = 0; i < n; ++i)
        text += pieces[pick(random)];
    if (loneLeadByte)
        text += "\xB9";
    return text;
}

// Whole texts of random pieces, run sentence by sentence: every sentence is
// covered by its atoms, the scan always advances, and the lattice keeps its shape.
TEST_F(CPreProcessTest, RandomTextsKeepTheInvariants)
{
    CCharset odd;
    FillClasses(odd);
    odd.SetClass('#', 11);
    odd.SetClass('~', 12);
    odd.SetClass('^', 18);
    odd.SetClass('&', 15);
    odd.SetClass('|', 19);
    const char* pieces[] = {ZHONG, GUO, REN, MIN, HUA, NIAN, YUE, FEN, DAI, QIAN, HOU, HAO, SHI,
                            RI, DI, YUE4, JI, DIAN, ZHONG1, BAN, YU, WAN, SHI2, YI, ER, SAN, WU,
                            CIRCLED1, ROMAN1, DASH, STOP, COMMA, FW3, FW4, "0", "5", "9", "a",
                            "M", "\"", "'", ",", ":", "-", "!", "\n", "\r", "(", "#", "~", "^",
                            "&", "|", "\x81\x40"};
    std::mt19937 random(20061);
    for (int round = 0; round < 300; ++round) {
        const std::string text = RandomText(random, pieces, 40, round % 3 == 0);
        CPreProcess pre(round % 2 ? &odd : charset, core, round % 4 == 1 ? user : nullptr);
        const char* p = text.c_str();
        const char* end = p + text.size();
        int sentences = 0;
        while (*p != 0) {
            const char* next = pre.BuildLattice(p);
            ASSERT_GT(next, p) << text;
            ASSERT_LE(next, end) << text;
            AtomsOf(pre, p, static_cast<int>(next - p));
            CheckLatticeShape(pre);
            p = next;
            ASSERT_LT(++sentences, 1000);
        }
    }
}

} // namespace

namespace {

// The joining of minus signs and years done over every atom of a sentence, as
// the plain way: what SplitAtoms with the new stages must give, whichever
// atoms it skips.
bool PlainYearDigits(const CCharset& charset, const char* text, const TokenRecord& atom)
{
    const auto isDigit = [](int c) { return c == kClassDigit || c == kClassAsciiDigit || c == kClassWideDigit; };
    for (int p = atom.start; p < atom.end;) {
        int key;
        const int length = NextCharKey(text + p, &key);
        if (length == 0)
            return false;
        const bool numeral = length == 2 && IsCharInSet(charsets::yearDigits, text + p);
        if (!isDigit(charset.GetClass(key)) && !numeral)
            return false;
        p += length;
    }
    return atom.end > atom.start;
}

std::vector<TokenRecord> PlainJoin(const CCharset& charset, const SpecialWords& ids, const char* text,
                                   std::vector<TokenRecord> a)
{
    const auto isDigit = [](int c) { return c == kClassDigit || c == kClassAsciiDigit || c == kClassWideDigit; };
    const auto isNumber = [&](int32_t id) { return ids.unknownNumber >= 0 && id == ids.unknownNumber; };
    const TokenRecord endMarker = a.back();
    a.pop_back();
    size_t out = 1;
    for (size_t i = 1; i < a.size(); ++i) {
        TokenRecord atom = a[i];
        const std::string s(text + atom.start, text + atom.end);
        const bool minus = s == "-" || s == "\xA3\xAD";
        const bool afterNumber = out > 1 && (isNumber(a[out - 1].wordId) || isDigit(a[out - 1].kind));
        if (minus && !afterNumber && i + 1 < a.size() && isNumber(a[i + 1].wordId) && isDigit(a[i + 1].kind)) {
            atom.end = a[i + 1].end;
            atom.wordId = ids.unknownNumber;
            atom.kind = a[i + 1].kind;
            ++i;
        } else if (PlainYearDigits(charset, text, atom)) {
            size_t j = i;
            while (j + 1 < a.size() && PlainYearDigits(charset, text, a[j + 1]))
                ++j;
            int key = -1;
            if (j + 1 < a.size() && a[j + 1].end - a[j + 1].start == 2)
                NextCharKey(text + a[j + 1].start, &key);
            if (j > i && charset.GetClass(key) == kClassYear) {
                atom.end = a[j + 1].end;
                atom.wordId = ids.unknownTime;
                i = j + 1;
            }
        }
        a[out++] = atom;
    }
    a.resize(out);
    a.push_back(endMarker);
    return a;
}

std::string DescribeRecords(const std::vector<TokenRecord>& atoms, const char* text)
{
    std::string out;
    for (const TokenRecord& a : atoms)
        out += "[" + std::string(text + a.start, text + a.end) + " " + std::to_string(a.wordId) + " " +
               std::to_string(a.kind) + " " + std::to_string(a.flags) + "]";
    return out;
}

} // namespace

// Random texts thick with digits, year numerals, minus signs, year units, user
// words made of digits, odd bytes and half characters: the atoms with numbers
// joined are those of the plain join over the atoms without it.
TEST_F(CPreProcessTest, JoinedNumbersMatchThePlainJoinOverRandomTexts)
{
    const char* pieces[] = {ZHONG, GUO, REN, NIAN, YUE, FEN, SHI2, YI, ER, SAN, WU, WAN, DI,
                            FW3, FW4, "\xA3\xAD" /* － */, "\xA9\x96" /* 〇 */, "\xA1\xF0" /* ○ */,
                            "\xC1\xE3" /* 零 */, "0", "5", "9", "2006", "a", "-", "-", ",", ":",
                            "\n", STOP, COMMA, "\x81\x40", "\xFF", "\xA3", " "};
    std::mt19937 random(2406);
    int joined = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::string text = RandomText(random, pieces, 30, round % 5 == 0);
        const CPDAT* userDict = round % 3 == 1 ? user : nullptr;
        CPreProcess plain(charset, core, userDict);
        CPreProcess fast(charset, core, userDict);
        fast.SetJoinNumbers(true);
        const char* p = text.c_str();
        while (*p != 0) {
            const char* next = plain.SplitAtoms(p);
            ASSERT_EQ(fast.SplitAtoms(p), next) << text;
            const std::vector<TokenRecord> want = PlainJoin(*charset, plain.GetSpecialWords(), p, plain.GetAtoms());
            joined += want.size() != plain.GetAtoms().size();
            ASSERT_EQ(DescribeRecords(fast.GetAtoms(), p), DescribeRecords(want, p)) << text;
            p = next;
        }
    }
    EXPECT_GT(joined, 100); // the texts do exercise the joins
}

namespace {

// The slots as Segment reads them: slot after slot, each non-empty one right
// after the one before in the candidate array, the empty ones null.
void CheckLinkedInSlotOrder(CPreProcess& pre, const std::string& what)
{
    const TokenRecord* base = pre.GetCandidates().data();
    size_t offset = 0;
    for (int s = 0; s < pre.GetSlotCount(); ++s) {
        const int size = pre.GetSlotSizes()[s];
        if (size == 0) {
            ASSERT_EQ(pre.GetLattice()[s], nullptr) << what << " slot " << s;
            continue;
        }
        ASSERT_EQ(pre.GetLattice()[s], base + offset) << what << " slot " << s;
        offset += static_cast<size_t>(size);
    }
    ASSERT_EQ(offset, pre.GetCandidates().size()) << what;
}

using Slots = std::vector<std::vector<TokenRecord>>;

Slots SlotsOf(CPreProcess& pre)
{
    Slots out(static_cast<size_t>(pre.GetSlotCount()));
    for (int s = 0; s < pre.GetSlotCount(); ++s)
        for (int k = 0; k < pre.GetSlotSizes()[s]; ++k)
            out[static_cast<size_t>(s)].push_back(pre.GetLattice()[s][k]);
    return out;
}

// AddCandidates the plain way, one extra after the other against lists per
// slot: an extra whose slot lies behind the furthest slot reached is passed
// over, one whose slot lies past the lattice ends the list.
void PlainAdd(Slots& slots, const std::vector<TokenRecord>& extra)
{
    const int slotCount = static_cast<int>(slots.size());
    const int length = slotCount - 2;
    std::vector<bool> filled(slots.size());
    for (size_t s = 0; s < slots.size(); ++s)
        filled[s] = !slots[s].empty();
    int reached = -1;
    for (const TokenRecord& c : extra) {
        const int t = std::max(c.start + 1, 0);
        if (t > reached) {
            if (t >= slotCount)
                break;
            reached = t;
        }
        if (c.start < 0 || c.start + 1 != reached || !filled[static_cast<size_t>(reached)] || c.end <= c.start ||
            c.end > length || (c.end < length && !filled[static_cast<size_t>(c.end + 1)]))
            continue;
        std::vector<TokenRecord>& slot = slots[static_cast<size_t>(reached)];
        bool repeated = false;
        for (const TokenRecord& w : slot)
            repeated = repeated || w.end == c.end;
        if (!repeated)
            slot.push_back(c);
    }
}

std::string DescribeSlots(const Slots& slots, const char* text)
{
    std::string out;
    for (size_t s = 0; s < slots.size(); ++s)
        if (!slots[s].empty())
            out += std::to_string(s) + ":" + DescribeRecords(slots[s], text) + "\n";
    return out;
}

} // namespace

// Random texts of characters, words, user words, web text, numbers, odd bytes
// and half characters, under every switch: each lattice is linked slot after
// slot, and candidates added to it (in order, out of order, bad spans, twice)
// land where the plain per-slot lists put them, the lattice still linked.
TEST_F(CPreProcessTest, AddedCandidatesMatchThePlainWayOverRandomLattices)
{
    const char* pieces[] = {ZHONG, GUO, REN, MIN, HUA, ZHONG GUO REN, NIAN, YUE, SAN, WU, SHI2, DI, YI,
                            FW3, STOP, COMMA, "ab", "2006", "-", "5", "M", ",", " ", "\n",
                            "http://ab.cd/e", "ab@cd.ef", "@ab", "#ab#", "...", "~~~",
                            "\xA1\xAD\xA1\xAD" /* …… */, "\xA5\xA2\xA5\xA4" /* katakana */,
                            "\x81\x40", "\xFF", "\xA3"};
    const CWebText rules(1, 2);
    std::mt19937 random(2424);
    std::uniform_int_distribution<size_t> pick(0, sizeof pieces / sizeof pieces[0] - 1);
    std::uniform_int_distribution<int> lengthOf(0, 30);
    std::uniform_int_distribution<int> extraCount(0, 10);
    int gained = 0;
    for (int round = 0; round < 1500; ++round) {
        std::string text;
        const int n = lengthOf(random);
        for (int i = 0; i < n; ++i)
            text += pieces[pick(random)];
        if (round % 5 == 0)
            text += "\xB9"; // a lone lead byte at the very end
        CPreProcess pre(charset, core, round % 3 == 1 ? user : nullptr);
        pre.SetWebText(round % 2 == 0 ? &rules : nullptr);
        pre.SetJoinNumbers(round % 4 < 2);
        const char* p = text.c_str();
        while (*p != 0) {
            const char* next = pre.BuildLattice(p);
            ASSERT_GT(next, p) << text;
            CheckLinkedInSlotOrder(pre, text);
            Slots want = SlotsOf(pre);
            const int length = pre.GetSlotCount() - 2;
            for (int pass = 0; pass < 2; ++pass) {
                std::vector<TokenRecord> extra;
                const int count = extraCount(random);
                std::uniform_int_distribution<int> startOf(-2, length + 1);
                for (int k = 0; k < count; ++k) {
                    TokenRecord c;
                    c.start = startOf(random);
                    c.end = c.start + std::uniform_int_distribution<int>(-1, 12)(random);
                    c.wordId = 1000 + pass * 100 + k;
                    c.flags = kFlagNewWord;
                    extra.push_back(c);
                }
                if (round % 7 != 0) // mostly in slot order, as the callers give them
                    std::stable_sort(extra.begin(), extra.end(),
                                     [](const TokenRecord& a, const TokenRecord& b) { return a.start < b.start; });
                PlainAdd(want, extra);
                const size_t before = pre.GetCandidates().size();
                pre.AddCandidates(extra);
                gained += pre.GetCandidates().size() > before;
                ASSERT_EQ(DescribeSlots(SlotsOf(pre), p), DescribeSlots(want, p)) << text << " pass " << pass;
                CheckLinkedInSlotOrder(pre, text);
            }
            p = next;
        }
    }
    EXPECT_GT(gained, 500); // the extras do land
}

// A SplitAtoms of its own leaves the last lattice without its atoms: adding
// to it then is refused, not done through the other sentence's atoms.
TEST_F(CPreProcessTest, AddingAfterAnotherSplitLeavesTheLatticeAlone)
{
    CPreProcess pre(charset, core, nullptr);
    const char* text = ZHONG GUO REN;
    pre.BuildLattice(text);
    const std::string before = DescribeSlots(SlotsOf(pre), text);
    pre.SplitAtoms(ZHONG GUO REN MIN ZHONG GUO REN MIN);
    TokenRecord word; // 国人, which the lattice lacks
    word.start = 2;
    word.end = 6;
    word.wordId = 77;
    pre.AddCandidates({word});
    EXPECT_EQ(DescribeSlots(SlotsOf(pre), text), before);
}
