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

    // A file's bytes as editor text, decoded as TextFile decides (bytes no
    // character stands for show as U+FFFD). *utf8 (when given) tells which
    // encoding was used.
    static QString FromFile(QByteArray bytes, bool* utf8 = nullptr);

    // Editor text as a file holds it: GBK when gbk is set and every character
    // has a GBK code, UTF-8 otherwise (nothing is ever turned into '?').
    // *savedGbk (when given) tells which was written.
    static QByteArray ToFile(const QString& text, bool gbk, bool* savedGbk = nullptr);

    // Whether bytes hold nothing but 7-bit ASCII (the same in UTF-8 and GBK).
    static bool IsAscii(const QByteArray& bytes);

    // Whether bytes are well-formed UTF-8.
    static bool IsUtf8(const QByteArray& bytes);
};

#endif
