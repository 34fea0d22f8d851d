#include "lexicon/CUserWords.h"

#include <algorithm>
#include <climits>
#include <numeric>

void CUserWords::Build(const std::vector<Entry>& entries, const CPDAT& core)
{
    CUserWordList list;
    for (const Entry& e : entries)
        list.Add(e.text, e.frequency, e.tag);
    runs.clear();
    wordCount = 0;
    nextId = -1;
    Add(list, core);
}

std::shared_ptr<const CUserWords> CUserWords::With(const CUserWordList& list, const CPDAT& core) const
{
    auto fresh = std::make_shared<CUserWords>(*this);
    fresh->Add(list, core);
    return fresh;
}

const CUserWords::Word* CUserWords::Find(std::string_view text) const
{
    for (auto run = runs.rbegin(); run != runs.rend(); ++run)
        if (const Word* w = (*run)->Find(text))
            return w;
    return nullptr;
}

void CUserWords::Add(const CUserWordList& list, const CPDAT& core)
{
    // The list's texts in byte order, equal ones in list order: each group of
    // equal texts becomes one word with the frequency and tag of its last entry.
    std::vector<uint32_t> order;
    order.reserve(list.Count());
    for (size_t i = 0; i < list.Count(); ++i)
        if (!list.Text(i).empty())
            order.push_back(static_cast<uint32_t>(i));
    if (order.empty())
        return;
    // Equal texts in list order: the index breaks ties (a sort without the
    // buffer a stable sort takes).
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        const int c = list.Text(a).compare(list.Text(b));
        return c < 0 || (c == 0 && a < b);
    });
    // Per group: its first entry in list order, and its word with the
    // frequency and tag of its last entry (the id comes below).
    std::vector<uint32_t> first;
    std::vector<UserWord> words;
    for (size_t k = 0; k < order.size(); ++k) {
        const uint32_t i = order[k];
        if (k == 0 || list.Text(i) != list.Text(order[k - 1])) {
            first.push_back(i);
            words.push_back(UserWord{-1, list.Frequency(i), list.Tag(i)});
        } else {
            words.back().frequency = list.Frequency(i);
            words.back().tag = list.Tag(i);
        }
    }
    std::vector<uint32_t>().swap(order);
    first.shrink_to_fit();
    words.shrink_to_fit();

    // Ids in list order of first appearance: a word already added keeps its
    // id, one the core has takes the core's, any other the next one free.
    const size_t groups = first.size();
    std::vector<uint32_t> byAppearance(groups);
    std::iota(byAppearance.begin(), byAppearance.end(), 0u);
    std::sort(byAppearance.begin(), byAppearance.end(), [&](uint32_t a, uint32_t b) { return first[a] < first[b]; });
    int32_t next = nextId >= 0 ? nextId : core.GetWordCount();
    size_t count = wordCount;
    for (uint32_t g : byAppearance) {
        const std::string_view text = list.Text(first[g]);
        if (const Word* known = Find(text)) {
            words[g].wordId = known->wordId;
        } else {
            const int coreId = core.ExactMatch(text.data(), static_cast<int>(std::min<size_t>(text.size(), INT32_MAX)));
            words[g].wordId = coreId >= 0 ? coreId : next++;
            ++count;
        }
    }
    std::vector<uint32_t>().swap(byAppearance);

    size_t bytes = 0;
    for (size_t g = 0; g < groups; ++g)
        bytes += list.Text(first[g]).size();
    std::string texts;
    texts.reserve(bytes);
    std::vector<uint32_t> starts;
    starts.reserve(groups + 1);
    starts.push_back(0);
    for (size_t g = 0; g < groups; ++g) {
        const std::string_view text = list.Text(first[g]);
        texts.append(text.data(), text.size());
        starts.push_back(static_cast<uint32_t>(texts.size()));
    }
    auto run = std::make_shared<const CUserWordRun>(std::move(texts), std::move(starts), std::move(words));

    // Runs at least twice the size of the next: log2(words) of them at most.
    std::vector<std::shared_ptr<const CUserWordRun>> merged = runs;
    merged.push_back(std::move(run));
    while (merged.size() >= 2 && merged[merged.size() - 2]->Size() <= 2 * merged.back()->Size()) {
        auto joined = CUserWordRun::Merge(*merged[merged.size() - 2], *merged.back());
        merged.pop_back();
        merged.back() = std::move(joined);
    }
    runs.swap(merged);
    wordCount = count;
    nextId = next;
}

int CUserWords::LongestMatch(const char* text, const Word** word) const
{
    int best = 0;
    const Word* found = nullptr;
    // Newest run first: of two runs with the same word the newer one's counts.
    for (auto run = runs.rbegin(); run != runs.rend(); ++run)
        (*run)->Walk(text, [&](int length, const Word* w) {
            if (length > best) {
                best = length;
                found = w;
            }
        });
    *word = found;
    return best;
}

void CUserWords::Matches(const char* text, std::vector<std::pair<int, const Word*>>& out) const
{
    out.clear();
    if (runs.empty() || text == nullptr)
        return;
    for (auto run = runs.rbegin(); run != runs.rend(); ++run)
        (*run)->Walk(text, [&](int length, const Word* w) {
            for (const auto& m : out)
                if (m.first == length)
                    return; // a newer run has this word
            out.emplace_back(length, w);
        });
    // Shortest first; a handful of matches at most.
    for (size_t i = 1; i < out.size(); ++i)
        for (size_t j = i; j > 0 && out[j - 1].first > out[j].first; --j)
            std::swap(out[j - 1], out[j]);
}
