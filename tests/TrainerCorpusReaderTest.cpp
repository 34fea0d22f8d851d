#include "tools/trainer/CorpusReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestUtil.h"

namespace {

TEST(TrainerCorpusReader, ParsesWordsCompoundsAndConvertsToGbk)
{
    CorpusReader reader;
    Paragraph p;
    std::string message;
    ASSERT_TRUE(reader.ParseLine("19980101-01-001-002/m  [中央/n  电台/n]nt  朱/nr  镕基/nr  １/m", p, message))
        << message;
    EXPECT_EQ(p.date, 19980101);
    ASSERT_EQ(p.tokens.size(), 5u);
    EXPECT_EQ(p.tokens[0].word, "\xD6\xD0\xD1\xEB"); // 中央
    EXPECT_TRUE(p.tokens[0].inCompound);
    EXPECT_TRUE(p.tokens[1].inCompound);
    EXPECT_EQ(p.tokens[1].tag, "n"); // the inner tag, not the compound's
    EXPECT_FALSE(p.tokens[2].inCompound);
    EXPECT_EQ(p.tokens[3].word, "\xE9\x46\xBB\xF9"); // 镕基: 镕 lies outside GB2312, in GBK
    EXPECT_EQ(p.Text(), "\xD6\xD0\xD1\xEB\xB5\xE7\xCC\xA8\xD6\xEC\xE9\x46\xBB\xF9\xA3\xB1");
}

TEST(TrainerCorpusReader, RejectsMalformedLines)
{
    const struct {
        const char* line;
        const char* why;
    } cases[] = {
        {"跑/v  走/v", "no paragraph id"},
        {"19980101-01-001-002/m  跑", "token without word/tag"},
        {"19980101-01-001-002/m  跑/", "token without word/tag"},
        {"19980101-01-001-002/m  /v", "token without word/tag"},
        {"19980101-01-001-002/m  [中央/n  电台/n", "unclosed bracket"},
        {"19980101-01-001-002/m  中央/n  电台/n]nt", "closing bracket without opening"},
        {"19980101-01-001-002/m  [中央/n  [电台/n]nt", "nested bracket"},
        {"19980101-01-001-002/m  [中央/n  电台/n]", "compound without tag"},
        {"19980101-01-001-002/m", "paragraph without words"},
        {"19980101-01-001-002/m  跑/v!", "bad tag"},
    };
    CorpusReader reader;
    for (const auto& c : cases) {
        Paragraph p;
        std::string message;
        EXPECT_FALSE(reader.ParseLine(c.line, p, message)) << c.line;
        EXPECT_NE(message.find(c.why), std::string::npos) << c.line << ": " << message;
    }
}

TEST(TrainerCorpusReader, ReportsBadLinesByNumberAndFiltersDates)
{
    TempDir dir;
    WriteFile(dir / "c.txt", "19980101-01-001-001/m  跑/v\r\n"
                             "\n"
                             "19980102-01-001-001/m  跑\n"
                             "19980103-01-001-001/m  走/v  了/u\n"
                             "19980104-01-001-001/m  [走/v\n");
    CorpusReader reader;
    ASSERT_TRUE(reader.Read(dir / "c.txt", 0, 0));
    ASSERT_EQ(reader.GetErrors().size(), 2u);
    EXPECT_EQ(reader.GetErrors()[0].line, 3);
    EXPECT_EQ(reader.GetErrors()[1].line, 5);
    ASSERT_EQ(reader.GetParagraphs().size(), 2u);
    EXPECT_EQ(reader.GetParagraphs()[1].line, 4);
    EXPECT_EQ(reader.GetTokenCount(), 3u);

    ASSERT_TRUE(reader.Read(dir / "c.txt", 19980102, 19980103));
    ASSERT_EQ(reader.GetParagraphs().size(), 1u);
    EXPECT_EQ(reader.GetParagraphs()[0].date, 19980103);
    EXPECT_FALSE(reader.Read(dir / "missing.txt", 0, 0));
}

} // namespace
