#include "tagging/CTagTransitions.h"

#include <cmath>
#include <cstring>

#include "lexicon/BinaryFile.h"

namespace {

// The smoothing constants, as doubles: the arithmetic below widens them to long
// double, so their values are those of the double literals, not of 0.1L etc.
const double kFirstWeight = 0.1;
const double kSecondWeight = 0.9;
const double kScale = 0.99999;
const double kFloor = 0.00001;
const size_t kNameBytes = 100;

} // namespace

CTagTransitions::CTagTransitions()
    : logFloor(std::log(static_cast<double>(static_cast<long double>(kFloor))))
{
    logTable.assign(kRowWidth, logFloor);
}

bool CTagTransitions::Load(const char* path, bool withNames)
{
    BinaryFile file(path, "rb");
    if (!file.IsOpen())
        return false;

    uint8_t n = 0;
    if (file.Read(&n, 1) != 1)
        return false;
    const size_t width = n;
    // N fixes the length of the whole file. A file of any other length (an empty
    // one, a cut one, one with or without the names block against the caller's
    // word, another model file) cannot be the statistics of N tags.
    const int64_t needed = (withNames ? int64_t(kNameBytes) * n : 0) + 4 + 4 * int64_t(n) +
                           4 * int64_t(n) * n;
    if (file.Remaining() != needed)
        return false;

    std::vector<std::string> newNames;
    if (withNames) {
        newNames.reserve(width);
        for (size_t i = 0; i < width; ++i) {
            char buffer[kNameBytes + 1] = {};
            file.Read(buffer, kNameBytes);
            newNames.emplace_back(buffer, strnlen(buffer, kNameBytes));
        }
    }
    int32_t newTotal = 0;
    file.Read(&newTotal, sizeof newTotal);
    std::vector<int32_t> newFrequencies(width, 0);
    file.Read(newFrequencies.data(), width * sizeof(int32_t));
    std::vector<int32_t> newCounts(width * width, 0);
    file.Read(newCounts.data(), newCounts.size() * sizeof(int32_t));

    tagCount = n;
    total = newTotal;
    names.swap(newNames);
    frequencies.swap(newFrequencies);
    counts.swap(newCounts);

    // Rows of every code a byte can hold, and a last row for the codes outside
    // the inventory, all padded with the floor: a lookup needs no range check.
    logTable.assign((width + 1) * kRowWidth, logFloor);
    for (unsigned p = 0; p < width; ++p)
        for (unsigned q = 0; q < width; ++q)
            logTable[p * kRowWidth + q] = std::log(static_cast<double>(Compute(p, q)));
    return true;
}

int CTagTransitions::TagFrequency(int tag) const
{
    const unsigned code = static_cast<uint8_t>(tag);
    if (code >= tagCount)
        return 0;
    return frequencies[code];
}

long double CTagTransitions::TransitionProbability(int prevTag, int tag) const
{
    const unsigned p = static_cast<uint8_t>(prevTag);
    const unsigned q = static_cast<uint8_t>(tag);
    if (p >= tagCount || q >= tagCount)
        return kFloor;
    return Compute(p, q);
}

long double CTagTransitions::Compute(unsigned prevTag, unsigned tag) const
{
    const int32_t f = frequencies[prevTag];
    const int32_t c = counts[prevTag * tagCount + tag];
    // Counts are never negative in a sound file; a negative one is treated like an
    // unseen pair rather than turned into a negative probability.
    if (f <= 0 || c <= 0)
        return kFloor;
    long double first = static_cast<long double>(kFirstWeight) * f;
    // A total of 0 (or less) leaves the share of the preceding tag undefined; the
    // pair's own term still counts.
    if (total > 0)
        first = first / total;
    else
        first = 0.0L;
    long double second = static_cast<long double>(kSecondWeight) * c;
    second = second / f;
    long double sum = first + second;
    sum = sum * static_cast<long double>(kScale);
    return sum + static_cast<long double>(kFloor);
}
