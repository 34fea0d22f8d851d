#include "tagging/CNameMemory.h"

#include <algorithm>

void CNameMemory::Note(const char* name, int bytes, int split, uint8_t tag, bool common)
{
    if (name == nullptr || bytes <= 0 || bytes > kMaxBytes || split >= bytes)
        return;
    ++clock;
    const std::string text(name, static_cast<size_t>(bytes));
    auto it = std::find_if(entries.begin(), entries.end(), [&text](const Entry& e) { return e.text == text; });
    if (it == entries.end()) {
        if (entries.size() >= capacity) {
            // Full: the name seen least recently makes room.
            it = std::min_element(entries.begin(), entries.end(),
                                  [](const Entry& a, const Entry& b) { return a.lastSeen < b.lastSeen; });
            *it = Entry();
        } else {
            it = entries.insert(entries.end(), Entry());
        }
        it->text = text;
    }
    // The latest reading of the name's shape is the one offered.
    it->split = split;
    it->tag = tag;
    it->common = it->common || common;
    ++it->sightings;
    it->lastSeen = clock;
}
