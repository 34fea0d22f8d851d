#ifndef MORV_TRAINER_POSMODELWRITER_H
#define MORV_TRAINER_POSMODELWRITER_H

#include <cstdint>
#include <string>
#include <vector>

#include "tagging/CPosModel.h"

// Writes the part-of-speech model NewPos.pm (data/newpos.md; the engine reads
// it with CPosModel). Weights are already quantised: a weight times `scale` is
// a score.
class PosModelWriter {
public:
    struct Image {
        float scale = 1;
        std::vector<uint8_t> tagCodes;    // K tag codes of the model's tags
        std::vector<uint8_t> openTags;    // model tags a word without lexicon entries may take
        // (tag, extra candidate) of model tags, rising: a word whose lexicon lists
        // the first tag may also take the second.
        std::vector<std::pair<uint8_t, uint8_t>> expansions;
        std::vector<int16_t> transitions; // K x K: previous tag x tag
        uint32_t wordCount = 0;           // word ids with rows in each word template
        // Rising word ids whose word row is their identity alone (class words);
        // every other word's row holds the sum of all its own features.
        std::vector<uint32_t> unfoldedWords;
        std::vector<uint16_t> charKeys;   // ascending; rows of each character template
        std::vector<uint32_t> hashedKeys[CPosModel::kHashedTemplates]; // each ascending
        std::vector<uint32_t> rowStarts;  // one per row and one past the last (the file holds the lengths)
        std::vector<uint8_t> entryTags;   // model tags, rising within a row
        std::vector<int16_t> entryWeights;
    };

    // The file's bytes; empty when the image's arrays do not fit its counts.
    static std::string Serialize(const Image& image);
    // Serialize, then written through ModelWriter (atomically, in the run's batch).
    static bool Write(const std::string& path, const Image& image);
};

#endif
