// The file tree of the "Workspace" bar: file-system roots and mounted volumes,
// their folders and files, read lazily one folder at a time.
#ifndef ZELK_CFILETREECTRL_H
#define ZELK_CFILETREECTRL_H

#include <QDir>
#include <QFileIconProvider>
#include <QStringList>
#include <QTreeWidget>

class QMenu;

class CFileTreeCtrl : public QTreeWidget {
    Q_OBJECT
public:
    explicit CFileTreeCtrl(QWidget* parent = nullptr);

    // The top-level paths; by default SystemRoots(). Takes effect at the next Refresh().
    void SetRoots(const QStringList& roots);
    // "/" and every mounted volume on a block device.
    static QStringList SystemRoots();

    // The full path of an item, built from the labels on its way to the top.
    QString GetItemPath(const QTreeWidgetItem* item) const;
    // The selected item's path; empty when nothing is selected.
    QString GetSelectedPath() const;

    // Rebuilds the tree and selects the previously selected path again,
    // expanded when its children had been loaded.
    void Refresh();
    // Expands the way down to path and selects it (expanding it when asked).
    // False when some component is not found.
    bool SelectPath(const QString& path, bool expand);

    // The context menu with Open, Rename, Delete and Properties enabled by the
    // rules for the current selection.
    QMenu* CreateContextMenu(QWidget* parent);

    // Whether the item shows an expand button or holds children.
    static bool ItemHasChildren(const QTreeWidgetItem* item);

    // Orders names as the tree does: two-byte characters as units, ASCII
    // letters without regard to case.
    static bool NameLess(const QString& a, const QString& b);

    // Which files are listed and which commands work; fixed in this program.
    bool showFiles = true;
    bool allowOpen = true;
    bool allowProperties = true;
    bool allowRename = false;
    bool allowDelete = false;
    bool allowDrag = false;

signals:
    // A file was chosen to be opened into the input pane.
    void OpenRequested(const QString& path);

public slots:
    void OnOpen();
    void OnProperties();
    void OnSelectParent();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void InsertRoots();
    QTreeWidgetItem* InsertItem(QTreeWidgetItem* parent, const QString& path, const QString& label);
    void LoadChildren(QTreeWidgetItem* item);
    QDir::Filters EntryFilters() const;
    bool PathHasChildren(const QString& path) const;
    QTreeWidgetItem* FindChild(QTreeWidgetItem* parent, const QString& label) const;
    void ShowContextMenu(const QPoint& globalPos);
    QIcon IconFor(const QString& path, bool root) const;

    QStringList roots;
    bool customRoots = false;
    QFileIconProvider iconProvider;
};

#endif
