#include "tools/trainer/GbkConverter.h"

#include <iconv.h>

#include <vector>

GbkConverter::GbkConverter()
{
    iconv_t h = iconv_open("GBK", "UTF-8");
    if (h == reinterpret_cast<iconv_t>(-1))
        h = iconv_open("CP936", "UTF-8");
    handle = reinterpret_cast<void*>(h);
}

GbkConverter::~GbkConverter()
{
    if (IsReady())
        iconv_close(reinterpret_cast<iconv_t>(handle));
}

bool GbkConverter::ToGbk(const std::string& utf8, std::string& gbk)
{
    gbk.clear();
    if (!IsReady())
        return false;
    iconv_t h = reinterpret_cast<iconv_t>(handle);
    iconv(h, nullptr, nullptr, nullptr, nullptr);
    // GBK never needs more bytes than UTF-8 for the same text.
    std::vector<char> out(utf8.size() + 4);
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* dst = out.data();
    size_t outLeft = out.size();
    if (iconv(h, &in, &inLeft, &dst, &outLeft) == static_cast<size_t>(-1))
        return false;
    gbk.assign(out.data(), out.size() - outLeft);
    return true;
}
