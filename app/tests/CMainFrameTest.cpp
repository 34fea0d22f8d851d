// The main frame: menus, bars and texts, the Run, import and help commands.
#include <QDir>
#include <QDockWidget>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolBar>
#include <QWebElement>
#include <QWebFrame>
#include <QtTest>

#include "CCaptionBar.h"
#include "CFileTreeCtrl.h"
#include "CLeftView.h"
#include "CMainFrame.h"
#include "CMyZelkView.h"
#include "CommandIds.h"
#include "EngineCalls.h"
#include "ZelkTestUtil.h"
#include "engine/Engine.h"

namespace {

// The items of a menu as "text" or "-" for a separator.
QStringList MenuItems(const QMenu* menu)
{
    QStringList items;
    for (const QAction* a : menu->actions())
        items << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return items;
}

// The note that follows the timing line, by code point.
const QString kNote = QStringLiteral(
    "\u6ce8\u610f\uff1a\u8fd9\u91cc\u7684\u6d4b\u8bd5\u901f\u5ea6\u504f\u4f4e\uff0c\u5927\u90e8"
    "\u5206\u65f6\u95f4\u7528\u4e8e\u8f93\u51fa\u5230\u4e86HTML\u683c\u5f0f\uff0c\u8bf7\u8bbf"
    "\u95ee\u6211\u4eec\u7684\u7f51\u7ad9\u83b7\u53d6\u6700\u65b0\u7684\u6d4b\u8bd5\u7ed3\u679c");

// "文本长度为<n> BYTE,处理用时<s>秒\r\n" + note; returns n, or -1 when the text differs.
int ReportedLength(const QString& report)
{
    static const QRegularExpression line(QStringLiteral(
        "^\u6587\u672c\u957f\u5ea6\u4e3a(\\d+) BYTE,\u5904\u7406\u7528\u65f6\\d+\\.\\d{6}\u79d2\r\n"));
    const QRegularExpressionMatch m = line.match(report);
    if (!m.hasMatch() || report.mid(m.capturedLength()) != kNote)
        return -1;
    return m.captured(1).toInt();
}

// Copies the trained models to dir/Morv; returns that path, empty on failure.
QString CopyModels(const QTemporaryDir& dir)
{
    const QString base = dir.filePath(QStringLiteral("Morv"));
    if (!QDir().mkpath(base + QStringLiteral("/Data"))
        || !QFile::copy(QStringLiteral(MORV_MODEL_DIR "/Configure.xml"), base + QStringLiteral("/Configure.xml")))
        return QString();
    for (const QString& name : QDir(QStringLiteral(MORV_MODEL_DIR "/Data")).entryList(QDir::Files))
        if (!QFile::copy(QStringLiteral(MORV_MODEL_DIR "/Data/") + name, base + QStringLiteral("/Data/") + name))
            return QString();
    return base;
}

} // namespace

class CMainFrameTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        IsolateSettings();
        savedDir = QDir::currentPath();
        QVERIFY(work.isValid());
        QVERIFY(QDir::setCurrent(work.path()));
    }
    void cleanupTestCase() { QDir::setCurrent(savedDir); }

    void menusHoldTheirEntries()
    {
        CMainFrame frame;
        QStringList titles;
        for (QAction* a : frame.menuBar()->actions())
            titles << a->text();
        QCOMPARE(titles, (QStringList{"&File", "&Edit", "&View", "Zelk", "&Help"}));
        const QList<QAction*> tops = frame.menuBar()->actions();
        QCOMPARE(MenuItems(tops[0]->menu()),
                 (QStringList{"&New", "&Open...", "&Save", "Save &As...", "-", "&Print...",
                              "P&rint Setup...", "-", "Recent File", "-", "E&xit"}));
        QCOMPARE(MenuItems(tops[1]->menu()),
                 (QStringList{"&Undo", "-", "Cu&t", "&Copy", "&Paste"}));
        QCOMPARE(MenuItems(tops[2]->menu()), (QStringList{"&Toolbars", "&Status Bar", "Refresh"}));
        QCOMPARE(MenuItems(tops[3]->menu()), (QStringList{"Run", "-", "Import User Dictionary..."}));
        QCOMPARE(MenuItems(tops[4]->menu()),
                 (QStringList{"Content", "API Manual", "-", "&About Zelk..."}));
    }

    void commandIdsAndShortcuts_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("keys");
        QTest::newRow("New") << 57600 << "&New" << "Ctrl+N";
        QTest::newRow("Open") << 57601 << "&Open..." << "Ctrl+O";
        QTest::newRow("Save") << 57603 << "&Save" << "Ctrl+S";
        QTest::newRow("Save As") << 57604 << "Save &As..." << "";
        QTest::newRow("Print") << 57607 << "&Print..." << "Ctrl+P";
        QTest::newRow("Print Setup") << 57606 << "P&rint Setup..." << "";
        QTest::newRow("Recent") << 57616 << "Recent File" << "";
        QTest::newRow("Exit") << 57665 << "E&xit" << "";
        QTest::newRow("Undo") << 57643 << "&Undo" << "Ctrl+Z|Alt+Backspace";
        QTest::newRow("Cut") << 57635 << "Cu&t" << "Ctrl+X|Shift+Del";
        QTest::newRow("Copy") << 57634 << "&Copy" << "Ctrl+C|Ctrl+Ins";
        QTest::newRow("Paste") << 57637 << "&Paste" << "Ctrl+V|Shift+Ins";
        QTest::newRow("Toolbars") << 32771 << "&Toolbars" << "";
        QTest::newRow("Status Bar") << 59393 << "&Status Bar" << "";
        QTest::newRow("Refresh") << 32823 << "Refresh" << "";
        QTest::newRow("Run") << 32826 << "Run" << "";
        QTest::newRow("Import") << 32827 << "Import User Dictionary..." << "";
        QTest::newRow("Content") << 32829 << "Content" << "";
        QTest::newRow("API") << 32828 << "API Manual" << "";
        QTest::newRow("About") << 57664 << "&About Zelk..." << "";
        QTest::newRow("Next pane") << 57680 << "Next Pane" << "F6";
        QTest::newRow("Previous pane") << 57681 << "Previous Pane" << "Shift+F6";
    }
    void commandIdsAndShortcuts()
    {
        QFETCH(int, id);
        QFETCH(QString, text);
        QFETCH(QString, keys);
        CMainFrame frame;
        QAction* action = frame.CommandAction(id);
        QVERIFY(action != nullptr);
        QCOMPARE(action->text(), text);
        QStringList shortcuts;
        for (const QKeySequence& k : action->shortcuts())
            shortcuts << k.toString(QKeySequence::PortableText);
        QCOMPARE(shortcuts.join('|'), keys);
    }

    void barMenuTogglesBars()
    {
        CMainFrame frame;
        frame.show();
        QScopedPointer<QMenu> menu(frame.CreateBarMenu(&frame));
        QCOMPARE(MenuItems(menu.data()),
                 (QStringList{"Standard Toolbar", "&Workspace", "&Output", "&Caption Bar", "-",
                              "&Customize..."}));
        QList<int> ids;
        for (QAction* a : menu->actions())
            if (!a->isSeparator())
                ids << a->data().toInt();
        QCOMPARE(ids, (QList<int>{59392, 32803, 32804, 32816, 32770}));

        QAction* output = menu->actions().at(2);
        QVERIFY(output->isChecked());
        output->trigger();
        QVERIFY(frame.OutputBar()->isHidden());
        menu.reset(frame.CreateBarMenu(&frame));
        QVERIFY(!menu->actions().at(2)->isChecked());
        menu->actions().at(2)->trigger();
        QVERIFY(!frame.OutputBar()->isHidden());
        QVERIFY(menu->actions().at(2)->isChecked());

        menu->actions().at(3)->trigger();
        QVERIFY(frame.CaptionBar()->isHidden());
        menu->actions().at(0)->trigger();
        QVERIFY(frame.StandardToolBar()->isHidden());
    }

    void barsPanesAndTexts()
    {
        CMainFrame frame;
        QCOMPARE(frame.WorkspaceBar()->windowTitle(), QStringLiteral("Workspace"));
        QCOMPARE(frame.OutputBar()->windowTitle(), QStringLiteral("Output"));
        QCOMPARE(frame.StandardToolBar()->windowTitle(), QStringLiteral("Standard"));
        QCOMPARE(frame.CaptionBar()->Text(),
                 QStringLiteral("Zelk input(Left) and output(Right) area"));
        QCOMPARE(frame.dockWidgetArea(frame.WorkspaceBar()), Qt::LeftDockWidgetArea);
        QCOMPARE(frame.dockWidgetArea(frame.OutputBar()), Qt::BottomDockWidgetArea);

        auto* tabs = qobject_cast<QTabWidget*>(frame.OutputBar()->widget());
        QVERIFY(tabs != nullptr);
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->tabText(0), QStringLiteral("\u7cfb\u7edf\u4fe1\u606f"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("\u8bcd\u6027\u89e3\u91ca"));
        QVERIFY(frame.SystemInfoPane()->isReadOnly());
        QVERIFY(frame.TagExplanationPane()->isReadOnly());
        auto* workspace = qobject_cast<QTabWidget*>(frame.WorkspaceBar()->widget());
        QCOMPARE(workspace->tabText(0), QStringLiteral("File Tree View"));
        QCOMPARE(workspace->widget(0), static_cast<QWidget*>(frame.FileTree()));

        const QString explanation = QStringLiteral(
            "n \u540d\u8bcd\r\n\tnr \u4eba\u540d\r\n\t\tnr1 \u6c49\u8bed\u59d3\u6c0f\r\n"
            "\t\tnr2 \u6c49\u8bed\u540d\u5b57\r\n\t\tnrj \u65e5\u8bed\u4eba\u540d\r\n"
            "\t\tnrf \u97f3\u8bd1\u4eba\u540d\r\n\tns \u5730\u540d\r\n"
            "\t\tnsf \u97f3\u8bd1\u5730\u540d\r\n\tnt \u673a\u6784\u56e2\u4f53\u540d\r\n"
            "\tnz \u5176\u5b83\u4e13\u540d\r\n\tnl \u540d\u8bcd\u6027\u60ef\u7528\u8bed\r\n"
            "\tng \u540d\u8bcd\u6027\u8bed\u7d20\r\nt \u65f6\u95f4\u8bcd\r\n"
            "\ttg \u65f6\u95f4\u8bcd\u6027\u8bed\u7d20");
        QCOMPARE(CMainFrame::TagExplanationText(), explanation);
        QCOMPARE(frame.TagExplanationPane()->toPlainText(),
                 QString(explanation).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));

        QStringList panes;
        for (const char* name : {"MessagePane", "CAP", "NUM", "SCRL"})
            panes << frame.statusBar()->findChild<QLabel*>(QString::fromLatin1(name))->text();
        QCOMPARE(panes, (QStringList{"Ready", "CAP", "NUM", "SCRL"}));
        QVERIFY(frame.LeftView()->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff);
        QCOMPARE(frame.LeftView()->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QCOMPARE(frame.ResultView()->ResultPath(), work.path() + QStringLiteral("/result.htm"));
    }

    void runHandsGbkWithCrLfAndReportsLength_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QString() << QByteArray();
        QTest::newRow("ascii lines") << QStringLiteral("ab\ncd\n") << QByteArray("ab\r\ncd\r\n");
        // 中文 in GBK
        QTest::newRow("chinese") << QStringLiteral("\u4e2d\u6587") << QByteArray("\xD6\xD0\xCE\xC4");
        QTest::newRow("full-width punctuation")
            << QStringLiteral("\u201c\u4e00\u201d\u3002") << QByteArray("\xA1\xB0\xD2\xBB\xA1\xB1\xA1\xA3");
    }
    void runHandsGbkWithCrLfAndReportsLength()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        FakeEngine fake;
        CMainFrame frame;
        frame.LeftView()->setPlainText(text);
        frame.CommandAction(ID_ZELK_RUN)->trigger();
        QCOMPARE(fake.writeCalls, 1);
        QCOMPARE(fake.lastText, bytes);
        QCOMPARE(QString::fromLocal8Bit(fake.lastPath), frame.ResultView()->ResultPath());
        QCOMPARE(ReportedLength(frame.LastRunReport()), bytes.size());
        QCOMPARE(frame.SystemInfoPane()->toPlainText(),
                 QString(frame.LastRunReport()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    }

    void runTwiceShowsOnlyTheLatestLine()
    {
        FakeEngine fake;
        CMainFrame frame;
        frame.LeftView()->setPlainText(QStringLiteral("abc"));
        frame.OnRun();
        frame.LeftView()->setPlainText(QStringLiteral("abcdef"));
        frame.OnRun();
        QCOMPARE(ReportedLength(frame.LastRunReport()), 6);
        QCOMPARE(frame.SystemInfoPane()->toPlainText().count(QStringLiteral("BYTE")), 1);
    }

    void failedRunLeavesOutputUnchanged()
    {
        FakeEngine fake;
        CMainFrame frame;
        frame.LeftView()->setPlainText(QStringLiteral("abc"));
        frame.OnRun();
        const QString before = frame.SystemInfoPane()->toPlainText();
        fake.writeResult = false;
        frame.LeftView()->setPlainText(QStringLiteral("abcdef"));
        frame.OnRun();
        QCOMPARE(fake.writeCalls, 2);
        QCOMPARE(frame.SystemInfoPane()->toPlainText(), before);
    }

    void charactersWithoutGbkCodeAreReported()
    {
        FakeEngine fake;
        CMainFrame frame;
        // GBK has no code for Hangul syllables nor for emoji.
        frame.LeftView()->setPlainText(QStringLiteral("a\U0001F600b\uD55Cc"));
        frame.OnRun();
        QCOMPARE(fake.lastText.count('?'), 2);
        QVERIFY(!fake.lastText.contains('\0'));
        const QString report = frame.LastRunReport();
        QVERIFY2(report.contains(QStringLiteral("GBK")), qPrintable(report));
        QVERIFY(report.contains(QStringLiteral("\U0001F600")));
        QVERIFY(report.contains(QStringLiteral("\uD55C")));
        QVERIFY(frame.SystemInfoPane()->toPlainText().contains(QStringLiteral("\U0001F600")));
    }

    void runShowsFakePageInResultPane()
    {
        FakeEngine fake;
        CMainFrame frame;
        frame.LeftView()->setPlainText(QStringLiteral("xyz"));
        QSignalSpy loaded(frame.ResultView(), &QWebView::loadFinished);
        frame.OnRun();
        QVERIFY(loaded.wait(10000) || !loaded.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(
            frame.ResultView()->page()->mainFrame()->toPlainText().contains(QStringLiteral("fake page")),
            10000);
    }

    void runOnSampleWithRealModels()
    {
        if (!HaveModels())
            QSKIP("no trained models in the build (bin/Morv)");
        const QString sample = SampleText();
        QVERIFY(!sample.isEmpty());
        // The engine base is the working directory's Morv; a copy keeps its log
        // away from other tests that use the models.
        QTemporaryDir dir;
        const QString base = CopyModels(dir);
        QVERIFY(!base.isEmpty());
        QDir::setCurrent(dir.path());
        QVERIFY(EngineInit(QFile::encodeName(base).constData()));
        {
            CMainFrame frame;
            frame.LeftView()->setPlainText(sample);
            QSignalSpy loaded(frame.ResultView(), &QWebView::loadFinished);
            frame.OnRun();
            const int n = ReportedLength(frame.LastRunReport());
            QCOMPARE(n, frame.LeftView()->EngineText().size());
            QVERIFY(QFileInfo(frame.ResultView()->ResultPath()).size() > 0);
            QTRY_VERIFY_WITH_TIMEOUT(frame.ResultView()->page()->mainFrame()->toPlainText().contains(
                                         QStringLiteral("\u5f20\u4f1f\u660e")),
                                     10000);
            const QString page = frame.ResultView()->page()->mainFrame()->toPlainText();
            QVERIFY2(page.contains(QStringLiteral("\u5f20\u4f1f\u660e/nr")), qPrintable(page.left(200)));

            // The page writes some colours without "#"; the view must still show them.
            int legacy = 0;
            const QWebElementCollection fonts =
                frame.ResultView()->page()->mainFrame()->findAllElements(QStringLiteral("font[color]"));
            for (const QWebElement& font : fonts) {
                QString hex = font.attribute(QStringLiteral("color"));
                if (hex.startsWith(QLatin1Char('#')))
                    hex.remove(0, 1);
                else
                    ++legacy;
                const QColor expected(QLatin1Char('#') + hex);
                const QString shown = font.styleProperty(QStringLiteral("color"), QWebElement::ComputedStyle);
                QCOMPARE(shown, QStringLiteral("rgb(%1, %2, %3)")
                                    .arg(expected.red()).arg(expected.green()).arg(expected.blue()));
            }
            QVERIFY(legacy > 0);

            frame.LeftView()->clear();
            frame.OnRun();
            QCOMPARE(ReportedLength(frame.LastRunReport()), 0);
        }
        EngineExit();
        QDir::setCurrent(work.path());
    }

    void importWithRealModels()
    {
        if (!HaveModels())
            QSKIP("no trained models in the build (bin/Morv)");
        // The import writes UserDict.pdat into the data directory: use a copy.
        QTemporaryDir dir;
        const QString base = CopyModels(dir);
        QVERIFY(!base.isEmpty());
        QVERIFY(EngineInit(QFile::encodeName(base).constData()));
        {
            RecordingSink sink;
            CMainFrame frame;
            const QString list = dir.filePath(QStringLiteral("UserLexicon.txt"));
            QFile file(list);
            QVERIFY(file.open(QIODevice::WriteOnly));
            // three words no dictionary has: 甲乙丙丁戊, 莫尔夫泽尔克, 词法分析器壳 (GBK)
            file.write("\xBC\xD7\xD2\xD2\xB1\xFB\xB6\xA1\xCE\xEC nz 10\n"
                       "\xC4\xAA\xB6\xFB\xB7\xF2\xD4\xF3\xB6\xFB\xBF\xCB\n"
                       "\xB4\xCA\xB7\xA8\xB7\xD6\xCE\xF6\xC6\xF7\xBF\xC7\n");
            file.close();
            frame.ImportUserDict(list);
            QCOMPARE(sink.messages.size(), 1);
            QCOMPARE(sink.messages.at(0), QStringLiteral(
                "\u7528\u6237\u8bcd\u5178\u5bfc\u5165\u6210\u529f\uff08\u5171\u5bfc\u5165"
                "3\u6761\uff09\uff0c\u7ec6\u8282\u5177\u4f53\u89c1\u65e5\u5fd7\u6587\u4ef6!"));
            QVERIFY(QFileInfo::exists(base + QStringLiteral("/Data/UserDict.pdat")));

            // Words the core dictionary holds add nothing: 的, 是
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write("\xB5\xC4\n\xCA\xC7\n");
            file.close();
            frame.ImportUserDict(list);
            QCOMPARE(sink.messages.size(), 2);
            QVERIFY(sink.messages.at(1).startsWith(QStringLiteral("\u7528\u6237\u8bcd\u5178\u5bfc\u5165\u5931\u8d25")));
        }
        EngineExit();
    }

    void importReportsCountOrFailure_data()
    {
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("message");
        QTest::newRow("three words") << 3 << QStringLiteral(
            "\u7528\u6237\u8bcd\u5178\u5bfc\u5165\u6210\u529f\uff08\u5171\u5bfc\u5165"
            "3\u6761\uff09\uff0c\u7ec6\u8282\u5177\u4f53\u89c1\u65e5\u5fd7\u6587\u4ef6!");
        QTest::newRow("none") << 0 << QStringLiteral(
            "\u7528\u6237\u8bcd\u5178\u5bfc\u5165\u5931\u8d25\uff0c\u9519\u8bef\u4fe1\u606f"
            "\u89c1\u65e5\u5fd7\u6587\u4ef6!");
    }
    void importReportsCountOrFailure()
    {
        QFETCH(int, result);
        QFETCH(QString, message);
        FakeEngine fake;
        fake.importResult = result;
        RecordingSink sink;
        CMainFrame frame;
        const QString list = work.filePath(QStringLiteral("UserLexicon.txt"));
        QFile file(list);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\xD5\xC5\xCE\xB0\xC3\xF7\n");
        file.close();
        frame.ImportUserDict(list);
        QCOMPARE(fake.importCalls, 1);
        QCOMPARE(QString::fromLocal8Bit(fake.lastList), list);
        QCOMPARE(sink.messages, QStringList(message));
    }

    void importOfMissingFileSaysNothing()
    {
        FakeEngine fake;
        RecordingSink sink;
        CMainFrame frame;
        frame.ImportUserDict(work.filePath(QStringLiteral("gone.txt")));
        frame.ImportUserDict(work.path()); // a folder is no word list
        QCOMPARE(fake.importCalls, 0);
        QVERIFY(sink.messages.isEmpty());
    }

    void importOnStoppedEngineFails()
    {
        // The real engine, never started: it takes no word.
        RecordingSink sink;
        CMainFrame frame;
        const QString list = work.filePath(QStringLiteral("words.txt"));
        QFile file(list);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("abc\n");
        file.close();
        frame.ImportUserDict(list);
        QCOMPARE(sink.messages.size(), 1);
        QVERIFY(sink.messages.at(0).startsWith(QStringLiteral("\u7528\u6237\u8bcd\u5178\u5bfc\u5165\u5931\u8d25")));
    }

    void helpPagesLieBelowTheFrameDirectory()
    {
        UrlRecorder recorder;
        CMainFrame frame;
        QTemporaryDir elsewhere;
        QDir::setCurrent(elsewhere.path()); // later changes do not move the pages
        frame.CommandAction(ID_HELP_CONTENT)->trigger();
        frame.CommandAction(ID_HELP_API)->trigger();
        QDir::setCurrent(work.path());
        QCOMPARE(recorder.urls.size(), 2);
        QCOMPARE(recorder.urls.at(0).toLocalFile(), work.path() + QStringLiteral("/Zelk_Help.htm"));
        QCOMPARE(recorder.urls.at(1).toLocalFile(),
                 work.path() + QStringLiteral("/Morv/MANUAL/Zelk_API.htm"));
    }

    void helpPagesAreInstalledBesideTheProgram()
    {
        QVERIFY(QFileInfo::exists(QStringLiteral(MORV_BINARY_DIR "/bin/Zelk_Help.htm")));
        QVERIFY(QFileInfo::exists(QStringLiteral(MORV_MODEL_DIR "/MANUAL/Zelk_API.htm")));
    }

    void fileTreeOpenLoadsIntoEditorAndRecentList()
    {
        CMainFrame frame;
        const QString path = work.filePath(QStringLiteral("tree.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("from the tree");
        file.close();
        frame.LeftView()->setPlainText(QStringLiteral("old"));
        emit frame.FileTree()->OpenRequested(path);
        QCOMPARE(frame.LeftView()->toPlainText(), QStringLiteral("from the tree"));
        emit frame.FileTree()->OpenRequested(work.path()); // a folder: nothing changes
        QCOMPARE(frame.LeftView()->toPlainText(), QStringLiteral("from the tree"));

        QVERIFY(frame.OpenIntoEditor(path));
        QCOMPARE(frame.RecentFiles(), QStringList(path));
        QAction* first = frame.CommandAction(ID_FILE_MRU_FILE1);
        QVERIFY(first != nullptr);
        QCOMPARE(first->text(), QStringLiteral("&1 ") + path);
        frame.SetRecentFiles({"a", "b", "c", "d", "e"});
        QCOMPARE(frame.RecentFiles().size(), 4);
    }

private:
    QTemporaryDir work;
    QString savedDir;
};

QTEST_MAIN(CMainFrameTest)
#include "CMainFrameTest.moc"
