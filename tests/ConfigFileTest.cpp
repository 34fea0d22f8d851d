#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/CModel.h"
#include "engine/ConfigFile.h"
#include "tests/TestUtil.h"

namespace {

std::string Value(const char* text, const char* key, bool* found = nullptr)
{
    std::string buffer(std::string(text).size() + 1, '\x7f');
    bool ok = GetConfigValue(text, key, &buffer[0]);
    if (found)
        *found = ok;
    return ok ? std::string(buffer.c_str()) : std::string("<absent>");
}

TEST(ConfigFile, ValuesAreTheElementsCharacterData)
{
    struct Case {
        const char* text;
        const char* key;
        const char* expected;
    } cases[] = {
        {"<DataPath>Data</DataPath>", "DataPath", "Data"},
        {"<DataPath></DataPath>", "DataPath", ""},
        {"<DataPath/><DataPath>x</DataPath>", "DataPath", ""},    // an empty element is a value too
        {"<Log> on </Log>", "Log", " on "},                        // blanks belong to the value
        {"<Log>on\n</Log>", "Log", "on\n"},
        {"<Log>on</Log><Log>off</Log>", "Log", "on"},             // first occurrence wins
        {"<XLog>off</XLog><Log>on</Log>", "Log", "on"},           // a longer name is another key
        {"<log>on</log>", "Log", "<absent>"},                      // case matters
        {"<POS>Upper</POS >", "POS", "Upper"},
        {"<Log a=\"1\" b='>'>on</Log>", "Log", "on"},             // attributes mean nothing
        {"<Configure>\n<Log>on</Log>\n</Configure>", "Log", "on"},
        {"<A>x<B>y</B>z</A>", "A", "xyz"},
        // Comments, processing instructions and declarations are no keys.
        {"<!-- <NewWords>off</NewWords> --><NewWords>on</NewWords>", "NewWords", "on"},
        {"<Configure><!-- <Log>on</Log> --></Configure>", "Log", "<absent>"},
        {"<Log>o<!-- x -->n<?pi x?></Log>", "Log", "on"},
        {"<?xml version=\"1.0\"?><!DOCTYPE Configure [<!ELEMENT Log ANY>]><Log>on</Log>", "Log", "on"},
        // CDATA as it stands; references resolved; what is no reference kept as written.
        {"<DataPath><![CDATA[a<b>&amp;]]></DataPath>", "DataPath", "a<b>&amp;"},
        {"<DataPath>R&amp;D &lt;1&gt; &quot;&apos;</DataPath>", "DataPath", "R&D <1> \"'"},
        {"<DataPath>&#x41;&#66;&#x4E2D;</DataPath>", "DataPath", "AB\xE4\xB8\xAD"},
        {"<DataPath>R&D &nbsp; &#xZZ; &;</DataPath>", "DataPath", "R&D &nbsp; &#xZZ; &;"},
        {"<!DOCTYPE c [<!ENTITY d \"Da&#116;a\"><!ENTITY e \"&d;/&d;\">]><c><DataPath>&e;</DataPath></c>",
         "DataPath", "Data/Data"},
        // A GB file: a character reference in GBK bytes, and a trail byte that is ']'.
        {"<?xml version=\"1.0\" encoding=\"GB2312\"?><TagSet>&#x4E2D;</TagSet>", "TagSet", "\xD6\xD0"},
        {"<?xml version='1.0' encoding='gbk'?><A><![CDATA[\x81]]>x]]></A>", "A", "\x81]]>x"},
        {"\xEF\xBB\xBF<Log>on</Log>", "Log", "on"},
        // Before a fault only the elements already closed are seen.
        {"<Configure><Log>on</Log><NewWords>o", "Log", "on"},
        {"<Configure><Log>on</Log><NewWords>o", "NewWords", "<absent>"},
        // Values made of entities: several short ones add up to more than the file.
        {"<!DOCTYPE c [<!ENTITY t \"0123456789012345678901234567890123456789\">]>"
         "<c><A>&t;</A><B>&t;</B><C>&t;&t;</C></c>", "C", "01234567890123456789012345678901234567890123456789"
                                                          "012345678901234567890123456789"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Value(c.text, c.key), c.expected) << c.text;
}

TEST(ConfigFile, FaultsAreFoundWithTheirLine)
{
    struct Case {
        const char* text;
        const char* problem; // the start of the message
    } cases[] = {
        {"<Configure>\n<Log>on</Log>\n", "line 3: the file ends inside <Configure>, opened on line 1"},
        {"<Configure>\n<Log>on</Lo", "line 2: the file ends inside a closing tag"},
        {"<Configure>\n<Log", "line 2: the file ends inside the tag <Log>"},
        {"<A>\n</B>", "line 2: </B> closes <A>, opened on line 1"},
        {"on</Log>", "line 1: </Log> closes no element"},
        {"<A>\n<!-- never closed </A>", "line 2: the file ends inside a comment"},
        {"<A><![CDATA[x</A>", "line 1: the file ends inside a CDATA section"},
        {"<![CDATA[x]]>", "line 1: a CDATA section outside every element"},
        {"<?xml version=\"1.0\"", "line 1: the file ends inside a processing instruction"},
        {"<!DOCTYPE a [<!ENTITY e \"x\">", "line 1: the file ends inside the document type declaration"},
        {"<A>&#0;</A>", "line 1: &#0; names no character"},
        {"<A>&#xD800;</A>", "line 1: &#xD800; names no character"},
        {"<A>&#99999999999;</A>", "line 1: &#99999999999; names no character"},
        {"<?xml version=\"1.0\" encoding=\"GBK\"?><A>&#x1F600;</A>", "line 1: &#x1F600; names a character"},
        {"<A>1 < 2</A>", "line 1: a '<' that begins no tag"},
        {"<A b></A>", "line 1: the tag <A> is not well-formed"},
        {"<A/ >", "line 1: the tag <A> is not well-formed"},
        {"<!DOCTYPE a [<!ENTITY e \"&e;\">]><A>&e;</A>", "line 1: the entity &e; refers to itself"},
        {"<!DOCTYPE a [<!ENTITY a \"xxxxxxxxxxxxxxxx\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
         "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\">]><A>&c;&c;</A>",
         "line 1: the value of <A> is longer than the file"},
        {"<!DOCTYPE a [<!ENTITY a \"xxxxxxxxxxxxxxxx\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
         "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;\">"
         "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;\"><!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;\">]><C><A>&f;</A></C>",
         "line 1: the entities expand to more than 16 times the size of the file"},
        {"<A/><!DOCTYPE a>", "line 1: a document type declaration after the first element"},
        {"\xFF\xFE<\0", "line 1: the file is UTF-16"},
    };
    for (const Case& c : cases) {
        const std::string problem = ConfigTextProblem(c.text);
        EXPECT_EQ(problem.substr(0, std::string(c.problem).size()), c.problem) << c.text << "\n" << problem;
    }
    for (const char* sound : {"<A>1</A><B/>", "<?xml version=\"1.0\"?>\n<!-- c -->\n<Configure>\n</Configure>\n",
                              "plain text, no keys", "<A>R&D</A>"})
        EXPECT_EQ(ConfigTextProblem(sound), "") << sound;
}

TEST(ConfigFile, AbsentKeyLeavesBufferUntouched)
{
    char buffer[8] = "keep";
    EXPECT_FALSE(GetConfigValue("<A>1</A>", "B", buffer));
    EXPECT_STREQ(buffer, "keep");
}

TEST(ConfigFile, ReadWholeFile)
{
    TempDir dir;
    std::unique_ptr<char[]> text;
    EXPECT_EQ(ReadConfigFile((dir.path + "/missing.xml").c_str(), text), 0u);
    WriteFile(dir.path + "/empty.xml", "");
    EXPECT_EQ(ReadConfigFile((dir.path + "/empty.xml").c_str(), text), 0u);
    EXPECT_EQ(ReadConfigFile(dir.path.c_str(), text), 0u); // a directory is not a file
    WriteFile(dir.path + "/c.xml", std::string("<A>1</A>\0tail", 13));
    ASSERT_EQ(ReadConfigFile((dir.path + "/c.xml").c_str(), text), 13u);
    EXPECT_EQ(text[13], '\0');
    EXPECT_STREQ(text.get(), "<A>1</A>");
    // A file cut short is refused whole, and the reason names the place.
    WriteFile(dir.path + "/cut.xml", "<Configure>\n<TagSet>tagset.txt</TagSet>\n<NewWo");
    EXPECT_EQ(ReadConfigFile((dir.path + "/cut.xml").c_str(), text), 0u);
    EXPECT_FALSE(text);
    EXPECT_EQ(ConfigFileProblem((dir.path + "/cut.xml").c_str()),
              "not well-formed XML: line 3: the file ends inside the tag <NewWo>: is it cut short?");
    EXPECT_EQ(ConfigFileProblem((dir.path + "/c.xml").c_str()), "");
    EXPECT_EQ(ConfigFileProblem((dir.path + "/empty.xml").c_str()), "the file is empty");
    EXPECT_EQ(ConfigFileProblem(dir.path.c_str()), "Is a directory");
    EXPECT_EQ(ConfigFileProblem((dir.path + "/missing.xml").c_str()), "No such file or directory");
}

// The keys as the model reads them: a key inside a comment is no key, and a
// file cut in half does not open with the keys after the cut at their defaults.
TEST(ConfigFile, ModelIgnoresCommentedKeysAndRefusesACutFile)
{
    TempDir dir;
    const std::string full =
        "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<Configure>\n<TagSet>tagset.txt</TagSet>\n"
        "<!-- <NewWords>off</NewWords> <DataPath>Elsewhere</DataPath> -->\n<NewWords>on</NewWords>\n"
        "<!-- <PlaceNames>on</PlaceNames> --><PlaceNames>off</PlaceNames>\n</Configure>\n";
    WriteFile(dir / "Configure.xml", full);
    CModel model;
    ASSERT_TRUE(model.ReadConfig(dir.path));
    EXPECT_TRUE(model.newWordsOn);
    EXPECT_FALSE(model.entities.on);
    EXPECT_EQ(model.dataDir, "Data");

    WriteFile(dir / "Configure.xml", full.substr(0, full.size() / 2));
    CModel cut;
    EXPECT_FALSE(cut.ReadConfig(dir.path));
    std::string error;
    EXPECT_FALSE(cut.Open(dir.path, &error));
    EXPECT_NE(error.find("Configure.xml: not well-formed XML: line "), std::string::npos) << error;
}

// The trained configuration cut anywhere before its end: every cut is refused
// (none starts with the keys after the cut at their defaults).
TEST(ConfigFile, TheTrainedFileCutAnywhereIsRefused)
{
    const std::string trained = ReadFile(std::string(MORV_BINARY_DIR) + "/bin/Morv/Configure.xml");
    if (trained.empty())
        GTEST_SKIP() << "no trained models";
    const size_t end = trained.rfind("</Configure>");
    ASSERT_NE(end, std::string::npos);
    TempDir dir;
    for (size_t cut = 1; cut < end + 12; ++cut) {
        WriteFile(dir / "Configure.xml", trained.substr(0, cut));
        CModel model;
        EXPECT_FALSE(model.ReadConfig(dir.path)) << "cut after " << cut << " bytes";
    }
    WriteFile(dir / "Configure.xml", trained.substr(0, end + 12));
    CModel whole;
    EXPECT_TRUE(whole.ReadConfig(dir.path));
    EXPECT_TRUE(whole.newWordsOn);
}

} // namespace
