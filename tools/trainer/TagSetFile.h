#ifndef MORV_TRAINER_TAGSETFILE_H
#define MORV_TRAINER_TAGSETFILE_H

#include <map>
#include <string>
#include <vector>

// The tag-set file as the engine reads it: one tag a line, the first word of a
// line is the name, its code is its position among the non-blank lines.
class TagSetFile {
public:
    TagSetFile() = default;
    virtual ~TagSetFile() = default;

    bool Load(const std::string& path);
    bool Parse(const std::string& text);
    int Code(const std::string& name) const; // -1 when unknown
    const std::string& Name(int code) const { return names.at(static_cast<size_t>(code)); }
    int Count() const { return static_cast<int>(names.size()); }
    const std::string& GetText() const { return text; }

private:
    std::vector<std::string> names;
    std::map<std::string, int> codes;
    std::string text;
};

#endif
