#ifndef MORV_CONFIGREADER_H
#define MORV_CONFIGREADER_H

#include <cstddef>
#include <map>
#include <string>
#include <vector>

// One pass over a configuration text, up to the first fault, looking for the
// value of one key (or, without a key, only for faults). The file is small and
// read once per start, so nothing is kept between passes; memory and time stay
// in proportion to the text whatever it holds.
class ConfigReader {
public:
    // Reads text (NUL-terminated) at once; wanted names the key, or is null.
    ConfigReader(const char* text, const char* wanted);
    virtual ~ConfigReader() = default;

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

    void Run();
    int LineOf(const char* p) const;
    void Fault(const char* where, const std::string& why);
    // A fault at the end of the text: most often a file cut short.
    void EndsInside(const char* where, const std::string& what);
    bool StartsWith(const char* p, const char* s) const;

    // Bytes of the character at p: a GBK trail byte may be ']' or a letter, so
    // in a GB file it must not be taken for markup.
    size_t CharLength(const char* p) const;

    // The first occurrence of s at or after p, stepping by characters; null if none.
    const char* Find(const char* p, const char* s) const;
    void SkipBlanks();
    std::string Name();

    // Character data of an element: counted always (entities must not make a
    // small file cost without bound), kept while the wanted element is open.
    void Append(const char* p, size_t n, const char* where);
    void Text();
    // A start tag (or an empty element) has been read.
    void Opened(std::string name, const char* where, bool empty);
    // The markup at `at`: a tag, a comment, a CDATA section, a declaration.
    void Markup(bool first);

    // name = "value" or 'value'; the values mean nothing to the engine.
    bool Attribute();

    // A quoted literal at `at`, its text into out (when given).
    bool Quoted(std::string* out);

    // <?xml version="1.0" encoding="..."?>: only the encoding matters, to know
    // whether a byte may be the second half of a GB character.
    void Declaration(const std::string& body);

    // <!DOCTYPE name ... [ internal subset ] >: its internal general entities are
    // kept for references in values; everything else in it is skipped. External
    // entities are never fetched.
    void DocumentType();

    // To the '>' that ends a markup declaration, over quoted literals.
    void SkipDeclarationRest();

    // Resolves the reference at p (*p == '&') of a text that ends at stop into
    // out and returns where the text goes on; where is its place in the file.
    // Anything that is not a reference (a lone '&', an entity no one declared)
    // stays as it is written, as it always has.
    const char* Reference(const char* p, const char* stop, const char* where, int level);

    // A character reference, written in the file's encoding.
    void Character(const char* where, const std::string& written, unsigned long cp);

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

#endif
