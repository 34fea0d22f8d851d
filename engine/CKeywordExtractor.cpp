#include "engine/CKeywordExtractor.h"

#include <algorithm>
#include <map>
#include <unordered_map>
#include <utility>

#include "engine/CKeywordTable.h"

bool CKeywordExtractor::IsCandidate(const Term& term, const Options& options) const
{
    if (term.chars < 2 || term.key.find_first_not_of(" \t\r\n\v\f") == std::string::npos)
        return false;
    if (options.allowTags.empty()) {
        if (!term.plain)
            return false;
    } else if (std::find(options.allowTags.begin(), options.allowTags.end(), term.tag) == options.allowTags.end()) {
        return false;
    }
    return !table.IsStopWord(term.key);
}

std::vector<long> CKeywordExtractor::Groups(const std::vector<Term>& terms, const Options& options) const
{
    std::vector<long> groups(terms.size(), -1);
    std::unordered_map<std::string, long> firsts;
    const bool byTag = options.byTag && !options.allowTags.empty();
    for (size_t i = 0; i < terms.size(); ++i) {
        if (!IsCandidate(terms[i], options))
            continue;
        // A tab is never inside a token's key, so key and tag stay apart.
        const std::string key = byTag ? terms[i].key + '\t' + terms[i].tag : terms[i].key;
        groups[i] = firsts.emplace(key, static_cast<long>(i)).first->second;
    }
    return groups;
}

std::vector<CKeywordExtractor::Keyword> CKeywordExtractor::Extract(const std::vector<Term>& terms,
                                                                   const Options& options) const
{
    const std::vector<long> groups = Groups(terms, options);
    std::vector<Keyword> out = options.textRank ? TextRank(terms, groups, options) : TfIdf(terms, groups);
    std::stable_sort(out.begin(), out.end(), [](const Keyword& a, const Keyword& b) {
        return a.weight > b.weight || (a.weight == b.weight && a.first < b.first);
    });
    if (options.top != 0 && out.size() > options.top)
        out.resize(options.top);
    return out;
}

std::vector<CKeywordExtractor::Keyword> CKeywordExtractor::TfIdf(const std::vector<Term>& terms,
                                                                 const std::vector<long>& groups) const
{
    std::map<long, double> counts; // by first index: the output is in text order before sorting
    double total = 0;
    for (long g : groups)
        if (g >= 0) {
            counts[g] += 1;
            total += 1;
        }
    std::vector<Keyword> out;
    out.reserve(counts.size());
    for (const auto& c : counts)
        out.push_back({static_cast<size_t>(c.first), c.second * table.Idf(terms[c.first].key) / total});
    return out;
}

std::vector<CKeywordExtractor::Keyword> CKeywordExtractor::TextRank(const std::vector<Term>& terms,
                                                                    const std::vector<long>& groups,
                                                                    const Options& options) const
{
    // Co-occurrence counts of candidate pairs (the earlier one first) within
    // the window; a pair of one word with itself counts too, as in jieba.
    std::map<std::pair<long, long>, double> pairs;
    for (size_t i = 0; i < terms.size(); ++i) {
        if (groups[i] < 0)
            continue;
        for (size_t j = i + 1; j < i + kWindow && j < terms.size(); ++j)
            if (groups[j] >= 0)
                pairs[{groups[i], groups[j]}] += 1;
    }
    // The undirected graph: each pair is an edge both ways.
    struct Edge {
        long to;
        double weight;
    };
    std::map<long, std::vector<Edge>> graph;
    for (const auto& p : pairs) {
        graph[p.first.first].push_back({p.first.second, p.second});
        graph[p.first.second].push_back({p.first.first, p.second});
    }
    if (graph.empty())
        return {};
    // Nodes are visited in the order of their keys (as jieba sorts its words),
    // each round updating ranks in place.
    const bool byTag = options.byTag && !options.allowTags.empty();
    std::vector<long> order;
    for (const auto& node : graph)
        order.push_back(node.first);
    std::sort(order.begin(), order.end(), [&](long a, long b) {
        if (terms[a].key != terms[b].key)
            return terms[a].key < terms[b].key;
        return byTag && terms[a].tag < terms[b].tag;
    });
    std::unordered_map<long, double> rank, outSum;
    for (const auto& node : graph) {
        rank[node.first] = 1.0 / static_cast<double>(graph.size());
        double sum = 0;
        for (const Edge& e : node.second)
            sum += e.weight;
        outSum[node.first] = sum;
    }
    for (int round = 0; round < kRounds; ++round)
        for (long n : order) {
            double s = 0;
            for (const Edge& e : graph[n])
                s += e.weight / outSum[e.to] * rank[e.to];
            rank[n] = (1 - kDamping) + kDamping * s;
        }
    double low = rank.begin()->second, high = low;
    for (const auto& r : rank) {
        low = std::min(low, r.second);
        high = std::max(high, r.second);
    }
    std::vector<Keyword> out;
    for (long n : order) {
        // Scaled as jieba scales them: the highest becomes 1, none becomes 0.
        const double denominator = high - low / 10.0;
        out.push_back({static_cast<size_t>(n), denominator > 0 ? (rank[n] - low / 10.0) / denominator : 1.0});
    }
    std::sort(out.begin(), out.end(), [](const Keyword& a, const Keyword& b) { return a.first < b.first; });
    return out;
}
