#include "lexicon/WordList.h"

#include <cstring>
#include <vector>

namespace {

void Fields(const char* line, size_t size, std::vector<std::string>& fields)
{
    fields.clear();
    size_t i = 0;
    while (i < size) {
        while (i < size && WordList::IsBlank(line[i]))
            ++i;
        size_t j = i;
        while (j < size && !WordList::IsBlank(line[j]))
            ++j;
        if (j > i)
            fields.emplace_back(line + i, j - i);
        i = j;
    }
}

} // namespace

size_t WordList::BodyStart(const char* data, size_t size)
{
    return data != nullptr && size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
}

bool WordList::ParseFrequency(const std::string& field, long long* value)
{
    if (field.empty() || field.size() > 12)
        return false;
    long long v = 0;
    for (char c : field) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    *value = v;
    return true;
}

Status WordList::Parse(const char* data, size_t size, const std::string& name, const Take& take)
{
    std::vector<std::string> fields;
    size_t lineNo = 0;
    for (size_t pos = BodyStart(data, size); pos < size;) {
        const void* newline = std::memchr(data + pos, '\n', size - pos);
        const size_t end = newline != nullptr ? static_cast<size_t>(static_cast<const char*>(newline) - data) : size;
        Fields(data + pos, end - pos, fields);
        pos = end + 1;
        ++lineNo;
        if (fields.empty())
            continue;
        Entry entry;
        entry.where = name + ":" + std::to_string(lineNo) + ": ";
        if (fields.size() > 3)
            return Status(Status::kList, entry.where + "more than three fields (expected: word [frequency] [tag])");
        entry.word = fields[0];
        if (fields.size() == 3) {
            // word frequency tag, or word tag frequency.
            if (ParseFrequency(fields[1], &entry.frequency))
                entry.tag = fields[2];
            else if (ParseFrequency(fields[2], &entry.frequency))
                entry.tag = fields[1];
            else
                return Status(Status::kList,
                              entry.where + "neither '" + fields[1] + "' nor '" + fields[2] + "' is a frequency");
        } else if (fields.size() == 2 && !ParseFrequency(fields[1], &entry.frequency)) {
            entry.tag = fields[1];
        }
        const Status taken = take(entry);
        if (!taken.Ok())
            return taken.Within(entry.where);
    }
    return Status();
}

size_t WordList::EntryBound(const char* data, size_t size)
{
    size_t lines = 0;
    bool blank = true;
    for (size_t i = BodyStart(data, size); i < size; ++i) {
        if (data[i] == '\n') {
            lines += !blank;
            blank = true;
        } else if (!IsBlank(data[i])) {
            blank = false;
        }
    }
    return lines + !blank;
}
