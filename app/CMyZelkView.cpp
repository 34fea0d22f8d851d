#include "CMyZelkView.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDir>
#include <QMenu>
#include <QUrl>
#include <QWebSettings>

#include "CommandIds.h"

CMyZelkView::CMyZelkView(QWidget* parent)
    : QWebView(parent), resultPath(QDir::currentPath() + QStringLiteral("/result.htm"))
{
    setObjectName(QStringLiteral("ResultView"));
}

void CMyZelkView::OnInitialUpdate()
{
    load(QUrl::fromLocalFile(resultPath));
}

void CMyZelkView::Refresh()
{
    // The page keeps its file name from run to run; make sure the new one is read.
    QWebSettings::clearMemoryCaches();
    load(QUrl::fromLocalFile(resultPath));
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
