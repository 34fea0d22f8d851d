#ifndef MORV_TRAINER_MODELWRITER_H
#define MORV_TRAINER_MODELWRITER_H

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Writers for the engine's binary model files (little-endian int32 fields).
class ModelWriter {
public:
    // (tag or role code, frequency), in candidate order
    using LexiconEntries = std::vector<std::pair<uint8_t, int32_t>>;

    // CoreDict.unig: entryCount, lastIndex, totalFrequency, frequencies.
    static bool WriteUnigram(const std::string& path, const std::vector<int32_t>& frequencies);
    // BiWord.big: pairCount, rowCount, pairs (second, freq) sorted, rows (first, last).
    static bool WriteBigram(const std::string& path, int rowCount,
                            const std::map<std::pair<int32_t, int32_t>, int32_t>& pairs);
    // CoreDict.pos / nr.role: M, W, entries (tag byte, 3 zero bytes, freq), index.
    static bool WriteLexicon(const std::string& path, const std::vector<LexiconEntries>& words);
    // .ctx without names block: N, total, N frequencies, N x N counts (row = previous).
    static bool WriteContext(const std::string& path, int tagCount, const std::vector<int32_t>& frequencies,
                             const std::vector<int32_t>& counts);
    // nr.fsa: A, S, accepting flags, output codes, S x A transitions.
    static bool WriteAutomaton(const std::string& path, int symbolCount, const std::vector<int32_t>& accepting,
                               const std::vector<int32_t>& outputs, const std::vector<int32_t>& transitions);
    static bool WriteBytes(const std::string& path, const std::string& bytes);

    // Lexicon entries from counts (code -> frequency) in candidate order: most
    // frequent first, lower code on ties.
    static LexiconEntries SortedEntries(const std::map<int, int32_t>& counts);

private:
    static void Put(std::string& out, int32_t v);
};

#endif
