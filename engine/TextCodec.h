#ifndef MORV_TEXTCODEC_H
#define MORV_TEXTCODEC_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The encodings the command reads and writes. Unknown: nothing but ASCII seen yet.
enum class Encoding { Unknown, Gbk, Utf8 };

// Conversion between GBK and Unicode. The tables come from the C library's iconv
// once per process, so every later conversion is a table lookup per character.
class TextCodec {
public:
    static constexpr uint32_t kReplacement = 0xFFFD;

    // The process-wide codec (tables built on first use).
    static const TextCodec& Instance();

    // Whether the C library could provide the GBK tables.
    bool IsReady() const { return ready; }
    // Code point of the two-byte GBK character lead * 256 + trail; 0 if it has none.
    uint32_t GbkToUnicode(unsigned code) const { return code < 65536 ? toUnicode[code] : 0; }
    // Two-byte GBK code of a code point (0 if GBK lacks it); ASCII is handled by the caller.
    unsigned UnicodeToGbk(uint32_t cp) const { return cp < 65536 ? toGbk[cp] : 0; }

    // Decodes the UTF-8 sequence at s (n > 0 bytes available). Returns its length and
    // stores the code point; 0 for an invalid sequence (overlong, surrogate, beyond
    // U+10FFFF, bad continuation); -1 when the bytes are a valid but cut-off start.
    static int DecodeUtf8(const unsigned char* s, size_t n, uint32_t* cp);
    static void AppendUtf8(std::string& out, uint32_t cp);
    // Whether b can follow a GBK lead byte.
    static bool IsGbkTrail(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

    // The encoding of text that starts with data: Utf8 when it is valid UTF-8 holding
    // at least one multi-byte sequence, Gbk when it is not valid UTF-8, Unknown when
    // it is plain ASCII. With complete false the data may end inside a sequence.
    static Encoding Detect(const char* data, size_t length, bool complete);

    // Appends text in the given encoding to out as the body of a JSON string: valid
    // UTF-8 with quotes, backslashes and control characters escaped. Bytes that do
    // not decode become U+FFFD, one per GBK unit or invalid UTF-8 byte.
    void AppendJson(std::string& out, const char* data, size_t length, Encoding enc) const;
    // Converts text in enc to UTF-8 (the same unit rules as AppendJson, no escaping).
    void AppendAsUtf8(std::string& out, const char* data, size_t length, Encoding enc) const;
    // Converts UTF-8 to GBK; a character GBK lacks, or a byte that does not decode,
    // becomes '?'. Returns how many did.
    size_t AppendUtf8AsGbk(std::string& out, const char* data, size_t length) const;

    // Length of the GBK unit at s (n > 0 bytes available): 2 for a lead byte with a
    // trail byte after it, else 1.
    static size_t GbkUnitLength(const unsigned char* s, size_t n)
    {
        return (s[0] >= 0x80 && n >= 2 && IsGbkTrail(s[1])) ? 2 : 1;
    }

private:
    TextCodec();

    bool ready = false;
    std::vector<uint32_t> toUnicode;
    std::vector<uint16_t> toGbk;
};

#endif
