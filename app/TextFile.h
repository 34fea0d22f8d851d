// How a file's bytes become the input pane's text, and how the text goes back
// into a file without losing what the user did not edit.
//
// The encoding is decided as the morv command decides it: from the first byte
// above 0x7F, UTF-8 when the next 64 KiB are valid UTF-8, else GBK. A file
// that is UTF-8 throughout but for a few bytes (a damaged copy, a download
// cut inside its last character) is read as UTF-8 too: read as GBK it would
// show nothing but garbage. Bytes that no character of the chosen encoding
// stands for (and NUL bytes, which an editor cannot hold) become "raw" bytes:
// the text shows U+FFFD for each, and saving writes the bytes back as they
// were.
#ifndef ZELK_TEXTFILE_H
#define ZELK_TEXTFILE_H

#include <QByteArray>
#include <QString>
#include <QVector>

class TextFile {
public:
    enum Encoding { Utf8, Gbk };

    // The most bytes a text may have: its characters must fit into a QString.
    static const int kMaxBytes = (1 << 30) - 4096;

    // Bytes of the file that the text shows as the U+FFFD at position at.
    struct Raw {
        int at = 0;
        QByteArray bytes;
    };

    struct Decoded {
        QString text;          // line breaks as '\n'
        QVector<Raw> raw;      // in text order
        Encoding encoding = Utf8;
        bool ascii = true;     // nothing above 0x7F: both encodings read it alike
        bool bom = false;      // a UTF-8 byte-order mark came first (not part of the text)
        bool crlf = false;     // every line ended with CR LF
        qint64 rawBytes = 0;   // bytes held as raw
        qint64 firstRaw = -1;  // offset of the first of them
    };

    // The encoding of bytes, as above (ASCII-only bytes: Utf8).
    static Encoding Decide(const QByteArray& bytes);
    // The bytes as text, in the encoding Decide gives.
    static Decoded Decode(const QByteArray& bytes);
    static Decoded Decode(const QByteArray& bytes, Encoding encoding);

    // Why bytes are no text to load, or empty: too many of them are raw.
    static QString NotText(const Decoded& decoded, qint64 size);
    // What the user is told after loading path when some bytes are raw (empty
    // when none are).
    static QString Notice(const Decoded& decoded, const QString& path);

    // Why a word list (named name in the reason) cannot be read as text, or
    // empty: a NUL byte, invalid bytes in a list that is otherwise UTF-8, or
    // bytes that are neither UTF-8 nor GBK. The reason gives the line.
    static QString ListProblem(const QByteArray& list, const QString& name);

    // Text (line breaks as '\n') in the given encoding; false when a
    // character has no code in it (GBK). Line breaks become CR LF when crlf.
    static bool Encode(const QString& text, Encoding encoding, bool crlf, QByteArray* out);

    // Whether bytes are valid UTF-8 as a whole; *validBytes and *invalidBytes
    // (when given) count the bytes above 0x7F in valid sequences and the
    // others, read on after each invalid byte.
    static bool ScanUtf8(const char* data, qint64 size, qint64* validBytes = nullptr,
                         qint64* invalidBytes = nullptr, qint64* firstInvalid = nullptr);
    // Whether bytes that are not valid UTF-8 still read as UTF-8 with a few
    // flaws rather than as another encoding: GBK text has at most a few valid
    // UTF-8 bytes per invalid one, damaged UTF-8 many.
    static bool LooksLikeUtf8(const QByteArray& bytes);
    // The offset of the first byte that is not valid GBK (a lead byte without
    // its trail, 0x80, 0xFF, or a pair with no character), or -1.
    static qint64 FirstInvalidGbk(const QByteArray& bytes);
};

#endif
