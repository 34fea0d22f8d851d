#include "tools/trainer/PosModelTrainer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <map>

#include "segment/SpecialWords.h"
#include "tagging/CPosLexicon.h"
#include "tagging/CPosModel.h"
#include "tagging/PosFeatures.h"
#include "tools/trainer/Perceptron.h"
#include "tools/trainer/WordStatistics.h"

namespace {

using M = CPosModel;
using F = PosFeatures; // the features, as the tagger reads them
constexpr uint8_t kNone = 255;
// Fixed, so that every run visits the sentences in the same order.
constexpr uint64_t kShuffleSeed = 0x4D6F7276504F5331ull;

using perceptron::Quantise;

} // namespace

int PosModelTrainer::Mask::Rank(int t) const
{
    int r = 0;
    for (int w = 0; w < (t >> 6); ++w)
        r += __builtin_popcountll(bits[w]);
    const uint64_t below = (uint64_t(1) << (t & 63)) - 1;
    return r + __builtin_popcountll(bits[t >> 6] & below);
}

int PosModelTrainer::Mask::Count() const
{
    return __builtin_popcountll(bits[0]) + __builtin_popcountll(bits[1]) + __builtin_popcountll(bits[2]) +
           __builtin_popcountll(bits[3]);
}

PosModelTrainer::PosModelTrainer(const WordStatistics& w, const CPosLexicon& l) : PosModelTrainer(w, l, Options()) {}

PosModelTrainer::PosModelTrainer(const WordStatistics& w, const CPosLexicon& l, const Options& o)
    : words(w), lexicon(l), options(o)
{
    std::memset(tagOf, kNone, sizeof tagOf);
}

int PosModelTrainer::FeatureOf(uint8_t templ, uint32_t key)
{
    const uint64_t full = uint64_t(templ) << 32 | key;
    const auto found = featureIndex.emplace(full, static_cast<int32_t>(featureKeys.size()));
    if (found.second) {
        featureKeys.push_back(full);
        masks.emplace_back();
    }
    return found.first->second;
}

void PosModelTrainer::Prepare(const std::vector<Paragraph>& paragraphs)
{
    const int32_t proper = words.WordId(SpecialWords::kWords[8]);
    // The model's tags: every tag the tagger's tokens carry, in code order. And
    // how often the lexicon lacks a token's tag while listing another.
    std::map<int, uint32_t> codeCounts;
    std::map<std::pair<int, int>, uint32_t> missing; // (listed tag, the token's) -> tokens
    size_t tokens = 0;
    // The tokens of every paragraph, found once (by word look-ups).
    std::vector<std::vector<std::vector<WordStatistics::TaggerToken>>> found;
    found.reserve(paragraphs.size());
    for (const Paragraph& p : paragraphs) {
        found.push_back(words.TaggerSentences(p));
        for (const auto& s : found.back())
            for (const WordStatistics::TaggerToken& t : s) {
                ++codeCounts[t.tag];
                ++tokens;
                int count = 0;
                const CPosLexicon::Entry* entries = lexicon.Lookup(t.rare ? proper : t.id, &count);
                bool listed = false;
                for (int i = 0; entries != nullptr && i < count; ++i)
                    listed = listed || entries[i].tag == t.tag;
                for (int i = 0; entries != nullptr && i < count && !listed; ++i)
                    ++missing[{entries[i].tag, t.tag}];
            }
    }
    tagCodes.clear();
    tagCounts.clear();
    std::memset(tagOf, kNone, sizeof tagOf);
    for (const auto& c : codeCounts) {
        if (c.first < 0 || c.first >= kNone || tagCodes.size() >= static_cast<size_t>(M::kMaxTags))
            continue;
        tagOf[c.first] = static_cast<uint8_t>(tagCodes.size());
        tagCodes.push_back(static_cast<uint8_t>(c.first));
        tagCounts.push_back(c.second);
    }

    expansions.clear();
    const double least = std::max(3.0, options.expansionShare * static_cast<double>(tokens));
    for (const auto& m : missing)
        if (options.expansionShare > 0 && m.second >= least && m.first.first >= 0 && m.first.first < kNone &&
            m.first.second >= 0 && m.first.second < kNone && tagOf[m.first.first] != kNone &&
            tagOf[m.first.second] != kNone && expansions.size() < M::kMaxExpansions)
            expansions.emplace_back(tagOf[m.first.first], tagOf[m.first.second]);
    std::sort(expansions.begin(), expansions.end());
    report.expansions = expansions.size();

    // A word the lexicon lacks may take the tags of the class word of new words
    // (those the rare words of the corpus carry); failing those, every tag of
    // the model but the sentence markers', the most frequent first.
    const int32_t begin = words.WordId(SpecialWords::kWords[0]), end = words.WordId(SpecialWords::kWords[1]);
    openTags.clear();
    int n = 0;
    const CPosLexicon::Entry* e = lexicon.Lookup(proper, &n);
    for (int i = 0; e != nullptr && i < n; ++i)
        if (tagOf[e[i].tag] != kNone &&
            std::find(openTags.begin(), openTags.end(), tagOf[e[i].tag]) == openTags.end())
            openTags.push_back(tagOf[e[i].tag]);
    if (openTags.empty()) {
        std::vector<uint8_t> markers;
        for (int32_t id : {begin, end}) {
            const CPosLexicon::Entry* m = lexicon.Lookup(id, &n);
            for (int i = 0; m != nullptr && i < n; ++i)
                markers.push_back(m[i].tag);
        }
        for (size_t t = 0; t < tagCodes.size(); ++t)
            if (std::find(markers.begin(), markers.end(), tagCodes[t]) == markers.end())
                openTags.push_back(static_cast<uint8_t>(t));
        std::stable_sort(openTags.begin(), openTags.end(),
                         [&](uint8_t a, uint8_t b) { return tagCounts[a] > tagCounts[b]; });
        if (openTags.empty() && !tagCodes.empty())
            openTags.push_back(0);
    }

    sentences.clear();
    gold.clear();
    candidates.clear();
    candidateStart.assign(1, 0);
    tokenFeatures.clear();
    featureStart.assign(1, 0);
    featureIndex.clear();
    featureKeys.clear();
    masks.clear();
    std::vector<TokenRecord> records;
    std::vector<F::TokenInfo> infos;
    F::Key keys[F::kTemplateCount];
    for (size_t paragraph = 0; paragraph < paragraphs.size(); ++paragraph) {
        const std::string text = paragraphs[paragraph].Text();
        const int length = static_cast<int>(text.size());
        for (const auto& s : found[paragraph]) {
            const size_t first = gold.size();
            records.assign(s.size(), TokenRecord());
            infos.resize(s.size());
            for (size_t i = 0; i < s.size(); ++i) {
                TokenRecord& r = records[i];
                r.start = s[i].start;
                r.end = s[i].end;
                r.wordId = s[i].rare ? proper : s[i].id;
                r.flags = s[i].rare ? kFlagNewWord : 0;
                report.newWordTokens += s[i].rare;
                int count = 0;
                const CPosLexicon::Entry* entries = lexicon.Lookup(r.wordId, &count);
                F::Describe(text.c_str(), length, r, entries, entries != nullptr ? count : 0, infos[i]);
                // The candidates CPosModel gives the token (a tag only the lexicon
                // knows cannot occur: the lexicon is counted from these tokens).
                const size_t c0 = candidates.size();
                for (int k = 0; entries != nullptr && k < count; ++k) {
                    const uint8_t t = tagOf[entries[k].tag];
                    if (t != kNone && std::find(candidates.begin() + static_cast<long>(c0), candidates.end(), t) ==
                                          candidates.end())
                        candidates.push_back(t);
                }
                const size_t listed = candidates.size();
                for (size_t c = c0; c < listed; ++c)
                    for (const auto& e : expansions)
                        if (e.first == candidates[c] &&
                            std::find(candidates.begin() + static_cast<long>(c0), candidates.end(), e.second) ==
                                candidates.end())
                            candidates.push_back(e.second);
                if (candidates.size() == c0)
                    candidates.insert(candidates.end(), openTags.begin(), openTags.end());
                candidateStart.push_back(static_cast<uint32_t>(candidates.size()));
                gold.push_back(s[i].tag >= 0 && s[i].tag < kNone ? tagOf[s[i].tag] : kNone);
            }
            for (size_t i = 0; i < s.size(); ++i) {
                const size_t token = first + i;
                const uint32_t c0 = candidateStart[token], c1 = candidateStart[token + 1];
                if (c1 - c0 > 1) {
                    ++report.choiceTokens;
                    const int m = F::Keys(infos.data(), static_cast<int>(s.size()), static_cast<int>(i), keys);
                    for (int f = 0; f < m; ++f) {
                        const int id = FeatureOf(keys[f].templ, keys[f].key);
                        tokenFeatures.push_back(id);
                        Mask& mask = masks[static_cast<size_t>(id)];
                        for (uint32_t c = c0; c < c1; ++c)
                            mask.Set(candidates[c]);
                        if (gold[token] != kNone)
                            mask.Set(gold[token]);
                    }
                }
                featureStart.push_back(static_cast<uint32_t>(tokenFeatures.size()));
            }
            sentences.push_back(Sentence{first, static_cast<int>(s.size())});
        }
    }
    cellStart.assign(masks.size() + 1, 0);
    for (size_t f = 0; f < masks.size(); ++f)
        cellStart[f + 1] = cellStart[f] + static_cast<uint32_t>(masks[f].Count());
    weights.assign(cellStart.back(), 0);
    weightSums.assign(cellStart.back(), 0);
    transitions.assign(tagCodes.size() * tagCodes.size(), 0);
    transitionSums.assign(transitions.size(), 0);
    report.sentences = sentences.size();
    report.tokens = gold.size();
    report.features = featureKeys.size();
    report.cells = weights.size();
}

void PosModelTrainer::Decode(const Sentence& s, std::vector<uint8_t>& predicted)
{
    const size_t k = tagCodes.size();
    const uint32_t first = candidateStart[s.first], last = candidateStart[s.first + static_cast<size_t>(s.length)];
    score.resize(last - first);
    back.resize(last - first);
    for (int j = 0; j < s.length; ++j) {
        const size_t token = s.first + static_cast<size_t>(j);
        const uint32_t c0 = candidateStart[token], c1 = candidateStart[token + 1];
        for (uint32_t c = c0; c < c1; ++c) {
            const int tag = candidates[c];
            int64_t emission = 0;
            for (uint32_t f = featureStart[token]; f < featureStart[token + 1]; ++f) {
                const size_t id = static_cast<size_t>(tokenFeatures[f]);
                if (masks[id].Has(tag))
                    emission += weights[cellStart[id] + static_cast<uint32_t>(masks[id].Rank(tag))];
            }
            const size_t at = c - first;
            if (j == 0) {
                score[at] = emission;
                back[at] = -1;
                continue;
            }
            const uint32_t p0 = candidateStart[token - 1];
            int64_t best = 0;
            uint32_t from = p0;
            for (uint32_t p = p0; p < c0; ++p) {
                const int64_t v = score[p - first] + transitions[candidates[p] * k + static_cast<size_t>(tag)];
                if (p == p0 || v > best) {
                    best = v;
                    from = p;
                }
            }
            score[at] = best + emission;
            back[at] = static_cast<int32_t>(from - first);
        }
    }
    predicted.resize(static_cast<size_t>(s.length));
    const size_t lastToken = s.first + static_cast<size_t>(s.length) - 1;
    size_t current = candidateStart[lastToken] - first;
    for (size_t c = current + 1; c < last - first; ++c)
        if (score[c] > score[current])
            current = c;
    for (int j = s.length; j-- > 0;) {
        predicted[static_cast<size_t>(j)] = candidates[first + current];
        current = static_cast<size_t>(back[current]);
    }
}

void PosModelTrainer::Update(const Sentence& s, const std::vector<uint8_t>& predicted)
{
    const size_t k = tagCodes.size();
    auto bump = [this](size_t feature, int tag, int delta) {
        const size_t cell = cellStart[feature] + static_cast<uint32_t>(masks[feature].Rank(tag));
        weights[cell] += delta;
        weightSums[cell] += clock * delta;
    };
    for (int j = 0; j < s.length; ++j) {
        const size_t token = s.first + static_cast<size_t>(j);
        const uint8_t g = gold[token], p = predicted[static_cast<size_t>(j)];
        if (g == p || g == kNone)
            continue;
        for (uint32_t f = featureStart[token]; f < featureStart[token + 1]; ++f) {
            bump(static_cast<size_t>(tokenFeatures[f]), g, 1);
            bump(static_cast<size_t>(tokenFeatures[f]), p, -1);
        }
    }
    for (int j = 1; j < s.length; ++j) {
        const size_t token = s.first + static_cast<size_t>(j);
        const uint8_t g0 = gold[token - 1], g1 = gold[token];
        const uint8_t p0 = predicted[static_cast<size_t>(j) - 1], p1 = predicted[static_cast<size_t>(j)];
        if ((g0 == p0 && g1 == p1) || g0 == kNone || g1 == kNone)
            continue;
        transitions[g0 * k + g1] += 1;
        transitionSums[g0 * k + g1] += clock;
        transitions[p0 * k + p1] -= 1;
        transitionSums[p0 * k + p1] -= clock;
    }
}

void PosModelTrainer::Train(const std::vector<Paragraph>& paragraphs, const std::function<void(int)>& epochDone)
{
    const auto t0 = std::chrono::steady_clock::now();
    report = Report();
    clock = 1;
    Prepare(paragraphs);
    std::vector<uint8_t> predicted;
    const int epochs = tagCodes.empty() ? 0 : options.iterations;
    const size_t errors = perceptron::Epochs(epochs, sentences.size(), kShuffleSeed, clock, [&](size_t i) {
        const Sentence& s = sentences[i];
        Decode(s, predicted);
        size_t misses = 0;
        for (int j = 0; j < s.length; ++j)
            misses += predicted[static_cast<size_t>(j)] != gold[s.first + static_cast<size_t>(j)];
        if (misses > 0)
            Update(s, predicted);
        return misses;
    }, epochDone);
    if (epochs > 0)
        report.errors = errors;
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double PosModelTrainer::Averaged(int32_t w, int64_t u) const
{
    return perceptron::Averaged(w, u, clock);
}

int PosModelTrainer::CandidateCount(const CPosLexicon::Entry* entries, int count) const
{
    // As CPosModel gives them: the lexicon's tags the model has, with their
    // expansions; a lexicon of other tags only gives its first; no lexicon,
    // the open tags.
    std::vector<uint8_t> tags;
    for (int i = 0; entries != nullptr && i < count; ++i)
        if (tagOf[entries[i].tag] != kNone && std::find(tags.begin(), tags.end(), tagOf[entries[i].tag]) == tags.end())
            tags.push_back(tagOf[entries[i].tag]);
    const size_t listed = tags.size();
    for (size_t c = 0; c < listed; ++c)
        for (const auto& e : expansions)
            if (e.first == tags[c] && std::find(tags.begin(), tags.end(), e.second) == tags.end())
                tags.push_back(e.second);
    if (!tags.empty())
        return static_cast<int>(tags.size());
    return entries != nullptr && count > 0 ? 1 : static_cast<int>(openTags.size());
}

PosModelWriter::Image PosModelTrainer::BuildImage() const
{
    PosModelWriter::Image m;
    const size_t k = tagCodes.size();
    m.tagCodes = tagCodes;
    m.openTags = openTags;
    m.expansions = expansions;
    m.wordCount = static_cast<uint32_t>(words.GetWordCount());
    std::vector<double> averaged(weights.size());
    for (size_t c = 0; c < weights.size(); ++c)
        averaged[c] = Averaged(weights[c], weightSums[c]);
    auto weightOf = [&](size_t f, int t) {
        return masks[f].Has(t) ? averaged[cellStart[f] + static_cast<uint32_t>(masks[f].Rank(t))] : 0.0;
    };

    // Class words keep their identity row; every other word's row becomes the
    // sum of all its own features (identity, characters, edge pairs, lexicon
    // class, shape), so that tagging reads one row for them. A word with one
    // candidate never reads it.
    for (int w = 2; w <= 8; ++w) {
        const int id = words.WordId(SpecialWords::kWords[w]);
        if (id >= 0 && static_cast<uint32_t>(id) < m.wordCount)
            m.unfoldedWords.push_back(static_cast<uint32_t>(id));
    }
    std::sort(m.unfoldedWords.begin(), m.unfoldedWords.end());
    m.unfoldedWords.erase(std::unique(m.unfoldedWords.begin(), m.unfoldedWords.end()), m.unfoldedWords.end());
    std::vector<std::vector<double>> folded(m.wordCount);
    const std::vector<std::string>& wordList = words.GetWordList();
    F::Key keys[F::kTemplateCount];
    for (uint32_t w = 0; w < m.wordCount && w < wordList.size(); ++w) {
        if (std::binary_search(m.unfoldedWords.begin(), m.unfoldedWords.end(), w))
            continue;
        int count = 0;
        const CPosLexicon::Entry* entries = lexicon.Lookup(static_cast<int>(w), &count);
        if (CandidateCount(entries, entries != nullptr ? count : 0) < 2)
            continue;
        TokenRecord r;
        r.wordId = static_cast<int32_t>(w);
        r.start = 0;
        r.end = static_cast<int32_t>(wordList[w].size());
        F::TokenInfo info;
        F::Describe(wordList[w].c_str(), r.end, r, entries, entries != nullptr ? count : 0, info);
        const int n = F::Keys(&info, 1, 0, keys); // alone: its own features only
        std::vector<double>& sum = folded[w];
        sum.assign(k, 0.0);
        for (int f = 0; f < n; ++f) {
            const auto it = featureIndex.find(uint64_t(keys[f].templ) << 32 | keys[f].key);
            if (it != featureIndex.end())
                for (size_t t = 0; t < k; ++t)
                    sum[t] += weightOf(static_cast<size_t>(it->second), static_cast<int>(t));
        }
    }

    double largest = 0;
    for (double a : averaged)
        largest = std::max(largest, std::fabs(a));
    for (size_t c = 0; c < transitions.size(); ++c)
        largest = std::max(largest, std::fabs(Averaged(transitions[c], transitionSums[c])));
    for (const auto& sum : folded)
        for (double a : sum)
            largest = std::max(largest, std::fabs(a));
    const double scale = largest > 0 ? largest / 32767.0 : 1.0;
    m.scale = static_cast<float>(scale);
    m.transitions.resize(k * k);
    for (size_t c = 0; c < transitions.size(); ++c)
        m.transitions[c] = Quantise(Averaged(transitions[c], transitionSums[c]), scale);

    // Each feature's surviving weights.
    using Row = std::vector<std::pair<uint8_t, int16_t>>;
    auto quantised = [&](const std::vector<double>& values, Row& row) {
        for (size_t t = 0; t < values.size(); ++t) {
            const int16_t q = Quantise(values[t], scale);
            if (q != 0 && std::abs(q) > options.pruneBelow)
                row.emplace_back(static_cast<uint8_t>(t), q);
        }
    };
    std::vector<Row> rows(featureKeys.size());
    std::vector<double> values(k);
    for (size_t f = 0; f < featureKeys.size(); ++f) {
        for (size_t t = 0; t < k; ++t)
            values[t] = weightOf(f, static_cast<int>(t));
        quantised(values, rows[f]);
    }
    std::vector<Row> foldedRows(folded.size());
    for (size_t w = 0; w < folded.size(); ++w)
        quantised(folded[w], foldedRows[w]);

    // Rows in the file's order: word templates by word id, character templates
    // by character, hashed templates by key.
    std::vector<int32_t> wordRow(static_cast<size_t>(F::kWordTemplates) * m.wordCount, -1);
    std::map<uint32_t, int32_t> charRows[F::kCharTemplates];
    std::map<uint32_t, int32_t> hashedRows[F::kHashedTemplates];
    std::map<uint32_t, bool> chars;
    for (size_t f = 0; f < featureKeys.size(); ++f) {
        if (rows[f].empty())
            continue;
        const int templ = static_cast<int>(featureKeys[f] >> 32);
        const uint32_t key = static_cast<uint32_t>(featureKeys[f]);
        if (templ < F::kWordTemplates) {
            if (key < m.wordCount)
                wordRow[static_cast<size_t>(templ) * m.wordCount + key] = static_cast<int32_t>(f);
        } else if (templ < F::kFirstHashed) {
            if (key < static_cast<uint32_t>(M::kKeyCount)) {
                charRows[templ - F::kWordTemplates][key] = static_cast<int32_t>(f);
                chars[key] = true;
            }
        } else if (templ - F::kFirstHashed < F::kHashedTemplates) {
            hashedRows[templ - F::kFirstHashed][key] = static_cast<int32_t>(f);
        }
    }
    for (const auto& c : chars)
        m.charKeys.push_back(static_cast<uint16_t>(c.first));
    m.rowStarts.push_back(0);
    auto emit = [&](const Row* row) {
        if (row != nullptr)
            for (const auto& e : *row) {
                m.entryTags.push_back(e.first);
                m.entryWeights.push_back(e.second);
            }
        m.rowStarts.push_back(static_cast<uint32_t>(m.entryTags.size()));
    };
    for (size_t r = 0; r < wordRow.size(); ++r) {
        const uint32_t w = static_cast<uint32_t>(r % m.wordCount);
        if (r < m.wordCount && !std::binary_search(m.unfoldedWords.begin(), m.unfoldedWords.end(), w))
            emit(&foldedRows[w]);
        else
            emit(wordRow[r] >= 0 ? &rows[static_cast<size_t>(wordRow[r])] : nullptr);
    }
    for (const auto& table : charRows)
        for (uint16_t c : m.charKeys) {
            const auto it = table.find(c);
            emit(it == table.end() ? nullptr : &rows[static_cast<size_t>(it->second)]);
        }
    for (int t = 0; t < F::kHashedTemplates; ++t)
        for (const auto& h : hashedRows[t]) {
            m.hashedKeys[t].push_back(h.first);
            emit(&rows[static_cast<size_t>(h.second)]);
        }
    return m;
}

bool PosModelTrainer::Write(const std::string& path) const
{
    return PosModelWriter::Write(path, BuildImage());
}
