#include "lexicon/ListTags.h"

const char* ListTags::Ours(const std::string& listTag)
{
    static const char* const kTable[][2] = {
        {"nrt", "nr"}, {"nrfg", "nr"}, {"eng", "nx"}, {"zg", "g"},  {"mg", "Mg"}, {"bg", "Bg"},
        {"yg", "Yg"},  {"vi", "v"},    {"vq", "v"},   {"rr", "r"},  {"rz", "r"},  {"df", "d"},
        {"uj", "u"},   {"ul", "u"},    {"uv", "u"},   {"uz", "u"},  {"ud", "u"},  {"ug", "u"},
    };
    for (const auto& row : kTable)
        if (listTag == row[0])
            return row[1];
    return nullptr;
}
