#include "tagging/CPosStage.h"

#include <algorithm>

#include "segment/CSentence.h"
#include "tagging/CHmmTagger.h"
#include "tagging/CNameStage.h"

CPosStage::CPosStage(CHmmTagger& tagger, const CPosModel* m, const CPosLexicon* l, int32_t personId,
                     const CNameStage* v)
    : posTagger(tagger), model(m), lexicon(l), personWordId(personId), veto(v)
{
}

void CPosStage::Run(CSentence& s)
{
    TagTokens(s.text, s.length, s.items, s.count);
}

void CPosStage::TagTokens(const char* text, int length, TokenRecord* items, int count)
{
    if (model != nullptr)
        TagWithModel(text, length, items, count);
    else
        posTagger.Tag(items, count);
    if (veto != nullptr)
        veto->Veto(items, count);
}

void CPosStage::TagWithModel(const char* text, int length, TokenRecord* items, int count)
{
    // Line breaks that close a sentence take no part in tagging its words, so a
    // line tags alike with or without its break (a pipe's lines have one, a
    // program's strings often not): the words are tagged between the markers
    // alone, then the breaks alone.
    int end = count - 1;
    while (end > 1 && items[end - 1].kind == kKindLineBreak)
        --end;
    if (end == count - 1 || end <= 1) {
        model->Tag(text, length, items, count, lexicon, personWordId, true, ws);
        return;
    }
    part.assign(items, items + end);
    part.push_back(items[count - 1]);
    model->Tag(text, length, part.data(), end + 1, lexicon, personWordId, true, ws);
    std::copy(part.begin(), part.begin() + end, items);
    items[count - 1] = part[static_cast<size_t>(end)];
    part.clear();
    part.push_back(items[0]);
    part.insert(part.end(), items + end, items + count - 1);
    part.push_back(items[count - 1]);
    model->Tag(text, length, part.data(), static_cast<int>(part.size()), lexicon, personWordId, true, ws);
    std::copy(part.begin() + 1, part.end() - 1, items + end);
}
