// "About Zelk".
#ifndef ZELK_CABOUTDLG_H
#define ZELK_CABOUTDLG_H

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    static const char* const kWebSite;
};

#endif
