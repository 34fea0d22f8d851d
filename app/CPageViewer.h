// A window of Zelk's own that shows a local HTML page (a help page, a small
// result page) when the desktop has no browser to open it with.
#ifndef ZELK_CPAGEVIEWER_H
#define ZELK_CPAGEVIEWER_H

#include <QUrl>
#include <QWidget>

class QTextBrowser;

class CPageViewer : public QWidget {
    Q_OBJECT
public:
    explicit CPageViewer(QWidget* owner = nullptr);

    // Shows the page at url (a local file).
    void ShowPage(const QUrl& url);
    QTextBrowser* Browser() const { return browser; }

    // Opens url with the desktop's browser; when there is none, shows it in
    // the viewer window of owner (made on first use). Returns the viewer
    // used, or nullptr when the browser took the page.
    static CPageViewer* Open(const QUrl& url, QWidget* owner);

private:
    QTextBrowser* browser;
};

#endif
