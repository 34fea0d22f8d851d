// The trainer's IDF table: paragraphs as documents, words as the analyser
// gives them, and a file keyword extraction reads back.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/CKeywordTable.h"
#include "tools/trainer/CorpusReader.h"
#include "tools/trainer/KeywordIdf.h"

namespace {

std::vector<Paragraph> Parse(const std::vector<std::string>& lines)
{
    CorpusReader reader;
    std::vector<Paragraph> out;
    for (const std::string& line : lines) {
        Paragraph p;
        std::string message;
        EXPECT_TRUE(reader.ParseLine(line, p, message)) << line << ": " << message;
        out.push_back(p);
    }
    return out;
}

} // namespace

TEST(KeywordIdf, CountsParagraphsHoldingEachWord)
{
    const std::vector<Paragraph> corpus = Parse({
        "19980101-01-001-001/m  江/nr  泽民/nr  访问/v  北京/ns  。/w",
        "19980101-01-001-002/m  北京/ns  北京/ns  [中国/ns  国际/n  广播/vn  电台/n]nt  的/u",
        "19980101-01-001-003/m  访问/v  了/u  上海/ns",
        "19980101-01-001-004/m  下雨/v",
    });
    KeywordIdf idf;
    idf.Count(corpus);
    EXPECT_EQ(idf.ParagraphCount(), 4u);
    const struct {
        const char* word;
        double documents; // 0: not in the table
    } cases[] = {
        {"北京", 2},             // twice in one paragraph counts once
        {"访问", 2},
        {"江泽民", 1},           // surname and given name: one word
        {"中国国际广播电台", 1}, // a bracketed name whole
        {"中国", 1},             // and its words
        {"上海", 1},
        {"江", 0},               // one character: never a keyword
        {"的", 0},
        {"。", 0},
    };
    for (const auto& c : cases) {
        const double expected = c.documents > 0 ? std::log(4 / c.documents) : 0;
        EXPECT_DOUBLE_EQ(idf.Idf(c.word), expected) << c.word;
    }
    // The text reads back as keyword extraction's table.
    CKeywordTable table;
    std::string error;
    ASSERT_TRUE(table.ParseIdf(idf.Text(), "Keywords.idf", &error)) << error;
    EXPECT_EQ(table.IdfSize(), idf.WordCount());
    EXPECT_NEAR(table.Idf("北京"), std::log(2.0), 1e-6);
    EXPECT_NEAR(table.Idf("江泽民"), std::log(4.0), 1e-6);
}
