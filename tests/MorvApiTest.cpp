// The library interface (morv.h, morv.hpp): tokens, offsets, run-time words,
// threads and every bad input, on the trained models and on the small fixture.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/morv.hpp"
#include "tests/ModelFixture.h"
#include "tests/TestUtil.h"

namespace {

const std::string kTrained = std::string(MORV_BINARY_DIR) + "/bin/Morv";
// The same models with the new stages off.
const std::string kClassic = std::string(MORV_BINARY_DIR) + "/models-classic";
const std::string kMorv = std::string(MORV_BINARY_DIR) + "/bin/morv";
const std::string kCorpus = std::string(MORV_BINARY_DIR) + "/data/pd199801.txt";

bool HaveTrained()
{
    return FileExists(kTrained + "/Configure.xml");
}

// "word/tag" items separated by two spaces, line breaks left out: the command's
// text format of one line.
std::string TextLine(const std::vector<morv::Token>& tokens)
{
    std::string line;
    for (const morv::Token& t : tokens) {
        if (t.Has(MORV_FLAG_LINE_BREAK))
            continue;
        if (!line.empty())
            line += "  ";
        line += std::string(t.word) + "/" + std::string(t.tag);
    }
    return line;
}

// Everything the library says of one text, as one string.
std::string Describe(const std::vector<morv::Token>& tokens)
{
    std::string out;
    for (const morv::Token& t : tokens)
        out += std::string(t.word) + "/" + std::string(t.tag) + "@" + std::to_string(t.start) + "-" +
               std::to_string(t.end) + ":" + std::to_string(t.charStart) + "-" + std::to_string(t.charEnd) +
               "#" + std::to_string(t.flags) + "," + std::to_string(t.nameSplit) + " ";
    return out;
}

// The raw text of the first `count` corpus lines (UTF-8), one per line.
std::vector<std::string> CorpusLines(size_t count)
{
    std::vector<std::string> lines;
    std::ifstream in(kCorpus);
    std::string line;
    while (lines.size() < count && std::getline(in, line)) {
        std::string text;
        size_t i = 0;
        bool first = true;
        while (i < line.size()) {
            while (i < line.size() && line[i] == ' ')
                ++i;
            size_t j = line.find(' ', i);
            if (j == std::string::npos)
                j = line.size();
            std::string item = line.substr(i, j - i);
            i = j;
            if (item.empty())
                continue;
            if (first) { // the paragraph id
                first = false;
                continue;
            }
            if (item[0] == '[')
                item.erase(0, 1);
            const size_t slash = item.rfind('/');
            text += item.substr(0, slash);
        }
        if (!text.empty())
            lines.push_back(text);
    }
    return lines;
}

class MorvApiTrained : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveTrained())
            GTEST_SKIP() << "no trained models in " << kTrained;
        model.reset(new morv::Model(kTrained));
        analyzer.reset(new morv::Analyzer(*model));
    }
    std::unique_ptr<morv::Model> model;
    std::unique_ptr<morv::Analyzer> analyzer;
};

TEST_F(MorvApiTrained, TokensTileTheTextAndEqualTheCommand)
{
    const std::vector<std::string> lines = CorpusLines(400);
    ASSERT_GT(lines.size(), 300u);
    TempDir dir;
    std::string input;
    for (const std::string& l : lines)
        input += l + "\n";
    WriteFile(dir / "in.txt", input);
    ASSERT_EQ(std::system(("'" + kMorv + "' --base '" + kTrained + "' '" + dir.path + "/in.txt' > '" + dir.path +
                           "/out.txt'")
                              .c_str()),
              0);
    std::ifstream out(dir / "out.txt");
    for (const std::string& text : lines) {
        const std::string withBreak = text + "\n";
        const std::vector<morv::Token> tokens = analyzer->Analyze(withBreak);
        // The tokens cover the text without gap or overlap, bytes and characters alike.
        size_t at = 0, chars = 0;
        for (const morv::Token& t : tokens) {
            ASSERT_EQ(t.start, at);
            ASSERT_EQ(t.charStart, chars);
            EXPECT_EQ(std::string(t.word), withBreak.substr(t.start, t.end - t.start));
            at = t.end;
            chars = t.charEnd;
        }
        EXPECT_EQ(at, withBreak.size());
        std::string expected;
        std::getline(out, expected);
        EXPECT_EQ(TextLine(tokens), expected);
    }
}

TEST_F(MorvApiTrained, ManyThreadsOnOneModelGiveTheSingleThreadTokens)
{
#ifdef MORV_SANITIZED
    const size_t kLines = 2000; // the sanitizers make every line some twenty times dearer
#else
    const size_t kLines = 10000;
#endif
    std::vector<std::string> lines = CorpusLines(kLines);
    ASSERT_FALSE(lines.empty());
    while (lines.size() < kLines)
        lines.push_back(lines[lines.size() % 997]);
    std::vector<std::string> expected;
    for (const std::string& l : lines)
        expected.push_back(Describe(analyzer->Analyze(l)));

    std::vector<std::string> got(lines.size());
    std::atomic<size_t> next{0};
    std::vector<std::thread> threads;
    for (int k = 0; k < 8; ++k) {
        threads.emplace_back([&] {
            morv::Analyzer mine(*model);
            for (size_t i = next++; i < lines.size(); i = next++)
                got[i] = Describe(mine.Analyze(lines[i]));
        });
    }
    for (std::thread& t : threads)
        t.join();
    size_t differing = 0;
    for (size_t i = 0; i < lines.size(); ++i)
        differing += got[i] != expected[i];
    EXPECT_EQ(differing, 0u);
}

TEST_F(MorvApiTrained, WordsAddedWhileOthersAnalyseAreSafeAndTakeEffect)
{
    const std::vector<std::string> lines = CorpusLines(300);
    std::atomic<bool> stop{false};
    std::vector<std::thread> readers;
    for (int k = 0; k < 3; ++k) {
        readers.emplace_back([&] {
            morv::Analyzer mine(*model);
            size_t i = 0;
            while (!stop)
                mine.Analyze(lines[i++ % lines.size()]);
        });
    }
    for (int w = 0; w < 200; ++w)
        model->AddWord("测试" + std::to_string(w));
    stop = true;
    for (std::thread& t : readers)
        t.join();
    EXPECT_EQ(model->UserWordCount(), 200u);
    const std::vector<morv::Token> t = analyzer->Analyze("测试17");
    ASSERT_EQ(t.size(), 1u);
    EXPECT_TRUE(t[0].Has(MORV_FLAG_USER_WORD));
}

TEST_F(MorvApiTrained, AddedWordsChangeTheCutAndTheTag)
{
    // 这个门把手坏了: the classic pipeline cuts 门/把/手 (the new stages know the word).
    model.reset(new morv::Model(kClassic));
    analyzer.reset(new morv::Analyzer(*model));
    const std::string text = "这个门把手坏了";
    const std::string handle = "门把手";
    EXPECT_EQ(TextLine(analyzer->Analyze(text)).find(handle + "/"), std::string::npos);
    model->AddWord(handle, 10, "n");
    const std::string cut = TextLine(analyzer->Analyze(text));
    EXPECT_NE(cut.find(handle + "/n"), std::string::npos) << cut;
    // A word the core dictionary has takes the tag given: 北京 as nz.
    const std::string beijing = "北京";
    const std::string sentence = "他在" + beijing + "工作";
    EXPECT_NE(TextLine(analyzer->Analyze(sentence)).find(beijing + "/ns"), std::string::npos);
    model->AddWord(beijing, -1, "nz");
    EXPECT_NE(TextLine(analyzer->Analyze(sentence)).find(beijing + "/nz"), std::string::npos);
}

TEST_F(MorvApiTrained, Utf8AndGbkListsGiveTheSameResult)
{
    TempDir dir;
    // 门把手 10 n / 球拍 nz, in UTF-8 and in GBK.
    WriteFile(dir / "utf8.txt", "门把手 10 n\n\n球拍 nz\n");
    WriteFile(dir / "gbk.txt", "\xC3\xC5\xB0\xD1\xCA\xD6 10 n\n\n\xC7\xF2\xC5\xC4 nz\n");
    morv::Model a(kTrained), b(kTrained);
    EXPECT_EQ(a.LoadUserDict(dir / "utf8.txt"), 2u);
    EXPECT_EQ(b.LoadUserDict(dir / "gbk.txt"), 2u);
    morv::Analyzer aa(a), bb(b);
    // 这个门把手坏了，乒乓球拍卖完了
    const std::string text = "这个门把手坏了，乒乓球拍卖完了";
    const std::string withA = Describe(aa.Analyze(text));
    EXPECT_EQ(withA, Describe(bb.Analyze(text)));
    EXPECT_NE(withA.find("球拍/nz"), std::string::npos) << withA;
}

TEST_F(MorvApiTrained, ListsReadOtherAnalysersTagsAndLenientListsKeepUnknownOnes)
{
    // 门把手 with jieba's tags for a particle and a Latin word, then an unknown
    // tag: strict (the default) refuses the whole list; lenient keeps the word,
    // warns once with the line, and the tagger gives its tag.
    const std::string list = "门把手 10 uj\nabc eng\n"
                             "球拍 3 qq\n";
    morv_model* m = const_cast<morv_model*>(model->Get());
    size_t added = 9;
    EXPECT_EQ(morv_model_load_userdict_buffer(m, list.data(), list.size(), "l.txt", &added), MORV_E_TAG);
    EXPECT_EQ(std::string(morv_last_error()), "l.txt:3: unknown tag 'qq'");
    EXPECT_EQ(added, 0u);
    EXPECT_EQ(morv_model_user_word_count(m), 0u);
    std::vector<std::string> warnings;
    const morv_warning_fn collect = [](void* user, const char* message) {
        static_cast<std::vector<std::string>*>(user)->push_back(message);
    };
    ASSERT_EQ(morv_model_load_userdict_options(m, list.data(), list.size(), "l.txt", MORV_LIST_LENIENT, collect,
                                               &warnings, &added),
              MORV_OK);
    EXPECT_EQ(added, 3u);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].find("l.txt:3: unknown tag 'qq'"), 0u) << warnings[0];
    const std::string items = TextLine(analyzer->Analyze("门把手 abc"));
    EXPECT_NE(items.find("门把手/u"), std::string::npos) << items;
    EXPECT_NE(items.find("abc/nx"), std::string::npos) << items;
    // Without a callback the warnings go nowhere; add_word maps the same table.
    EXPECT_EQ(morv_model_load_userdict_options(m, list.data(), list.size(), nullptr, MORV_LIST_LENIENT, nullptr,
                                               nullptr, nullptr),
              MORV_OK);
    EXPECT_EQ(morv_model_add_word(m, "xyz", MORV_NUL_TERMINATED, -1, "nrfg", MORV_UTF8), MORV_OK);
    EXPECT_NE(TextLine(analyzer->Analyze("xyz")).find("xyz/nr"), std::string::npos);
}

TEST_F(MorvApiTrained, OffsetsFlagsAndNameSplitsInBothEncodings)
{
    // 江泽民说😀 in UTF-8: the name splits after 江, the emoji is a token of its own.
    const std::string utf8 = "江泽民说😀";
    const std::vector<morv::Token> t = analyzer->Analyze(utf8);
    ASSERT_EQ(t.size(), 3u) << Describe(t);
    EXPECT_TRUE(t[0].Has(MORV_FLAG_PERSON));
    EXPECT_EQ(t[0].nameSplit, 3u);
    EXPECT_EQ(t[2].word, "😀");
    EXPECT_EQ(t[2].tag, "w");
    EXPECT_TRUE(t[2].Has(MORV_FLAG_SUBSTITUTED));
    EXPECT_EQ(t[2].charStart, 4u);
    EXPECT_EQ(t[2].charEnd, 5u);
    EXPECT_TRUE(t[2].Has(MORV_FLAG_SENTENCE_END));
    // The same in GBK: byte offsets of GBK, the same characters.
    const std::string gbk = "\xBD\xAD\xD4\xF3\xC3\xF1\xCB\xB5";
    const std::vector<morv::Token> g = analyzer->Analyze(gbk, morv::Encoding::Gbk);
    ASSERT_EQ(g.size(), 2u);
    EXPECT_EQ(g[0].nameSplit, 2u);
    EXPECT_EQ(g[1].charStart, 3u);
    // Numbers, times and strings are flagged.
    const std::vector<morv::Token> n = analyzer->Analyze("2008年 abc 35");
    unsigned all = 0;
    for (const morv::Token& k : n)
        all |= k.flags;
    EXPECT_TRUE(all & MORV_FLAG_TIME);
    EXPECT_TRUE(all & MORV_FLAG_STRING);
    EXPECT_TRUE(all & MORV_FLAG_NUMBER);
}

TEST(MorvApi, BadInputsGetTheirErrors)
{
    if (!HaveTrained())
        GTEST_SKIP() << "no trained models in " << kTrained;
    morv::Model model(kTrained);
    morv::Analyzer analyzer(model);
    TempDir dir;
    struct Case {
        const char* name;
        std::function<void()> call;
        int status;
        const char* message;
    };
    const std::string nul("ab\0cd", 5);
    MakeDir(dir / "adir");
    WriteFile(dir / "badtag.txt", "ab 3 n\ncd 2 qq\n");
    const Case cases[] = {
        {"invalid UTF-8", [&] { analyzer.Analyze("ab\xC3(x"); }, MORV_E_ENCODING, "invalid UTF-8 at byte offset 2"},
        {"invalid GBK", [&] { analyzer.Analyze("a\xFF", morv::Encoding::Gbk); }, MORV_E_ENCODING,
         "invalid GBK at byte offset 1"},
        {"NUL", [&] { analyzer.Analyze(nul); }, MORV_E_NUL, "NUL byte at byte offset 2"},
        {"missing model", [&] { morv::Model m(dir / "none"); }, MORV_E_MODEL, "/none/Configure.xml"},
        {"unreadable list", [&] { model.LoadUserDict(dir / "adir"); }, MORV_E_IO, "Is a directory"},
        {"missing list", [&] { model.LoadUserDict(dir / "nolist"); }, MORV_E_IO, "No such file or directory"},
        {"unknown tag in a list", [&] { model.LoadUserDict(dir / "badtag.txt"); }, MORV_E_TAG,
         "badtag.txt:2: unknown tag 'qq'"},
        {"unknown tag", [&] { model.AddWord("ab", -1, "qq"); }, MORV_E_TAG, "unknown tag 'qq'"},
        {"empty word", [&] { model.AddWord(""); }, MORV_E_ARGUMENT, "empty"},
        // A path is a C string below: one holding a NUL would name another file.
        {"model path with a NUL", [&] { morv::Model m(kTrained + std::string("\0/elsewhere", 10)); },
         MORV_E_ARGUMENT, "the model directory holds a NUL byte"},
        {"list path with a NUL", [&] { model.LoadUserDict(dir / "badtag.txt" + std::string("\0x", 2)); },
         MORV_E_ARGUMENT, "holds a NUL byte"},
    };
    for (const Case& c : cases) {
        try {
            c.call();
            ADD_FAILURE() << c.name << ": no error";
        } catch (const morv::Error& e) {
            EXPECT_EQ(e.Status(), c.status) << c.name;
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.name << ": " << e.what();
        }
    }
    // A failed list adds nothing.
    EXPECT_EQ(model.UserWordCount(), 0u);
    // The lenient mode keeps the bad bytes as tokens of their own.
    const std::vector<morv::Token> t = analyzer.Analyze(nul, morv::Encoding::Utf8, true);
    ASSERT_GE(t.size(), 2u);
    EXPECT_EQ(t.back().end, 5u);
}

// Option bits a function does not know are refused, each function with its own
// set; the bits it knows still work.
TEST(MorvApi, UnknownOptionBitsAreRefused)
{
    if (!HaveTrained())
        GTEST_SKIP() << "no trained models in " << kTrained;
    morv_model* model = nullptr;
    ASSERT_EQ(morv_model_open(kTrained.c_str(), &model), MORV_OK);
    morv_analyzer* analyzer = nullptr;
    ASSERT_EQ(morv_analyzer_new(model, &analyzer), MORV_OK);
    const std::string text = "\xE4\xB8\xAD\xE5\x9B\xBD"; // 中国
    const morv_token* tokens = nullptr;
    size_t count = 0;
    const char* html = nullptr;
    size_t size = 0;
    const struct {
        const char* name;
        std::function<int(unsigned)> call;
        unsigned known;
        unsigned unknown;
    } cases[] = {
        {"morv_analyze",
         [&](unsigned o) { return morv_analyze(analyzer, text.data(), text.size(), o, &tokens, &count); },
         MORV_LENIENT | MORV_SEARCH | MORV_LONG_UNITS | MORV_TRADITIONAL_ON, MORV_SINGLE_CHARS},
        {"morv_analyze_html",
         [&](unsigned o) { return morv_analyze_html(analyzer, text.data(), text.size(), o, &html, &size); },
         MORV_LENIENT | MORV_SEARCH | MORV_TRADITIONAL_OFF, 0x100},
        {"morv_dictionary_words",
         [&](unsigned o) { return morv_dictionary_words(analyzer, text.data(), text.size(), o, &tokens, &count); },
         MORV_LENIENT | MORV_SINGLE_CHARS | MORV_TRADITIONAL_ON, 0x80000000u},
        {"morv_keywords",
         [&](unsigned o) {
             const morv_keyword* found = nullptr;
             size_t n = 0;
             return morv_keywords(analyzer, text.data(), text.size(), o, 3, nullptr, &found, &n);
         },
         MORV_TEXTRANK | MORV_KEYWORD_TAGS, MORV_SEARCH},
        {"morv_model_add_word",
         [&](unsigned o) { return morv_model_add_word(model, text.data(), text.size(), -1, nullptr, o); }, 0,
         MORV_LENIENT},
        {"morv_model_load_userdict_options",
         [&](unsigned o) {
             return morv_model_load_userdict_options(model, "ab\n", 3, "list", o, nullptr, nullptr, nullptr);
         },
         MORV_LIST_LENIENT, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.call(c.known), MORV_OK) << morv_last_error();
        EXPECT_EQ(c.call(c.known | c.unknown), MORV_E_ARGUMENT);
        EXPECT_EQ(std::string(morv_last_error()), std::string(c.name) + ": unknown option bits 0x" +
                                                      (c.unknown == 0x80000000u ? "80000000" : [&] {
                                                          char b[16];
                                                          std::snprintf(b, sizeof b, "%X", c.unknown);
                                                          return std::string(b);
                                                      }()));
    }
    EXPECT_EQ(tokens, nullptr);
    EXPECT_EQ(count, 0u);
    morv_analyzer_free(analyzer);
    morv_model_free(model);
}

TEST(MorvApi, OpeningNeverWritesIntoTheModelDirectoryAndNamesDamage)
{
    TempDir dir;
    ModelFixture fixture(dir / "m");
    fixture.configure += "<UserDict>on</UserDict>";
    fixture.Write();
    auto listing = [&] { return std::system(("ls -la '" + fixture.base + "' '" + fixture.base + "/Data' > '" +
                                             dir.path + "/ls.txt'").c_str()) == 0 ? ReadFile(dir / "ls.txt") : ""; };
    const std::string before = listing();
    {
        morv::Model model(fixture.base);
        morv::Analyzer analyzer(model);
        model.AddWord("ab", 5, "n");
        EXPECT_EQ(analyzer.Analyze("ab").size(), 1u);
    }
    EXPECT_EQ(listing(), before);
    EXPECT_FALSE(FileExists(fixture.base + "/Morv.log"));
    // A damaged file is named with the reason.
    WriteFile(fixture.base + "/Data/Morv.ctx", "");
    WriteFile(fixture.base + "/Data/CoreDict.unig", std::string(12, '\xFF'));
    try {
        morv::Model model(fixture.base);
        ADD_FAILURE() << "a damaged model opened";
    } catch (const morv::Error& e) {
        EXPECT_EQ(e.Status(), MORV_E_MODEL);
        EXPECT_NE(std::string(e.what()).find(fixture.base + "/Data/CoreDict.unig: the file is damaged"),
                  std::string::npos)
            << e.what();
    }
}

TEST(MorvApi, VersionAndPageParts)
{
    EXPECT_STREQ(morv::Version(), MORV_VERSION_STRING);
    EXPECT_EQ(morv::Analyzer::PageHead().substr(0, 6), "<html>");
    EXPECT_NE(morv::Analyzer::PageTail().find("</html>"), std::string::npos);
    EXPECT_STREQ(morv_strerror(MORV_E_NUL), "NUL byte inside the text");
    morv_model* m = nullptr;
    EXPECT_EQ(morv_model_open("/nonexistent-dir", &m), MORV_E_MODEL);
    EXPECT_EQ(m, nullptr);
    EXPECT_NE(std::string(morv_last_error()).find("/nonexistent-dir/Configure.xml"), std::string::npos);
    EXPECT_EQ(morv_analyze(nullptr, "a", 1, 0, nullptr, nullptr), MORV_E_ARGUMENT);
}

} // namespace
