#include "tools/morv-eval/Evaluator.h"

#include <algorithm>
#include <cstdio>
#include <tuple>

Evaluator::Evaluator(const std::set<std::string>& trainingVocabulary) : vocabulary(trainingVocabulary) {}

std::string Evaluator::CorpusTag(const std::string& tag)
{
    if (tag == "nr1" || tag == "nr2" || tag == "nrj" || tag == "nrf")
        return "nr";
    if (tag == "nsf")
        return "ns";
    return tag;
}

std::vector<std::pair<int, int>> Evaluator::Names(const std::vector<Word>& words)
{
    std::vector<std::pair<int, int>> names;
    for (size_t i = 0; i < words.size();) {
        if (words[i].tag != "nr") {
            ++i;
            continue;
        }
        size_t j = i;
        while (j + 1 < words.size() && words[j + 1].tag == "nr" && words[j + 1].start == words[j].end)
            ++j;
        names.emplace_back(words[i].start, words[j].end);
        i = j + 1;
    }
    return names;
}

std::vector<Evaluator::Word> Evaluator::GoldEntities(const Paragraph& p, bool inner)
{
    std::vector<Word> entities;
    std::vector<int> offsets(p.tokens.size() + 1, 0);
    for (size_t k = 0; k < p.tokens.size(); ++k)
        offsets[k + 1] = offsets[k] + static_cast<int>(p.tokens[k].word.size());
    size_t next = 0; // the next compound
    for (size_t k = 0; k < p.tokens.size();) {
        if (next < p.compounds.size() && p.compounds[next].first == k) {
            const CorpusCompound& c = p.compounds[next++];
            const std::string tag = CorpusTag(c.tag);
            if (tag == "ns" || tag == "nt")
                entities.push_back({offsets[c.first], offsets[c.last + 1], tag});
            for (size_t j = c.first; inner && j <= c.last; ++j) {
                const std::string wordTag = CorpusTag(p.tokens[j].tag);
                if ((wordTag == "ns" || wordTag == "nt") && wordTag != tag)
                    entities.push_back({offsets[j], offsets[j + 1], wordTag});
            }
            k = c.last + 1;
            continue;
        }
        const std::string tag = CorpusTag(p.tokens[k].tag);
        if (tag == "ns" || tag == "nt")
            entities.push_back({offsets[k], offsets[k + 1], tag});
        ++k;
    }
    return entities;
}

void Evaluator::Score(const Paragraph& gold, const std::vector<Word>& system)
{
    std::vector<Word> entities;
    for (const Word& w : system) {
        const std::string tag = CorpusTag(w.tag);
        if (tag == "ns" || tag == "nt")
            entities.push_back(w);
    }
    Score(gold, system, entities);
}

void Evaluator::Score(const Paragraph& gold, const std::vector<Word>& system, const std::vector<Word>& systemEntities)
{
    std::vector<Word> goldWords;
    std::vector<bool> oov;
    int at = 0;
    for (const CorpusToken& t : gold.tokens) {
        int len = static_cast<int>(t.word.size());
        goldWords.push_back({at, at + len, t.tag});
        oov.push_back(!vocabulary.count(t.word));
        at += len;
    }
    std::map<std::pair<int, int>, const Word*> bySpan;
    for (const Word& w : system)
        bySpan[{w.start, w.end}] = &w;
    // Precision of what the system calls a word the training never showed.
    const std::string text = gold.Text();
    std::set<std::pair<int, int>> goldWordSpans;
    for (const Word& g : goldWords)
        goldWordSpans.insert({g.start, g.end});
    for (const Word& w : system) {
        if (w.start < 0 || w.end > static_cast<int>(text.size()) || w.end <= w.start)
            continue;
        const bool right = goldWordSpans.count({w.start, w.end}) > 0;
        if (!vocabulary.empty() &&
            !vocabulary.count(text.substr(static_cast<size_t>(w.start), static_cast<size_t>(w.end - w.start)))) {
            ++counts.oovSystem;
            counts.oovSystemCorrect += right;
        }
        if (w.proposed) {
            ++counts.proposed;
            counts.proposedCorrect += right;
        }
    }
    counts.gold += goldWords.size();
    counts.system += system.size();
    for (size_t i = 0; i < goldWords.size(); ++i) {
        const Word& g = goldWords[i];
        auto it = bySpan.find({g.start, g.end});
        if (oov[i])
            ++counts.oovGold;
        if (it == bySpan.end()) {
            std::string cls = g.tag == "nr"                        ? "person-name part"
                              : g.tag == "m" || g.tag == "t"       ? "number or time"
                              : oov[i]                             ? "other unknown word"
                              : g.tag == "ns" || g.tag == "nz" || g.tag == "nt" || g.tag == "j"
                                  ? "known proper noun or abbreviation"
                                  : "other known word";
            ++missedByClass[cls];
            continue;
        }
        ++counts.correct;
        if (oov[i])
            ++counts.oovCorrect;
        if (CorpusTag(it->second->tag) == g.tag) {
            ++counts.posCorrect;
            if (oov[i])
                ++counts.oovPosCorrect;
        } else
            ++posConfusions[{g.tag, CorpusTag(it->second->tag)}];
    }
    std::vector<Word> mapped = system;
    for (Word& w : mapped)
        w.tag = CorpusTag(w.tag);
    auto gn = Names(goldWords);
    auto sn = Names(mapped);
    counts.goldNames += gn.size();
    counts.systemNames += sn.size();
    std::set<std::pair<int, int>> sset(sn.begin(), sn.end()), gset(gn.begin(), gn.end());
    for (const auto& n : gn) {
        if (sset.count(n)) {
            ++counts.correctNames;
            continue;
        }
        bool overlap = false;
        for (const auto& s : sn)
            overlap = overlap || (s.first < n.second && n.first < s.second);
        overlap ? ++namesPartial : ++namesMissed;
    }
    for (const auto& s : sn) {
        bool overlap = false;
        for (const auto& n : gn)
            overlap = overlap || (s.first < n.second && n.first < s.second);
        if (!overlap)
            ++namesSpurious;
    }

    // Places and organisations: exact spans of the same kind.
    std::set<std::tuple<int, int, std::string>> goldSpans;
    for (const Word& e : GoldEntities(gold)) {
        goldSpans.emplace(e.start, e.end, e.tag);
        ++(e.tag == "ns" ? counts.goldPlaces : counts.goldOrgs);
    }
    std::set<std::tuple<int, int, std::string>> seen;
    for (const Word& e : systemEntities) {
        const std::string tag = CorpusTag(e.tag);
        if ((tag != "ns" && tag != "nt") || !seen.emplace(e.start, e.end, tag).second)
            continue;
        const bool place = tag == "ns";
        ++(place ? counts.systemPlaces : counts.systemOrgs);
        if (goldSpans.count({e.start, e.end, tag}))
            ++(place ? counts.correctPlaces : counts.correctOrgs);
    }

    // Every level: the system's ns and nt words inside a name of another kind
    // join its names, as the gold's do.
    std::set<std::tuple<int, int, std::string>> goldAll;
    for (const Word& e : GoldEntities(gold, true)) {
        goldAll.emplace(e.start, e.end, e.tag);
        ++(e.tag == "ns" ? counts.goldPlacesAll : counts.goldOrgsAll);
    }
    std::set<std::tuple<int, int, std::string>> systemAll = seen;
    for (const Word& w : system) {
        const std::string tag = CorpusTag(w.tag);
        if (tag != "ns" && tag != "nt")
            continue;
        for (const auto& e : seen)
            if (std::get<0>(e) <= w.start && w.end <= std::get<1>(e) && std::get<2>(e) != tag &&
                std::get<1>(e) - std::get<0>(e) > w.end - w.start)
                systemAll.emplace(w.start, w.end, tag);
    }
    for (const auto& e : systemAll) {
        const bool place = std::get<2>(e) == "ns";
        ++(place ? counts.systemPlacesAll : counts.systemOrgsAll);
        if (goldAll.count(e))
            ++(place ? counts.correctPlacesAll : counts.correctOrgsAll);
    }
}

namespace {

double Ratio(size_t a, size_t b) { return b ? static_cast<double>(a) / static_cast<double>(b) : 0.0; }
double F1(double p, double r) { return p + r > 0 ? 2 * p * r / (p + r) : 0.0; }

} // namespace

void Evaluator::Print() const
{
    const Counts& c = counts;
    double p = Ratio(c.correct, c.system), r = Ratio(c.correct, c.gold);
    double np = Ratio(c.correctNames, c.systemNames), nr = Ratio(c.correctNames, c.goldNames);
    std::printf("| measure | value | target |\n|---|---|---|\n");
    std::printf("| segmentation precision | %.4f | |\n", p);
    std::printf("| segmentation recall | %.4f | |\n", r);
    std::printf("| segmentation F1 | %.4f | >= 0.965 |\n", F1(p, r));
    if (!vocabulary.empty())
        std::printf("| OOV recall (%zu OOV words) | %.4f | >= 0.70 |\n", c.oovGold, Ratio(c.oovCorrect, c.oovGold));
    if (!vocabulary.empty())
        std::printf("| OOV precision (%zu words the training lacks) | %.4f | |\n", c.oovSystem,
                    Ratio(c.oovSystemCorrect, c.oovSystem));
    std::printf("| precision of proposed new words (%zu proposed) | %.4f | |\n", c.proposed,
                Ratio(c.proposedCorrect, c.proposed));
    std::printf("| POS accuracy (on %zu correctly cut words) | %.5f | >= 0.955 |\n", c.correct,
                Ratio(c.posCorrect, c.correct));
    if (!vocabulary.empty()) {
        std::printf("| POS accuracy on IV words (%zu) | %.5f | |\n", c.correct - c.oovCorrect,
                    Ratio(c.posCorrect - c.oovPosCorrect, c.correct - c.oovCorrect));
        std::printf("| POS accuracy on OOV words (%zu) | %.5f | |\n", c.oovCorrect,
                    Ratio(c.oovPosCorrect, c.oovCorrect));
    }
    std::printf("| person-name precision | %.4f | |\n", np);
    std::printf("| person-name recall | %.4f | |\n", nr);
    std::printf("| person-name F1 (%zu names) | %.4f | >= 0.90 |\n", c.goldNames, F1(np, nr));
    const double pp = Ratio(c.correctPlaces, c.systemPlaces), pr = Ratio(c.correctPlaces, c.goldPlaces);
    std::printf("| place-name precision | %.4f | |\n", pp);
    std::printf("| place-name recall | %.4f | |\n", pr);
    std::printf("| place-name F1 (%zu places) | %.4f | |\n", c.goldPlaces, F1(pp, pr));
    const double op = Ratio(c.correctOrgs, c.systemOrgs), orr = Ratio(c.correctOrgs, c.goldOrgs);
    std::printf("| organisation-name precision | %.4f | |\n", op);
    std::printf("| organisation-name recall | %.4f | |\n", orr);
    std::printf("| organisation-name F1 (%zu organisations) | %.4f | |\n", c.goldOrgs, F1(op, orr));
    const double pa = Ratio(c.correctPlacesAll, c.systemPlacesAll), ra = Ratio(c.correctPlacesAll, c.goldPlacesAll);
    std::printf("| place-name F1, inner names too (%zu places) | %.4f (P %.4f R %.4f) | |\n", c.goldPlacesAll,
                F1(pa, ra), pa, ra);
    const double oa = Ratio(c.correctOrgsAll, c.systemOrgsAll), oar = Ratio(c.correctOrgsAll, c.goldOrgsAll);
    std::printf("| organisation-name F1, inner names too (%zu organisations) | %.4f (P %.4f R %.4f) | |\n",
                c.goldOrgsAll, F1(oa, oar), oa, oar);
    std::printf("\nGold words not found (%zu), by kind:\n", c.gold - c.correct);
    std::vector<std::pair<size_t, std::string>> kinds;
    for (const auto& m : missedByClass)
        kinds.emplace_back(m.second, m.first);
    std::sort(kinds.rbegin(), kinds.rend());
    for (const auto& k : kinds)
        std::printf("  %-36s %zu\n", k.second.c_str(), k.first);
    std::printf("Names: %zu missed entirely, %zu found with wrong bounds, %zu spurious\n", namesMissed,
                namesPartial, namesSpurious);
    std::vector<std::pair<size_t, std::pair<std::string, std::string>>> conf;
    for (const auto& m : posConfusions)
        conf.emplace_back(m.second, m.first);
    std::sort(conf.rbegin(), conf.rend());
    std::printf("Most frequent tag errors (corpus -> engine):");
    for (size_t i = 0; i < conf.size() && i < 10; ++i)
        std::printf(" %s->%s %zu", conf[i].second.first.c_str(), conf[i].second.second.c_str(), conf[i].first);
    std::printf("\n");
}
