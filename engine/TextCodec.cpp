#include "engine/TextCodec.h"

#include <iconv.h>

namespace {

// Converts one character with an open converter; true when it produced exactly one
// output unit of outSize bytes.
bool ConvertOne(iconv_t cd, const char* in, size_t inSize, char* out, size_t outSize)
{
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* inPtr = const_cast<char*>(in);
    char* outPtr = out;
    size_t inLeft = inSize;
    size_t outLeft = outSize;
    const size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    return result != static_cast<size_t>(-1) && inLeft == 0 && outLeft == 0;
}

void AppendJsonCodePoint(std::string& out, uint32_t cp)
{
    static const char hex[] = "0123456789abcdef";
    switch (cp) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    case '\b': out += "\\b"; return;
    case '\f': out += "\\f"; return;
    default: break;
    }
    // JSON allows the two line separators raw, JavaScript did not: escaped, the
    // line is safe for both.
    if (cp == 0x2028 || cp == 0x2029) {
        out += cp == 0x2028 ? "\\u2028" : "\\u2029";
        return;
    }
    if (cp < 0x20) {
        out += "\\u00";
        out += hex[cp >> 4];
        out += hex[cp & 15];
        return;
    }
    TextCodec::AppendUtf8(out, cp);
}

} // namespace

const TextCodec& TextCodec::Instance()
{
    static const TextCodec codec;
    return codec;
}

TextCodec::TextCodec() : toUnicode(65536, 0), toGbk(65536, 0)
{
    iconv_t decode = iconv_open("UCS-4LE", "GBK");
    if (decode == reinterpret_cast<iconv_t>(-1))
        return;
    // Only two-byte codes: a lone byte of 0x80 or above is a lead byte to the engine,
    // so no code point may be written back as one.
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            const char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            unsigned char out[4];
            if (!ConvertOne(decode, in, 2, reinterpret_cast<char*>(out), 4))
                continue;
            const uint32_t cp = out[0] | out[1] << 8 | out[2] << 16 | static_cast<uint32_t>(out[3]) << 24;
            if (cp < 0x80 || cp > 0x10FFFF)
                continue;
            const unsigned code = lead << 8 | trail;
            toUnicode[code] = cp;
            if (cp < 65536 && toGbk[cp] == 0)
                toGbk[cp] = static_cast<uint16_t>(code);
        }
    }
    iconv_close(decode);

    // Punctuation that has look-alike code points: take what the library encodes
    // (several code points to one GBK code) so such text is still analysed as GBK.
    iconv_t encode = iconv_open("GBK", "UCS-4LE");
    if (encode != reinterpret_cast<iconv_t>(-1)) {
        const uint32_t ranges[][2] = {{0x00A0, 0x02FF}, {0x2000, 0x206F}, {0x2100, 0x22FF},
                                      {0x3000, 0x30FF}, {0xFE30, 0xFE4F}, {0xFF00, 0xFFEF}};
        for (const auto& range : ranges) {
            for (uint32_t cp = range[0]; cp <= range[1]; ++cp) {
                if (toGbk[cp] != 0)
                    continue;
                const unsigned char in[4] = {static_cast<unsigned char>(cp), static_cast<unsigned char>(cp >> 8),
                                             static_cast<unsigned char>(cp >> 16), 0};
                unsigned char out[2];
                if (ConvertOne(encode, reinterpret_cast<const char*>(in), 4, reinterpret_cast<char*>(out), 2) &&
                    out[0] >= 0x81 && IsGbkTrail(out[1]))
                    toGbk[cp] = static_cast<uint16_t>(out[0] << 8 | out[1]);
            }
        }
        iconv_close(encode);
    }
    ready = true;
}

int TextCodec::DecodeUtf8(const unsigned char* s, size_t n, uint32_t* cp)
{
    const unsigned char b = s[0];
    if (b < 0x80) {
        *cp = b;
        return 1;
    }
    int length;
    uint32_t value;
    uint32_t minimum;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        value = b & 0x1F;
        minimum = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        value = b & 0x0F;
        minimum = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        value = b & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    for (int i = 1; i < length; ++i) {
        if (static_cast<size_t>(i) >= n)
            return -1;
        if ((s[i] & 0xC0) != 0x80)
            return 0;
        value = value << 6 | (s[i] & 0x3F);
        // Reject overlong and out-of-range forms as soon as the second byte tells.
        if (i == 1) {
            if (length == 3 && b == 0xE0 && s[1] < 0xA0)
                return 0;
            if (length == 3 && b == 0xED && s[1] >= 0xA0) // surrogates
                return 0;
            if (length == 4 && b == 0xF0 && s[1] < 0x90)
                return 0;
            if (length == 4 && b == 0xF4 && s[1] >= 0x90)
                return 0;
        }
    }
    if (value < minimum)
        return 0;
    *cp = value;
    return length;
}

void TextCodec::AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

Encoding TextCodec::Detect(const char* data, size_t length, bool complete)
{
    const unsigned char* s = reinterpret_cast<const unsigned char*>(data);
    bool multiByte = false;
    size_t i = 0;
    while (i < length) {
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        uint32_t cp;
        const int n = DecodeUtf8(s + i, length - i, &cp);
        if (n == 0)
            return Encoding::Gbk;
        if (n < 0) // cut off at the end of the window
            return complete ? Encoding::Gbk : (multiByte ? Encoding::Utf8 : Encoding::Unknown);
        multiByte = true;
        i += static_cast<size_t>(n);
    }
    return multiByte ? Encoding::Utf8 : Encoding::Unknown;
}

void TextCodec::AppendJson(std::string& out, const char* data, size_t length, Encoding enc) const
{
    const unsigned char* s = reinterpret_cast<const unsigned char*>(data);
    size_t i = 0;
    while (i < length) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            if (b >= 0x20 && b != '"' && b != '\\')
                out += static_cast<char>(b);
            else
                AppendJsonCodePoint(out, b);
            ++i;
            continue;
        }
        uint32_t cp = kReplacement;
        if (enc == Encoding::Utf8) {
            const int n = DecodeUtf8(s + i, length - i, &cp);
            if (n > 0 && cp != 0x2028 && cp != 0x2029) {
                out.append(data + i, static_cast<size_t>(n));
                i += static_cast<size_t>(n);
                continue;
            }
            if (n > 0) {
                i += static_cast<size_t>(n);
                AppendJsonCodePoint(out, cp);
                continue;
            }
            cp = kReplacement;
            ++i;
        } else {
            const size_t n = GbkUnitLength(s + i, length - i);
            if (n == 2) {
                const uint32_t decoded = GbkToUnicode(b << 8 | s[i + 1]);
                if (decoded != 0)
                    cp = decoded;
            }
            i += n;
        }
        AppendUtf8(out, cp);
    }
}

void TextCodec::AppendAsUtf8(std::string& out, const char* data, size_t length, Encoding enc) const
{
    if (enc == Encoding::Utf8) {
        out.append(data, length);
        return;
    }
    const unsigned char* s = reinterpret_cast<const unsigned char*>(data);
    size_t i = 0;
    while (i < length) {
        if (s[i] < 0x80) {
            out += static_cast<char>(s[i++]);
            continue;
        }
        const size_t n = GbkUnitLength(s + i, length - i);
        uint32_t cp = n == 2 ? GbkToUnicode(s[i] << 8 | s[i + 1]) : 0;
        AppendUtf8(out, cp != 0 ? cp : kReplacement);
        i += n;
    }
}

size_t TextCodec::AppendUtf8AsGbk(std::string& out, const char* data, size_t length) const
{
    const unsigned char* s = reinterpret_cast<const unsigned char*>(data);
    size_t replaced = 0;
    size_t i = 0;
    while (i < length) {
        if (s[i] < 0x80) {
            out += static_cast<char>(s[i++]);
            continue;
        }
        uint32_t cp = 0;
        const int n = DecodeUtf8(s + i, length - i, &cp);
        const unsigned code = n > 0 ? UnicodeToGbk(cp) : 0;
        if (code == 0) {
            out += '?';
            ++replaced;
        } else {
            out += static_cast<char>(code >> 8);
            out += static_cast<char>(code & 0xFF);
        }
        i += n > 0 ? static_cast<size_t>(n) : 1;
    }
    return replaced;
}
