#include "segment/CWebText.h"

#include <cstring>

namespace {

// Longest mention and topic, in characters: a platform's names are shorter,
// and a stray # or @ must not swallow a paragraph.
constexpr int kMaxMentionChars = 30;
constexpr int kMaxTopicChars = 40;
// The second byte of the placeholder that stands for a hangul character (the
// engine's text: see EngineText).
constexpr unsigned char kHangulTrail = 0x9F;

inline bool IsAsciiLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool IsAsciiDigit(unsigned char c) { return c >= '0' && c <= '9'; }
inline bool IsAsciiAlnum(unsigned char c) { return IsAsciiLetter(c) || IsAsciiDigit(c); }

// Bytes of the character at s: 0 at the NUL, 1 for ASCII, 2 for a lead byte
// with its trail (a lead byte before the NUL is a character of its own).
inline int CharLength(const unsigned char* s)
{
    if (s[0] == 0)
        return 0;
    return s[0] < 0x80 || s[1] == 0 ? 1 : 2;
}

// A Chinese character of GBK (GB2312's rows, and GBK's additions above and
// below them), not a symbol, a user-defined code or the placeholder.
inline bool IsHanzi(const unsigned char* s)
{
    const unsigned lead = s[0], trail = s[1];
    if (lead < 0x81 || trail == 0 || trail == 0x7F || trail < 0x40 || trail == 0xFF)
        return false;
    if (lead >= 0xB0 && lead <= 0xF7 && trail >= 0xA1)
        return true;
    if (lead <= 0xA0)
        return true;
    return lead >= 0xAA && trail <= 0xA0;
}

// Full-width digits, letters and low line (row A3).
inline bool IsWideAlnum(const unsigned char* s)
{
    if (s[0] != 0xA3)
        return false;
    const unsigned t = s[1];
    return (t >= 0xB0 && t <= 0xB9) || (t >= 0xC1 && t <= 0xDA) || (t >= 0xE1 && t <= 0xFA) || t == 0xDF;
}

inline bool Is(const unsigned char* s, const char* gbk) { return s[0] == static_cast<unsigned char>(gbk[0]) && s[1] == static_cast<unsigned char>(gbk[1]); }

const char kWideAt[] = "\xA3\xC0";       // ＠
const char kWideHash[] = "\xA3\xA3";     // ＃
const char kWideTilde[] = "\xA1\xAB";    // ～

// Characters that end a topic: blanks, the sentence ends, line breaks.
bool EndsTopic(const unsigned char* s)
{
    if (s[0] < 0x80)
        return s[0] <= 0x20 || s[0] == '#' || s[0] == 0x7F;
    static const char* const kEnds[] = {"\xA1\xA1", "\xA1\xA3", "\xA3\xA1", "\xA3\xBF", "\xA3\xBB", kWideHash};
    for (const char* e : kEnds)
        if (Is(s, e))
            return true;
    return false;
}

bool IsUrlChar(unsigned char c)
{
    return IsAsciiAlnum(c) || (c != 0 && std::strchr("-._~:/?#[]@!$&'()*+,;=%", c) != nullptr);
}

bool StartsWithNoCase(const unsigned char* s, const char* prefix)
{
    for (; *prefix != 0; ++s, ++prefix) {
        unsigned char c = *s;
        if (c >= 'A' && c <= 'Z')
            c = static_cast<unsigned char>(c + 32);
        if (c != static_cast<unsigned char>(*prefix))
            return false;
    }
    return true;
}

} // namespace

CWebText::Match CWebText::At(const char* text, int p) const
{
    Match m;
    if (text == nullptr || p < 0)
        return m;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text + p);
    if (!MayBegin(s[0]))
        return m;
    m = PunctuationRun(s);
    if (m.length > 0)
        return m;
    int n = 0;
    if (IsAsciiAlnum(s[0])) {
        n = Url(s);
        if (n == 0)
            n = Email(s);
    } else if (s[0] == '@' || Is(s, kWideAt)) {
        n = Mention(reinterpret_cast<const unsigned char*>(text), p);
    } else if (s[0] == '#' || Is(s, kWideHash)) {
        n = Topic(s);
    } else if (s[0] == 0xA5) {
        n = Katakana(s);
    } else if (s[0] == 0xA1 && s[1] == kHangulTrail) {
        // Hangul, which the engine's text holds as a placeholder of its own.
        while (s[n] == 0xA1 && s[n + 1] == kHangulTrail)
            n += 2;
    }
    if (n == 0 && (IsAsciiAlnum(s[0]) || s[0] == '_'))
        n = Identifier(s);
    if (n > 0) {
        m.length = n;
        m.kind = Kind::kWord;
    }
    return m;
}

CWebText::Match CWebText::PunctuationRun(const unsigned char* s)
{
    // Two dots or more, two tildes or more (ASCII or full-width, mixed). The
    // ellipsis marks (……) are the dictionary's words, in pairs as the corpus
    // writes them.
    Match m;
    int n = 0, marks = 0;
    if (s[0] == '.') {
        while (s[n] == '.')
            ++n, ++marks;
        m.kind = Kind::kEllipsis;
    } else if (s[0] == '~' || Is(s, kWideTilde)) {
        for (;;) {
            if (s[n] == '~')
                n += 1;
            else if (Is(s + n, kWideTilde))
                n += 2;
            else
                break;
            ++marks;
        }
        m.kind = Kind::kTilde;
    }
    if (marks >= 2)
        m.length = n;
    else
        m.kind = Kind::kNone;
    return m;
}

int CWebText::Url(const unsigned char* s)
{
    static const char* const kSchemes[] = {"https://", "http://", "ftp://", "www."};
    int n = 0;
    for (const char* scheme : kSchemes)
        if (StartsWithNoCase(s, scheme)) {
            n = static_cast<int>(std::strlen(scheme));
            break;
        }
    // www. needs a host after it; a scheme needs something after its slashes.
    if (n == 0 || !IsAsciiAlnum(s[n]))
        return 0;
    int paren = 0, bracket = 0;
    while (IsUrlChar(s[n])) {
        paren += s[n] == '(' ? 1 : s[n] == ')' ? -1 : 0;
        bracket += s[n] == '[' ? 1 : s[n] == ']' ? -1 : 0;
        ++n;
    }
    // Marks that end the sentence around a URL are not part of it, nor is a
    // closing bracket the URL did not open; nor a final slash, which would
    // stand before the separator of the text format (http://a.cn//nx).
    for (;;) {
        const unsigned char c = s[n - 1];
        if (c != 0 && std::strchr(".,;:!?'/", c) != nullptr) {
            --n;
        } else if (c == ')' && paren < 0) {
            --n;
            ++paren;
        } else if (c == ']' && bracket < 0) {
            --n;
            ++bracket;
        } else {
            break;
        }
    }
    return n;
}

int CWebText::Email(const unsigned char* s)
{
    int n = 0;
    while (IsAsciiAlnum(s[n]) || (s[n] != 0 && std::strchr("._%+-", s[n]) != nullptr))
        ++n;
    // No dot at either end of the local part.
    if (n == 0 || s[n] != '@' || s[n - 1] == '.')
        return 0;
    ++n;
    // Labels of letters, digits and hyphens, dot-separated, at least two; the
    // last (the top-level domain) of two letters or more.
    int labels = 0, lastLetters = 0, end = 0;
    for (;;) {
        int k = n, letters = 0;
        bool onlyLetters = true;
        while (IsAsciiAlnum(s[k]) || s[k] == '-') {
            onlyLetters = onlyLetters && IsAsciiLetter(s[k]);
            ++letters;
            ++k;
        }
        if (letters == 0 || s[n] == '-' || s[k - 1] == '-')
            break;
        ++labels;
        lastLetters = onlyLetters ? letters : 0;
        end = k;
        if (s[k] != '.' || !IsAsciiAlnum(s[k + 1]))
            break;
        n = k + 1;
    }
    return labels >= 2 && lastLetters >= 2 ? end : 0;
}

int CWebText::Mention(const unsigned char* text, int p)
{
    if (p > 0 && IsAsciiAlnum(text[p - 1]))
        return 0; // the local part of an address whose domain the rules refuse
    const unsigned char* s = text + p;
    int n = CharLength(s), chars = 0;
    while (chars < kMaxMentionChars) {
        const unsigned char* c = s + n;
        if (IsAsciiAlnum(c[0]) || c[0] == '_' || c[0] == '-')
            n += 1;
        else if (c[0] >= 0x80 && c[1] != 0 && (IsHanzi(c) || IsWideAlnum(c)))
            n += 2;
        else
            break;
        ++chars;
    }
    return chars > 0 ? n : 0;
}

int CWebText::Topic(const unsigned char* s)
{
    const int open = CharLength(s);
    int n = open, chars = 0;
    while (chars <= kMaxTopicChars) {
        const unsigned char* c = s + n;
        if (c[0] == 0)
            return 0;
        if (c[0] == '#' || Is(c, kWideHash))
            return chars > 0 ? n + CharLength(c) : 0;
        if (EndsTopic(c))
            return 0;
        n += CharLength(c);
        ++chars;
    }
    return 0;
}

int CWebText::Identifier(const unsigned char* s)
{
    // Letters, digits and low lines, with a dot or hyphen between two of them
    // (v1.2, COVID-19, 5G-A); one token when it holds a letter and a digit or
    // low line. Plain words and numbers are left to the character classes.
    int n = 0;
    bool letter = false, digitOrLine = false;
    for (;;) {
        const unsigned char c = s[n];
        if (IsAsciiLetter(c)) {
            letter = true;
        } else if (IsAsciiDigit(c) || c == '_') {
            digitOrLine = true;
        } else if ((c == '.' || c == '-') && n > 0 && (IsAsciiAlnum(s[n + 1]) || s[n + 1] == '_')) {
        } else {
            break;
        }
        ++n;
    }
    return letter && digitOrLine ? n : 0;
}

int CWebText::Katakana(const unsigned char* s)
{
    // Row A5 of GBK, and the prolonged sound mark (ー) inside a run.
    const auto kana = [](const unsigned char* c) { return c[0] == 0xA5 && c[1] >= 0xA1 && c[1] <= 0xF6; };
    if (!kana(s))
        return 0;
    int n = 2;
    while (kana(s + n) || (s[n] == 0xA9 && s[n + 1] == 0x60))
        n += 2;
    return n;
}
