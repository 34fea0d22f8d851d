#include "CAboutDlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QUrl>
#include <QVariant>

CAboutDlg::CAboutDlg(const QUrl& page, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutDialog"));
    setWindowTitle(QStringLiteral("About Zelk"));

    QLabel* icon = new QLabel;
    icon->setPixmap(windowIcon().isNull()
                        ? style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32)
                        : windowIcon().pixmap(32, 32));
    QLabel* product = new QLabel(QStringLiteral("Zelk, the desktop application of the Morv Chinese lexical analyser"));
    QLabel* maker = new QLabel(QStringLiteral("Written by the Morv developers"));
    QLabel* version = new QLabel(QStringLiteral("Version 3.0"));
    QPushButton* ok = new QPushButton(QStringLiteral("OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    QPushButton* link = new QPushButton(QStringLiteral("Help: %1").arg(page.fileName()));
    link->setObjectName(QStringLiteral("IDC_WEBSITE"));
    link->setProperty("controlId", QVariant(1041));
    link->setFlat(true);
    link->setCursor(Qt::PointingHandCursor);
    connect(link, &QPushButton::clicked, this, [this, page] { emit LinkActivated(page); });

    QGridLayout* layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    layout->addWidget(product, 0, 1);
    layout->addWidget(maker, 1, 1);
    layout->addWidget(version, 2, 1);
    layout->addWidget(link, 3, 1, Qt::AlignLeft);
    layout->addWidget(ok, 0, 2);
}
