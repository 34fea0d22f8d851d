#include "ResultPage.h"

#include <QFile>
#include <QTextCodec>
#include <cmath>

namespace {

// The legend and footer the engine writes after the last word fit well in this.
const qint64 kTailBytes = 16 * 1024;

QString Megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1);
}

// The colours the engine writes and what the pane shows for them: the same
// hues, dark enough to read on white.
const struct {
    QRgb engine;
    QRgb shown;
} kColours[] = {
    {0xFF0000, 0xCC0000}, // person names, red
    {0xFF99FF, 0xC2185B}, // place names, light red
    {0xFF00FF, 0xA000A0}, // organisation names, pink
    {0xC0C0C0, 0x666666}, // times, grey
    {0x00FFFF, 0x00727D}, // strings, light blue
};

double Linear(int channel)
{
    const double c = channel / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// The start of the legend, and of the note before it when the page is cut.
const QByteArray kLegend("\t<hr>");
const QByteArray kNoteStart("</p>\n<hr>\n<p><font face=\"Arial\"><b>");
const QByteArray kFooter("<p><font face=\"Arial\">");
const QByteArray kWordEnd("</font>  ");
const QByteArray kParagraph("</p><p>");

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
    const int word = head.lastIndexOf(kWordEnd);
    if (word >= 0)
        return word + kWordEnd.size();
    return head.lastIndexOf('>') + 1;
}

int ResultPage::WordCut(const QByteArray& part)
{
    const int word = part.lastIndexOf(kWordEnd);
    const int paragraph = part.lastIndexOf(kParagraph);
    return qMax(word < 0 ? 0 : word + kWordEnd.size(), paragraph < 0 ? 0 : paragraph + kParagraph.size());
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

void ResultPage::Split(const QByteArray& page, QByteArray* words, QByteArray* end)
{
    int start = page.indexOf("<body>");
    start = start < 0 ? 0 : start + 6;
    if (page.mid(start, 5) == "\n<p>\n")
        start += 5;
    int stop = page.indexOf(kNoteStart, start);
    if (stop < 0)
        stop = page.lastIndexOf(kLegend);
    if (stop < start)
        stop = page.size();
    *words = page.mid(start, stop - start);
    *end = page.mid(stop);
}

double ResultPage::Contrast(const QColor& colour)
{
    const double luminance =
        0.2126 * Linear(colour.red()) + 0.7152 * Linear(colour.green()) + 0.0722 * Linear(colour.blue());
    return 1.05 / (luminance + 0.05);
}

QColor ResultPage::Readable(const QColor& colour)
{
    const QRgb rgb = colour.rgb() & 0xFFFFFF;
    for (const auto& c : kColours)
        if (c.engine == rgb)
            return QColor(c.shown);
    // A colour of no table: darkened until it reads well.
    QColor shown = colour;
    while (Contrast(shown) < kLeastContrast)
        shown = QColor(shown.red() * 9 / 10, shown.green() * 9 / 10, shown.blue() * 9 / 10);
    return shown;
}

QByteArray ResultPage::ForDisplay(const QByteArray& html)
{
    static const QByteArray attribute("color=\"");
    QByteArray shown;
    shown.reserve(html.size() + html.size() / 16);
    int from = 0;
    for (int at = html.indexOf(attribute); at >= 0; at = html.indexOf(attribute, from)) {
        const int value = at + attribute.size();
        const int close = html.indexOf('"', value);
        if (close < 0)
            break;
        shown.append(html.constData() + from, value - from);
        QByteArray hex = html.mid(value, close - value);
        if (hex.startsWith('#'))
            hex.remove(0, 1);
        bool ok = hex.size() == 6;
        const uint rgb = ok ? hex.toUInt(&ok, 16) : 0;
        if (ok)
            shown += Readable(QColor(QRgb(rgb))).name().toUpper().toLatin1();
        else
            shown.append(html.constData() + value, close - value);
        from = close;
    }
    shown.append(html.constData() + from, html.size() - from);
    return shown;
}

QByteArray ResultPage::DisplayEnd(const QByteArray& end, const QUrl& page)
{
    const int legend = qMax(0, end.lastIndexOf(kLegend));
    const int footer = end.indexOf(kFooter, legend);
    QByteArray shown = footer >= 0 ? end.left(footer) : end;
    const int close = shown.indexOf("</body>");
    if (close >= 0)
        shown.truncate(close);
    if (page.isValid()) {
        const QString link = QStringLiteral("<p><font face=\"Arial\">\u5f15\u64ce\u5199\u51fa\u7684\u539f\u59cb\u7ed3"
                                            "\u679c\u9875\uff1a<a href=\"%1\">%2</a></font></p>")
                                 .arg(QString::fromLatin1(page.toEncoded()).toHtmlEscaped(),
                                      page.fileName().toHtmlEscaped());
        shown += QTextCodec::codecForName("GBK")->fromUnicode(link);
    }
    return ForDisplay(shown);
}
