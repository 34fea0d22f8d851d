// The morv command's parts: options, encodings, offset mapping, bounded reading
// and the line formats, on hand-made sentences (no models needed).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/morv.h"
#include "tests/TestUtil.h"
#include "engine/EngineText.h"
#include "tools/morv/InputReader.h"
#include "tools/morv/JsonFormatter.h"
#include "tools/morv/MorvApp.h"
#include "tools/morv/MorvOptions.h"
#include "tools/morv/SegFormatter.h"
#include "engine/TextCodec.h"
#include "tools/morv/TextFormatter.h"

namespace {

const char* const kZhongGbk = "\xD6\xD0";        // 中
const char* const kZhongUtf8 = "\xE4\xB8\xAD";   // 中
const char* const kGrinUtf8 = "\xF0\x9F\x98\x80"; // U+1F600, not in GBK

TEST(MorvOptions, ParsesEveryOption)
{
    struct Case {
        std::vector<const char*> args;
        MorvOptions::Action action;
        OutputFormat format;
        Encoding encoding;
        size_t files;
    } cases[] = {
        {{}, MorvOptions::Action::Run, OutputFormat::Text, Encoding::Unknown, 0},
        {{"--format", "seg", "a.txt"}, MorvOptions::Action::Run, OutputFormat::Seg, Encoding::Unknown, 1},
        {{"--format=json", "-", "b"}, MorvOptions::Action::Run, OutputFormat::Json, Encoding::Unknown, 2},
        {{"--format", "html", "--encoding", "GBK"}, MorvOptions::Action::Run, OutputFormat::Html, Encoding::Gbk, 0},
        {{"--encoding=utf8"}, MorvOptions::Action::Run, OutputFormat::Text, Encoding::Utf8, 0},
        {{"--encoding", "auto", "--", "--format"}, MorvOptions::Action::Run, OutputFormat::Text, Encoding::Unknown, 1},
        {{"x", "--help"}, MorvOptions::Action::Help, OutputFormat::Text, Encoding::Unknown, 1},
        {{"--version"}, MorvOptions::Action::Version, OutputFormat::Text, Encoding::Unknown, 0},
        {{"--format", "xml"}, MorvOptions::Action::Error, OutputFormat::Text, Encoding::Unknown, 0},
        {{"--encoding", "latin1"}, MorvOptions::Action::Error, OutputFormat::Text, Encoding::Unknown, 0},
        {{"--base"}, MorvOptions::Action::Error, OutputFormat::Text, Encoding::Unknown, 0},
        {{"--html="}, MorvOptions::Action::Error, OutputFormat::Text, Encoding::Unknown, 0},
        {{"-x"}, MorvOptions::Action::Error, OutputFormat::Text, Encoding::Unknown, 0},
        {{"-f", "words", "-e", "gbk", "a"}, MorvOptions::Action::Run, OutputFormat::Words, Encoding::Gbk, 1},
        {{"-fcompact", "-j2", "-"}, MorvOptions::Action::Run, OutputFormat::Compact, Encoding::Unknown, 1},
        {{"-j", "0"}, MorvOptions::Action::Error, OutputFormat::Text, Encoding::Unknown, 0},
        {{"--jobs=x"}, MorvOptions::Action::Error, OutputFormat::Text, Encoding::Unknown, 0},
        {{"--output-encoding", "latin1"}, MorvOptions::Action::Error, OutputFormat::Text, Encoding::Unknown, 0},
        {{"-o"}, MorvOptions::Action::Error, OutputFormat::Text, Encoding::Unknown, 0},
        {{"-v"}, MorvOptions::Action::Version, OutputFormat::Text, Encoding::Unknown, 0},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv{"morv"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        MorvOptions options;
        const auto action = options.Parse(static_cast<int>(argv.size()), argv.data());
        std::string joined;
        for (const char* a : c.args)
            joined += std::string(a) + " ";
        EXPECT_EQ(action, c.action) << joined;
        if (action == MorvOptions::Action::Error) {
            EXPECT_FALSE(options.error.empty()) << joined;
            continue;
        }
        EXPECT_EQ(options.format, c.format) << joined;
        EXPECT_EQ(options.encoding, c.encoding) << joined;
        EXPECT_EQ(options.files.size(), c.files) << joined;
    }
    MorvOptions options;
    const char* argv[] = {"morv", "--html", "r.htm", "--base=/b", "--user-dict", "w.txt", "--user-dict=v.txt"};
    ASSERT_EQ(options.Parse(7, argv), MorvOptions::Action::Run);
    EXPECT_EQ(options.htmlFile, "r.htm");
    EXPECT_EQ(options.baseDir, "/b");
    EXPECT_EQ(options.userDicts, (std::vector<std::string>{"w.txt", "v.txt"}));
    MorvOptions shorts;
    const char* argv2[] = {"morv", "-o", "out.txt", "-d/m", "-u", "a", "-ub", "-j", "3",
                           "--output-encoding=GBK", "--dump-config"};
    ASSERT_EQ(shorts.Parse(11, argv2), MorvOptions::Action::Run);
    EXPECT_EQ(shorts.output, "out.txt");
    EXPECT_EQ(shorts.baseDir, "/m");
    EXPECT_EQ(shorts.userDicts, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(shorts.jobs, 3);
    EXPECT_EQ(shorts.outputEncoding, Encoding::Gbk);
    EXPECT_TRUE(shorts.dumpConfig);
    EXPECT_FALSE(shorts.longUnits);
    for (const auto& c : {std::make_pair("--standard=long", true), std::make_pair("--standard=corpus", false)}) {
        MorvOptions standard;
        const char* argv3[] = {"morv", c.first};
        ASSERT_EQ(standard.Parse(2, argv3), MorvOptions::Action::Run) << c.first;
        EXPECT_EQ(standard.longUnits, c.second) << c.first;
    }
    MorvOptions wrong;
    const char* argv4[] = {"morv", "--standard", "jieba"};
    EXPECT_EQ(wrong.Parse(3, argv4), MorvOptions::Action::Error);
}

TEST(TextCodec, DecodesUtf8Strictly)
{
    struct Case {
        std::string bytes;
        int length;
        uint32_t cp;
    } cases[] = {
        {"A", 1, 'A'},
        {"\xC2\xA9", 2, 0xA9},
        {kZhongUtf8, 3, 0x4E2D},
        {kGrinUtf8, 4, 0x1F600},
        {"\xC0\xAF", 0, 0},             // overlong
        {"\xE0\x80\xAF", 0, 0},         // overlong
        {"\xED\xA0\x80", 0, 0},         // surrogate
        {"\xF4\x90\x80\x80", 0, 0},     // beyond U+10FFFF
        {"\xE4\x41", 0, 0},             // bad continuation
        {"\x80", 0, 0},                 // stray continuation
        {"\xE4\xB8", -1, 0},            // cut off
    };
    for (const Case& c : cases) {
        uint32_t cp = 0;
        const int n = TextCodec::DecodeUtf8(reinterpret_cast<const unsigned char*>(c.bytes.data()),
                                            c.bytes.size(), &cp);
        EXPECT_EQ(n, c.length) << c.bytes;
        if (n > 0) {
            EXPECT_EQ(cp, c.cp) << c.bytes;
        }
    }
}

TEST(TextCodec, DetectsEncoding)
{
    struct Case {
        std::string text;
        bool complete;
        Encoding expected;
    } cases[] = {
        {"plain ascii\n", true, Encoding::Unknown},
        {std::string("a") + kZhongUtf8 + "b", true, Encoding::Utf8},
        {std::string("a") + kZhongGbk + "b", true, Encoding::Gbk},
        {"\xC4\xE3\xBA\xC3", true, Encoding::Gbk},         // 你好 in GBK
        {std::string(kZhongUtf8) + "\xE4\xB8", false, Encoding::Utf8}, // window ends inside a character
        {std::string(kZhongUtf8) + "\xE4\xB8", true, Encoding::Gbk},   // the file ends there
        {std::string(kZhongUtf8) + "\xC0\xAF", true, Encoding::Gbk},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TextCodec::Detect(c.text.data(), c.text.size(), c.complete), c.expected) << c.text;
}

TEST(TextCodec, GbkTablesRoundTrip)
{
    const TextCodec& codec = TextCodec::Instance();
    ASSERT_TRUE(codec.IsReady());
    struct Case {
        unsigned gbk;
        uint32_t cp;
    } cases[] = {{0xD6D0, 0x4E2D}, {0xA1A3, 0x3002}, {0xA1AA, 0x2014}, {0xA1A4, 0x00B7},
                 {0xE946, 0x9555} /* 镕, GBK only */, {0xA3A1, 0xFF01}};
    for (const Case& c : cases) {
        EXPECT_EQ(codec.GbkToUnicode(c.gbk), c.cp) << std::hex << c.gbk;
        EXPECT_EQ(codec.UnicodeToGbk(c.cp), c.gbk) << std::hex << c.cp;
    }
    EXPECT_EQ(codec.UnicodeToGbk(0x1F600), 0u);
    EXPECT_EQ(codec.UnicodeToGbk(0x20000), 0u); // CJK extension B
    EXPECT_EQ(codec.GbkToUnicode(0xA1A0), 0u);  // unassigned: the placeholder
    // Every assigned two-byte code comes back as itself.
    int mismatches = 0;
    for (unsigned code = 0x8140; code < 0x10000; ++code) {
        const uint32_t cp = codec.GbkToUnicode(code);
        if (cp != 0 && cp < 0x10000 && codec.UnicodeToGbk(cp) != code)
            ++mismatches;
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(TextCodec, JsonStringsAreEscapedValidUtf8)
{
    const TextCodec& codec = TextCodec::Instance();
    struct Case {
        std::string in;
        Encoding enc;
        std::string out;
    } cases[] = {
        {"a\"b\\c", Encoding::Utf8, "a\\\"b\\\\c"},
        {"\t\n\r\x01\x1f/", Encoding::Utf8, "\\t\\n\\r\\u0001\\u001f/"},
        {std::string(kZhongUtf8) + kGrinUtf8, Encoding::Utf8, std::string(kZhongUtf8) + kGrinUtf8},
        {"x\xFFy\xC0\xAF", Encoding::Utf8, "x\xEF\xBF\xBDy\xEF\xBF\xBD\xEF\xBF\xBD"},
        {std::string(kZhongGbk) + "<", Encoding::Gbk, std::string(kZhongUtf8) + "<"},
        {"\xA1\xA0\xB0", Encoding::Gbk, "\xEF\xBF\xBD\xEF\xBF\xBD"}, // unassigned pair, lone lead
    };
    for (const Case& c : cases) {
        std::string out;
        codec.AppendJson(out, c.in.data(), c.in.size(), c.enc);
        EXPECT_EQ(out, c.out) << c.in;
    }
}

// The engine text of mixed input: which engine bytes come from which input bytes and characters.
TEST(EngineText, MapsUtf8AndSubstitutesWhatGbkLacks)
{
    const std::string input = std::string("a") + kZhongUtf8 + kGrinUtf8 + std::string("\0b\xFF", 3) + "\n";
    EngineText text;
    text.Build(input.data(), input.size(), Encoding::Utf8, true);
    const std::string expected = std::string("a\xD6\xD0\xA1\xA0\xA1\xA0") + "b\xA1\xA0\n";
    ASSERT_EQ(std::string(text.Text(), text.Length()), expected);
    EXPECT_EQ(std::strlen(text.Text()), text.Length()); // no NUL inside
    const size_t inputAt[] = {0, 1, 1, 4, 4, 8, 8, 9, 10, 10, 11, 12};
    const size_t charAt[] = {0, 1, 1, 2, 2, 3, 3, 4, 5, 5, 6, 7};
    for (size_t g = 0; g <= text.Length(); ++g) {
        EXPECT_EQ(text.InputOffset(g), inputAt[g]) << g;
        EXPECT_EQ(text.CharIndex(g), charAt[g]) << g;
    }
    EXPECT_EQ(text.Substitutions(), (std::vector<uint32_t>{0x1F600, 0xFFFD, 0xFFFD}));
    EXPECT_TRUE(text.IsPlaceholdersOnly(3, 5));
    EXPECT_TRUE(text.IsPlaceholdersOnly(3, 7));
    EXPECT_FALSE(text.IsPlaceholdersOnly(1, 5));
    EXPECT_FALSE(text.IsPlaceholdersOnly(7, 8));
}

TEST(EngineText, GbkPassesThroughUnlessTheEngineCannotTakeIt)
{
    EngineText text;
    const std::string clean = std::string("x") + kZhongGbk + "\r\n";
    text.Build(clean.data(), clean.size(), Encoding::Gbk, true);
    EXPECT_EQ(std::string(text.Text()), clean);
    EXPECT_TRUE(text.Substitutions().empty());
    EXPECT_EQ(text.InputOffset(3), 3u);
    EXPECT_EQ(text.CharIndex(3), 2u);
    EXPECT_EQ(text.CharCount(), 4u);

    // A NUL, the placeholder itself and a lead byte without trail before the line feed.
    const std::string dirty = std::string("\0", 1) + "\xA1\xA0" + kZhongGbk + "\xB0\n";
    text.Build(dirty.data(), dirty.size(), Encoding::Gbk, true);
    EXPECT_EQ(std::string(text.Text(), text.Length()), "\xA1\xA0\xA1\xA0\xD6\xD0\xA1\xA0\n");
    EXPECT_EQ(text.Substitutions(), (std::vector<uint32_t>{0xFFFD, EngineText::kOwnBytes, 0xFFFD}));
    EXPECT_EQ(text.InputOffset(2), 1u);
    EXPECT_EQ(text.InputOffset(6), 5u);
    EXPECT_EQ(text.InputOffset(8), 6u); // the line feed stays a line feed
    EXPECT_EQ(text.CharIndex(8), 4u);
}

// One EngineText reused over pieces of both encodings and of every length
// (as the command reuses one per analyser): each build must map its own text
// exactly as a fresh object does, whatever a longer piece left behind.
TEST(EngineText, ReusedOverPiecesMapsAsAFreshOne)
{
    const char* const units[] = {"a", " ", "\n", kZhongUtf8, kGrinUtf8, "\xFF", "\xE4\xB8", "\xED\xA0\x80",
                                 "\xEA\xB0\x80" /* hangul */, kZhongGbk, "\xA1\xA0", "\xB0"};
    std::mt19937 random(7177);
    EngineText reused;
    for (int round = 0; round < 400; ++round) {
        std::string input;
        const int n = std::uniform_int_distribution<int>(0, round % 7 == 0 ? 200 : 12)(random);
        for (int i = 0; i < n; ++i)
            input += units[std::uniform_int_distribution<size_t>(0, std::size(units) - 1)(random)];
        const Encoding enc = round % 3 == 0 ? Encoding::Gbk : Encoding::Utf8;
        const bool wantChars = round % 5 != 4;
        EngineText fresh;
        fresh.Build(input.data(), input.size(), enc, wantChars);
        reused.Build(input.data(), input.size(), enc, wantChars);
        ASSERT_EQ(std::string(reused.Text(), reused.Length()), std::string(fresh.Text(), fresh.Length()));
        ASSERT_EQ(reused.CharCount(), fresh.CharCount()) << round;
        ASSERT_EQ(reused.Substitutions(), fresh.Substitutions());
        for (size_t g = 0; g <= fresh.Length(); ++g) {
            ASSERT_EQ(reused.InputOffset(g), fresh.InputOffset(g)) << round << " " << g;
            if (wantChars) {
                ASSERT_EQ(reused.CharIndex(g), fresh.CharIndex(g)) << round << " " << g;
            }
        }
    }
}

std::vector<std::string> ReadPieces(const std::string& content, size_t cap, std::vector<bool>* ends = nullptr)
{
    TempDir dir;
    WriteFile(dir / "in", content);
    const int fd = ::open((dir / "in").c_str(), O_RDONLY);
    InputReader reader(fd, cap);
    std::vector<std::string> pieces;
    InputReader::Piece piece;
    // A cutter that takes a prime number of bytes, to cut anywhere.
    const InputReader::Cutter cutter = [](const char*, size_t size) { return size > 7 ? size_t(7) : size; };
    while (reader.Next(piece, cutter)) {
        pieces.emplace_back(piece.data, piece.size);
        if (ends != nullptr)
            ends->push_back(piece.endsLine);
    }
    ::close(fd);
    return pieces;
}

TEST(InputReader, LinesAndBoundedPieces)
{
    std::vector<bool> ends;
    EXPECT_EQ(ReadPieces("a\r\nbb\n\nlast", 16, &ends), (std::vector<std::string>{"a\r\n", "bb\n", "\n", "last"}));
    EXPECT_EQ(ends, (std::vector<bool>{true, true, true, true}));
    EXPECT_TRUE(ReadPieces("", 16).empty());

    ends.clear();
    const std::string longLine(40, 'x');
    EXPECT_EQ(ReadPieces(longLine + "\nz\n", 16, &ends),
              (std::vector<std::string>{"xxxxxxx", "xxxxxxx", "xxxxxxx", "xxxxxxx", "xxxxxxxxxxxx\n", "z\n"}));
    EXPECT_EQ(ends, (std::vector<bool>{false, false, false, false, true, true}));

    // Large pseudo-random input: the pieces put together are the input, and none is over the cap.
    std::string big;
    unsigned seed = 12345;
    for (int i = 0; i < 300000; ++i) {
        seed = seed * 1103515245 + 12345;
        big += (seed >> 16) % 97 == 0 ? '\n' : static_cast<char>('a' + (seed >> 16) % 26);
    }
    std::string joined;
    for (const std::string& p : ReadPieces(big, 64)) {
        EXPECT_LE(p.size(), 64u);
        joined += p;
    }
    EXPECT_EQ(joined, big);
}

TEST(MorvApp, CutsLongLinesAtACharacterBoundary)
{
    // No engine here: cuts prefer a blank, else the last whole character.
    const std::string utf8 = std::string("ab ") + kZhongUtf8 + kZhongUtf8;
    EXPECT_EQ(MorvApp::CutPoint(nullptr, utf8.data(), utf8.size(), Encoding::Utf8), 3u);
    const std::string noBlank = std::string(kZhongUtf8) + kZhongUtf8;
    EXPECT_EQ(MorvApp::CutPoint(nullptr, noBlank.data(), noBlank.size() - 1, Encoding::Utf8), 3u);
    const std::string gbk = std::string(kZhongGbk) + kZhongGbk + kZhongGbk;
    EXPECT_EQ(MorvApp::CutPoint(nullptr, gbk.data(), 5, Encoding::Gbk), 4u);
    EXPECT_EQ(MorvApp::CutPoint(nullptr, "abc", 3, Encoding::Gbk), 3u);
}

// Hand-made tokens over a piece of input: one token per character, each tagged
// t7 but a character GBK lacks ("w") and line ends (line breaks).
struct FakeTokens {
    std::vector<morv_token> tokens;
    FakeTokens(const std::string& piece, Encoding enc)
    {
        const unsigned char* s = reinterpret_cast<const unsigned char*>(piece.data());
        size_t chars = 0;
        for (size_t i = 0; i < piece.size(); ++chars) {
            size_t n = 1;
            if (s[i] >= 0x80)
                n = enc == Encoding::Gbk ? 2 : s[i] >= 0xF0 ? 4 : s[i] >= 0xE0 ? 3 : 2;
            morv_token t {};
            t.word = piece.data() + i;
            t.length = n;
            t.start = i;
            t.end = i + n;
            t.char_start = chars;
            t.char_end = chars + 1;
            t.tag = n == 4 ? "w" : "t7";
            if (s[i] == '\n' || s[i] == '\r')
                t.flags = MORV_FLAG_LINE_BREAK;
            tokens.push_back(t);
            i += n;
        }
    }
};

struct Captured {
    char* data = nullptr;
    size_t size = 0;
    std::FILE* file;
    Captured() { file = open_memstream(&data, &size); }
    ~Captured()
    {
        std::fclose(file);
        std::free(data);
    }
    std::string Text()
    {
        std::fflush(file);
        return std::string(data, size);
    }
};

class Formatters : public ::testing::Test {
protected:
    // Runs one line, cut into pieces of the given byte sizes, through a formatter.
    std::string Run(LineFormatter& formatter, Captured& out, const std::string& line, Encoding enc,
                    const std::vector<size_t>& pieceSizes)
    {
        size_t at = 0;
        for (size_t k = 0; k < pieceSizes.size(); ++k) {
            const std::string piece = line.substr(at, pieceSizes[k]);
            FakeTokens fake(piece, enc);
            const bool last = k + 1 == pieceSizes.size();
            size_t textLength = pieceSizes[k];
            while (last && textLength > 0 && (line[at + textLength - 1] == '\n' || line[at + textLength - 1] == '\r'))
                --textLength;
            formatter.BeginPiece(piece.data(), piece.size(), textLength, enc);
            formatter.Tokens(fake.tokens.data(), fake.tokens.size());
            formatter.FinishPiece(last, "\n");
            at += pieceSizes[k];
        }
        formatter.Flush();
        return out.Text();
    }
};

TEST_F(Formatters, TextShowsInputBytesAndTags)
{
    Captured out;
    TextFormatter formatter(out.file);
    const std::string line = std::string("a") + kZhongUtf8 + kGrinUtf8 + "\n";
    EXPECT_EQ(Run(formatter, out, line, Encoding::Utf8, {line.size()}),
              std::string("a/t7  ") + kZhongUtf8 + "/t7  " + kGrinUtf8 + "/w\n");
}

// The text format over pieces, in the input's encoding and converted both
// ways: the gap, the word, the slash and the tag of every item, in one buffer
// that outgrows its first capacity.
TEST_F(Formatters, TextItemsOverManyWordsAndEncodings)
{
    struct Case {
        Encoding input, output;
        std::string word, written;
    };
    const Case cases[] = {
        {Encoding::Utf8, Encoding::Unknown, kZhongUtf8, kZhongUtf8},
        {Encoding::Gbk, Encoding::Gbk, kZhongGbk, kZhongGbk},
        {Encoding::Gbk, Encoding::Utf8, kZhongGbk, kZhongUtf8},
        {Encoding::Utf8, Encoding::Gbk, kZhongUtf8, kZhongGbk},
    };
    for (const Case& c : cases) {
        Captured out;
        TextFormatter formatter(out.file);
        formatter.SetOutputEncoding(c.output);
        std::string line, want;
        for (int i = 0; i < 3000; ++i) {
            line += i % 2 ? c.word : std::string("x");
            want += std::string(i > 0 ? "  " : "") + (i % 2 ? c.written : "x") + "/t7";
        }
        EXPECT_EQ(Run(formatter, out, line + "\n", c.input, {line.size() / 2, line.size() - line.size() / 2 + 1}),
                  want + "\n");
    }
}

TEST_F(Formatters, SegSplitsNamesAndDropsBlanks)
{
    Captured out;
    SegFormatter formatter(out.file);
    // 中中 中 as GBK: the first token is a "name" split after its first character.
    const std::string line = std::string(kZhongGbk) + kZhongGbk + " " + kZhongGbk;
    std::vector<morv_token> tokens(3, morv_token{});
    const size_t spans[3][2] = {{0, 4}, {4, 5}, {5, 7}};
    for (size_t i = 0; i < 3; ++i) {
        tokens[i].word = line.data() + spans[i][0];
        tokens[i].length = spans[i][1] - spans[i][0];
        tokens[i].start = spans[i][0];
        tokens[i].end = spans[i][1];
        tokens[i].tag = "nr";
    }
    tokens[0].name_split = 2;
    formatter.BeginPiece(line.data(), line.size(), line.size(), Encoding::Gbk);
    formatter.Tokens(tokens.data(), tokens.size());
    formatter.FinishPiece(true, "\r\n");
    formatter.Flush();
    EXPECT_EQ(out.Text(), std::string(kZhongGbk) + " " + kZhongGbk + " " + kZhongGbk + "\r\n");
}

TEST_F(Formatters, CompoundsComeAsTheirWordsInSegAndJsonAndWholeInWords)
{
    // x中中中y in UTF-8: the token 中中中 is a compound of the words 中 and 中中.
    const std::string line = std::string("x") + kZhongUtf8 + kZhongUtf8 + kZhongUtf8 + "y";
    std::vector<morv_token> tokens(3, morv_token{});
    const size_t spans[3][2] = {{0, 1}, {1, 10}, {10, 11}};
    for (size_t i = 0; i < 3; ++i) {
        tokens[i].word = line.data() + spans[i][0];
        tokens[i].length = spans[i][1] - spans[i][0];
        tokens[i].start = spans[i][0];
        tokens[i].end = spans[i][1];
        tokens[i].char_start = i == 0 ? 0 : i == 1 ? 1 : 4;
        tokens[i].char_end = i == 0 ? 1 : i == 1 ? 4 : 5;
        tokens[i].tag = "n";
    }
    tokens[1].tag = "nt";
    tokens[1].flags = MORV_FLAG_ORGANIZATION | MORV_FLAG_COMPOUND;
    const morv_part parts[2] = {{1, 4, "ns"}, {4, 10, "n"}};
    const size_t offsets[4] = {0, 0, 2, 2};
    const LineFormatter::PartList list{parts, offsets};
    const auto run = [&](LineFormatter& formatter, Captured& out) {
        formatter.BeginPiece(line.data(), line.size(), line.size(), Encoding::Utf8);
        formatter.Tokens(tokens.data(), tokens.size(), &list);
        formatter.FinishPiece(true, "\n");
        formatter.Flush();
        return out.Text();
    };
    const std::string zhong = kZhongUtf8;
    {
        Captured out;
        SegFormatter seg(out.file, true);
        EXPECT_EQ(run(seg, out), "x " + zhong + " " + zhong + zhong + " y\n");
    }
    {
        Captured out;
        SegFormatter words(out.file, false);
        EXPECT_EQ(run(words, out), "x " + zhong + zhong + zhong + " y\n");
    }
    {
        Captured out;
        JsonFormatter json(out.file);
        const std::string text = run(json, out);
        EXPECT_NE(text.find("\"tag\":\"nt\",\"start\":1,\"end\":4,\"parts\":[{\"word\":\"" + zhong +
                            "\",\"tag\":\"ns\",\"start\":1,\"end\":2},{\"word\":\"" + zhong + zhong +
                            "\",\"tag\":\"n\",\"start\":2,\"end\":4}]}"),
                  std::string::npos)
            << text;
    }
}

TEST_F(Formatters, JsonOffsetsCountCharactersAcrossPieces)
{
    const std::string line = std::string("\"") + kZhongUtf8 + kGrinUtf8 + "x\\" + kZhongUtf8 + "\n";
    std::string whole;
    {
        Captured out;
        JsonFormatter formatter(out.file);
        whole = Run(formatter, out, line, Encoding::Utf8, {line.size()});
    }
    const std::string word = "{\"word\":\"";
    EXPECT_EQ(whole, "{\"text\":\"\\\"" + std::string(kZhongUtf8) + kGrinUtf8 + "x\\\\" + kZhongUtf8 +
                         "\",\"tokens\":[" + word + "\\\"\",\"tag\":\"t7\",\"start\":0,\"end\":1}," + word +
                         kZhongUtf8 + "\",\"tag\":\"t7\",\"start\":1,\"end\":2}," + word + kGrinUtf8 +
                         "\",\"tag\":\"w\",\"start\":2,\"end\":3}," + word +
                         "x\",\"tag\":\"t7\",\"start\":3,\"end\":4}," + word +
                         "\\\\\",\"tag\":\"t7\",\"start\":4,\"end\":5}," + word + kZhongUtf8 +
                         "\",\"tag\":\"t7\",\"start\":5,\"end\":6}]}\n");
    // The same line in three pieces, and with the tokens spilled to the spool, reads the same.
    for (size_t spill : {size_t(1) << 20, size_t(1)}) {
        Captured out;
        JsonFormatter formatter(out.file, spill);
        EXPECT_EQ(Run(formatter, out, line, Encoding::Utf8, {4, 6, line.size() - 10}), whole) << spill;
    }
    // GBK input of the same text (the emoji aside) gives UTF-8 with the same offsets.
    const std::string gbkLine = std::string("\"") + kZhongGbk + "x\\" + kZhongGbk + "\n";
    Captured out;
    JsonFormatter formatter(out.file);
    const std::string gbk = Run(formatter, out, gbkLine, Encoding::Gbk, {gbkLine.size()});
    EXPECT_NE(gbk.find(std::string(",\"tokens\":[") + word + "\\\"\",\"tag\":\"t7\",\"start\":0,\"end\":1}," +
                       word + kZhongUtf8 + "\",\"tag\":\"t7\",\"start\":1,\"end\":2}"),
              std::string::npos)
        << gbk;
}

} // namespace
