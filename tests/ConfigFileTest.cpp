#include <gtest/gtest.h>

#include <cstdio>
#include <string>

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

TEST(ConfigFile, ValuesByPlainSubstringSearch)
{
    struct Case {
        const char* text;
        const char* key;
        const char* expected;
    } cases[] = {
        {"<DataPath>Data</DataPath>", "DataPath", "Data"},
        {"<DataPath></DataPath>", "DataPath", ""},
        {"<Log> on </Log>", "Log", " on "},
        {"<Log>on\n</Log>", "Log", "on\n"},
        {"<Log>on</Log><Log>off</Log>", "Log", "on"},            // first occurrence wins
        {"<XLog>off</XLog><Log>on</Log>", "Log", "off</XLog><Log>on"}, // longer name ending in the key
        {"<a>1</a><TagSet>tags.txt", "TagSet", "tags.txt"},      // no closing tag: rest of file
        {"<log>on</log>", "Log", "<absent>"},                    // case matters
        {"on</Log>", "Log", ""},                                 // marker inside the closing tag
        {"x</Log>y</Log>", "Log", "y"},                          // opening marker inside a closing tag
        {"<POS>Upper</POS >", "POS", "Upper"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Value(c.text, c.key), c.expected) << c.text;
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
}

} // namespace
