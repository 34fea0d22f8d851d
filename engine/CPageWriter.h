#ifndef MORV_CPAGEWRITER_H
#define MORV_CPAGEWRITER_H

#include <cstddef>
#include <cstdio>
#include <string>

#include "segment/SpecialWords.h"
#include "segment/TokenRecord.h"
#include "tagging/TagCodes.h"

class CTagSet;
class EngineText;

// Writes the tokens of the result page (between its head and its legend, see
// HtmlPage.h): every token in the colour and face of its kind, its tag name,
// paragraph breaks where the text breaks its lines. Token text is copied as it
// is but for the markup characters, which are escaped (and lead bytes
// without their trail byte, which become U+FFFD); where the engine's text
// holds a placeholder for a character GBK lacks, the page gets that character
// back, as a character reference.
class CPageWriter {
public:
    CPageWriter() = default;
    virtual ~CPageWriter() = default;
    CPageWriter(const CPageWriter&) = delete;
    CPageWriter& operator=(const CPageWriter&) = delete;

    // The tag names and the class words the page reads.
    void SetModels(const CTagSet* tagSet, const SpecialWords& ids);
    // Where the next tokens go: a file, written in large blocks (Flush writes
    // the rest), or the end of a caller's string. originals, when given, is the
    // engine text the sentences lie in and knows the characters its
    // placeholders stand for.
    void ToFile(std::FILE* file);
    void ToString(std::string& out, const EngineText* originals);
    // One sentence's tokens: items[0] and items[count - 1] are the markers and
    // are not written; a "一" followed by a doubled one-character token becomes
    // one numeral (its word id and tag change).
    void WriteTokens(const char* sentence, TokenRecord* items, int count);
    // Writes what the buffer holds to the file.
    void Flush();
    // Whether a write to the file failed since ToFile.
    bool WriteFailed() const { return writeFailed; }

    // Appends text to out with the markup characters (< > & " ') escaped
    // wherever they stand, after a lead byte too; a character of two bytes is
    // copied whole, a lead byte without its trail byte becomes U+FFFD.
    static void AppendEscaped(std::string& out, const char* text, size_t length);

private:
    // Appends a token's text escaped, with its placeholders as the characters
    // they stand for.
    void AppendText(std::string& out, const char* text, size_t length);
    // The markup after a token of a tag: its name and the separator.
    const std::string& TagSuffix(int tag);

    const CTagSet* tagSet = nullptr;
    SpecialWords ids;
    EntityWords entityWords{SpecialWords()};
    std::FILE* file = nullptr;
    std::string buffer;
    std::string* out = &buffer;
    bool writeFailed = false;
    const EngineText* originals = nullptr;
    size_t nextOriginal = 0; // the first placeholder not yet written
    std::string tagSuffix[256]; // empty until made
};

#endif
