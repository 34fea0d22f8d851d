#include "lexicon/CUserWords.h"

#include <unordered_map>

void CUserWords::Build(const std::vector<Entry>& entries, const CPDAT& core)
{
    std::unordered_map<std::string, size_t> slot;
    std::vector<std::string> texts;
    std::vector<Word> list;
    int32_t nextId = core.GetWordCount();
    for (const Entry& e : entries) {
        if (e.text.empty())
            continue;
        auto found = slot.find(e.text);
        if (found == slot.end()) {
            const int coreId = core.ExactMatch(e.text.c_str(), static_cast<int>(e.text.size()));
            slot.emplace(e.text, list.size());
            texts.push_back(e.text);
            list.push_back(Word{coreId >= 0 ? coreId : nextId++, e.frequency, e.tag});
        } else {
            Word& w = list[found->second];
            w.frequency = e.frequency;
            w.tag = e.tag;
        }
    }
    trie.BuildFromWords(texts);
    words.swap(list);
}

int CUserWords::LongestMatch(const char* text, const Word** word) const
{
    int index = -1;
    const int length = words.empty() ? 0 : trie.LongestMatch(text, &index);
    if (length <= 0 || index < 0 || static_cast<size_t>(index) >= words.size()) {
        *word = nullptr;
        return 0;
    }
    *word = &words[static_cast<size_t>(index)];
    return length;
}

void CUserWords::Matches(const char* text, std::vector<std::pair<int, const Word*>>& out) const
{
    out.clear();
    if (words.empty() || text == nullptr)
        return;
    std::vector<int> values, lengths;
    trie.AllPrefixMatches(text, values, lengths, 0);
    for (size_t i = 0; i < values.size(); ++i)
        if (values[i] >= 0 && static_cast<size_t>(values[i]) < words.size())
            out.emplace_back(lengths[i], &words[static_cast<size_t>(values[i])]);
}
