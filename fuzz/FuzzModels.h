#ifndef MORV_FUZZ_FUZZMODELS_H
#define MORV_FUZZ_FUZZMODELS_H

// A small, sound model set for the loader fuzz targets: each target puts the
// model it loaded from the fuzzer's bytes in place of one of these and runs the
// whole analysis over a few short texts, so that a model that loads but makes the
// analysis hang (or read out of bounds) is found too.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/CAnalyzer.h"
#include "engine/CTagSet.h"
#include "fuzz/FuzzInput.h"
#include "lexicon/CBigram.h"
#include "lexicon/CPDAT.h"
#include "lexicon/CUnigram.h"
#include "segment/CCharset.h"
#include "segment/SpecialWords.h"
#include "tagging/CPosLexicon.h"
#include "tagging/CRoleTagger.h"
#include "tagging/CTagTransitions.h"

namespace fuzzmodels {

struct ModelSet {
    const CCharset* charset = nullptr;
    const CPDAT* dict = nullptr;
    const CUnigram* unigram = nullptr;
    const CBigram* bigram = nullptr;
    const CPDAT* userDict = nullptr;
    const CPosLexicon* pos = nullptr;
    const CTagSet* tags = nullptr;
    const CTagTransitions* posContext = nullptr;
    const CPosLexicon* roles = nullptr;
    const CTagTransitions* roleContext = nullptr;
    const CRoleTagger* automaton = nullptr;
};

// Words after the fifteen special words (ids 0..14), in id order from 15 on:
// 张 伟 明 是 北京 大学 北京大学 的 老师 我们 今天 年 二 三 ， 。 王 李
inline const std::vector<std::string>& Words()
{
    static const std::vector<std::string> words = {
        "\xD5\xC5", "\xCE\xB0", "\xC3\xF7", "\xCA\xC7", "\xB1\xB1\xBE\xA9", "\xB4\xF3\xD1\xA7",
        "\xB1\xB1\xBE\xA9\xB4\xF3\xD1\xA7", "\xB5\xC4", "\xC0\xCF\xCA\xA6", "\xCE\xD2\xC3\xC7",
        "\xBD\xF1\xCC\xEC", "\xC4\xEA", "\xB6\xFE", "\xC8\xFD", "\xA3\xAC", "\xA1\xA3", "\xCD\xF5", "\xC0\xEE"};
    return words;
}
constexpr int kWordCount = SpecialWords::kCount + 18;
constexpr int kTagCount = 96;
constexpr int kRoleCount = 10;

// Short GB2312 texts that reach every stage: sentence ends, a line break, digits
// and letters, numerals with a unit, dictionary words and two person names.
inline const std::vector<std::string>& Texts()
{
    static const std::vector<std::string> texts = {
        "\xD5\xC5\xCE\xB0\xC3\xF7\xCA\xC7\xB1\xB1\xBE\xA9\xB4\xF3\xD1\xA7\xB5\xC4\xC0\xCF\xCA\xA6\xA1\xA3",
        "1998\xC4\xEA\xA3\xAC\xCE\xD2\xC3\xC7" "ABC\xBD\xF1\xCC\xEC\r\n\xCD\xF5\xC3\xF7\xCA\xC7\xC0\xCF\xCA\xA6\xA1\xA3",
        "\xD2\xBB\xB6\xFE\xC8\xFD\xC4\xEA\xD5\xC5\xCE\xB0\xC3\xF7\xC0\xEE",
        "\xA1\xB0\xC0\xEE\xA1\xB1\xA1\xAA\xA1\xAA\xA1\xAA" "a1\xB0",
    };
    return texts;
}

inline void PutInt(std::string& out, int32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }

// Writes `bytes` to a scratch file, loads it with `load`, removes it.
template <class Load> void LoadFrom(const char* name, const std::string& bytes, Load load)
{
    const std::string path = fuzzinput::TempPath(name);
    fuzzinput::WriteAll(path, bytes.data(), bytes.size());
    if (!load(path.c_str()))
        std::abort(); // the sound set itself must load
    std::remove(path.c_str());
}

// The same lexicon layout for parts of speech and roles: `tagsOf(id)` lists
// (code, frequency) for each word id.
template <class TagsOf> std::string LexiconImage(TagsOf tagsOf)
{
    std::string entries, index;
    int32_t m = 0;
    for (int id = 0; id < kWordCount; ++id) {
        const std::vector<std::pair<int, int>> tags = tagsOf(id);
        PutInt(index, tags.empty() ? -1 : m);
        PutInt(index, static_cast<int32_t>(tags.size()));
        for (const auto& t : tags) {
            entries += static_cast<char>(t.first);
            entries.append(3, '\0');
            PutInt(entries, t.second);
            ++m;
        }
    }
    std::string out;
    PutInt(out, m);
    PutInt(out, kWordCount);
    return out + entries + index;
}

inline std::string ContextImage(int n)
{
    std::string out(1, static_cast<char>(n));
    PutInt(out, 10 * n);
    for (int q = 0; q < n; ++q)
        PutInt(out, 10);
    for (int p = 0; p < n; ++p)
        for (int q = 0; q < n; ++q)
            PutInt(out, (p + 2 * q) % 5 == 0 ? 3 : 0);
    return out;
}

struct SoundModels {
    CCharset charset;
    CPDAT dict;
    CUnigram unigram;
    CBigram bigram;
    CPosLexicon pos;
    CTagSet tags;
    CTagTransitions posContext;
    CPosLexicon roles;
    CTagTransitions roleContext;
    CRoleTagger automaton;

    SoundModels()
    {
        const int crlf[] = {'\r', '\n'};
        for (int key : crlf)
            charset.SetClass(key, 28);
        charset.SetClass(0xA1A3, 2); // 。
        charset.SetClass(0xA3AC, 1); // ，
        charset.SetClass(0xA1AA, 4); // —
        for (int key = '0'; key <= '9'; ++key)
            charset.SetClass(key, 5);
        for (int key = 'A'; key <= 'Z'; ++key) {
            charset.SetClass(key, 8);
            charset.SetClass(key + 32, 8);
        }
        for (int key : {0xD2BB, 0xB6FE, 0xC8FD}) // 一 二 三
            charset.SetClass(key, 10);
        charset.SetClass(0xC4EA, 23); // 年

        std::string list;
        for (const char* w : SpecialWords::kWords)
            list += std::string(w) + "\n";
        for (const std::string& w : Words())
            list += w + "\n";
        const std::string listPath = fuzzinput::TempPath("sound-words");
        fuzzinput::WriteAll(listPath, list.data(), list.size());
        if (dict.BuildFromWordList(listPath.c_str()) != kWordCount)
            std::abort();
        std::remove(listPath.c_str());

        std::string unig;
        PutInt(unig, kWordCount);
        PutInt(unig, kWordCount - 1);
        PutInt(unig, 10 * kWordCount);
        for (int id = 0; id < kWordCount; ++id)
            PutInt(unig, 10);
        LoadFrom("sound-unig", unig, [&](const char* p) { return unigram.Load(p); });

        // Pairs: 始##始 -> 张 (15), 北京 (19) -> 大学 (20), 张 -> 伟 (16).
        std::string big;
        PutInt(big, 3);
        PutInt(big, kWordCount);
        for (int32_t v : {15, 4, 16, 2, 20, 5})
            PutInt(big, v);
        for (int id = 0; id < kWordCount; ++id) {
            const int32_t first = id == 0 ? 0 : id == 15 ? 1 : id == 19 ? 2 : -1;
            PutInt(big, first);
            PutInt(big, first);
        }
        LoadFrom("sound-big", big, [&](const char* p) { return bigram.Load(p); });

        LoadFrom("sound-pos", LexiconImage([](int id) {
                     std::vector<std::pair<int, int>> t = {{id * 7 % kTagCount, 5}};
                     if (id % 3 == 0)
                         t.emplace_back((id * 7 + 1) % kTagCount, 2);
                     return t;
                 }),
                 [&](const char* p) { return pos.Load(p); });
        LoadFrom("sound-ctx", ContextImage(kTagCount), [&](const char* p) { return posContext.Load(p, false); });
        std::string tagText;
        for (int t = 0; t < kTagCount; ++t)
            tagText += "t" + std::to_string(t) + "\n";
        LoadFrom("sound-tags", tagText, [&](const char* p) { return tags.Load(p); });

        // Roles: 1 surname (张 王 李), 2 given (伟 明), 3 given alone (明).
        LoadFrom("sound-role", LexiconImage([](int id) {
                     std::vector<std::pair<int, int>> t;
                     if (id == 15 || id == 31 || id == 32)
                         t.emplace_back(1, 8);
                     if (id == 16 || id == 17)
                         t.emplace_back(2, 6);
                     if (id == 17)
                         t.emplace_back(3, 2);
                     return t;
                 }),
                 [&](const char* p) { return roles.Load(p); });
        LoadFrom("sound-rolectx", ContextImage(kRoleCount), [&](const char* p) { return roleContext.Load(p, false); });
        // 0 -1-> 1 -2-> 2 (accept, nr) -2-> 3 (accept, nr); 1 -3-> 3.
        std::string fsa;
        PutInt(fsa, kRoleCount);
        PutInt(fsa, 4);
        for (int32_t v : {0, 0, 1, 1, 0, 0, 24, 24})
            PutInt(fsa, v);
        for (int s = 0; s < 4; ++s)
            for (int r = 0; r < kRoleCount; ++r)
                PutInt(fsa, s == 0 && r == 1 ? 1 : s == 1 && r == 2 ? 2 : s == 2 && r == 2 ? 3 : s == 1 && r == 3 ? 3 : -1);
        LoadFrom("sound-fsa", fsa, [&](const char* p) { return automaton.Load(p); });
    }
};

inline const SoundModels& Sound()
{
    static const SoundModels models;
    return models;
}

inline ModelSet SoundSet()
{
    const SoundModels& s = Sound();
    ModelSet m;
    m.charset = &s.charset;
    m.dict = &s.dict;
    m.unigram = &s.unigram;
    m.bigram = &s.bigram;
    m.pos = &s.pos;
    m.tags = &s.tags;
    m.posContext = &s.posContext;
    m.roles = &s.roles;
    m.roleContext = &s.roleContext;
    m.automaton = &s.automaton;
    return m;
}

// The whole analysis, result page included, over every short text.
inline void Analyse(const ModelSet& m)
{
    static std::FILE* page = std::fopen("/dev/null", "w");
    if (page == nullptr)
        std::abort();
    CAnalyzer analyzer(m.charset, m.dict, m.unigram, m.bigram, m.userDict, m.pos, m.tags, m.posContext, m.roles,
                       m.roleContext, m.automaton);
    if (!analyzer.IsComplete())
        return;
    analyzer.htmlFile = page;
    for (const std::string& text : Texts())
        analyzer.Analyze(text.c_str());
}

} // namespace fuzzmodels

#endif
