#include "tools/trainer/NameModelTrainer.h"
#include "tools/trainer/ByteImage.h"

#include "segment/CharKeys.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <set>

#include "segment/CCharset.h"
#include "segment/LabelDecoder.h"
#include "tagging/CNameModel.h"
#include "tools/trainer/CharModelTrainer.h"
#include "tools/trainer/CorpusNames.h"
#include "tools/trainer/GbkChars.h"
#include "tools/trainer/ModelWriter.h"
#include "tools/trainer/NameModelWriter.h"
#include "tools/trainer/Perceptron.h"

namespace {

using N = CNameModel;
constexpr int kL = N::kLabelCount;
constexpr int kW = N::kRowWidth; // weights per block: the labels and a zero
constexpr int kClasses = CharModelTrainer::kClassCount;
constexpr int kStatOffsets = 3; // characters -1, 0, 1
const LabelDecoder::Grammar kNameGrammar{kL, &N::kAllowed[0][0], N::kCanStart, N::kCanEnd};
constexpr uint64_t kShuffleSeed = 0x4D6F7276504E3031ull;

using charkeys::PairKey;

int16_t Quantise(double v, double scale) { return perceptron::Quantise(v, scale, N::kMaxWeight); }

using byteimage::Put;
using byteimage::PutAll;

// Whether a one-word name is a transliteration: three characters or more, or a ·.
bool IsTransliteration(const std::string& word)
{
    return gbk::CharCount(word) >= 3 || word.find(CorpusNames::kMiddleDot) != std::string::npos;
}

} // namespace

NameModelTrainer::NameModelTrainer(const CCharset& c) : NameModelTrainer(c, Options()) {}

NameModelTrainer::NameModelTrainer(const CCharset& c, const Options& o) : charset(c), options(o) {}

int NameModelTrainer::Bucket(int64_t n, int64_t x)
{
    if (n <= 0)
        return 0;
    const double r = static_cast<double>(x) / static_cast<double>(n);
    const int b = x <= 0 ? 1 : r <= 0.05 ? 2 : r <= 0.2 ? 3 : r <= 0.5 ? 4 : 5;
    return n < 5 ? b + 5 : b;
}

std::vector<uint8_t> NameModelTrainer::Labels(const Paragraph& p)
{
    std::vector<uint8_t> tokenLabelStart(p.tokens.size(), 255); // first label of each nr token
    std::vector<uint8_t> tokenLabelRest(p.tokens.size(), 255);
    for (const CorpusNames::Group& g : CorpusNames::GroupNames(p.tokens)) {
        if (g.last > g.first) {
            tokenLabelStart[g.first] = N::kSB;
            tokenLabelRest[g.first] = N::kS2;
            tokenLabelStart[g.last] = N::kG1;
            tokenLabelRest[g.last] = N::kG2;
        } else {
            tokenLabelStart[g.first] = N::kWB;
            tokenLabelRest[g.first] = N::kWI;
        }
    }
    std::vector<uint8_t> labels;
    for (size_t k = 0; k < p.tokens.size(); ++k) {
        const int chars = gbk::CharCount(p.tokens[k].word);
        for (int i = 0; i < chars; ++i) {
            if (tokenLabelStart[k] == 255)
                labels.push_back(N::kO);
            else if (i == 0)
                labels.push_back(tokenLabelStart[k]);
            else if (tokenLabelRest[k] == N::kG2 && i > 1)
                labels.push_back(N::kG2); // the grammar allows two given characters; longer ones stay G2
            else
                labels.push_back(tokenLabelRest[k]);
        }
    }
    return labels;
}

int NameModelTrainer::LexClass(int64_t count, int64_t whole, int64_t part, int64_t place, int64_t proper)
{
    if (count <= 0)
        return -1;
    const int frequent = count >= 3 ? 1 : 0;
    if (2 * whole >= count)
        return 0 + frequent; // a name
    if (2 * part >= count)
        return 2 + frequent; // mostly a surname or given name
    if (whole + part > 0)
        return 4 + frequent; // sometimes a name
    if (2 * place >= count)
        return 6 + frequent; // a place
    if (2 * proper >= count)
        return 8 + frequent; // an organisation or another proper noun
    return 10 + frequent;    // any other word
}

int NameModelTrainer::ContextBucket(int64_t count, int64_t next)
{
    if (count <= 0 || next <= 0)
        return 0;
    const double r = static_cast<double>(next) / static_cast<double>(count);
    return r <= 0.05 ? 1 : r <= 0.2 ? 2 : r <= 0.5 ? 3 : 4;
}

template <class Visit>
void NameModelTrainer::Sentences(const std::vector<Paragraph>& paragraphs, const CCharset& charset, Visit visit)
{
    std::vector<int> keys;
    std::vector<uint8_t> labels;
    std::vector<Span> spans;
    std::vector<uint8_t> nameNext;
    std::vector<uint8_t> nameStarts, nameEnds;
    auto emit = [&]() {
        // Where names begin and end, for the strings beside them.
        nameStarts.assign(keys.size() + 1, 0);
        nameEnds.assign(keys.size() + 1, 0);
        for (const Span& span : spans)
            if (span.kind == kWholeName || span.kind == kFullName) {
                nameStarts[static_cast<size_t>(span.start)] = 1;
                nameEnds[static_cast<size_t>(span.start + span.length)] = 1;
            }
        nameNext.clear();
        for (const Span& span : spans)
            nameNext.push_back(static_cast<uint8_t>(nameStarts[static_cast<size_t>(span.start + span.length)] |
                                                    nameEnds[static_cast<size_t>(span.start)] << 1));
        visit(keys, labels, spans, nameNext);
    };
    for (const Paragraph& p : paragraphs) {
        const std::vector<uint8_t> paragraphLabels = Labels(p);
        // How each token occurs: as a word, a one-word name, or a part of a
        // Chinese name (whose first token also begins the whole name).
        std::vector<Occurrence> kinds(p.tokens.size(), kWord);
        for (size_t k = 0; k < p.tokens.size(); ++k) {
            const std::string& tag = p.tokens[k].tag;
            if (tag == "ns")
                kinds[k] = kPlace;
            else if (tag == "nt" || tag == "nz")
                kinds[k] = kProper;
        }
        std::vector<size_t> nameEnd(p.tokens.size(), 0);
        for (const CorpusNames::Group& g : CorpusNames::GroupNames(p.tokens)) {
            if (g.last > g.first) {
                kinds[g.first] = kinds[g.last] = kPartName;
                nameEnd[g.first] = g.last + 1;
            } else {
                kinds[g.first] = kWholeName;
            }
        }
        size_t c = 0;
        size_t sentenceStart = 0; // first token of the sentence
        std::vector<int> tokenStart(p.tokens.size(), 0);
        for (size_t k = 0; k < p.tokens.size(); ++k) {
            const std::vector<std::string> chars = gbk::Chars(p.tokens[k].word);
            bool stop = false;
            tokenStart[k] = static_cast<int>(keys.size());
            for (const std::string& ch : chars) {
                const int key = gbk::KeyOf(ch);
                const uint8_t l = paragraphLabels[c++];
                if (key < 0 || key >= N::kKeyCount)
                    continue;
                keys.push_back(key);
                labels.push_back(l);
                stop = stop || EndsSentence(charset.GetClass(key)); // the engine ends its sentence here
            }
            const int length = static_cast<int>(keys.size()) - tokenStart[k];
            if (length >= 2)
                spans.push_back(Span{tokenStart[k], length, kinds[k]});
            // A Chinese name ends with its second token: the whole name is a string too.
            if (k > sentenceStart && kinds[k] == kPartName && nameEnd[k - 1] == k + 1)
                spans.push_back(Span{tokenStart[k - 1], static_cast<int>(keys.size()) - tokenStart[k - 1], kFullName});
            if ((stop || k + 1 == p.tokens.size()) && !keys.empty()) {
                emit();
                keys.clear();
                labels.clear();
                spans.clear();
                sentenceStart = k + 1;
            }
        }
        keys.clear();
        labels.clear();
        spans.clear();
    }
}

void NameModelTrainer::Count(const std::vector<Paragraph>& paragraphs)
{
    occurrences.assign(N::kKeyCount, 0);
    for (auto& r : inRole)
        r.assign(N::kKeyCount, 0);
    lexCounts.clear();
    lexPrefixes.clear();
    for (const Paragraph& p : paragraphs) {
        const std::vector<uint8_t> labels = Labels(p);
        size_t c = 0;
        for (const CorpusToken& t : p.tokens) {
            const bool foreign = IsTransliteration(t.word);
            for (const std::string& ch : gbk::Chars(t.word)) {
                const int key = gbk::KeyOf(ch);
                const uint8_t l = labels[c++];
                if (key < 0 || key >= N::kKeyCount)
                    continue;
                ++occurrences[static_cast<size_t>(key)];
                if (l == N::kSB)
                    ++inRole[0][static_cast<size_t>(key)];
                else if (l == N::kG1 || l == N::kG2)
                    ++inRole[1][static_cast<size_t>(key)];
                else if ((l == N::kWB || l == N::kWI) && foreign)
                    ++inRole[2][static_cast<size_t>(key)];
            }
        }
    }
    if (!options.lexicon)
        return;
    Sentences(paragraphs, charset,
              [this](const std::vector<int>& keys, const std::vector<uint8_t>&, const std::vector<Span>& spans,
                     const std::vector<uint8_t>& nameNext) {
                  for (size_t k = 0; k < spans.size(); ++k) {
                      const Span& span = spans[k];
                      if (span.length < 2 || span.length > N::kMaxLexLength)
                          continue;
                      uint64_t h = N::Fingerprint(N::kFingerprintSeed, keys[static_cast<size_t>(span.start)]);
                      for (int i = 1; i < span.length; ++i) {
                          h = N::Fingerprint(h, keys[static_cast<size_t>(span.start + i)]);
                          if (i + 1 < span.length)
                              lexPrefixes.insert(h);
                      }
                      LexCounts& counts = lexCounts[h];
                      ++counts.count;
                      counts.whole += span.kind == kWholeName || span.kind == kFullName ? 1 : 0;
                      counts.part += span.kind == kPartName ? 1 : 0;
                      counts.place += span.kind == kPlace ? 1 : 0;
                      counts.proper += span.kind == kProper ? 1 : 0;
                      counts.before += nameNext[k] & 1;
                      counts.after += nameNext[k] >> 1;
                  }
              });
}

void NameModelTrainer::AddSentence(const std::vector<int>& keys, const std::vector<uint8_t>& labels,
                                   const std::vector<uint8_t>& statBuckets, const std::vector<Span>& spans,
                                   const std::vector<uint8_t>& nameNext)
{
    if (keys.empty() || pairRows.size() + keys.size() + 3 > UINT32_MAX || keys.size() > INT32_MAX)
        return;
    const int n = static_cast<int>(keys.size());
    Sentence s{windowRows.size(), gold.size(), pairRows.size(), n};
    auto push = [&](uint16_t row, uint8_t cls) {
        windowRows.push_back(row);
        windowClasses.push_back(cls);
    };
    for (int k = 0; k < 2; ++k)
        push(N::kBeforeSentence, kClasses - 1);
    for (int key : keys)
        push(rowOf[static_cast<size_t>(key)],
             static_cast<uint8_t>(CharModelTrainer::ClassOf(key, charset.GetClass(key))));
    for (int k = 0; k < 2; ++k)
        push(N::kAfterSentence, kClasses - 1);
    gold.insert(gold.end(), labels.begin(), labels.end());
    stats.insert(stats.end(), statBuckets.begin(), statBuckets.end());
    pairRows.resize(pairRows.size() + static_cast<size_t>(n) + 3, -1);

    // The lexicon strings at every character, each without the occurrence that
    // stands here if it does (a string seen only here is unknown to itself).
    const size_t first = lexFound.size();
    lexFound.resize(first + static_cast<size_t>(n) * N::kLexMatches, 0);
    if (options.lexicon && !lexCounts.empty()) {
        // The occurrences by the character they start at.
        std::vector<std::vector<size_t>> startingAt(static_cast<size_t>(n));
        for (size_t k = 0; k < spans.size(); ++k)
            if (spans[k].start >= 0 && spans[k].start < n)
                startingAt[static_cast<size_t>(spans[k].start)].push_back(k);
        auto note = [&](int c, int place, int length, int32_t code) {
            int32_t& at = lexFound[first + static_cast<size_t>(c) * N::kLexMatches + static_cast<size_t>(place)];
            if (length > (at & 15))
                at = code;
        };
        for (int i = 0; i < n; ++i) {
            uint64_t h = N::Fingerprint(N::kFingerprintSeed, keys[static_cast<size_t>(i)]);
            for (int length = 2; length <= N::kMaxLexLength && i + length <= n; ++length) {
                h = N::Fingerprint(h, keys[static_cast<size_t>(i + length - 1)]);
                auto it = lexCounts.find(h);
                if (it == lexCounts.end())
                    continue;
                LexCounts counts = it->second;
                for (size_t k : startingAt[static_cast<size_t>(i)]) {
                    const Span& span = spans[k];
                    if (span.length != length)
                        continue;
                    --counts.count;
                    counts.whole -= span.kind == kWholeName || span.kind == kFullName ? 1 : 0;
                    counts.part -= span.kind == kPartName ? 1 : 0;
                    counts.place -= span.kind == kPlace ? 1 : 0;
                    counts.proper -= span.kind == kProper ? 1 : 0;
                    counts.before -= nameNext[k] & 1;
                    counts.after -= nameNext[k] >> 1;
                }
                const int cls = LexClass(counts.count, counts.whole, counts.part, counts.place, counts.proper);
                if (cls < 0)
                    continue;
                const int context = ContextBucket(counts.count, counts.before) * N::kContextBuckets +
                                    ContextBucket(counts.count, counts.after);
                const int32_t code = N::LexCode(context, cls, length);
                note(i, 0, length, code);
                note(i + length - 1, 1, length, code);
                for (int c = i + 1; c < i + length - 1; ++c)
                    note(c, 2, length, code);
            }
        }
    }
    sentences.push_back(s);
}

void NameModelTrainer::IndexPairs()
{
    std::vector<uint64_t> pairs;
    pairs.reserve(pairRows.size());
    for (const Sentence& s : sentences) {
        const uint16_t* r = &windowRows[s.window];
        for (int j = 0; j + 1 < s.length + 4; ++j)
            if (r[j] != N::kUnknownChar && r[j + 1] != N::kUnknownChar)
                pairs.push_back(uint64_t(PairKey(r[j], r[j + 1])) << 32 | (s.pair + static_cast<size_t>(j)));
    }
    std::sort(pairs.begin(), pairs.end());
    pairKeys.clear();
    for (size_t i = 0; i < pairs.size();) {
        size_t end = i;
        while (end < pairs.size() && pairs[end] >> 32 == pairs[i] >> 32)
            ++end;
        if (end - i >= static_cast<size_t>(std::max(1, options.minPairCount))) {
            const int32_t row = static_cast<int32_t>(pairKeys.size());
            pairKeys.push_back(static_cast<uint32_t>(pairs[i] >> 32));
            for (size_t k = i; k < end; ++k)
                pairRows[pairs[k] & 0xFFFFFFFFu] = row;
        }
        i = end;
    }
    const size_t rows = charKeys.size() + N::kReservedRows;
    statBase = rows * N::kUnigramWeights;
    trigramBase = statBase + size_t(kStatOffsets) * kStatTypes * kBuckets * kW;
    pairBase = trigramBase + size_t(kClasses) * kClasses * kClasses * kW;
    lexBase = pairBase + pairKeys.size() * N::kPairWeights;
    contextBase = lexBase + N::kLexWeights;
    const size_t total = contextBase + N::kContextWeights;
    weights.assign(total, 0);
    weightSums.assign(total, 0);
    report.pairsSeen = static_cast<int>(pairKeys.size());
}

int NameModelTrainer::Features(const Sentence& s, int i, int32_t* blocks) const
{
    const size_t w = s.window + static_cast<size_t>(i) + 2;
    int m = 0;
    for (size_t o = 0; o < N::kOffsets; ++o)
        blocks[m++] = static_cast<int32_t>(windowRows[w - 2 + o] * N::kUnigramWeights + o * kW);
    for (int o = 0; o < kStatOffsets; ++o) {
        const int c = i + o - 1;
        if (c < 0 || c >= s.length)
            continue;
        const uint8_t* b = &stats[(s.label + static_cast<size_t>(c)) * kStatTypes];
        for (int t = 0; t < kStatTypes; ++t)
            blocks[m++] = static_cast<int32_t>(statBase + ((size_t(o) * kStatTypes + size_t(t)) * kBuckets + b[t]) * kW);
    }
    const size_t k = kClasses;
    blocks[m++] = static_cast<int32_t>(
        trigramBase + ((windowClasses[w - 1] * k + windowClasses[w]) * k + windowClasses[w + 1]) * kW);
    for (size_t t = 0; t < N::kPairPlaces; ++t) {
        const int32_t row = pairRows[s.pair + static_cast<size_t>(i) + t];
        if (row >= 0)
            blocks[m++] = static_cast<int32_t>(pairBase + size_t(row) * N::kPairWeights + t * kW);
    }
    const int32_t* found = &lexFound[(s.label + static_cast<size_t>(i)) * N::kLexMatches];
    const int32_t codes[N::kLexPlaces] = {found[0], found[1], found[2],
                                          i > 0 ? found[1 - N::kLexMatches] : 0,
                                          i + 1 < s.length ? found[N::kLexMatches + 0] : 0};
    for (int place = 0; place < N::kLexPlaces; ++place)
        if (codes[place] != 0)
            blocks[m++] =
                static_cast<int32_t>(lexBase + N::LexBlock((codes[place] >> 4) & 15, place, codes[place] & 15));
    if (codes[3] != 0)
        blocks[m++] = static_cast<int32_t>(
            contextBase + N::ContextBlock(0, (codes[3] >> 8) / N::kContextBuckets, codes[3] & 15));
    if (codes[4] != 0)
        blocks[m++] = static_cast<int32_t>(
            contextBase + N::ContextBlock(1, (codes[4] >> 8) % N::kContextBuckets, codes[4] & 15));
    return m;
}

void NameModelTrainer::Decode(const Sentence& s, std::vector<int64_t>& emission, std::vector<int64_t>& forward,
                              std::vector<uint8_t>& back, std::vector<uint8_t>& labels) const
{
    const size_t n = static_cast<size_t>(s.length);
    emission.assign(n * kL, 0);
    int32_t blocks[32];
    for (size_t i = 0; i < n; ++i) {
        const int m = Features(s, static_cast<int>(i), blocks);
        for (int b = 0; b < m; ++b)
            for (int l = 0; l < kL; ++l)
                emission[i * kL + size_t(l)] += weights[size_t(blocks[b]) + size_t(l)];
    }
    // The grammar and tie rule of CNameModel::Decode, without its bonuses.
    LabelDecoder::Best(kNameGrammar, emission.data(), n, transitions.data(), forward, back, labels);
}

void NameModelTrainer::Train(const std::vector<Paragraph>& paragraphs, const std::function<void(int)>& epochDone)
{
    const auto t0 = std::chrono::steady_clock::now();
    report = Report();
    Count(paragraphs);
    rowOf.assign(N::kKeyCount, N::kUnknownChar);
    charKeys.clear();
    for (int key = 0; key < N::kKeyCount; ++key) {
        if (occurrences[static_cast<size_t>(key)] < std::max(1, options.minCharCount) ||
            static_cast<int>(charKeys.size()) >= N::kMaxChars)
            continue;
        rowOf[static_cast<size_t>(key)] = static_cast<uint16_t>(charKeys.size() + N::kReservedRows);
        charKeys.push_back(static_cast<uint16_t>(key));
    }
    report.chars = static_cast<int>(charKeys.size());

    sentences.clear();
    windowRows.clear();
    windowClasses.clear();
    stats.clear();
    gold.clear();
    pairRows.clear();
    lexFound.clear();
    std::vector<uint8_t> sentenceStats;
    Sentences(paragraphs, charset,
              [&](const std::vector<int>& keys, const std::vector<uint8_t>& labels, const std::vector<Span>& spans,
                  const std::vector<uint8_t>& nameNext) {
                  // Each character's statistics without this occurrence.
                  sentenceStats.clear();
                  std::vector<bool> foreign(keys.size(), false);
                  for (const Span& span : spans)
                      if (span.kind == kWholeName && span.length >= 3)
                          for (int c = span.start; c < span.start + span.length; ++c)
                              foreign[static_cast<size_t>(c)] = true;
                  for (size_t c = 0; c < keys.size(); ++c) {
                      const size_t at = static_cast<size_t>(keys[c]);
                      const uint8_t l = labels[c];
                      if (l == N::kSB || l == N::kWB)
                          ++report.names;
                      const int64_t n = occurrences[at] - 1;
                      const bool roles[kStatTypes] = {l == N::kSB, l == N::kG1 || l == N::kG2,
                                                      (l == N::kWB || l == N::kWI) && foreign[c]};
                      for (int t = 0; t < kStatTypes; ++t)
                          sentenceStats.push_back(
                              static_cast<uint8_t>(Bucket(n, inRole[t][at] - (roles[t] ? 1 : 0))));
                  }
                  AddSentence(keys, labels, sentenceStats, spans, nameNext);
              });
    report.sentences = sentences.size();
    report.characters = gold.size();
    IndexPairs();
    transitions.assign(size_t(kL) * kL, 0);
    transitionSums.assign(size_t(kL) * kL, 0);
    clock = 1;

    std::vector<int64_t> emission, forward;
    std::vector<uint8_t> back, predicted;
    int32_t blocks[32];
    const size_t updates = perceptron::Epochs(options.iterations, sentences.size(), kShuffleSeed, clock, [&](size_t index) {
        const Sentence& s = sentences[index];
        Decode(s, emission, forward, back, predicted);
        const auto features = [this, &s](int i, int32_t* out) { return Features(s, i, out); };
        return perceptron::Update(&gold[s.label], predicted.data(), s.length, size_t(kL), clock, weights.data(),
                                  weightSums.data(), transitions.data(), transitionSums.data(), blocks, features)
                   ? 1
                   : 0;
    }, epochDone);
    if (options.iterations > 0)
        report.updates = updates;
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double NameModelTrainer::Averaged(size_t i) const
{
    return perceptron::Averaged(weights[i], weightSums[i], clock);
}

NameModelTrainer::Image NameModelTrainer::BuildImage() const
{
    Image m;
    m.classCount = kClasses;
    m.classes.resize(N::kKeyCount);
    for (int key = 0; key < N::kKeyCount; ++key)
        m.classes[static_cast<size_t>(key)] =
            static_cast<uint8_t>(CharModelTrainer::ClassOf(key, charset.GetClass(key)));
    if (weights.empty()) {
        // Nothing trained: an empty model that labels every character O.
        m.unigram.assign(size_t(N::kReservedRows) * N::kUnigramWeights, 0);
        m.classTrigram.assign(size_t(kClasses) * kClasses * kClasses * kW, 0);
        m.transitions.assign(size_t(kL) * kL, 0);
        m.lexWeights.assign(N::kLexWeights, 0);
        m.contextWeights.assign(N::kContextWeights, 0);
        return m;
    }

    // Every character of the corpus gets a row: its own weights if it had a row
    // while training, else those of the unknown character; and the weights of
    // its statistics (at the counts of the whole corpus), which are a function
    // of the character, folded in. So a rare surname seen once is still known as
    // one. The unknown character takes the statistics of a character never seen.
    std::vector<uint16_t> imageRowOf(charKeys.size() + N::kReservedRows, 0); // training row -> image row
    for (size_t r = 0; r < N::kReservedRows; ++r)
        imageRowOf[r] = static_cast<uint16_t>(r);
    for (int key = 0; key < N::kKeyCount; ++key) {
        if (occurrences[static_cast<size_t>(key)] <= 0 || static_cast<int>(m.charKeys.size()) >= N::kMaxChars)
            continue;
        const uint16_t row = rowOf[static_cast<size_t>(key)];
        if (row != N::kUnknownChar)
            imageRowOf[row] = static_cast<uint16_t>(m.charKeys.size() + N::kReservedRows);
        m.charKeys.push_back(static_cast<uint16_t>(key));
    }
    const size_t rows = m.charKeys.size() + N::kReservedRows;
    std::vector<double> folded(rows * N::kUnigramWeights);
    for (size_t r = 0; r < rows; ++r) {
        const size_t key = r >= N::kReservedRows ? m.charKeys[r - N::kReservedRows] : 0;
        const size_t trained = r >= N::kReservedRows ? rowOf[key] : r;
        for (size_t i = 0; i < N::kUnigramWeights; ++i)
            folded[r * N::kUnigramWeights + i] = Averaged(trained * N::kUnigramWeights + i);
        if (r == N::kBeforeSentence || r == N::kAfterSentence)
            continue;
        int buckets[kStatTypes] = {0, 0, 0};
        if (r >= N::kReservedRows)
            for (int t = 0; t < kStatTypes; ++t)
                buckets[t] = Bucket(occurrences[key], inRole[t][key]);
        for (int o = 0; o < kStatOffsets; ++o) {
            // Statistics offset o (-1..1) is unigram offset o + 1 (of -2..2).
            const size_t offset = static_cast<size_t>(o + 1);
            for (int t = 0; t < kStatTypes; ++t)
                for (int l = 0; l < kL; ++l)
                    folded[r * N::kUnigramWeights + offset * kW + size_t(l)] +=
                        Averaged(statBase + ((size_t(o) * kStatTypes + size_t(t)) * kBuckets + size_t(buckets[t])) * kW +
                                 size_t(l));
        }
    }
    double largest = 0;
    for (double v : folded)
        largest = std::max(largest, std::fabs(v));
    for (size_t i = trigramBase; i < weights.size(); ++i)
        largest = std::max(largest, std::fabs(Averaged(i)));
    // (the lexicon weights lie at the end of the weights, so the loop above saw them)
    // The largest weight becomes kMaxWeight, so that the decoder's 16-bit sums
    // cannot overflow.
    const double scale = largest > 0 ? largest / N::kMaxWeight : 1.0;
    m.scale = static_cast<float>(scale);
    m.transitions.resize(size_t(kL) * kL);
    for (size_t i = 0; i < m.transitions.size(); ++i) {
        const double t = std::nearbyint(perceptron::Averaged(transitions[i], transitionSums[i], clock) / scale);
        m.transitions[i] = static_cast<int32_t>(
            std::max<double>(-N::kMaxTransition, std::min<double>(N::kMaxTransition, t)));
    }
    for (double v : folded)
        m.unigram.push_back(Quantise(v, scale));
    for (size_t i = trigramBase; i < pairBase; ++i)
        m.classTrigram.push_back(Quantise(Averaged(i), scale));
    // Pair rows in key order; rows that quantise to nothing are left out.
    std::vector<std::pair<uint32_t, size_t>> byKey;
    for (size_t r = 0; r < pairKeys.size(); ++r) {
        bool keep = false;
        for (size_t i = 0; i < N::kPairWeights && !keep; ++i)
            keep = Quantise(Averaged(pairBase + r * N::kPairWeights + i), scale) != 0;
        if (keep)
            byKey.emplace_back(PairKey(imageRowOf[pairKeys[r] >> 16], imageRowOf[pairKeys[r] & 0xFFFF]), r);
    }
    std::sort(byKey.begin(), byKey.end());
    for (const auto& e : byKey) {
        m.pairKeys.push_back(e.first);
        for (size_t i = 0; i < N::kPairWeights; ++i)
            m.pairWeights.push_back(Quantise(Averaged(pairBase + e.second * N::kPairWeights + i), scale));
    }
    for (size_t i = 0; i < N::kLexWeights; ++i)
        m.lexWeights.push_back(Quantise(Averaged(lexBase + i), scale));
    for (size_t i = 0; i < N::kContextWeights; ++i)
        m.contextWeights.push_back(Quantise(Averaged(contextBase + i), scale));
    // The lexicon with the counts of the whole corpus, and the prefixes a walk
    // passes through.
    struct Entry {
        uint64_t key;
        uint8_t cls;
        uint8_t context;
        bool operator<(const Entry& o) const { return key < o.key; }
    };
    std::vector<Entry> entries;
    for (const auto& e : lexCounts) {
        const LexCounts& c = e.second;
        const int cls = LexClass(c.count, c.whole, c.part, c.place, c.proper);
        if (cls >= 0)
            entries.push_back(Entry{e.first, static_cast<uint8_t>(cls | (lexPrefixes.count(e.first) ? N::kContinues : 0)),
                                    static_cast<uint8_t>(ContextBucket(c.count, c.before) * N::kContextBuckets +
                                                         ContextBucket(c.count, c.after))});
    }
    for (uint64_t h : lexPrefixes)
        if (lexCounts.find(h) == lexCounts.end())
            entries.push_back(Entry{h, N::kPrefixOnly, 0});
    std::sort(entries.begin(), entries.end());
    for (const Entry& e : entries)
        if (m.lexKeys.empty() || e.key != m.lexKeys.back()) {
            m.lexKeys.push_back(e.key);
            m.lexClasses.push_back(e.cls);
            m.lexContexts.push_back(e.context);
        }
    return m;
}

bool NameModelTrainer::Write(const std::string& path)
{
    const Image image = BuildImage();
    const std::string bytes = NameModelWriter::Serialize(image);
    report.pairsKept = static_cast<int>(image.pairKeys.size());
    report.lexiconSize = static_cast<int>(image.lexKeys.size());
    report.bytes = bytes.size();
    return !bytes.empty() && ModelWriter::WriteBytes(path, bytes);
}
