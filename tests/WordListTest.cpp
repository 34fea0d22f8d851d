// The user word list's fields, apart from what the words mean: the entries it
// hands out, and where and why it stops.
#include "lexicon/WordList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Read {
    Status status;
    std::vector<WordList::Entry> entries;
};

Read ReadList(const std::string& text, const WordList::Take& refuse = nullptr)
{
    Read r;
    r.status = WordList::Parse(text.data(), text.size(), "w.txt", [&](const WordList::Entry& e) {
        r.entries.push_back(e);
        return refuse ? refuse(e) : Status();
    });
    return r;
}

std::string Shown(const std::vector<WordList::Entry>& entries)
{
    std::string out;
    for (const WordList::Entry& e : entries)
        out += e.where + e.word + "|" + std::to_string(e.frequency) + "|" + e.tag + "\n";
    return out;
}

TEST(WordList, ReadsEveryFormOfLine)
{
    const struct {
        const char* what;
        std::string text;
        std::string entries;
    } cases[] = {
        {"a word alone", "ab\n", "w.txt:1: ab|-1|\n"},
        {"a frequency", "ab 12\n", "w.txt:1: ab|12|\n"},
        {"a tag", "ab nz\n", "w.txt:1: ab|-1|nz\n"},
        {"frequency then tag", "ab 3 nz", "w.txt:1: ab|3|nz\n"},
        {"tag then frequency", "ab nz 3", "w.txt:1: ab|3|nz\n"},
        {"two numbers: the first is the frequency", "ab 3 4", "w.txt:1: ab|3|4\n"},
        {"a frequency of thirteen digits is a tag", "ab 1234567890123", "w.txt:1: ab|-1|1234567890123\n"},
        {"blanks of every kind, CRLF", "\t ab \v 7\f nz\r\n", "w.txt:1: ab|7|nz\n"},
        {"empty and blank lines keep their numbers", "\n  \r\nab\n\ncd\n", "w.txt:3: ab|-1|\nw.txt:5: cd|-1|\n"},
        {"a byte-order mark", "\xEF\xBB\xBF" "ab\n", "w.txt:1: ab|-1|\n"},
        {"a NUL stays in the word for the caller to judge", std::string("a\0b\n", 4), std::string("w.txt:1: a\0b|-1|\n", 17)},
        {"nothing", "", ""},
        {"no final line break", "ab\ncd", "w.txt:1: ab|-1|\nw.txt:2: cd|-1|\n"},
    };
    for (const auto& c : cases) {
        const Read r = ReadList(c.text);
        EXPECT_TRUE(r.status.Ok()) << c.what << ": " << r.status.message;
        EXPECT_EQ(Shown(r.entries), c.entries) << c.what;
    }
}

TEST(WordList, StopsAtTheFirstBadLineAndSaysWhere)
{
    const struct {
        const char* what;
        std::string text;
        Status::Code code;
        const char* message;
        size_t taken;
    } cases[] = {
        {"four fields", "ab\ncd 1 n x\nef\n", Status::kList,
         "w.txt:2: more than three fields (expected: word [frequency] [tag])", 1},
        {"no frequency of three", "ab n v\n", Status::kList, "w.txt:1: neither 'n' nor 'v' is a frequency", 0},
        {"the taker refuses", "ab\n\ncd x\nef\n", Status::kTag, "w.txt:3: unknown tag 'x'", 2},
    };
    const WordList::Take refuseX = [](const WordList::Entry& e) {
        return e.tag == "x" ? Status(Status::kTag, "unknown tag 'x'") : Status();
    };
    for (const auto& c : cases) {
        const Read r = ReadList(c.text, refuseX);
        EXPECT_EQ(r.status.code, c.code) << c.what;
        EXPECT_EQ(r.status.message, c.message) << c.what;
        EXPECT_EQ(r.entries.size(), c.taken) << c.what;
    }
}

} // namespace
