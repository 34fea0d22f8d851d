#ifndef MORV_CUSERWORDLIST_H
#define MORV_CUSERWORDLIST_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Words to add at run time, in the order given: text (GBK), frequency and tag
// of each, the texts back to back. A list of a million words costs about its
// bytes plus nine per word, where a vector of strings would cost forty.
class CUserWordList {
public:
    CUserWordList() = default;
    virtual ~CUserWordList() = default;

    // Throws std::bad_alloc once the texts would pass 4 GiB.
    void Add(std::string_view text, int32_t frequency, uint8_t tag);
    // Room for that many words and text bytes, so that a large list is not
    // copied as it grows.
    void Reserve(size_t words, size_t textBytes);
    // Appends other's words after these and empties other.
    void Append(CUserWordList&& other);
    void Clear();

    size_t Count() const { return frequencies.size(); }
    bool Empty() const { return frequencies.empty(); }
    std::string_view Text(size_t i) const
    {
        const uint32_t from = i == 0 ? 0 : ends[i - 1];
        return std::string_view(bytes.data() + from, ends[i] - from);
    }
    int32_t Frequency(size_t i) const { return frequencies[i]; }
    uint8_t Tag(size_t i) const { return tags[i]; }

private:
    std::string bytes;
    std::vector<uint32_t> ends; // end of word i in bytes
    std::vector<int32_t> frequencies;
    std::vector<uint8_t> tags;
};

#endif
