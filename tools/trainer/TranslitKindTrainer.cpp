#include "tools/trainer/TranslitKindTrainer.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "tagging/CTranslitKindModel.h"
#include "tools/trainer/ByteImage.h"
#include "tools/trainer/CorpusNames.h"
#include "tools/trainer/GbkChars.h"
#include "tools/trainer/ModelWriter.h"

void TranslitKindTrainer::Train(const std::vector<Paragraph>& paragraphs, const TranslitModelTrainer& translit)
{
    std::vector<TranslitModelTrainer::Sample> samples;
    for (const TranslitModelTrainer::Sample& s : translit.GetSamples())
        if (!s.place)
            samples.push_back(s);
    for (size_t p = 0; p < paragraphs.size(); ++p) {
        const std::vector<CorpusToken>& tokens = paragraphs[p].tokens;
        for (size_t k = 0; k < tokens.size(); ++k) {
            if (tokens[k].tag != "ns")
                continue;
            const std::vector<std::string> chars = gbk::Chars(tokens[k].word);
            double sum = 0;
            for (const std::string& ch : chars)
                sum += translit.InNameOf(gbk::KeyOf(ch)) / 100.0;
            if (chars.size() >= 3 && sum >= kPlaceMean * static_cast<double>(chars.size()))
                samples.push_back({p, k, k, true});
        }
    }
    std::sort(samples.begin(), samples.end(), [](const TranslitModelTrainer::Sample& a,
                                                 const TranslitModelTrainer::Sample& b) {
        return a.paragraph != b.paragraph ? a.paragraph < b.paragraph : a.first < b.first;
    });
    report = Report();
    keys.clear();
    weights.clear();
    struct Example {
        std::vector<uint32_t> features;
        double y;
    };
    std::vector<Example> examples;
    size_t textOf = static_cast<size_t>(-1);
    std::string text;
    std::vector<int> offsets; // byte offset of each token in text, and the end
    for (const TranslitModelTrainer::Sample& s : samples) {
        if (s.paragraph >= paragraphs.size())
            continue;
        const Paragraph& para = paragraphs[s.paragraph];
        if (s.paragraph != textOf) {
            textOf = s.paragraph;
            text.clear();
            offsets.clear();
            for (const CorpusToken& t : para.tokens) {
                offsets.push_back(static_cast<int>(text.size()));
                text += t.word;
            }
            offsets.push_back(static_cast<int>(text.size()));
        }
        if (s.last + 1 >= offsets.size() || s.first > s.last)
            continue;
        const int start = offsets[s.first];
        const int end = offsets[s.last + 1];
        const std::string name = text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start));
        if (gbk::CharCount(name) < 3 || name.find(CorpusNames::kMiddleDot) != std::string::npos)
            continue; // the engine decides only these
        Example e;
        e.y = s.place ? 1.0 : 0.0;
        CTranslitKindModel::Word previous{-1, -1}, next{-1, -1};
        if (s.first > 0)
            previous = {offsets[s.first - 1], start};
        if (s.last + 2 < offsets.size())
            next = {end, offsets[s.last + 2]};
        CTranslitKindModel::Features(text.data(), static_cast<int>(text.size()), start, end, e.features, previous,
                                     next);
        examples.push_back(std::move(e));
        ++(s.place ? report.places : report.persons);
    }
    if (examples.empty())
        return;

    // Maximum likelihood with a Gaussian prior on every weight (kL2 the
    // prior's precision), by full-batch AdaGrad steps: the prior pulls a
    // feature seen once as hard as it pulls a frequent one, which per-example
    // steps would not (a context character seen beside one place would weigh
    // as much as 在).
    std::unordered_map<uint32_t, size_t> index;
    for (Example& e : examples)
        for (uint32_t& f : e.features)
            f = static_cast<uint32_t>(index.emplace(f, index.size()).first->second);
    std::vector<double> w(index.size(), 0.0), gradient(index.size()), squares(index.size(), 1e-8);
    for (int step = 0; step < kSteps; ++step) {
        for (size_t f = 0; f < w.size(); ++f)
            gradient[f] = -kL2 * w[f];
        for (const Example& e : examples) {
            double z = 0;
            for (uint32_t f : e.features)
                z += w[f];
            const double g = e.y - 1.0 / (1.0 + std::exp(-std::max(-30.0, std::min(30.0, z))));
            for (uint32_t f : e.features)
                gradient[f] += g;
        }
        for (size_t f = 0; f < w.size(); ++f) {
            squares[f] += gradient[f] * gradient[f];
            w[f] += kRate * gradient[f] / std::sqrt(squares[f]);
        }
    }
    std::vector<std::pair<uint32_t, int>> kept;
    for (const auto& kv : index) {
        const long h = std::lround(std::max(-10.0, std::min(10.0, w[kv.second])) * 100);
        if (h != 0)
            kept.emplace_back(kv.first, static_cast<int>(h));
    }
    std::sort(kept.begin(), kept.end());
    for (const auto& kv : kept) {
        keys.push_back(kv.first);
        weights.push_back(kv.second);
    }
    report.features = static_cast<int>(keys.size());
}

std::string TranslitKindTrainer::Bytes() const
{
    std::string out(CTranslitKindModel::kMagic, 4);
    // A corpus without examples still gives a valid file: one feature, the
    // prior, at 0 (every name stays a person).
    const bool empty = keys.empty();
    byteimage::Put<uint32_t>(out, CTranslitKindModel::kVersion);
    byteimage::Put<uint32_t>(out, empty ? 1u : static_cast<uint32_t>(keys.size()));
    byteimage::Put<uint32_t>(out, 0);
    if (empty) {
        byteimage::Put<uint32_t>(out, CTranslitKindModel::Key("B", nullptr, 0));
        byteimage::Put<uint16_t>(out, 0);
        byteimage::Put<uint16_t>(out, 0);
    }
    for (size_t i = 0; i < keys.size(); ++i) {
        byteimage::Put<uint32_t>(out, keys[i]);
        byteimage::Put<uint16_t>(out, static_cast<uint16_t>(weights[i]));
        byteimage::Put<uint16_t>(out, 0);
    }
    return out;
}

bool TranslitKindTrainer::Write(const std::string& path) const { return ModelWriter::WriteBytes(path, Bytes()); }
