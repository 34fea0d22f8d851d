#include "tools/trainer/CorpusReader.h"

#include <cctype>
#include <fstream>

std::string Paragraph::Text() const
{
    std::string text;
    for (const CorpusToken& t : tokens)
        text += t.word;
    return text;
}

size_t CorpusReader::GetTokenCount() const
{
    size_t n = 0;
    for (const Paragraph& p : paragraphs)
        n += p.tokens.size();
    return n;
}

bool CorpusReader::Read(const std::string& path, int firstDate, int lastDate)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    paragraphs.clear();
    errors.clear();
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos)
            continue; // blank lines carry nothing
        Paragraph p;
        std::string message;
        if (!ParseLine(line, p, message)) {
            errors.push_back({lineNo, message});
            continue;
        }
        if ((firstDate && p.date < firstDate) || (lastDate && p.date > lastDate))
            continue;
        p.line = lineNo;
        paragraphs.push_back(std::move(p));
    }
    return true;
}

namespace {

std::vector<std::string> SplitBlanks(const std::string& line)
{
    std::vector<std::string> parts;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\t')
            ++j;
        if (j > i)
            parts.push_back(line.substr(i, j - i));
        i = j;
    }
    return parts;
}

bool IsParagraphId(const std::string& s, int& date)
{
    // YYYYMMDD-PP-AAA-NNN/m
    static const char pattern[] = "dddddddd-dd-ddd-ddd/m";
    if (s.size() != sizeof pattern - 1)
        return false;
    for (size_t i = 0; i < s.size(); ++i) {
        if (pattern[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(s[i])) : s[i] != pattern[i])
            return false;
    }
    date = std::stoi(s.substr(0, 8));
    return true;
}

} // namespace

bool CorpusReader::ParseLine(const std::string& line, Paragraph& out, std::string& message)
{
    out = Paragraph();
    std::vector<std::string> parts = SplitBlanks(line);
    if (parts.empty() || !IsParagraphId(parts[0], out.date)) {
        message = "no paragraph id";
        return false;
    }
    bool open = false;
    for (size_t k = 1; k < parts.size(); ++k) {
        std::string token = parts[k];
        bool opens = false;
        if (token.size() > 1 && token[0] == '[') {
            if (open) {
                message = "nested bracket at \"" + parts[k] + "\"";
                return false;
            }
            opens = true;
            token.erase(0, 1);
        }
        size_t slash = token.rfind('/');
        if (slash == std::string::npos || slash == 0 || slash + 1 == token.size()) {
            message = "token without word/tag: \"" + parts[k] + "\"";
            return false;
        }
        std::string word = token.substr(0, slash);
        std::string tag = token.substr(slash + 1);
        bool closes = false;
        size_t bracket = tag.find(']');
        if (bracket != std::string::npos) {
            if (!open && !opens) {
                message = "closing bracket without opening: \"" + parts[k] + "\"";
                return false;
            }
            if (bracket + 1 == tag.size()) {
                message = "compound without tag: \"" + parts[k] + "\"";
                return false;
            }
            closes = true;
            tag.erase(bracket);
        }
        if (tag.empty()) {
            message = "token without tag: \"" + parts[k] + "\"";
            return false;
        }
        for (char c : tag) {
            if (!std::isalnum(static_cast<unsigned char>(c))) {
                message = "bad tag in \"" + parts[k] + "\"";
                return false;
            }
        }
        CorpusToken t;
        if (!converter.ToGbk(word, t.word)) {
            message = "word without GBK form: \"" + parts[k] + "\"";
            return false;
        }
        t.tag = tag;
        t.inCompound = open || opens;
        out.tokens.push_back(std::move(t));
        open = (open || opens) && !closes;
    }
    if (open) {
        message = "unclosed bracket";
        return false;
    }
    if (out.tokens.empty()) {
        message = "paragraph without words";
        return false;
    }
    return true;
}
