#include "segment/CPreProcess.h"

#include <algorithm>
#include <bitset>
#include <cctype>
#include <cstring>
#include <string>
#include <type_traits>

#include "lexicon/CPDAT.h"
#include "lexicon/GbkChar.h"
#include "lexicon/CUserWords.h"
#include "segment/CCharset.h"
#include "segment/CWebText.h"
#include "segment/CharText.h"

namespace {

// A special word that the dictionary lacks (-1) must never match an atom whose
// own id is -1, or every unknown character would pass for a number.
inline bool IsSpecial(int32_t wordId, int32_t specialId) { return specialId >= 0 && wordId == specialId; }

const char kMonthUnit[] = "\xD4\xC2\xB7\xDD"; // 月份

// The three kinds of digit (digit runs).
inline bool IsDigitClass(int cls) { return cls == kClassDigit || cls == kClassAsciiDigit || cls == kClassWideDigit; }

// The classes ApplyClassRule acts on; an atom of any other class (most
// Chinese characters) is its character alone, and the call is skipped.
inline bool HasClassRule(int cls)
{
    constexpr uint32_t kRuled = 1u << kClassPunctuation | 1u << kClassSentenceEnd | 1u << kClassRunPunctuation |
                                1u << kClassDash | 1u << kClassDigit | 1u << kClassNumeric |
                                1u << kClassAsciiDigit | 1u << kClassLetter | 1u << kClassNumeral |
                                1u << kClassDigitNumeral | 1u << kClassMagnitude | 1u << kClassApproximate |
                                1u << kClassLineBreak | 1u << kClassWideDigit;
    return static_cast<unsigned>(cls) < 32 && (kRuled >> cls & 1u) != 0;
}

// Longer dictionary words a slot takes at most after its atom.
constexpr int kMaxWordsPerSlot = 256;

// Whether an atom is a place to cut a sentence that has no end: one
// punctuation mark or blank, ASCII or GB2312 (row A1: the ideographic space,
// 、。…《》 and the like; the full-width forms of ASCII's marks in row A3).
bool IsSoftBreak(const char* text, const TokenRecord& atom)
{
    const unsigned char* c = reinterpret_cast<const unsigned char*>(text + atom.start);
    const int length = atom.end - atom.start;
    if (length == 1)
        return c[0] < 0x80 && (std::ispunct(c[0]) || c[0] == ' ' || c[0] == '\t');
    if (length != 2 || c[1] < 0xA1 || c[1] > 0xFE)
        return false;
    if (c[0] == 0xA1)
        return true;
    const unsigned t = c[1];
    return c[0] == 0xA3 && (t <= 0xAF || (t >= 0xBA && t <= 0xC0) || (t >= 0xDB && t <= 0xE0) || t >= 0xFB);
}

// The year numerals as a table of two-byte character keys: every atom of a
// sentence is tested against them, and a lookup costs less than a walk of the set.
const std::bitset<65536>& YearDigitKeys()
{
    static const std::bitset<65536> keys = [] {
        std::bitset<65536> table;
        const unsigned char* set = reinterpret_cast<const unsigned char*>(charsets::yearDigits);
        for (size_t i = 0; set[i] != 0 && set[i + 1] != 0; i += 2)
            table.set(set[i] * 256u + set[i + 1]);
        return table;
    }();
    return keys;
}

} // namespace

CPreProcess::CPreProcess(const CCharset* charset, const CPDAT* coreDict, const CPDAT* userDict)
    : charset(charset), coreDict(coreDict), userDict(userDict),
      ids(coreDict != nullptr ? SpecialWords::Lookup(*coreDict) : SpecialWords()), yearKeys(&YearDigitKeys())
{
}

bool CPreProcess::SetUserDict(const CPDAT* dict)
{
    userDict = dict;
    return true;
}

int CPreProcess::ClassAt(const char* text, int position, int* length) const
{
    // Runs of letters, digits or dashes stop at the sentence bound as the
    // sentence does (an atom ends at most one character beyond it).
    if (position >= kMaxSentenceBytes) {
        *length = 0;
        return -1;
    }
    int key;
    *length = NextCharKey(text + position, &key);
    return *length == 0 ? -1 : charset->GetClass(key);
}

const char* CPreProcess::SplitAtoms(const char* text)
{
    // The atom count is not known in advance; the array grows as needed and keeps
    // its capacity, so the text's length is never measured (that would make a
    // long input quadratic, as every call gets the whole rest of it).
    atoms.clear();
    latticeOfAtoms = false;
    firstJoinable = SIZE_MAX;
    doubleQuoteOpen = false;
    singleQuoteOpen = false;
    bool stop = false;

    TokenRecord begin;
    begin.wordId = ids.sentenceBegin;
    begin.start = 0;
    begin.end = 0;
    begin.kind = kKindSentenceBegin;
    atoms.push_back(begin);

    int p = 0;
    while (text[p] != 0 && !stop) {
        if (p >= kMaxSentenceBytes) {
            p = CutLongSentence(text, p);
            break;
        }
        TokenRecord atom;
        atom.start = p;

        if (userDict != nullptr || userWords != nullptr) {
            int userId = -1;
            int n = userDict != nullptr ? userDict->LongestMatch(text + p, &userId) : 0;
            const CUserWords::Word* word = nullptr;
            if (userWords != nullptr) {
                const int m = userWords->LongestMatch(text + p, &word);
                if (m > 0 && m >= n)
                    n = m;
                else
                    word = nullptr;
            }
            if (n > 0) {
                NoteJoinable(atoms.size(), text + p);
                atom.wordId = userId;
                atom.end = p + n;
                atom.kind = kKindUserWord;
                atom.flags = kFlagUserWord;
                if (word != nullptr) {
                    atom.wordId = word->wordId;
                    atom.fixedTag = word->tag;
                    if (word->frequency >= 0) {
                        atom.frequency = word->frequency;
                        atom.flags |= kFlagPresetFrequency;
                    }
                }
                atoms.push_back(atom);
                p = atom.end;
                continue;
            }
        }

        if (webText != nullptr && CWebText::MayBegin(static_cast<unsigned char>(text[p]))) {
            const size_t at = atoms.size();
            if (AddWebTextAtom(text, p)) {
                NoteJoinable(at, text + p);
                p = atoms.back().end;
                continue;
            }
        }

        int key;
        const int n = NextCharKey(text + p, &key);
        const int cls = charset->GetClass(key);
        atom.kind = cls < 0 ? uint8_t{kKindNoClass} : static_cast<uint8_t>(cls);
        atom.end = p + n;
        atom.wordId = key < 0 ? -1 : coreDict->CharacterWord(key);
        if (HasClassRule(cls))
            ApplyClassRule(text, atom, cls, key, &stop);

        TokenRecord* result = &atom;
        if (IsSpecial(atom.wordId, ids.unknownNumber)) {
            TokenRecord& previous = atoms.back();
            if (atoms.size() > 1 && (previous.kind == kClassNumberPrefix || previous.kind == kClassNumberPrefix2)) {
                // A number right after a prefix atom joins it; the prefix keeps its kind.
                previous.end = atom.end;
                previous.wordId = ids.unknownNumber;
                result = &previous;
            } else {
                TakeUnit(text, atom);
            }
        }
        if (IsSpecial(result->wordId, ids.unknownTime) || IsSpecial(result->wordId, ids.unknownNumber)) {
            // A number or time that is itself a word keeps that word's id.
            const int word = coreDict->ExactMatch(text + result->start, result->end - result->start);
            if (word >= 0)
                result->wordId = word;
        }
        p = result->end;
        if (result == &atom) {
            NoteJoinable(atoms.size(), key, cls);
            atoms.push_back(atom);
        }
    }

    if (joinNumbers)
        JoinNumbers(text);

    TokenRecord end;
    end.wordId = ids.sentenceEnd;
    end.start = p;
    end.end = p;
    end.kind = kKindSentenceEnd;
    atoms.push_back(end);
    atomCount = static_cast<int>(atoms.size());
    return text + p;
}

int CPreProcess::CutLongSentence(const char* text, int p)
{
    // The last punctuation mark or blank in the second half of the sentence
    // ends it; without one, the atom boundary at the bound does. The atoms
    // after the cut are made again, as the next sentence's.
    for (size_t i = atoms.size(); i-- > 1;) {
        if (atoms[i].end < kMaxSentenceBytes / 2)
            break;
        if (IsSoftBreak(text, atoms[i])) {
            atoms.resize(i + 1);
            return atoms[i].end;
        }
    }
    return p;
}

void CPreProcess::ApplyClassRule(const char* text, TokenRecord& atom, int cls, int key, bool* stop)
{
    int n;
    switch (cls) {
    case kClassPunctuation:
    case kClassRunPunctuation:
        if (key == '"') {
            atom.wordId = doubleQuoteOpen ? ids.rightDoubleQuote : ids.leftDoubleQuote;
            doubleQuoteOpen = !doubleQuoteOpen;
        } else if (key == '\'') {
            atom.wordId = singleQuoteOpen ? ids.rightSingleQuote : ids.leftSingleQuote;
            singleQuoteOpen = !singleQuoteOpen;
        } else if (key >= 0 && key < 128) {
            char fullWidth[3];
            if (ToFullWidthPunct(static_cast<char>(key), fullWidth))
                atom.wordId = coreDict->ExactMatch(fullWidth);
        }
        break;
    case kClassSentenceEnd:
        *stop = true;
        break;
    case kClassLineBreak:
        atom.wordId = ids.sentenceEnd;
        *stop = true;
        break;
    case kClassDash:
        while (ClassAt(text, atom.end, &n) == kClassDash)
            atom.end += n;
        atom.wordId = ids.dash;
        break;
    case kClassNumeric:
        atom.wordId = ids.unknownNumber;
        break;
    case kClassDigit:
    case kClassAsciiDigit:
    case kClassWideDigit:
        ScanDigitRun(text, atom, cls);
        break;
    case kClassLetter:
        for (;;) {
            const int y = ClassAt(text, atom.end, &n);
            if (y != kClassRunPunctuation && y != kClassDash && !IsDigitClass(y) && y != kClassLetter)
                break;
            if (y == kClassRunPunctuation && !MarkJoinsRun(text, atom.end, n))
                break;
            atom.end += n;
        }
        atom.wordId = ids.unknownString;
        break;
    case kClassNumeral:
    case kClassDigitNumeral:
    case kClassMagnitude:
        ScanNumeralRun(text, atom, cls);
        break;
    case kClassApproximate:
        ScanApproximateRun(text, atom);
        break;
    default:
        break;
    }
}

void CPreProcess::ScanDigitRun(const char* text, TokenRecord& atom, int firstClass)
{
    bool pure = true;
    for (;;) {
        int n;
        const int y = ClassAt(text, atom.end, &n);
        bool joins = false;
        switch (y) {
        case kClassRunPunctuation:
            joins = MarkJoinsRun(text, atom.end, n);
            break;
        case kClassDash:
        case kClassDigit:
            joins = true;
            break;
        case kClassAsciiDigit:
            joins = firstClass != kClassWideDigit;
            break;
        case kClassWideDigit:
            joins = firstClass != kClassAsciiDigit;
            break;
        case kClassDigitNumeral:
        case kClassMagnitude:
            joins = pure;
            break;
        case kClassLetter:
            joins = true;
            pure = false;
            break;
        default:
            break;
        }
        if (!joins)
            break;
        const int joinedAt = atom.end;
        atom.end += n;
        if (y == kClassMagnitude) {
            int next;
            if (ClassAt(text, atom.end, &next) == kClassMeasure) {
                // The magnitude stays out of the run. Going back to where
                // it starts (rather than by a fixed width) keeps the atom on a
                // character boundary whatever the widths of the two characters.
                atom.end = joinedAt;
                break;
            }
        }
    }
    if (pure) {
        atom.wordId = ids.unknownNumber;
    } else {
        atom.kind = kKindLetterString;
        atom.wordId = ids.unknownString;
    }
}

void CPreProcess::ScanNumeralRun(const char* text, TokenRecord& atom, int firstClass)
{
    const int firstEnd = atom.end;
    int n;
    if (firstClass == kClassMagnitude && ClassAt(text, atom.end, &n) == kClassMeasure)
        return;

    // Characters are given back by going back to where they start, never by a
    // fixed width, and never before the end of the first character.
    bool pure = true;
    bool normalStop = true;
    int lastClass = firstClass;
    int lastStart = atom.start;   // start of the last character taken in
    int beforeStart = atom.start; // start of the one taken in before it
    for (;;) {
        const int y = ClassAt(text, atom.end, &n);
        if (y != kClassRunPunctuation && y != kClassDash && y != kClassNumeral && y != kClassDigitNumeral &&
            y != kClassMagnitude && y != kClassRunJoiner && y != kClassClock && y != kClassMonth)
            break;
        if (y == kClassRunPunctuation && !MarkJoinsRun(text, atom.end, n))
            break;
        beforeStart = lastStart;
        lastStart = atom.end;
        lastClass = y;
        atom.end += n;
        int nextLength;
        const int next = ClassAt(text, atom.end, &nextLength);
        if (y == kClassMonth) {
            if (next == kClassFraction) {
                beforeStart = lastStart;
                lastStart = atom.end;
                lastClass = kClassFraction;
                atom.end += nextLength;
                continue;
            }
            // A month character without its fraction partner leaves the run;
            // before a run joiner the one ahead of it goes too.
            atom.end = next == kClassRunJoiner ? beforeStart : lastStart;
            normalStop = false;
            break;
        }
        if (y == kClassMagnitude && next == kClassMeasure) {
            atom.end = lastStart;
            normalStop = false;
            break;
        }
        if (y == kClassRunPunctuation || next == kClassDash)
            pure = false;
    }
    if (normalStop && lastClass == kClassClock)
        atom.end = lastStart; // a clock character does not end a run
    if (atom.end < firstEnd)
        atom.end = firstEnd;

    if (pure) {
        atom.wordId = ids.unknownNumber;
        atom.kind = kKindNumber;
    } else {
        atom.wordId = ids.unknownTime;
    }
}

void CPreProcess::ScanApproximateRun(const char* text, TokenRecord& atom)
{
    const int firstEnd = atom.end;
    int lastClass = -1;
    for (;;) {
        int n;
        const int y = ClassAt(text, atom.end, &n);
        if (y != kClassDigitNumeral && y != kClassMagnitude && y != kClassApproximate)
            break;
        atom.end += n;
        lastClass = y;
    }
    if (lastClass == kClassDigitNumeral || lastClass == kClassMagnitude)
        atom.wordId = ids.unknownNumber;
    else
        atom.end = firstEnd;
}

void CPreProcess::TakeUnit(const char* text, TokenRecord& atom)
{
    int unitLength;
    const int unitClass = ClassAt(text, atom.end, &unitLength);
    if (unitLength == 0)
        return;
    int afterLength;
    int after = ClassAt(text, atom.end + unitLength, &afterLength);
    if (afterLength == 0)
        after = 0;

    const char* number = text + atom.start;
    const int numberLength = atom.end - atom.start;
    switch (unitClass) {
    case kClassClock:
    case kClassMonth:
    case kClassDay:
    case kClassHour:
    case kClassUnit:
        if (unitClass == kClassUnit && after == kClassNotUnit)
            return;
        if (unitClass == kClassMonth && (after == kClassNotUnit || after == kClassNotMonth))
            return;
        if (!IsShortNumber(number, numberLength))
            return;
        // The unit's own width, so a one-byte unit is taken in whole and alone.
        if (std::strncmp(text + atom.end, kMonthUnit, 4) == 0)
            atom.end += 4;
        else
            atom.end += unitLength;
        atom.wordId = ids.unknownTime;
        break;
    case kClassYear:
        if (after == kClassNotYear || !IsYearNumber(number, numberLength))
            return;
        atom.end += unitLength;
        atom.wordId = ids.unknownTime;
        break;
    default:
        break;
    }
}

bool CPreProcess::MarkJoinsRun(const char* text, int position, int length) const
{
    const unsigned char* c = reinterpret_cast<const unsigned char*>(text + position);
    // With the web-text rules, a run of dots after a number or a word is an
    // ellipsis of its own ("3...", "ok..."), where the corpus keeps one dot
    // with a list number (３．).
    if (webText != nullptr) {
        const CWebText::Match m = webText->At(text, position);
        if (m.kind == CWebText::Kind::kEllipsis || m.kind == CWebText::Kind::kTilde)
            return false;
    }
    if (length != 1 || c[0] != '/')
        return true;
    // The slash, which the text format writes between a word and its tag,
    // never ends a run in any pipeline: "5/" as one token would make "5//m",
    // a line no reader can split back. It joins when the run goes on to
    // another character after it, over any marks between (http://www).
    int at = position + length, next;
    int y = ClassAt(text, at, &next);
    while (y == kClassRunPunctuation || y == kClassDash) {
        at += next;
        y = ClassAt(text, at, &next);
    }
    return IsDigitClass(y) || y == kClassLetter || y == kClassNumeral || y == kClassDigitNumeral ||
           y == kClassMagnitude;
}

bool CPreProcess::AddWebTextAtom(const char* text, int p)
{
    const CWebText::Match m = webText->At(text, p);
    if (m.length <= 0)
        return false;
    TokenRecord atom;
    atom.start = p;
    atom.end = p + m.length;
    if (m.kind == CWebText::Kind::kWord) {
        atom.kind = kKindLetterString;
        atom.wordId = ids.unknownString;
        atom.fixedTag = webText->WordTag();
    } else {
        // Punctuation: never expanded, never part of a new word; in the word
        // statistics it stands as its full-width mark does.
        atom.kind = kClassPunctuation;
        atom.wordId = coreDict->ExactMatch(m.kind == CWebText::Kind::kTilde ? "\xA1\xAB" : "\xA1\xAD\xA1\xAD");
        if (atom.wordId < 0 && m.kind == CWebText::Kind::kEllipsis)
            atom.wordId = coreDict->ExactMatch("\xA1\xAD");
        atom.fixedTag = webText->SymbolTag();
    }
    atoms.push_back(atom);
    return true;
}

void CPreProcess::NoteJoinable(size_t index, const char* character)
{
    if (!joinNumbers || firstJoinable != SIZE_MAX)
        return;
    int key;
    NextCharKey(character, &key);
    NoteJoinable(index, key, charset->GetClass(key));
}

bool CPreProcess::MayJoin(int key, int cls) const
{
    // The first character of every atom JoinNumbers acts on: a minus sign, or
    // a digit or year numeral (IsYearDigits holds for each of its characters).
    return key == '-' || key == 0xA3AD || IsDigitClass(cls) ||
           (key >= 0x8000 && key < 65536 && (*yearKeys)[static_cast<size_t>(key)]);
}

bool CPreProcess::IsYearDigits(const char* text, const TokenRecord& atom) const
{
    // Digits of any width and the numerals a year is written with. Asked of
    // every atom from the first joinable one on, so the characters are read
    // here directly, with the bound ClassAt keeps.
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    for (int p = atom.start; p < atom.end;) {
        if (p >= kMaxSentenceBytes)
            return false;
        int length;
        const int32_t key = gbkchar::KeyInText(s + p, &length);
        if (length == 0)
            return false;
        // The set holds two-byte characters only (their keys are 0x8000 and up).
        const bool yearNumeral = length == 2 && (*yearKeys)[static_cast<size_t>(key)];
        if (!yearNumeral && !IsDigitClass(charset->GetClass(key)))
            return false;
        p += length;
    }
    return atom.end > atom.start;
}

void CPreProcess::JoinNumbers(const char* text)
{
    // atoms[0] is the begin marker; the end marker is not there yet.
    // Atoms before the first that may join are kept as they are: most
    // sentences have no number at all.
    std::vector<TokenRecord>& a = atoms;
    if (firstJoinable >= a.size())
        return;
    size_t out = firstJoinable;
    for (size_t i = firstJoinable; i < a.size(); ++i) {
        // A minus sign of its own before a number, not after one (5 - 3).
        const unsigned char* c = reinterpret_cast<const unsigned char*>(text + a[i].start);
        const int length = a[i].end - a[i].start;
        const bool minus = (length == 1 && c[0] == '-') || (length == 2 && c[0] == 0xA3 && c[1] == 0xAD);
        const bool year = !minus && IsYearDigits(text, a[i]);
        if (!minus && !year) {
            // Most atoms: kept as they are, moved only once a join has been made.
            if (out != i)
                a[out] = a[i];
            ++out;
            continue;
        }
        TokenRecord atom = a[i];
        const bool afterNumber =
            out > 1 && (IsSpecial(a[out - 1].wordId, ids.unknownNumber) || IsDigitClass(a[out - 1].kind));
        if (minus && !afterNumber && i + 1 < a.size() && IsSpecial(a[i + 1].wordId, ids.unknownNumber) &&
            IsDigitClass(a[i + 1].kind)) {
            atom.end = a[i + 1].end;
            atom.wordId = ids.unknownNumber;
            atom.kind = a[i + 1].kind;
            ++i;
        } else if (year || (minus && IsYearDigits(text, atom))) {
            // Two or more atoms of year digits, then the year unit: one year.
            size_t j = i;
            while (j + 1 < a.size() && IsYearDigits(text, a[j + 1]))
                ++j;
            int unitLength = 0;
            const int unitClass = j + 1 < a.size() && a[j + 1].end - a[j + 1].start == 2
                                      ? ClassAt(text, a[j + 1].start, &unitLength)
                                      : -1;
            if (j > i && unitClass == kClassYear) {
                atom.end = a[j + 1].end;
                atom.wordId = ids.unknownTime;
                i = j + 1;
            }
        }
        a[out++] = atom;
    }
    a.resize(out);
}

bool CPreProcess::IsExpanded(const TokenRecord& atom) const
{
    if (IsPunctuationClass(atom.kind))
        return false;
    if (IsSpecial(atom.wordId, ids.unknownTime) || IsSpecial(atom.wordId, ids.unknownString))
        return false;
    return !(IsSpecial(atom.wordId, ids.unknownNumber) && atom.kind != kKindNumber);
}

const char* CPreProcess::BuildLattice(const char* text)
{
    const char* next = SplitAtoms(text);

    // An empty text still gets the two-slot lattice of its markers, so that the
    // lattice always belongs to the atoms just made.
    const int sentenceLength = atoms.back().start;
    slotCount = sentenceLength + 2;
    candidates.clear();
    // Grown, never shrunk (a resize up would clear the new part once more),
    // and cleared over this sentence's slots; LinkSlots sets the atoms' slots.
    if (slotSizes.size() < static_cast<size_t>(slotCount)) {
        slotSizes.resize(static_cast<size_t>(slotCount));
        lattice.resize(static_cast<size_t>(slotCount));
    }
    std::memset(slotSizes.data(), 0, static_cast<size_t>(slotCount) * sizeof(int32_t));
    std::fill(lattice.begin(), lattice.begin() + slotCount, nullptr);

    // The sentence's characters as dictionary codes, converted once for all the
    // walks that pass them; walks stop at the sentence end, beyond which no
    // candidate may reach.
    // The three arrays are grown, never shrunk, and written through pointers:
    // a sentence has at most one character a byte.
    const size_t byteCount = static_cast<size_t>(sentenceLength) + 1;
    if (charAt.size() < byteCount) {
        charAt.resize(byteCount);
        charStarts.resize(byteCount);
        charCodes.resize(byteCount);
    }
    std::memset(charAt.data(), 0xFF, byteCount * sizeof(int32_t)); // -1 everywhere
    int32_t* const starts = charStarts.data();
    int32_t* const codes = charCodes.data();
    int charCount = 0;
    for (int p = 0; p < sentenceLength; ++charCount) {
        int key;
        const int n = NextCharKey(text + p, &key);
        charAt[static_cast<size_t>(p)] = charCount;
        starts[charCount] = p;
        codes[charCount] = coreDict->GetCode(key);
        p += n > 0 ? n : 1;
    }
    starts[charCount] = sentenceLength;

    candidates.push_back(atoms.front());
    slotSizes[0] = 1;
    for (int i = 1; i + 1 < atomCount; ++i) {
        const TokenRecord& atom = atoms[static_cast<size_t>(i)];
        const int s = atom.start;
        candidates.push_back(atom);
        int size = 1;
        if (IsExpanded(atom)) {
            // Longer dictionary words beginning at the atom, shortest first. No
            // sound dictionary has this many words begin at one place; a crafted
            // one (a, aa, aaa, ...) would make a sentence's search cubic.
            const auto add = [&](int end, int32_t value) {
                if (end <= atom.end)
                    return true;
                if (size > kMaxWordsPerSlot || end > sentenceLength)
                    return false;
                TokenRecord word;
                word.wordId = value;
                word.start = s;
                word.end = end;
                word.kind = atom.kind;
                candidates.push_back(word);
                ++size;
                return true;
            };
            const int first = charAt[static_cast<size_t>(s)];
            if (first >= 0) {
                // The walks a few characters on, asked for ahead of time.
                if (first + CPDAT::kAheadFar + 1 < charCount)
                    coreDict->PrefetchWalk(&charCodes[static_cast<size_t>(first + CPDAT::kAheadFar)], 2);
                if (first + CPDAT::kAheadNear + 2 < charCount)
                    coreDict->PrefetchWalk(&charCodes[static_cast<size_t>(first + CPDAT::kAheadNear)], 3);
                coreDict->WalkCodes(&charCodes[static_cast<size_t>(first)], charCount - first,
                                    [&](int chars, int32_t value) {
                                        return add(charStarts[static_cast<size_t>(first + chars)], value);
                                    });
            } else {
                // An atom not starting where the characters above do (no rule
                // makes one): the walk over the text itself.
                coreDict->AllPrefixMatches(text + s, matchIds, matchLengths, 0);
                for (size_t m = 0; m < matchLengths.size() && add(s + matchLengths[m], matchIds[m]); ++m) {
                }
            }
        }
        slotSizes[static_cast<size_t>(s + 1)] = size;
    }
    candidates.push_back(atoms.back());
    slotSizes[static_cast<size_t>(slotCount - 1)] = 1;

    // Only now is the candidate array complete; slots are filled in slot order.
    LinkSlots(0, 0);
    latticeOfAtoms = true;
    return next;
}

void CPreProcess::LinkSlots(int from, size_t offset)
{
    // Only the atoms' slots hold candidates, in atom order: the begin marker's
    // slot 0, slot start + 1 of every other atom, the end marker's last slot.
    // The slots between stay null as BuildLattice left them.
    TokenRecord* slot = candidates.data() + offset;
    if (from == 0) {
        lattice[0] = slot;
        slot += slotSizes[0];
        from = 1;
    }
    const TokenRecord* a = atoms.data();
    for (int i = from; i + 1 < atomCount; ++i) {
        const size_t s = static_cast<size_t>(a[i].start) + 1;
        lattice[s] = slot;
        slot += slotSizes[s];
    }
    lattice[static_cast<size_t>(slotCount - 1)] = slot;
}

void CPreProcess::AddCandidates(const std::vector<TokenRecord>& extra)
{
    // The slots are found through the atoms: after a SplitAtoms of its own the
    // lattice is no longer theirs.
    if (extra.empty() || slotCount < 2 || !latticeOfAtoms)
        return;
    const int sentenceLength = slotCount - 2;
    // First the words each slot gains, checked against the candidates it has;
    // then every run of candidates between two gaining slots moves up once,
    // from the last run back. The candidates before the first gaining slot,
    // and their slot pointers, stay as they are.
    gained.clear();
    gains.clear();
    size_t e = 0;
    while (e < extra.size()) {
        // Extras in slot order: a candidate starting at byte b lies in slot b + 1;
        // one out of order (behind its slot) is passed over.
        const int s = std::max(extra[e].start + 1, 0);
        if (s >= slotCount)
            break;
        const int size = slotSizes[static_cast<size_t>(s)];
        const TokenRecord* slot = lattice[static_cast<size_t>(s)];
        const size_t firstGained = gained.size();
        while (e < extra.size() && extra[e].start + 1 <= s) {
            const TokenRecord& c = extra[e++];
            // A word begins inside the sentence: slot 0 is the begin marker's.
            if (c.start < 0 || c.start + 1 != s || size == 0 || c.end <= c.start || c.end > sentenceLength ||
                (c.end < sentenceLength && slotSizes[static_cast<size_t>(c.end + 1)] == 0))
                continue;
            bool repeated = false;
            for (int k = 0; k < size && !repeated; ++k)
                repeated = slot[k].end == c.end;
            for (size_t k = firstGained; k < gained.size() && !repeated; ++k)
                repeated = gained[k].end == c.end;
            if (!repeated)
                gained.push_back(c);
        }
        if (gained.size() > firstGained)
            gains.push_back({s, gained.size() - firstGained,
                             static_cast<size_t>(slot - candidates.data()) + static_cast<size_t>(size)});
    }
    if (gained.empty())
        return;

    static_assert(std::is_trivially_copyable<TokenRecord>::value, "candidates are moved as bytes");
    const size_t before = candidates.size();
    const TokenRecord* const oldData = candidates.data();
    candidates.resize(before + gained.size());
    TokenRecord* const c = candidates.data();
    size_t runEnd = before;        // the run [gain end, runEnd) moves up by shift
    size_t shift = gained.size();  // words gained by this slot and those after it
    for (size_t g = gains.size(); g-- > 0;) {
        const Gain& gain = gains[g];
        std::memmove(c + gain.end + shift, c + gain.end, (runEnd - gain.end) * sizeof(TokenRecord));
        shift -= gain.count;
        std::memcpy(c + gain.end + shift, gained.data() + shift, gain.count * sizeof(TokenRecord));
        slotSizes[static_cast<size_t>(gain.slot)] += static_cast<int32_t>(gain.count);
        runEnd = gain.end;
    }

    // The pointers from the first gaining slot on (all of them if the array
    // moved); the slot is that of the atom starting at byte slot - 1.
    const int first = gains.front().slot;
    if (c != oldData || first == 0) {
        LinkSlots(0, 0);
        return;
    }
    const auto atom = std::lower_bound(atoms.begin() + 1, atoms.begin() + (atomCount - 1), first - 1,
                                       [](const TokenRecord& a, int start) { return a.start < start; });
    LinkSlots(static_cast<int>(atom - atoms.begin()),
              static_cast<size_t>(lattice[static_cast<size_t>(first)] - candidates.data()));
}
