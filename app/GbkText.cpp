#include "GbkText.h"

#include <QStringList>
#include <QTextCodec>

#include "TextFile.h"

namespace {

QTextCodec* Gbk()
{
    static QTextCodec* codec = QTextCodec::codecForName("GBK");
    return codec;
}

} // namespace

QByteArray GbkText::ToEngine(const QString& text, QString* unencodable)
{
    QString crlf = text;
    crlf.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    crlf.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    crlf.replace(QLatin1Char('\n'), QLatin1String("\r\n"));

    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    QByteArray bytes = Gbk()->fromUnicode(crlf.constData(), crlf.size(), &state);
    // The engine reads a NUL-terminated string: what follows a NUL never reaches
    // it, so it is not counted either.
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    if (state.invalidChars == 0 || unencodable == nullptr)
        return bytes;

    // Rare path: find the characters (whole surrogate pairs) that had no code.
    for (int i = 0; i < crlf.size(); ++i) {
        int len = (crlf.at(i).isHighSurrogate() && i + 1 < crlf.size()
                   && crlf.at(i + 1).isLowSurrogate()) ? 2 : 1;
        QString ch = crlf.mid(i, len);
        if (!Gbk()->canEncode(ch) && !unencodable->contains(ch))
            unencodable->append(ch);
        i += len - 1;
    }
    return bytes;
}

bool GbkText::IsUtf8(const QByteArray& bytes)
{
    QTextCodec::ConverterState state;
    QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

QString GbkText::FromFile(QByteArray bytes, bool* utf8)
{
    const TextFile::Decoded decoded = TextFile::Decode(bytes);
    if (utf8 != nullptr)
        *utf8 = decoded.encoding == TextFile::Utf8;
    return decoded.text;
}

QByteArray GbkText::ToFile(const QString& text, bool gbk, bool* savedGbk)
{
    if (gbk) {
        QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
        const QByteArray bytes = Gbk()->fromUnicode(text.constData(), text.size(), &state);
        if (state.invalidChars == 0) {
            if (savedGbk != nullptr)
                *savedGbk = true;
            return bytes;
        }
    }
    if (savedGbk != nullptr)
        *savedGbk = false;
    return text.toUtf8();
}

bool GbkText::IsAscii(const QByteArray& bytes)
{
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}
