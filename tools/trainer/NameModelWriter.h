#ifndef MORV_TRAINER_NAMEMODELWRITER_H
#define MORV_TRAINER_NAMEMODELWRITER_H

#include <cstdint>
#include <string>
#include <vector>

// Writes the person-name model PersonName.nm (data/personname.md; the engine
// reads it with CNameModel). Weights are already quantised: a weight times
// `scale` is a score.
class NameModelWriter {
public:
    struct Image {
        int classCount = 0;
        std::vector<uint8_t> classes; // 65536
        std::vector<uint16_t> charKeys;
        float scale = 1;
        std::vector<int32_t> transitions; // labels x labels
        std::vector<int16_t> unigram;     // (chars + reserved rows) x offsets x labels
        std::vector<int16_t> classTrigram;
        std::vector<uint32_t> pairKeys;
        std::vector<int16_t> pairWeights;
        std::vector<int16_t> lexWeights;
        std::vector<uint64_t> lexKeys; // strictly increasing
        std::vector<uint8_t> lexClasses;
        std::vector<uint8_t> lexContexts;
        std::vector<int16_t> contextWeights;
    };

    // The file's bytes; empty when the image's arrays do not fit its counts.
    static std::string Serialize(const Image& image);
    // Serialize, then written through ModelWriter (atomically, in the run's batch).
    static bool Write(const std::string& path, const Image& image);
};

#endif
