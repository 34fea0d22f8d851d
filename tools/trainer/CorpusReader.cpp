#include "tools/trainer/CorpusReader.h"

#include <cctype>
#include <fstream>

std::string Paragraph::Text() const
{
    size_t size = 0;
    for (const CorpusToken& t : tokens)
        size += t.word.size();
    std::string text;
    text.reserve(size);
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

namespace {

// Lines held after reading at most this long; a longer one's buffer is released.
constexpr size_t kKeptLineCapacity = size_t(1) << 20;

// Whether the bytes are well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool IsUtf8(const std::string& text)
{
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t more;
        unsigned lowest;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            lowest = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            lowest = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            lowest = 0x10000;
        } else {
            return false;
        }
        if (n - i <= more)
            return false;
        unsigned code = c & (0x3F >> more);
        for (size_t k = 1; k <= more; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (s[i + k] & 0x3F);
        }
        if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += more + 1;
    }
    return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The next blank-separated field of line at or after pos: [begin, end). False
// when none is left. pos moves past the field.
bool NextField(const std::string& line, size_t& pos, size_t& begin, size_t& end)
{
    while (pos < line.size() && IsBlank(line[pos]))
        ++pos;
    if (pos >= line.size())
        return false;
    begin = pos;
    while (pos < line.size() && !IsBlank(line[pos]))
        ++pos;
    end = pos;
    return true;
}

bool IsParagraphId(const std::string& line, size_t begin, size_t end, int& date)
{
    // YYYYMMDD-PP-AAA-NNN/m
    static const char pattern[] = "dddddddd-dd-ddd-ddd/m";
    if (end - begin != sizeof pattern - 1)
        return false;
    for (size_t i = 0; i < end - begin; ++i) {
        const char c = line[begin + i];
        if (pattern[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(c)) : c != pattern[i])
            return false;
    }
    date = std::stoi(line.substr(begin, 8));
    return true;
}

std::string Quoted(const std::string& line, size_t begin, size_t end)
{
    return "\"" + line.substr(begin, end - begin) + "\"";
}

} // namespace

void CorpusReader::AddError(int line, std::string message)
{
    ++badLines;
    if (errors.size() < kKeptErrors)
        errors.push_back({line, std::move(message)});
}

bool CorpusReader::Read(const std::string& path, int firstDate, int lastDate)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    paragraphs.clear();
    errors.clear();
    lines = badLines = undecodable = 0;
    // One line is held at a time, and parsed where it lies: a paragraph of many
    // megabytes costs its text once and its tokens once.
    std::string line;
    int lineNo = 0;
    bool decided = false;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") != std::string::npos) {
            if (!decided) {
                // The first line decides whether the corpus carries paragraph ids.
                size_t pos = 0, begin = 0, end = 0;
                int date = 0;
                withIds = NextField(line, pos, begin, end) && IsParagraphId(line, begin, end, date);
                decided = true;
            }
            ++lines;
            Paragraph p;
            std::string message;
            if (!IsUtf8(line)) {
                ++undecodable;
                AddError(lineNo, "not UTF-8 text");
            } else if (!ParseLine(line, p, message)) {
                AddError(lineNo, message);
            } else if ((!firstDate || p.date >= firstDate) && (!lastDate || p.date <= lastDate)) {
                p.line = lineNo;
                paragraphs.push_back(std::move(p));
            }
        }
        if (line.capacity() > kKeptLineCapacity)
            std::string().swap(line);
    }
    return true;
}

std::string CorpusReader::Refusal(bool allowBadLines) const
{
    const std::string ofLines = std::to_string(lines) + " lines";
    // Text in another encoding (GBK, say) decodes on hardly a line: what little
    // parses is no basis for a model, whatever the user allows.
    if (undecodable > 0 && undecodable * 2 > lines)
        return "not UTF-8 text: " + std::to_string(undecodable) + " of " + ofLines + " cannot be decoded";
    if (!allowBadLines && badLines * 20 > lines) {
        std::string why = std::to_string(badLines) + " of " + ofLines + " cannot be read";
        if (undecodable > 0)
            why += " (" + std::to_string(undecodable) + " not UTF-8)";
        return why + ", more than 5%; --allow-bad-lines trains on the rest";
    }
    return std::string();
}

bool CorpusReader::ParseLine(const std::string& line, Paragraph& out, std::string& message)
{
    out = Paragraph();
    size_t pos = 0, begin = 0, end = 0;
    if (withIds && (!NextField(line, pos, begin, end) || !IsParagraphId(line, begin, end, out.date))) {
        message = "no paragraph id";
        return false;
    }
    if (withIds) // YYYYMMDD-PP-AAA-NNN: the digits were checked above
        out.article = std::stoi(line.substr(begin + 9, 2)) * 1000 + std::stoi(line.substr(begin + 12, 3));
    int date = 0;
    if (!withIds && NextField(line, pos, begin, end) && IsParagraphId(line, begin, end, date)) {
        message = "a paragraph id in a corpus whose first line has none";
        return false;
    }
    if (!withIds)
        pos = 0;
    // One token per field: reserved at once, so that the tokens of a long line
    // are not copied again and again as the array grows.
    size_t fields = 0;
    for (size_t p = pos, b, e; NextField(line, p, b, e);)
        ++fields;
    out.tokens.reserve(fields);
    bool open = false;
    size_t compoundFirst = 0;
    std::string word;
    while (NextField(line, pos, begin, end)) {
        size_t wordBegin = begin;
        bool opens = false;
        if (end - begin > 1 && line[begin] == '[') {
            if (open) {
                message = "nested bracket at " + Quoted(line, begin, end);
                return false;
            }
            opens = true;
            ++wordBegin;
        }
        size_t slash = end;
        for (size_t i = end; i > wordBegin; --i)
            if (line[i - 1] == '/') {
                slash = i - 1;
                break;
            }
        if (slash == end || slash == wordBegin || slash + 1 == end) {
            message = "token without word/tag: " + Quoted(line, begin, end);
            return false;
        }
        size_t tagEnd = end;
        bool closes = false;
        for (size_t i = slash + 1; i < end; ++i)
            if (line[i] == ']') {
                tagEnd = i;
                break;
            }
        if (tagEnd != end) {
            if (!open && !opens) {
                message = "closing bracket without opening: " + Quoted(line, begin, end);
                return false;
            }
            if (tagEnd + 1 == end) {
                message = "compound without tag: " + Quoted(line, begin, end);
                return false;
            }
            closes = true;
        }
        if (tagEnd == slash + 1) {
            message = "token without tag: " + Quoted(line, begin, end);
            return false;
        }
        for (size_t i = slash + 1; i < tagEnd; ++i) {
            if (!std::isalnum(static_cast<unsigned char>(line[i]))) {
                message = "bad tag in " + Quoted(line, begin, end);
                return false;
            }
        }
        CorpusToken t;
        word.assign(line, wordBegin, slash - wordBegin);
        if (!converter.ToGbk(word, t.word)) {
            message = "word without GBK form: " + Quoted(line, begin, end);
            return false;
        }
        t.tag.assign(line, slash + 1, tagEnd - slash - 1);
        t.inCompound = open || opens;
        if (opens)
            compoundFirst = out.tokens.size();
        out.tokens.push_back(std::move(t));
        if (closes)
            out.compounds.push_back({compoundFirst, out.tokens.size() - 1, line.substr(tagEnd + 1, end - tagEnd - 1)});
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
