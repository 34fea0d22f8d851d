#ifndef MORV_TRAINER_CHARMODELWRITER_H
#define MORV_TRAINER_CHARMODELWRITER_H

#include <cstdint>
#include <string>
#include <vector>

// Writes the new-word model NewWord.cm (data/newword.md; the engine reads it
// with CCharModel). Weights are already quantised: a weight times `scale` is a
// score.
class CharModelWriter {
public:
    struct Image {
        int classCount = 0;
        float scale = 1;
        int32_t transitions[16] = {};   // previous label x label
        std::vector<uint8_t> classes;   // 65536 character keys
        std::vector<uint16_t> charKeys; // ascending; unigram row 3 + i
        std::vector<int16_t> unigram;   // (charKeys + 3) x 20
        std::vector<int16_t> classTrigram; // classCount^3 x 4
        std::vector<int16_t> repeat;    // 8
        std::vector<uint32_t> pairKeys; // ascending (row a << 16 | row b)
        std::vector<int16_t> pairWeights; // pairKeys x 16
        std::vector<uint32_t> skipKeys;
        std::vector<int16_t> skipWeights; // skipKeys x 4
    };

    // The file's bytes; empty when the image's arrays do not fit its counts.
    static std::string Serialize(const Image& image);
    // Serialize, then WriteAtomically.
    static bool Write(const std::string& path, const Image& image);
    // Writes a temporary file in the target's directory, flushes it to disk and
    // renames it over path, so that a reader sees the old file or the new one,
    // never a part; a failure leaves the old file as it was.
    static bool WriteAtomically(const std::string& path, const std::string& bytes);
};

#endif
