#include "lexicon/CUserWordList.h"

#include <new>

void CUserWordList::Add(std::string_view text, int32_t frequency, uint8_t tag)
{
    if (text.size() > UINT32_MAX - bytes.size())
        throw std::bad_alloc();
    bytes.append(text.data(), text.size());
    ends.push_back(static_cast<uint32_t>(bytes.size()));
    frequencies.push_back(frequency);
    tags.push_back(tag);
}

void CUserWordList::Reserve(size_t words, size_t textBytes)
{
    bytes.reserve(textBytes);
    ends.reserve(words);
    frequencies.reserve(words);
    tags.reserve(words);
}

void CUserWordList::Append(CUserWordList&& other)
{
    if (Empty()) {
        bytes.swap(other.bytes);
        ends.swap(other.ends);
        frequencies.swap(other.frequencies);
        tags.swap(other.tags);
    } else {
        for (size_t i = 0; i < other.Count(); ++i)
            Add(other.Text(i), other.Frequency(i), other.Tag(i));
    }
    other.Clear();
}

void CUserWordList::Clear()
{
    // Released, not kept: a list of a million words is not held after its load.
    std::string().swap(bytes);
    std::vector<uint32_t>().swap(ends);
    std::vector<int32_t>().swap(frequencies);
    std::vector<uint8_t>().swap(tags);
}
