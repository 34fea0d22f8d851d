#include "CPageViewer.h"

#include <QDesktopServices>
#include <QTextBrowser>
#include <QVBoxLayout>

CPageViewer::CPageViewer(QWidget* owner) : QWidget(owner, Qt::Window), browser(new QTextBrowser)
{
    setObjectName(QStringLiteral("PageViewer"));
    browser->setObjectName(QStringLiteral("PageBrowser"));
    // Links to other pages are followed here; links elsewhere go to the desktop.
    browser->setOpenExternalLinks(true);
    QVBoxLayout* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser);
    connect(browser, &QTextBrowser::sourceChanged, this, [this] { setWindowTitle(browser->documentTitle()); });
    resize(760, 640);
}

void CPageViewer::ShowPage(const QUrl& url)
{
    browser->setSource(url);
    setWindowTitle(browser->documentTitle().isEmpty() ? url.fileName() : browser->documentTitle());
    show();
    raise();
    activateWindow();
}

CPageViewer* CPageViewer::Open(const QUrl& url, QWidget* owner)
{
    if (QDesktopServices::openUrl(url))
        return nullptr;
    CPageViewer* viewer = owner != nullptr ? owner->findChild<CPageViewer*>(QString(), Qt::FindDirectChildrenOnly)
                                           : nullptr;
    if (viewer == nullptr)
        viewer = new CPageViewer(owner);
    if (owner == nullptr)
        viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->ShowPage(url);
    return viewer;
}
