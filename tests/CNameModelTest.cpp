#include "tagging/CNameModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "NameTestChars.h"
#include "TestUtil.h"
#include "segment/CharKeys.h"
#include "tools/trainer/NameModelTrainer.h"
#include "tools/trainer/NameModelWriter.h"

namespace {

using N = CNameModel;
using Image = NameModelTrainer::Image;
constexpr int kW = N::kRowWidth;

using namespace namechars;

uint64_t FingerprintOf(const std::vector<std::string>& chars)
{
    uint64_t h = N::kFingerprintSeed;
    for (const std::string& c : chars)
        h = N::Fingerprint(h, Key(c));
    return h;
}

// A hand-made model over a few characters; every weight starts at zero.
struct Model {
    Image image;
    std::map<uint64_t, std::pair<uint8_t, uint8_t>> lexicon; // fingerprint -> class, context

    Model()
    {
        image.classCount = 4;
        image.scale = 0.5f;
        image.classes.assign(N::kKeyCount, 0);
        for (const std::string& c : {kWang, kXiao, kMing, kKe, kLin, kDun, kShuo})
            image.charKeys.push_back(static_cast<uint16_t>(Key(c)));
        std::sort(image.charKeys.begin(), image.charKeys.end());
        image.transitions.assign(N::kLabelCount * N::kLabelCount, 0);
        image.unigram.assign((image.charKeys.size() + N::kReservedRows) * N::kUnigramWeights, 0);
        image.classTrigram.assign(4 * 4 * 4 * kW, 0);
        image.lexWeights.assign(N::kLexWeights, 0);
        image.contextWeights.assign(N::kContextWeights, 0);
    }
    int Row(const std::string& ch) const
    {
        for (size_t i = 0; i < image.charKeys.size(); ++i)
            if (image.charKeys[i] == Key(ch))
                return static_cast<int>(i) + N::kReservedRows;
        return N::kUnknownChar;
    }
    // The weight of `label` for the character `offset` places after `ch` (-2..2).
    void Unigram(const std::string& ch, int offset, int label, int16_t w)
    {
        image.unigram[size_t(Row(ch)) * N::kUnigramWeights + size_t(offset + 2) * kW + size_t(label)] = w;
    }
    void Lexicon(const std::vector<std::string>& chars, uint8_t cls)
    {
        for (size_t n = 2; n < chars.size(); ++n) {
            const uint64_t prefix = FingerprintOf(std::vector<std::string>(chars.begin(), chars.begin() + long(n)));
            if (!lexicon.count(prefix))
                lexicon[prefix] = {N::kPrefixOnly, 0};
            else if (lexicon[prefix].first != N::kPrefixOnly)
                lexicon[prefix].first |= N::kContinues;
        }
        lexicon[FingerprintOf(chars)] = {cls, 0};
    }
    void LexWeight(int cls, int place, int length, int label, int16_t w)
    {
        image.lexWeights[size_t(N::LexBlock(cls, place, length) + label)] = w;
    }
    std::string Bytes() const
    {
        Image m = image;
        for (const auto& e : lexicon) {
            m.lexKeys.push_back(e.first);
            m.lexClasses.push_back(e.second.first);
            m.lexContexts.push_back(e.second.second);
        }
        return NameModelWriter::Serialize(m);
    }
};

bool LoadBytes(CNameModel& model, const std::string& bytes)
{
    static TempDir dir;
    WriteFile(dir / "m.nm", bytes);
    return model.Load((dir / "m.nm").c_str());
}

std::string LabelString(const CNameModel::Workspace& ws)
{
    static const char* const kNames[] = {"O", "SB", "S2", "G1", "G2", "WB", "WI"};
    std::string out;
    for (int i = 0; i < ws.GetCharCount(); ++i)
        out += std::string(out.empty() ? "" : " ") + kNames[ws.GetLabels()[i]];
    return out;
}

std::string Decode(const CNameModel& model, const std::string& text, CNameModel::Workspace& ws,
                   const std::function<void(CNameModel::Workspace&)>& hints = nullptr)
{
    model.Prepare(text.data(), static_cast<int>(text.size()), ws);
    if (hints)
        hints(ws);
    model.Decode(ws);
    return LabelString(ws);
}

// Weights that make 王 a surname, 小 and 明 given-name characters, 克 林 顿 a
// transliterated name and 说 a word outside names.
Model NameWeights()
{
    Model m;
    m.Unigram(kWang, 0, N::kSB, 100);
    m.Unigram(kXiao, 0, N::kG1, 60);
    m.Unigram(kMing, 0, N::kG2, 60);
    m.Unigram(kKe, 0, N::kWB, 60);
    m.Unigram(kLin, 0, N::kWI, 60);
    m.Unigram(kDun, 0, N::kWI, 60);
    m.Unigram(kShuo, 0, N::kO, 60);
    return m;
}

TEST(CNameModel, DecodesWellFormedNamesWithTheirSplit)
{
    CNameModel model;
    ASSERT_TRUE(LoadBytes(model, NameWeights().Bytes()));
    CNameModel::Workspace ws;
    const struct {
        std::string text;
        std::string labels;
    } cases[] = {
        {kWang + kXiao + kMing + kShuo, "SB G1 G2 O"},
        {kWang + kMing + kShuo, "SB G1 O"}, // one given character: G1, never G2 alone
        {kKe + kLin + kDun + kShuo, "WB WI WI O"},
        {kShuo + kWang + kXiao + kMing + kKe + kLin + kDun, "O SB G1 G2 WB WI WI"},
        // A second given character cannot stand without a surname and a first.
        {kShuo + kMing, "O O"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Decode(model, c.text, ws), c.labels) << c.labels;

    Decode(model, kShuo + kWang + kXiao + kMing + kKe + kLin + kDun, ws);
    ASSERT_EQ(ws.GetNames().size(), 2u);
    EXPECT_EQ(ws.GetNames()[0].start, 2);
    EXPECT_EQ(ws.GetNames()[0].split, 4);
    EXPECT_EQ(ws.GetNames()[0].end, 8);
    EXPECT_EQ(ws.GetNames()[1].start, 8);
    EXPECT_EQ(ws.GetNames()[1].split, -1);
    EXPECT_EQ(ws.GetNames()[1].end, 14);
}

TEST(CNameModel, BonusesAndBoundariesSteerTheLabelling)
{
    CNameModel model;
    ASSERT_TRUE(LoadBytes(model, Model().Bytes())); // every weight zero: all O
    CNameModel::Workspace ws;
    const std::string text = "abcd";
    EXPECT_EQ(Decode(model, text, ws), "O O O O");
    // Scores in score units (scale 0.5: 10 is 20 weight units).
    EXPECT_EQ(Decode(model, text, ws,
                     [](CNameModel::Workspace& w) {
                         w.AddLabelBonus(1, N::kSB, 10);
                         w.AddLabelBonus(2, N::kG1, 10);
                     }),
              "O SB G1 O");
    // The name may not end before c: it takes d as its second given character.
    EXPECT_EQ(Decode(model, text, ws,
                     [](CNameModel::Workspace& w) {
                         w.AddLabelBonus(1, N::kSB, 10);
                         w.AddLabelBonus(2, N::kG1, 10);
                         w.AddEndBonus(3, -100);
                     }),
              "O SB G1 G2");
    // Inside a token (no boundary before c) a name may neither start nor end.
    EXPECT_EQ(Decode(model, text, ws,
                     [](CNameModel::Workspace& w) {
                         w.AddLabelBonus(2, N::kWB, 10);
                         w.SetBoundaryPenalty(50);
                         w.MarkNoBoundary(2);
                     }),
              "O O O O");
    EXPECT_EQ(Decode(model, text, ws,
                     [](CNameModel::Workspace& w) {
                         w.AddLabelBonus(1, N::kWB, 10);
                         w.AddLabelBonus(2, N::kWI, 10);
                         w.SetBoundaryPenalty(50);
                         w.MarkNoBoundary(3);
                     }),
              "O WB WI WI");
    // Places out of range are ignored; a huge bonus saturates instead of overflowing.
    EXPECT_EQ(Decode(model, text, ws,
                     [](CNameModel::Workspace& w) {
                         w.AddLabelBonus(-1, N::kSB, 10);
                         w.AddLabelBonus(4, N::kSB, 10);
                         w.AddLabelBonus(0, 7, 10);
                         w.AddEndBonus(5, 10);
                         for (int k = 0; k < 100; ++k)
                             w.AddLabelBonus(0, N::kWB, 1e30f);
                         w.AddLabelBonus(0, N::kO, NAN);
                     }),
              "WB O O O");
}

// The score Decode maximises, of one labelling (weights all zero: the bonuses,
// transitions, end bonuses and cut penalties alone); false when the labelling
// is no well-formed one.
struct Scene {
    int n = 0;
    std::vector<int64_t> bonus, end; // n x labels; n + 1
    std::vector<bool> noBoundary;    // n + 1
    int64_t penalty = 0;
    std::vector<int32_t> transitions;

    // Each score is kept here for the reference and given to the workspace.
    void Bonus(CNameModel::Workspace& ws, int i, int l, int64_t b)
    {
        bonus[size_t(i) * N::kLabelCount + size_t(l)] = b;
        ws.AddLabelUnits(i, l, b);
    }
    void End(CNameModel::Workspace& ws, int j, int64_t e)
    {
        end[size_t(j)] = e;
        ws.AddEndUnits(j, e);
    }
    void Penalty(CNameModel::Workspace& ws, float p)
    {
        ws.SetBoundaryPenalty(p);
        penalty = ws.Units(p);
    }
    // About every third inner offset marked as no boundary.
    template <class Random> void NoBoundaries(CNameModel::Workspace& ws, Random& random)
    {
        for (int j = 1; j < n; ++j)
            if (random() % 3 == 0) {
                noBoundary[size_t(j)] = true;
                ws.MarkNoBoundary(j);
            }
    }

    bool Score(const std::vector<int>& y, int64_t& score) const
    {
        const auto closes = [](int l) { return l == N::kG1 || l == N::kG2 || l == N::kWB || l == N::kWI; };
        const auto opens = [](int l) { return l == N::kO || l == N::kSB || l == N::kWB; };
        if (!N::kCanStart[y[0]] || !N::kCanEnd[y[size_t(n) - 1]])
            return false;
        score = bonus[size_t(y[0])];
        for (int i = 1; i < n; ++i) {
            const int p = y[size_t(i) - 1], l = y[size_t(i)];
            if (!N::kAllowed[p][l])
                return false;
            const int64_t cut = noBoundary[size_t(i)] ? penalty : 0;
            score += bonus[size_t(i) * N::kLabelCount + size_t(l)] + transitions[size_t(p) * N::kLabelCount + size_t(l)];
            if (closes(p) && opens(l))
                score += end[size_t(i)] - cut;
            if (l == N::kSB || l == N::kWB)
                score -= cut;
        }
        if (y[size_t(n) - 1] != N::kO)
            score += end[size_t(n)];
        return true;
    }
};

// Whatever the scores (bonuses, transitions, end bonuses, cut penalties of
// either sign), the labelling Decode finds is as good as the best of all.
// A scene of random transitions over a text of 1 to maxChars characters, with
// no bonuses yet, and a model of those transitions prepared for its text.
template <class Uniform>
void NewScene(Uniform& uniform, int maxChars, Scene& scene, CNameModel& model, CNameModel::Workspace& ws)
{
    Model m;
    scene.transitions.resize(N::kLabelCount * N::kLabelCount);
    for (int32_t& t : scene.transitions)
        t = uniform(-400, 400);
    m.image.transitions = scene.transitions;
    ASSERT_TRUE(LoadBytes(model, m.Bytes()));
    scene.n = uniform(1, maxChars);
    const std::string text = std::string("abcdefgh").substr(0, size_t(scene.n));
    ASSERT_EQ(model.Prepare(text.data(), scene.n, ws), scene.n);
    scene.bonus.assign(size_t(scene.n) * N::kLabelCount, 0);
    scene.end.assign(size_t(scene.n) + 1, 0);
    scene.noBoundary.assign(size_t(scene.n) + 1, false);
}

TEST(CNameModel, FindsTheBestLabellingOfAll)
{
    std::mt19937 random(11);
    const auto uniform = [&random](int lo, int hi) { return lo + static_cast<int>(random() % unsigned(hi - lo + 1)); };
    int withNames = 0;
    for (int round = 0; round < 600; ++round) {
        Scene scene;
        CNameModel model;
        CNameModel::Workspace ws;
        NewScene(uniform, 6, scene, model, ws);
        if (HasFatalFailure())
            return;
        // Mostly below O, now and then near it: names here and there, some of
        // them won by their end bonus alone.
        const int depth = round % 3 == 0 ? 2500 : round % 3 == 1 ? 700 : 250;
        for (int i = 0; i < scene.n; ++i) {
            const bool likely = random() % 4 == 0;
            for (int l = 1; l < N::kLabelCount; ++l)
                scene.Bonus(ws, i, l, likely ? uniform(-300, 300) : -uniform(0, depth));
        }
        for (int j = 0; j <= scene.n; ++j)
            if (random() % 2 == 0)
                scene.End(ws, j, uniform(-300, 900));
        scene.Penalty(ws, static_cast<float>(uniform(-250, 120)));
        scene.NoBoundaries(ws, random);
        model.Decode(ws);

        int64_t best = std::numeric_limits<int64_t>::min();
        std::vector<int> y(size_t(scene.n), 0);
        for (;;) {
            int64_t s = 0;
            if (scene.Score(y, s))
                best = std::max(best, s);
            size_t i = 0;
            while (i < y.size() && ++y[i] == N::kLabelCount)
                y[i++] = 0;
            if (i == y.size())
                break;
        }
        const std::vector<int> found(ws.GetLabels(), ws.GetLabels() + scene.n);
        int64_t score = 0;
        ASSERT_TRUE(scene.Score(found, score)) << "round " << round;
        EXPECT_EQ(score, best) << "round " << round << ": " << LabelString(ws);
        withNames += !ws.GetNames().empty();
    }
    EXPECT_GT(withNames, 100); // the rounds are not all O
}

// Among labellings of equal score Decode keeps the one a plain Viterbi over
// the grammar keeps when it tries predecessors in label order and the earlier
// wins a tie (and, at the end, the lower label): scores on a coarse grid make
// ties common, so the order of every comparison is exercised.
TEST(CNameModel, KeepsTheEarlierPredecessorOnTies)
{
    std::mt19937 random(23);
    const auto uniform = [&random](int lo, int hi) { return lo + static_cast<int>(random() % unsigned(hi - lo + 1)); };
    constexpr int kL = N::kLabelCount;
    const auto closes = [](int l) { return l == N::kG1 || l == N::kG2 || l == N::kWB || l == N::kWI; };
    const auto opens = [](int l) { return l == N::kO || l == N::kSB || l == N::kWB; };
    int ties = 0;
    for (int round = 0; round < 400; ++round) {
        Scene scene;
        CNameModel model;
        CNameModel::Workspace ws;
        NewScene(uniform, 8, scene, model, ws);
        if (HasFatalFailure())
            return;
        // NewScene's transitions, brought onto the grid.
        for (int32_t& t : scene.transitions)
            t = 100 * (t / 200);
        {
            Model m;
            m.image.transitions = scene.transitions;
            ASSERT_TRUE(LoadBytes(model, m.Bytes()));
            const std::string text = std::string("abcdefgh").substr(0, size_t(scene.n));
            ASSERT_EQ(model.Prepare(text.data(), scene.n, ws), scene.n);
        }
        for (int i = 0; i < scene.n; ++i)
            for (int l = 1; l < kL; ++l)
                scene.Bonus(ws, i, l, 100 * uniform(-2, 1));
        for (int j = 0; j <= scene.n; ++j)
            scene.End(ws, j, 100 * uniform(0, 1));
        scene.Penalty(ws, 100.0f * static_cast<float>(uniform(0, 1)));
        scene.NoBoundaries(ws, random);
        model.Decode(ws);

        // The reference: every allowed predecessor, in label order.
        const int64_t impossible = std::numeric_limits<int64_t>::min() / 4;
        const size_t n = size_t(scene.n);
        std::vector<int64_t> f(n * kL, impossible);
        std::vector<int> back(n * kL, 0);
        for (int l = 0; l < kL; ++l)
            if (N::kCanStart[l])
                f[size_t(l)] = scene.bonus[size_t(l)];
        for (size_t i = 1; i < n; ++i) {
            const int64_t cut = scene.noBoundary[i] ? scene.penalty : 0;
            for (int l = 0; l < kL; ++l) {
                bool any = false;
                for (int q = 0; q < kL; ++q) {
                    if (!N::kAllowed[q][l])
                        continue;
                    int64_t v = f[(i - 1) * kL + size_t(q)] + scene.transitions[size_t(q) * kL + size_t(l)];
                    if (closes(q) && opens(l))
                        v += scene.end[i] - cut;
                    if (any && v == f[i * kL + size_t(l)])
                        ++ties;
                    if (!any || v > f[i * kL + size_t(l)]) {
                        f[i * kL + size_t(l)] = v;
                        back[i * kL + size_t(l)] = q;
                    }
                    any = true;
                }
                f[i * kL + size_t(l)] +=
                    scene.bonus[i * kL + size_t(l)] - (l == N::kSB || l == N::kWB ? cut : 0);
            }
        }
        int label = N::kO;
        int64_t best = f[(n - 1) * kL];
        for (int l = 1; l < kL; ++l)
            if (N::kCanEnd[l] && f[(n - 1) * kL + size_t(l)] + scene.end[n] > best) {
                best = f[(n - 1) * kL + size_t(l)] + scene.end[n];
                label = l;
            }
        std::vector<int> expected(n);
        for (size_t i = n; i-- > 0;) {
            expected[i] = label;
            label = back[i * kL + size_t(label)];
        }
        const std::vector<int> found(ws.GetLabels(), ws.GetLabels() + scene.n);
        EXPECT_EQ(found, expected) << "round " << round << ": " << LabelString(ws);
    }
    EXPECT_GT(ties, 1000); // the grid gives ties enough to matter
}

// The score of a stretch's labels, the rest as decoded, differs between two
// labellings of the stretch exactly as the whole labellings' scores do, and a
// labelling the grammar forbids (inside, or where it meets the rest) is none.
TEST(CNameModel, LabellingScoreOfAStretchComparesWholeLabellings)
{
    std::mt19937 random(23);
    const auto uniform = [&random](int lo, int hi) { return lo + static_cast<int>(random() % unsigned(hi - lo + 1)); };
    int compared = 0, forbidden = 0;
    for (int round = 0; round < 300; ++round) {
        Scene scene;
        CNameModel model;
        CNameModel::Workspace ws;
        NewScene(uniform, 7, scene, model, ws);
        if (HasFatalFailure())
            return;
        for (int i = 0; i < scene.n; ++i)
            for (int l = 1; l < N::kLabelCount; ++l)
                scene.Bonus(ws, i, l, uniform(-500, 300));
        for (int j = 0; j <= scene.n; ++j)
            scene.End(ws, j, uniform(-300, 600));
        scene.Penalty(ws, static_cast<float>(uniform(-100, 200)));
        scene.NoBoundaries(ws, random);
        model.Decode(ws);
        const std::vector<int> decoded(ws.GetLabels(), ws.GetLabels() + scene.n);
        int64_t whole = 0;
        ASSERT_TRUE(scene.Score(decoded, whole));
        const std::vector<uint8_t> own(ws.GetLabels(), ws.GetLabels() + scene.n);
        EXPECT_EQ(model.LabellingScore(ws, 0, scene.n, own.data()), whole) << "round " << round;
        for (int trial = 0; trial < 8; ++trial) {
            const int a = uniform(0, scene.n - 1), b = uniform(a + 1, scene.n);
            std::vector<uint8_t> labels(size_t(b - a));
            for (uint8_t& l : labels)
                l = static_cast<uint8_t>(uniform(0, N::kLabelCount - 1));
            std::vector<int> y = decoded;
            for (int i = a; i < b; ++i)
                y[size_t(i)] = labels[size_t(i - a)];
            const int64_t mine = model.LabellingScore(ws, a, b, labels.data());
            const int64_t theirs = model.LabellingScore(ws, a, b, own.data() + a);
            int64_t other = 0;
            if (!scene.Score(y, other)) {
                EXPECT_EQ(mine, CNameModel::kNoLabelling) << "round " << round;
                ++forbidden;
                continue;
            }
            ASSERT_NE(mine, CNameModel::kNoLabelling) << "round " << round;
            EXPECT_EQ(mine - theirs, other - whole) << "round " << round << " [" << a << ", " << b << ")";
            EXPECT_LE(mine, theirs); // Decode found the best
            ++compared;
        }
    }
    EXPECT_GT(compared, 200);
    EXPECT_GT(forbidden, 200);
}

TEST(CNameModel, LexiconStringsScoreTheCharactersTheyCover)
{
    Model m;
    m.Lexicon({kKe, kLin, kDun}, 0);
    m.LexWeight(0, 0, 3, N::kWB, 50); // begins here
    m.LexWeight(0, 2, 3, N::kWI, 50); // runs across
    m.LexWeight(0, 1, 3, N::kWI, 50); // ends here
    m.LexWeight(0, 3, 3, N::kO, 50);  // ends just before
    CNameModel model;
    ASSERT_TRUE(LoadBytes(model, m.Bytes()));
    EXPECT_EQ(model.GetLexiconSize(), 2);
    CNameModel::Workspace ws;
    EXPECT_EQ(Decode(model, kShuo + kKe + kLin + kDun + kShuo, ws), "O WB WI WI O");
    // Only the whole string is an entry: its prefix alone scores nothing.
    EXPECT_EQ(Decode(model, kShuo + kKe + kLin + kShuo, ws), "O O O O");
    EXPECT_EQ(Decode(model, kKe + kLin + kDun, ws), "WB WI WI");
}

TEST(CNameModel, EveryFeatureReachesEveryCharacterItDescribes)
{
    // One weight at a time, on one feature of a witness string: the character
    // the feature describes becomes a one-word name, wherever it stands in the
    // sentence, its first and last characters included (their context on the
    // far side is the sentence's edge, on the near side real characters).
    const std::string kN = kShuo, kX = kKe, kY = kLin, kZ = kDun;
    constexpr int kChars = 5;
    struct Feature {
        std::string what;
        int length; // characters of the witness string
        int delta;  // where the witness begins, from the character it describes
        std::function<void(Model&, const std::vector<int>& classesAround)> weigh;
    };
    std::vector<Feature> features;
    for (int o = -2; o <= 2; ++o)
        features.push_back({"character at offset " + std::to_string(o), 1, o,
                            [=](Model& m, const std::vector<int>&) { m.Unigram(kX, o, N::kWB, 60); }});
    for (int t = 0; t < N::kPairPlaces; ++t)
        features.push_back({"pair at place " + std::to_string(t), 2, t - 2, [=](Model& m, const std::vector<int>&) {
                                m.image.pairKeys = {uint32_t(m.Row(kX)) << 16 | uint32_t(m.Row(kY))};
                                m.image.pairWeights.assign(N::kPairWeights, 0);
                                m.image.pairWeights[size_t(t) * kW + N::kWB] = 60;
                            }});
    for (int d = -1; d <= 1; ++d)
        features.push_back({"class trigram, the witness at " + std::to_string(d), 1, d,
                            [=](Model& m, const std::vector<int>& c) {
                                m.image.classes[size_t(Key(kX))] = 1;
                                m.image.classTrigram[size_t((c[0] * 4 + c[1]) * 4 + c[2]) * kW + N::kWB] = 60;
                            }});
    // A string of three characters: begins at, ends at, runs across the
    // character, ends just before it, begins just after it.
    const int lexDelta[N::kLexPlaces] = {0, -2, -1, -3, 1};
    for (int place = 0; place < N::kLexPlaces; ++place)
        features.push_back({"string at place " + std::to_string(place), 3, lexDelta[place],
                            [=](Model& m, const std::vector<int>&) {
                                m.Lexicon({kX, kY, kZ}, 2);
                                m.LexWeight(2, place, 3, N::kWB, 60);
                            }});
    for (int side = 0; side < 2; ++side)
        features.push_back({"name context of the string " + std::string(side == 0 ? "before" : "after"), 3,
                            side == 0 ? -3 : 1, [=](Model& m, const std::vector<int>&) {
                                m.Lexicon({kX, kY, kZ}, 2);
                                m.lexicon[FingerprintOf({kX, kY, kZ})].second = side == 0 ? 2 * N::kContextBuckets : 3;
                                m.image.contextWeights[size_t(N::ContextBlock(side, side == 0 ? 2 : 3, 3)) + N::kWB] = 60;
                            }});
    const std::string witness[] = {kX, kY, kZ};
    int tried = 0;
    for (const Feature& f : features)
        for (int i = 0; i < kChars; ++i) {
            const int q = i + f.delta;
            if (q < 0 || q + f.length > kChars)
                continue;
            std::string text;
            std::vector<int> classOf(kChars, 0);
            for (int c = 0; c < kChars; ++c) {
                const bool in = c >= q && c < q + f.length;
                text += in ? witness[c - q] : kN;
                classOf[size_t(c)] = in && c == q ? 1 : 0;
            }
            auto cls = [&](int c) { return c < 0 || c >= kChars ? 3 : classOf[size_t(c)]; };
            Model m;
            f.weigh(m, {cls(i - 1), cls(i), cls(i + 1)});
            CNameModel model;
            ASSERT_TRUE(LoadBytes(model, m.Bytes())) << f.what;
            CNameModel::Workspace ws;
            std::string expected;
            for (int c = 0; c < kChars; ++c)
                expected += std::string(c ? " " : "") + (c == i ? "WB" : "O");
            EXPECT_EQ(Decode(model, text, ws), expected) << f.what << ", character " << i;
            ++tried;
        }
    EXPECT_EQ(tried, 63); // every feature at every place it can have
}

TEST(CNameModel, CutsAnyBytesIntoCharactersAsTheEngineReadsThem)
{
    CNameModel model;
    ASSERT_TRUE(LoadBytes(model, NameWeights().Bytes()));
    CNameModel::Workspace ws;
    const struct {
        std::string text;
        int chars;
    } cases[] = {
        {"a", 1},
        {kWang + "b", 2},
        {std::string("\xB0", 1), 1},          // a lone lead byte at the end
        {std::string("\xFF\x00\x80", 3), 2},  // any bytes: a lead byte takes the next one
        {kWang + std::string("\xCD", 1), 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(model.Prepare(c.text.data(), static_cast<int>(c.text.size()), ws), c.chars);
        model.Decode(ws);
        EXPECT_EQ(ws.GetCharStarts()[c.chars], static_cast<int>(c.text.size()));
        for (const auto& name : ws.GetNames())
            EXPECT_TRUE(name.start < name.end && name.end <= static_cast<int>(c.text.size()));
    }
    EXPECT_EQ(model.Prepare(nullptr, 4, ws), 0);
    EXPECT_EQ(model.Decode(ws), 0);
    CNameModel empty;
    EXPECT_EQ(empty.Prepare("abc", 3, ws), 0);
}

// A stretch of a longer text read from the caller's cut and keys must score
// as the stretch's own bytes do: the same characters, offsets, emissions and
// labelling, whatever bytes surround it.
TEST(CNameModel, ReadsTheCallersCharactersAsItsOwnCut)
{
    Model m = NameWeights();
    std::mt19937 random(5);
    for (int16_t& w : m.image.unigram)
        w = static_cast<int16_t>(static_cast<int>(random() % 201) - 100);
    m.Lexicon({kWang, kXiao, kMing}, 1);
    m.Lexicon({kKe, kLin}, 2);
    for (int16_t& w : m.image.lexWeights)
        w = static_cast<int16_t>(static_cast<int>(random() % 201) - 100);
    CNameModel model;
    ASSERT_TRUE(LoadBytes(model, m.Bytes()));
    const std::string pieces[] = {kWang, kXiao, kMing, kKe, kLin, kDun, kShuo, "a", "\xB0\xA1", "\xFF\x41"};
    CNameModel::Workspace own, given;
    for (int round = 0; round < 300; ++round) {
        std::string text;
        const int count = 1 + static_cast<int>(random() % 14);
        for (int k = 0; k < count; ++k)
            text += pieces[random() % (sizeof pieces / sizeof pieces[0])];
        if (random() % 4 == 0)
            text += "\xB0"; // a lone lead byte ends the text
        const auto* p = reinterpret_cast<const unsigned char*>(text.data());
        const int length = static_cast<int>(text.size());
        std::vector<int> starts;
        std::vector<int32_t> keys;
        for (int pos = 0; pos < length; pos += charkeys::CharLength(p, pos, length)) {
            starts.push_back(pos);
            keys.push_back(charkeys::KeyAt(p, pos, length));
        }
        const int total = static_cast<int>(starts.size());
        starts.push_back(length);
        const int first = static_cast<int>(random() % unsigned(total));
        const int last = first + 1 + static_cast<int>(random() % unsigned(total - first));
        const int offset = starts[size_t(first)];
        const int n = model.Prepare(text.data() + offset, starts[size_t(last)] - offset, own);
        ASSERT_EQ(n, last - first);
        ASSERT_EQ(model.Prepare(&starts[size_t(first)], &keys[size_t(first)], n, given), n);
        for (int i = 0; i <= n; ++i)
            ASSERT_EQ(given.GetCharStarts()[i], own.GetCharStarts()[i]) << text;
        for (CNameModel::Workspace* ws : {&own, &given}) {
            ws->AddLabelBonus(n / 2, N::kSB, 3);
            ws->AddEndBonus(n, -2);
            model.Decode(*ws);
        }
        ASSERT_EQ(LabelString(given), LabelString(own)) << text;
        // Every single-character labelling reads the emissions.
        for (int i = 0; i < n; ++i)
            for (uint8_t l = 0; l < N::kLabelCount; ++l)
                ASSERT_EQ(model.LabellingScore(given, i, i + 1, &l), model.LabellingScore(own, i, i + 1, &l)) << text;
    }
    EXPECT_EQ(model.Prepare(nullptr, nullptr, 3, given), 0);
    const int none[] = {0, 1};
    const int32_t noKeys[] = {0x61};
    EXPECT_EQ(model.Prepare(none, noKeys, 0, given), 0);
}

TEST(CNameModel, SharedModelGivesEveryThreadTheSameNames)
{
    CNameModel model;
    ASSERT_TRUE(LoadBytes(model, NameWeights().Bytes()));
    std::string text;
    for (int k = 0; k < 50; ++k)
        text += kShuo + kWang + kXiao + kMing + kShuo + kKe + kLin + kDun;
    CNameModel::Workspace single;
    model.Prepare(text.data(), static_cast<int>(text.size()), single);
    model.Decode(single);
    const std::string expected = LabelString(single);
    ASSERT_EQ(single.GetNames().size(), 100u);
    std::vector<std::string> results(4);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < results.size(); ++t)
        threads.emplace_back([&, t] {
            CNameModel::Workspace ws;
            for (int round = 0; round < 20; ++round) {
                model.Prepare(text.data(), static_cast<int>(text.size()), ws);
                model.Decode(ws);
            }
            results[t] = LabelString(ws);
        });
    for (auto& th : threads)
        th.join();
    for (const std::string& r : results)
        EXPECT_EQ(r, expected);
}

TEST(CNameModel, RefusesDamagedFilesAndKeepsWhatItHeld)
{
    Model good = NameWeights();
    good.Lexicon({kKe, kLin, kDun}, 3);
    // One pair row, so that pair keys are there to damage.
    good.image.pairKeys = {uint32_t(good.Row(kWang)) << 16 | uint32_t(good.Row(kXiao)),
                           uint32_t(good.Row(kXiao)) << 16 | uint32_t(good.Row(kMing))};
    good.image.pairWeights.assign(2 * N::kPairWeights, 0);
    const std::string sound = good.Bytes();
    ASSERT_FALSE(sound.empty());
    const size_t classes = N::kHeaderBytes, charKeys = classes + 65536;
    const size_t unigram = charKeys + 2 * 7;
    const size_t pairKeys = unigram + 2 * 10 * N::kUnigramWeights + 2 * 4 * 4 * 4 * kW;
    const size_t lexKeys = pairKeys + 2 * (4 + 2 * N::kPairWeights) + 2 * N::kLexWeights + 2 * N::kContextWeights;
    const size_t lexClasses = lexKeys + 2 * 8, lexContexts = lexClasses + 2;
    ASSERT_EQ(sound.size(), lexContexts + 2);
    auto put32 = [](std::string& s, size_t at, uint32_t v) { std::memcpy(&s[at], &v, 4); };
    auto put16 = [](std::string& s, size_t at, int16_t v) { std::memcpy(&s[at], &v, 2); };
    auto putFloat = [](std::string& s, size_t at, float v) { std::memcpy(&s[at], &v, 4); };
    const struct {
        const char* what;
        std::function<void(std::string&)> damage;
    } cases[] = {
        {"zero bytes", [](std::string& s) { s.clear(); }},
        {"header only", [](std::string& s) { s.resize(N::kHeaderBytes); }},
        {"one byte short", [](std::string& s) { s.pop_back(); }},
        {"one byte more", [](std::string& s) { s.push_back('\0'); }},
        {"bad magic", [](std::string& s) { s[1] = 'X'; }},
        {"wrong version", [&](std::string& s) { put32(s, 4, 2); }},
        {"another label count", [&](std::string& s) { put32(s, 8, 8); }},
        {"one class", [&](std::string& s) { put32(s, 12, 1); }},
        {"seventeen classes", [&](std::string& s) { put32(s, 12, 17); }},
        {"character count beyond any file", [&](std::string& s) { put32(s, 16, 0xFFFFFFFF); }},
        {"pair count one more", [&](std::string& s) { put32(s, 20, 3); }},
        {"lexicon count beyond any file", [&](std::string& s) { put32(s, 24, 0x40000000); }},
        {"zero scale", [&](std::string& s) { putFloat(s, 28, 0.0f); }},
        {"scale not a number", [&](std::string& s) { putFloat(s, 28, std::nanf("")); }},
        {"infinite scale", [&](std::string& s) { putFloat(s, 28, INFINITY); }},
        {"scale beyond the bound", [&](std::string& s) { putFloat(s, 28, 2e6f); }},
        {"reserved field set", [&](std::string& s) { put32(s, 32, 1); }},
        {"transition beyond the bound", [&](std::string& s) { put32(s, 36 + 8, 0x7FFFFFFF); }},
        {"outside class given to a character", [&](std::string& s) { s[classes + 'a'] = 3; }},
        {"character keys out of order", [&](std::string& s) {
             std::swap(s[charKeys], s[charKeys + 2]);
             std::swap(s[charKeys + 1], s[charKeys + 3]);
         }},
        {"weight beyond the bound", [&](std::string& s) { put16(s, unigram + 2 * 40, N::kMaxWeight + 1); }},
        {"pair key with the unknown row", [&](std::string& s) { put32(s, pairKeys, 3u << 16 | 0u); }},
        {"pair key beyond the rows", [&](std::string& s) { put32(s, pairKeys + 4, 7u << 16 | 11u); }},
        {"pair keys repeated", [&](std::string& s) { std::memcpy(&s[pairKeys + 4], &s[pairKeys], 4); }},
        {"lexicon keys repeated", [&](std::string& s) { std::memcpy(&s[lexKeys + 8], &s[lexKeys], 8); }},
        {"lexicon key zero", [&](std::string& s) { std::memset(&s[lexKeys], 0, 8); }},
        {"lexicon class beyond the count", [&](std::string& s) {
             s[lexClasses] = s[lexClasses] == char(N::kPrefixOnly) ? s[lexClasses] : char(N::kLexClasses);
             s[lexClasses + 1] = s[lexClasses + 1] == char(N::kPrefixOnly) ? s[lexClasses + 1] : char(N::kLexClasses);
         }},
        {"lexicon context beyond the count", [&](std::string& s) { s[lexContexts + 1] = 25; s[lexContexts] = 25; }},
    };
    CNameModel model;
    ASSERT_TRUE(LoadBytes(model, sound));
    CNameModel::Workspace ws;
    const std::string text = kWang + kXiao + kMing + kShuo;
    ASSERT_EQ(Decode(model, text, ws), "SB G1 G2 O");
    for (const auto& c : cases) {
        std::string bytes = sound;
        c.damage(bytes);
        EXPECT_FALSE(LoadBytes(model, bytes)) << c.what;
        EXPECT_TRUE(model.IsLoaded()) << c.what;
        EXPECT_EQ(Decode(model, text, ws), "SB G1 G2 O") << c.what;
        CNameModel fresh;
        EXPECT_FALSE(LoadBytes(fresh, bytes)) << c.what;
        EXPECT_FALSE(fresh.IsLoaded()) << c.what;
        EXPECT_EQ(fresh.Prepare(text.data(), static_cast<int>(text.size()), ws), 0) << c.what;
    }
    TempDir dir;
    EXPECT_FALSE(model.Load((dir / "missing.nm").c_str()));
    EXPECT_FALSE(model.Load(dir.path.c_str()));
    EXPECT_EQ(Decode(model, text, ws), "SB G1 G2 O");
}

} // namespace
