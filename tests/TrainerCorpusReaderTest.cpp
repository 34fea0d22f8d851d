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
    EXPECT_EQ(p.article, 1001); // page 01, article 001: the paragraphs morv-eval --articles joins
    ASSERT_EQ(p.tokens.size(), 5u);
    EXPECT_EQ(p.tokens[0].word, "\xD6\xD0\xD1\xEB"); // 中央
    EXPECT_TRUE(p.tokens[0].inCompound);
    EXPECT_TRUE(p.tokens[1].inCompound);
    EXPECT_EQ(p.tokens[1].tag, "n"); // the inner tag, not the compound's
    EXPECT_FALSE(p.tokens[2].inCompound);
    EXPECT_EQ(p.tokens[3].word, "\xE9\x46\xBB\xF9"); // 镕基: 镕 lies outside GB2312, in GBK
    EXPECT_EQ(p.Text(), "\xD6\xD0\xD1\xEB\xB5\xE7\xCC\xA8\xD6\xEC\xE9\x46\xBB\xF9\xA3\xB1");
    ASSERT_TRUE(reader.ParseLine("19980131-12-045-007/m  中央/n", p, message)) << message;
    EXPECT_EQ(p.article, 12045);
}

TEST(TrainerCorpusReader, RecordsEachCompoundWithItsTag)
{
    CorpusReader reader;
    Paragraph p;
    std::string message;
    // Two compounds in a row, one of a single word, and a plain word between.
    ASSERT_TRUE(reader.ParseLine("19980101-01-001-002/m  [中国/ns  国际/n  电台/n]nt  [香港/ns  特区/n]ns  和/c  [北京/ns]ns",
                                 p, message))
        << message;
    ASSERT_EQ(p.compounds.size(), 3u);
    const struct {
        size_t first, last;
        const char* tag;
    } expected[] = {{0, 2, "nt"}, {3, 4, "ns"}, {6, 6, "ns"}};
    for (size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(p.compounds[k].first, expected[k].first) << k;
        EXPECT_EQ(p.compounds[k].last, expected[k].last) << k;
        EXPECT_EQ(p.compounds[k].tag, expected[k].tag) << k;
    }
    // A line parsed again into the same paragraph keeps none of the old ones.
    ASSERT_TRUE(reader.ParseLine("19980101-01-001-003/m  和/c", p, message)) << message;
    EXPECT_TRUE(p.compounds.empty());
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

TEST(TrainerCorpusReader, LinesThatAreNotUtf8AreCountedApart)
{
    const std::string id = "19980101-01-001-001/m  ";
    const struct {
        const char* name;
        std::string word;
        bool utf8;
    } cases[] = {
        {"two-byte sequence", "\xC3\xA9", true},
        {"three-byte sequence", "\xE8\xB7\x91", true},
        {"GBK bytes", "\xC5\xDC", false},
        {"overlong form of a slash", "\xC0\xAF", false},
        {"overlong three-byte form", "\xE0\x80\xAF", false},
        {"surrogate", "\xED\xA0\x80", false},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", false},
        {"sequence cut at the line end", "\xE8\xB7", false},
        {"stray continuation byte", "\x80", false},
    };
    TempDir dir;
    CorpusReader reader;
    for (const auto& c : cases) {
        WriteFile(dir / "c.txt", id + c.word + "/v\n");
        ASSERT_TRUE(reader.Read(dir / "c.txt", 0, 0));
        EXPECT_EQ(reader.GetLineCount(), 1u) << c.name;
        EXPECT_EQ(reader.GetUndecodableCount(), c.utf8 ? 0u : 1u) << c.name;
        if (!c.utf8) {
            ASSERT_EQ(reader.GetErrors().size(), 1u) << c.name;
            EXPECT_EQ(reader.GetErrors()[0].message, "not UTF-8 text") << c.name;
        }
    }
}

TEST(TrainerCorpusReader, RefusesAnotherEncodingAndMoreThanFivePercentBadLines)
{
    const std::string good = "19980101-01-001-001/m  \xE8\xB7\x91/v\n";
    const std::string gbk = "19980101-01-001-001/m  \xC5\xDC/v\n";
    const std::string bad = "19980101-01-001-001/m  \xE8\xB7\x91\n";
    auto repeat = [](const std::string& line, int n) {
        std::string out;
        for (int i = 0; i < n; ++i)
            out += line;
        return out;
    };
    const struct {
        const char* name;
        std::string corpus;
        std::string refusal;        // "" = trains
        std::string refusalAllowed; // with --allow-bad-lines
    } cases[] = {
        {"all GBK", repeat(gbk, 977) + good, "not UTF-8 text: 977 of 978 lines cannot be decoded",
         "not UTF-8 text: 977 of 978 lines cannot be decoded"},
        {"no bad line", repeat(good, 5) + "\n  \n", "", ""},
        {"5% bad", bad + repeat(good, 19), "", ""},
        {"over 5% bad", bad + bad + repeat(good, 18),
         "2 of 20 lines cannot be read, more than 5%; --allow-bad-lines trains on the rest", ""},
        {"some lines GBK", gbk + bad + repeat(good, 8),
         "2 of 10 lines cannot be read (1 not UTF-8), more than 5%; --allow-bad-lines trains on the rest", ""},
        {"half GBK", repeat(gbk, 5) + repeat(good, 5),
         "5 of 10 lines cannot be read (5 not UTF-8), more than 5%; --allow-bad-lines trains on the rest", ""},
        {"empty", "", "", ""},
    };
    TempDir dir;
    CorpusReader reader;
    for (const auto& c : cases) {
        WriteFile(dir / "c.txt", c.corpus);
        ASSERT_TRUE(reader.Read(dir / "c.txt", 0, 0));
        EXPECT_EQ(reader.Refusal(false), c.refusal) << c.name;
        EXPECT_EQ(reader.Refusal(true), c.refusalAllowed) << c.name;
    }
    // Every bad line is counted; the first hundred keep their message.
    WriteFile(dir / "c.txt", repeat(bad, 150) + repeat(good, 3));
    ASSERT_TRUE(reader.Read(dir / "c.txt", 0, 0));
    EXPECT_EQ(reader.GetBadLineCount(), 150u);
    EXPECT_EQ(reader.GetErrors().size(), CorpusReader::kKeptErrors);
    EXPECT_EQ(reader.GetErrors().back().line, 100);
    EXPECT_EQ(reader.GetParagraphs().size(), 3u);
}

TEST(TrainerCorpusReader, ALongLineIsHeldOnceAsTokens)
{
    // 200,000 tokens on one line: parsed in place into an array of exactly that
    // many tokens, not grown (and copied) step by step.
    std::string line = "19980101-01-001-001/m";
    const int tokens = 200000;
    for (int i = 0; i < tokens; ++i)
        line += i % 3 == 0 ? "  [\xE8\xB7\x91/v  \xE4\xBA\x86/u]vp" : "  \xE8\xB7\x91/v";
    CorpusReader reader;
    Paragraph p;
    std::string message;
    ASSERT_TRUE(reader.ParseLine(line, p, message)) << message;
    EXPECT_EQ(p.tokens.size(), size_t(tokens + (tokens + 2) / 3));
    EXPECT_EQ(p.tokens.capacity(), p.tokens.size());
    EXPECT_EQ(p.tokens[1].tag, "u");
    EXPECT_TRUE(p.tokens[1].inCompound);
    EXPECT_EQ(p.Text().size(), 2 * p.tokens.size());
}

} // namespace
