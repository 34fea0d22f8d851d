// The result pane: a browser view showing the page the engine writes.
#ifndef ZELK_CMYZELKVIEW_H
#define ZELK_CMYZELKVIEW_H

#include <QString>
#include <QWebView>

class QMenu;

class CMyZelkView : public QWebView {
    Q_OBJECT
public:
    explicit CMyZelkView(QWidget* parent = nullptr);

    // Where the engine writes the page: the working directory at construction
    // followed by "/result.htm".
    const QString& ResultPath() const { return resultPath; }

    // Shows the page at ResultPath() (the first display of the pane).
    void OnInitialUpdate();
    // Reloads the page from disk, bypassing any cached copy.
    void Refresh();

    // The pane's context menu: Cut, Copy, Paste acting on the page.
    QMenu* CreateContextMenu(QWidget* parent);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QString resultPath;
};

#endif
