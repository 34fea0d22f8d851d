// Zelk: the desktop application of the Morv lexical analyser.
#include <QApplication>

#include "CMyZelkApp.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    CMyZelkApp zelk;
    if (!zelk.InitInstance(QApplication::arguments().mid(1))) {
        zelk.ExitInstance();
        return 1;
    }
    const int code = app.exec();
    zelk.ExitInstance();
    return code;
}
