#include "segment/CharText.h"

#include <cstring>

#include "lexicon/GbkChar.h"

int NextCharKey(const char* text, int* key)
{
    int length;
    *key = gbkchar::KeyInText(reinterpret_cast<const unsigned char*>(text), &length);
    return length;
}

namespace charsets {
// GB2312 bytes, two per character, so that the build never depends on the
// source file's encoding. Several characters have look-alikes; the codes count.

// ±第—＋
const char* const signChars =
    "\xA1\xC0\xB5\xDA\xA1\xAA\xA3\xAB";
// ∶·．／
const char* const decimalSeparators =
    "\xA1\xC3\xA1\xA4\xA3\xAE\xA3\xAF";
// ％‰
const char* const percentChars =
    "\xA3\xA5\xA1\xEB";
// 百千万亿佰仟兆
const char* const magnitudeChars =
    "\xB0\xD9\xC7\xA7\xCD\xF2\xD2\xDA\xB0\xDB\xC7\xAA\xD5\xD7";
// ５６７８９
const char* const highFullWidthDigits =
    "\xA3\xB5\xA3\xB6\xA3\xB7\xA3\xB8\xA3\xB9";
// 零○〇０一二三四五六七八九壹贰叁肆伍陆柒捌玖 (〇 is A996, a GBK code)
const char* const yearDigits =
    "\xC1\xE3\xA1\xF0\xA9\x96\xA3\xB0\xD2\xBB\xB6\xFE\xC8\xFD\xCB\xC4\xCE\xE5\xC1\xF9"
    "\xC6\xDF\xB0\xCB\xBE\xC5\xD2\xBC\xB7\xA1\xC8\xFE\xCB\xC1\xCE\xE9\xC2\xBD\xC6\xE2"
    "\xB0\xC6\xBE\xC1";
// 千仟零〇○
const char* const yearThousandChars =
    "\xC7\xA7\xC7\xAA\xC1\xE3\xA9\x96\xA1\xF0";
// 千仟
const char* const thousandChars =
    "\xC7\xA7\xC7\xAA";
// 零一二三四五六七八九十壹贰叁肆伍陆柒捌玖０１２３４５６７８９
const char* const shortNumberChars =
    "\xC1\xE3\xD2\xBB\xB6\xFE\xC8\xFD\xCB\xC4\xCE\xE5\xC1\xF9\xC6\xDF\xB0\xCB\xBE\xC5"
    "\xCA\xAE\xD2\xBC\xB7\xA1\xC8\xFE\xCB\xC1\xCE\xE9\xC2\xBD\xC6\xE2\xB0\xC6\xBE\xC1"
    "\xA3\xB0\xA3\xB1\xA3\xB2\xA3\xB3\xA3\xB4\xA3\xB5\xA3\xB6\xA3\xB7\xA3\xB8\xA3\xB9";
const char* const asciiDigits = "0123456789";
} // namespace charsets

namespace {

inline unsigned char Byte(const char* text, int i) { return static_cast<unsigned char>(text[i]); }

// Byte length of the character at text[i] (0 at the NUL), by the key rule.
inline int CharLength(const char* text, int i)
{
    int key;
    return NextCharKey(text + i, &key);
}

inline bool IsFullWidthDigit(const char* text, int i)
{
    return Byte(text, i) == 0xA3 && Byte(text, i + 1) >= 0xB0 && Byte(text, i + 1) <= 0xB9;
}

inline bool IsAsciiDigit(const char* text, int i) { return text[i] >= '0' && text[i] <= '9'; }

bool IsDecimalSeparator(const char* text, int i)
{
    return text[i] == '.' || text[i] == '/' || IsCharInSet(charsets::decimalSeparators, text + i);
}

bool IsPercent(const char* text, int i)
{
    return text[i] == '%' || IsCharInSet(charsets::percentChars, text + i);
}

int EffectiveLength(const char* text, int len)
{
    return len == 0 ? static_cast<int>(std::strlen(text)) : len;
}

} // namespace

bool IsCharInSet(const char* set, const char* ch)
{
    int key;
    const int n = NextCharKey(ch, &key);
    if (n == 0)
        return false;
    // Walk the set character by character, so that a match can never start on
    // the trail byte of one character and run into the next.
    for (int i = 0; set[i] != 0;) {
        const int m = CharLength(set, i);
        if (m == n && std::memcmp(set + i, ch, static_cast<size_t>(n)) == 0)
            return true;
        i += m;
    }
    return false;
}

int CountCharsInSet(const char* set, const char* text, int len)
{
    int count = 0;
    for (int i = 0; i < len && text[i] != 0;) {
        if (Byte(text, i) >= 0x80) {
            if (IsCharInSet(set, text + i))
                ++count;
            i += CharLength(text, i);
        } else {
            if (std::strchr(set, text[i]) != nullptr)
                ++count;
            ++i;
        }
    }
    return count;
}

bool IsAllSingleByte(const char* text, int len)
{
    for (int i = 0; i < len; ++i)
        if (Byte(text, i) >= 0x80)
            return false;
    return true;
}

bool IsNumberString(const char* text, int len)
{
    len = EffectiveLength(text, len);
    int i = 0;
    if (len > 0 && (text[0] == '+' || text[0] == '-' || IsCharInSet(charsets::signChars, text)))
        i += CharLength(text, 0);
    while (len - i >= 2 && IsFullWidthDigit(text, i))
        i += 2;
    if (i >= len)
        return true;
    if (i > 0 && IsDecimalSeparator(text, i)) {
        i += CharLength(text, i);
        while (len - i >= 2 && IsFullWidthDigit(text, i))
            i += 2;
    }
    if (i >= len)
        return true;
    while (i < len && IsAsciiDigit(text, i))
        ++i;
    if (i < len && i > 0 && IsDecimalSeparator(text, i)) {
        i += CharLength(text, i);
        while (i < len && IsAsciiDigit(text, i))
            ++i;
    }
    if (i < len && IsPercent(text, i)) {
        i += CharLength(text, i);
        return i >= len;
    }
    while (i < len && IsCharInSet(charsets::magnitudeChars, text + i))
        i += CharLength(text, i);
    return i >= len;
}

bool IsShortNumber(const char* text, int len)
{
    len = EffectiveLength(text, len);
    if (CountCharsInSet(charsets::shortNumberChars, text, len) == len / 2 && len <= 6)
        return true;
    return CountCharsInSet(charsets::asciiDigits, text, len) == len && len <= 2;
}

bool IsYearNumber(const char* text, int len)
{
    len = EffectiveLength(text, len);
    if (CountCharsInSet(charsets::yearDigits, text, len) == len / 2 && len >= 3)
        return true;
    if (IsAllSingleByte(text, len) && (len == 4 || (len == 2 && text[0] > '4')))
        return true;
    if (IsNumberString(text, len)) {
        if (len >= 6)
            return true;
        if (len == 4)
            return IsCharInSet(charsets::highFullWidthDigits, text);
    }
    if (len == 8)
        return CountCharsInSet(charsets::yearThousandChars, text, len) == 2;
    if (len == 2)
        return CountCharsInSet(charsets::thousandChars, text, len) == 1;
    return false;
}

bool ToFullWidthPunct(char c, char* out)
{
    // Full stop goes to the ideographic full stop; the rest to row A3, where the
    // full-width form of ASCII character c is A3, 0x80 + c.
    static const char kMapped[] = ".,;:?!%/(){+}[]=";
    if (c != 0 && std::strchr(kMapped, c) != nullptr) {
        if (c == '.') {
            out[0] = '\xA1'; // 。
            out[1] = '\xA3';
        } else {
            out[0] = '\xA3';
            out[1] = static_cast<char>(0x80 + static_cast<unsigned char>(c));
        }
        out[2] = 0;
        return true;
    }
    out[0] = c;
    out[1] = 0;
    return false;
}
