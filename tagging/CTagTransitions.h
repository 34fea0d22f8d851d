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
    CTagTransitions() = default;
    virtual ~CTagTransitions() = default;

    bool Load(const char* path, bool withNames);
    int TagFrequency(int tag) const;
    long double TransitionProbability(int prevTag, int tag) const;
    int GetTagCount() const { return tagCount; }
    const std::vector<std::string>& GetNames() const { return names; }

private:
    uint8_t tagCount = 0;
    int32_t total = 0;
    std::vector<std::string> names;
    std::vector<int32_t> frequencies;
    std::vector<int32_t> counts; // tagCount x tagCount, row-major
};

#endif
