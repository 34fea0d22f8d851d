#include "tools/trainer/TagSetFile.h"

#include <fstream>
#include <sstream>

bool TagSetFile::Load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::stringstream ss;
    ss << in.rdbuf();
    return Parse(ss.str());
}

bool TagSetFile::Parse(const std::string& content)
{
    text = content;
    names.clear();
    codes.clear();
    std::istringstream in(content);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string name;
        if (!(words >> name))
            continue;
        if (name.size() > 11 || codes.count(name))
            return false; // beyond the engine's limits, or ambiguous
        codes[name] = static_cast<int>(names.size());
        names.push_back(name);
    }
    return !names.empty() && names.size() <= 255;
}

int TagSetFile::Code(const std::string& name) const
{
    auto it = codes.find(name);
    return it == codes.end() ? -1 : it->second;
}
