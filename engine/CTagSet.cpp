#include "engine/CTagSet.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

// The first whitespace-delimited word of a line, or empty.
std::string FirstWord(const std::string& line)
{
    size_t i = 0;
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
        ++i;
    size_t j = i;
    while (j < line.size() && !std::isspace(static_cast<unsigned char>(line[j])))
        ++j;
    return line.substr(i, j - i);
}

} // namespace

bool CTagSet::Load(const char* path)
{
    if (path == nullptr)
        return false;
    std::FILE* file = std::fopen(path, "rt");
    if (file == nullptr)
        return false;
    struct stat st {};
    if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fclose(file);
        return false;
    }
    // Lines are read whole, so a long line cannot spill into a name of its own.
    // Only the first 255 names take codes: tag codes are one byte and 255 means
    // "not tagged". A name is kept as written, whatever its length.
    std::vector<std::string> table;
    std::string line;
    int c;
    bool more = true;
    bool text = true;
    while (more) {
        line.clear();
        while ((c = std::fgetc(file)) != EOF && c != '\n') {
            // A tag set is text; a NUL byte means some binary file (a model
            // file copied over it) whose bytes would print as tag names.
            if (c == 0)
                text = false;
            line.push_back(static_cast<char>(c));
        }
        more = c != EOF;
        std::string word = FirstWord(line);
        if (!word.empty() && table.size() < 255)
            table.push_back(std::move(word));
    }
    std::fclose(file);
    // Without a single name every tag would print as none: such a file (an empty
    // one, blank lines only) cannot be the tag set of any model.
    if (!text || table.empty())
        return false;
    names.swap(table);
    count = static_cast<uint8_t>(names.size());
    loaded = true;
    return true;
}

const char* CTagSet::GetName(int code) const
{
    if (!loaded || code < 0 || code >= count)
        return nullptr;
    return names[static_cast<size_t>(code)].c_str();
}

int CTagSet::Code(const std::string& name) const
{
    for (int code = 0; loaded && code < count; ++code)
        if (names[static_cast<size_t>(code)] == name)
            return code;
    return -1;
}

void CTagSet::MarkClosedClasses(bool (&closed)[256]) const
{
    static const char* const kOpen[] = {"n",  "nr", "nr1", "nr2", "nrj", "nrf", "ns", "nsf", "nt",
                                        "nz", "nl", "nx",  "na",  "v",   "vn",  "vvn", "a", "an",
                                        "b",  "i",  "j",   "l",   "o",   "s",   "t",  "z"};
    for (int code = 0; code < GetCount() && code < 256; ++code) {
        const char* name = GetName(code);
        bool open = false;
        for (const char* o : kOpen)
            open = open || (name != nullptr && std::strcmp(name, o) == 0);
        closed[code] = !open;
    }
}
