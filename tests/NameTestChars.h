#ifndef MORV_NAMETESTCHARS_H
#define MORV_NAMETESTCHARS_H

#include <string>

#include "TestUtil.h"

// The characters of the name-model and name-stage tests, in the engine's GBK:
// a Chinese name (王小明), a transliteration (克林顿) and a word after names (说).
namespace namechars {
inline const std::string kWang = Gbk("王");
inline const std::string kXiao = Gbk("小");
inline const std::string kMing = Gbk("明");
inline const std::string kKe = Gbk("克");
inline const std::string kLin = Gbk("林");
inline const std::string kDun = Gbk("顿");
inline const std::string kShuo = Gbk("说");

// The model's key of a two-byte character.
inline int Key(const std::string& ch)
{
    return static_cast<unsigned char>(ch[0]) * 256 + static_cast<unsigned char>(ch[1]);
}
} // namespace namechars

#endif
