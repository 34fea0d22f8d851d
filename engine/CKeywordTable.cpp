#include "engine/CKeywordTable.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

bool ReadWhole(const std::string& path, std::string& out, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error != nullptr)
            *error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        if (error != nullptr)
            *error = "cannot read " + path + ": read error";
        return false;
    }
    return true;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Calls line(text, number) for every line that is neither blank nor a comment,
// without its surrounding blanks; stops when it returns false.
template <class Line>
bool EachLine(const std::string& content, Line line)
{
    size_t pos = content.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    size_t number = 0;
    while (pos < content.size()) {
        size_t end = content.find('\n', pos);
        if (end == std::string::npos)
            end = content.size();
        ++number;
        size_t b = pos, e = end;
        pos = end + 1;
        while (b < e && IsBlank(content[b]))
            ++b;
        while (e > b && IsBlank(content[e - 1]))
            --e;
        if (b == e || content[b] == '#')
            continue;
        if (!line(content.substr(b, e - b), number))
            return false;
    }
    return true;
}

} // namespace

std::string CKeywordTable::LowerAscii(const std::string& s)
{
    std::string out = s;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool CKeywordTable::LoadIdf(const std::string& path, std::string* error)
{
    std::string content;
    return ReadWhole(path, content, error) && ParseIdf(content, path, error);
}

bool CKeywordTable::ParseIdf(const std::string& content, const std::string& name, std::string* error)
{
    std::unordered_map<std::string, double> table;
    std::string why;
    size_t badLine = 0;
    const bool ok = EachLine(content, [&](const std::string& line, size_t number) {
        size_t split = line.size();
        while (split > 0 && !IsBlank(line[split - 1]))
            --split;
        if (split == 0) {
            why = "expected 'word idf'";
            badLine = number;
            return false;
        }
        size_t wordEnd = split;
        while (wordEnd > 0 && IsBlank(line[wordEnd - 1]))
            --wordEnd;
        const std::string value = line.substr(split);
        char* end = nullptr;
        errno = 0;
        const double v = std::strtod(value.c_str(), &end);
        if (end == value.c_str() || *end != '\0' || errno == ERANGE || !std::isfinite(v) || v < 0) {
            why = "'" + value + "' is not an IDF (a number of 0 or more)";
            badLine = number;
            return false;
        }
        table[line.substr(0, wordEnd)] = v;
        return true;
    });
    if (!ok) {
        if (error != nullptr)
            *error = name + ":" + std::to_string(badLine) + ": " + why;
        return false;
    }
    if (table.empty()) {
        if (error != nullptr)
            *error = name + ": no word in the IDF table";
        return false;
    }
    std::vector<double> values;
    values.reserve(table.size());
    for (const auto& entry : table)
        values.push_back(entry.second);
    // jieba takes the middle element of the sorted values, the upper one of
    // an even count.
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
    median = values[values.size() / 2];
    idf.swap(table);
    return true;
}

bool CKeywordTable::LoadStopWords(const std::string& path, std::string* error)
{
    std::string content;
    if (!ReadWhole(path, content, error))
        return false;
    ParseStopWords(content);
    return true;
}

void CKeywordTable::ParseStopWords(const std::string& content)
{
    std::unordered_set<std::string> words;
    EachLine(content, [&](const std::string& line, size_t) {
        words.insert(LowerAscii(line));
        return true;
    });
    stops.swap(words);
}

double CKeywordTable::Idf(const std::string& word) const
{
    const auto found = idf.find(word);
    return found != idf.end() ? found->second : median;
}

bool CKeywordTable::IsStopWord(const std::string& word) const
{
    return !stops.empty() && stops.count(LowerAscii(word)) != 0;
}
