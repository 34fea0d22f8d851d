// The file tree on a scratch directory: order, hidden entries, expand buttons,
// lazy loading, refresh, keys and the context menu.
#include <QApplication>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "CFileTreeCtrl.h"
#include "CommandIds.h"
#include "ZelkTestUtil.h"

namespace {

void Touch(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("x");
}

QStringList Labels(const QTreeWidgetItem* item)
{
    QStringList labels;
    for (int i = 0; i < item->childCount(); ++i)
        labels << item->child(i)->text(0);
    return labels;
}

QTreeWidgetItem* Child(QTreeWidgetItem* item, const QString& label)
{
    for (int i = 0; i < item->childCount(); ++i)
        if (item->child(i)->text(0) == label)
            return item->child(i);
    return nullptr;
}

} // namespace

class CFileTreeCtrlTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        dir.reset(new QTemporaryDir);
        QVERIFY(dir->isValid());
        QDir root(dir->path());
        for (const char* d : {"Zdir", "adir", ".hdir", "empty", "onlyhidden", "onlyhiddendir",
                              "onlyhiddendir/.sub", "Bdir"})
            QVERIFY(root.mkpath(QString::fromLatin1(d)));
        for (const char* f : {"b.txt", "A.txt", ".hidden.txt", "adir/one.txt", "onlyhidden/.x",
                              "Zdir/z.txt"})
            Touch(root.filePath(QString::fromLatin1(f)));
        tree.reset(new CFileTreeCtrl);
        tree->SetRoots({dir->path()});
        tree->Refresh();
        QCOMPARE(tree->topLevelItemCount(), 1);
        top = tree->topLevelItem(0);
        QCOMPARE(tree->GetItemPath(top), dir->path());
        top->setExpanded(true);
    }

    void foldersFirstCaseInsensitiveHiddenFilesLeftOut()
    {
        QCOMPARE(Labels(top), (QStringList{".hdir", "adir", "Bdir", "empty", "onlyhidden",
                                           "onlyhiddendir", "Zdir", "A.txt", "b.txt"}));
        QCOMPARE(tree->GetItemPath(Child(top, "adir")), dir->path() + QStringLiteral("/adir"));
    }

    void expandButtons_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("button");
        QTest::newRow("folder with a file") << "adir" << true;
        QTest::newRow("empty folder") << "empty" << false;
        QTest::newRow("only a hidden file") << "onlyhidden" << false;
        QTest::newRow("only a hidden folder") << "onlyhiddendir" << true;
        QTest::newRow("hidden folder, empty") << ".hdir" << false;
        QTest::newRow("file") << "A.txt" << false;
    }
    void expandButtons()
    {
        QFETCH(QString, label);
        QFETCH(bool, button);
        QTreeWidgetItem* item = Child(top, label);
        QVERIFY(item != nullptr);
        QCOMPARE(CFileTreeCtrl::ItemHasChildren(item), button);
        QCOMPARE(item->childCount(), 0); // nothing read before the first expansion
    }

    void childrenAreReadOnceUntilRefresh()
    {
        QTreeWidgetItem* adir = Child(top, "adir");
        adir->setExpanded(true);
        QCOMPARE(Labels(adir), QStringList{"one.txt"});
        Touch(dir->filePath(QStringLiteral("adir/two.txt")));
        adir->setExpanded(false);
        adir->setExpanded(true);
        QCOMPARE(Labels(adir), QStringList{"one.txt"});

        tree->setCurrentItem(adir);
        tree->setFocus();
        QTest::keyClick(tree.data(), Qt::Key_F5);
        QTreeWidgetItem* again = tree->currentItem();
        QVERIFY(again != nullptr);
        QCOMPARE(tree->GetSelectedPath(), dir->path() + QStringLiteral("/adir"));
        QVERIFY(again->isExpanded());
        QCOMPARE(Labels(again), (QStringList{"one.txt", "two.txt"}));
    }

    void refreshReselectsUnexpandedFolderWithoutExpanding()
    {
        tree->setCurrentItem(Child(top, "Zdir"));
        tree->Refresh();
        QCOMPARE(tree->GetSelectedPath(), dir->path() + QStringLiteral("/Zdir"));
        QVERIFY(!tree->currentItem()->isExpanded());
        QCOMPARE(tree->currentItem()->childCount(), 0);
    }

    void selectPathIgnoresCaseWhenNoExactName()
    {
        QVERIFY(tree->SelectPath(dir->path() + QStringLiteral("/ZDIR/Z.TXT"), false));
        QCOMPARE(tree->GetSelectedPath(), dir->path() + QStringLiteral("/Zdir/z.txt"));
        QVERIFY(!tree->SelectPath(dir->path() + QStringLiteral("/nothing"), false));
    }

    void contextMenuEnabling()
    {
        auto states = [this] {
            QScopedPointer<QMenu> menu(tree->CreateContextMenu(nullptr));
            QStringList items;
            for (QAction* a : menu->actions())
                items << QStringLiteral("%1=%2:%3").arg(a->text()).arg(a->data().toInt()).arg(a->isEnabled());
            return items;
        };
        tree->setCurrentItem(nullptr);
        QCOMPARE(states(), (QStringList{"&Open=57601:0", "&Rename=32771:0", "&Delete=32772:0",
                                        "&Properties=32773:0"}));
        tree->setCurrentItem(Child(top, "A.txt"));
        QCOMPARE(states(), (QStringList{"&Open=57601:1", "&Rename=32771:0", "&Delete=32772:0",
                                        "&Properties=32773:1"}));
    }

    void keysOpenAndMove()
    {
        QSignalSpy opened(tree.data(), &CFileTreeCtrl::OpenRequested);
        tree->setFocus();
        QTreeWidgetItem* file = Child(top, "b.txt");
        tree->setCurrentItem(file);
        QTest::keyClick(tree.data(), Qt::Key_Return);
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.at(0).at(0).toString(), dir->path() + QStringLiteral("/b.txt"));
        QTest::keyClick(tree.data(), Qt::Key_Backspace);
        QCOMPARE(tree->currentItem(), top);
        QTest::keyClick(tree.data(), Qt::Key_Backspace); // top level: stays
        QCOMPARE(tree->currentItem(), top);
        tree->setCurrentItem(file);
        QTest::keyClick(tree.data(), Qt::Key_Delete);
        QTest::keyClick(tree.data(), Qt::Key_F2);
        QVERIFY(QFileInfo::exists(dir->filePath(QStringLiteral("b.txt"))));
        QCOMPARE(tree->currentItem(), file);
    }

    void doubleClickOpensFilesOnly()
    {
        tree->resize(400, 600);
        tree->show();
        QVERIFY(QTest::qWaitForWindowExposed(tree.data()));
        QSignalSpy opened(tree.data(), &CFileTreeCtrl::OpenRequested);
        QTreeWidgetItem* folder = Child(top, "adir");
        QTreeWidgetItem* file = Child(top, "A.txt");

        tree->setCurrentItem(folder);
        const QPoint folderAt = tree->visualItemRect(folder).center();
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, folderAt);
        QCOMPARE(opened.size(), 0);
        QVERIFY(folder->isExpanded());

        tree->setCurrentItem(file);
        const QPoint fileAt = tree->visualItemRect(file).center();
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, fileAt);
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.at(0).at(0).toString(), dir->path() + QStringLiteral("/A.txt"));
    }

    void rightClickSelectsOnlyWhileMenuIsShown()
    {
        tree->resize(400, 600);
        tree->show();
        QVERIFY(QTest::qWaitForWindowExposed(tree.data()));
        QTreeWidgetItem* before = Child(top, "adir");
        QTreeWidgetItem* clicked = Child(top, "b.txt");
        tree->setCurrentItem(before);
        QString selectedDuringMenu;
        bool openEnabled = false;
        QTimer::singleShot(100, this, [&] {
            selectedDuringMenu = tree->GetSelectedPath();
            QMenu* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu != nullptr) {
                openEnabled = menu->actions().at(0)->isEnabled();
                menu->close();
            }
        });
        const QPoint at = tree->visualItemRect(clicked).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
        QApplication::sendEvent(tree->viewport(), &event);
        QCOMPARE(selectedDuringMenu, dir->path() + QStringLiteral("/b.txt"));
        QVERIFY(openEnabled);
        QCOMPARE(tree->currentItem(), before);
    }

    void nameOrder_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::newRow("case ignored") << "apple" << "Banana";
        QTest::newRow("ascii before chinese") << "zzz" << QStringLiteral("\u554a");
        // 啊 (B0A1) before 吧 (B0C9) in GBK, although U+554A > U+5427
        QTest::newRow("gbk order") << QStringLiteral("\u554a") << QStringLiteral("\u5427");
        QTest::newRow("underscore before letters") << "_x" << "a";
        QTest::newRow("equal but case") << "ABC" << "abc";
    }
    void nameOrder()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QVERIFY(CFileTreeCtrl::NameLess(a, b));
        QVERIFY(!CFileTreeCtrl::NameLess(b, a));
    }

    void systemRootsStartWithTheRoot()
    {
        QStringList roots = CFileTreeCtrl::SystemRoots();
        QVERIFY(!roots.isEmpty());
        QCOMPARE(roots.first(), QStringLiteral("/"));
        QCOMPARE(roots.removeDuplicates(), 0);
    }

private:
    QScopedPointer<QTemporaryDir> dir;
    QScopedPointer<CFileTreeCtrl> tree;
    QTreeWidgetItem* top = nullptr;
};

QTEST_MAIN(CFileTreeCtrlTest)
#include "CFileTreeCtrlTest.moc"
