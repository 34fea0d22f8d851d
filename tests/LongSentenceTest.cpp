// Text without a sentence end: where the analyser cuts it, and that its memory
// stays bounded however long such a sentence runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "engine/CAnalyzer.h"
#include "engine/CModel.h"
#include "segment/CPreProcess.h"
#include "tests/TestUtil.h"

namespace {

const std::string kTrained = std::string(MORV_BINARY_DIR) + "/bin/Morv";
const std::string kClassic = std::string(MORV_BINARY_DIR) + "/models-classic";
constexpr int kBound = CPreProcess::kMaxSentenceBytes;

// GBK pieces.
const std::string kWords = "\xD6\xD0\xB9\xFA\xC8\xCB\xC3\xF1\xD4\xDA\xB1\xB1\xBE\xA9\xB9\xA4\xD7\xF7"; // 中国人民在北京工作
const std::string kComma = "\xA3\xAC";                                                             // ，
const std::string kWideSpace = "\xA1\xA1";
const std::string kStop = "\xA1\xA3"; // 。

std::string Repeat(const std::string& piece, size_t bytes)
{
    std::string s;
    s.reserve(bytes + piece.size());
    while (s.size() < bytes)
        s += piece;
    return s;
}

// Whether at is where a character of the GBK text begins (or its end).
bool IsCharacterBoundary(const std::string& text, size_t at)
{
    size_t p = 0;
    while (p < at)
        p += static_cast<unsigned char>(text[p]) >= 0x80 && p + 1 < text.size() ? 2 : 1;
    return p == at;
}

struct Cut {
    size_t start;
    size_t length;
};

class LongSentence : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!FileExists(kTrained + "/Configure.xml"))
            GTEST_SKIP() << "no trained models in " << kTrained;
    }
    // The sentences the analyser makes of text, as spans of it.
    static std::vector<Cut> Sentences(const std::string& base, const std::string& text)
    {
        CModel model;
        std::string error;
        EXPECT_TRUE(model.Open(base, &error)) << error;
        CAnalyzer analyzer(model);
        std::vector<Cut> cuts;
        analyzer.Analyze(text.c_str(), [&](const CSentence& s) {
            cuts.push_back({static_cast<size_t>(s.text - text.c_str()), static_cast<size_t>(s.length)});
        });
        return cuts;
    }
};

TEST_F(LongSentence, IsCutAtItsLastMarkOrBlankElseAtACharacterBoundary)
{
    const struct {
        const char* name;
        std::string text;
        // Each cut but the last ends just after this piece (empty: anywhere on a
        // character boundary) and is at least this long.
        std::string endsWith;
        size_t atLeast;
    } cases[] = {
        {"commas", Repeat(kWords + kComma, 40000), kComma, kBound / 2},
        {"ideographic spaces", Repeat(kWords + kWideSpace, 40000), kWideSpace, kBound / 2},
        {"ASCII blanks", Repeat(kWords + " ", 40000), " ", kBound / 2},
        {"hanzi only", Repeat(kWords, 40000), "", kBound},
        // A mark in the first half only: too early to cut at; the bound is taken.
        {"a mark early", kComma + Repeat(kWords, 40000), "", kBound},
        {"control bytes", std::string(30000, '\x01'), "", kBound},
        // One run of letters or digits would be one atom: it is cut too.
        {"letters", std::string(30000, 'a'), "", kBound},
        {"digits", Repeat("1234567890", 30000), "", kBound},
    };
    for (const auto& c : cases) {
        for (const std::string& base : {kTrained, kClassic}) {
            const std::vector<Cut> cuts = Sentences(base, c.text);
            ASSERT_GE(cuts.size(), 2u) << c.name;
            size_t at = 0;
            for (size_t i = 0; i < cuts.size(); ++i) {
                const Cut& s = cuts[i];
                ASSERT_EQ(s.start, at) << c.name << ": sentence " << i << " leaves a gap";
                // At most one character beyond the bound.
                EXPECT_LE(s.length, size_t(kBound) + 1) << c.name << ": sentence " << i;
                at += s.length;
                if (i + 1 == cuts.size())
                    continue;
                EXPECT_GE(s.length, c.atLeast) << c.name << ": sentence " << i;
                if (!c.endsWith.empty()) {
                    EXPECT_EQ(c.text.compare(at - c.endsWith.size(), c.endsWith.size(), c.endsWith), 0)
                        << c.name << ": sentence " << i << " ends at " << at;
                }
                EXPECT_TRUE(IsCharacterBoundary(c.text, at)) << c.name << ": sentence " << i << " ends at " << at;
            }
            EXPECT_EQ(at, c.text.size()) << c.name;
        }
    }
}

TEST_F(LongSentence, ASentenceWithAnEndUpToTheBoundStaysWhole)
{
    // Just below the bound, ended: one sentence, and the next one starts after it.
    std::string first = Repeat(kWords, kBound - 40);
    first += kStop;
    const std::string text = first + kWords + kStop;
    const std::vector<Cut> cuts = Sentences(kTrained, text);
    ASSERT_EQ(cuts.size(), 2u);
    EXPECT_EQ(cuts[0].length, first.size());
    EXPECT_EQ(cuts[1].start, first.size());
}

TEST_F(LongSentence, MemoryStaysBoundedWhateverTheLength)
{
#ifdef MORV_SANITIZED
    GTEST_SKIP() << "the sanitizers reserve more address space than any limit leaves";
#else
    // Megabytes without a sentence end in one call, in a child whose address
    // space is capped 96 MiB above what it holds with the model and the text
    // loaded: that held some kilobytes per character before such sentences
    // were cut (gigabytes here).
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"hanzi", Repeat(kWords, 3 << 20)},
        {"control bytes", std::string(2 << 20, '\x01')},
        {"letters", std::string(2 << 20, 'a')},
    };
    for (const auto& c : cases) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            CModel model;
            std::string error;
            if (!model.Open(kTrained, &error))
                ::_exit(3);
            CAnalyzer analyzer(model);
            size_t covered = 0;
            analyzer.Analyze("\xD6\xD0\xB9\xFA", [&](const CSentence&) {}); // every lazy part made
            long kib = 0;
            std::ifstream status("/proc/self/status");
            for (std::string line; std::getline(status, line);)
                if (line.rfind("VmSize:", 0) == 0)
                    kib = std::atol(line.c_str() + 7);
            const rlim_t bytes = rlim_t(kib + 96 * 1024) * 1024;
            const rlimit cap{bytes, bytes};
            ::setrlimit(RLIMIT_AS, &cap);
            try {
                analyzer.Analyze(c.text.c_str(), [&](const CSentence& s) { covered += size_t(s.length); });
            } catch (...) {
                ::_exit(2);
            }
            ::_exit(covered == c.text.size() ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status)) << c.name << ": ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0) << c.name << " (1: text not covered, 2: out of memory)";
    }
#endif
}

} // namespace
