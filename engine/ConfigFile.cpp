#include "engine/ConfigFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <vector>

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

// One pass over a configuration text, up to the first fault, looking for the
// value of one key (or, without a key, only for faults). The file is small and
// read once per start, so nothing is kept between passes; memory and time stay
// in proportion to the text whatever it holds.
class ConfigReader {
public:
    ConfigReader(const char* text, const char* wanted)
        : begin(text), at(text), end(text + std::strlen(text)), key(wanted)
    {
        Run();
    }

    // Whether the first element named by the key was closed before any fault.
    bool Found() const { return done; }
    const std::string& Value() const { return value; }
    const std::string& Problem() const { return problem; }

private:
    struct Open {
        std::string name;
        const char* where;
        size_t producedAt; // character data before it
        bool parent;       // holds an element
    };

    void Run()
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
    }

    int LineOf(const char* p) const
    {
        int line = 1;
        for (const char* q = begin; q < p && q < end; ++q)
            line += *q == '\n';
        return line;
    }

    // A fault at the end of the text: most often a file cut short.
    void EndsInside(const char* where, const std::string& what)
    {
        Fault(where, "the file ends inside " + what + ": is it cut short?");
    }

    void Fault(const char* where, const std::string& why)
    {
        if (problem.empty())
            problem = "line " + std::to_string(LineOf(where)) + ": " + why;
        at = end;
    }

    bool StartsWith(const char* p, const char* s) const
    {
        const size_t n = std::strlen(s);
        return static_cast<size_t>(end - p) >= n && std::memcmp(p, s, n) == 0;
    }

    // Bytes of the character at p: a GBK trail byte may be ']' or a letter, so
    // in a GB file it must not be taken for markup.
    size_t CharLength(const char* p) const
    {
        if (gb && end - p >= 2 && static_cast<unsigned char>(p[0]) >= 0x81 &&
            TextCodec::IsGbkTrail(static_cast<unsigned char>(p[1])))
            return 2;
        return 1;
    }

    // The first occurrence of s at or after p, stepping by characters; null if none.
    const char* Find(const char* p, const char* s) const
    {
        while (p < end && !StartsWith(p, s))
            p += CharLength(p);
        return p < end ? p : nullptr;
    }

    void SkipBlanks()
    {
        while (at < end && IsBlank(*at))
            ++at;
    }

    std::string Name()
    {
        const char* first = at;
        if (at < end && IsNameStart(static_cast<unsigned char>(*at))) {
            at += CharLength(at);
            while (at < end && IsNameChar(static_cast<unsigned char>(*at)))
                at += CharLength(at);
        }
        return std::string(first, at);
    }

    // Character data of an element: counted always (entities must not make a
    // small file cost without bound), kept while the wanted element is open.
    void Append(const char* p, size_t n, const char* where)
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

    void Text()
    {
        const char* const p = at;
        const size_t n = CharLength(p);
        at += n;
        if (!open.empty())
            Append(p, n, p);
    }

    void Opened(std::string name, const char* where, bool empty)
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

    void Markup(bool first)
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

    // name = "value" or 'value'; the values mean nothing to the engine.
    bool Attribute()
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

    // A quoted literal at `at`, its text into out (when given).
    bool Quoted(std::string* out)
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

    // <?xml version="1.0" encoding="..."?>: only the encoding matters, to know
    // whether a byte may be the second half of a GB character.
    void Declaration(const std::string& body)
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

    // <!DOCTYPE name ... [ internal subset ] >: its internal general entities are
    // kept for references in values; everything else in it is skipped. External
    // entities are never fetched.
    void DocumentType()
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

    // To the '>' that ends a markup declaration, over quoted literals.
    void SkipDeclarationRest()
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

    // Resolves the reference at p (*p == '&') of a text that ends at stop into
    // out and returns where the text goes on; where is its place in the file.
    // Anything that is not a reference (a lone '&', an entity no one declared)
    // stays as it is written, as it always has.
    const char* Reference(const char* p, const char* stop, const char* where, int level)
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

    // A character reference, written in the file's encoding.
    void Character(const char* where, const std::string& written, unsigned long cp)
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

    static constexpr size_t kExpansion = 16;

    const char* const begin;
    const char* at;
    const char* end;
    const size_t limit = static_cast<size_t>(end - begin);
    const char* const key;
    bool gb = false;
    bool seenElement = false;
    std::vector<Open> open;
    bool collecting = false; // inside the wanted element
    size_t depth = 0;        // its depth
    bool done = false;       // its value is complete
    std::string value;
    size_t produced = 0;     // bytes of character data so far
    std::map<std::string, std::string> entities;
    std::string problem;
};

} // namespace

size_t ReadConfigFile(const char* path, std::unique_ptr<char[]>& text)
{
    text.reset();
    if (path == nullptr)
        return 0;
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return 0;
    struct stat st {};
    if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        std::fclose(file);
        return 0;
    }
    const size_t size = static_cast<size_t>(st.st_size);
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size + 1]);
    if (!buffer) {
        std::fclose(file);
        return 0;
    }
    // A file that shrank under us still yields a clean, NUL-terminated text.
    size_t got = std::fread(buffer.get(), 1, size, file);
    std::fclose(file);
    std::memset(buffer.get() + got, 0, size + 1 - got);
    if (!ConfigReader(buffer.get(), nullptr).Problem().empty())
        return 0;
    text = std::move(buffer);
    return size;
}

bool GetConfigValue(const char* text, const char* key, char* value)
{
    if (text == nullptr || key == nullptr || value == nullptr)
        return false;
    const ConfigReader reader(text, key);
    if (!reader.Found())
        return false;
    std::memcpy(value, reader.Value().data(), reader.Value().size());
    value[reader.Value().size()] = '\0';
    return true;
}

std::string ConfigTextProblem(const char* text)
{
    return text == nullptr ? std::string() : ConfigReader(text, nullptr).Problem();
}

std::string ConfigFileProblem(const char* path)
{
    struct stat st {};
    if (path == nullptr)
        return std::strerror(EINVAL);
    if (::stat(path, &st) != 0)
        return std::strerror(errno);
    if (S_ISDIR(st.st_mode))
        return std::strerror(EISDIR);
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return std::strerror(errno);
    std::string text;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, n);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return std::strerror(EIO);
    if (!S_ISREG(st.st_mode))
        return "not a regular file";
    if (text.empty())
        return "the file is empty";
    const std::string problem = ConfigTextProblem(text.c_str());
    return problem.empty() ? std::string() : "not well-formed XML: " + problem;
}
