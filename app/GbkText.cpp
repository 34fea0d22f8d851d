#include "GbkText.h"

#include <QStringList>
#include <QTextCodec>

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
