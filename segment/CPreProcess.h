#ifndef MORV_CPREPROCESS_H
#define MORV_CPREPROCESS_H

#include <cstdint>
#include <vector>

#include "segment/SpecialWords.h"
#include "segment/TokenRecord.h"

class CCharset;
class CPDAT;

// Cuts the next sentence of a text into atoms by character class and builds its
// word lattice: slot s + 1 holds the candidates starting at byte s (the atom
// first, then longer core-dictionary words, shortest first).
class CPreProcess {
public:
    CPreProcess(const CCharset* charset, const CPDAT* coreDict, const CPDAT* userDict);
    virtual ~CPreProcess() = default;

    // Fills atoms for the sentence at the start of text; returns where the next
    // sentence begins.
    const char* SplitAtoms(const char* text);
    const char* BuildLattice(const char* text);
    bool SetUserDict(const CPDAT* dict);

    const std::vector<TokenRecord>& GetAtoms() const { return atoms; }
    int GetAtomCount() const { return atomCount; }
    TokenRecord* const* GetLattice() { return lattice.data(); }
    const int32_t* GetSlotSizes() const { return slotSizes.data(); }
    int GetSlotCount() const { return slotCount; }
    const SpecialWords& GetSpecialWords() const { return ids; }

private:
    void ScanDigitRun(const char* text, TokenRecord& atom, int firstClass);
    void ScanNumeralRun(const char* text, TokenRecord& atom, int firstClass);
    void NumberFollowUp(const char* text, TokenRecord& atom);
    int ClassAt(const char* text, int position, int* length) const;

    const CCharset* charset;
    const CPDAT* coreDict;
    const CPDAT* userDict;
    SpecialWords ids;

    std::vector<TokenRecord> atoms;
    int atomCount = 0;
    // Lattice storage: all candidates of the sentence in one array, slot pointers into it.
    std::vector<TokenRecord> candidates;
    std::vector<TokenRecord*> lattice;
    std::vector<int32_t> slotSizes;
    int slotCount = 0;
    std::vector<int> matchIds;
    std::vector<int> matchLengths;
};

#endif
