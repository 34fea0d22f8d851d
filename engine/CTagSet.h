#ifndef MORV_CTAGSET_H
#define MORV_CTAGSET_H

#include <cstdint>
#include <string>
#include <vector>

// Tag names by code: the code is the position of the name in the tag-set file
// (one name, the first word of each non-blank line).
class CTagSet {
public:
    CTagSet() = default;
    virtual ~CTagSet() = default;

    // False when the file cannot be opened, holds no name or is not text (has a
    // NUL byte); the table held before then stays.
    bool Load(const char* path);
    // nullptr when no table is loaded or code is not below GetCount().
    const char* GetName(int code) const;
    int GetCount() const { return count; }
    // Code of the first name equal to name; -1 when there is none.
    int Code(const std::string& name) const;
    // Sets closed[code] for the tags a word a user adds without a tag of its
    // own may not get: function words, pronouns, numerals, measure words,
    // affixes, morphemes and signs, closed classes a user does not add to (the
    // new-word class's tags include them, for the odd new word the corpus has).
    // Names and content words stay open.
    void MarkClosedClasses(bool (&closed)[256]) const;

private:
    std::vector<std::string> names;
    uint8_t count = 0;
    bool loaded = false;
};

#endif
