#ifndef MORV_CPREPROCESS_H
#define MORV_CPREPROCESS_H

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "segment/SpecialWords.h"
#include "segment/TokenRecord.h"

class CCharset;
class CPDAT;
class CUserWords;
class CWebText;

// Cuts the next sentence of a text into atoms by character class and builds its
// word lattice: slot s + 1 holds the candidates starting at byte s (the atom
// first, then longer core-dictionary words, shortest first).
class CPreProcess {
public:
    // charset and coreDict must outlive the object and must not be null; userDict
    // may be null (no user words). The special word ids are looked up here.
    CPreProcess(const CCharset* charset, const CPDAT* coreDict, const CPDAT* userDict);
    virtual ~CPreProcess() = default;

    // A sentence without an end (no sentence-ending mark, no line break) is cut
    // once it holds this many bytes, so that the per-sentence storage (some
    // kilobytes a character) stays bounded whatever the text: at its last
    // punctuation mark or blank in the second half, else where an atom ends.
    // Far above any sentence of ordinary text (the corpus's longest line has
    // about 2,000 bytes).
    static constexpr int kMaxSentenceBytes = 8192;

    // Fills atoms for the sentence at the start of text; returns where the next
    // sentence begins.
    const char* SplitAtoms(const char* text);
    // SplitAtoms, then the lattice of that sentence. Lattice pointers stay valid
    // until the next call.
    const char* BuildLattice(const char* text);
    bool SetUserDict(const CPDAT* dict);
    // Adds candidates to the lattice of the last BuildLattice, each after the
    // candidates of its slot (their order among themselves kept). A candidate
    // that does not begin where an atom begins, or does not end where one ends,
    // or repeats the span of a candidate of its slot, is left out.
    void AddCandidates(const std::vector<TokenRecord>& extra);
    // Words added at run time (may be null); where one of them and a word of the
    // user dictionary both begin, the longer wins, the run-time word on a tie.
    void SetUserWords(const CUserWords* words) { userWords = words; }
    // With the new stages: a minus sign before a number joins it ("-5", "－5"),
    // and a year written in mixed digits and numerals ("二００一年") is one atom.
    void SetJoinNumbers(bool on) { joinNumbers = on; }
    // With the new stages: the atoms of web text (addresses, URLs, mentions,
    // topics, identifiers, katakana, "..." and "~~~") are one atom each, with
    // the rules' tag as their fixed tag, and a digit or letter run does not
    // take the first dot of "..." in. Null: the character classes alone. The
    // rules must outlive the object.
    void SetWebText(const CWebText* rules) { webText = rules; }

    const std::vector<TokenRecord>& GetAtoms() const { return atoms; }
    // Every candidate of the lattice, slot after slot (the order of Segment's
    // per-candidate arrays).
    const std::vector<TokenRecord>& GetCandidates() const { return candidates; }
    int GetAtomCount() const { return atomCount; }
    TokenRecord* const* GetLattice() { return lattice.data(); }
    const int32_t* GetSlotSizes() const { return slotSizes.data(); }
    int GetSlotCount() const { return slotCount; }
    const SpecialWords& GetSpecialWords() const { return ids; }

private:
    // Rules of the first character's class; may set *stop.
    void ApplyClassRule(const char* text, TokenRecord& atom, int cls, int key, bool* stop);
    void ScanDigitRun(const char* text, TokenRecord& atom, int firstClass);
    void ScanNumeralRun(const char* text, TokenRecord& atom, int firstClass);
    void ScanApproximateRun(const char* text, TokenRecord& atom);
    // A number atom takes in a following date, time or year unit.
    void TakeUnit(const char* text, TokenRecord& atom);
    // Class of the character at text + position (-1 at the NUL); its byte length in *length.
    int ClassAt(const char* text, int position, int* length) const;
    bool IsExpanded(const TokenRecord& atom) const;
    // Where a sentence that reached kMaxSentenceBytes at p ends; drops the atoms after it.
    int CutLongSentence(const char* text, int p);
    void JoinNumbers(const char* text);
    bool IsYearDigits(const char* text, const TokenRecord& atom) const;
    // Whether JoinNumbers could change an atom whose first character has this
    // key and class: a minus sign or a character a year is written with.
    bool MayJoin(int key, int cls) const;
    // Index of the first atom for which MayJoin held (atoms before it are
    // left as they are by JoinNumbers); SIZE_MAX when none did.
    size_t firstJoinable = SIZE_MAX;
    // Notes the atom at index as the first joinable one if it is; from the key
    // and class of its first character, or from the character itself.
    void NoteJoinable(size_t index, int key, int cls)
    {
        if (joinNumbers && firstJoinable == SIZE_MAX && MayJoin(key, cls))
            firstJoinable = index;
    }
    void NoteJoinable(size_t index, const char* character);
    // Whether the run punctuation at text + position (length bytes) joins the
    // run it follows (a slash only with a character of a run after it).
    bool MarkJoinsRun(const char* text, int position, int length) const;
    // The web-text atom at text + p, if any; true when it was added.
    bool AddWebTextAtom(const char* text, int p);
    bool joinNumbers = false;
    const CWebText* webText = nullptr;

    const CCharset* charset;
    const CPDAT* coreDict;
    const CPDAT* userDict;
    const CUserWords* userWords = nullptr;
    SpecialWords ids;
    // The two-byte keys of the year numerals (one table for the process).
    const std::bitset<65536>* yearKeys;

    // Quotation-mark states; reset at the start of every sentence.
    bool doubleQuoteOpen = false;
    bool singleQuoteOpen = false;

    // Per-sentence storage. Cleared, never shrunk, so that after the first long
    // sentences no call allocates.
    std::vector<TokenRecord> atoms; // markers included; size() == atomCount
    int atomCount = 0;
    // Lattice storage: all candidates of the sentence in one array, slot pointers into it.
    std::vector<TokenRecord> candidates;
    std::vector<TokenRecord*> lattice;
    std::vector<int32_t> slotSizes;
    int slotCount = 0;
    bool latticeOfAtoms = false; // the lattice is that of the atoms held
    // The sentence's characters: byte offsets (and the sentence end), dictionary
    // codes, and the character index at each byte offset where one starts.
    std::vector<int32_t> charStarts;
    std::vector<int32_t> charCodes;
    std::vector<int32_t> charAt; // -1 where no character starts
    std::vector<int> matchIds;
    std::vector<int> matchLengths;
    // AddCandidates: the words the slots gain, slot after slot, and per
    // gaining slot how many and where its candidates ended before.
    struct Gain {
        int slot;
        size_t count;
        size_t end;
    };
    std::vector<TokenRecord> gained;
    std::vector<Gain> gains;
    // Points the slots of atoms [from, atomCount) at their candidates, the
    // first of them at candidates[offset]; the other slots are left as they are.
    void LinkSlots(int from, size_t offset);
};

#endif
