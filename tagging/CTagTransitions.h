#ifndef MORV_CTAGTRANSITIONS_H
#define MORV_CTAGTRANSITIONS_H

#include <cstdint>
#include <string>
#include <vector>

// Tag (or role) frequencies and tag-pair counts of one inventory (.ctx file):
// N (1 byte), optional names block (N x 100 bytes), total, N frequencies, N x N
// transition counts (row = preceding code).
class CTagTransitions {
public:
    CTagTransitions();
    virtual ~CTagTransitions() = default;

    // False when the file cannot be opened or is not exactly as long as its N
    // says (1 + 4 + 4N + 4N^2 bytes, plus 100N with names); the object then
    // keeps what it held.
    bool Load(const char* path, bool withNames);
    // Codes are taken as unsigned 8-bit values; 0 for a code >= N.
    int TagFrequency(int tag) const;
    long double TransitionProbability(int prevTag, int tag) const;
    // ln((double)TransitionProbability(prevTag, tag)), from a table filled at load
    // time; bit for bit the value the call itself would give.
    double LogTransition(int prevTag, int tag) const { return LogRow(prevTag)[static_cast<uint8_t>(tag)]; }
    // The row of LogTransition(prevTag, q) for every one-byte code q.
    const double* LogRow(int prevTag) const
    {
        const unsigned p = static_cast<uint8_t>(prevTag);
        return logTable.data() + (p < tagCount ? p : tagCount) * kRowWidth;
    }
    static constexpr unsigned kRowWidth = 256;
    int GetTagCount() const { return tagCount; }
    int GetTotal() const { return total; }
    const std::vector<std::string>& GetNames() const { return names; }

private:
    long double Compute(unsigned prevTag, unsigned tag) const;

    uint8_t tagCount = 0;
    int32_t total = 0;
    std::vector<std::string> names;
    std::vector<int32_t> frequencies;
    std::vector<int32_t> counts; // tagCount x tagCount, row-major
    std::vector<double> logTable; // (tagCount + 1) x kRowWidth, row-major, padded with logFloor
    double logFloor; // ln of the floor, for codes outside the inventory
};

#endif
