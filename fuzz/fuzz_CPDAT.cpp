// Fuzz target for the dictionary trie. The first input byte picks what the rest is:
//   0: a .pdat file as it is (mostly short files: a real one is 262 KB or more);
//   1: a compact .pdat: 16 int32 codes for a 16-character alphabet, then the file
//      from highestIndex on; the harness writes the full code table around them;
//   2: a text word list for BuildFromWordList.
// After loading or building it runs lookups over texts of the alphabet, checks
// that they agree with each other, and that Save, Load, Save reproduces the file.
// Then the whole analysis of short texts runs with the trie as user dictionary,
// and as core dictionary when it holds the nine required special words.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzModels.h"
#include "lexicon/CPDAT.h"

namespace {

const int kAlphabet = 16;

int AlphabetKey(int i)
{
    return i < 8 ? 'A' + i : 0xB0A1 + (i - 8);
}

std::string AlphabetText(int i)
{
    const int key = AlphabetKey(i);
    if (key < 0x80)
        return std::string(1, char(key));
    return std::string{char(key >> 8), char(key & 0xFF)};
}

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond))                                                                               \
            std::abort();                                                                          \
    } while (0)

void Probe(const CPDAT& dict, const std::string& text, bool built)
{
    static std::vector<int> values, lengths;
    const char* s = text.c_str();
    const int n = static_cast<int>(text.size());
    const int exact = dict.ExactMatch(s);
    CHECK(exact == dict.ExactMatch(s, n));
    int value = -7;
    const int longest = dict.LongestMatch(s, &value);
    CHECK(longest >= 0 && longest <= n);
    CHECK(dict.LongestMatch(s) == longest);
    if (longest == 0)
        CHECK(value == -1);
    // In a built trie no word continues past a leaf; a damaged one may say otherwise.
    if (built && exact >= 0)
        CHECK(longest == n && value == exact);
    for (int minLength : {0, 2}) {
        const int all = dict.AllPrefixMatches(s, values, lengths, minLength);
        CHECK(all == longest);
        CHECK(values.size() == lengths.size());
        for (size_t i = 0; i < lengths.size(); ++i) {
            CHECK(lengths[i] > minLength && lengths[i] <= longest);
            CHECK(i == 0 || lengths[i] > lengths[i - 1]);
            CHECK(dict.ExactMatch(s, lengths[i]) == values[i]);
        }
        if (!lengths.empty())
            CHECK(lengths.back() == longest && values.back() == value);
    }
}

void Lookups(const CPDAT& dict, const uint8_t* data, size_t size, bool built)
{
    for (int i = 0; i < kAlphabet; ++i)
        dict.CharacterWord(AlphabetKey(i));
    for (int key : {-1, 0, 0x7F, 0xFFFF, 0x10000, int(0x80000000u)})
        dict.CharacterWord(key);
    // A text of the alphabet from the input's last bytes, probed at every
    // character start, with and without a lone lead byte at the end.
    std::vector<std::string> chars;
    for (size_t i = size > 12 ? size - 12 : 0; i < size; ++i)
        chars.push_back(AlphabetText(data[i] % kAlphabet));
    for (size_t from = 0; from <= chars.size(); ++from) {
        std::string text;
        for (size_t i = from; i < chars.size(); ++i)
            text += chars[i];
        Probe(dict, text, built);
        Probe(dict, text + "\xB0", built);
    }
    Probe(dict, "\xB0\xA1\xB0", built);
}

void RoundTrip(const CPDAT& dict)
{
    static const std::string first = fuzzinput::TempPath("CPDAT-save1");
    static const std::string second = fuzzinput::TempPath("CPDAT-save2");
    CHECK(dict.Save(first.c_str()));
    // Reused from run to run: a successful Load replaces all of it.
    static CPDAT again;
    CHECK(again.Load(first.c_str()));
    CHECK(again.GetWordCount() == dict.GetWordCount());
    CHECK(again.GetHighestIndex() == dict.GetHighestIndex());
    CHECK(again.Save(second.c_str()));
    const auto& a = dict.GetEntries();
    const auto& b = again.GetEntries();
    const size_t count = size_t(dict.GetHighestIndex()) + 1;
    if (!a.empty()) {
        CHECK(b.size() == count && a.size() >= count);
        CHECK(std::memcmp(a.data(), b.data(), count * sizeof(CPDAT::Entry)) == 0);
    }
    for (int key = 0; key < CPDAT::kKeyCount; key += 97)
        CHECK(dict.GetCode(key) == again.GetCode(key));
}

bool EndsInLoneLeadByte(const std::string& word)
{
    size_t j = 0;
    bool lone = false;
    while (j < word.size()) {
        const bool lead = static_cast<unsigned char>(word[j]) >= 0x80;
        lone = lead && j + 1 == word.size();
        j += lead && !lone ? 2 : 1;
    }
    return lone;
}

// The id each token of a simple word list should answer with (its last line).
bool ExpectedIds(const uint8_t* data, size_t size, std::map<std::string, int>& ids)
{
    int id = 0;
    size_t lineStart = 0;
    for (size_t i = 0; i <= size; ++i) {
        if (i < size && data[i] == 0)
            return false; // NUL bytes cut lines short for the reader: not modelled here
        if (i < size && data[i] != '\n')
            continue;
        if (i - lineStart > 3000)
            return false; // long lines are read in pieces: not modelled here
        size_t a = lineStart;
        auto blank = [](uint8_t c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; };
        while (a < i && blank(data[a]))
            ++a;
        size_t b = a;
        while (b < i && !blank(data[b]))
            ++b;
        if (b > a)
            ids[std::string(reinterpret_cast<const char*>(data) + a, b - a)] = id++;
        lineStart = i + 1;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static const std::string path = fuzzinput::TempPath("CPDAT");
    const int mode = data[0] % 3;
    ++data;
    --size;

    CPDAT dict;
    if (mode == 0) {
        fuzzinput::WriteAll(path, data, size);
        if (!dict.Load(path.c_str()))
            return 0;
    } else if (mode == 1) {
        // The code table is the same 256 KB every time but for 16 entries: keep
        // one and patch it, rather than allocate and fill it per run.
        static std::vector<int32_t> codes(CPDAT::kKeyCount, -1);
        for (int i = 0; i < kAlphabet; ++i)
            codes[size_t(AlphabetKey(i))] = fuzzinput::Int32At(data, size, size_t(4 * i));
        const size_t rest = size > 4 * kAlphabet ? size - 4 * kAlphabet : 0;
        fuzzinput::WriteAll(path, codes.data(), codes.size() * 4, data + (size - rest), rest);
        if (!dict.Load(path.c_str()))
            return 0;
    } else {
        fuzzinput::WriteAll(path, data, size);
        const int count = dict.BuildFromWordList(path.c_str());
        std::map<std::string, int> ids;
        if (ExpectedIds(data, size, ids)) {
            int lines = 0;
            for (size_t i = 0; i < size;) {
                // Count lines with a token the way ExpectedIds did.
                size_t e = i;
                while (e < size && data[e] != '\n')
                    ++e;
                size_t a = i;
                while (a < e && (data[a] == ' ' || data[a] == '\t' || data[a] == '\v' || data[a] == '\f' ||
                                 data[a] == '\r'))
                    ++a;
                lines += a < e;
                i = e + 1;
            }
            CHECK(count == lines);
            for (const auto& [word, id] : ids)
                CHECK(dict.ExactMatch(word.c_str()) == (EndsInLoneLeadByte(word) ? -1 : id));
        }
    }
    Lookups(dict, data, size, mode == 2);
    RoundTrip(dict);

    fuzzmodels::ModelSet models = fuzzmodels::SoundSet();
    models.userDict = &dict;
    fuzzmodels::Analyse(models);
    if (SpecialWords::Lookup(dict).HasRequired()) {
        models.userDict = nullptr;
        models.dict = &dict;
        fuzzmodels::Analyse(models);
    }
    return 0;
}
