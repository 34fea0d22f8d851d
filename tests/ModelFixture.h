#ifndef MORV_TESTS_MODELFIXTURE_H
#define MORV_TESTS_MODELFIXTURE_H

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Writes a small but complete engine base directory: Configure.xml and a data
// directory with every model file. Word ids are positions in `words`.
struct ModelFixture {
    std::string base;
    std::string configure = "<DataPath>Data</DataPath><TagSet>tags.txt</TagSet><Log>on</Log>";
    std::vector<std::string> words;               // GB2312; the special words come first
    std::map<int, uint8_t> classes;               // character key -> class
    std::map<int, int32_t> frequencies;           // word id -> unigram frequency (default 10)
    std::map<std::pair<int, int>, int32_t> pairs; // bigram counts
    std::vector<std::string> tags;                // tag names by code
    // Role lexicon entries (word id -> (role, frequency) list) and the name
    // automaton as raw file bytes; empty means none.
    std::map<int, std::vector<std::pair<uint8_t, int32_t>>> roles;
    std::string fsa;

    explicit ModelFixture(std::string baseDir);
    // Id of a word of `words`, -1 when absent.
    int Id(const std::string& word) const;
    // Writes everything; `skip` names one data file to leave out.
    void Write(const std::string& skip = "") const;
};

// Little-endian binary writer helpers.
void AppendInt(std::string& out, int32_t v);

#endif
