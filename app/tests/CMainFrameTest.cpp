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
#include <csignal>
#include <ctime>
#include <sys/resource.h>
#include <unistd.h>

#include "CCaptionBar.h"
#include "CFileTreeCtrl.h"
#include "CLeftView.h"
#include "CMainFrame.h"
#include "CMyZelkView.h"
#include "CommandIds.h"
#include "EngineCalls.h"
#include "GbkText.h"
#include "MessageSink.h"
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

// A frame whose Save As dialog answers with saveAsPath (empty: cancelled).
class TestFrame : public CMainFrame {
public:
    QString saveAsPath;
    int saveAsAsked = 0;

protected:
    QString ChooseSaveAsPath() override
    {
        ++saveAsAsked;
        return saveAsPath;
    }
};

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Adds text at the end of the input pane, an edit as typing is.
void Type(CLeftView* view, const QString& text)
{
    view->moveCursor(QTextCursor::End);
    view->textCursor().insertText(text);
}

// Milliseconds of CPU time the calling thread has used.
double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// From the moment the engine returns: the longest time the window's thread
// worked without the event loop firing a timer (CPU time, which the other
// programs on a shared machine do not stretch), and the same in wall time.
QElapsedTimer sinceTick;
double cpuAtTick = 0;
bool engineReturned = false;
double longestStallCpu = 0;
qint64 longestStallWall = 0;

bool TimedWriteHtml(const char* text, const char* path)
{
    const bool ok = EngineWriteHtml(text, path);
    engineReturned = true;
    sinceTick.restart();
    cpuAtTick = ThreadCpuMs();
    return ok;
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
        QApplication::setQuitOnLastWindowClosed(false); // frames are closed here on purpose
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

    void saveWritesTheDocumentLastOpenedOrSavedAs()
    {
        RecordingSink sink;
        TestFrame frame;
        const QString earlier = work.filePath(QStringLiteral("earlier.txt"));
        const QString opened = work.filePath(QStringLiteral("opened.txt"));
        QVERIFY(WriteAll(opened, "opened\n"));

        // Save As makes its file the document.
        frame.saveAsPath = earlier;
        Type(frame.LeftView(), QStringLiteral("first"));
        QVERIFY(frame.Save()); // no document yet: Save asks for a name
        QCOMPARE(frame.saveAsAsked, 1);
        QCOMPARE(frame.DocumentPath(), earlier);
        QCOMPARE(ReadAll(earlier), QByteArray("first"));

        // Open makes the opened file the document: Save writes there, not to the earlier one.
        QVERIFY(frame.OpenIntoEditor(opened));
        QCOMPARE(frame.DocumentPath(), opened);
        Type(frame.LeftView(), QStringLiteral("more"));
        frame.CommandAction(ID_FILE_SAVE)->trigger();
        QCOMPARE(frame.saveAsAsked, 1);
        QCOMPARE(ReadAll(opened), QByteArray("opened\nmore"));
        QCOMPARE(ReadAll(earlier), QByteArray("first"));
        QVERIFY(!frame.LeftView()->document()->isModified());

        // Save As moves the document on.
        const QString renamed = work.filePath(QStringLiteral("renamed.txt"));
        frame.saveAsPath = renamed;
        frame.CommandAction(ID_FILE_SAVE_AS)->trigger();
        QCOMPARE(frame.DocumentPath(), renamed);
        Type(frame.LeftView(), QStringLiteral("!"));
        QVERIFY(frame.Save());
        QCOMPARE(ReadAll(renamed), QByteArray("opened\nmore!"));
        QCOMPARE(ReadAll(opened), QByteArray("opened\nmore"));
        QCOMPARE(frame.RecentFiles().value(0), renamed);
        QVERIFY(sink.messages.isEmpty());
    }

    void savedGbkFileStaysGbk()
    {
        RecordingSink sink;
        TestFrame frame;
        const QString path = work.filePath(QStringLiteral("gbk.txt"));
        QVERIFY(WriteAll(path, "\xD5\xC5\xCE\xB0\xC3\xF7\n")); // 张伟明
        QVERIFY(frame.OpenIntoEditor(path));
        Type(frame.LeftView(), QStringLiteral("\u4e2d")); // 中
        QVERIFY(frame.Save());
        QCOMPARE(ReadAll(path), QByteArray("\xD5\xC5\xCE\xB0\xC3\xF7\n\xD6\xD0"));
    }

    // New, Open, the file tree, the recent list and Exit ask before unsaved
    // changes go; Cancel keeps everything as it was.
    void unsavedChangesAreOfferedForSaving_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("named"); // the text has a file already
        const struct {
            const char* name;
            int answer;
        } answers[] = {{"save", MessageSink::Save}, {"discard", MessageSink::Discard}, {"cancel", MessageSink::Cancel}};
        for (const char* command : {"new", "open", "tree", "recent", "exit"})
            for (const auto& a : answers)
                for (bool named : {false, true})
                    QTest::newRow(qPrintable(QStringLiteral("%1, %2, %3").arg(command, a.name, named ? "named" : "untitled")))
                        << QString::fromLatin1(command) << a.answer << named;
    }
    void unsavedChangesAreOfferedForSaving()
    {
        QFETCH(QString, command);
        QFETCH(int, answer);
        QFETCH(bool, named);
        QTemporaryDir dir;
        const QString document = dir.filePath(QStringLiteral("document.txt"));
        const QString other = dir.filePath(QStringLiteral("other.txt"));
        const QString saveAs = dir.filePath(QStringLiteral("saved-as.txt"));
        QVERIFY(WriteAll(document, "document"));
        QVERIFY(WriteAll(other, "other"));
        RecordingSink sink;
        sink.answer = MessageSink::SaveChoice(answer);
        TestFrame frame;
        frame.saveAsPath = saveAs;
        frame.show();
        if (named)
            QVERIFY(frame.OpenIntoEditor(document));
        frame.SetRecentFiles({other});
        Type(frame.LeftView(), QStringLiteral(" edited"));
        const QString edited = frame.LeftView()->Text();

        bool closed = false;
        if (command == QLatin1String("new"))
            frame.CommandAction(ID_FILE_NEW)->trigger();
        else if (command == QLatin1String("open"))
            frame.OpenIntoEditor(other);
        else if (command == QLatin1String("tree"))
            emit frame.FileTree()->OpenRequested(other);
        else if (command == QLatin1String("recent"))
            frame.CommandAction(ID_FILE_MRU_FILE1)->trigger();
        else
            closed = frame.close();

        QCOMPARE(sink.questions.size(), 1);
        QCOMPARE(sink.questions.at(0),
                 QStringLiteral("Save changes to %1?").arg(named ? document : QStringLiteral("Untitled")));
        const bool dropped = answer != MessageSink::Cancel;
        if (answer == MessageSink::Save)
            QCOMPARE(ReadAll(named ? document : saveAs), edited.toUtf8());
        else
            QVERIFY(named ? ReadAll(document) == "document" : !QFileInfo::exists(saveAs));
        QCOMPARE(frame.saveAsAsked, answer == MessageSink::Save && !named ? 1 : 0);
        if (command == QLatin1String("exit")) {
            QCOMPARE(closed, dropped);
        } else if (!dropped) {
            QCOMPARE(frame.LeftView()->Text(), edited);
            QVERIFY(frame.LeftView()->document()->isModified());
        } else if (command == QLatin1String("new")) {
            QCOMPARE(frame.LeftView()->Text(), QString());
            QVERIFY(frame.DocumentPath().isEmpty());
        } else {
            QCOMPARE(frame.LeftView()->Text(), QStringLiteral("other"));
            QCOMPARE(frame.DocumentPath(), other);
        }
        QCOMPARE(frame.RecentFiles().contains(other), true); // a cancelled open keeps the entry
        QVERIFY(sink.messages.isEmpty());
    }

    void unchangedTextGoesWithoutAsking()
    {
        RecordingSink sink;
        TestFrame frame;
        frame.show();
        const QString path = work.filePath(QStringLiteral("plain.txt"));
        QVERIFY(WriteAll(path, "plain"));
        QVERIFY(frame.OpenIntoEditor(path));
        frame.CommandAction(ID_FILE_NEW)->trigger();
        QVERIFY(frame.close());
        QVERIFY(sink.questions.isEmpty());
    }

    // A save that fails leaves the old file whole, says so, and drops nothing.
    void failedSaveKeepsTheOldFile_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::newRow("disk full") << "full";
        QTest::newRow("read-only directory") << "read-only";
        QTest::newRow("directory gone") << "gone";
    }
    void failedSaveKeepsTheOldFile()
    {
        QFETCH(QString, failure);
        if (failure == QLatin1String("read-only") && ::geteuid() == 0)
            QSKIP("root writes into read-only directories");
        QTemporaryDir dir;
        const QString sub = dir.filePath(QStringLiteral("sub"));
        QVERIFY(QDir().mkpath(sub));
        const QString path = sub + QStringLiteral("/text.txt");
        QVERIFY(WriteAll(path, "old text"));
        RecordingSink sink;
        sink.answer = MessageSink::Save;
        TestFrame frame;
        frame.show();
        QVERIFY(frame.OpenIntoEditor(path));
        Type(frame.LeftView(), QString(64 * 1024, QLatin1Char('x')));

        struct rlimit saved;
        ::getrlimit(RLIMIT_FSIZE, &saved);
        auto previous = std::signal(SIGXFSZ, SIG_IGN);
        if (failure == QLatin1String("full")) {
            struct rlimit small = saved;
            small.rlim_cur = 16 * 1024; // writes past this fail as on a full disk
            QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        } else if (failure == QLatin1String("read-only")) {
            QVERIFY(QFile::setPermissions(sub, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        } else {
            QVERIFY(QDir(sub).removeRecursively());
        }
        const bool saved1 = frame.Save();
        const bool closed = frame.close(); // Exit: asks, the save fails again, the window stays
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        QFile::setPermissions(sub, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

        QVERIFY(!saved1);
        QVERIFY(!closed);
        QCOMPARE(sink.messages.size(), 2);
        QVERIFY2(sink.messages.at(0).startsWith(QStringLiteral("Cannot save %1.").arg(path)),
                 qPrintable(sink.messages.at(0)));
        QVERIFY(frame.LeftView()->document()->isModified());
        if (failure != QLatin1String("gone")) {
            QCOMPARE(ReadAll(path), QByteArray("old text"));
            QCOMPARE(QDir(sub).entryList(QDir::Files | QDir::Hidden), QStringList(QStringLiteral("text.txt")));
        }
        // Once the disk has room again, the same Save works.
        if (failure == QLatin1String("full")) {
            QVERIFY(frame.Save());
            QCOMPARE(ReadAll(path).size(), 8 + 64 * 1024);
        }
    }

    void utf8WordListReachesTheEngineAsGbk()
    {
        FakeEngine fake;
        fake.importResult = 2;
        RecordingSink sink;
        CMainFrame frame;
        const QString list = work.filePath(QStringLiteral("utf8-list.txt"));
        // 张伟明 nr / 😀 (no GBK code) / 中文
        const QByteArray utf8("\xE5\xBC\xA0\xE4\xBC\x9F\xE6\x98\x8E nr\n\xF0\x9F\x98\x80\n\xE4\xB8\xAD\xE6\x96\x87\n");
        QVERIFY(WriteAll(list, utf8));
        frame.ImportUserDict(list);
        QCOMPARE(fake.importCalls, 1);
        QCOMPARE(fake.lastListBytes, QByteArray("\xD5\xC5\xCE\xB0\xC3\xF7 nr\n\xD6\xD0\xCE\xC4\n"));
        const QString handed = QString::fromLocal8Bit(fake.lastList);
        QVERIFY(handed != list);
        QVERIFY2(!QFileInfo::exists(handed), qPrintable(handed)); // removed afterwards
        QCOMPARE(ReadAll(list), utf8); // the user's list untouched
        QCOMPARE(sink.messages, QStringList(QStringLiteral(
            "\u7528\u6237\u8bcd\u5178\u5bfc\u5165\u6210\u529f\uff08\u5171\u5bfc\u5165"
            "2\u6761\uff09\uff0c\u7ec6\u8282\u5177\u4f53\u89c1\u65e5\u5fd7\u6587\u4ef6!")));
    }

    void gbkAndAsciiWordListsGoAsTheyAre_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("gbk") << QByteArray("\xD5\xC5\xCE\xB0\xC3\xF7\n");
        QTest::newRow("ascii") << QByteArray("Morv nz\nZelk\n");
    }
    void gbkAndAsciiWordListsGoAsTheyAre()
    {
        QFETCH(QByteArray, bytes);
        FakeEngine fake;
        RecordingSink sink;
        CMainFrame frame;
        const QString list = work.filePath(QStringLiteral("list.txt"));
        QVERIFY(WriteAll(list, bytes));
        frame.ImportUserDict(list);
        QCOMPARE(QString::fromLocal8Bit(fake.lastList), list);
        QCOMPARE(fake.lastListBytes, bytes);
    }

    // From the moment the engine returns, the window goes on handling events
    // while a large result page is shown.
    void runOnLargeTextKeepsTheWindowResponsive()
    {
        if (!HaveModels())
            QSKIP("no trained models in the build (bin/Morv)");
        const QString sample = SampleText();
        const int sampleBytes = GbkText::ToEngine(sample).size();
        QVERIFY(sampleBytes > 0);
#ifdef MORV_SANITIZED
        // The sanitizers make the engine some twenty times slower (the new
        // stages five times more); an eighth of the text still gives a page far
        // beyond what is shown whole.
        const int textBytes = 512 * 1024;
#else
        const int textBytes = 4 * 1024 * 1024;
#endif
        const QString text = sample.repeated(textBytes / sampleBytes + 1);
        QTemporaryDir dir;
        const QString base = CopyModels(dir);
        QVERIFY(!base.isEmpty());
        QDir::setCurrent(dir.path());
        QVERIFY(EngineInit(QFile::encodeName(base).constData()));
        {
            CMainFrame frame;
            frame.show();
            frame.LeftView()->SetText(text);
            QVERIFY(QTest::qWaitForWindowExposed(&frame));
            QTimer tick;
            tick.setInterval(10);
            connect(&tick, &QTimer::timeout, [] {
                const double cpu = ThreadCpuMs();
                if (engineReturned) {
                    longestStallCpu = std::max(longestStallCpu, cpu - cpuAtTick);
                    longestStallWall = std::max(longestStallWall, sinceTick.elapsed());
                }
                cpuAtTick = cpu;
                sinceTick.restart();
            });
            engineReturned = false;
            longestStallCpu = 0;
            longestStallWall = 0;
            EngineCalls::Current().writeHtml = TimedWriteHtml;
            QSignalSpy loaded(frame.ResultView(), &QWebView::loadFinished);
            tick.start();
            frame.OnRun();
            QVERIFY(engineReturned);
            QVERIFY(loaded.wait(60000));
            QTest::qWait(500); // shown and painted
            tick.stop();
            EngineCalls::Reset();

            QVERIFY(GbkText::ToEngine(frame.LeftView()->Text()).size() >= textBytes);
            qInfo("longest stall after the engine returned: %.0f ms CPU, %lld ms wall", longestStallCpu,
                  longestStallWall);
            QVERIFY2(longestStallCpu < 200, qPrintable(QStringLiteral("stalled %1 ms").arg(longestStallCpu)));
            QVERIFY(!frame.ResultView()->ShowsWholePage());
            const QString page = frame.ResultView()->page()->mainFrame()->toPlainText();
            QVERIFY(page.contains(QStringLiteral("\u5f20\u4f1f\u660e/nr")));
            QVERIFY(page.contains(QStringLiteral("\u56fe\u4f8b\u8bf4\u660e"))); // the legend
            QVERIFY(!frame.ResultView()->page()->mainFrame()->findFirstElement(QStringLiteral("a")).isNull());
        }
        EngineExit();
        QDir::setCurrent(work.path());
    }

private:
    QTemporaryDir work;
    QString savedDir;
};

QTEST_MAIN(CMainFrameTest)
#include "CMainFrameTest.moc"
