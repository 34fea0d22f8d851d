// The result pane: a browser view showing the page the engine writes.
#ifndef ZELK_CMYZELKVIEW_H
#define ZELK_CMYZELKVIEW_H

#include <QString>
#include <QUrl>
#include <QWebView>

class QMenu;
class ResultPageAccess;

class CMyZelkView : public QWebView {
    Q_OBJECT
public:
    // Pages up to this size are shown whole; of a larger page the pane shows
    // its first part and links to the whole page (about 100,000 characters of
    // text, which the browser lays out in a fraction of a second).
    static const qint64 kShownBytes = 2 * 1024 * 1024;
    // The page reaches the browser in slices of this size, one per turn of the
    // event loop, so that the window answers between them.
    static const int kSliceBytes = 32 * 1024;

    explicit CMyZelkView(QWidget* parent = nullptr);

    // Where the engine writes the page: the working directory at construction
    // followed by "/result.htm".
    const QString& ResultPath() const { return resultPath; }
    QUrl ResultUrl() const { return QUrl::fromLocalFile(resultPath); }

    // The first display of the pane: blank until a Run has written a page
    // (a page left by an earlier session does not belong to the text at hand).
    void OnInitialUpdate();
    // Shows the page at ResultPath() afresh, bypassing any cached copy.
    void Refresh();
    // Whether the page last shown was shown whole (not just its first part).
    bool ShowsWholePage() const;
    // How much of a page is shown (tests lower it).
    void SetShownBytes(qint64 bytes);
    // Opens the whole page in the system's browser.
    void OpenWholePage();

    // The pane's context menu: Cut, Copy, Paste acting on the page.
    QMenu* CreateContextMenu(QWidget* parent);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void OnLinkClicked(const QUrl& url);

    QString resultPath;
    ResultPageAccess* access = nullptr;
};

#endif
