#include "TextFile.h"

#include <QTextCodec>
#include <QVector>

namespace {

// The morv command decides from this much text after the first byte above 0x7F.
const qint64 kDecideWindow = 64 * 1024;
// Damaged UTF-8 has many valid multi-byte bytes per invalid one; GBK text, read
// as UTF-8, has at most about three.
const qint64 kUtf8PerFlaw = 8;
// More raw bytes than this, or than a twentieth of the file, mean a binary file
// (random bytes read as GBK leave some nine in a hundred raw).
const qint64 kMostRaw = 100000;
const qint64 kFewRaw = 1024;

// The library's decoder is inside it (Zelk uses its public interface only);
// these are the same rules, so that Zelk calls invalid what the engine does.
// Length of the UTF-8 sequence at s (n > 0 bytes there) and its code point
// (when cp is given); 0 when invalid (overlong, surrogate, beyond U+10FFFF, bad continuation), -1
// when valid so far but cut off by the end of the bytes.
int DecodeUtf8(const unsigned char* s, qint64 n, uint* cp)
{
    const unsigned char b = s[0];
    int length;
    uint value;
    uint least;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        value = b & 0x1F;
        least = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        value = b & 0x0F;
        least = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        value = b & 0x07;
        least = 0x10000;
    } else {
        return 0;
    }
    for (int k = 1; k < length; ++k) {
        if (k >= n)
            return -1;
        if ((s[k] & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (s[k] & 0x3F);
        // Reject overlong forms and surrogates as soon as the second byte tells.
        if (k == 1 && length == 3 && ((b == 0xE0 && s[1] < 0xA0) || (b == 0xED && s[1] >= 0xA0)))
            return 0;
        if (k == 1 && length == 4 && ((b == 0xF0 && s[1] < 0x90) || (b == 0xF4 && s[1] >= 0x90)))
            return 0;
    }
    if (value < least || value > 0x10FFFF)
        return 0;
    if (cp != nullptr)
        *cp = value;
    return length;
}

bool IsGbkTrail(unsigned char b)
{
    return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

// The character of every GBK pair (lead * 256 + trail) that converts to one
// character and back to the same pair; 0 for the others, which are kept raw so
// that nothing is written back differently.
const QVector<ushort>& GbkTable()
{
    static const QVector<ushort> table = [] {
        QVector<ushort> t(65536, 0);
        QTextCodec* codec = QTextCodec::codecForName("GBK");
        if (codec == nullptr)
            return t;
        for (int lead = 0x81; lead <= 0xFE; ++lead)
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                if (trail == 0x7F)
                    continue;
                const char pair[2] = {char(lead), char(trail)};
                QTextCodec::ConverterState in(QTextCodec::IgnoreHeader);
                const QString c = codec->toUnicode(pair, 2, &in);
                if (in.invalidChars != 0 || in.remainingChars != 0 || c.size() != 1 || c.at(0) == QChar(0xFFFD))
                    continue;
                QTextCodec::ConverterState out(QTextCodec::IgnoreHeader);
                if (codec->fromUnicode(c.constData(), 1, &out) == QByteArray(pair, 2) && out.invalidChars == 0)
                    t[lead * 256 + trail] = c.at(0).unicode();
            }
        return t;
    }();
    return table;
}

// Builds the decoded text; keeps the count of line ends of each kind.
class TextBuilder {
public:
    TextBuilder(TextFile::Decoded& decoded, qint64 size) : d(decoded)
    {
        d.text.resize(int(qMin<qint64>(size, TextFile::kMaxBytes)));
        w = d.text.data();
    }
    void Char(uint cp)
    {
        if (cp > 0xFFFF) {
            *w++ = QChar(QChar::highSurrogate(cp));
            *w++ = QChar(QChar::lowSurrogate(cp));
        } else {
            *w++ = QChar(ushort(cp));
        }
    }
    void Raw(const unsigned char* s, int n, qint64 offset)
    {
        TextFile::Raw raw;
        raw.at = int(w - d.text.constData());
        raw.bytes = QByteArray(reinterpret_cast<const char*>(s), n);
        d.raw.push_back(raw);
        if (d.firstRaw < 0)
            d.firstRaw = offset;
        d.rawBytes += n;
        *w++ = QChar(0xFFFD);
    }
    // Handles the ASCII byte at s[i] (i < n); returns how many bytes it took.
    int Ascii(const unsigned char* s, qint64 i, qint64 n)
    {
        const unsigned char b = s[i];
        if (b == '\r' && i + 1 < n && s[i + 1] == '\n') {
            ++crlf;
            *w++ = QLatin1Char('\n');
            return 2;
        }
        if (b == '\r' || b == '\n') {
            ++other;
            *w++ = QLatin1Char('\n');
        } else if (b == 0) {
            Raw(s + i, 1, i);
        } else {
            *w++ = QLatin1Char(char(b));
        }
        return 1;
    }
    void Finish()
    {
        d.text.resize(int(w - d.text.constData()));
        d.crlf = crlf > 0 && other == 0;
    }

private:
    TextFile::Decoded& d;
    QChar* w;
    qint64 crlf = 0;
    qint64 other = 0; // lone LF or CR
};

} // namespace

bool TextFile::ScanUtf8(const char* data, qint64 size, qint64* validBytes, qint64* invalidBytes,
                        qint64* firstInvalid)
{
    const unsigned char* s = reinterpret_cast<const unsigned char*>(data);
    qint64 valid = 0, invalid = 0, first = -1;
    for (qint64 i = 0; i < size;) {
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        uint cp = 0;
        const int n = DecodeUtf8(s + i, size - i, &cp);
        if (n > 0) {
            valid += n;
            i += n;
            continue;
        }
        if (first < 0)
            first = i;
        ++invalid;
        ++i;
    }
    if (validBytes != nullptr)
        *validBytes = valid;
    if (invalidBytes != nullptr)
        *invalidBytes = invalid;
    if (firstInvalid != nullptr)
        *firstInvalid = first;
    return invalid == 0;
}

bool TextFile::LooksLikeUtf8(const QByteArray& bytes)
{
    qint64 valid = 0, invalid = 0;
    if (ScanUtf8(bytes.constData(), bytes.size(), &valid, &invalid))
        return true;
    return valid >= 6 && valid >= kUtf8PerFlaw * invalid;
}

qint64 TextFile::FirstInvalidGbk(const QByteArray& bytes)
{
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qint64 n = bytes.size();
    const QVector<ushort>& table = GbkTable();
    for (qint64 i = 0; i < n;) {
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        if (i + 1 >= n || !IsGbkTrail(s[i + 1]) || table.at(s[i] * 256 + s[i + 1]) == 0)
            return i;
        i += 2;
    }
    return -1;
}

TextFile::Encoding TextFile::Decide(const QByteArray& bytes)
{
    const qint64 size = bytes.size();
    qint64 first = 0;
    while (first < size && static_cast<unsigned char>(bytes.at(int(first))) < 0x80)
        ++first;
    if (first == size)
        return Utf8;
    // As the command: the window may end inside a character, the file may not.
    const qint64 end = qMin(size, first + kDecideWindow);
    qint64 valid = 0, invalid = 0, flaw = -1;
    ScanUtf8(bytes.constData() + first, end - first, &valid, &invalid, &flaw);
    // A first flaw that is only a character cut off by the window's end is none.
    const bool cutByWindow = invalid > 0 && end < size
                             && DecodeUtf8(reinterpret_cast<const unsigned char*>(bytes.constData()) + first + flaw,
                                           end - first - flaw, nullptr) < 0;
    if (invalid == 0 || cutByWindow || LooksLikeUtf8(bytes))
        return Utf8;
    return Gbk;
}

TextFile::Decoded TextFile::Decode(const QByteArray& bytes)
{
    return Decode(bytes, Decide(bytes));
}

TextFile::Decoded TextFile::Decode(const QByteArray& bytes, Encoding encoding)
{
    Decoded d;
    d.encoding = encoding;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qint64 n = qMin<qint64>(bytes.size(), kMaxBytes);
    qint64 i = 0;
    if (encoding == Utf8 && bytes.startsWith("\xEF\xBB\xBF")) {
        d.bom = true;
        i = 3;
    }
    TextBuilder out(d, n);
    if (encoding == Utf8) {
        while (i < n) {
            if (s[i] < 0x80) {
                i += out.Ascii(s, i, n);
                continue;
            }
            d.ascii = false;
            uint cp = 0;
            const int len = DecodeUtf8(s + i, n - i, &cp);
            if (len > 0) {
                out.Char(cp);
                i += len;
            } else {
                out.Raw(s + i, 1, i);
                ++i;
            }
        }
    } else {
        const QVector<ushort>& table = GbkTable();
        while (i < n) {
            if (s[i] < 0x80) {
                i += out.Ascii(s, i, n);
                continue;
            }
            d.ascii = false;
            if (s[i] >= 0x81 && s[i] <= 0xFE && i + 1 < n && IsGbkTrail(s[i + 1])) {
                const ushort c = table.at(s[i] * 256 + s[i + 1]);
                if (c != 0)
                    out.Char(c);
                else // a pair without a character: both bytes go together
                    out.Raw(s + i, 2, i);
                i += 2;
            } else {
                out.Raw(s + i, 1, i);
                ++i;
            }
        }
    }
    out.Finish();
    if (d.bom)
        d.ascii = false;
    return d;
}

QString TextFile::NotText(const Decoded& decoded, qint64 size)
{
    if (decoded.rawBytes <= kFewRaw || (decoded.rawBytes <= kMostRaw && decoded.rawBytes * 20 <= size))
        return QString();
    return QStringLiteral("It is not a text file: %1 of its %2 bytes are neither UTF-8 nor GBK text.")
        .arg(decoded.rawBytes)
        .arg(size);
}

QString TextFile::Notice(const Decoded& decoded, const QString& path)
{
    if (decoded.raw.isEmpty())
        return QString();
    const QString how = decoded.encoding == Utf8 ? QStringLiteral("as UTF-8")
                                                 : QStringLiteral("as GBK (it is not UTF-8)");
    const QString what = decoded.encoding == Utf8 ? QStringLiteral("valid UTF-8") : QStringLiteral("valid GBK");
    return QStringLiteral("Read %1 %2, but %3 of its bytes (the first at byte %4) are not %5 or are NUL "
                          "bytes. They show as \uFFFD, and Save writes them back as they were.")
        .arg(path, how)
        .arg(decoded.rawBytes)
        .arg(decoded.firstRaw)
        .arg(what);
}

bool TextFile::Encode(const QString& text, Encoding encoding, bool crlf, QByteArray* out)
{
    if (encoding == Gbk) {
        QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
        *out = QTextCodec::codecForName("GBK")->fromUnicode(text.constData(), text.size(), &state);
        if (state.invalidChars != 0)
            return false;
    } else {
        *out = text.toUtf8();
    }
    // A line feed byte is never part of a multi-byte character in either encoding.
    if (crlf)
        out->replace('\n', QByteArray("\r\n"));
    return true;
}

QString TextFile::ListProblem(const QByteArray& list, const QString& name)
{
    auto at = [&](qint64 offset, const QString& what) {
        const int line = list.left(int(offset)).count('\n') + 1;
        return QStringLiteral("%1:%2: %3 (byte 0x%4 at offset %5)")
            .arg(name)
            .arg(line)
            .arg(what)
            .arg(uint(static_cast<unsigned char>(list.at(int(offset)))), 2, 16, QLatin1Char('0'))
            .arg(offset);
    };
    const int nul = list.indexOf('\0');
    if (nul >= 0)
        return at(nul, QStringLiteral("a NUL byte: this is no text file"));
    qint64 firstInvalid = -1;
    if (ScanUtf8(list.constData(), list.size(), nullptr, nullptr, &firstInvalid))
        return QString();
    if (LooksLikeUtf8(list))
        return at(firstInvalid, QStringLiteral("not valid UTF-8, though the rest of the list is"));
    const qint64 gbk = FirstInvalidGbk(list);
    if (gbk >= 0)
        return at(gbk, QStringLiteral("neither UTF-8 nor GBK text"));
    return QString();
}
