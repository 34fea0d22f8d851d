#include "engine/CWordFinder.h"

#include <algorithm>

#include "engine/CModel.h"
#include "engine/CSymbolTagger.h"
#include "lexicon/GbkChar.h"
#include "tagging/TagCodes.h"

namespace {

// Where the words of each source rank when two know the same span.
enum Rank { kRunTime = 0, kUserDict = 1, kCore = 2, kSupplement = 3 };

int CharCount(const char* text, int start, int end)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    int chars = 0;
    for (int i = start; i < end; ++chars)
        i += gbkchar::Length(p, i, end);
    return chars;
}

// Whether a word holds "##", the mark of the class words (no GBK trail byte is '#').
bool HasClassMark(const char* word, int length)
{
    for (int i = 0; i + 1 < length; ++i)
        if (word[i] == '#' && word[i + 1] == '#')
            return true;
    return false;
}

} // namespace

CWordFinder::CWordFinder(const CModel& model) : model(model)
{
    if (model.core.tagSet) {
        const int w = model.core.tagSet->Code("w");
        symbolTag = w >= 0 && w < kTagNone ? static_cast<uint8_t>(w) : uint8_t{kTagNone};
    }
    newWordTag = TagOfWord(model.ids.unknownProper);
    if (newWordTag == kTagNone && model.core.tagSet) {
        const int n = model.core.tagSet->Code("n");
        newWordTag = n >= 0 && n < kTagNone ? static_cast<uint8_t>(n) : uint8_t{kTagNone};
    }
}

uint8_t CWordFinder::TagOfWord(int32_t wordId) const
{
    int count = 0;
    const CPosLexicon::Entry* entries =
        model.core.posLexicon && wordId >= 0 ? model.core.posLexicon->Lookup(wordId, &count) : nullptr;
    if (entries == nullptr || count <= 0)
        return newWordTag;
    const CPosLexicon::Entry* best = entries;
    for (int i = 1; i < count; ++i)
        if (entries[i].frequency > best->frequency)
            best = &entries[i];
    return best->tag;
}

void CWordFinder::Add(const char* text, int start, int end, int minChars, uint8_t tag, bool user, int rank)
{
    if (CharCount(text, start, end) < minChars)
        return;
    if (symbolTag != kTagNone && CSymbolTagger::IsSymbolText(text + start, end - start))
        tag = symbolTag;
    found.push_back(Found{Word{start, end, tag, user}, rank});
}

void CWordFinder::AddTrieWords(const CPDAT& trie, const char* text, int start, int limit, int minChars, int rank)
{
    trie.AllPrefixMatches(text + start, values, lengths, 0);
    for (size_t i = 0; i < values.size(); ++i) {
        const int end = start + lengths[i];
        if (end > limit)
            break; // shortest first: the rest are longer still
        if (values[i] < 0)
            continue;
        // The core dictionary's class words (未##数, 始##始) stand for classes, not for their text.
        if (rank == kCore && HasClassMark(text + start, lengths[i]))
            continue;
        Add(text, start, end, minChars, rank == kCore ? TagOfWord(values[i]) : newWordTag, rank == kUserDict, rank);
    }
}

void CWordFinder::Find(const char* text, int begin, int end, int minChars, const CUserWords* userWords,
                       std::vector<Word>& out)
{
    if (text == nullptr || begin < 0 || end <= begin)
        return;
    const bool supplementOn = model.SupplementOn();
    for (int p = begin; p < end;) {
        const int step = gbkchar::Length(reinterpret_cast<const unsigned char*>(text), p, end);
        found.clear();
        if (userWords != nullptr && userWords->Size() > 0) {
            userWords->Matches(text + p, userMatches);
            for (const auto& m : userMatches) {
                if (p + m.first > end)
                    break;
                const CUserWords::Word& w = *m.second;
                const uint8_t tag = w.tag != CUserWords::kNoTag ? w.tag
                                    : (model.core.coreDict && w.wordId < model.core.coreDict->GetWordCount())
                                        ? TagOfWord(w.wordId)
                                        : newWordTag;
                Add(text, p, p + m.first, minChars, tag, true, kRunTime);
            }
        }
        if (model.userDictFile)
            AddTrieWords(*model.userDictFile, text, p, end, minChars, kUserDict);
        if (model.core.coreDict)
            AddTrieWords(*model.core.coreDict, text, p, end, minChars, kCore);
        if (supplementOn) {
            model.supplement.lexicon->Matches(text + p, end - p, values, lengths);
            for (size_t i = 0; i < values.size(); ++i) {
                const uint8_t tag = model.supplement.lexicon->Tag(values[i]);
                Add(text, p, p + lengths[i], minChars, tag != CSupplement::kNoTag ? tag : newWordTag, false,
                    kSupplement);
            }
        }
        std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
            return a.word.end != b.word.end ? a.word.end < b.word.end : a.rank < b.rank;
        });
        for (size_t i = 0; i < found.size(); ++i)
            if (i == 0 || found[i].word.end != found[i - 1].word.end)
                out.push_back(found[i].word);
        p += step;
    }
}
