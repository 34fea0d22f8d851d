#include "segment/CCharModel.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "TestUtil.h"
#include "tools/trainer/CharModelWriter.h"

namespace {

using Image = CharModelWriter::Image;
constexpr int kB = CCharModel::kB, kM = CCharModel::kM, kE = CCharModel::kE, kS = CCharModel::kS;
constexpr float kScale = 0.5f;

// A hand-made model over a few characters; every weight starts at zero.
struct Model {
    Image image;
    std::map<uint32_t, std::array<int16_t, 16>> pairs;
    std::map<uint32_t, std::array<int16_t, 4>> skips;

    explicit Model(std::vector<uint16_t> chars = {'a', 'b', 'c', 'x', 0xB0A1})
    {
        image.classCount = 4;
        image.scale = kScale;
        image.classes.assign(CCharModel::kKeyCount, 0);
        image.charKeys = chars;
        image.unigram.assign((chars.size() + 3) * 20, 0);
        image.classTrigram.assign(4 * 4 * 4 * 4, 0);
        image.repeat.assign(8, 0);
    }
    // Unigram row of a character (its key), or of a pad: -1 before, -2 after the text.
    int Row(int key) const
    {
        if (key == -1)
            return CCharModel::kBeforeSentence;
        if (key == -2)
            return CCharModel::kAfterSentence;
        for (size_t i = 0; i < image.charKeys.size(); ++i)
            if (image.charKeys[i] == key)
                return static_cast<int>(i) + 3;
        return CCharModel::kUnknownChar;
    }
    void Unigram(int key, int offset, int label, int16_t w) { image.unigram[size_t(Row(key)) * 20 + size_t(offset + 2) * 4 + size_t(label)] = w; }
    // t: 0 = C-2C-1, 1 = C-1C0, 2 = C0C1, 3 = C1C2 (a, b: the pair's characters in text order).
    void Pair(int a, int b, int t, int label, int16_t w) { pairs[uint32_t(Row(a)) << 16 | uint32_t(Row(b))][size_t(t * 4 + label)] = w; }
    void Skip(int a, int b, int label, int16_t w) { skips[uint32_t(Row(a)) << 16 | uint32_t(Row(b))][size_t(label)] = w; }
    Image Finish() const
    {
        Image m = image;
        for (const auto& p : pairs) {
            m.pairKeys.push_back(p.first);
            m.pairWeights.insert(m.pairWeights.end(), p.second.begin(), p.second.end());
        }
        for (const auto& s : skips) {
            m.skipKeys.push_back(s.first);
            m.skipWeights.insert(m.skipWeights.end(), s.second.begin(), s.second.end());
        }
        return m;
    }
    std::string Bytes() const { return CharModelWriter::Serialize(Finish()); }
};

bool LoadBytes(CCharModel& model, const std::string& bytes)
{
    static TempDir dir; // one for the whole run: removing a directory costs a shell
    WriteFile(dir / "m.cm", bytes);
    return model.Load((dir / "m.cm").c_str());
}

std::string Labels(const CCharModel::Workspace& ws)
{
    std::string out;
    for (int i = 0; i < ws.GetCharCount(); ++i)
        out += "BMES"[ws.GetLabels()[i]];
    return out;
}

std::string LabelAll(const CCharModel& model, const std::string& text, CCharModel::Workspace& ws)
{
    model.Label(text.data(), static_cast<int>(text.size()), ws);
    return Labels(ws);
}

// Each labelling of the workspace's characters the label grammar allows, as
// base-4 digits, with its score and words ([start, end) in characters).
using Labelling = std::pair<double, std::vector<std::pair<int, int>>>;
std::vector<Labelling> EveryLabelling(const CCharModel::Workspace& ws)
{
    const int n = ws.GetCharCount();
    const float* scores = ws.GetLabelScores();
    const float* moves = ws.GetTransitionScores();
    std::vector<Labelling> all;
    for (int code = 0; code < (1 << (2 * n)); ++code) {
        std::vector<int> labels(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            labels[static_cast<size_t>(i)] = (code >> (2 * i)) & 3;
        if ((labels[0] != kB && labels[0] != kS) || (labels.back() != kE && labels.back() != kS))
            continue;
        double total = 0;
        std::vector<std::pair<int, int>> words;
        int begin = 0;
        for (int i = 0; i < n && total > -INFINITY; ++i) {
            const int l = labels[static_cast<size_t>(i)];
            total += scores[i * 4 + l];
            if (i > 0)
                total += moves[labels[static_cast<size_t>(i - 1)] * 4 + l];
            if (l == kB || l == kS)
                begin = i;
            if (l == kE || l == kS)
                words.emplace_back(begin, i + 1);
        }
        if (total != -INFINITY)
            all.emplace_back(total, words);
    }
    return all;
}

// Each template read from its place in the file: one weight set, and the
// label score of the character it belongs to is that weight times the scale.
TEST(CCharModel, EveryTemplateScoresTheCharacterItDescribes)
{
    struct Case {
        const char* what;
        std::string text;
        int at; // character whose score moves
        int label;
        std::function<void(Model&)> set;
    };
    const Case cases[] = {
        {"C-2", "abc", 2, kM, [](Model& m) { m.Unigram('a', -2, kM, 7); }},
        {"C-1", "abc", 1, kE, [](Model& m) { m.Unigram('a', -1, kE, 7); }},
        {"C0", "abc", 1, kB, [](Model& m) { m.Unigram('b', 0, kB, 7); }},
        {"C1", "abc", 1, kS, [](Model& m) { m.Unigram('c', 1, kS, 7); }},
        {"C2", "abc", 0, kM, [](Model& m) { m.Unigram('c', 2, kM, 7); }},
        {"C-1 before the text", "abc", 0, kS, [](Model& m) { m.Unigram(-1, -1, kS, 7); }},
        {"C1 after the text", "abc", 2, kB, [](Model& m) { m.Unigram(-2, 1, kB, 7); }},
        {"C-2C-1", "abc", 2, kE, [](Model& m) { m.Pair('a', 'b', 0, kE, 7); }},
        {"C-1C0", "abc", 1, kM, [](Model& m) { m.Pair('a', 'b', 1, kM, 7); }},
        {"C0C1", "abc", 0, kB, [](Model& m) { m.Pair('a', 'b', 2, kB, 7); }},
        {"C1C2", "abc", 0, kS, [](Model& m) { m.Pair('b', 'c', 3, kS, 7); }},
        {"C-1C0 at the start", "abc", 0, kB, [](Model& m) { m.Pair(-1, 'a', 1, kB, 7); }},
        {"C0C1 at the end", "abc", 2, kE, [](Model& m) { m.Pair('c', -2, 2, kE, 7); }},
        {"C-1C1", "abc", 1, kE, [](Model& m) { m.Skip('a', 'c', kE, 7); }},
        {"two-byte character", "a\xB0\xA1" "c", 1, kM, [](Model& m) { m.Unigram(0xB0A1, 0, kM, 7); }},
        {"class trigram", "abc", 1, kS,
         [](Model& m) {
             m.image.classes['a'] = 1;
             m.image.classes['b'] = 2;
             m.image.classes['c'] = 0;
             m.image.classTrigram[((1 * 4 + 2) * 4 + 0) * 4 + kS] = 7;
         }},
        {"class trigram with the outside class", "abc", 0, kB,
         [](Model& m) { m.image.classTrigram[((3 * 4 + 0) * 4 + 0) * 4 + kB] = 7; }},
        {"C-1 = C0", "abb", 2, kE, [](Model& m) { m.image.repeat[0 * 4 + kE] = 7; }},
        {"C-2 = C0", "aba", 2, kM, [](Model& m) { m.image.repeat[1 * 4 + kM] = 7; }},
    };
    for (const Case& c : cases) {
        Model m;
        c.set(m);
        CCharModel model;
        ASSERT_TRUE(LoadBytes(model, m.Bytes())) << c.what;
        CCharModel::Workspace ws;
        const int n = model.Label(c.text.data(), static_cast<int>(c.text.size()), ws);
        ASSERT_EQ(n, 3) << c.what;
        for (int i = 0; i < n; ++i)
            for (int l = 0; l < 4; ++l)
                EXPECT_EQ(ws.GetLabelScores()[i * 4 + l], i == c.at && l == c.label ? 7 * kScale : 0.0f)
                    << c.what << ": character " << i << " label " << l;
    }
}

TEST(CCharModel, ViterbiFollowsTheScoresWithinTheLabelGrammar)
{
    Model m({'b', 'e', 'm', 's'});
    m.Unigram('b', 0, kB, 10);
    m.Unigram('m', 0, kM, 10);
    m.Unigram('e', 0, kE, 10);
    m.Unigram('s', 0, kS, 10);
    m.image.transitions[kS * 4 + kB] = -3; // only allowed pairs count
    CCharModel model;
    ASSERT_TRUE(LoadBytes(model, m.Bytes()));
    CCharModel::Workspace ws;
    const struct {
        const char* text;
        const char* labels;
    } cases[] = {
        {"bmes", "BMES"},
        {"sbe", "SBE"},
        {"e", "S"},   // a span starts and ends a word
        {"bb", "BE"}, // B B is no labelling; the best allowed one
        {"m", "S"},
        {"bmmmme", "BMMMME"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LabelAll(model, c.text, ws), c.labels) << c.text;
    const float* t = model.GetTransitionScores();
    EXPECT_EQ(t[kS * 4 + kB], -3 * kScale);
    EXPECT_EQ(t[kB * 4 + kM], 0.0f);
    EXPECT_TRUE(std::isinf(t[kB * 4 + kB]) && t[kB * 4 + kB] < 0);
    EXPECT_TRUE(std::isinf(t[kS * 4 + kE]) && t[kS * 4 + kE] < 0);
    model.Label("bmes", 4, ws);
    EXPECT_EQ(std::memcmp(ws.GetTransitionScores(), t, 16 * sizeof(float)), 0);
}

TEST(CCharModel, EachCharacterSeesTheCharactersAroundIt)
{
    // x before a: a begins a word; without the x, a stands alone.
    Model m;
    m.Unigram('a', 0, kS, 4);
    m.Pair('x', 'a', 1, kB, 10);
    m.Unigram('b', 0, kE, 2);
    CCharModel model;
    ASSERT_TRUE(LoadBytes(model, m.Bytes()));
    CCharModel::Workspace ws;
    EXPECT_EQ(LabelAll(model, "ab", ws), "SS");
    ASSERT_EQ(model.Words("xab", 3, ws), 2);
    EXPECT_EQ(Labels(ws).substr(1), "BE");
    EXPECT_EQ(ws.GetCharStarts()[1], 1); // byte offsets in the text
    EXPECT_EQ(ws.GetCharStarts()[3], 3);
    EXPECT_EQ(ws.GetWords()[1].start, 1);
    EXPECT_EQ(ws.GetWords()[1].end, 3);
    // The characters after one count too: b before x with C1 weight.
    Model n;
    n.Unigram('x', 1, kE, 5);
    n.Unigram('a', 0, kS, 1);
    ASSERT_TRUE(LoadBytes(model, n.Bytes()));
    EXPECT_EQ(LabelAll(model, "ab", ws), "SS");
    model.Label("abx", 3, ws);
    EXPECT_EQ(Labels(ws).substr(0, 2), "BE");
    EXPECT_EQ(ws.GetLabelScores()[1 * 4 + kE], 5 * kScale);
}

TEST(CCharModel, CutsAnyBytesIntoCharactersAsTheEngineReadsThem)
{
    Model m;
    CCharModel model;
    ASSERT_TRUE(LoadBytes(model, m.Bytes()));
    CCharModel::Workspace ws;
    const struct {
        const char* what;
        std::string text;
        std::vector<int> starts; // of the labelled characters, then the end
    } cases[] = {
        {"ASCII", "abc", {0, 1, 2, 3}},
        {"two-byte characters", "\xB0\xA1\xB0\xA2", {0, 2, 4}},
        {"lone lead byte at the end", "a\xB0\xA1\xB0", {0, 1, 3, 4}},
        {"a lead byte takes any next byte", "\x81\x0A" "b", {0, 2, 3}},
        {"NUL inside", std::string("a\0b", 3), {0, 1, 2, 3}},
        {"only a lead byte", "\xB0", {0, 1}},
    };
    for (const auto& c : cases) {
        const int n = model.Label(c.text.data(), static_cast<int>(c.text.size()), ws);
        const int expected = static_cast<int>(c.starts.size()) - 1;
        ASSERT_EQ(n, expected) << c.what;
        ASSERT_EQ(ws.GetCharCount(), expected) << c.what;
        for (int i = 0; i <= n; ++i)
            EXPECT_EQ(ws.GetCharStarts()[i], c.starts[static_cast<size_t>(i)]) << c.what << " " << i;
    }
    EXPECT_EQ(model.Label(nullptr, 3, ws), 0);
    EXPECT_EQ(model.Label("abc", 0, ws), 0);
    EXPECT_EQ(model.Label("abc", -1, ws), 0);
    CCharModel empty;
    EXPECT_EQ(empty.Label("abc", 3, ws), 0);
    EXPECT_EQ(empty.Words("abc", 3, ws), 0);
    EXPECT_TRUE(ws.GetWords().empty());
}

// Every word's margin, against every labelling of a short text tried in turn:
// the best score minus the best of the labellings that do not hold the word.
// Transitions that differ per pair of labels make a margin that reads the wrong
// one come out wrong.
TEST(CCharModel, WordMarginsMatchEveryLabellingTried)
{
    Model m;
    m.Unigram('a', 0, kB, 9);
    m.Unigram('b', -1, kE, 4);
    m.Unigram('c', 1, kM, -6);
    m.Unigram('c', 0, kS, 2);
    m.Unigram('x', 0, kS, 5);
    m.Pair('a', 'b', 2, kB, 3);
    m.Skip('a', 'c', kM, 8);
    const int transitions[4][4] = {{0, 1, -2, 0}, {0, 0, 3, 0}, {-1, 0, 0, 4}, {2, 0, 0, -3}};
    for (int from = 0; from < 4; ++from)
        for (int to = 0; to < 4; ++to)
            m.image.transitions[from * 4 + to] = transitions[from][to];
    CCharModel model;
    ASSERT_TRUE(LoadBytes(model, m.Bytes()));
    for (const std::string text : {"abcab", "xcxab", "abxc", "cabx", "aaxbb"}) {
        SCOPED_TRACE(text);
        CCharModel::Workspace ws;
        model.Words(text.data(), static_cast<int>(text.size()), ws);
        const int n = ws.GetCharCount();
        ASSERT_EQ(n, static_cast<int>(text.size()));
        double best = -INFINITY;
        const std::vector<Labelling> all = EveryLabelling(ws);
        for (const auto& l : all)
            best = std::max(best, l.first);
        for (const CCharModel::Word& w : ws.GetWords()) {
            double without = -INFINITY;
            for (const auto& [total, words] : all) {
                bool holds = false;
                for (const auto& span : words)
                    holds = holds || (span.first == w.start && span.second == w.end);
                if (!holds)
                    without = std::max(without, total);
            }
            if (without == -INFINITY)
                EXPECT_TRUE(std::isinf(w.confidence)) << w.start;
            else
                EXPECT_NEAR(w.confidence, best - without, 1e-3) << w.start << "-" << w.end;
        }
    }
}

// A small model whose weights give the span tests labellings of every kind;
// withPair adds a pair weight of x before c.
Model SpanModel(bool withPair)
{
    Model m;
    m.Unigram('a', 0, kB, 9);
    m.Unigram('b', -1, kE, 4);
    m.Unigram('b', 0, kM, 3);
    m.Unigram('c', 1, kM, -6);
    m.Unigram('c', 0, kS, 2);
    m.Unigram('x', 0, kS, 5);
    m.Pair('a', 'b', 2, kB, 3);
    if (withPair)
        m.Pair('x', 'c', 3, kE, -4);
    m.Skip('a', 'c', kM, 8);
    const int transitions[4][4] = {{0, 1, -2, 0}, {0, -1, 3, 0}, {-1, 0, 0, 4}, {2, 0, 0, -3}};
    for (int from = 0; from < 4; ++from)
        for (int to = 0; to < 4; ++to)
            m.image.transitions[from * 4 + to] = transitions[from][to];
    return m;
}

// The deficit of each span, against every labelling tried: the best score
// minus the best of the labellings that hold the span as one word. Asked for
// one start at a time it gives what the whole table gives, and writes no span
// longer than asked for.
TEST(CCharModel, SpanDeficitsMatchEveryLabellingTried)
{
    const Model m = SpanModel(false);
    CCharModel model;
    ASSERT_TRUE(LoadBytes(model, m.Bytes()));
    for (const std::string text : {"ab", "abc", "abcab", "xcxabb", "abbbxca", "cabxbbb"}) {
        SCOPED_TRACE(text);
        CCharModel::Workspace ws, whole;
        const int n = model.Score(text.data(), static_cast<int>(text.size()), ws);
        ASSERT_EQ(model.Score(text.data(), static_cast<int>(text.size()), whole), n);
        const std::vector<Labelling> all = EveryLabelling(ws);
        double best = -INFINITY;
        for (const auto& l : all)
            best = std::max(best, l.first);
        CCharModel::SpanPasses(ws);
        CCharModel::SpanDeficits(whole);
        for (int i = 0; i < n; ++i) {
            for (int maxChars = 2; maxChars <= CCharModel::kMaxSpanChars; ++maxChars) {
                float out[CCharModel::kMaxSpanChars];
                std::fill(std::begin(out), std::end(out), 12345.0f);
                CCharModel::SpanDeficitsAt(ws, i, maxChars, out);
                for (int w = 2; w <= CCharModel::kMaxSpanChars; ++w) {
                    if (w > maxChars || i + w > n) {
                        EXPECT_EQ(out[w - 2], 12345.0f) << i << "+" << w << " asked " << maxChars;
                        continue;
                    }
                    EXPECT_EQ(out[w - 2], whole.GetSpanDeficit(i, w)) << i << "+" << w;
                    double holding = -INFINITY;
                    for (const auto& [total, words] : all)
                        for (const auto& span : words)
                            if (span.first == i && span.second == i + w)
                                holding = std::max(holding, total);
                    EXPECT_NEAR(out[w - 2], best - holding, 1e-3) << i << "+" << w;
                }
            }
        }
    }
}

// The confidence in a span as a word, against every labelling tried: the best
// labelling that holds it as one word minus the best that does not. For a word
// of the best labelling it is that word's margin; for any other span, minus its
// deficit.
TEST(CCharModel, SpanConfidenceMatchesEveryLabellingTried)
{
    for (const bool withPair : {false, true}) {
        const Model m = SpanModel(withPair);
        CCharModel model;
        ASSERT_TRUE(LoadBytes(model, m.Bytes()));
        for (const std::string text : {"ab", "abc", "abcab", "xcxabb", "abbbxca", "cabxbbb"}) {
            SCOPED_TRACE(text + (withPair ? " with the pair" : ""));
            CCharModel::Workspace ws;
            const int n = model.Words(text.data(), static_cast<int>(text.size()), ws);
            ASSERT_GT(n, 0);
            const std::vector<Labelling> all = EveryLabelling(ws);
            CCharModel::SpanDeficits(ws);
            for (int i = 0; i < static_cast<int>(text.size()); ++i)
                for (int w = 2; w <= CCharModel::kMaxSpanChars && i + w <= static_cast<int>(text.size()); ++w) {
                    double holding = -INFINITY, without = -INFINITY;
                    for (const auto& [total, words] : all) {
                        bool holds = false;
                        for (const auto& span : words)
                            holds = holds || (span.first == i && span.second == i + w);
                        double& best = holds ? holding : without;
                        best = std::max(best, total);
                    }
                    const float confidence = CCharModel::SpanConfidence(ws, i, i + w);
                    EXPECT_NEAR(confidence, holding - without, 1e-3) << i << "+" << w;
                    bool own = false;
                    for (const CCharModel::Word& word : ws.GetWords()) {
                        if (word.start == i && word.end == i + w) {
                            own = true;
                            EXPECT_NEAR(confidence, word.confidence, 1e-3) << i << "+" << w;
                        }
                    }
                    if (!own) {
                        EXPECT_NEAR(confidence, -ws.GetSpanDeficit(i, w), 1e-3) << i << "+" << w;
                    }
                }
        }
    }
}

// The new-word step's one test of every span against the margins must take
// exactly the spans whose deficits SpanDeficitsAt compares within them: random
// models, texts, run lengths and margins (a tie with the margin included).
// A model of random weights over chars, and random texts of them.
Model RandomModel(std::mt19937& random, const std::vector<uint16_t>& chars)
{
    Model m(chars);
    std::uniform_int_distribution<int> weight(-400, 400);
    for (uint16_t c : chars)
        for (int offset = -2; offset <= 2; ++offset)
            for (int label = 0; label < 4; ++label)
                m.Unigram(c, offset, label, static_cast<int16_t>(weight(random)));
    for (uint16_t a : chars)
        for (uint16_t b : chars) {
            m.Pair(a, b, static_cast<int>(random() % 4), static_cast<int>(random() % 4),
                   static_cast<int16_t>(weight(random)));
            m.Skip(a, b, static_cast<int>(random() % 4), static_cast<int16_t>(weight(random)));
        }
    for (int k = 0; k < 16; ++k)
        m.image.transitions[k] = weight(random);
    return m;
}

std::string RandomText(std::mt19937& random, const std::vector<uint16_t>& chars, int n)
{
    std::string text;
    for (int k = 0; k < n; ++k) {
        const uint16_t c = chars[random() % chars.size()];
        if (c > 0xFF)
            text += std::string{char(c >> 8), char(c & 0xFF)};
        else
            text += char(c);
    }
    return text;
}

TEST(CCharModel, SpansWithinTakeExactlyTheSpansWhoseDeficitsAreWithinTheMargins)
{
    std::mt19937 random(24), stretchRandom(7);
    const std::vector<uint16_t> chars = {'a', 'b', 'c', 'x', 0xB0A1};
    for (int round = 0; round < 40; ++round) {
        const Model m = RandomModel(random, chars);
        CCharModel model;
        ASSERT_TRUE(LoadBytes(model, m.Bytes()));
        for (int sample = 0; sample < 25; ++sample) {
            const int n = 1 + static_cast<int>(random() % 30);
            const std::string text = RandomText(random, chars, n);
            CCharModel::Workspace ws;
            const int count = model.Score(text.data(), static_cast<int>(text.size()), ws);
            ASSERT_EQ(count, n);
            // Every other text in stretches around random seeds: the spans
            // stay inside their stretch, and none begins outside one.
            if (sample % 2 == 1) {
                std::vector<uint8_t> seeds(text.size() + 1);
                for (auto& seed : seeds)
                    seed = stretchRandom() % 4 == 0;
                CCharModel::SetStretches(ws, seeds.data(), static_cast<int>(stretchRandom() % 3));
            }
            CCharModel::SpanPasses(ws);
            std::vector<uint8_t> longest(static_cast<size_t>(n)), within(static_cast<size_t>(n), 0xFF);
            for (auto& l : longest)
                l = static_cast<uint8_t>(random() % (CCharModel::kMaxSpanChars + 3));
            // Margins at a real deficit as well as around the usual ones.
            float deficits[CCharModel::kMaxSpanChars] = {0.5f, 1.5f};
            if (ws.InStretch(0))
                CCharModel::SpanDeficitsAt(ws, 0, CCharModel::kMaxSpanChars, deficits);
            const float margin2 = sample % 3 == 0 && n >= 2 ? deficits[0] : 0.25f * float(random() % 40);
            const float margin = sample % 3 == 1 && n >= 3 ? deficits[1] : 0.25f * float(random() % 40);
            CCharModel::SpansWithin(ws, longest.data(), margin2, margin, within.data());
            for (int i = 0; i < n; ++i) {
                if (!ws.InStretch(i)) {
                    EXPECT_EQ(within[size_t(i)], 0) << text << " at " << i;
                    continue;
                }
                std::fill(std::begin(deficits), std::end(deficits), 1e30f);
                CCharModel::SpanDeficitsAt(ws, i, std::min<int>(longest[size_t(i)], CCharModel::kMaxSpanChars),
                                           deficits);
                uint32_t expected = 0;
                for (int w = 2; w <= CCharModel::kMaxSpanChars && w <= longest[size_t(i)] && i + w <= ws.GetStretchEnd(i);
                     ++w)
                    if (deficits[w - 2] <= (w == 2 ? margin2 : margin))
                        expected |= 1u << (w - 2);
                EXPECT_EQ(within[size_t(i)], expected) << text << " at " << i << " longest " << int(longest[size_t(i)]);
            }
        }
    }
}

// The passes, written plainly: one label at a time, each of its two ways in
// tested for reachability, in the order of operations of the engine's, so
// that every deficit must come out the same float.
struct ReferencePasses {
    std::vector<float> left, right;
    float all = 0;
    ReferencePasses(const CCharModel::Workspace& ws, int from, int to, bool openStart, bool openEnd)
        : left(size_t(to)), right(size_t(to))
    {
        const float* s = ws.GetLabelScores();
        const float* t = ws.GetTransitionScores();
        const float none = -1e30f;
        std::vector<float> f(size_t(to) * 4), g(size_t(to) * 4);
        for (int l = 0; l < 4; ++l) {
            f[size_t(from) * 4 + l] = (openStart || l == kB || l == kS) ? s[from * 4 + l] : none;
            g[size_t(to - 1) * 4 + l] = (openEnd || l == kE || l == kS) ? s[(to - 1) * 4 + l] : none;
        }
        for (int i = from + 1; i < to; ++i) {
            left[size_t(i)] = std::max(f[size_t(i - 1) * 4 + kE] + t[kE * 4 + kB], f[size_t(i - 1) * 4 + kS] + t[kS * 4 + kB]);
            for (int l = 0; l < 4; ++l) {
                float best = none;
                for (uint8_t p : CCharModel::kPredecessors[l])
                    if (f[size_t(i - 1) * 4 + p] > none)
                        best = std::max(best, f[size_t(i - 1) * 4 + p] + t[p * 4 + l]);
                f[size_t(i) * 4 + l] = best > none ? best + s[i * 4 + l] : none;
            }
        }
        for (int i = to - 2; i >= from; --i) {
            right[size_t(i)] = std::max(g[size_t(i + 1) * 4 + kB] + t[kE * 4 + kB], g[size_t(i + 1) * 4 + kS] + t[kE * 4 + kS]);
            for (int l = 0; l < 4; ++l) {
                float best = none;
                for (uint8_t q : CCharModel::kSuccessors[l])
                    if (g[size_t(i + 1) * 4 + q] > none)
                        best = std::max(best, g[size_t(i + 1) * 4 + q] + t[l * 4 + q]);
                g[size_t(i) * 4 + l] = best > none ? best + s[i * 4 + l] : none;
            }
        }
        const float* last = &f[size_t(to - 1) * 4];
        all = std::max(last[kE], last[kS]);
        if (openEnd)
            all = std::max(std::max(last[kB], last[kM]), all);
    }
    // The deficit of the span of n characters from i, as SpanDeficitsAt sums it.
    float Deficit(const CCharModel::Workspace& ws, int i, int n) const
    {
        const float* s = ws.GetLabelScores();
        const float* t = ws.GetTransitionScores();
        float inner = s[i * 4 + kB], out = 0;
        for (int k = 2; k <= n; ++k) {
            const int j = i + k - 1, previous = k == 2 ? kB : kM;
            out = all - (left[size_t(i)] + (inner + s[j * 4 + kE] + t[previous * 4 + kE]) + right[size_t(j)]);
            inner += s[j * 4 + kM] + t[previous * 4 + kM];
        }
        return out;
    }
};

// The passes are the hot loop of the new-word step; on random models and
// texts, whole or in stretches, their deficits must be the plain passes'.
TEST(CCharModel, SpanPassesGiveThePlainPassesDeficits)
{
    std::mt19937 random(31);
    const std::vector<uint16_t> chars = {'a', 'b', 'c', 'x', 0xB0A1};
    for (int round = 0; round < 20; ++round) {
        const Model m = RandomModel(random, chars);
        CCharModel model;
        ASSERT_TRUE(LoadBytes(model, m.Bytes()));
        for (int sample = 0; sample < 20; ++sample) {
            const int n = 1 + static_cast<int>(random() % 40);
            const std::string text = RandomText(random, chars, n);
            CCharModel::Workspace ws;
            ASSERT_EQ(model.Score(text.data(), static_cast<int>(text.size()), ws), n);
            std::vector<uint8_t> seeds(text.size() + 1);
            if (sample % 2 == 1) {
                for (auto& seed : seeds)
                    seed = random() % 5 == 0;
                CCharModel::SetStretches(ws, seeds.data(), static_cast<int>(random() % 3));
            }
            CCharModel::SpanPasses(ws);
            for (int from = 0; from < n;) {
                if (!ws.InStretch(from)) {
                    ++from;
                    continue;
                }
                const int to = ws.GetStretchEnd(from);
                const ReferencePasses reference(ws, from, to, from > 0, to < n);
                for (int i = from; i < to; ++i) {
                    float out[CCharModel::kMaxSpanChars];
                    CCharModel::SpanDeficitsAt(ws, i, CCharModel::kMaxSpanChars, out);
                    for (int w = 2; w <= CCharModel::kMaxSpanChars && i + w <= to; ++w)
                        ASSERT_EQ(out[w - 2], reference.Deficit(ws, i, w))
                            << text << " stretch " << from << "-" << to << " span " << i << "+" << w;
                }
                from = to;
            }
        }
    }
}

TEST(CCharModel, WordMarginIsTheScoreLostWithoutTheWord)
{
    Model m;
    m.Unigram('a', 0, kB, 10);
    m.Unigram('b', 0, kE, 10);
    m.Unigram('c', 0, kS, 3);
    CCharModel model;
    ASSERT_TRUE(LoadBytes(model, m.Bytes()));
    CCharModel::Workspace ws;
    ASSERT_EQ(model.Words("abc", 3, ws), 2);
    const std::vector<CCharModel::Word>& w = ws.GetWords();
    EXPECT_EQ(w[0].start, 0);
    EXPECT_EQ(w[0].end, 2);
    // Chosen: ab, c (10 + 10 + 3). The best labelling without either word is
    // abc as one word (B M E, 10): both margins are 13 units.
    EXPECT_FLOAT_EQ(w[0].confidence, 13 * kScale);
    EXPECT_FLOAT_EQ(w[1].confidence, 13 * kScale);
    // With c alone worth 30: a, b, c alone is 20 lower than ab, c (50); abc as
    // one word 40 lower.
    m.Unigram('c', 0, kS, 30);
    ASSERT_TRUE(LoadBytes(model, m.Bytes()));
    ASSERT_EQ(model.Words("abc", 3, ws), 2);
    EXPECT_FLOAT_EQ(ws.GetWords()[0].confidence, 20 * kScale);
    EXPECT_FLOAT_EQ(ws.GetWords()[1].confidence, 40 * kScale);
    ASSERT_EQ(model.Words("c", 1, ws), 1);
    EXPECT_TRUE(std::isinf(ws.GetWords()[0].confidence)); // one character has no other labelling
    // A tie: the earlier label wins, and the margin is 0.
    Model tie;
    CCharModel flat;
    ASSERT_TRUE(LoadBytes(flat, tie.Bytes()));
    ASSERT_EQ(flat.Words("ab", 2, ws), 1);
    EXPECT_EQ(Labels(ws), "BE");
    EXPECT_EQ(ws.GetWords()[0].confidence, 0.0f);
}

// Score is Label without the labelling: the same characters, label scores and
// span deficits, whatever the text, and nothing on a
// model that is not loaded.
TEST(CCharModel, ScoreGivesTheScoresOfLabelWithoutTheLabelling)
{
    Model m;
    m.Unigram('a', 0, kB, 9);
    m.Unigram('b', -1, kE, 4);
    m.Unigram('c', 1, kM, -6);
    m.Unigram(0xB0A1, 0, kS, 5);
    m.Pair('a', 'b', 2, kB, 3);
    m.Pair('b', 'c', 1, kE, -2);
    m.Skip('a', 'c', kM, 8);
    m.image.repeat[0 * 4 + kS] = 2;
    m.image.transitions[kE * 4 + kB] = -1;
    CCharModel model;
    ASSERT_TRUE(LoadBytes(model, m.Bytes()));
    const struct {
        std::string text;
    } cases[] = {
        {"abcab"}, {"aabbcc\xB0\xA1x"}, {"x\xB0\xA1" "abc"}, {"a"}, {"abcabcabcabc"}, {""},
    };
    for (const auto& c : cases) {
        CCharModel::Workspace labelled, scored;
        const int length = static_cast<int>(c.text.size());
        const int n = model.Label(c.text.data(), length, labelled);
        ASSERT_EQ(model.Score(c.text.data(), length, scored), n) << c.text;
        ASSERT_EQ(scored.GetCharCount(), n) << c.text;
        if (n == 0)
            continue;
        CCharModel::SpanDeficits(labelled);
        CCharModel::SpanDeficits(scored);
        for (int i = 0; i <= n; ++i)
            EXPECT_EQ(scored.GetCharStarts()[i], labelled.GetCharStarts()[i]) << c.text << " " << i;
        for (int i = 0; i < n; ++i) {
            for (int l = 0; l < 4; ++l)
                EXPECT_EQ(scored.GetLabelScores()[i * 4 + l], labelled.GetLabelScores()[i * 4 + l]) << c.text;
            for (int w = 2; w <= CCharModel::kMaxSpanChars && i + w <= n; ++w)
                EXPECT_EQ(scored.GetSpanDeficit(i, w), labelled.GetSpanDeficit(i, w)) << c.text << " " << i;
        }
        EXPECT_TRUE(scored.GetWords().empty());
    }
    CCharModel empty;
    CCharModel::Workspace ws;
    EXPECT_EQ(empty.Score("abc", 3, ws), 0);
    EXPECT_EQ(ws.GetCharCount(), 0);
}

// A model without skip rows takes no skip look-ups at all: its scores must be
// those of the same model whose skip rows are all zero, on random texts over
// its characters and some it lacks, and for Label and Score alike.
TEST(CCharModel, ModelWithoutSkipRowsScoresAsOneWithZeroSkipRows)
{
    std::mt19937 random(20261210);
    std::uniform_int_distribution<int> weight(-40, 40);
    Model m;
    const std::vector<int> keys = {'a', 'b', 'c', 'x', 0xB0A1, -1, -2};
    for (int key : keys)
        for (int o = -2; o <= 2; ++o)
            for (int l = 0; l < 4; ++l)
                m.Unigram(key, o, l, static_cast<int16_t>(weight(random)));
    for (int a : keys)
        for (int b : keys)
            if (random() % 2)
                for (int t = 0; t < 4; ++t)
                    m.Pair(a, b, t, static_cast<int>(random() % 4), static_cast<int16_t>(weight(random)));
    for (int l = 0; l < 8; ++l)
        m.image.repeat[static_cast<size_t>(l)] = static_cast<int16_t>(weight(random));
    m.image.transitions[kE * 4 + kB] = -3;
    m.image.transitions[kS * 4 + kS] = 2;
    Model zeros = m;
    zeros.Skip('a', 'c', kB, 0);
    zeros.Skip('b', 'b', kS, 0);
    zeros.Skip(-1, 'a', kM, 0);
    CCharModel without, with;
    ASSERT_TRUE(LoadBytes(without, m.Bytes()));
    ASSERT_EQ(without.GetSkipCount(), 0);
    ASSERT_TRUE(LoadBytes(with, zeros.Bytes()));
    ASSERT_EQ(with.GetSkipCount(), 3);
    const std::vector<std::string> alphabet = {"a", "b", "c", "x", "\xB0\xA1", "z", "\xC4\xE3"};
    CCharModel::Workspace a, b;
    for (int round = 0; round < 200; ++round) {
        std::string text;
        const int n = 1 + static_cast<int>(random() % 12);
        for (int i = 0; i < n; ++i)
            text += alphabet[random() % alphabet.size()];
        const int length = static_cast<int>(text.size());
        for (const bool label : {true, false}) {
            const int chars = label ? without.Label(text.data(), length, a) : without.Score(text.data(), length, a);
            ASSERT_EQ(label ? with.Label(text.data(), length, b) : with.Score(text.data(), length, b), chars);
            for (int i = 0; i < chars * 4; ++i)
                ASSERT_EQ(a.GetLabelScores()[i], b.GetLabelScores()[i]) << text << " " << i;
            if (label) {
                EXPECT_EQ(Labels(a), Labels(b)) << text;
            }
        }
    }
}

// SetStretches: the characters within the context of a seed make the
// stretches; each is a text of its own for the passes and deficits, its ends
// inside the text open to every label, and the label scores stay the text's.
TEST(CCharModel, StretchesAreLabelledEachAsATextOfItsOwn)
{
    const Model m = SpanModel(true);
    CCharModel model;
    ASSERT_TRUE(LoadBytes(model, m.Bytes()));
    const struct {
        std::string text;
        std::string seeds; // per byte: 1 marks a seed
        int context;
        std::string stretches; // per character
    } cases[] = {
        {"abcabxcab", "000010000", 0, "000010000"},
        {"abcabxcab", "000010000", 1, "000111000"},
        {"abcabxcab", "000010000", 2, "001111100"},
        {"abcabxcab", "100000001", 1, "110000011"},
        {"abcabxcab", "100000001", 3, "111101111"},
        {"abcabxcab", "010010000", 1, "111111000"},
        {"abcabxcab", "000000000", 2, "000000000"},
        {"abcabxcab", "111111111", 0, "111111111"},
        {"xcabbxa", "0010000", 9, "1111111"},
        // A character of two bytes is a seed by its first byte.
        {"ab\xB0\xA1" "cx", "001000", 1, "01110"},
        {"ab\xB0\xA1" "cx", "000100", 1, "00000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + " " + c.seeds + " " + std::to_string(c.context));
        const int length = static_cast<int>(c.text.size());
        std::vector<uint8_t> seeds;
        for (char b : c.seeds)
            seeds.push_back(b == '1');
        CCharModel::Workspace ws, plain;
        const int n = model.Score(c.text.data(), length, ws);
        ASSERT_EQ(model.Score(c.text.data(), length, plain), n);
        ASSERT_EQ(static_cast<int>(c.stretches.size()), n);
        CCharModel::SetStretches(ws, seeds.data(), c.context);
        std::string in;
        for (int i = 0; i < n; ++i)
            in += ws.InStretch(i) ? '1' : '0';
        EXPECT_EQ(in, c.stretches);
        const float* s = ws.GetLabelScores();
        const float* t = ws.GetTransitionScores();
        CCharModel::SpanPasses(ws);
        for (int i = 0; i < n; ++i) {
            if (!ws.InStretch(i))
                continue;
            int from = i;
            while (from > 0 && ws.InStretch(from - 1))
                --from;
            const int to = ws.GetStretchEnd(i);
            ASSERT_TRUE(to > i && to <= n && (to == n || !ws.InStretch(to)));
            // Every labelling of the stretch, its ends closed only at the text's.
            const int k = to - from;
            double best = -INFINITY;
            std::vector<std::pair<double, std::vector<int>>> all;
            for (int code = 0; code < (1 << (2 * k)); ++code) {
                std::vector<int> labels;
                for (int j = 0; j < k; ++j)
                    labels.push_back((code >> (2 * j)) & 3);
                if (from == 0 && labels[0] != kB && labels[0] != kS)
                    continue;
                if (to == n && labels.back() != kE && labels.back() != kS)
                    continue;
                double total = 0;
                for (int j = 0; j < k; ++j)
                    total += s[(from + j) * 4 + labels[j]] + (j > 0 ? t[labels[j - 1] * 4 + labels[j]] : 0.0f);
                if (total == -INFINITY)
                    continue;
                best = std::max(best, total);
                all.emplace_back(total, labels);
            }
            float out[CCharModel::kMaxSpanChars];
            std::fill(std::begin(out), std::end(out), 12345.0f);
            CCharModel::SpanDeficitsAt(ws, i, CCharModel::kMaxSpanChars, out);
            for (int w = 2; w <= CCharModel::kMaxSpanChars; ++w) {
                if (i + w > to) {
                    EXPECT_EQ(out[w - 2], 12345.0f) << i << "+" << w << ": beyond the stretch";
                    continue;
                }
                // The span as one word (B M..M E), a word closed before it and
                // one begun after it where the stretch goes on.
                double holding = -INFINITY;
                for (const auto& [total, labels] : all) {
                    bool word = labels[i - from] == kB && labels[i + w - 1 - from] == kE;
                    for (int j = i + 1; j < i + w - 1; ++j)
                        word = word && labels[j - from] == kM;
                    if (i > from)
                        word = word && (labels[i - 1 - from] == kE || labels[i - 1 - from] == kS);
                    if (i + w < to)
                        word = word && (labels[i + w - from] == kB || labels[i + w - from] == kS);
                    if (word)
                        holding = std::max(holding, total);
                }
                EXPECT_NEAR(out[w - 2], best - holding, 1e-3) << i << "+" << w;
            }
        }
        // The label scores, and so the words' scores, are the text's.
        for (int i = 0; i < 4 * n; ++i)
            EXPECT_EQ(s[i], plain.GetLabelScores()[i]);
        // A stretch that is the whole text: the deficits of no stretches at all.
        if (c.stretches.find('0') == std::string::npos) {
            CCharModel::SpanDeficits(ws);
            CCharModel::SpanDeficits(plain);
            for (int i = 0; i < n; ++i)
                for (int w = 2; w <= CCharModel::kMaxSpanChars && i + w <= n; ++w)
                    EXPECT_EQ(ws.GetSpanDeficit(i, w), plain.GetSpanDeficit(i, w)) << i << "+" << w;
        }
    }
    // Score again: no stretches.
    CCharModel::Workspace ws;
    const uint8_t none[3] = {0, 0, 0};
    model.Score("abc", 3, ws);
    CCharModel::SetStretches(ws, none, 1);
    EXPECT_FALSE(ws.InStretch(1));
    model.Score("abc", 3, ws);
    EXPECT_TRUE(ws.InStretch(1));
    EXPECT_EQ(ws.GetStretchEnd(0), 3);
}

TEST(CCharModel, UnknownCharactersHaveNoCharacterFeatures)
{
    Model m;
    m.Unigram(-1, -1, kB, 3); // still sees the pads
    m.image.classTrigram[((3 * 4 + 0) * 4 + 3) * 4 + kS] = 2;
    CCharModel model;
    ASSERT_TRUE(LoadBytes(model, m.Bytes()));
    CCharModel::Workspace ws;
    ASSERT_EQ(model.Label("\xC4\xE3", 2, ws), 1); // a character the model never saw
    EXPECT_EQ(ws.GetLabelScores()[kB], 3 * kScale);
    EXPECT_EQ(ws.GetLabelScores()[kS], 2 * kScale);
}

TEST(CCharModel, SharedModelGivesEveryThreadTheSameLabels)
{
    Model m;
    m.Unigram('a', 0, kB, 4);
    m.Unigram('b', 0, kE, 4);
    m.Pair('c', 'a', 1, kB, 2);
    m.Skip('a', 'c', kS, 3);
    CCharModel model;
    ASSERT_TRUE(LoadBytes(model, m.Bytes()));
    const std::string text = "abcabcxab\xB0\xA1" "cba";
    CCharModel::Workspace reference;
    model.Words(text.data(), static_cast<int>(text.size()), reference);
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            CCharModel::Workspace ws;
            for (int k = 0; k < 2000; ++k) {
                const int to = static_cast<int>(text.size()) - (k % 3);
                model.Words(text.data(), to, ws);
                if (to == static_cast<int>(text.size()) && Labels(ws) != Labels(reference))
                    ++mismatches[static_cast<size_t>(t)];
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

// Damaged files: each mutation of a sound file must be refused, and the model
// must keep labelling as it did.
TEST(CCharModel, RefusesDamagedFilesAndKeepsWhatItHeld)
{
    Model good;
    good.Unigram('a', 0, kB, 9);
    good.Unigram('b', 0, kE, 9);
    good.Pair('a', 'b', 1, kE, 1);
    good.Pair('b', 'c', 1, kB, 1);
    good.Skip('a', 'c', kS, 1);
    good.Skip('b', 'x', kS, 1);
    const std::string sound = good.Bytes();
    ASSERT_FALSE(sound.empty());
    const size_t classes = 96, charKeys = classes + 65536;
    const size_t unigram = charKeys + 2 * 5;
    const size_t pairKeys = unigram + 2 * 8 * 20 + 2 * 4 * 4 * 4 * 4 + 2 * 8;
    const size_t skipKeys = pairKeys + 2 * (4 + 32);
    ASSERT_EQ(sound.size(), skipKeys + 2 * (4 + 8));
    auto put32 = [](std::string& s, size_t at, uint32_t v) { std::memcpy(&s[at], &v, 4); };
    auto putFloat = [](std::string& s, size_t at, float v) { std::memcpy(&s[at], &v, 4); };
    const struct {
        const char* what;
        std::function<void(std::string&)> damage;
    } cases[] = {
        {"zero bytes", [](std::string& s) { s.clear(); }},
        {"header only", [](std::string& s) { s.resize(96); }},
        {"one byte short", [](std::string& s) { s.pop_back(); }},
        {"one byte more", [](std::string& s) { s.push_back('\0'); }},
        {"half the file", [](std::string& s) { s.resize(s.size() / 2); }},
        {"bad magic", [](std::string& s) { s[0] = 'X'; }},
        {"wrong version", [&](std::string& s) { put32(s, 4, 2); }},
        {"one class", [&](std::string& s) { put32(s, 8, 1); }},
        {"seventeen classes", [&](std::string& s) { put32(s, 8, 17); }},
        {"more characters than the file holds", [&](std::string& s) { put32(s, 12, 6); }},
        {"character count beyond any file", [&](std::string& s) { put32(s, 12, 0xFFFFFFFF); }},
        {"pair count beyond any file", [&](std::string& s) { put32(s, 16, 0x40000000); }},
        {"skip count one more", [&](std::string& s) { put32(s, 20, 3); }},
        {"zero scale", [&](std::string& s) { putFloat(s, 24, 0.0f); }},
        {"negative scale", [&](std::string& s) { putFloat(s, 24, -1.0f); }},
        {"scale not a number", [&](std::string& s) { putFloat(s, 24, std::nanf("")); }},
        {"infinite scale", [&](std::string& s) { putFloat(s, 24, INFINITY); }},
        {"reserved field set", [&](std::string& s) { put32(s, 28, 1); }},
        {"transition beyond the bound", [&](std::string& s) { put32(s, 32 + 4, 0x7FFFFFFF); }},
        {"outside class given to a character", [&](std::string& s) { s[classes + 'a'] = 3; }},
        {"class beyond the count", [&](std::string& s) { s[classes + 0xB0A1] = 9; }},
        {"character keys out of order", [&](std::string& s) { std::swap(s[charKeys], s[charKeys + 2]); }},
        {"pair keys out of order", [&](std::string& s) {
             uint32_t a, b;
             std::memcpy(&a, &s[pairKeys], 4);
             std::memcpy(&b, &s[pairKeys + 4], 4);
             put32(s, pairKeys, b);
             put32(s, pairKeys + 4, a);
         }},
        {"pair key with the unknown row", [&](std::string& s) { put32(s, pairKeys, 3u << 16 | 0u); }},
        {"pair key beyond the rows", [&](std::string& s) { put32(s, pairKeys + 4, 7u << 16 | 8u); }},
        {"skip keys repeated", [&](std::string& s) {
             uint32_t a;
             std::memcpy(&a, &s[skipKeys], 4);
             put32(s, skipKeys + 4, a);
         }},
        {"skip key beyond the rows", [&](std::string& s) { put32(s, skipKeys, 0xFFFF0003u); }},
    };
    CCharModel model;
    ASSERT_TRUE(LoadBytes(model, sound));
    CCharModel::Workspace ws;
    ASSERT_EQ(LabelAll(model, "abab", ws), "BEBE");
    for (const auto& c : cases) {
        std::string bytes = sound;
        c.damage(bytes);
        EXPECT_FALSE(LoadBytes(model, bytes)) << c.what;
        EXPECT_TRUE(model.IsLoaded()) << c.what;
        EXPECT_EQ(LabelAll(model, "abab", ws), "BEBE") << c.what;
        EXPECT_EQ(model.GetCharCount(), 5) << c.what;
        CCharModel fresh;
        EXPECT_FALSE(LoadBytes(fresh, bytes)) << c.what;
        EXPECT_FALSE(fresh.IsLoaded()) << c.what;
        EXPECT_EQ(fresh.Label("abab", 4, ws), 0) << c.what;
    }
    TempDir dir;
    EXPECT_FALSE(model.Load((dir / "missing.cm").c_str()));
    EXPECT_FALSE(model.Load(dir.path.c_str())); // a directory
    EXPECT_FALSE(model.Load(nullptr));
    EXPECT_EQ(LabelAll(model, "abab", ws), "BEBE");
}

TEST(CCharModel, WriterRefusesAnImageThatDoesNotFitItsCounts)
{
    Model m;
    Image image = m.Finish();
    EXPECT_FALSE(CharModelWriter::Serialize(image).empty());
    const std::vector<std::function<void(Image&)>> damage = {
        [](Image& i) { i.classes.pop_back(); },
        [](Image& i) { i.unigram.pop_back(); },
        [](Image& i) { i.classTrigram.push_back(0); },
        [](Image& i) { i.repeat.clear(); },
        [](Image& i) { i.pairKeys.push_back(3u << 16 | 4u); },
        [](Image& i) { i.skipWeights.push_back(1); },
        [](Image& i) { i.classCount = 1; },
    };
    for (size_t k = 0; k < damage.size(); ++k) {
        Image bad = image;
        damage[k](bad);
        EXPECT_TRUE(CharModelWriter::Serialize(bad).empty()) << k;
    }
}

TEST(CCharModel, AtomicWriteReplacesTheFileWholeAndLeavesNoTemporaryFile)
{
    TempDir dir;
    const std::string path = dir / "NewWord.cm";
    WriteFile(path, "old");
    ASSERT_TRUE(CharModelWriter::WriteAtomically(path, "new content"));
    EXPECT_EQ(ReadFile(path), "new content");
    ASSERT_TRUE(CharModelWriter::WriteAtomically(path, ""));
    EXPECT_EQ(ReadFile(path), "");
    EXPECT_FALSE(CharModelWriter::WriteAtomically(dir / "no/such/dir/NewWord.cm", "x"));
    // Only the target remains in the directory.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"NewWord.cm"});
}

} // namespace
