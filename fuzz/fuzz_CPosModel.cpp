// libFuzzer target: CPosModel::Load on arbitrary bytes; after a successful load,
// tagging of fixed sentences (known and unknown words, a name, fixed tags, odd
// offsets) and of the input's own last bytes as a text, with the invariants
// every tagging must keep.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "segment/TokenRecord.h"
#include "tagging/CPosLexicon.h"
#include "tagging/CPosModel.h"

namespace {

constexpr int32_t kPerson = 5;
constexpr uint8_t kNameTag = 25;

void Put32(std::string& out, int32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }

// Six words: the two markers, one tag, two tags, a tag no model is likely to
// have, the person-name word.
const CPosLexicon& Lexicon()
{
    static CPosLexicon lexicon;
    static bool loaded = false;
    if (!loaded) {
        const uint8_t tags[] = {58, 59, 10, 20, 30, 77, 24};
        std::string bytes;
        Put32(bytes, 7);
        Put32(bytes, 6);
        for (uint8_t t : tags) {
            bytes.push_back(static_cast<char>(t));
            bytes.append(3, '\0');
            Put32(bytes, 5);
        }
        const int32_t index[6][2] = {{0, 1}, {1, 1}, {2, 1}, {3, 2}, {5, 1}, {6, 1}};
        for (const auto& r : index) {
            Put32(bytes, r[0]);
            Put32(bytes, r[1]);
        }
        const std::string path = fuzzinput::TempPath("lexicon.pos");
        fuzzinput::WriteAll(path, bytes.data(), bytes.size());
        if (!lexicon.Load(path.c_str()))
            std::abort();
        loaded = true;
    }
    return lexicon;
}

// Tags a sentence twice (the second time with the workspace of the first) and
// checks: every token has a tag the model, the lexicon or the token itself
// could give; a name keeps the recogniser's; both runs agree.
void Check(const CPosModel& model, const char* text, int length, std::vector<TokenRecord> items,
           CPosModel::Workspace& ws)
{
    const std::vector<TokenRecord> before = items;
    const int count = static_cast<int>(items.size());
    model.Tag(text, length, items.data(), count, &Lexicon(), kPerson, true, ws);
    for (size_t i = 0; i < items.size(); ++i) {
        const TokenRecord& t = items[i];
        if (t.wordId != before[i].wordId || t.start != before[i].start || t.end != before[i].end)
            std::abort();
        if (t.wordId == kPerson) {
            if (t.tag != before[i].kind || t.kind != kKindPersonName)
                std::abort();
            continue;
        }
        bool possible = t.tag == before[i].fixedTag && t.tag != 255;
        possible = possible || (model.ModelTag(t.tag) != CPosModel::kNoTag);
        int n = 0;
        const CPosLexicon::Entry* e = Lexicon().Lookup(t.wordId, &n);
        for (int k = 0; e != nullptr && k < n; ++k)
            possible = possible || e[k].tag == t.tag;
        if (!possible)
            std::abort();
    }
    std::vector<TokenRecord> again = before;
    model.Tag(text, length, again.data(), count, &Lexicon(), kPerson, true, ws);
    for (size_t i = 0; i < items.size(); ++i)
        if (again[i].tag != items[i].tag || again[i].kind != items[i].kind)
            std::abort();
}

TokenRecord Token(int32_t word, int start, int end, uint8_t fixedTag = 255, uint8_t flags = 0)
{
    TokenRecord t;
    t.wordId = word;
    t.start = start;
    t.end = end;
    t.fixedTag = fixedTag;
    t.flags = flags;
    return t;
}

// 啊阿ab 12，中国。 and a lone lead byte.
const char kText[] = "\xB0\xA1\xB0\xA2" "ab 12\xA3\xAC\xD6\xD0\xB9\xFA\xA1\xA3\xB0";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzzinput::TempPath("input.pm");
    fuzzinput::WriteAll(path, data, size);
    CPosModel model;
    if (!model.Load(path.c_str()))
        return 0;
    const int length = static_cast<int>(sizeof kText - 1);
    CPosModel::Workspace ws;
    TokenRecord name = Token(kPerson, 4, 6);
    name.kind = kNameTag;
    Check(model, kText, length,
          {Token(0, 0, 0), Token(3, 0, 2), Token(-1, 2, 4, 255, kFlagNewWord), name, Token(2, 6, 8), Token(4, 8, 10),
           Token(99999, 10, 12), Token(3, 12, 14, 20), Token(-7, 14, 18, 201), Token(2, 18, length), Token(1, length, length)},
          ws);
    // Offsets beyond the text, reversed or negative; no markers at all.
    Check(model, kText, length, {Token(3, 30, 90), Token(-1, 9, 2), Token(2, -5, 3), Token(3, length - 1, length)}, ws);
    Check(model, kText, length, {Token(3, 0, 2)}, ws);
    // The input's last bytes as a text, cut into tokens of two bytes.
    const size_t tail = size < 48 ? size : 48;
    const char* own = reinterpret_cast<const char*>(data + size - tail);
    std::vector<TokenRecord> items{Token(0, 0, 0)};
    for (size_t at = 0; at < tail; at += 2)
        items.push_back(Token(static_cast<int32_t>(data[size - tail + at] % 8) - 1, static_cast<int>(at),
                              static_cast<int>(at + 2 < tail ? at + 2 : tail), 255, kFlagNewWord));
    items.push_back(Token(1, static_cast<int>(tail), static_cast<int>(tail)));
    for (TokenRecord& t : items)
        if (t.wordId == kPerson)
            t.kind = kNameTag;
    Check(model, own, static_cast<int>(tail), items, ws);
    return 0;
}
