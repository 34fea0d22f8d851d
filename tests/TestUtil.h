#ifndef MORV_TESTS_TESTUTIL_H
#define MORV_TESTS_TESTUTIL_H

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "engine/TextCodec.h"

// A fresh directory below the system's temporary directory, removed afterwards.
struct TempDir {
    std::string path;
    TempDir()
    {
        char pattern[] = "/tmp/morv-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        path = made != nullptr ? made : "/tmp";
    }
    ~TempDir()
    {
        if (path != "/tmp")
            std::system(("rm -rf '" + path + "'").c_str());
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

inline void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary);
    out << content;
}

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool FileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

inline void MakeDir(const std::string& path) { ::mkdir(path.c_str(), 0755); }

// The engine's GBK bytes of a UTF-8 literal, so that a test reads as the Chinese
// it feeds in: Gbk("中国") rather than "\xD6\xD0\xB9\xFA". ASCII passes as it is; a
// character GBK lacks, or bytes that are not UTF-8, fail the calling test.
inline std::string Gbk(const std::string& utf8)
{
    std::string gbk;
    const size_t lost = TextCodec::Instance().AppendUtf8AsGbk(gbk, utf8.data(), utf8.size());
    EXPECT_EQ(lost, 0u) << "no GBK form for part of \"" << utf8 << "\"";
    return gbk;
}

// Appends a 32-bit integer as the model files store it (the machine's byte order).
inline void PutInt(std::string& out, int32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }

// A part-of-speech lexicon file in which each of `words` words lists every one of
// `tags` tag codes (all words share one run of entries, which the format
// allows): the largest lexicon a context file of that many tags admits.
inline std::string LexiconOfEveryTag(int tags, int32_t words)
{
    std::string lexicon;
    PutInt(lexicon, tags);
    PutInt(lexicon, words);
    for (int tag = 0; tag < tags; ++tag) {
        lexicon += static_cast<char>(tag);
        lexicon.append(3, '\0');
        PutInt(lexicon, 1 + tag);
    }
    for (int32_t id = 0; id < words; ++id) {
        PutInt(lexicon, 0);
        PutInt(lexicon, tags);
    }
    return lexicon;
}

// A Configure.xml text with the new stages switched as `keys` say, whatever the
// trained one says: its NewWords key is dropped and `keys` go before the
// closing tag; keys that do not name NewWords leave the stages off.
inline std::string WithStageKeys(std::string config, const std::string& keys)
{
    const size_t at = config.find("<NewWords>");
    if (at != std::string::npos) {
        size_t end = config.find("</NewWords>", at);
        end = end == std::string::npos ? at + 10 : end + 11;
        if (end < config.size() && config[end] == '\n')
            ++end;
        config.erase(at, end - at);
    }
    const std::string add = keys.find("<NewWords>") == std::string::npos ? keys + "<NewWords>off</NewWords>" : keys;
    const size_t root = config.rfind("</Configure>");
    config.insert(root == std::string::npos ? config.size() : root, add);
    return config;
}

#endif
