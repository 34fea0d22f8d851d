#ifndef MORV_SPECIALWORDS_H
#define MORV_SPECIALWORDS_H

#include <cstdint>

class CPDAT;

// Word ids of the fifteen special words of the core dictionary; -1 when absent.
struct SpecialWords {
    int32_t sentenceBegin = -1;      // 始##始
    int32_t sentenceEnd = -1;        // 末##末
    int32_t unknownString = -1;      // 未##串
    int32_t unknownPerson = -1;      // 未##人
    int32_t unknownPlace = -1;       // 未##地
    int32_t unknownOrganization = -1; // 未##团
    int32_t unknownTime = -1;        // 未##时
    int32_t unknownNumber = -1;      // 未##数
    int32_t unknownProper = -1;      // 未##专
    int32_t leftDoubleQuote = -1;    // “
    int32_t rightDoubleQuote = -1;   // ”
    int32_t leftSingleQuote = -1;    // ‘
    int32_t rightSingleQuote = -1;   // ’
    int32_t dash = -1;               // ———
    int32_t one = -1;                // 一

    static constexpr int kCount = 15;
    static constexpr int kRequired = 9;
    // The words in GB2312, in lookup order.
    static const char* const kWords[kCount];

    // Looks every word up by exact match.
    static SpecialWords Lookup(const CPDAT& dict);
    // Field i (0-based, in lookup order).
    int32_t& At(int i);
    int32_t At(int i) const { return const_cast<SpecialWords*>(this)->At(i); }
    // Whether the nine required words are all present.
    bool HasRequired() const;
};

#endif
