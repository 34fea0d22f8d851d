#include "tools/trainer/CharModelTrainer.h"

#include "segment/CharKeys.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <set>

#include "segment/CCharModel.h"
#include "segment/LabelDecoder.h"
#include "segment/CCharset.h"
#include "tools/trainer/GbkChars.h"
#include "tools/trainer/Perceptron.h"

namespace {

using M = CCharModel;
constexpr int kLabels = M::kLabelCount;
// Fixed, so that every run visits the sentences in the same order.
constexpr uint64_t kShuffleSeed = 0x4D6F7276434D3031ull;

using charkeys::PairKey;

using perceptron::Quantise;

} // namespace

CharModelTrainer::CharModelTrainer(const CCharset& c) : CharModelTrainer(c, Options()) {}

CharModelTrainer::CharModelTrainer(const CCharset& c, const Options& o) : charset(c), options(o) {}

int CharModelTrainer::ClassOf(int key, int engineClass)
{
    switch (engineClass) {
    case 6: case 7: case 29:
        return kDigit;
    case 9: case 10: case 11: case 13:
        return kNumeral;
    case 8:
        return kLetter;
    case 1: case 2: case 3: case 4: case 28:
        return kPunctuation;
    case 16: case 18: case 21: case 22: case 23:
        return kDateUnit;
    default:
        break;
    }
    if (key < 0x80)
        return kPunctuation; // blanks, controls, the ASCII signs the engine leaves in class 0
    if (key < 0x100)
        return kSymbol; // a lone lead byte
    const int lead = key >> 8;
    if (lead == 0xA1 || lead == 0xA3)
        return kPunctuation; // GB2312 rows of signs and full-width ASCII (digits and letters took theirs above)
    if (lead == 0xA2 || (lead >= 0xA4 && lead <= 0xA9))
        return kSymbol; // list numbers, kana, Greek, Cyrillic, pinyin, box drawing
    return kHan;
}

void CharModelTrainer::AddSentence(const std::vector<int>& keys, const std::vector<uint8_t>& labels)
{
    // Feature places are indexed in 32 bits; a corpus that large is out of reach anyway.
    if (keys.empty() || pairRows.size() + keys.size() + 3 > UINT32_MAX || keys.size() > INT32_MAX)
        return;
    const int n = static_cast<int>(keys.size());
    Sentence s{windowKeys.size(), gold.size(), pairRows.size(), n};
    auto push = [&](int32_t key, uint16_t row, uint8_t cls) {
        windowKeys.push_back(key);
        windowRows.push_back(row);
        windowClasses.push_back(cls);
    };
    for (int k = 0; k < 2; ++k)
        push(-1, M::kBeforeSentence, kOutside);
    for (int key : keys)
        push(key, rowOf[static_cast<size_t>(key)], static_cast<uint8_t>(ClassOf(key, charset.GetClass(key))));
    for (int k = 0; k < 2; ++k)
        push(-2, M::kAfterSentence, kOutside);
    gold.insert(gold.end(), labels.begin(), labels.end());
    pairRows.resize(pairRows.size() + static_cast<size_t>(n) + 3, -1);
    skipRows.resize(skipRows.size() + static_cast<size_t>(n), -1);
    sentences.push_back(s);
}

void CharModelTrainer::IndexFeatures()
{
    // Every occurrence as (key, place), sorted: the runs of equal keys give the
    // counts, and the rows come in key order, as the file stores them.
    auto index = [this](std::vector<uint64_t>& sorted, std::vector<int32_t>& rowAt, std::vector<uint32_t>& keys) {
        std::sort(sorted.begin(), sorted.end());
        for (size_t i = 0; i < sorted.size();) {
            size_t end = i;
            while (end < sorted.size() && sorted[end] >> 32 == sorted[i] >> 32)
                ++end;
            if (end - i >= static_cast<size_t>(options.minPairCount)) {
                const int32_t row = static_cast<int32_t>(keys.size());
                keys.push_back(static_cast<uint32_t>(sorted[i] >> 32));
                for (size_t k = i; k < end; ++k)
                    rowAt[sorted[k] & 0xFFFFFFFFu] = row;
            }
            i = end;
        }
    };
    {
        std::vector<uint64_t> pairs;
        pairs.reserve(pairRows.size());
        for (const Sentence& s : sentences) {
            const uint16_t* r = &windowRows[s.window];
            for (int j = 0; j + 1 < s.length + 4; ++j)
                pairs.push_back(uint64_t(PairKey(r[j], r[j + 1])) << 32 | (s.pair + static_cast<size_t>(j)));
        }
        index(pairs, pairRows, pairKeys);
    }
    if (options.skipPairs) {
        std::vector<uint64_t> skips;
        skips.reserve(skipRows.size());
        for (const Sentence& s : sentences) {
            const uint16_t* r = &windowRows[s.window];
            for (int i = 0; i < s.length; ++i)
                skips.push_back(uint64_t(PairKey(r[i + 1], r[i + 3])) << 32 | (s.label + static_cast<size_t>(i)));
        }
        index(skips, skipRows, skipKeys);
    }
    const size_t rows = charKeys.size() + M::kReservedRows;
    trigramBase = rows * M::kUnigramWeights;
    repeatBase = trigramBase + size_t(kClassCount) * kClassCount * kClassCount * kLabels;
    pairBase = repeatBase + M::kRepeatWeights;
    skipBase = pairBase + pairKeys.size() * M::kPairWeights;
    const size_t total = skipBase + skipKeys.size() * M::kSkipWeights;
    weights.assign(total, 0);
    weightSums.assign(total, 0);
    report.pairsSeen = static_cast<int>(pairKeys.size());
    report.skipsSeen = static_cast<int>(skipKeys.size());
}

int CharModelTrainer::Features(const Sentence& s, int i, int32_t* blocks) const
{
    const size_t w = s.window + static_cast<size_t>(i) + 2;
    int m = 0;
    for (size_t o = 0; o < 5; ++o)
        blocks[m++] = static_cast<int32_t>(windowRows[w - 2 + o] * M::kUnigramWeights + o * kLabels);
    const size_t k = kClassCount;
    blocks[m++] = static_cast<int32_t>(
        trigramBase + ((windowClasses[w - 1] * k + windowClasses[w]) * k + windowClasses[w + 1]) * kLabels);
    if (windowKeys[w - 1] == windowKeys[w])
        blocks[m++] = static_cast<int32_t>(repeatBase);
    if (windowKeys[w - 2] == windowKeys[w])
        blocks[m++] = static_cast<int32_t>(repeatBase + kLabels);
    for (size_t t = 0; t < 4; ++t) {
        const int32_t row = pairRows[s.pair + static_cast<size_t>(i) + t];
        if (row >= 0)
            blocks[m++] = static_cast<int32_t>(pairBase + size_t(row) * M::kPairWeights + t * kLabels);
    }
    const int32_t skip = skipRows[s.label + static_cast<size_t>(i)];
    if (skip >= 0)
        blocks[m++] = static_cast<int32_t>(skipBase + size_t(skip) * M::kSkipWeights);
    return m;
}

void CharModelTrainer::Decode(const Sentence& s, std::vector<int64_t>& emission, std::vector<int64_t>& forward,
                              std::vector<uint8_t>& back, std::vector<uint8_t>& labels) const
{
    const size_t n = static_cast<size_t>(s.length);
    emission.assign(n * kLabels, 0);
    // The pair rows lie scattered over tens of megabytes: fetch them all before
    // summing, so that the cache misses overlap.
    for (size_t j = 0; j < n + 3; ++j)
        if (pairRows[s.pair + j] >= 0)
            __builtin_prefetch(&weights[pairBase + size_t(pairRows[s.pair + j]) * M::kPairWeights]);
    for (size_t i = 0; i < n; ++i)
        if (skipRows[s.label + i] >= 0)
            __builtin_prefetch(&weights[skipBase + size_t(skipRows[s.label + i]) * M::kSkipWeights]);
    int32_t blocks[16];
    for (size_t i = 0; i < n; ++i) {
        const int m = Features(s, static_cast<int>(i), blocks);
        for (int b = 0; b < m; ++b)
            for (int l = 0; l < kLabels; ++l)
                emission[i * kLabels + size_t(l)] += weights[size_t(blocks[b]) + size_t(l)];
    }
    LabelDecoder::Best(CCharModel::WordGrammar(), emission.data(), n, transitions, forward, back, labels);
}

void CharModelTrainer::Train(const std::vector<Paragraph>& paragraphs, const std::function<void(int)>& epochDone)
{
    const auto t0 = std::chrono::steady_clock::now();
    report = Report();
    std::set<int> keys;
    for (const Paragraph& p : paragraphs)
        for (const CorpusToken& t : p.tokens)
            for (const std::string& c : gbk::Chars(t.word))
                keys.insert(gbk::KeyOf(c));
    rowOf.assign(M::kKeyCount, M::kUnknownChar);
    charKeys.clear();
    for (int key : keys) {
        if (key < 0 || key >= M::kKeyCount || static_cast<int>(charKeys.size()) >= M::kMaxChars)
            continue;
        rowOf[static_cast<size_t>(key)] = static_cast<uint16_t>(charKeys.size() + M::kReservedRows);
        charKeys.push_back(static_cast<uint16_t>(key));
    }
    report.chars = static_cast<int>(charKeys.size());

    sentences.clear();
    windowKeys.clear();
    windowRows.clear();
    windowClasses.clear();
    gold.clear();
    pairRows.clear();
    skipRows.clear();
    pairKeys.clear();
    skipKeys.clear();
    std::vector<int> sentenceKeys;
    std::vector<uint8_t> sentenceLabels;
    for (const Paragraph& p : paragraphs) {
        for (size_t k = 0; k < p.tokens.size(); ++k) {
            const std::vector<std::string> chars = gbk::Chars(p.tokens[k].word);
            bool stop = false;
            for (size_t i = 0; i < chars.size(); ++i) {
                const int key = gbk::KeyOf(chars[i]);
                sentenceKeys.push_back(key);
                sentenceLabels.push_back(chars.size() == 1 ? M::kS
                                         : i == 0             ? M::kB
                                         : i + 1 == chars.size() ? M::kE
                                                                 : M::kM);
                stop = stop || EndsSentence(charset.GetClass(key)); // the engine ends its sentence here
            }
            if (stop || k + 1 == p.tokens.size()) {
                AddSentence(sentenceKeys, sentenceLabels);
                sentenceKeys.clear();
                sentenceLabels.clear();
            }
        }
    }
    report.sentences = sentences.size();
    report.characters = gold.size();
    IndexFeatures();
    std::fill(std::begin(transitions), std::end(transitions), 0);
    std::fill(std::begin(transitionSums), std::end(transitionSums), 0);
    clock = 1;

    std::vector<int64_t> emission, forward;
    std::vector<uint8_t> back, predicted;
    int32_t blocks[16];
    const size_t updates = perceptron::Epochs(options.iterations, sentences.size(), kShuffleSeed, clock, [&](size_t index) {
        const Sentence& s = sentences[index];
        Decode(s, emission, forward, back, predicted);
        const auto features = [this, &s](int i, int32_t* out) { return Features(s, i, out); };
        return perceptron::Update(&gold[s.label], predicted.data(), s.length, kLabels, clock, weights.data(),
                                  weightSums.data(), transitions, transitionSums, blocks, features)
                   ? 1
                   : 0;
    }, epochDone);
    if (options.iterations > 0)
        report.updates = updates;
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double CharModelTrainer::Averaged(int64_t w, int64_t u) const { return perceptron::Averaged(w, u, clock); }

CharModelWriter::Image CharModelTrainer::BuildImage() const
{
    CharModelWriter::Image m;
    m.classCount = kClassCount;
    m.classes.resize(M::kKeyCount);
    for (int key = 0; key < M::kKeyCount; ++key)
        m.classes[static_cast<size_t>(key)] = static_cast<uint8_t>(ClassOf(key, charset.GetClass(key)));
    m.charKeys = charKeys;

    double largest = 0;
    for (size_t i = 0; i < weights.size(); ++i)
        largest = std::max(largest, std::fabs(Averaged(weights[i], weightSums[i])));
    const double scale = largest > 0 ? largest / 32767.0 : 1.0;
    m.scale = static_cast<float>(scale);
    for (int i = 0; i < 16; ++i) {
        const double t = std::nearbyint(Averaged(transitions[i], transitionSums[i]) / scale);
        m.transitions[i] = static_cast<int32_t>(std::max<double>(-M::kMaxTransition, std::min<double>(M::kMaxTransition, t)));
    }
    auto quantised = [&](size_t from, size_t count, std::vector<int16_t>& out) {
        for (size_t i = from; i < from + count; ++i)
            out.push_back(Quantise(Averaged(weights[i], weightSums[i]), scale));
    };
    const size_t rows = charKeys.size() + M::kReservedRows;
    quantised(0, rows * M::kUnigramWeights, m.unigram);
    quantised(trigramBase, repeatBase - trigramBase, m.classTrigram);
    quantised(repeatBase, M::kRepeatWeights, m.repeat);

    // Pair rows in key order; rows the quantisation leaves (nearly) empty are dropped.
    auto pairs = [&](const std::vector<uint32_t>& keys, size_t base, size_t width, std::vector<uint32_t>& outKeys,
                     std::vector<int16_t>& outWeights) {
        std::vector<std::pair<uint32_t, size_t>> byKey;
        std::vector<int16_t> row;
        for (size_t r = 0; r < keys.size(); ++r) {
            row.clear();
            quantised(base + r * width, width, row);
            bool keep = false;
            for (int16_t v : row)
                keep = keep || std::abs(v) > options.pruneBelow;
            if (keep)
                byKey.emplace_back(keys[r], r);
        }
        std::sort(byKey.begin(), byKey.end());
        for (const auto& e : byKey) {
            outKeys.push_back(e.first);
            quantised(base + e.second * width, width, outWeights);
        }
    };
    pairs(pairKeys, pairBase, M::kPairWeights, m.pairKeys, m.pairWeights);
    pairs(skipKeys, skipBase, M::kSkipWeights, m.skipKeys, m.skipWeights);
    return m;
}

bool CharModelTrainer::Write(const std::string& path) const
{
    return CharModelWriter::Write(path, BuildImage());
}
