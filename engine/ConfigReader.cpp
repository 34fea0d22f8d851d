#include "engine/ConfigReader.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "engine/TextCodec.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsNameStart(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}

bool IsNameChar(unsigned char c)
{
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

} // namespace

ConfigReader::ConfigReader(const char* text, const char* wanted)
    : begin(text), at(text), end(text + std::strlen(text)), key(wanted)
{
    Run();
}

void ConfigReader::Run()
{
    if (end - at >= 3 && std::memcmp(at, "\xEF\xBB\xBF", 3) == 0)
        at += 3;
    else if (end - at >= 1 && (static_cast<unsigned char>(*at) == 0xFF || static_cast<unsigned char>(*at) == 0xFE))
        return Fault(at, "the file is UTF-16; save it as UTF-8 or GB2312");
    const char* const start = at;
    while (at < end && problem.empty() && !done) {
        if (*at == '<')
            Markup(at == start);
        else if (*at == '&' && !open.empty())
            at = Reference(at, end, at, 0);
        else
            Text();
    }
    if (problem.empty() && !done && !open.empty())
        EndsInside(end, "<" + open.back().name + ">, opened on line " + std::to_string(LineOf(open.back().where)));
    // Markup (a declaration, comments) and no element is a file cut before its
    // first key: taken as it is, every key would start at its default. Text
    // without any markup stays what it always was, a file without keys.
    if (problem.empty() && !done && !seenElement && std::memchr(begin, '<', limit) != nullptr)
        Fault(end, "the file ends before its first element: is it cut short?");
}

int ConfigReader::LineOf(const char* p) const
{
    int line = 1;
    for (const char* q = begin; q < p && q < end; ++q)
        line += *q == '\n';
    return line;
}

void ConfigReader::EndsInside(const char* where, const std::string& what)
{
    Fault(where, "the file ends inside " + what + ": is it cut short?");
}

void ConfigReader::Fault(const char* where, const std::string& why)
{
    if (problem.empty())
        problem = "line " + std::to_string(LineOf(where)) + ": " + why;
    at = end;
}

bool ConfigReader::StartsWith(const char* p, const char* s) const
{
    const size_t n = std::strlen(s);
    return static_cast<size_t>(end - p) >= n && std::memcmp(p, s, n) == 0;
}

size_t ConfigReader::CharLength(const char* p) const
{
    if (gb && end - p >= 2 && static_cast<unsigned char>(p[0]) >= 0x81 &&
        TextCodec::IsGbkTrail(static_cast<unsigned char>(p[1])))
        return 2;
    return 1;
}

const char* ConfigReader::Find(const char* p, const char* s) const
{
    while (p < end && !StartsWith(p, s))
        p += CharLength(p);
    return p < end ? p : nullptr;
}

void ConfigReader::SkipBlanks()
{
    while (at < end && IsBlank(*at))
        ++at;
}

std::string ConfigReader::Name()
{
    const char* first = at;
    if (at < end && IsNameStart(static_cast<unsigned char>(*at))) {
        at += CharLength(at);
        while (at < end && IsNameChar(static_cast<unsigned char>(*at)))
            at += CharLength(at);
    }
    return std::string(first, at);
}

void ConfigReader::Append(const char* p, size_t n, const char* where)
{
    produced += n;
    if (produced > kExpansion * limit + 65536)
        return Fault(where, "the entities expand to more than " + std::to_string(kExpansion) +
                                " times the size of the file");
    if (!collecting)
        return;
    // The caller's buffer holds the text's length.
    if (value.size() + n > limit)
        return Fault(where, "the value of <" + std::string(key) + "> is longer than the file");
    value.append(p, n);
}

void ConfigReader::Text()
{
    const char* const p = at;
    const size_t n = CharLength(p);
    at += n;
    if (!open.empty())
        Append(p, n, p);
}

void ConfigReader::Opened(std::string name, const char* where, bool empty)
{
    seenElement = true;
    const bool wanted = key != nullptr && !collecting && name == key;
    if (!open.empty())
        open.back().parent = true;
    if (!empty)
        open.push_back(Open{std::move(name), where, produced, false});
    if (wanted) {
        value.clear();
        collecting = !empty;
        done = empty;
        depth = open.size();
    }
}

void ConfigReader::Markup(bool first)
{
    const char* const lt = at;
    if (StartsWith(at, "<?")) {
        const char* close = Find(at + 2, "?>");
        if (close == nullptr)
            return EndsInside(lt, "a processing instruction");
        if (first && StartsWith(at, "<?xml") && (IsBlank(at[5]) || at[5] == '?'))
            Declaration(std::string(at + 5, close));
        at = close + 2;
    } else if (StartsWith(at, "<!--")) {
        const char* close = Find(at + 4, "-->");
        if (close == nullptr)
            return EndsInside(lt, "a comment");
        at = close + 3;
    } else if (StartsWith(at, "<![CDATA[")) {
        if (open.empty())
            return Fault(lt, "a CDATA section outside every element");
        const char* close = Find(at + 9, "]]>");
        if (close == nullptr)
            return EndsInside(lt, "a CDATA section");
        Append(at + 9, static_cast<size_t>(close - (at + 9)), lt);
        at = close + 3;
    } else if (StartsWith(at, "<!DOCTYPE")) {
        if (seenElement)
            return Fault(lt, "a document type declaration after the first element");
        DocumentType();
    } else if (StartsWith(at, "</")) {
        at += 2;
        const std::string name = Name();
        SkipBlanks();
        if (name.empty() || at >= end || *at != '>')
            return at >= end ? EndsInside(lt, "a closing tag") : Fault(lt, "a closing tag that is not </name>");
        ++at;
        if (open.empty())
            return Fault(lt, "</" + name + "> closes no element");
        if (open.back().name != name)
            return Fault(lt, "</" + name + "> closes <" + open.back().name + ">, opened on line " +
                                 std::to_string(LineOf(open.back().where)));
        // A key's value must fit the caller's buffer, which holds the text's length.
        if (!open.back().parent && produced - open.back().producedAt > limit)
            return Fault(lt, "the value of <" + name + "> is longer than the file");
        if (collecting && open.size() == depth) {
            collecting = false;
            done = true; // the first element of the name decides
        }
        open.pop_back();
    } else {
        ++at;
        std::string name = Name();
        if (name.empty())
            return Fault(lt, "a '<' that begins no tag (a '<' in a value is written &lt;)");
        for (;;) {
            const bool blank = at < end && IsBlank(*at);
            SkipBlanks();
            if (at >= end)
                return EndsInside(lt, "the tag <" + name + ">");
            if (*at == '>' || StartsWith(at, "/>")) {
                const bool empty = *at == '/';
                at += empty ? 2 : 1;
                Opened(std::move(name), lt, empty);
                return;
            }
            if (!blank || !Attribute())
                return at >= end ? EndsInside(lt, "the tag <" + name + ">")
                                 : Fault(lt, "the tag <" + name + "> is not well-formed");
        }
    }
}

bool ConfigReader::Attribute()
{
    if (Name().empty())
        return false;
    SkipBlanks();
    if (at >= end || *at != '=')
        return false;
    ++at;
    SkipBlanks();
    return Quoted(nullptr);
}

bool ConfigReader::Quoted(std::string* out)
{
    if (at >= end || (*at != '"' && *at != '\''))
        return false;
    const char quote = *at++;
    const char* first = at;
    while (at < end && *at != quote)
        at += CharLength(at);
    if (at >= end)
        return false;
    if (out != nullptr)
        out->assign(first, at);
    ++at;
    return true;
}

void ConfigReader::Declaration(const std::string& body)
{
    const size_t key = body.find("encoding");
    if (key == std::string::npos)
        return;
    size_t p = body.find_first_of("\"'", key);
    if (p == std::string::npos)
        return;
    const size_t q = body.find(body[p], p + 1);
    const std::string name = body.substr(p + 1, q == std::string::npos ? std::string::npos : q - p - 1);
    for (const char* gbName : {"GB2312", "GBK", "GB18030", "EUC-CN", "CP936", "X-GBK"})
        if (strcasecmp(name.c_str(), gbName) == 0)
            gb = true;
}

void ConfigReader::DocumentType()
{
    const char* const lt = at;
    at += 9;
    while (at < end && *at != '[' && *at != '>') {
        if (*at != '"' && *at != '\'')
            ++at;
        else if (!Quoted(nullptr))
            at = end;
    }
    if (at < end && *at == '[') {
        ++at;
        for (;;) {
            SkipBlanks();
            if (at >= end || *at == ']')
                break;
            if (StartsWith(at, "<!--")) {
                const char* close = Find(at + 4, "-->");
                if (close == nullptr)
                    break;
                at = close + 3;
            } else if (StartsWith(at, "<!ENTITY") && IsBlank(at[8])) {
                at += 8;
                SkipBlanks();
                const bool parameter = at < end && *at == '%';
                if (parameter) {
                    ++at;
                    SkipBlanks();
                }
                const std::string name = Name();
                SkipBlanks();
                std::string value;
                if (!name.empty() && at < end && (*at == '"' || *at == '\'')) {
                    if (!Quoted(&value))
                        break;
                    if (!parameter && entities.count(name) == 0) // the first declaration binds
                        entities[name] = value;
                }
                SkipDeclarationRest();
            } else {
                SkipDeclarationRest();
            }
        }
        if (at >= end || *at != ']')
            return EndsInside(lt, "the document type declaration");
        ++at;
        SkipBlanks();
    }
    if (at >= end || *at != '>')
        return EndsInside(lt, "the document type declaration");
    ++at;
}

void ConfigReader::SkipDeclarationRest()
{
    while (at < end && *at != '>') {
        if (*at == '"' || *at == '\'') {
            if (!Quoted(nullptr)) {
                at = end;
                return;
            }
        } else {
            at += CharLength(at);
        }
    }
    if (at < end)
        ++at;
}

const char* ConfigReader::Reference(const char* p, const char* stop, const char* where, int level)
{
    const char* semi = p + 1;
    while (semi < stop && semi - p <= 64 && *semi != ';' && !IsBlank(*semi) && *semi != '<' && *semi != '&')
        ++semi;
    if (semi >= stop || *semi != ';' || semi == p + 1) {
        Append(p, 1, where);
        return p + 1;
    }
    const std::string name(p + 1, semi);
    if (name[0] == '#') {
        const bool hex = name.size() > 1 && name[1] == 'x';
        const std::string digits = name.substr(hex ? 2 : 1);
        if (digits.empty() ||
            digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos) {
            Append(p, 1, where);
            return p + 1;
        }
        const unsigned long cp = digits.size() > 8 ? 0x110000 : std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10);
        Character(where, "&" + name + ";", cp);
        return semi + 1;
    }
    static const std::pair<const char*, char> predefined[] = {
        {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& d : predefined) {
        if (name == d.first) {
            Append(&d.second, 1, where);
            return semi + 1;
        }
    }
    const auto found = entities.find(name);
    if (found == entities.end()) {
        Append(p, 1, where);
        return p + 1;
    }
    if (level >= 8) {
        Fault(where, "the entity &" + name + "; refers to itself");
        return stop;
    }
    // The replacement text's own references are resolved in turn.
    const char* q = found->second.c_str();
    const char* const last = q + found->second.size();
    while (q < last && problem.empty()) {
        if (*q == '&') {
            q = Reference(q, last, where, level + 1);
        } else {
            Append(q, 1, where);
            ++q;
        }
    }
    return semi + 1;
}

void ConfigReader::Character(const char* where, const std::string& written, unsigned long cp)
{
    const bool allowed = cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
                         (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
    if (!allowed)
        return Fault(where, written + " names no character");
    std::string bytes;
    if (cp < 0x80) {
        bytes = static_cast<char>(cp);
    } else if (!gb) {
        TextCodec::AppendUtf8(bytes, static_cast<uint32_t>(cp));
    } else {
        const unsigned code = TextCodec::Instance().UnicodeToGbk(static_cast<uint32_t>(cp));
        if (code == 0)
            return Fault(where, written + " names a character GB2312/GBK lacks");
        bytes += static_cast<char>(code >> 8);
        bytes += static_cast<char>(code & 0xFF);
    }
    Append(bytes.data(), bytes.size(), where);
}
