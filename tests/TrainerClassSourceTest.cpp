#include "tools/trainer/CharClassSource.h"

#include <gtest/gtest.h>

#include <string>

#include "TestUtil.h"
#include "segment/CCharset.h"
#include "segment/CPreProcess.h"
#include "lexicon/CPDAT.h"
#include "segment/SpecialWords.h"

namespace {

int Key(const char* gbk)
{
    const unsigned char* b = reinterpret_cast<const unsigned char*>(gbk);
    return b[1] ? b[0] * 256 + b[1] : b[0];
}

TEST(TrainerClassSource, ParsesCharactersRangesAndKeys)
{
    CharClassSource src;
    ASSERT_TRUE(src.Parse("# comment\n"
                          "class 2  sentence ends\n"
                          "。 ！  # trailing comment\n"
                          "class 29 digits\n"
                          "０..９\n"
                          "class 28\n"
                          "0x0A 0x0D\n"))
        << (src.GetErrors().empty() ? "" : src.GetErrors()[0]);
    EXPECT_EQ(src.GetClass(Key("\xA1\xA3")), 2);  // 。
    EXPECT_EQ(src.GetClass(Key("\xA3\xA1")), 2);  // ！
    EXPECT_EQ(src.GetClass(Key("\xA3\xB0")), 29); // ０
    EXPECT_EQ(src.GetClass(Key("\xA3\xB9")), 29); // ９
    EXPECT_EQ(src.GetClass(0x0A), 28);
    EXPECT_EQ(src.GetClass(Key("\xA3\xBA")), 0); // ：, not listed
    EXPECT_EQ(src.GetClass(-1), -1);
}

TEST(TrainerClassSource, ReportsErrorsWithLineNumbers)
{
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"。\n", "line 1: characters before any class"},
        {"class 2\n。\nclass 3\n。\n", "line 4: 。 already listed on line 2"},
        {"class 300\n", "line 1: bad class number"},
        {"class 2\n中国\n", "line 2: not one character"},
        {"class 2\n９..０\n", "line 2: bad range"},
        {"class 2\n0x0100\n", "line 2: bad key"},
    };
    for (const auto& c : cases) {
        CharClassSource src;
        EXPECT_FALSE(src.Parse(c.text)) << c.text;
        ASSERT_FALSE(src.GetErrors().empty());
        EXPECT_EQ(src.GetErrors()[0].rfind(c.expected, 0), 0u) << src.GetErrors()[0];
    }
}

TEST(TrainerClassSource, ShippedTableCompilesToALoadableFile)
{
    CharClassSource src;
    ASSERT_TRUE(src.Load(std::string(MORV_SOURCE_DIR) + "/data/charclasses.txt"))
        << (src.GetErrors().empty() ? "" : src.GetErrors()[0]);
    TempDir dir;
    ASSERT_TRUE(src.WriteCharsetFile(dir / "charset.type"));
    EXPECT_EQ(ReadFile(dir / "charset.type").size(), 65540u);
    CCharset cs;
    ASSERT_TRUE(cs.Load((dir / "charset.type").c_str()));
    const struct {
        const char* ch;
        int cls;
    } expected[] = {
        {"\xA1\xA3", 2},  {"\xA3\xA1", 2},  {"\xA3\xBF", 2},  // 。！？
        {"\n", 28},       {"\r", 28},       {"\"", 1},       {"'", 1},
        {"0", 7},         {"\xA3\xB0", 29}, {"A", 8},        {"\xA3\xC1", 8}, // 0 ０ A Ａ
        {"\xD2\xBB", 9},  {"\xCA\xAE", 10}, {"\xCD\xF2", 11}, // 一 十 万
        {"\xC4\xEA", 23}, {"\xD4\xC2", 18}, {"\xC8\xD5", 21}, // 年 月 日
        {"\xB5\xDA", 17}, {"\xA3\xAE", 3},  {"\xA1\xA4", 3},  // 第 ． ·
        {"\xD6\xD0", 0},                                      // 中
    };
    for (const auto& e : expected)
        EXPECT_EQ(cs.GetClass(Key(e.ch)), e.cls) << e.ch;
}

// The shipped table must make the corpus's number and time tokens single atoms.
TEST(TrainerClassSource, ShippedTableCutsCorpusNumbersIntoOneAtom)
{
    CharClassSource src;
    ASSERT_TRUE(src.Load(std::string(MORV_SOURCE_DIR) + "/data/charclasses.txt"));
    CCharset cs;
    src.FillCharset(cs);
    // The pre-processor needs the special words (a word id of -1 would pass for
    // the number class word) and the single characters.
    TempDir dir;
    std::string list;
    for (const char* w : SpecialWords::kWords)
        list += std::string(w) + "\n";
    list += "\xC4\xEA\n\xD4\xC2\n\xC8\xD5\n\xB7\xD6\n\xD6\xD3\n\xB4\xFA\n"; // 年 月 日 分 钟 代
    WriteFile(dir / "words", list);
    CPDAT dict;
    ASSERT_GT(dict.BuildFromWordList((dir / "words").c_str()), 0);
    CPreProcess pre(&cs, &dict, nullptr);
    const char* oneAtom[] = {
        "\xA3\xB1\xA3\xB9\xA3\xB9\xA3\xB8\xC4\xEA",         // １９９８年
        "\xD2\xBB\xBE\xC5\xBE\xC5\xB0\xCB\xC4\xEA",         // 一九九八年
        "\xA3\xB1\xA3\xB2\xD4\xC2",                         // １２月
        "\xA3\xB3\xA3\xB1\xC8\xD5",                         // ３１日
        "\xA3\xB8\xA3\xAE\xA3\xB8\xA3\xA5",                 // ８．８％
        "\xA3\xB2\xA3\xB0\xCD\xF2",                         // ２０万
        "\xB0\xD9\xB7\xD6\xD6\xAE\xCE\xE5\xCA\xAE",         // 百分之五十
        "\xB5\xDA\xC8\xFD",                                 // 第三
        "\xA3\xB2\xA3\xB0\xCA\xB1",                         // ２０时
        "\xA3\xD7\xA3\xD4\xA3\xCF",                         // ＷＴＯ
        "\xA3\xB1\xA3\xB2\xD4\xC2\xB7\xDD",                 // １２月份
    };
    for (const char* text : oneAtom) {
        pre.SplitAtoms(text);
        EXPECT_EQ(pre.GetAtomCount(), 3) << text;
    }
    const char* twoAtoms[] = {
        "\xA3\xB9\xA3\xB0\xC4\xEA\xB4\xFA", // ９０年代: 年 before 代 is no year unit
        "\xCE\xE5\xB7\xD6\xD6\xD3",         // 五分钟: 五 + 分钟
    };
    for (const char* text : twoAtoms) {
        pre.SplitAtoms(text);
        EXPECT_GT(pre.GetAtomCount(), 3) << text;
    }
}

} // namespace
