// Fuzz target for the supplementary lexicon: the input is a Supplement.tab
// file; the trie beside it is a sound one with as many words as the table's
// header announces (at most 64), so that the fuzzer reaches the loads that
// succeed. After a load, the words of texts over the trie's characters are
// looked up, and the stage's candidates are checked against the atoms.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "lexicon/CPDAT.h"
#include "lexicon/CSupplement.h"
#include "segment/CSupplementWords.h"

namespace {

// 啊 阿 埃 挨: word i spells i + 4 in base 4 with them, two characters or more.
const char* const kChars[] = {"\xB0\xA1", "\xB0\xA2", "\xB0\xA3", "\xB0\xA4"};

std::string Word(int i)
{
    std::string w;
    for (int v = i + 4; v > 0; v /= 4)
        w = kChars[v % 4] + w;
    return w;
}

void Check(const CSupplement& lexicon, const std::string& text)
{
    std::vector<int> indices, lengths;
    for (int max : {0, 2, 5, static_cast<int>(text.size())}) {
        lexicon.Matches(text.c_str(), max, indices, lengths);
        if (indices.size() != lengths.size())
            std::abort();
        for (size_t k = 0; k < indices.size(); ++k) {
            if (indices[k] < 0 || indices[k] >= lexicon.GetWordCount() || lengths[k] <= 0 || lengths[k] > max ||
                (k > 0 && lengths[k] <= lengths[k - 1]))
                std::abort();
            const float f = lexicon.Frequency(indices[k]);
            if (!std::isfinite(f) || !(f > 0))
                std::abort();
        }
    }
    // One atom per character, a two-character atom in the middle.
    std::vector<TokenRecord> atoms(1);
    atoms[0].start = atoms[0].end = 0;
    atoms[0].kind = kKindSentenceBegin;
    for (int at = 0; at < static_cast<int>(text.size());) {
        TokenRecord a;
        a.start = at;
        a.end = at + (at == 4 && at + 4 <= static_cast<int>(text.size()) ? 4 : 2);
        a.kind = 0;
        atoms.push_back(a);
        at = a.end;
    }
    TokenRecord end;
    end.start = end.end = static_cast<int>(text.size());
    end.kind = kKindSentenceEnd;
    atoms.push_back(end);
    CSupplementWords stage(&lexicon);
    const int length = static_cast<int>(text.size());
    const std::vector<std::pair<int, int>> names = {{6, 8}};
    for (const TokenRecord& w : stage.Find(text.c_str(), length, atoms, names, 8)) {
        bool startsAtom = false, endsAtom = false;
        for (const TokenRecord& a : atoms) {
            startsAtom = startsAtom || (a.start == w.start && a.kind == 0);
            endsAtom = endsAtom || (a.end == w.end && a.kind == 0);
        }
        if (!startsAtom || !endsAtom || w.end > length || w.start >= w.end || (w.start < 8 && 6 < w.end) ||
            !(w.flags & kFlagSupplementWord) || !(stage.FrequencyOf(w.start, w.end) > 0))
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string tablePath = fuzzinput::TempPath("CSupplement.tab");
    const int32_t announced = fuzzinput::Int32At(data, size, 8);
    const int words = announced >= 0 && announced <= 64 ? announced : 3;
    // The tries are built once each (a trie file is 256 KiB and more).
    static bool built[65] = {};
    const std::string triePath = fuzzinput::TempPath(("CSupplement" + std::to_string(words) + ".pdat").c_str());
    if (!built[words]) {
        std::vector<std::string> list;
        for (int i = 0; i < words; ++i)
            list.push_back(Word(i));
        CPDAT trie;
        trie.BuildFromWords(list);
        if (!trie.Save(triePath.c_str()))
            std::abort();
        built[words] = true;
    }
    fuzzinput::WriteAll(tablePath, data, size);

    CSupplement lexicon;
    if (!lexicon.Load(triePath.c_str(), tablePath.c_str()))
        return 0;
    if (lexicon.GetWordCount() != words)
        std::abort();
    std::string text;
    for (int i = 0; i < 12; ++i)
        text += kChars[(i * 7 + i / 3) % 4];
    Check(lexicon, text);
    Check(lexicon, Word(words > 0 ? words - 1 : 0) + "x\xB0");
    Check(lexicon, "");
    return 0;
}
