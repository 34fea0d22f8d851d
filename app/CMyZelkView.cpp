#include "CMyZelkView.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QTextBlock>
#include <QTextCodec>
#include <QTextCursor>
#include <QTextDocument>

#include "CPageViewer.h"
#include "CommandIds.h"
#include "MessageSink.h"
#include "ResultPage.h"
#include "ZelkLog.h"

namespace {

const QString kWordEnd = QStringLiteral("</font>  ");
const QString kParagraph = QStringLiteral("</p><p>");
// Space after a paragraph, as a browser leaves between two.
const qreal kParagraphSpace = 8;

QString Decode(const QByteArray& gbk)
{
    return QTextCodec::codecForName("GBK")->toUnicode(gbk);
}

QString PagePath()
{
    const QString cwd = QDir::currentPath();
    if (QFileInfo(cwd).isWritable())
        return cwd + QStringLiteral("/result.htm");
    // Started where it may not write (a launcher's "/", say): the page goes
    // to Zelk's own folder instead.
    const QString own = ZelkLog::PrivateDir();
    return (own.isEmpty() ? cwd : own) + QStringLiteral("/result.htm");
}

} // namespace

CMyZelkView::CMyZelkView(QWidget* parent) : QTextBrowser(parent), resultPath(PagePath())
{
    setObjectName(QStringLiteral("ResultView"));
    // Links are answered here: the one to the whole page opens a browser.
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &CMyZelkView::OnLinkClicked);
    // A scroll bar that comes and goes would change the width of every line.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Lines wrap at the pane's edge, a word longer than a line inside it.
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    document()->setDocumentMargin(8);
    feeder.setInterval(0);
    connect(&feeder, &QTimer::timeout, this, &CMyZelkView::Feed);
}

void CMyZelkView::OnInitialUpdate()
{
    clear();
}

void CMyZelkView::Refresh()
{
    bool shownWhole = true;
    const QByteArray page = ResultPage::Read(resultPath, shownBytes, ResultUrl(), &shownWhole);
    QByteArray pageWords;
    QByteArray pageEnd;
    ResultPage::Split(page, &pageWords, &pageEnd);
    BeginPage();
    AppendWords(Decode(ResultPage::ForDisplay(pageWords)));
    EndPage(Decode(ResultPage::DisplayEnd(pageEnd, shownWhole && !page.isEmpty() ? ResultUrl() : QUrl())),
            shownWhole);
}

void CMyZelkView::BeginPage()
{
    fresh = true;
    ended = false;
    words.clear();
    wordsAt = 0;
    end.clear();
}

void CMyZelkView::AppendWords(const QString& html)
{
    if (html.isEmpty())
        return;
    words += html;
    feeder.start();
}

void CMyZelkView::EndPage(const QString& html, bool wholePage)
{
    end = html;
    ended = true;
    whole = wholePage;
    feeder.start();
}

void CMyZelkView::Feed()
{
    if (fresh) {
        clear();
        fresh = false;
    }
    if (wordsAt < words.size()) {
        // A slice that ends after a whole word.
        int stop = wordsAt + kSliceChars;
        if (stop >= words.size()) {
            stop = words.size();
        } else {
            const int word = words.indexOf(kWordEnd, stop);
            stop = word < 0 ? words.size() : word + kWordEnd.size();
        }
        InsertWords(words.mid(wordsAt, stop - wordsAt));
        wordsAt = stop;
        if (wordsAt < words.size())
            return;
    }
    words.clear();
    wordsAt = 0;
    feeder.stop();
    if (!ended)
        return; // more words to come
    ended = false;
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    if (!cursor.block().text().trimmed().isEmpty())
        cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    cursor.insertHtml(end);
    end.clear();
    emit PageShown();
}

void CMyZelkView::InsertWords(const QString& html)
{
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    const QVector<QStringRef> paragraphs = html.splitRef(kParagraph);
    for (int i = 0; i < paragraphs.size(); ++i) {
        if (i > 0 && !cursor.block().text().trimmed().isEmpty()) {
            // A paragraph break; an empty paragraph (the second of CR LF, a
            // blank line) takes no room, as in a browser.
            QTextBlockFormat spaced = cursor.blockFormat();
            spaced.setBottomMargin(kParagraphSpace);
            cursor.setBlockFormat(spaced);
            cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
        }
        if (paragraphs.at(i).isEmpty())
            continue;
        cursor.insertHtml(paragraphs.at(i).toString());
        // The rest of a long paragraph goes on in a block of its own, which
        // looks like the next line of the same paragraph.
        if (cursor.block().length() > kBlockChars)
            cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    }
}

void CMyZelkView::OpenWholePage()
{
    // Without a browser the page is shown here when it is small enough to be
    // laid out at once; a larger one would hold the window for long.
    if (QDesktopServices::openUrl(ResultUrl()))
        return;
    if (QFileInfo(resultPath).size() <= shownBytes) {
        CPageViewer::Open(ResultUrl(), window());
        return;
    }
    MessageSink::Current().Show(this, QStringLiteral("No web browser is registered to open %1 (%2 MB).")
                                          .arg(resultPath)
                                          .arg(double(QFileInfo(resultPath).size()) / (1024.0 * 1024.0), 0, 'f', 1));
}

void CMyZelkView::OnLinkClicked(const QUrl& url)
{
    if (url.adjusted(QUrl::RemoveFragment) == ResultUrl())
        OpenWholePage();
    else
        QDesktopServices::openUrl(url);
}

QMenu* CMyZelkView::CreateContextMenu(QWidget* parent)
{
    struct Item {
        const char* text;
        int id;
        const char* name;
        void (QTextEdit::*slot)();
    };
    static const Item items[] = {
        {"Cu&t", ID_EDIT_CUT, "ID_EDIT_CUT", &QTextEdit::cut},
        {"&Copy", ID_EDIT_COPY, "ID_EDIT_COPY", &QTextEdit::copy},
        {"&Paste", ID_EDIT_PASTE, "ID_EDIT_PASTE", &QTextEdit::paste},
    };
    QMenu* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("My menu"));
    for (const Item& item : items) {
        QAction* action = menu->addAction(QString::fromLatin1(item.text));
        action->setObjectName(QString::fromLatin1(item.name));
        action->setData(item.id);
        // The page is read-only: only Copy, and only of a selection.
        action->setEnabled(item.id == ID_EDIT_COPY && textCursor().hasSelection());
        const auto slot = item.slot;
        connect(action, &QAction::triggered, this, [this, slot] { (this->*slot)(); });
    }
    return menu;
}

void CMyZelkView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = CreateContextMenu(this);
    menu->exec(event->globalPos());
    delete menu;
}
