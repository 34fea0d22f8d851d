#include "CMyZelkView.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QMenu>
#include <QNetworkRequest>
#include <QUrl>
#include <QWebFrame>
#include <QWebSettings>

#include "CommandIds.h"
#include "ResultPageAccess.h"

CMyZelkView::CMyZelkView(QWidget* parent)
    : QWebView(parent), resultPath(QDir::currentPath() + QStringLiteral("/result.htm"))
{
    setObjectName(QStringLiteral("ResultView"));
    access = new ResultPageAccess(resultPath, kShownBytes, kSliceBytes, this);
    page()->setNetworkAccessManager(access);
    // A scroll bar that comes and goes changes the page's width, and the
    // browser then lays out everything loaded so far again in one go.
    page()->mainFrame()->setScrollBarPolicy(Qt::Vertical, Qt::ScrollBarAlwaysOn);
    // Links are followed here, but the one to the whole page opens the browser.
    page()->setLinkDelegationPolicy(QWebPage::DelegateAllLinks);
    connect(this, &QWebView::linkClicked, this, &CMyZelkView::OnLinkClicked);
}

void CMyZelkView::OnInitialUpdate()
{
    setHtml(QString());
}

void CMyZelkView::Refresh()
{
    // The page keeps its file name from run to run; make sure the new one is read.
    QWebSettings::clearMemoryCaches();
    QNetworkRequest request(ResultUrl());
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    load(request);
}

bool CMyZelkView::ShowsWholePage() const
{
    return access->LastShownWhole();
}

void CMyZelkView::SetShownBytes(qint64 bytes)
{
    access->SetShownBytes(bytes);
}

void CMyZelkView::OpenWholePage()
{
    QDesktopServices::openUrl(ResultUrl());
}

void CMyZelkView::OnLinkClicked(const QUrl& url)
{
    if (url.adjusted(QUrl::RemoveFragment) == ResultUrl())
        OpenWholePage();
    else
        load(url);
}

QMenu* CMyZelkView::CreateContextMenu(QWidget* parent)
{
    struct Item {
        const char* text;
        int id;
        const char* name;
        QWebPage::WebAction action;
    };
    static const Item items[] = {
        {"Cu&t", ID_EDIT_CUT, "ID_EDIT_CUT", QWebPage::Cut},
        {"&Copy", ID_EDIT_COPY, "ID_EDIT_COPY", QWebPage::Copy},
        {"&Paste", ID_EDIT_PASTE, "ID_EDIT_PASTE", QWebPage::Paste},
    };
    QMenu* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("My menu"));
    for (const Item& item : items) {
        QAction* action = menu->addAction(QString::fromLatin1(item.text));
        action->setObjectName(QString::fromLatin1(item.name));
        action->setData(item.id);
        action->setEnabled(pageAction(item.action)->isEnabled());
        QWebPage::WebAction web = item.action;
        connect(action, &QAction::triggered, this, [this, web] { triggerPageAction(web); });
    }
    return menu;
}

void CMyZelkView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = CreateContextMenu(this);
    menu->exec(event->globalPos());
    delete menu;
}
