#ifndef MORV_TRAINER_MODELWRITER_H
#define MORV_TRAINER_MODELWRITER_H

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Writers for the engine's binary model files (little-endian int32 fields).
// Every file is written to a temporary file beside its target, flushed to disk
// and renamed over the target only when complete, so that a model file is never
// seen half written. While a Batch is open the renames wait for its Commit: the
// files of one training run replace the previous ones together or not at all.
class ModelWriter {
public:
    // The model files of one run. Files written while it is open go to their
    // temporary names; Commit renames them all over their targets. A batch
    // destroyed without Commit removes its temporary files, leaving every target
    // as it was. One batch at a time.
    class Batch {
    public:
        Batch();
        virtual ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;
        // Renames every file written into place; false (with a message on stderr)
        // when one cannot be.
        bool Commit();

    private:
        friend class ModelWriter;
        std::vector<std::pair<std::string, std::string>> files; // target, temporary
        bool committed = false;
    };

    // The path to write `target` to: inside an open batch its temporary file
    // (for writers of their own, such as CPDAT::Save), else the target itself.
    static std::string Target(const std::string& target);
    // Where the newest contents of `target` are: its temporary file when the
    // open batch has written it, else the target itself.
    static std::string Staged(const std::string& target);
    // The files a training run writes or replaces below its output directory.
    static const std::vector<std::string>& RunFiles();
    // Whether writing the output directory `dir` would replace the file at
    // `path`: `dir` is that file, or one of RunFiles() below `dir` is (the same
    // device and inode, so other spellings of the path and links count too).
    static bool WouldReplace(const std::string& dir, const std::string& path);

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
    static std::string TemporaryName(const std::string& target);

    static Batch* openBatch;
};

#endif
