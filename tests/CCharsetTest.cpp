#include <gtest/gtest.h>

#include <string>

#include "TestUtil.h"
#include "segment/CCharset.h"

namespace {

TEST(CCharsetTest, KeysOutsideTheTableHaveNoClass)
{
    CCharset charset;
    charset.SetClass(0, 7);
    charset.SetClass(65535, 9);
    EXPECT_EQ(charset.GetClass(-1), -1);
    EXPECT_EQ(charset.GetClass(65536), -1);
    EXPECT_EQ(charset.GetClass(0xB0 - 256), -1); // a lone lead byte at the end of a text
    EXPECT_EQ(charset.GetClass(0), 7);
    EXPECT_EQ(charset.GetClass(65535), 9);
}

TEST(CCharsetTest, LoadReadsHeaderAndTable)
{
    TempDir dir;
    std::string file = "HDR!";
    std::string table(65536, '\0');
    table['A'] = 8;
    table[0xB0A1] = static_cast<char>(200);
    table[65535] = 28;
    WriteFile(dir / "charset.type", file + table);

    CCharset charset;
    ASSERT_TRUE(charset.Load((dir / "charset.type").c_str()));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(charset.GetFileHeader()), 4), "HDR!");
    EXPECT_EQ(charset.GetClass('A'), 8);
    EXPECT_EQ(charset.GetClass(0xB0A1), 200);
    EXPECT_EQ(charset.GetClass(65535), 28);
    EXPECT_EQ(charset.GetClass('B'), 0);
}

TEST(CCharsetTest, FilesOfAnyOtherLengthAreRefusedAndKeepTheTable)
{
    // A cut table would leave the keys it lacks at class 0: digits, letters and
    // sentence ends without their roles.
    const std::string full = std::string("\x01\x02\x03\x04", 4) + std::string(65536, '\x05');
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"header only", full.substr(0, 4)},
        {"header and two classes", full.substr(0, 6)},
        {"one byte short", full.substr(0, full.size() - 1)},
        {"one byte long", full + "\x05"},
        {"another model file's size", std::string(6565, '\x07')},
    };
    TempDir dir;
    for (const Case& c : cases) {
        WriteFile(dir / "charset.type", c.bytes);
        CCharset charset;
        charset.SetClass(5, 99);
        EXPECT_FALSE(charset.Load((dir / "charset.type").c_str())) << c.name;
        EXPECT_EQ(charset.GetClass(5), 99) << c.name;
        EXPECT_EQ(charset.GetFileHeader()[0], 0) << c.name;
    }
    WriteFile(dir / "charset.type", full);
    CCharset charset;
    ASSERT_TRUE(charset.Load((dir / "charset.type").c_str()));
    EXPECT_EQ(charset.GetFileHeader()[3], 4);
    EXPECT_EQ(charset.GetClass(65535), 5);
}

TEST(CCharsetTest, MissingFileFailsAndKeepsTheTable)
{
    TempDir dir;
    CCharset charset;
    charset.SetClass('.', 2);
    EXPECT_FALSE(charset.Load((dir / "none.type").c_str()));
    EXPECT_EQ(charset.GetClass('.'), 2);
}

} // namespace
