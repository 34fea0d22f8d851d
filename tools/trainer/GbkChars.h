#ifndef MORV_TRAINER_GBKCHARS_H
#define MORV_TRAINER_GBKCHARS_H

#include <string>
#include <vector>

// Characters of the trainer's GBK strings, cut as the engine cuts them: a byte
// below 0x80 is one character, a byte of 0x80 or above takes the next one with
// it (a lone lead byte at the end stands alone).
namespace gbk {

// The characters of s, each as its own string.
std::vector<std::string> Chars(const std::string& s);
int CharCount(const std::string& s);
// The engine's character key of one character (-1 for the empty string).
int KeyOf(const std::string& ch);

} // namespace gbk

#endif
