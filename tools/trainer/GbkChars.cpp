#include "tools/trainer/GbkChars.h"

namespace gbk {

std::vector<std::string> Chars(const std::string& s)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < s.size();) {
        size_t n = (static_cast<unsigned char>(s[i]) >= 0x80 && i + 1 < s.size()) ? 2 : 1;
        out.push_back(s.substr(i, n));
        i += n;
    }
    return out;
}

int CharCount(const std::string& s)
{
    int n = 0;
    for (size_t i = 0; i < s.size(); ++n)
        i += (static_cast<unsigned char>(s[i]) >= 0x80 && i + 1 < s.size()) ? 2 : 1;
    return n;
}

int KeyOf(const std::string& ch)
{
    if (ch.size() == 2)
        return static_cast<unsigned char>(ch[0]) * 256 + static_cast<unsigned char>(ch[1]);
    return ch.empty() ? -1 : static_cast<unsigned char>(ch[0]);
}

} // namespace gbk
