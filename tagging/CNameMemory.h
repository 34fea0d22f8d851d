#ifndef MORV_CNAMEMEMORY_H
#define MORV_CNAMEMEMORY_H

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

// The person names one analysed text has shown with confidence, offered to
// its later sentences: an article names its people once in full and then
// again and again, often where a heavier word competes (王国栋 against 王国).
// The memory belongs to one analysis (one analyser, one thread) and is
// cleared when a text begins; it holds at most a fixed number of names, the
// least recently seen leaving first.
class CNameMemory {
public:
    // A remembered name: its bytes, where its surname ends (bytes from its
    // start; -1 for a name written as one word) and its tag code.
    struct Entry {
        std::string text;
        int split = -1;
        uint8_t tag = 0;
        // Confident sightings in the text so far.
        int sightings = 0;
        // The name is also a frequent word: it takes two sightings.
        bool common = false;
        uint64_t lastSeen = 0;
    };
    // A usable name found in a sentence: byte offsets, the surname's end
    // (-1: one word) and the tag.
    struct Occurrence {
        int start;
        int end;
        int split;
        uint8_t tag;
    };

    static constexpr size_t kCapacity = 128;
    // The longest name kept, in bytes (a transliteration of a dozen characters).
    static constexpr int kMaxBytes = 24;

    explicit CNameMemory(size_t capacity = kCapacity) : capacity(capacity == 0 ? 1 : capacity) {}
    virtual ~CNameMemory() = default;

    void Clear()
    {
        entries.clear();
        clock = 0;
    }
    // One confident sighting of name[0, bytes).
    void Note(const char* name, int bytes, int split, uint8_t tag, bool common);
    // The usable names in sentence[0, length), in order of their starts;
    // charStart(offset) says whether a character begins at a byte offset (so
    // that a match never starts or ends inside a character).
    template <class CharStart>
    void Find(const char* sentence, int length, CharStart charStart, std::vector<Occurrence>& out) const;

    bool Usable(const Entry& e) const { return e.sightings >= (e.common ? kCommonSightings : 1); }
    bool Empty() const { return entries.empty(); }
    size_t Size() const { return entries.size(); }
    const std::vector<Entry>& Entries() const { return entries; }

private:
    static constexpr int kCommonSightings = 2;
    size_t capacity;
    std::vector<Entry> entries;
    uint64_t clock = 0;
};

template <class CharStart>
void CNameMemory::Find(const char* sentence, int length, CharStart charStart, std::vector<Occurrence>& out) const
{
    out.clear();
    if (sentence == nullptr || length <= 0)
        return;
    const std::string_view text(sentence, static_cast<size_t>(length));
    for (const Entry& e : entries) {
        if (!Usable(e))
            continue;
        for (size_t at = text.find(e.text); at != std::string_view::npos; at = text.find(e.text, at + 1)) {
            const int start = static_cast<int>(at), end = start + static_cast<int>(e.text.size());
            if (charStart(start) && charStart(end))
                out.push_back(Occurrence{start, end, e.split < 0 ? -1 : start + e.split, e.tag});
        }
    }
    std::sort(out.begin(), out.end(), [](const Occurrence& a, const Occurrence& b) {
        return a.start != b.start ? a.start < b.start : a.end > b.end;
    });
}

#endif
