#include "ResultPage.h"

#include <QFile>
#include <QTextCodec>

namespace {

// The legend and footer the engine writes after the last word fit well in this.
const qint64 kTailBytes = 16 * 1024;

QString Megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1);
}

} // namespace

QByteArray ResultPage::Read(const QString& path, qint64 limit, const QUrl& wholePage, bool* whole)
{
    if (whole != nullptr)
        *whole = true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    const qint64 size = file.size();
    if (size <= limit)
        return file.readAll();

    QByteArray head = file.read(limit);
    head.truncate(CutPoint(head));
    QByteArray tail;
    if (file.seek(qMax(limit, size - kTailBytes)))
        tail = file.readAll();
    // The legend starts with the page's last rule.
    const int legend = tail.lastIndexOf("\t<hr>");
    tail = legend >= 0 ? tail.mid(legend) : QByteArrayLiteral("</body></html>");
    if (whole != nullptr)
        *whole = false;
    return head + Note(size, head.size(), wholePage) + tail;
}

int ResultPage::CutPoint(const QByteArray& head)
{
    // Every byte searched for is below 0x40, so no GBK character is split.
    const int paragraph = head.lastIndexOf("</p><p>");
    if (paragraph >= head.size() / 2)
        return paragraph;
    static const QByteArray wordEnd("</font>  ");
    const int word = head.lastIndexOf(wordEnd);
    if (word >= 0)
        return word + wordEnd.size();
    return head.lastIndexOf('>') + 1;
}

QByteArray ResultPage::Note(qint64 pageBytes, qint64 shownBytes, const QUrl& wholePage)
{
    const QString text =
        QStringLiteral("</p>\n<hr>\n<p><font face=\"Arial\"><b>")
        + QStringLiteral("结果页共%1 MB，为了窗口不被长时间占用，这里只显示开头的%2 MB。")
              .arg(Megabytes(pageBytes), Megabytes(shownBytes))
        + QStringLiteral("</b> <a href=\"%1\">").arg(QString::fromLatin1(wholePage.toEncoded()).toHtmlEscaped())
        + QStringLiteral("在浏览器中打开完整的结果页</a></font></p>\n");
    return QTextCodec::codecForName("GBK")->fromUnicode(text);
}
