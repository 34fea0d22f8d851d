#ifndef MORV_CWEBTEXT_H
#define MORV_CWEBTEXT_H

#include <cstdint>

// The atoms of web text that the character classes would cut into pieces: an
// e-mail address, a URL (scheme to end, query included), a mention (@name), a
// topic (#话题#), an identifier or a number with a unit in Latin letters
// (abc_123, 5G, iPhone6s), a katakana or a hangul run (hangul as the engine's
// text holds it: one placeholder code a character), and the punctuation runs
// "..." and "~~~". Each is one token whose tag the taggers do not guess: nx
// for the words, w for the punctuation.
//
// The rules read GBK text and only look ahead, never behind the start they are
// given but for the one character before it. They hold no state: one object
// may serve any number of pre-processors.
class CWebText {
public:
    enum class Kind : uint8_t {
        kNone,
        kWord,     // a letter string (nx)
        kEllipsis, // a run of dots or ellipsis marks (w)
        kTilde,    // a run of tildes (w)
    };
    struct Match {
        int length = 0; // bytes; 0 when no rule applies
        Kind kind = Kind::kNone;
    };

    // wordTag and symbolTag are the tag codes of nx and w (255: none; the atom
    // is still made, and the taggers choose its tag).
    CWebText(uint8_t wordTag, uint8_t symbolTag) : wordTag(wordTag), symbolTag(symbolTag) {}
    virtual ~CWebText() = default;

    // The web-text atom beginning at byte p of the NUL-terminated text; p > 0
    // lets the rules see the character before (a mention does not follow a
    // letter or digit: that is an address without its domain).
    Match At(const char* text, int p) const;
    // Whether an atom of At may begin with this byte: only ASCII and the
    // symbol rows A1, A3 and A5 do, so that a Chinese character, most of any
    // text, costs the caller one test.
    static bool MayBegin(unsigned char c) { return c != 0 && (c < 0x80 || c == 0xA1 || c == 0xA3 || c == 0xA5); }

    uint8_t WordTag() const { return wordTag; }
    uint8_t SymbolTag() const { return symbolTag; }

private:
    static int Url(const unsigned char* s);
    static int Email(const unsigned char* s);
    static int Mention(const unsigned char* s, int p);
    static int Topic(const unsigned char* s);
    static int Identifier(const unsigned char* s);
    static int Katakana(const unsigned char* s);
    static Match PunctuationRun(const unsigned char* s);

    uint8_t wordTag;
    uint8_t symbolTag;
};

#endif
