#include "CFileTreeCtrl.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QStorageInfo>
#include <QStyle>
#include <QTextCodec>
#include <QTimer>
#include <algorithm>

#include "CPropertiesDialog.h"
#include "CommandIds.h"

namespace {

const QChar kSeparator = QLatin1Char('/');

// The wait cursor for the length of a folder read.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

// Suspends redrawing for the length of a batch of insertions.
class NoRedraw {
public:
    explicit NoRedraw(QWidget* widget) : widget(widget), was(widget->updatesEnabled())
    {
        widget->setUpdatesEnabled(false);
    }
    ~NoRedraw() { widget->setUpdatesEnabled(was); }

private:
    QWidget* widget;
    bool was;
};

// Sort key of a name: each character's GBK code (ASCII letters lowered), so
// Chinese names keep their customary order; characters without a GBK code
// come after all others, by code point.
QVector<uint> SortKey(const QString& name)
{
    static QTextCodec* gbk = QTextCodec::codecForName("GBK");
    QVector<uint> key;
    const QVector<uint> points = name.toUcs4();
    key.reserve(points.size());
    for (uint cp : points) {
        if (cp < 0x80) {
            key.push_back(cp >= 'A' && cp <= 'Z' ? cp + ('a' - 'A') : cp);
            continue;
        }
        QString ch = QString::fromUcs4(&cp, 1);
        QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
        QByteArray bytes = gbk->fromUnicode(ch.constData(), ch.size(), &state);
        if (state.invalidChars == 0 && bytes.size() == 2)
            key.push_back((uchar(bytes[0]) << 8) | uchar(bytes[1]));
        else
            key.push_back(0x10000 + cp);
    }
    return key;
}

bool SameName(const QString& a, const QString& b)
{
    return SortKey(a) == SortKey(b);
}

} // namespace

CFileTreeCtrl::CFileTreeCtrl(QWidget* parent) : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("FileTree"));
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(allowDrag);
    setIconSize(QSize(16, 16));
    setUniformRowHeights(true);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    iconProvider.setOptions(QFileIconProvider::DontUseCustomDirectoryIcons);

    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
        if (item->childCount() == 0)
            LoadChildren(item);
    });
    // Fill the tree once the window exists, from the event loop.
    QTimer::singleShot(0, this, [this] {
        if (topLevelItemCount() == 0)
            Refresh();
    });
}

void CFileTreeCtrl::SetRoots(const QStringList& newRoots)
{
    roots = newRoots;
    customRoots = true;
}

QStringList CFileTreeCtrl::SystemRoots()
{
    QStringList result;
    result << QDir::rootPath();
    QStringList mounts;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady() || volume.isRoot())
            continue;
        if (!volume.device().startsWith("/dev/"))
            continue;
        const QString path = volume.rootPath();
        if (!result.contains(path) && !mounts.contains(path))
            mounts << path;
    }
    std::sort(mounts.begin(), mounts.end(), NameLess);
    return result + mounts;
}

bool CFileTreeCtrl::NameLess(const QString& a, const QString& b)
{
    const QVector<uint> ka = SortKey(a);
    const QVector<uint> kb = SortKey(b);
    if (ka != kb)
        return std::lexicographical_compare(ka.begin(), ka.end(), kb.begin(), kb.end());
    return a < b; // names equal but for case: keep a fixed order
}

QString CFileTreeCtrl::GetItemPath(const QTreeWidgetItem* item) const
{
    QString path;
    for (; item != nullptr; item = item->parent()) {
        const QString label = item->text(0);
        if (path.isEmpty())
            path = label;
        else if (label.endsWith(kSeparator))
            path = label + path;
        else
            path = label + kSeparator + path;
    }
    return path;
}

QString CFileTreeCtrl::GetSelectedPath() const
{
    const QTreeWidgetItem* item = currentItem();
    return item != nullptr && item->isSelected() ? GetItemPath(item) : QString();
}

bool CFileTreeCtrl::ItemHasChildren(const QTreeWidgetItem* item)
{
    return item->childCount() > 0
           || item->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator;
}

QIcon CFileTreeCtrl::IconFor(const QString& path, bool root) const
{
    QFileInfo info(path);
    QIcon normal = root ? iconProvider.icon(QFileIconProvider::Drive) : iconProvider.icon(info);
    if (normal.isNull())
        return normal;
    if (!info.isDir() || root)
        return normal;
    // Folders show their "open" icon while selected.
    QIcon icon;
    icon.addPixmap(normal.pixmap(16, 16), QIcon::Normal);
    icon.addPixmap(style()->standardIcon(QStyle::SP_DirOpenIcon).pixmap(16, 16), QIcon::Selected);
    return icon;
}

QDir::Filters CFileTreeCtrl::EntryFilters() const
{
    // Hidden entries are listed so that hidden folders count; hidden files are
    // dropped by the callers.
    QDir::Filters filters = QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot;
    if (showFiles)
        filters |= QDir::Files;
    return filters;
}

bool CFileTreeCtrl::PathHasChildren(const QString& path) const
{
    QDirIterator it(path, EntryFilters());
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isDir() || (info.isFile() && !info.isHidden()))
            return true;
    }
    return false;
}

QTreeWidgetItem* CFileTreeCtrl::InsertItem(QTreeWidgetItem* parent, const QString& path,
                                           const QString& label)
{
    const QIcon icon = IconFor(path, parent == nullptr);
    if (icon.isNull())
        return nullptr;
    QTreeWidgetItem* item = new QTreeWidgetItem(QStringList(label));
    item->setIcon(0, icon);
    item->setChildIndicatorPolicy(PathHasChildren(path)
                                      ? QTreeWidgetItem::ShowIndicator
                                      : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    if (parent != nullptr)
        parent->addChild(item);
    else
        addTopLevelItem(item);
    return item;
}

void CFileTreeCtrl::InsertRoots()
{
    WaitCursor wait;
    clear();
    if (!customRoots)
        roots = SystemRoots();
    for (const QString& root : roots)
        InsertItem(nullptr, root, root);
}

void CFileTreeCtrl::LoadChildren(QTreeWidgetItem* item)
{
    WaitCursor wait;
    NoRedraw noRedraw(this);
    qDeleteAll(item->takeChildren());

    const QString path = GetItemPath(item);
    QStringList folders;
    QStringList files;
    QDirIterator it(path, EntryFilters());
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isDir())
            folders << info.fileName(); // hidden folders too
        else if (info.isFile() && !info.isHidden())
            files << info.fileName();
    }
    std::sort(folders.begin(), folders.end(), NameLess);
    std::sort(files.begin(), files.end(), NameLess);
    const QString prefix = path.endsWith(kSeparator) ? path : path + kSeparator;
    for (const QString& name : folders)
        InsertItem(item, prefix + name, name);
    for (const QString& name : files)
        InsertItem(item, prefix + name, name);
    if (item->childCount() == 0)
        item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

void CFileTreeCtrl::Refresh()
{
    NoRedraw noRedraw(this);
    const QTreeWidgetItem* selected = currentItem();
    const QString path = selected != nullptr ? GetItemPath(selected) : QString();
    const bool expanded = selected != nullptr && selected->childCount() > 0;
    InsertRoots();
    if (!path.isEmpty())
        SelectPath(path, expanded);
}

QTreeWidgetItem* CFileTreeCtrl::FindChild(QTreeWidgetItem* parent, const QString& label) const
{
    const int count = parent != nullptr ? parent->childCount() : topLevelItemCount();
    auto at = [&](int i) { return parent != nullptr ? parent->child(i) : topLevelItem(i); };
    // The exact name first: on a case-sensitive file system "a" and "A" may both exist.
    for (int i = 0; i < count; ++i)
        if (at(i)->text(0) == label)
            return at(i);
    for (int i = 0; i < count; ++i)
        if (SameName(at(i)->text(0), label))
            return at(i);
    return nullptr;
}

bool CFileTreeCtrl::SelectPath(const QString& pathIn, bool expand)
{
    QString path = pathIn;
    if (path.size() > 1 && path.endsWith(kSeparator))
        path.chop(1);
    NoRedraw noRedraw(this);

    // The top-level item is the longest root the path lies in.
    QTreeWidgetItem* root = nullptr;
    QString rest;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = topLevelItem(i);
        const QString label = item->text(0);
        QString remainder;
        if (path == label || (label.endsWith(kSeparator) && path + kSeparator == label))
            remainder = QString();
        else if (path.startsWith(label.endsWith(kSeparator) ? label : label + kSeparator))
            remainder = path.mid(label.endsWith(kSeparator) ? label.size() : label.size() + 1);
        else
            continue;
        if (root == nullptr || label.size() > root->text(0).size()) {
            root = item;
            rest = remainder;
        }
    }
    if (root == nullptr)
        return false;

    QTreeWidgetItem* item = root;
    const QStringList parts = rest.split(kSeparator, Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (item->childCount() == 0)
            LoadChildren(item);
        item->setExpanded(true);
        item = FindChild(item, part);
        if (item == nullptr)
            return false;
    }
    setCurrentItem(item);
    if (expand)
        item->setExpanded(true);
    scrollToItem(item);
    return true;
}

QMenu* CFileTreeCtrl::CreateContextMenu(QWidget* parent)
{
    const bool selected = !GetSelectedPath().isEmpty();
    struct Item {
        const char* text;
        int id;
        const char* name;
        bool enabled;
        void (CFileTreeCtrl::*slot)();
    };
    const Item items[] = {
        {"&Open", ID_TREE_OPEN, "ID_TREE_OPEN", allowOpen && selected, &CFileTreeCtrl::OnOpen},
        {"&Rename", ID_TREE_RENAME, "ID_TREE_RENAME", allowRename && selected, nullptr},
        {"&Delete", ID_TREE_DELETE, "ID_TREE_DELETE", allowDelete && selected, nullptr},
        {"&Properties", ID_TREE_PROPERTIES, "ID_TREE_PROPERTIES", allowProperties && selected,
         &CFileTreeCtrl::OnProperties},
    };
    QMenu* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("FileTreeMenu"));
    for (const Item& item : items) {
        QAction* action = menu->addAction(QString::fromLatin1(item.text));
        action->setObjectName(QString::fromLatin1(item.name));
        action->setData(item.id);
        action->setEnabled(item.enabled);
        if (item.slot != nullptr)
            connect(action, &QAction::triggered, this, item.slot);
    }
    return menu;
}

void CFileTreeCtrl::ShowContextMenu(const QPoint& globalPos)
{
    QPointer<QMenu> menu = CreateContextMenu(this);
    menu->exec(globalPos);
    delete menu;
}

void CFileTreeCtrl::OnOpen()
{
    const QString path = GetSelectedPath();
    if (allowOpen && !path.isEmpty())
        emit OpenRequested(path);
}

void CFileTreeCtrl::OnProperties()
{
    const QString path = GetSelectedPath();
    if (!allowProperties || path.isEmpty())
        return;
    CPropertiesDialog dialog(path, window());
    dialog.exec();
}

void CFileTreeCtrl::OnSelectParent()
{
    QTreeWidgetItem* item = currentItem();
    if (item != nullptr && item->parent() != nullptr)
        setCurrentItem(item->parent());
}

void CFileTreeCtrl::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (event->modifiers() & Qt::AltModifier)
            OnProperties();
        else
            OnOpen();
        return;
    case Qt::Key_Backspace:
        OnSelectParent();
        return;
    case Qt::Key_F5:
        Refresh();
        return;
    case Qt::Key_Delete:
    case Qt::Key_F2:
        return;
    case Qt::Key_F10:
        if (event->modifiers() & Qt::ShiftModifier) {
            QTreeWidgetItem* item = currentItem();
            QPoint at = item != nullptr ? visualItemRect(item).center() : QPoint(0, 0);
            ShowContextMenu(viewport()->mapToGlobal(at));
            return;
        }
        break;
    default:
        break;
    }
    QTreeWidget::keyPressEvent(event);
}

void CFileTreeCtrl::mousePressEvent(QMouseEvent* event)
{
    // A right click selects only while its menu is shown (contextMenuEvent).
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void CFileTreeCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTreeWidgetItem* hit = itemAt(event->pos());
    const bool leaf = hit != nullptr && hit == currentItem() && !ItemHasChildren(hit);
    // A folder not read yet has a button but no child items, which the view
    // would not expand on a double click by itself.
    const bool unread = hit != nullptr && hit->childCount() == 0 && ItemHasChildren(hit);
    QTreeWidget::mouseDoubleClickEvent(event);
    if (unread && event->button() == Qt::LeftButton && itemsExpandable())
        hit->setExpanded(!hit->isExpanded());
    if (leaf && event->button() == Qt::LeftButton)
        OnOpen();
}

void CFileTreeCtrl::contextMenuEvent(QContextMenuEvent* event)
{
    if (event->reason() != QContextMenuEvent::Mouse) {
        ShowContextMenu(event->globalPos());
        return;
    }
    // Select the item under the cursor while the menu is up, so the chosen
    // command acts on it, then give the earlier selection back.
    QPointer<QTreeWidget> self(this);
    QTreeWidgetItem* before = currentItem();
    const bool beforeSelected = before != nullptr && before->isSelected();
    QTreeWidgetItem* hit = itemAt(event->pos());
    if (hit != nullptr) {
        setCurrentItem(hit);
    } else {
        clearSelection();
        setCurrentItem(nullptr);
    }
    ShowContextMenu(event->globalPos());
    if (!self)
        return;
    if (before != nullptr && beforeSelected) {
        setCurrentItem(before);
    } else {
        clearSelection();
        setCurrentItem(nullptr);
    }
}
