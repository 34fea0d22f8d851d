#ifndef MORV_CHARTEXT_H
#define MORV_CHARTEXT_H

// Character-level routines on GB2312 text: character keys, membership in the
// fixed character sets, and the numeric-string tests used for dates and years.
// A byte 0x01-0x7F is a character; a byte of 0x80 or above takes the next byte
// with it, unless that is the terminating NUL.

// Key of the character at text (-1 and length 0 at the NUL; a lone lead byte at
// the end has the key byte - 256 and length 1). Returns the length in bytes.
int NextCharKey(const char* text, int* key);

// Whether the one character ch (1 or 2 bytes) occurs in set as a whole character.
bool IsCharInSet(const char* set, const char* ch);
// Number of characters among the first len bytes of text that belong to set.
int CountCharsInSet(const char* set, const char* text, int len);
bool IsAllSingleByte(const char* text, int len);
// For these three, len 0 means the length of the NUL-terminated text.
bool IsNumberString(const char* text, int len);
bool IsShortNumber(const char* text, int len);
bool IsYearNumber(const char* text, int len);
// Full-width GB2312 form of an ASCII punctuation mark; out holds 3 bytes at least.
bool ToFullWidthPunct(char c, char* out);

// The fixed character sets, as GB2312 bytes.
namespace charsets {
extern const char* const signChars;
extern const char* const decimalSeparators;
extern const char* const percentChars;
extern const char* const magnitudeChars;
extern const char* const highFullWidthDigits;
extern const char* const yearDigits;
extern const char* const yearThousandChars;
extern const char* const thousandChars;
extern const char* const shortNumberChars;
extern const char* const asciiDigits;
}

#endif
