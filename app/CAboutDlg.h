// "About Zelk".
#ifndef ZELK_CABOUTDLG_H
#define ZELK_CABOUTDLG_H

#include <QDialog>
#include <QUrl>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    // page: what the link button (control 1041) leads to. There is no web
    // site to send the reader to, so it is the help page that comes with Zelk.
    explicit CAboutDlg(const QUrl& page, QWidget* parent = nullptr);

signals:
    void LinkActivated(const QUrl& page);
};

#endif
