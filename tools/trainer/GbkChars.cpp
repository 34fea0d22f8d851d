#include "tools/trainer/GbkChars.h"

#include "lexicon/GbkChar.h"

namespace gbk {

namespace {

int LengthAt(const std::string& s, size_t i)
{
    return gbkchar::Length(reinterpret_cast<const unsigned char*>(s.data()), static_cast<int>(i),
                           static_cast<int>(s.size()));
}

} // namespace

std::vector<std::string> Chars(const std::string& s)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < s.size();) {
        const size_t n = static_cast<size_t>(LengthAt(s, i));
        out.push_back(s.substr(i, n));
        i += n;
    }
    return out;
}

int CharCount(const std::string& s)
{
    int n = 0;
    for (size_t i = 0; i < s.size(); ++n)
        i += static_cast<size_t>(LengthAt(s, i));
    return n;
}

int KeyOf(const std::string& ch)
{
    if (ch.empty())
        return -1;
    int bytes;
    return static_cast<int>(gbkchar::TableIndex(gbkchar::Key(reinterpret_cast<const unsigned char*>(ch.data()), 0,
                                                             static_cast<int>(ch.size()), &bytes)));
}

} // namespace gbk
