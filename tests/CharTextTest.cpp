#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "segment/CharText.h"

namespace {

// "A1C0 B5DA" -> bytes A1 C0 B5 DA
std::string FromHex(const char* hex)
{
    std::string out;
    for (const char* p = hex; *p;) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        out.push_back(static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16)));
        p += 2;
    }
    return out;
}

TEST(CharTextTest, FixedSetsHaveTheirByteCodes)
{
    struct Case {
        const char* name;
        const char* set;
        const char* bytes;
    };
    const Case cases[] = {
        {"signChars", charsets::signChars, "A1C0 B5DA A1AA A3AB"},
        {"decimalSeparators", charsets::decimalSeparators, "A1C3 A1A4 A3AE A3AF"},
        {"percentChars", charsets::percentChars, "A3A5 A1EB"},
        {"magnitudeChars", charsets::magnitudeChars, "B0D9 C7A7 CDF2 D2DA B0DB C7AA D5D7"},
        {"highFullWidthDigits", charsets::highFullWidthDigits, "A3B5 A3B6 A3B7 A3B8 A3B9"},
        {"yearDigits", charsets::yearDigits,
         "C1E3 A1F0 A996 A3B0 D2BB B6FE C8FD CBC4 CEE5 C1F9 C6DF B0CB BEC5 D2BC B7A1 C8FE CBC1 "
         "CEE9 C2BD C6E2 B0C6 BEC1"},
        {"yearThousandChars", charsets::yearThousandChars, "C7A7 C7AA C1E3 A996 A1F0"},
        {"thousandChars", charsets::thousandChars, "C7A7 C7AA"},
        {"shortNumberChars", charsets::shortNumberChars,
         "C1E3 D2BB B6FE C8FD CBC4 CEE5 C1F9 C6DF B0CB BEC5 CAAE D2BC B7A1 C8FE CBC1 CEE9 C2BD "
         "C6E2 B0C6 BEC1 A3B0 A3B1 A3B2 A3B3 A3B4 A3B5 A3B6 A3B7 A3B8 A3B9"},
        {"asciiDigits", charsets::asciiDigits, "30 31 32 33 34 35 36 37 38 39"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(std::string(c.set), FromHex(c.bytes)) << c.name;
}

TEST(CharTextTest, NextCharKey)
{
    struct Case {
        const char* text;
        int key;
        int length;
    };
    const Case cases[] = {
        {"A", 65, 1},
        {"\xB0\xA1", 45217, 2},       // 啊
        {"", -1, 0},
        {"\xB0", 0xB0 - 256, 1},      // lone lead byte at the end
        {"\x81\x40", 0x8140, 2},      // GBK extension codes are two-byte characters too
    };
    for (const Case& c : cases) {
        int key = 12345;
        EXPECT_EQ(NextCharKey(c.text, &key), c.length) << c.text;
        EXPECT_EQ(key, c.key) << c.text;
    }
}

TEST(CharTextTest, IsCharInSetMatchesWholeCharactersOnly)
{
    EXPECT_TRUE(IsCharInSet(charsets::thousandChars, "\xC7\xAA"));  // 仟
    EXPECT_TRUE(IsCharInSet(charsets::yearDigits, "\xA9\x96"));     // 〇
    // A7 C7 spans the trail byte of 千 and the lead byte of 仟.
    EXPECT_FALSE(IsCharInSet(charsets::thousandChars, "\xA7\xC7"));
    EXPECT_FALSE(IsCharInSet(charsets::thousandChars, ""));
    EXPECT_FALSE(IsCharInSet(charsets::thousandChars, "\xC7"));     // lone lead byte
    // Only the first character of ch counts.
    EXPECT_TRUE(IsCharInSet(charsets::thousandChars, "\xC7\xA7" "abc"));
    EXPECT_TRUE(IsCharInSet(charsets::asciiDigits, "7"));
}

TEST(CharTextTest, CountCharsInSet)
{
    // 二〇〇六
    const char* year = "\xB6\xFE\xA9\x96\xA9\x96\xC1\xF9";
    EXPECT_EQ(CountCharsInSet(charsets::yearDigits, year, 8), 4);
    EXPECT_EQ(CountCharsInSet(charsets::yearDigits, year, 4), 2);
    // A lead byte in the last counted position takes its trail byte along.
    EXPECT_EQ(CountCharsInSet(charsets::yearDigits, year, 3), 2);
    EXPECT_EQ(CountCharsInSet(charsets::asciiDigits, "12a3", 4), 3);
    // A one-byte character counts if its byte is anywhere in the set.
    EXPECT_EQ(CountCharsInSet("a\xB0\xA1", "a", 1), 1);
    EXPECT_EQ(CountCharsInSet(charsets::asciiDigits, "12", 0), 0);
    // Stops at the NUL even if len says more.
    EXPECT_EQ(CountCharsInSet(charsets::asciiDigits, "12", 10), 2);
}

TEST(CharTextTest, IsAllSingleByte)
{
    EXPECT_TRUE(IsAllSingleByte("2006", 4));
    EXPECT_TRUE(IsAllSingleByte("20\xC4\xEA", 2));
    EXPECT_FALSE(IsAllSingleByte("20\xC4\xEA", 3));
}

struct TextCase {
    const char* text;
    int len; // 0: the whole string
    bool expected;
    const char* what;
};

TEST(CharTextTest, IsNumberString)
{
    const TextCase cases[] = {
        {"-3.14", 0, true, "-3.14"},
        {"\xA3\xB2\xA3\xB0\xA3\xB0\xA3\xB6", 0, true, "full-width 2006"},
        {"5%", 0, true, "5%"},
        {"3\xB0\xD9\xCD\xF2", 0, true, "3 bai wan"},
        {".5", 0, false, ".5"},
        {"5%\xB0\xD9", 0, false, "5% bai"},
        {"3a", 0, false, "3a"},
        {"12/5", 0, true, "12/5"},
        {"\xA3\xB3\xA3\xAE\xA3\xB5", 0, true, "full-width 3.5"},
        {"\xB5\xDA" "3", 0, true, "di 3"},
        {"50\xA3\xA5", 0, true, "50 full-width percent"},
        {"+", 0, true, "a sign alone"},
        {"", 0, true, "empty"},
        {"2006\xC4\xEA", 4, true, "prefix of 2006 nian"},
        {"2006\xC4\xEA", 6, false, "2006 nian"},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(IsNumberString(c.text, c.len), c.expected) << c.what;
}

TEST(CharTextTest, IsShortNumber)
{
    const TextCase cases[] = {
        {"12", 0, true, "12"},
        {"\xCA\xAE\xB6\xFE", 0, true, "shi er"},
        {"123", 0, false, "123"},
        {"5", 0, true, "5"},
        {"a", 0, true, "one one-byte character"},
        {"\xA3\xB1\xA3\xB2", 0, true, "full-width 12"},
        {"\xB6\xFE\xCA\xAE\xC8\xFD\xCA\xAE", 0, false, "four numerals"},
        {"\xB0\xA1", 0, false, "a non-numeral"},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(IsShortNumber(c.text, c.len), c.expected) << c.what;
}

TEST(CharTextTest, IsYearNumber)
{
    const TextCase cases[] = {
        {"2006", 0, true, "2006"},
        {"98", 0, true, "98"},
        {"50", 0, true, "50"},
        {"\xB6\xFE\xA9\x96\xA9\x96\xC1\xF9", 0, true, "er ling ling liu (A996 zeros)"},
        {"\xB6\xFE\xA1\xF0\xA1\xF0\xC1\xF9", 0, true, "er ling ling liu (A1F0 zeros)"},
        {"\xC7\xA7", 0, true, "qian"},
        {"\xA3\xB9\xA3\xB8", 0, true, "full-width 98"},
        {"\xA3\xB6\xA3\xB8", 0, true, "full-width 68"},
        {"45", 0, false, "45"},
        {"\xC8\xFD", 0, false, "san"},
        {"\xA3\xB3\xA3\xB8", 0, false, "full-width 38"},
        {"\xA3\xB2\xA3\xB0\xA3\xB0\xA3\xB6", 0, true, "full-width 2006"},
        {"123", 0, false, "123"},
        {"12345", 0, false, "12345"},
        {"123456", 0, true, "123456"},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(IsYearNumber(c.text, c.len), c.expected) << c.what;
}

TEST(CharTextTest, ToFullWidthPunct)
{
    struct Case {
        char c;
        const char* form;
    };
    const Case mapped[] = {
        {'.', "\xA1\xA3"}, {',', "\xA3\xAC"}, {';', "\xA3\xBB"}, {':', "\xA3\xBA"},
        {'?', "\xA3\xBF"}, {'!', "\xA3\xA1"}, {'%', "\xA3\xA5"}, {'/', "\xA3\xAF"},
        {'(', "\xA3\xA8"}, {')', "\xA3\xA9"}, {'{', "\xA3\xFB"}, {'+', "\xA3\xAB"},
        {'}', "\xA3\xFD"}, {'[', "\xA3\xDB"}, {']', "\xA3\xDD"}, {'=', "\xA3\xBD"},
    };
    for (const Case& m : mapped) {
        char out[3] = {'x', 'x', 'x'};
        EXPECT_TRUE(ToFullWidthPunct(m.c, out)) << m.c;
        EXPECT_STREQ(out, m.form) << m.c;
    }
    for (char c : {'a', '"', '\'', '-', '<', '\0'}) {
        char out[3] = {'x', 'x', 'x'};
        EXPECT_FALSE(ToFullWidthPunct(c, out)) << int(c);
        EXPECT_EQ(out[0], c);
        EXPECT_EQ(out[1], 0);
    }
}

} // namespace
