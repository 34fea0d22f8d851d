// Run-time words at scale, through the C API: a change costs about what it
// adds, and a list of a million entries loads in seconds and little memory.
#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/morv.h"
#include "tests/TestUtil.h"

namespace {

const std::string kTrained = std::string(MORV_BINARY_DIR) + "/bin/Morv";

// 他在北京大学读书。
const char kSentence[] = "\xE4\xBB\x96\xE5\x9C\xA8\xE5\x8C\x97\xE4\xBA\xAC\xE5\xA4\xA7\xE5\xAD\xA6"
                         "\xE8\xAF\xBB\xE4\xB9\xA6\xE3\x80\x82";

double CpuSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Random words of 2 to 4 GB2312 hanzi (GBK), one a line, every third with a
// frequency and a tag.
std::string RandomList(size_t entries, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> chars(2, 4), lead(0xB0, 0xF7), trail(0xA1, 0xFE);
    std::string list;
    list.reserve(entries * 12);
    for (size_t i = 0; i < entries; ++i) {
        for (int n = chars(rng); n > 0; --n) {
            list += static_cast<char>(lead(rng));
            list += static_cast<char>(trail(rng));
        }
        if (i % 3 == 0)
            list += " 7 n";
        list += '\n';
    }
    return list;
}

class UserWordsScale : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!FileExists(kTrained + "/Configure.xml"))
            GTEST_SKIP() << "no trained models in " << kTrained;
        ASSERT_EQ(morv_model_open(kTrained.c_str(), &model), MORV_OK) << morv_last_error();
        ASSERT_EQ(morv_analyzer_new(model, &analyzer), MORV_OK) << morv_last_error();
    }
    void TearDown() override
    {
        morv_analyzer_free(analyzer);
        morv_model_free(model);
    }
    bool Analyze()
    {
        const morv_token* tokens = nullptr;
        size_t count = 0;
        return morv_analyze(analyzer, kSentence, MORV_NUL_TERMINATED, 0, &tokens, &count) == MORV_OK && count > 0;
    }
    morv_model* model = nullptr;
    morv_analyzer* analyzer = nullptr;
};

TEST_F(UserWordsScale, AnAddBeforeEachAnalysisCostsWhatItAdds)
{
    // Over 100,000 words, 100 adds each followed by an analysis: when every
    // change rebuilt the whole table this took some 30 s of CPU (0.3 s each).
    const std::string list = RandomList(100000, 7);
    ASSERT_EQ(morv_model_load_userdict_buffer(model, list.data(), list.size(), "list", nullptr), MORV_OK)
        << morv_last_error();
    ASSERT_TRUE(Analyze());
    const size_t before = morv_model_user_word_count(model);
    const std::string word = "\xE6\xB5\x8B\xE8\xAF\x95"; // 测试
    const double start = CpuSeconds();
    for (int i = 0; i < 100; ++i) {
        const std::string w = word + std::to_string(i);
        ASSERT_EQ(morv_model_add_word(model, w.data(), w.size(), 5, "n", 0), MORV_OK) << morv_last_error();
        ASSERT_TRUE(Analyze());
    }
    const double seconds = CpuSeconds() - start;
    EXPECT_EQ(morv_model_user_word_count(model), before + 100);
    EXPECT_LT(seconds, 2.0) << "100 adds with an analysis after each";
}

TEST_F(UserWordsScale, AMillionEntryListLoadsInSecondsAndLittleMemory)
{
    // 8.6 MB of list: 40 s of CPU and half a gigabyte when the load built one
    // trie of all the words. Loaded in a child whose address space is capped
    // 160 MiB above what it holds (the sanitizers' build: no cap, a tenth of
    // the list).
#ifdef MORV_SANITIZED
    const size_t entries = 100000;
#else
    const size_t entries = 1000000;
#endif
    const std::string list = RandomList(entries, 11);
    const pid_t pid = ::fork();
    if (pid == 0) {
#ifndef MORV_SANITIZED
        long kib = 0;
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmSize:", 0) == 0)
                kib = std::atol(line.c_str() + 7);
        const rlim_t bytes = rlim_t(kib + 160 * 1024) * 1024;
        const rlimit cap{bytes, bytes};
        ::setrlimit(RLIMIT_AS, &cap);
#endif
        const double start = CpuSeconds();
        size_t added = 0;
        if (morv_model_load_userdict_buffer(model, list.data(), list.size(), "list", &added) != MORV_OK)
            ::_exit(2);
        if (!Analyze())
            ::_exit(3);
        if (added != entries || morv_model_user_word_count(model) < entries * 99 / 100)
            ::_exit(4);
        ::_exit(CpuSeconds() - start < 10.0 ? 0 : 5);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: the load failed, 3: the analysis after it, 4: words missing, "
                                         "5: more than 10 s of CPU";
}

} // namespace
