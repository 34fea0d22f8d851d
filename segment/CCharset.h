#ifndef MORV_CCHARSET_H
#define MORV_CCHARSET_H

#include <cstdint>
#include <vector>

// The character classes of charset.type, by their part in atom building (the
// table is data: which characters belong to a class is its business, the roles
// are fixed). A code not named here (0, 14, 30 and above) has no role: the
// character is an atom of its own, looked up as itself. A token's kind carries
// the class of its first character.
enum CharClass : int {
    kClassNone = -1,           // no class: a key outside the table (a lone lead byte)
    kClassPunctuation = 1,     // ASCII quotes open and close; other marks read as their full-width form
    kClassSentenceEnd = 2,     // the sentence ends after it
    kClassRunPunctuation = 3,  // punctuation that also continues digit and letter runs
    kClassDash = 4,            // a run of dashes is one atom
    kClassDigit = 5,           // starts and continues digit runs
    kClassNumeric = 6,         // a single numeric character: one number atom
    kClassAsciiDigit = 7,      // digits that do not mix with kClassWideDigit in a run
    kClassLetter = 8,          // starts letter runs; makes a digit run a letter string
    kClassNumeral = 9,         // starts numeral runs
    kClassDigitNumeral = 10,   // a numeral that also continues a pure digit run
    kClassMagnitude = 11,      // like 10, but stays out of a run before a kClassMeasure
    kClassMeasure = 12,        // keeps a magnitude out of the run before it
    kClassApproximate = 13,    // a numeral run that is a number only ending in 10 or 11
    kClassRunJoiner = 15,      // joins numeral runs (see kClassMonth)
    kClassClock = 16,          // joins numeral runs, not at their end; a unit after a short number
    kClassNumberPrefix = 17,   // a number right after it joins its atom
    kClassMonth = 18,          // joins a numeral run with a kClassFraction after it; a unit after a short number
    kClassFraction = 19,       // see kClassMonth
    kClassNumberPrefix2 = 20,  // as kClassNumberPrefix
    kClassDay = 21,            // a unit after a short number
    kClassHour = 22,           // a unit after a short number
    kClassYear = 23,           // a year unit after a year-like number
    kClassNotYear = 24,        // after a kClassYear: no year unit
    kClassUnit = 25,           // a unit after a short number
    kClassNotUnit = 26,        // after kClassUnit or kClassMonth: no unit
    kClassNotMonth = 27,       // after kClassMonth: no unit
    kClassLineBreak = 28,      // ends the sentence as an atom of the sentence-end word
    kClassWideDigit = 29,      // digits that do not mix with kClassAsciiDigit in a run
};

// Whether the sentence ends after a character of this class.
inline bool EndsSentence(int cls) { return cls == kClassSentenceEnd || cls == kClassLineBreak; }
// Whether atoms of this class are punctuation: never expanded with longer
// dictionary words, never part of a new word.
inline bool IsPunctuationClass(int cls)
{
    constexpr uint32_t kPunctuation = 1u << kClassPunctuation | 1u << kClassSentenceEnd |
                                      1u << kClassRunPunctuation | 1u << kClassDash | 1u << kClassLineBreak;
    return static_cast<unsigned>(cls) < 32 && (kPunctuation >> cls & 1u) != 0;
}

// The character-class table (charset.type): a 4-byte header kept as it is, then
// one class byte per character key 0..65535.
class CCharset {
public:
    static constexpr int kKeyCount = 65536;
    static constexpr int kFileSize = 4 + kKeyCount;

    CCharset();
    virtual ~CCharset() = default;

    // False when the file cannot be opened or is not kFileSize bytes long; the
    // table held before then stays.
    bool Load(const char* path);
    // -1 for a key outside 0..65535, else the class 0..255.
    int GetClass(int key) const
    {
        return (key < 0 || key >= kKeyCount) ? -1 : classTable[static_cast<unsigned>(key)];
    }
    // For tools and tests that build tables in memory.
    void SetClass(int key, uint8_t cls) { classTable.at(static_cast<unsigned>(key)) = cls; }
    const uint8_t* GetFileHeader() const { return fileHeader; }

private:
    std::vector<uint8_t> classTable;
    uint8_t fileHeader[4] = {0, 0, 0, 0};
};

#endif
