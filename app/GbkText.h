// Conversions between the editor's Unicode text and the GBK bytes the engine
// reads, and the decoding of text files loaded into the editor.
#ifndef ZELK_GBKTEXT_H
#define ZELK_GBKTEXT_H

#include <QByteArray>
#include <QString>

class GbkText {
public:
    // The editor text as the engine takes it: GBK, every line break as CR LF.
    // Characters GBK has no code for come out as '?'; each distinct one is
    // appended to *unencodable (when given) so the caller can say so. The
    // bytes end before a NUL character, where the engine would stop reading.
    static QByteArray ToEngine(const QString& text, QString* unencodable = nullptr);

    // A file's bytes as editor text: UTF-8 when the bytes are valid UTF-8
    // (a byte-order mark is dropped), GBK otherwise. The text ends at the first
    // NUL byte, as an edit control given the bytes would show it; CR LF and
    // lone CR become line feeds. *utf8 (when given) tells which was used.
    static QString FromFile(QByteArray bytes, bool* utf8 = nullptr);

    // Editor text as a file holds it: GBK when gbk is set and every character
    // has a GBK code, UTF-8 otherwise (nothing is ever turned into '?').
    // *savedGbk (when given) tells which was written.
    static QByteArray ToFile(const QString& text, bool gbk, bool* savedGbk = nullptr);

    // A UTF-8 word list (one word at the start of each line) as the GBK list
    // the engine reads. A byte-order mark is dropped; a line holding a
    // character without a GBK code is left out, since such a word could never
    // match the text the engine is given. *dropped counts those lines.
    static QByteArray Utf8ListToGbk(QByteArray utf8, int* dropped = nullptr);

    // Whether bytes hold nothing but 7-bit ASCII (the same in UTF-8 and GBK).
    static bool IsAscii(const QByteArray& bytes);

    // Whether bytes are well-formed UTF-8.
    static bool IsUtf8(const QByteArray& bytes);
};

#endif
