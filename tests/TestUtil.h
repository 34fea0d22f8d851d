#ifndef MORV_TESTS_TESTUTIL_H
#define MORV_TESTS_TESTUTIL_H

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
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

// A model directory `dir` (made if needed) holding `config` as its
// Configure.xml and the models of `trained` (a model directory) linked in as
// its Data: the same models under other keys.
inline bool LinkModels(const std::string& trained, const std::string& dir, const std::string& config)
{
    MakeDir(dir);
    WriteFile(dir + "/Configure.xml", config);
    return ::symlink((trained + "/Data").c_str(), (dir + "/Data").c_str()) == 0;
}

// `bytes` with the little-endian 16 bits of `v` written at `at`.
inline std::string WithLe16(std::string bytes, size_t at, int v)
{
    bytes[at] = static_cast<char>(v & 0xFF);
    bytes[at + 1] = static_cast<char>(v >> 8 & 0xFF);
    return bytes;
}

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

// What in the token part of a result page (between its head and its legend) is
// not the page writer's own: a tag the writer never writes, a quote or '>'
// outside a tag, an '&' that starts no reference, or a byte of 0x80 or more that
// no GBK trail byte completes. Empty when there is nothing of the kind.
inline std::string ForeignMarkup(const std::string& body)
{
    static const char* const kTags[] = {
        "<font face=\"\xBF\xAC\xCC\xE5_GB2312\">", "<font face=\"\xBF\xAC\xCC\xE5_GB2312\" color=\"#800000\">",
        "<font face=\"\xBF\xAC\xCC\xE5_GB2312\" color=\"#FF0000\">", "<font face=\"\xBF\xAC\xCC\xE5_GB2312\" color=\"FF99FF\">",
        "<font face=\"\xBF\xAC\xCC\xE5_GB2312\" color=\"FF00FF\">", "<font face=\"\xBF\xAC\xCC\xE5_GB2312\" color=\"C0C0C0\">",
        "<font face=\"\xBF\xAC\xCC\xE5_GB2312\" color=\"00FFFF\">", "<font face=\"\xBF\xAC\xCC\xE5_GB2312\" color=\"#0000FF\">",
        "<font face=\"Times New Roman\" color=\"#0000FF\">", "</font>", "<i>", "</i>", "<u>", "</u>", "<p>", "</p>"};
    static const char* const kEntities[] = {"&lt;", "&gt;", "&amp;", "&quot;", "&#39;"};
    const auto at = [&](size_t i) { return "at byte " + std::to_string(i) + ": " + body.substr(i, 40); };
    for (size_t i = 0; i < body.size();) {
        const unsigned char c = static_cast<unsigned char>(body[i]);
        if (c == '<') {
            size_t known = 0;
            for (const char* tag : kTags)
                if (body.compare(i, std::strlen(tag), tag) == 0)
                    known = std::max(known, std::strlen(tag));
            if (known == 0)
                return "a foreign tag " + at(i);
            i += known;
        } else if (c == '&') {
            size_t known = 0;
            for (const char* entity : kEntities)
                if (body.compare(i, std::strlen(entity), entity) == 0)
                    known = std::strlen(entity);
            if (known == 0 && body.compare(i, 3, "&#x") == 0) {
                size_t end = i + 3;
                while (end < body.size() && std::isxdigit(static_cast<unsigned char>(body[end])))
                    ++end;
                if (end > i + 3 && end < body.size() && body[end] == ';')
                    known = end + 1 - i;
            }
            if (known == 0)
                return "an '&' that starts no reference " + at(i);
            i += known;
        } else if (c == '>' || c == '"' || c == '\'') {
            return "a raw markup character " + at(i);
        } else if (c >= 0x80) {
            const unsigned char trail = i + 1 < body.size() ? static_cast<unsigned char>(body[i + 1]) : 0;
            if (trail < 0x40 || trail == 0x7F || trail == 0xFF)
                return "a lead byte without its trail byte " + at(i);
            i += 2;
        } else {
            ++i;
        }
    }
    return "";
}

#endif
