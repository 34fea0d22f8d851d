#ifndef MORV_CNAMEBOUNDS_H
#define MORV_CNAMEBOUNDS_H

#include "segment/TokenRecord.h"

// What may stand inside a person, place or organisation name: no punctuation
// and no symbol (a closing bracket, a book-title mark, a quote, "+", a run of
// dots), but the marks that join the parts of a foreign or compound name (the
// middle dot of 比尔·盖茨, the dash of 尼赫鲁—甘地) and, in an organisation,
// a bracketed part closed inside it (中国远洋运输（集团）总公司).
class CNameBounds {
public:
    // Whether the GBK character (1 or 2 bytes) joins the parts of a name.
    static bool IsJoiner(const char* gbk, int length);
    // Whether the GBK bytes are punctuation or symbols that no name may hold.
    static bool BreaksName(const char* gbk, int length);
    // Whether any character of the GBK bytes breaks a name.
    static bool HoldsBreak(const char* gbk, int length);
    // Whether the tokens first..last of a sentence (offsets from sentence) may
    // be one name: no breaking token, no mark at all at either end (a joiner
    // neither, nor a token holding a breaking character), and brackets only
    // in pairs opened and closed inside.
    static bool MayBeOneName(const char* sentence, const TokenRecord* items, int first, int last);
};

#endif
