#include <gtest/gtest.h>

#include "engine/Engine.h"
#include "engine/EngineContext.h"
#include "engine/morv.h"
#include "tests/ModelFixture.h"
#include "tests/TestUtil.h"

namespace {

const std::string kHead =
    "<html> \n <head> \n"
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">\n"
    "<meta name=\"GENERATOR\" content=\"Microsoft FrontPage 4.0\">\n"
    "<meta name=\"ProgId\" content=\"FrontPage.Editor.Document\">\n"
    "<title>Morv analysis result</title>\n</head>\n<body>\n<p>\n";
const std::string kLegendStart = "\t<hr>\n<p><b>\xCD\xBC\xC0\xFD\xCB\xB5\xC3\xF7\xA3\xBA</b>";
const std::string kPageEnd = " are highly appreciated!&nbsp; </font></p></body></html>";
const std::string kT0 = "<font face=\"\xBF\xAC\xCC\xE5_GB2312\"";
const std::string kTagOpen = "<font face=\"Times New Roman\" color=\"#0000FF\">/";

std::string Plain(const std::string& text, const std::string& tag)
{
    return kT0 + ">" + text + "</font>" + kTagOpen + tag + "</font>  ";
}

class HtmlPageTest : public ::testing::Test {
protected:
    TempDir dir;
    ModelFixture models{dir.path + "/Morv"};
    std::string page = dir.path + "/result.htm";

    void SetUp() override
    {
        models.Write();
        ASSERT_TRUE(EngineInit(models.base.c_str()));
    }
    void TearDown() override { EngineExit(); }
    // The page's body: what lies between the head and the legend.
    std::string Body(const std::string& text)
    {
        EXPECT_TRUE(EngineWriteHtml(text.c_str(), page.c_str()));
        const std::string html = ReadFile(page);
        EXPECT_EQ(html.compare(0, kHead.size(), kHead), 0);
        const size_t legend = html.find(kLegendStart);
        EXPECT_NE(legend, std::string::npos);
        EXPECT_GE(html.size(), kPageEnd.size());
        EXPECT_EQ(html.substr(html.size() - kPageEnd.size()), kPageEnd);
        return html.substr(kHead.size(), legend - kHead.size());
    }
};

TEST_F(HtmlPageTest, EmptyTextHasNoTokens)
{
    EXPECT_EQ(Body(""), "");
}

TEST_F(HtmlPageTest, WordsAndTags)
{
    // 我们说 → 我们 / 说, both without lexicon entries: default tag 21 (n).
    EXPECT_EQ(Body("\xCE\xD2\xC3\xC7\xCB\xB5"), Plain("\xCE\xD2\xC3\xC7", "n") + Plain("\xCB\xB5", "n"));
}

TEST_F(HtmlPageTest, OneWithDoubledCharacterIsOneNumeral)
{
    // 一个个
    EXPECT_EQ(Body("\xD2\xBB\xB8\xF6\xB8\xF6"),
              kT0 + " color=\"#800000\"><i>\xD2\xBB\xB8\xF6\xB8\xF6</i></font></font>" + kTagOpen +
                  "m</font>  ");
}

TEST_F(HtmlPageTest, LineBreaksAreParagraphBreaks)
{
    const std::string body = Body("a\r\nb");
    const std::string cr = kT0 + ">\r</font></p><p>";
    const std::string lf = kT0 + ">\n</font></p><p>";
    EXPECT_EQ(body, kT0 + " color=\"00FFFF\"><i>a</i></font></font>" + kTagOpen + "n</font>  " + cr + lf +
                        kT0 + " color=\"00FFFF\"><i>b</i></font></font>" + kTagOpen + "n</font>  ");
}

TEST_F(HtmlPageTest, MarkupInTextIsEscaped)
{
    const std::string body = Body("<>&\"");
    EXPECT_EQ(body.find("<>"), std::string::npos);
    EXPECT_NE(body.find("&lt;"), std::string::npos);
    EXPECT_NE(body.find("&gt;"), std::string::npos);
    EXPECT_NE(body.find("&amp;"), std::string::npos);
    EXPECT_EQ(body.find("\"</"), std::string::npos);
}

TEST_F(HtmlPageTest, PageIsOverwrittenAndLongTextsWork)
{
    Body("\xCE\xD2\xC3\xC7");
    const std::string body = Body("\xCB\xB5");
    EXPECT_EQ(body, Plain("\xCB\xB5", "n"));
    // A text far beyond the initial scratch buffer, in one sentence.
    std::string longText;
    for (int i = 0; i < 3000; ++i)
        longText += "\xCB\xB5";
    const std::string longBody = Body(longText);
    EXPECT_EQ(longBody.size(), 3000 * Plain("\xCB\xB5", "n").size());
}

TEST_F(HtmlPageTest, NothingWrittenWithoutEngine)
{
    EngineExit();
    EXPECT_FALSE(EngineWriteHtml("a", page.c_str()));
    EXPECT_FALSE(FileExists(page));
    ASSERT_TRUE(EngineInit(models.base.c_str()));
    EXPECT_FALSE(EngineWriteHtml("a", (dir.path + "/no/such/dir/result.htm").c_str()));
}

// The page part of a text through the library: characters the engine reads as
// placeholders come back as what they stand for, each where it stood.
TEST_F(HtmlPageTest, PlaceholdersBecomeTheirCharacters)
{
    morv_model* model = nullptr;
    ASSERT_EQ(morv_model_open(models.base.c_str(), &model), MORV_OK) << morv_last_error();
    morv_analyzer* analyzer = nullptr;
    ASSERT_EQ(morv_analyzer_new(model, &analyzer), MORV_OK);
    const auto page = [&](const std::string& text, unsigned options) {
        const char* html = nullptr;
        size_t size = 0;
        EXPECT_EQ(morv_analyze_html(analyzer, text.data(), text.size(), options, &html, &size), MORV_OK);
        return std::string(html, size);
    };
    // 说, an emoji, <, a byte that is no UTF-8, 说, an emoji (UTF-8, lenient).
    const std::string grin = "\xF0\x9F\x98\x80";
    const std::string utf8 = page("\xE8\xAF\xB4" + grin + "<\xFF\xE8\xAF\xB4" + grin, MORV_LENIENT);
    EXPECT_EQ(utf8.find("\xA1\xA0"), std::string::npos);
    const size_t first = utf8.find("&#x1F600;"), replaced = utf8.find("&#xFFFD;");
    const size_t second = utf8.find("&#x1F600;", first + 1);
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(replaced, std::string::npos);
    ASSERT_NE(second, std::string::npos);
    EXPECT_LT(first, utf8.find("&lt;"));
    EXPECT_LT(utf8.find("&lt;"), replaced);
    EXPECT_LT(replaced, second);
    // GBK that holds the placeholder's own code keeps it; a lone lead byte at the
    // end becomes the replacement character.
    const std::string gbk = page("\xCB\xB5\xA1\xA0\xCB\xB5\xB0", MORV_GBK | MORV_LENIENT);
    EXPECT_NE(gbk.find("\xA1\xA0"), std::string::npos);
    EXPECT_NE(gbk.find("&#xFFFD;"), std::string::npos);
    // Without substitutions the page is the one the engine writes.
    EXPECT_EQ(page("\xE8\xAF\xB4", 0), Plain("\xCB\xB5", "n"));
    morv_analyzer_free(analyzer);
    morv_model_free(model);
}

// A byte after a lead byte is escaped as any other: no text, however its bytes
// are cut into characters, puts markup of its own into the page. Each markup
// character after a lead byte, at the end of a text and inside one, through the
// classic entry point and through the library's page.
TEST_F(HtmlPageTest, MarkupAfterALeadByteIsEscaped)
{
    morv_model* model = nullptr;
    ASSERT_EQ(morv_model_open(models.base.c_str(), &model), MORV_OK) << morv_last_error();
    morv_analyzer* analyzer = nullptr;
    ASSERT_EQ(morv_analyzer_new(model, &analyzer), MORV_OK);
    const struct {
        char markup;
        const char* escaped;
    } cases[] = {{'<', "&lt;"}, {'>', "&gt;"}, {'&', "&amp;"}, {'"', "&quot;"}, {'\'', "&#39;"}};
    for (const auto& c : cases) {
        const std::string m(1, c.markup);
        for (const std::string& text :
             {"\xB0" + m, "\xCB\xB5\xB0" + m + "svg/onload=alert(1)" + m + "\xCB\xB5", "\xFF" + m + m, m + "\xB0"}) {
            SCOPED_TRACE(::testing::PrintToString(text));
            const std::string body = Body(text);
            EXPECT_EQ(ForeignMarkup(body), "");
            if (text.back() != '\xB0') {
                EXPECT_NE(body.find(c.escaped), std::string::npos);
            }
            for (unsigned options : {MORV_GBK | MORV_LENIENT, MORV_UTF8 | MORV_LENIENT}) {
                const char* html = nullptr;
                size_t size = 0;
                ASSERT_EQ(morv_analyze_html(analyzer, text.data(), text.size(), options, &html, &size), MORV_OK);
                EXPECT_EQ(ForeignMarkup(std::string(html, size)), "") << options;
            }
        }
    }
    morv_analyzer_free(analyzer);
    morv_model_free(model);
}

// The checker itself: what it must find.
TEST(ForeignMarkupTest, FindsWhatTheWriterNeverWrites)
{
    EXPECT_EQ(ForeignMarkup(Plain("\xCB\xB5&lt;&#x1F600;", "n") + "</p><p>"), "");
    for (const std::string& bad : {std::string("<svg/onload=x>"), std::string("a\"b"), std::string("&x;"),
                                   std::string("\xB0<"), std::string("\xB0"), std::string("'"), std::string(">")})
        EXPECT_NE(ForeignMarkup(Plain(bad, "n")), "") << bad;
}

class UserDictTest : public HtmlPageTest {};

TEST_F(UserDictTest, ImportAddsNewWordsWithFollowingIds)
{
    const int core = TheEngine().model->core.coreDict->GetWordCount();
    const std::string list = dir.path + "/UserLexicon.txt";
    // 说话 n 100 / 中国 (a core word) / 人民 / 说话 again / blank line / 工人
    WriteFile(list, "\xCB\xB5\xBB\xB0 n 100\n\xD6\xD0\xB9\xFA\n  \xC8\xCB\xC3\xF1\n\xCB\xB5\xBB\xB0\n \n"
                    "\xB9\xA4\xC8\xCB\n");
    EXPECT_EQ(EngineImportUserDict(list.c_str()), 4);
    const CPDAT* user = TheEngine().userDict.get();
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(user->ExactMatch("\xCB\xB5\xBB\xB0"), core + 2); // the later of the two
    EXPECT_EQ(user->ExactMatch("\xC8\xCB\xC3\xF1"), core + 1);
    EXPECT_EQ(user->ExactMatch("\xD6\xD0\xB9\xFA"), -1);
    EXPECT_TRUE(FileExists(models.base + "/Data/UserDict.pdat"));
    // The next analysis underlines the user word.
    EXPECT_EQ(Body("\xCB\xB5\xBB\xB0"),
              kT0 + " color=\"#0000FF\"><u>\xCB\xB5\xBB\xB0</u></font></font>" + kTagOpen + "n</font>  ");
}

TEST_F(UserDictTest, UnreadableListKeepsTheDictionaryInUse)
{
    const std::string list = dir.path + "/list.txt";
    WriteFile(list, "\xCB\xB5\xBB\xB0\n");
    ASSERT_EQ(EngineImportUserDict(list.c_str()), 1);
    const std::string missing = dir.path + "/missing.txt";
    EXPECT_EQ(EngineImportUserDict(missing.c_str()), 0);
    EXPECT_NE(TheEngine().userDict, nullptr);
    EXPECT_EQ(ReadFile(models.base + "/Morv.log"), "Cannot open file " + missing + ".\n");
    EXPECT_NE(Body("\xCB\xB5\xBB\xB0").find("<u>"), std::string::npos);
}

// A failed save keeps the dictionary in use and the file on disk: losing both
// because the disk was full would lose the user's work.
TEST_F(UserDictTest, FailedSaveKeepsThePreviousDictionary)
{
    const std::string list = dir.path + "/list.txt";
    WriteFile(list, "\xCB\xB5\xBB\xB0\n");
    ASSERT_EQ(EngineImportUserDict(list.c_str()), 1);
    const CPDAT* before = TheEngine().userDict.get();
    std::system(("rm -f '" + models.base + "/Data/UserDict.pdat' && mkdir '" + models.base +
                 "/Data/UserDict.pdat'").c_str());
    WriteFile(list, "\xBB\xB0\n");
    EXPECT_EQ(EngineImportUserDict(list.c_str()), 0);
    EXPECT_EQ(TheEngine().userDict.get(), before);
    EXPECT_EQ(ReadFile(models.base + "/Morv.log"),
              "Cannot Save user dictionary " + models.base + "/Data/UserDict.pdat.\n");
    EXPECT_NE(Body("\xCB\xB5\xBB\xB0").find("<u>"), std::string::npos);
}

// A user word that holds a lead byte and then markup comes out of the page as
// text: the import takes it as a word, the page escapes every byte of it.
TEST_F(UserDictTest, ImportedWordWithMarkupAfterALeadByteStaysText)
{
    const std::string list = dir.path + "/list.txt";
    const std::string word = "\xCB\xB5\xB0<svg/onload=alert(1)>";
    WriteFile(list, word + "\n\xB0\"'&amp;\n");
    ASSERT_EQ(EngineImportUserDict(list.c_str()), 2);
    for (const std::string& text : {word, "\xCE\xD2" + word + "\xCE\xD2", std::string("\xB0\"'&amp;")}) {
        SCOPED_TRACE(::testing::PrintToString(text));
        const std::string body = Body(text);
        EXPECT_NE(body.find("<u>"), std::string::npos) << "the user word is found";
        EXPECT_EQ(ForeignMarkup(body), "");
        EXPECT_EQ(body.find("<svg"), std::string::npos);
    }
}

TEST_F(UserDictTest, NotInitialisedImportsNothing)
{
    EngineExit();
    const std::string list = dir.path + "/list.txt";
    WriteFile(list, "\xCB\xB5\xBB\xB0\n");
    EXPECT_EQ(EngineImportUserDict(list.c_str()), 0);
}

} // namespace
