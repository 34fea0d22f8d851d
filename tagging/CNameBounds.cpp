#include "tagging/CNameBounds.h"

#include "engine/CSymbolTagger.h"

namespace {

bool Is(const char* gbk, int length, const char* mark)
{
    const unsigned char* a = reinterpret_cast<const unsigned char*>(gbk);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(mark);
    return length == 2 && a[0] == b[0] && a[1] == b[1];
}

// The round brackets, full-width (the corpus's) and ASCII.
int Bracket(const char* gbk, int length)
{
    if ((length == 1 && gbk[0] == '(') || Is(gbk, length, "\xA3\xA8"))
        return 1;
    if ((length == 1 && gbk[0] == ')') || Is(gbk, length, "\xA3\xA9"))
        return -1;
    return 0;
}

} // namespace

bool CNameBounds::HoldsBreak(const char* gbk, int length)
{
    const unsigned char* s = reinterpret_cast<const unsigned char*>(gbk);
    for (int i = 0; i < length;) {
        const int n = s[i] >= 0x80 && i + 1 < length ? 2 : 1;
        if (BreaksName(gbk + i, n))
            return true;
        i += n;
    }
    return false;
}

bool CNameBounds::IsJoiner(const char* gbk, int length)
{
    if (gbk == nullptr)
        return false;
    if (length == 1)
        return gbk[0] == '-';
    // · — － ‐ (GBK A1A4, A1AA, A3AD, A95C).
    return Is(gbk, length, "\xA1\xA4") || Is(gbk, length, "\xA1\xAA") || Is(gbk, length, "\xA3\xAD") ||
           Is(gbk, length, "\xA9\x5C");
}

bool CNameBounds::BreaksName(const char* gbk, int length)
{
    return !IsJoiner(gbk, length) && CSymbolTagger::IsSymbolText(gbk, length);
}

bool CNameBounds::MayBeOneName(const char* sentence, const TokenRecord* items, int first, int last)
{
    if (sentence == nullptr || items == nullptr || first > last)
        return true;
    int open = 0;
    for (int i = first; i <= last; ++i) {
        const TokenRecord& t = items[i];
        const int length = t.end - t.start;
        if (t.start < 0 || length <= 0)
            continue;
        const char* text = sentence + t.start;
        if (!CSymbolTagger::IsSymbolText(text, length)) {
            // Nor does the first or last token hold a mark of the text around
            // the name (the dot of a list number: ３１．最高人民检察院).
            if ((i == first || i == last) && HoldsBreak(text, length))
                return false;
            continue;
        }
        // A mark at either end belongs to the text around the name.
        if (i == first || i == last)
            return false;
        const int bracket = Bracket(text, length);
        if (bracket != 0) {
            open += bracket;
            if (open < 0)
                return false;
            continue;
        }
        if (!IsJoiner(text, length))
            return false;
    }
    return open == 0;
}
