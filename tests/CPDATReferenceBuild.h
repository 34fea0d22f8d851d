#ifndef MORV_TESTS_CPDATREFERENCEBUILD_H
#define MORV_TESTS_CPDATREFERENCEBUILD_H

#include <cstdint>
#include <string>
#include <vector>

#include "lexicon/CPDAT.h"

// A deliberately plain build of the dictionary layout, step by step as the layout
// is defined: offsets searched from 1 for every node, the node with the most
// children picked by scanning the work list. Quadratic; for tests only, where it
// checks the fast build in CPDAT byte for byte.
struct ReferenceTrie {
    std::vector<int32_t> codeTable;
    std::vector<CPDAT::Entry> entries;
    int32_t capacity = 0;
    int32_t highestIndex = 0;
    int32_t wordCount = 0;

    // The .pdat image that CPDAT::Save writes for this trie.
    std::string FileImage() const;
};

// Returns the number of words taken, 0 (and `out` untouched) when the list
// cannot be opened.
int ReferenceBuild(const char* path, const CPDAT* exclude, ReferenceTrie& out);

#endif
