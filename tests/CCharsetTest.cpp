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

TEST(CCharsetTest, ShortFileLeavesTheRestAtClassZero)
{
    TempDir dir;
    WriteFile(dir / "charset.type", std::string("\x01\x02\x03\x04", 4) + "\x05\x06");
    CCharset charset;
    charset.SetClass(5, 99); // replaced by the load
    ASSERT_TRUE(charset.Load((dir / "charset.type").c_str()));
    const uint8_t* header = charset.GetFileHeader();
    EXPECT_EQ(header[0], 1);
    EXPECT_EQ(header[3], 4);
    EXPECT_EQ(charset.GetClass(0), 5);
    EXPECT_EQ(charset.GetClass(1), 6);
    EXPECT_EQ(charset.GetClass(2), 0);
    EXPECT_EQ(charset.GetClass(5), 0);
    EXPECT_EQ(charset.GetClass(65535), 0);
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
