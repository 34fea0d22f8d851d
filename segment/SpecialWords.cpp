#include "segment/SpecialWords.h"

#include "lexicon/CPDAT.h"

// GB2312 bytes, so that the build never depends on the source file's encoding.
const char* const SpecialWords::kWords[kCount] = {
    "\xCA\xBC##\xCA\xBC", // 始##始
    "\xC4\xA9##\xC4\xA9", // 末##末
    "\xCE\xB4##\xB4\xAE", // 未##串
    "\xCE\xB4##\xC8\xCB", // 未##人
    "\xCE\xB4##\xB5\xD8", // 未##地
    "\xCE\xB4##\xCD\xC5", // 未##团
    "\xCE\xB4##\xCA\xB1", // 未##时
    "\xCE\xB4##\xCA\xFD", // 未##数
    "\xCE\xB4##\xD7\xA8", // 未##专
    "\xA1\xB0",           // “
    "\xA1\xB1",           // ”
    "\xA1\xAE",           // ‘
    "\xA1\xAF",           // ’
    "\xA1\xAA\xA1\xAA\xA1\xAA", // ———
    "\xD2\xBB",           // 一
};

int32_t& SpecialWords::At(int i)
{
    int32_t* fields[kCount] = {&sentenceBegin, &sentenceEnd, &unknownString, &unknownPerson,
                               &unknownPlace, &unknownOrganization, &unknownTime, &unknownNumber,
                               &unknownProper, &leftDoubleQuote, &rightDoubleQuote,
                               &leftSingleQuote, &rightSingleQuote, &dash, &one};
    return *fields[i];
}

SpecialWords SpecialWords::Lookup(const CPDAT& dict)
{
    SpecialWords ids;
    for (int i = 0; i < kCount; ++i)
        ids.At(i) = dict.ExactMatch(kWords[i]);
    return ids;
}

bool SpecialWords::HasRequired() const
{
    for (int i = 0; i < kRequired; ++i)
        if (At(i) < 0)
            return false;
    return true;
}
