#include "tools/trainer/TranslitModelTrainer.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "tagging/CTranslitModel.h"
#include "tools/trainer/ByteImage.h"
#include "tools/trainer/CorpusNames.h"
#include "tools/trainer/GbkChars.h"
#include "tools/trainer/ModelWriter.h"

namespace {

constexpr int kKeys = CTranslitModel::kKeyCount;

// Counts per character key, and their sum.
struct Counts {
    std::vector<double> n = std::vector<double>(kKeys, 0.0);
    double total = 0;
    void Add(int key, double by = 1)
    {
        if (key > 0 && key < kKeys) {
            n[static_cast<size_t>(key)] += by;
            total += by;
        }
    }
};

// log((a + s) / A) - log((b + s) / B): how much likelier under a than under b,
// smoothed by s, as hundredths clamped to the file's range.
int Odds(double a, double sumA, double b, double sumB, double smooth, double clamp)
{
    if (sumA <= 0 || sumB <= 0)
        return 0;
    const double v = std::log((a + smooth) / (sumA + smooth)) - std::log((b + smooth) / (sumB + smooth));
    return static_cast<int>(std::lround(std::max(-clamp, std::min(clamp, v)) * 100));
}

bool IsPlaceTag(const std::string& tag) { return tag == "ns"; }

int LastKey(const std::string& word)
{
    const std::vector<std::string> chars = gbk::Chars(word);
    return chars.empty() ? -1 : gbk::KeyOf(chars.back());
}

int FirstKey(const std::string& word)
{
    const std::vector<std::string> chars = gbk::Chars(word);
    return chars.empty() ? -1 : gbk::KeyOf(chars.front());
}

} // namespace

void TranslitModelTrainer::Train(const std::vector<Paragraph>& paragraphs)
{
    report = Report();
    samples.clear();
    Counts text, persons;
    // Token ranges of the transliterated person names, per paragraph.
    std::vector<std::vector<CorpusNames::Group>> personGroups(paragraphs.size());
    for (size_t p = 0; p < paragraphs.size(); ++p) {
        const std::vector<CorpusToken>& tokens = paragraphs[p].tokens;
        for (const CorpusToken& t : tokens)
            for (const std::string& ch : gbk::Chars(t.word))
                text.Add(gbk::KeyOf(ch));
        for (const CorpusNames::Group& g : CorpusNames::GroupNames(tokens)) {
            if (g.first != g.last)
                continue; // surname and given name
            const std::string& w = tokens[g.first].word;
            const bool dot = w.find(CorpusNames::kMiddleDot) != std::string::npos;
            if (gbk::CharCount(w) < 3 && !dot)
                continue;
            personGroups[p].push_back(g);
            ++report.personNames;
            for (const std::string& ch : gbk::Chars(w))
                persons.Add(gbk::KeyOf(ch));
        }
    }
    // The place names written like them, by the persons' characters alone.
    const auto personScore = [&](int key) {
        return key > 0 && key < kKeys ? Odds(persons.n[static_cast<size_t>(key)], persons.total,
                                             text.n[static_cast<size_t>(key)], text.total, 0.1, 10) / 100.0
                                      : -10.0;
    };
    Counts places, placeBefore, placeAfter, personBefore, personAfter;
    for (size_t p = 0; p < paragraphs.size(); ++p) {
        const std::vector<CorpusToken>& tokens = paragraphs[p].tokens;
        const auto context = [&](size_t first, size_t last, Counts& before, Counts& after) {
            if (first > 0)
                before.Add(LastKey(tokens[first - 1].word));
            if (last + 1 < tokens.size())
                after.Add(FirstKey(tokens[last + 1].word));
        };
        for (const CorpusNames::Group& g : personGroups[p]) {
            context(g.first, g.last, personBefore, personAfter);
            samples.push_back({p, g.first, g.last, false});
        }
        for (size_t k = 0; k < tokens.size(); ++k) {
            if (!IsPlaceTag(tokens[k].tag))
                continue;
            const std::vector<std::string> chars = gbk::Chars(tokens[k].word);
            if (chars.size() < 2)
                continue;
            double sum = 0, low = 1e9;
            for (const std::string& ch : chars) {
                const double s = personScore(gbk::KeyOf(ch));
                sum += s;
                low = std::min(low, s);
            }
            if (sum / static_cast<double>(chars.size()) < kForeignPlaceMean || low < kForeignPlaceLow)
                continue;
            ++report.placeNames;
            for (const std::string& ch : chars)
                places.Add(gbk::KeyOf(ch));
            context(k, k, placeBefore, placeAfter);
            samples.push_back({p, k, k, true});
        }
    }
    Counts names = persons;
    for (int key = 1; key < kKeys; ++key)
        names.Add(key, places.n[static_cast<size_t>(key)]);

    keys.assign(1, 0);
    values.assign(1, Values());
    // The unseen character says nothing either way (as a count of nothing
    // anywhere it would read as a strong name character).
    for (int key = 1; key < kKeys; ++key) {
        const size_t k = static_cast<size_t>(key);
        if (text.n[k] == 0 && names.n[k] == 0 && placeBefore.n[k] == 0 && personBefore.n[k] == 0 &&
            placeAfter.n[k] == 0 && personAfter.n[k] == 0)
            continue;
        Values v;
        v.inName = Odds(names.n[k], names.total, text.n[k], text.total, 0.1, 10);
        v.place = Odds(places.n[k], places.total, persons.n[k], persons.total, 0.5, 3);
        v.before = Odds(placeBefore.n[k], placeBefore.total, personBefore.n[k], personBefore.total, 0.5, 3);
        v.after = Odds(placeAfter.n[k], placeAfter.total, personAfter.n[k], personAfter.total, 0.5, 3);
        keys.push_back(key);
        values.push_back(v);
    }
    report.chars = static_cast<int>(keys.size()) - 1;
}

int TranslitModelTrainer::InNameOf(int key) const
{
    const auto it = std::lower_bound(keys.begin(), keys.end(), key);
    return it != keys.end() && *it == key && !values.empty() ? values[static_cast<size_t>(it - keys.begin())].inName
                                                             : (values.empty() ? 0 : values[0].inName);
}

std::string TranslitModelTrainer::Bytes() const
{
    std::string out(CTranslitModel::kMagic, 4);
    byteimage::Put<uint32_t>(out, CTranslitModel::kVersion);
    byteimage::Put<uint32_t>(out, static_cast<uint32_t>(keys.size()));
    byteimage::Put<uint32_t>(out, 0);
    for (size_t i = 0; i < keys.size(); ++i) {
        byteimage::Put<uint16_t>(out, static_cast<uint16_t>(keys[i]));
        byteimage::Put<uint16_t>(out, static_cast<uint16_t>(values[i].inName));
        byteimage::Put<uint16_t>(out, static_cast<uint16_t>(values[i].place));
        byteimage::Put<uint16_t>(out, static_cast<uint16_t>(values[i].before));
        byteimage::Put<uint16_t>(out, static_cast<uint16_t>(values[i].after));
        byteimage::Put<uint16_t>(out, 0);
    }
    return out;
}

bool TranslitModelTrainer::Write(const std::string& path) const { return ModelWriter::WriteBytes(path, Bytes()); }
