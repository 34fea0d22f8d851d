#include "tagging/CPosModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "TestUtil.h"
#include "tools/trainer/ModelWriter.h"
#include "tools/trainer/PosModelWriter.h"

namespace {

using M = CPosModel;
using Image = PosModelWriter::Image;

// Tag codes of the hand-made model: the markers, three open tags, one more.
constexpr uint8_t kBos = 58, kEos = 59, kA = 10, kB = 20, kC = 30, kD = 40;
// Model tags are positions in this list.
const std::vector<uint8_t> kCodes = {kBos, kEos, kA, kB, kC, kD};
uint8_t T(uint8_t code)
{
    for (size_t i = 0; i < kCodes.size(); ++i)
        if (kCodes[i] == code)
            return static_cast<uint8_t>(i);
    return 255;
}

// Words of the hand-made lexicon.
enum Word : int32_t {
    kBegin = 0,  // bos
    kEnd = 1,    // eos
    kPlain = 2,  // a only
    kEither = 3, // b or c
    kOnlyB = 4,  // b only (c by expansion when the model has the pair)
    kClass = 5,  // b or c, a class word (unfolded)
    kForeign = 6, // only a tag the model lacks (77)
    kPerson = 7, // the person-name word
    kWords = 8,
};

// A hand-made model: weights by feature, transitions, open tags, expansions.
struct Model {
    Image image;
    std::map<std::pair<int, uint32_t>, std::map<uint8_t, int16_t>> rows;

    Model()
    {
        image.scale = 0.5f;
        image.tagCodes = kCodes;
        image.openTags = {T(kB), T(kC)};
        image.transitions.assign(kCodes.size() * kCodes.size(), 0);
        image.wordCount = kWords;
        image.unfoldedWords = {kClass, kPerson};
    }
    void Weight(M::Template t, uint32_t key, uint8_t code, int16_t w) { rows[{t, key}][T(code)] = w; }
    void Transition(uint8_t from, uint8_t to, int16_t w) { image.transitions[T(from) * kCodes.size() + T(to)] = w; }
    Image Finish() const
    {
        Image m = image;
        std::map<uint32_t, bool> chars;
        for (const auto& r : rows)
            if (r.first.first >= M::kWordTemplates && r.first.first < M::kFirstHashed)
                chars[r.first.second] = true;
        for (const auto& c : chars)
            m.charKeys.push_back(static_cast<uint16_t>(c.first));
        m.rowStarts.assign(1, 0);
        auto emit = [&](int t, uint32_t key) {
            const auto it = rows.find({t, key});
            if (it != rows.end())
                for (const auto& e : it->second) {
                    m.entryTags.push_back(e.first);
                    m.entryWeights.push_back(e.second);
                }
            m.rowStarts.push_back(static_cast<uint32_t>(m.entryTags.size()));
        };
        for (int t = 0; t < M::kWordTemplates; ++t)
            for (uint32_t w = 0; w < m.wordCount; ++w)
                emit(t, w);
        for (int t = M::kWordTemplates; t < M::kFirstHashed; ++t)
            for (uint16_t c : m.charKeys)
                emit(t, c);
        for (int t = M::kFirstHashed; t < M::kTemplateCount; ++t)
            for (const auto& r : rows)
                if (r.first.first == t) {
                    m.hashedKeys[t - M::kFirstHashed].push_back(r.first.second);
                    emit(t, r.first.second);
                }
        return m;
    }
    std::string Bytes() const { return PosModelWriter::Serialize(Finish()); }
};

bool LoadBytes(CPosModel& model, const std::string& bytes)
{
    static TempDir dir;
    WriteFile(dir / "m.pm", bytes);
    return model.Load((dir / "m.pm").c_str());
}

const CPosLexicon& Lexicon()
{
    static CPosLexicon lexicon;
    static bool loaded = false;
    if (!loaded) {
        TempDir dir;
        std::vector<ModelWriter::LexiconEntries> words(kWords);
        words[kBegin] = {{kBos, 10}};
        words[kEnd] = {{kEos, 10}};
        words[kPlain] = {{kA, 10}};
        words[kEither] = {{kB, 6}, {kC, 4}};
        words[kOnlyB] = {{kB, 10}};
        words[kClass] = {{kB, 6}, {kC, 4}};
        words[kForeign] = {{77, 3}};
        words[kPerson] = {{kD, 10}};
        EXPECT_TRUE(ModelWriter::WriteLexicon(dir / "lex.pos", words));
        EXPECT_TRUE(lexicon.Load((dir / "lex.pos").c_str()));
        loaded = true;
    }
    return lexicon;
}

TokenRecord Token(int32_t word, int start, int end)
{
    TokenRecord t;
    t.wordId = word;
    t.start = start;
    t.end = end;
    return t;
}

// A sentence of the given words over a text of one letter per word ("a" for
// the markers' empty spans), framed by the markers; the text is returned too.
std::vector<TokenRecord> Sentence(const std::vector<std::pair<int32_t, std::string>>& words, std::string& text)
{
    text.clear();
    std::vector<TokenRecord> items{Token(kBegin, 0, 0)};
    for (const auto& w : words) {
        items.push_back(Token(w.first, static_cast<int>(text.size()), static_cast<int>(text.size() + w.second.size())));
        text += w.second;
    }
    items.push_back(Token(kEnd, static_cast<int>(text.size()), static_cast<int>(text.size())));
    return items;
}

// The tag codes of the tokens between the markers.
std::vector<int> Tags(const CPosModel& model, std::vector<TokenRecord> items, const std::string& text,
                      int32_t person = -1, bool fixed = true)
{
    CPosModel::Workspace ws;
    model.Tag(text.data(), static_cast<int>(text.size()), items.data(), static_cast<int>(items.size()), &Lexicon(),
              person, fixed, ws);
    std::vector<int> tags;
    for (size_t i = 1; i + 1 < items.size(); ++i)
        tags.push_back(items[i].tag);
    EXPECT_EQ(items.front().tag, kBos);
    EXPECT_EQ(items.back().tag, kEos);
    return tags;
}

TEST(CPosModel, LoadsASoundFileAndReportsItsCounts)
{
    Model m;
    m.Weight(M::kWord, kEither, kC, 3);
    m.Weight(M::kLastChar, 'x', kB, 2);
    m.Weight(M::kShape, 7, kB, 1);
    CPosModel model;
    EXPECT_FALSE(model.IsLoaded());
    ASSERT_TRUE(LoadBytes(model, m.Bytes()));
    EXPECT_TRUE(model.IsLoaded());
    EXPECT_EQ(model.GetTagCount(), 6);
    EXPECT_EQ(model.GetWordCount(), kWords);
    EXPECT_EQ(model.GetCharCount(), 1);
    EXPECT_EQ(model.GetEntryCount(), 3);
    EXPECT_EQ(model.GetTagCode(T(kC)), kC);
    EXPECT_EQ(model.GetTagCode(6), M::kNoTag);
    EXPECT_EQ(model.ModelTag(kD), T(kD));
    EXPECT_EQ(model.ModelTag(77), M::kNoTag);
    EXPECT_TRUE(model.IsFolded(kEither));
    EXPECT_FALSE(model.IsFolded(kClass));
    EXPECT_FALSE(model.IsFolded(kWords));
    EXPECT_FALSE(model.IsFolded(-1));
}

// Whether a word is folded, for every id of a model with words on both sides
// of 64-word boundaries: only its words but the unfolded ones are.
TEST(CPosModel, EveryWordButTheUnfoldedIsFolded)
{
    Model m;
    m.image.wordCount = 200;
    m.image.unfoldedWords = {0, 63, 64, 65, 130, 199};
    CPosModel model;
    ASSERT_TRUE(LoadBytes(model, m.Bytes()));
    for (int32_t id = -2; id < 260; ++id) {
        const auto& unfolded = m.image.unfoldedWords;
        const bool listed =
            id >= 0 && std::find(unfolded.begin(), unfolded.end(), static_cast<uint32_t>(id)) != unfolded.end();
        EXPECT_EQ(model.IsFolded(id), id >= 0 && id < 200 && !listed) << id;
    }
}

// Where the sections of a serialised image begin.
struct Layout {
    size_t codes, open, expansions, unfolded, transitions, chars, hashed, lengths, tags, weights, end;
};
Layout LayoutOf(const Image& m)
{
    Layout l{};
    size_t hashed = 0;
    for (const auto& h : m.hashedKeys)
        hashed += h.size();
    const size_t rows = M::kWordTemplates * m.wordCount + M::kCharTemplates * m.charKeys.size() + hashed;
    l.codes = M::kHeaderBytes;
    l.open = l.codes + m.tagCodes.size();
    l.expansions = l.open + m.openTags.size();
    l.unfolded = l.expansions + 2 * m.expansions.size();
    l.transitions = l.unfolded + 4 * m.unfoldedWords.size();
    l.chars = l.transitions + 2 * m.tagCodes.size() * m.tagCodes.size();
    l.hashed = l.chars + 2 * m.charKeys.size();
    l.lengths = l.hashed + 4 * hashed;
    l.tags = l.lengths + rows;
    l.weights = l.tags + m.entryTags.size();
    l.end = l.weights + 2 * m.entryTags.size();
    return l;
}

void Put32(std::string& b, size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); }
void Put16(std::string& b, size_t at, uint16_t v) { std::memcpy(&b[at], &v, 2); }

TEST(CPosModel, RefusesDamagedFilesAndKeepsWhatItHeld)
{
    Model m;
    m.image.expansions = {{T(kA), T(kB)}, {T(kB), T(kC)}};
    m.Weight(M::kWord, kEither, kC, 3);
    m.Weight(M::kWord, kEither, kD, 4);
    m.Weight(M::kPrevWord, kPlain, kB, -2);
    m.Weight(M::kFirstChar, 'x', kB, 2);
    m.Weight(M::kLastChar, 'y', kC, 2);
    m.Weight(M::kSuffix, 0x7879, kB, 1);
    m.Weight(M::kSuffix, 0x7A7A, kB, 1);
    m.Weight(M::kShape, 7, kB, 1);
    const Image image = m.Finish();
    const std::string sound = PosModelWriter::Serialize(image);
    ASSERT_FALSE(sound.empty());
    const Layout l = LayoutOf(image);
    ASSERT_EQ(l.end, sound.size());
    const size_t firstEntryRow = l.lengths + kEither; // the kWord row of kEither: two weights

    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
    };
    const Case cases[] = {
        {"empty", [](std::string& b) { b.clear(); }},
        {"header only", [](std::string& b) { b.resize(M::kHeaderBytes); }},
        {"cut short", [](std::string& b) { b.pop_back(); }},
        {"a byte too many", [](std::string& b) { b.push_back('\0'); }},
        {"magic", [](std::string& b) { b[0] = 'X'; }},
        {"version", [](std::string& b) { Put32(b, 4, 2); }},
        {"no tags", [](std::string& b) { Put32(b, 8, 0); }},
        {"256 tags", [](std::string& b) { Put32(b, 8, 256); }},
        {"no open tags", [](std::string& b) { Put32(b, 12, 0); }},
        {"more open tags than tags", [](std::string& b) { Put32(b, 12, 7); }},
        {"too many expansions", [](std::string& b) { Put32(b, 16, M::kMaxExpansions + 1); }},
        {"a huge word count", [](std::string& b) { Put32(b, 20, 0xFFFFFFF0u); }},
        {"65536 characters", [](std::string& b) { Put32(b, 24, 65536); }},
        {"a huge weight count", [](std::string& b) { Put32(b, 28, 0xFFFFFFF0u); }},
        {"a scale of zero", [](std::string& b) { Put32(b, 32, 0); }},
        {"a negative scale", [](std::string& b) { const float f = -1; std::memcpy(&b[32], &f, 4); }},
        {"a scale that is not a number", [](std::string& b) { const float f = std::nanf(""); std::memcpy(&b[32], &f, 4); }},
        {"too many unfolded words", [](std::string& b) { Put32(b, 36, M::kMaxUnfolded + 1); }},
        {"a count in an unused hashed slot", [](std::string& b) { Put32(b, M::kHashedAt + 4 * (M::kHashedSlots - 1), 1); }},
        {"a reserved header byte", [](std::string& b) { b[M::kHeaderBytes - 1] = 1; }},
        {"tag code 255", [&](std::string& b) { b[l.codes + 2] = '\xFF'; }},
        {"a tag code twice", [&](std::string& b) { b[l.codes + 3] = static_cast<char>(kA); }},
        {"an open tag beyond the tags", [&](std::string& b) { b[l.open] = 6; }},
        {"an open tag twice", [&](std::string& b) { b[l.open + 1] = b[l.open]; }},
        {"an expansion to itself", [&](std::string& b) { b[l.expansions + 1] = b[l.expansions]; }},
        {"an expansion beyond the tags", [&](std::string& b) { b[l.expansions + 1] = 6; }},
        {"expansions out of order", [&](std::string& b) { b[l.expansions + 2] = 0; }},
        {"an unfolded word beyond the words", [&](std::string& b) { Put32(b, l.unfolded + 4, kWords); }},
        {"unfolded words out of order", [&](std::string& b) { Put32(b, l.unfolded + 4, kClass); }},
        {"characters out of order", [&](std::string& b) { Put16(b, l.chars + 2, 'x'); }},
        {"hashed keys out of order", [&](std::string& b) { Put32(b, l.hashed + 4, 0x7879); }},
        {"a row longer than the tags", [&](std::string& b) { b[l.lengths] = 7; }},
        {"rows holding more than the weights", [&](std::string& b) { b[l.lengths] = 1; }},
        {"a weight of a tag beyond the tags", [&](std::string& b) { b[l.tags] = 6; }},
        {"a row's tags out of order", [&](std::string& b) { std::swap(b[l.tags], b[l.tags + 1]); }},
        {"a tag twice in a row", [&](std::string& b) { b[l.tags + 1] = b[l.tags]; }},
    };
    ASSERT_EQ(static_cast<unsigned char>(sound[firstEntryRow]), 2u);
    for (const Case& c : cases) {
        std::string bytes = sound;
        c.damage(bytes);
        CPosModel fresh;
        EXPECT_FALSE(LoadBytes(fresh, bytes)) << c.what;
        EXPECT_FALSE(fresh.IsLoaded()) << c.what;
        // A model that held a sound file keeps it.
        CPosModel held;
        ASSERT_TRUE(LoadBytes(held, sound));
        EXPECT_FALSE(LoadBytes(held, bytes)) << c.what;
        EXPECT_TRUE(held.IsLoaded()) << c.what;
        EXPECT_EQ(held.GetEntryCount(), static_cast<int>(image.entryTags.size())) << c.what;
    }
    CPosModel model;
    EXPECT_FALSE(model.Load("/nonexistent/NewPos.pm"));
    TempDir dir;
    EXPECT_FALSE(model.Load(dir.path.c_str())); // a directory
}

TEST(CPosModel, ContextWeightsTransitionsAndTiesChooseTheTag)
{
    std::string text;
    // Without weights the candidates tie: the lexicon's first (b) stays.
    {
        CPosModel model;
        ASSERT_TRUE(LoadBytes(model, Model().Bytes()));
        EXPECT_EQ(Tags(model, Sentence({{kEither, "e"}}, text), text), std::vector<int>{kB});
    }
    // A weight of the previous word's: c after the plain word only.
    {
        Model m;
        m.Weight(M::kPrevWord, kPlain, kC, 5);
        CPosModel model;
        ASSERT_TRUE(LoadBytes(model, m.Bytes()));
        EXPECT_EQ(Tags(model, Sentence({{kPlain, "p"}, {kEither, "e"}}, text), text), (std::vector<int>{kA, kC}));
        EXPECT_EQ(Tags(model, Sentence({{kEither, "e"}, {kPlain, "p"}}, text), text), (std::vector<int>{kB, kA}));
    }
    // A transition: c before a; and the path, not the token alone, decides.
    {
        Model m;
        m.Transition(kC, kA, 4);
        m.Weight(M::kWord, kEither, kB, 3);
        CPosModel model;
        ASSERT_TRUE(LoadBytes(model, m.Bytes()));
        EXPECT_EQ(Tags(model, Sentence({{kEither, "e"}, {kPlain, "p"}}, text), text), (std::vector<int>{kC, kA}));
        EXPECT_EQ(Tags(model, Sentence({{kEither, "e"}}, text), text), std::vector<int>{kB});
    }
}

TEST(CPosModel, EveryWeightOfARowCountsWhateverItsLength)
{
    // The word's own row, of one to six weights, ends with the one that
    // decides between b and c (without it they tie and b stays): each entry
    // of a row, in every place a row's summing can leave it, is read.
    struct Case {
        std::vector<std::pair<uint8_t, int16_t>> row;
        int expected;
    };
    const std::vector<Case> cases = {
        {{{kB, -2}}, kC},
        {{{kA, 1}, {kB, -2}}, kC},
        {{{kEos, 1}, {kA, 1}, {kB, -2}}, kC},
        {{{kBos, 1}, {kEos, 1}, {kA, 1}, {kB, -2}}, kC},
        {{{kB, -2}, {kC, -3}}, kB},
        {{{kA, 1}, {kB, -2}, {kC, -3}}, kB},
        {{{kEos, 1}, {kA, 1}, {kB, -2}, {kC, -3}}, kB},
        {{{kBos, 1}, {kEos, 1}, {kA, 1}, {kB, -2}, {kC, -3}}, kB},
        {{{kBos, 1}, {kEos, 1}, {kA, 1}, {kB, -2}, {kC, -3}, {kD, 1}}, kB},
    };
    std::string text;
    for (size_t i = 0; i < cases.size(); ++i) {
        Model m;
        for (const auto& w : cases[i].row)
            m.Weight(M::kWord, kEither, w.first, w.second);
        CPosModel model;
        ASSERT_TRUE(LoadBytes(model, m.Bytes()));
        EXPECT_EQ(Tags(model, Sentence({{kEither, "e"}}, text), text), std::vector<int>{cases[i].expected})
            << "row " << i;
    }
}

TEST(CPosModel, WordsWithoutEntriesTakeTheOpenTagsByTheirCharacters)
{
    Model m;
    m.Weight(M::kLastChar, 'z', kC, 2);
    m.Weight(M::kSuffix, 'y' << 16 | 'z', kB, 3);
    CPosModel model;
    ASSERT_TRUE(LoadBytes(model, m.Bytes()));
    std::string text;
    // An unknown word (no id), a word beyond the model's and the lexicon's.
    EXPECT_EQ(Tags(model, Sentence({{-1, "xz"}}, text), text), std::vector<int>{kC});
    EXPECT_EQ(Tags(model, Sentence({{-1, "yz"}}, text), text), std::vector<int>{kB}); // 3 beats 2
    EXPECT_EQ(Tags(model, Sentence({{kWords + 5, "xz"}}, text), text), std::vector<int>{kC});
    // The open tags are the candidates: a, which no feature favours, never wins.
    EXPECT_EQ(Tags(model, Sentence({{-1, "q"}}, text), text), std::vector<int>{kB});
}

// One workspace kept across sentences of every length, each word taking the
// most candidates it can (all open tags), tags as a fresh workspace would.
TEST(CPosModel, AWorkspaceReusedAcrossLengthsTagsAsAFreshOne)
{
    Model m;
    m.Weight(M::kLastChar, 'z', kC, 2);
    m.Weight(M::kSuffix, 'y' << 16 | 'z', kB, 3);
    CPosModel model;
    ASSERT_TRUE(LoadBytes(model, m.Bytes()));
    CPosModel::Workspace ws;
    for (int words : {1, 9, 2, 30, 0, 5, 30}) {
        std::vector<std::pair<int32_t, std::string>> list;
        for (int i = 0; i < words; ++i)
            list.push_back({-1, i % 3 == 0 ? "yz" : i % 3 == 1 ? "xz" : "q"});
        std::string text;
        std::vector<TokenRecord> items = Sentence(list, text);
        const std::vector<int> fresh = Tags(model, items, text);
        model.Tag(text.data(), static_cast<int>(text.size()), items.data(), static_cast<int>(items.size()),
                  &Lexicon(), -1, true, ws);
        std::vector<int> reused;
        for (size_t i = 1; i + 1 < items.size(); ++i)
            reused.push_back(items[i].tag);
        EXPECT_EQ(reused, fresh) << words << " words";
        for (size_t i = 0; i < fresh.size(); ++i)
            if (i % 3 != 2) { // "q" has no features: its tag is the transitions'
                EXPECT_EQ(fresh[i], i % 3 == 0 ? kB : kC) << words << " words, word " << i;
            }
    }
}

// The tags of a plain search over a hand-made model: every token described
// in full, its candidates by the rules, its scores summed from the model's
// rows, a first-order Viterbi in which the earlier candidate keeps a tie.
std::vector<int> ReferenceTags(const Model& m, const CPosModel& model, const std::vector<TokenRecord>& items,
                               const std::string& text)
{
    const size_t n = items.size();
    std::vector<M::TokenInfo> infos(n);
    std::vector<std::vector<uint8_t>> candidates(n);
    for (size_t j = 0; j < n; ++j) {
        int count = 0;
        const CPosLexicon::Entry* entries = Lexicon().Lookup(items[j].wordId, &count);
        M::Describe(text.data(), static_cast<int>(text.size()), items[j], entries, entries ? count : 0, infos[j]);
        infos[j].folded = model.IsFolded(infos[j].word);
        std::vector<uint8_t>& c = candidates[j];
        const auto add = [&c](uint8_t code) {
            if (std::find(c.begin(), c.end(), code) == c.end())
                c.push_back(code);
        };
        for (int i = 0; i < count; ++i)
            if (T(entries[i].tag) != 255)
                add(entries[i].tag);
        const size_t listed = c.size();
        for (size_t i = 0; i < listed; ++i)
            for (const auto& e : m.image.expansions)
                if (e.first == T(c[i]))
                    add(kCodes[e.second]);
        if (c.empty() && count > 0)
            c.push_back(entries[0].tag);
        if (c.empty())
            for (uint8_t t : m.image.openTags)
                c.push_back(kCodes[t]);
    }
    std::vector<std::vector<int64_t>> score(n), emission(n);
    std::vector<std::vector<size_t>> back(n);
    for (size_t j = 0; j < n; ++j) {
        M::Key keys[M::kTemplateCount];
        const int k = M::Keys(infos.data(), static_cast<int>(n), static_cast<int>(j), keys);
        for (uint8_t code : candidates[j]) {
            int64_t e = 0;
            for (int f = 0; f < k && candidates[j].size() > 1; ++f) {
                const auto row = m.rows.find({keys[f].templ, keys[f].key});
                if (row == m.rows.end() || (keys[f].templ < M::kWordTemplates && keys[f].key >= kWords))
                    continue;
                const auto w = row->second.find(T(code));
                if (w != row->second.end())
                    e += w->second;
            }
            emission[j].push_back(e);
        }
    }
    const size_t tags = m.image.tagCodes.size();
    const auto transition = [&m, tags](uint8_t a, uint8_t b) -> int64_t {
        return T(a) == 255 || T(b) == 255 ? 0 : m.image.transitions[T(a) * tags + T(b)];
    };
    for (size_t j = 0; j < n; ++j)
        for (size_t c = 0; c < candidates[j].size(); ++c) {
            if (j == 0) {
                score[j].push_back(emission[j][c]);
                back[j].push_back(0);
                continue;
            }
            size_t from = 0;
            int64_t best = 0;
            for (size_t p = 0; p < candidates[j - 1].size(); ++p) {
                const int64_t s = score[j - 1][p] + transition(candidates[j - 1][p], candidates[j][c]);
                if (p == 0 || s > best) {
                    best = s;
                    from = p;
                }
            }
            score[j].push_back(best + emission[j][c]);
            back[j].push_back(from);
        }
    size_t current = 0;
    for (size_t c = 1; c < candidates[n - 1].size(); ++c)
        if (score[n - 1][c] > score[n - 1][current])
            current = c;
    std::vector<int> path(n);
    for (size_t i = n; i-- > 0;) {
        path[i] = candidates[i][current];
        current = back[i][current];
    }
    return std::vector<int>(path.begin() + 1, path.end() - 1);
}

// Random models (the six tags, or twelve more that no word has, so that rows
// are short and long beside their tags; rows of one weight to every tag, some
// of them on the features the sentences hold; expansion pairs or none) loaded
// one after another into the same model object, and sentences of every kind
// of word tagged through one workspace kept throughout: the tags are those of
// the plain search, so that neither the rows' layout nor what the workspace
// keeps between calls (from a model loaded before, too) changes a tag.
TEST(CPosModel, RandomModelsTagAsAPlainSearch)
{
    std::mt19937 random(20261210);
    const auto below = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const int32_t words[] = {kPlain, kEither, kOnlyB, kClass, kForeign, kPerson, -1, kWords + 3};
    const char* const pieces[] = {"x", "y", "z", "q", "\xB0\xA1", "\xD2\xBB"};
    CPosModel model;
    CPosModel::Workspace ws;
    for (int trial = 0; trial < 40; ++trial) {
        SCOPED_TRACE(trial);
        std::vector<std::string> texts(12);
        std::vector<std::vector<TokenRecord>> sentences;
        for (std::string& text : texts) {
            std::vector<std::pair<int32_t, std::string>> list;
            for (int w = below(9); w >= 0; --w) {
                std::string piece;
                for (int c = below(3); c >= 0; --c)
                    piece += pieces[below(6)];
                list.emplace_back(words[below(8)], piece);
            }
            sentences.push_back(Sentence(list, text));
        }
        // Rows on features the sentences hold, or on none of them.
        Model m;
        if (below(2) == 0)
            for (uint8_t code = 100; code < 112; ++code)
                m.image.tagCodes.push_back(code);
        const size_t tags = m.image.tagCodes.size();
        m.image.transitions.assign(tags * tags, 0);
        for (size_t s = 0; s < sentences.size(); ++s) {
            std::vector<M::TokenInfo> infos(sentences[s].size());
            for (size_t j = 0; j < infos.size(); ++j) {
                int count = 0;
                const CPosLexicon::Entry* entries = Lexicon().Lookup(sentences[s][j].wordId, &count);
                M::Describe(texts[s].data(), static_cast<int>(texts[s].size()), sentences[s][j], entries,
                            entries ? count : 0, infos[j]);
            }
            for (size_t j = 0; j < infos.size(); ++j) {
                M::Key keys[M::kTemplateCount];
                const int k = M::Keys(infos.data(), static_cast<int>(infos.size()), static_cast<int>(j), keys);
                for (int f = 0; f < k; ++f) {
                    if (below(3) != 0 || (keys[f].templ < M::kWordTemplates && keys[f].key >= kWords))
                        continue;
                    const uint32_t key = below(8) == 0 ? keys[f].key + 1 : keys[f].key;
                    for (size_t t = 0; t < tags; ++t)
                        if (below(2) == 0)
                            m.rows[{keys[f].templ, key}][static_cast<uint8_t>(t)] =
                                static_cast<int16_t>(below(41) - 20);
                }
            }
        }
        // Hash tables crowded with keys no sentence asks for (0 and the
        // largest among them), so that the keys asked for, stored or not, sit
        // inside long probe runs.
        for (int t = M::kFirstHashed; t < M::kTemplateCount; ++t)
            if (below(2) == 0)
                for (int i = 0; i < 300; ++i) {
                    const uint32_t key = i == 0 ? 0u : i == 1 ? UINT32_MAX : static_cast<uint32_t>(random());
                    m.rows[{t, key}][static_cast<uint8_t>(below(static_cast<int>(tags)))] =
                        static_cast<int16_t>(below(41) - 20);
                }
        for (int16_t& w : m.image.transitions)
            if (below(3) == 0)
                w = static_cast<int16_t>(below(21) - 10);
        if (below(2) == 0)
            m.image.expansions = {{T(kB), T(kC)}};
        ASSERT_TRUE(LoadBytes(model, m.Bytes()));
        for (size_t s = 0; s < sentences.size(); ++s) {
            std::vector<TokenRecord> items = sentences[s];
            model.Tag(texts[s].data(), static_cast<int>(texts[s].size()), items.data(),
                      static_cast<int>(items.size()), &Lexicon(), -1, true, ws);
            std::vector<int> tags;
            for (size_t i = 1; i + 1 < items.size(); ++i)
                tags.push_back(items[i].tag);
            EXPECT_EQ(tags, ReferenceTags(m, model, sentences[s], texts[s])) << "sentence " << s;
        }
    }
}

TEST(CPosModel, KnownWordsReadTheirWordRowAndClassWordsTheirCharacters)
{
    Model m;
    m.Weight(M::kLastChar, 'z', kC, 2);
    CPosModel model;
    ASSERT_TRUE(LoadBytes(model, m.Bytes()));
    std::string text;
    // kEither is folded: its characters were summed into its (empty) word row.
    EXPECT_EQ(Tags(model, Sentence({{kEither, "xz"}}, text), text), std::vector<int>{kB});
    // A class word's text varies: its characters count.
    EXPECT_EQ(Tags(model, Sentence({{kClass, "xz"}}, text), text), std::vector<int>{kC});
}

TEST(CPosModel, AFeatureWithAnEmptyRowAddsNothing)
{
    // A row without weights, in each kind of template, followed in the file by
    // a heavy row: the token reads its own empty row, never its neighbour's.
    struct Case {
        const char* what;
        M::Template templ;
        uint32_t own;  // the token's feature key, its row empty
        uint32_t next; // the row after it in the file
    };
    const Case cases[] = {
        {"word", M::kWord, kClass, kClass + 1},
        {"character", M::kLastChar, 'y', 'z'},
        {"hashed", M::kSuffix, 'x' << 16 | 'y', 'x' << 16 | 'z'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string text;
        const auto sentence = Sentence({{kClass, "xy"}}, text);
        Model m;
        m.rows[{c.templ, c.own}];
        m.Weight(c.templ, c.next, kC, 100);
        CPosModel model;
        ASSERT_TRUE(LoadBytes(model, m.Bytes()));
        // No weights: the tie goes to the lexicon's first tag.
        EXPECT_EQ(Tags(model, sentence, text), std::vector<int>{kB});
        // The feature is read: with the weight on its own row the tag changes.
        Model own;
        own.Weight(c.templ, c.own, kC, 100);
        ASSERT_TRUE(LoadBytes(model, own.Bytes()));
        EXPECT_EQ(Tags(model, sentence, text), std::vector<int>{kC});
    }
}

TEST(CPosModel, ACandidateWithoutWeightsScoresNothing)
{
    // A candidate no feature weighs scores zero, whatever the candidate before
    // it (of its own token or of the token before) scored: it beats one that
    // scores below zero and loses to one above.
    struct Case {
        const char* what;
        std::vector<std::tuple<M::Template, uint32_t, uint8_t, int16_t>> weights;
        std::vector<std::pair<int32_t, std::string>> words;
        std::vector<int> expected;
        bool expandBToC;
    };
    const Case cases[] = {
        {"the first candidate weighs below zero", {{M::kWord, kEither, kB, -5}}, {{kEither, "e"}}, {kC}, false},
        {"the first candidate weighs above zero", {{M::kWord, kEither, kB, 5}}, {{kEither, "e"}}, {kB}, false},
        {"the previous token weighed the tag", {{M::kWord, kEither, kB, 9}, {M::kWord, kClass, kC, 4}},
         {{kEither, "e"}, {kClass, "q"}}, {kB, kC}, false},
        {"the previous token weighed the other tag", {{M::kWord, kEither, kC, 9}, {M::kWord, kClass, kB, -4}},
         {{kEither, "e"}, {kClass, "q"}}, {kC, kC}, false},
        {"after a token of one candidate", {{M::kWord, kEither, kB, -5}}, {{kPlain, "p"}, {kEither, "e"}}, {kA, kC},
         false},
        {"a tag added by expansion", {{M::kWord, kOnlyB, kB, -5}}, {{kOnlyB, "o"}}, {kC}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Model m;
        for (const auto& w : c.weights)
            m.Weight(std::get<0>(w), std::get<1>(w), std::get<2>(w), std::get<3>(w));
        if (c.expandBToC)
            m.image.expansions = {{T(kB), T(kC)}};
        CPosModel model;
        ASSERT_TRUE(LoadBytes(model, m.Bytes()));
        std::string text;
        EXPECT_EQ(Tags(model, Sentence(c.words, text), text), c.expected);
    }
}

TEST(CPosModel, ExpansionPairsAddATagTheLexiconDropped)
{
    Model m;
    m.Weight(M::kWord, kOnlyB, kC, 5);
    CPosModel without;
    ASSERT_TRUE(LoadBytes(without, m.Bytes()));
    m.image.expansions = {{T(kB), T(kC)}};
    CPosModel with;
    ASSERT_TRUE(LoadBytes(with, m.Bytes()));
    std::string text;
    const auto items = Sentence({{kOnlyB, "o"}}, text);
    EXPECT_EQ(Tags(without, items, text), std::vector<int>{kB});
    EXPECT_EQ(Tags(with, items, text), std::vector<int>{kC});
}

TEST(CPosModel, KeepsTheRulesOfThePartOfSpeechPass)
{
    Model m;
    m.Weight(M::kWord, kEither, kC, 5);
    CPosModel model;
    ASSERT_TRUE(LoadBytes(model, m.Bytes()));
    std::string text;
    // A recognised name takes the code the recogniser left in its kind.
    std::vector<TokenRecord> items = Sentence({{kPerson, "nm"}, {kEither, "e"}}, text);
    items[1].kind = 25;
    CPosModel::Workspace ws;
    model.Tag(text.data(), static_cast<int>(text.size()), items.data(), static_cast<int>(items.size()), &Lexicon(),
              kPerson, true, ws);
    EXPECT_EQ(items[1].tag, 25);
    EXPECT_EQ(items[1].kind, kKindPersonName);
    EXPECT_EQ(items[2].tag, kC);
    // A tag given by the program is the word's only candidate, one the model
    // lacks too; without fixed tags the model decides.
    items = Sentence({{kEither, "e"}, {kEither, "e"}}, text);
    items[1].fixedTag = kA;
    items[2].fixedTag = 88;
    EXPECT_EQ(Tags(model, items, text), (std::vector<int>{kA, 88}));
    EXPECT_EQ(Tags(model, items, text, -1, false), (std::vector<int>{kC, kC}));
    // A word whose lexicon lists only a tag the model lacks keeps that tag.
    EXPECT_EQ(Tags(model, Sentence({{kForeign, "f"}, {kEither, "e"}}, text), text), (std::vector<int>{77, kC}));
}

TEST(CPosModel, AListedTagMayGiveWayToItsAlternative)
{
    Model m;
    m.Weight(M::kWord, kEither, kC, 5);
    CPosModel model;
    ASSERT_TRUE(LoadBytes(model, m.Bytes()));
    const struct {
        const char* label;
        unsigned flags;
        uint8_t listed;
        int alone; // the tag with the list's tag alone
        int other; // with kA's alternative kC
    } cases[] = {
        {"a supplementary word of the tag", kFlagSupplementWord, kA, kA, kC},
        {"a supplementary word of another tag", kFlagSupplementWord, kB, kB, kB},
        {"a user's word keeps its tag", kFlagSupplementWord | kFlagUserWord, kA, kA, kA},
        {"a tag the program gave keeps it", 0, kA, kA, kA},
    };
    std::string text;
    for (bool alternative : {false, true})
        for (const auto& c : cases) {
            std::vector<TokenRecord> items = Sentence({{kEither, "e"}}, text);
            items[1].flags = c.flags;
            items[1].fixedTag = c.listed;
            CPosModel::Workspace ws;
            if (alternative)
                ws.SetListedAlternative(kA, kC);
            model.Tag(text.data(), static_cast<int>(text.size()), items.data(), static_cast<int>(items.size()),
                      &Lexicon(), -1, true, ws);
            EXPECT_EQ(items[1].tag, alternative ? c.other : c.alone) << c.label;
        }
}

TEST(CPosModel, OddInputsChangeNothingOrStayInBounds)
{
    Model m;
    m.Weight(M::kFirstChar, 0xB0A1, kC, 5);
    CPosModel model;
    ASSERT_TRUE(LoadBytes(model, m.Bytes()));
    CPosModel::Workspace ws;
    TokenRecord one = Token(kEither, 0, 1);
    model.Tag("e", 1, &one, 0, &Lexicon(), -1, true, ws);
    EXPECT_EQ(one.tag, 255);
    model.Tag("e", 1, nullptr, 3, &Lexicon(), -1, true, ws);
    // A model that is not loaded tags nothing.
    CPosModel empty;
    empty.Tag("e", 1, &one, 1, &Lexicon(), -1, true, ws);
    EXPECT_EQ(one.tag, 255);
    // Offsets beyond the text, reversed, negative; a lone lead byte at the end;
    // no text at all; no lexicon.
    std::vector<TokenRecord> items = {Token(kBegin, 0, 0), Token(-1, 5, 90), Token(-1, 3, 1), Token(-1, -4, 2),
                                      Token(-1, 2, 3), Token(kEnd, 3, 3)};
    model.Tag("\xB0\xA1\xB0", 3, items.data(), static_cast<int>(items.size()), &Lexicon(), -1, true, ws);
    EXPECT_EQ(items[3].tag, kC); // its first character is 啊
    for (const TokenRecord& t : items)
        EXPECT_NE(t.tag, 255);
    model.Tag(nullptr, 7, items.data(), static_cast<int>(items.size()), nullptr, -1, true, ws);
    for (size_t i = 0; i < items.size(); ++i)
        EXPECT_TRUE(items[i].tag == kB || items[i].tag == kC) << i; // no lexicon: the open tags
}

TEST(CPosModel, OneModelServesManyThreads)
{
    Model m;
    m.Weight(M::kPrevWord, kPlain, kC, 5);
    m.Weight(M::kNextWord, kPlain, kB, 7);
    m.Weight(M::kLastChar, 'z', kC, 2);
    m.Transition(kC, kC, 3);
    CPosModel model;
    ASSERT_TRUE(LoadBytes(model, m.Bytes()));
    const CPosLexicon& lexicon = Lexicon();
    // Sentences of every length up to 40 over the words, with their tags alone.
    std::vector<std::string> texts;
    std::vector<std::vector<TokenRecord>> sentences;
    const int32_t cycle[] = {kPlain, kEither, -1, kClass, kOnlyB, kEither};
    for (int n = 1; n <= 40; ++n) {
        std::vector<std::pair<int32_t, std::string>> words;
        for (int i = 0; i < n; ++i)
            words.emplace_back(cycle[(i * 7 + n) % 6], i % 3 == 0 ? "xz" : "q");
        std::string text;
        sentences.push_back(Sentence(words, text));
        texts.push_back(text);
    }
    auto tagAll = [&](std::vector<std::vector<TokenRecord>>& out) {
        CPosModel::Workspace ws;
        out = sentences;
        for (int round = 0; round < 20; ++round)
            for (size_t s = 0; s < out.size(); ++s) {
                out[s] = sentences[s];
                model.Tag(texts[s].data(), static_cast<int>(texts[s].size()), out[s].data(),
                          static_cast<int>(out[s].size()), &lexicon, -1, true, ws);
            }
    };
    std::vector<std::vector<TokenRecord>> alone;
    tagAll(alone);
    std::vector<std::vector<std::vector<TokenRecord>>> results(4);
    std::vector<std::thread> threads;
    for (auto& r : results)
        threads.emplace_back(tagAll, std::ref(r));
    for (std::thread& t : threads)
        t.join();
    for (const auto& r : results)
        for (size_t s = 0; s < r.size(); ++s)
            for (size_t i = 0; i < r[s].size(); ++i)
                EXPECT_EQ(r[s][i].tag, alone[s][i].tag) << s << " " << i;
}

} // namespace
