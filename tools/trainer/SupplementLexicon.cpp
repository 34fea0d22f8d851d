#include "tools/trainer/SupplementLexicon.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "lexicon/CPDAT.h"
#include "lexicon/CSupplement.h"
#include "lexicon/GbkChar.h"
#include "segment/CCharset.h"
#include "tools/trainer/GbkChars.h"
#include "tools/trainer/GbkConverter.h"
#include "tools/trainer/ModelWriter.h"
#include "tools/trainer/TagSetFile.h"

const char* const SupplementLexicon::kDefaultList = "/usr/lib/python3/dist-packages/jieba/dict.txt";

namespace {

// A character begins this many names of the corpus before it counts as a surname
// of a two-character entry; of a three-character one, whose shape says more
// (surname and a two-character given name), once is enough: the list tags it a
// name, and as one word it would hide a name of a rare surname from the name
// model.
constexpr int kMinSurnameCount = 2;
constexpr int kMinSurnameCountLong = 1;

// A list frequency beyond this is no count of any corpus.
constexpr int64_t kMaxListFrequency = int64_t(1) << 40;

// Classes of characters that make up numbers, times and their units (the
// pre-processor's number and time atoms).
bool IsNumericClass(int c)
{
    return c == 3 || (c >= 5 && c <= 7) || (c >= 9 && c <= 13) || (c >= 15 && c <= 23) || c == 25 || c == 29;
}

// A Chinese character of GBK: the GB2312 rows B0..F7 and the GBK extensions.
bool IsChinese(int key)
{
    if (key < 0x8140)
        return false;
    const int lead = key >> 8, trail = key & 0xFF;
    return (lead >= 0xB0 && lead <= 0xF7 && trail >= 0xA1) || (lead >= 0x81 && lead <= 0xA0) ||
           (lead >= 0xAA && lead <= 0xFE && trail <= 0xA0);
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The blank-separated fields of a line.
std::vector<std::string_view> Fields(std::string_view line)
{
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        size_t j = i;
        while (j < line.size() && !IsBlank(line[j]))
            ++j;
        if (j > i)
            out.push_back(line.substr(i, j - i));
        i = j;
    }
    return out;
}

bool ParseCount(std::string_view s, int64_t& value)
{
    if (s.empty() || s.size() > 13)
        return false;
    value = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return value > 0 && value <= kMaxListFrequency;
}

} // namespace

const char* SupplementLexicon::ReasonName(int reason)
{
    static const char* const kNames[kReasonCount] = {
        "kept",
        "in the corpus's dictionary",
        "one character",
        "no Chinese character",
        "a number or a numeral with its classifier",
        "holds a sentence end",
        "a person name",
        "not a word by its tag",
        "cut by the corpus",
        "a name part or number in the corpus",
        "below the least list frequency",
        "a place and a character the corpus writes apart",
    };
    return reason >= 0 && reason < kReasonCount ? kNames[reason] : "?";
}

std::string SupplementLexicon::MapTag(const std::string& t)
{
    // The list's tag set extends the corpus's: lower-case morpheme tags, finer
    // pronoun, verb and particle tags, and tags of its own for names and
    // non-words. Where the corpus has the tag, it stands.
    static const std::unordered_map<std::string, std::string> kMap = {
        // person names: the name recogniser's business
        {"nr", ""}, {"nrfg", ""}, {"nrt", ""},
        // non-morpheme strings
        {"x", ""},
        // morphemes: the corpus capitalises them
        {"ng", "Ng"}, {"vg", "Vg"}, {"ag", "Ag"}, {"tg", "Tg"}, {"dg", "Dg"}, {"mg", "Mg"}, {"rg", "Rg"},
        {"bg", "Bg"}, {"yg", "Yg"},
        // the list's descriptive morphemes are single characters; z is nearest
        {"zg", "z"},
        // finer tags of the list
        {"mq", "m"}, {"vi", "v"}, {"vq", "v"}, {"rr", "r"}, {"rz", "r"}, {"df", "d"},
        {"uj", "u"}, {"ul", "u"}, {"uv", "u"}, {"uz", "u"}, {"ud", "u"}, {"ug", "u"},
        {"nl", "n"}, {"eng", "nx"},
        // the same in both
        {"n", "n"}, {"v", "v"}, {"a", "a"}, {"d", "d"}, {"t", "t"}, {"s", "s"}, {"f", "f"}, {"r", "r"},
        {"p", "p"}, {"c", "c"}, {"q", "q"}, {"y", "y"}, {"e", "e"}, {"o", "o"}, {"z", "z"}, {"b", "b"},
        {"i", "i"}, {"l", "l"}, {"j", "j"}, {"m", "m"}, {"g", "g"}, {"h", "h"}, {"k", "k"}, {"u", "u"},
        {"ns", "ns"}, {"nt", "nt"}, {"nz", "nz"}, {"vn", "vn"}, {"vd", "vd"}, {"ad", "ad"}, {"an", "an"},
    };
    auto it = kMap.find(t);
    return it == kMap.end() ? "?" : it->second;
}

SupplementLexicon::SupplementLexicon(const CCharset& c, const TagSetFile& t, const CPDAT& d, const CorpusNames& n)
    : charset(c), tagSet(t), coreDict(d), names(n)
{
}

bool SupplementLexicon::IsChineseName(const std::vector<std::string>& chars) const
{
    // A surname the corpus's names begin with, then a given name of one or two
    // characters: the corpus writes such a name as two words.
    const size_t n = chars.size();
    if (n >= 3 && n <= 4 && names.IsCompoundSurname(chars[0] + chars[1]))
        return true;
    if (n == 3)
        return names.SurnameCount(chars[0]) >= kMinSurnameCountLong;
    return n == 2 && names.SurnameCount(chars[0]) >= kMinSurnameCount;
}

SupplementLexicon::~SupplementLexicon() = default;

bool SupplementLexicon::ReadList(const std::string& path, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error != nullptr)
            *error = "cannot open the word list " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!ReadList(in, error)) {
        if (error != nullptr)
            *error = path + ": " + *error;
        return false;
    }
    return true;
}

bool SupplementLexicon::ReadList(std::istream& in, std::string* error)
{
    entries.clear();
    badLines = 0;
    listTotal = 0;
    GbkConverter converter;
    if (!converter.IsReady()) {
        if (error != nullptr)
            *error = "no UTF-8 to GBK conversion on this system";
        return false;
    }
    std::unordered_set<std::string> seen;
    size_t lines = 0;
    std::string line, gbk;
    while (std::getline(in, line)) {
        if (lines == 0 && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
            line.erase(0, 3);
        const std::vector<std::string_view> f = Fields(line);
        if (f.empty())
            continue;
        ++lines;
        int64_t frequency = 0;
        if (f.size() < 2 || f.size() > 3 || !ParseCount(f[1], frequency) ||
            !converter.ToGbk(std::string(f[0]), gbk) || gbk.empty()) {
            ++badLines;
            continue;
        }
        // Every entry, kept or not, counts towards the list's size.
        listTotal += frequency;
        if (!seen.insert(gbk).second)
            continue; // the first entry of a word stands
        Entry e;
        e.text = gbk;
        e.frequency = frequency;
        e.tag = f.size() > 2 ? std::string(f[2]) : std::string();
        entries.push_back(std::move(e));
    }
    if (entries.empty() || badLines * 2 > lines) {
        if (error != nullptr)
            *error = entries.empty() ? "no entry of the form 'word frequency tag'"
                                     : std::to_string(badLines) + " of " + std::to_string(lines) +
                                           " lines are not of the form 'word frequency tag'";
        entries.clear();
        return false;
    }
    return true;
}

int SupplementLexicon::Classify(const Entry& e, const Options& options) const
{
    if (coreDict.ExactMatch(e.text.c_str(), static_cast<int>(e.text.size())) >= 0)
        return kKnown;
    const std::vector<std::string> chars = gbk::Chars(e.text);
    if (chars.size() < 2)
        return kOneChar;
    bool chinese = false, numeric = true;
    for (const std::string& c : chars) {
        const int key = gbk::KeyOf(c);
        const int cls = charset.GetClass(key);
        if (EndsSentence(cls))
            return kSentenceEnd;
        chinese = chinese || IsChinese(key);
        numeric = numeric && IsNumericClass(cls);
    }
    if (!chinese)
        return kNotChinese;
    if (numeric || e.tag == "m" || e.tag == "mq")
        return kNumeric;
    const std::string tag = MapTag(e.tag);
    if (e.tag == "x")
        return kNoTag;
    if (tag.empty() && (options.nameRule == 0 || (options.nameRule == 2 && IsChineseName(chars))))
        return kName;
    return kKept;
}

void SupplementLexicon::ScanCorpus(const std::vector<Paragraph>& paragraphs, std::vector<int>& cut,
                                   std::vector<int>& whole) const
{
    // Every run of adjacent corpus tokens whose text is a candidate: one token
    // is the word itself (a name part or a number the dictionary does not
    // hold), several are the pieces the corpus cuts it into. The index holds
    // the candidates (their entry) and their beginnings (-1), so that a run
    // stops as soon as no candidate begins with it.
    std::unordered_map<std::string_view, int> index;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].reason != kKept)
            continue;
        const std::string_view text(entries[i].text);
        index[text] = static_cast<int>(i);
        for (size_t n = 0; n < text.size();) {
            n += static_cast<size_t>(gbkchar::Length(reinterpret_cast<const unsigned char*>(text.data()),
                                                     static_cast<int>(n), static_cast<int>(text.size())));
            if (n < text.size())
                index.emplace(text.substr(0, n), -1);
        }
    }
    cut.assign(entries.size(), 0);
    whole.assign(entries.size(), 0);
    std::vector<size_t> offsets;
    std::string text;
    for (const Paragraph& p : paragraphs) {
        text.clear();
        offsets.assign(1, 0);
        for (const CorpusToken& t : p.tokens) {
            text += t.word;
            offsets.push_back(text.size());
        }
        const std::string_view all(text);
        for (size_t k = 0; k < p.tokens.size(); ++k) {
            for (size_t j = k; j < p.tokens.size(); ++j) {
                auto it = index.find(all.substr(offsets[k], offsets[j + 1] - offsets[k]));
                if (it == index.end())
                    break;
                if (it->second >= 0)
                    ++(j == k ? whole : cut)[static_cast<size_t>(it->second)];
            }
        }
    }
}

void SupplementLexicon::LeaveOutPlaceAndChar(const std::vector<Paragraph>& paragraphs, int minApart)
{
    // The tag each corpus word carries most often; how often a one-character
    // token follows a token tagged ns; how often the corpus has a token of a
    // place and one character (黄河口 as one word).
    std::unordered_map<std::string, std::unordered_map<std::string, int>> tags;
    std::unordered_map<std::string, int> apart;
    for (const Paragraph& p : paragraphs)
        for (size_t k = 0; k < p.tokens.size(); ++k) {
            const CorpusToken& t = p.tokens[k];
            ++tags[t.word][t.tag];
            if (k > 0 && p.tokens[k - 1].tag == "ns" && gbk::CharCount(t.word) == 1)
                ++apart[t.word];
        }
    std::unordered_set<std::string> places;
    for (const auto& w : tags) {
        const auto best = std::max_element(w.second.begin(), w.second.end(),
                                           [](const std::pair<const std::string, int>& a,
                                              const std::pair<const std::string, int>& b) {
                                               return a.second < b.second || (a.second == b.second && a.first > b.first);
                                           });
        if (best != w.second.end() && best->first == "ns")
            places.insert(w.first);
    }
    // Splits a word into the place before its last character and that character.
    const auto split = [&places](const std::string& word, std::string& last) {
        const std::vector<std::string> chars = gbk::Chars(word);
        if (chars.size() < 2)
            return false;
        last = chars.back();
        return places.count(word.substr(0, word.size() - last.size())) != 0;
    };
    std::unordered_map<std::string, int> joined;
    std::string last;
    for (const auto& w : tags)
        if (split(w.first, last)) {
            int n = 0;
            for (const auto& t : w.second)
                n += t.second;
            joined[last] += n;
        }
    for (Entry& e : entries) {
        if (e.reason != kKept || !split(e.text, last))
            continue;
        const auto a = apart.find(last);
        const int seen = a == apart.end() ? 0 : a->second;
        const auto j = joined.find(last);
        if (seen >= minApart && seen >= 3 * (j == joined.end() ? 0 : j->second))
            e.reason = kPlaceAndChar;
    }
}

void SupplementLexicon::Build(const std::vector<Paragraph>& paragraphs, size_t corpusTokens, const Options& options)
{
    std::fill(std::begin(reasonCounts), std::end(reasonCounts), 0);
    words.clear();
    scale = listTotal > 0 ? static_cast<double>(corpusTokens) / static_cast<double>(listTotal) : 0;
    for (Entry& e : entries) {
        e.reason = Classify(e, options);
        if (e.reason == kKept && e.frequency < options.minListFrequency)
            e.reason = kRare;
    }
    std::vector<int> cut, whole;
    ScanCorpus(paragraphs, cut, whole);
    for (size_t i = 0; i < entries.size(); ++i) {
        Entry& e = entries[i];
        if (e.reason == kKept && whole[i] > 0)
            e.reason = kCorpusWhole;
        else if (e.reason == kKept && options.minCutCount > 0 && cut[i] >= options.minCutCount)
            e.reason = kCorpusCuts;
    }
    if (options.minPlaceApart > 0)
        LeaveOutPlaceAndChar(paragraphs, options.minPlaceApart);
    for (size_t i = 0; i < entries.size(); ++i) {
        Entry& e = entries[i];
        ++reasonCounts[e.reason];
        if (e.reason != kKept)
            continue;
        Word w;
        w.text = e.text;
        w.frequency = static_cast<float>(std::min<double>(static_cast<double>(e.frequency) * scale,
                                                          CSupplement::kMaxFrequency));
        if (!(w.frequency > 0))
            w.frequency = 1e-30f;
        const std::string tag = options.listTags ? MapTag(e.tag) : std::string();
        const int code = tag.empty() || tag == "?" ? -1 : tagSet.Code(tag);
        w.tag = code >= 0 && code < CSupplement::kNoTag ? static_cast<uint8_t>(code) : CSupplement::kNoTag;
        words.push_back(std::move(w));
    }
    std::sort(words.begin(), words.end(), [](const Word& a, const Word& b) { return a.text < b.text; });
}

std::string SupplementLexicon::SerializeTable(const std::vector<Word>& list)
{
    std::string out(CSupplement::kMagic, 4);
    auto put32 = [&out](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    put32(CSupplement::kVersion);
    put32(static_cast<uint32_t>(list.size()));
    put32(0);
    for (const Word& w : list) {
        uint32_t bits;
        std::memcpy(&bits, &w.frequency, sizeof bits);
        put32(bits);
    }
    for (const Word& w : list)
        out.push_back(static_cast<char>(w.tag));
    return out;
}

bool SupplementLexicon::Write(const std::string& dataDir) const
{
    std::vector<std::string> texts;
    texts.reserve(words.size());
    for (const Word& w : words)
        texts.push_back(w.text);
    CPDAT trie;
    if (trie.BuildFromWords(texts) != static_cast<int>(texts.size()))
        return false;
    return trie.Save(ModelWriter::Target(dataDir + "/Supplement.pdat").c_str()) &&
           ModelWriter::WriteBytes(dataDir + "/Supplement.tab", SerializeTable(words));
}

