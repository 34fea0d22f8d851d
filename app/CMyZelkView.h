// The result pane: the page the engine writes, as a read-only rich-text view
// (it runs no scripts and loads nothing from the network, whatever the page
// holds), with readable colours (ResultPage). A page is laid out in slices,
// one per turn of the event loop, so that the window keeps answering while a
// long result builds up.
#ifndef ZELK_CMYZELKVIEW_H
#define ZELK_CMYZELKVIEW_H

#include <QString>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>

class QMenu;

class CMyZelkView : public QTextBrowser {
    Q_OBJECT
public:
    // Pages up to this size are shown whole; of a larger page the pane shows
    // its first part and links to the whole page (about 100,000 characters of
    // text, which the pane lays out in a few seconds, a slice at a time).
    static const qint64 kShownBytes = 2 * 1024 * 1024;
    // The pane takes this much of the page's markup per turn of the event loop.
    static const int kSliceChars = 8 * 1024;
    // A paragraph longer than this goes on in a block of its own: the pane
    // lays out a whole block again whenever it grows.
    static const int kBlockChars = 2048;

    explicit CMyZelkView(QWidget* parent = nullptr);

    // Where the engine writes the page: the working directory at construction
    // followed by "/result.htm" (when the working directory cannot be
    // written, Zelk's own folder instead).
    const QString& ResultPath() const { return resultPath; }
    QUrl ResultUrl() const { return QUrl::fromLocalFile(resultPath); }

    // The first display of the pane: blank until a Run has written a page
    // (a page left by an earlier session does not belong to the text at hand).
    void OnInitialUpdate();
    // Shows the page at ResultPath() afresh.
    void Refresh();
    // Whether the page last shown was shown whole (not just its first part).
    bool ShowsWholePage() const { return whole; }
    // How much of a page is shown (tests lower it).
    void SetShownBytes(qint64 bytes) { shownBytes = bytes; }
    qint64 ShownBytes() const { return shownBytes; }
    // Opens the whole page in the system's browser (or, when small enough
    // and there is none, in a window of Zelk's own).
    void OpenWholePage();

    // A page as a Run makes it: the words come in pieces (markup as the pane
    // shows it), then the end (note and legend). The page shown before stays
    // until the first piece comes; PageShown() once the end is laid out.
    void BeginPage();
    void AppendWords(const QString& html);
    void EndPage(const QString& html, bool wholePage);
    // Whether markup is still waiting to be laid out.
    bool IsBusy() const { return feeder.isActive(); }

    // The pane's context menu: Cut, Copy, Paste acting on the page.
    QMenu* CreateContextMenu(QWidget* parent);

signals:
    void PageShown();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void OnLinkClicked(const QUrl& url);
    // Lays out the next slice of what is waiting.
    void Feed();
    void InsertWords(const QString& html);

    QString resultPath;
    qint64 shownBytes = kShownBytes;
    bool whole = true;
    bool fresh = false;      // the next words start a new page
    bool ended = false;      // the end of the page is waiting
    QString words;           // words waiting, from wordsAt on
    int wordsAt = 0;
    QString end;
    QTimer feeder;
};

#endif
