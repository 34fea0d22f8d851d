#ifndef MORV_WORDLIST_H
#define MORV_WORDLIST_H

#include <cstddef>
#include <functional>
#include <string>

#include "lexicon/Status.h"

// The user word list: one word a line, as `word`, `word frequency`, `word tag`,
// `word frequency tag` or `word tag frequency`, fields separated by blanks; empty
// lines are skipped and a UTF-8 byte-order mark at the start is passed over.
// The list reads fields only: what a word's bytes mean and which tags there are
// is the caller's, through the function it gives for every entry.
class WordList {
public:
    struct Entry {
        std::string word;       // the first field's bytes, as the list holds them
        long long frequency = -1; // -1: none given
        std::string tag;        // empty: none given
        std::string where;      // "name:line: ", for messages about the line
    };
    // Takes one entry; a failure ends the list, reported at the entry's line.
    using Take = std::function<Status(const Entry&)>;

    // Where the words of data begin: after a UTF-8 byte-order mark, if any.
    static size_t BodyStart(const char* data, size_t size);
    // Reads data (size bytes) of the list called name and hands every entry to
    // take. The first line that is no entry, or that take refuses, ends the
    // reading: its status, with "name:line: " before the reason.
    static Status Parse(const char* data, size_t size, const std::string& name, const Take& take);
    // At most how many entries data holds: its lines with something on them
    // (for a caller that sizes its store once).
    static size_t EntryBound(const char* data, size_t size);
    // Whether c separates fields: a blank other than the line break.
    static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
    // Whether field is a frequency: one to twelve decimal digits.
    static bool ParseFrequency(const std::string& field, long long* value);
};

#endif
