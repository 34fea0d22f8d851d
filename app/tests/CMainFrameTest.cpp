// The main frame: menus, bars and texts, the Run, import and help commands.
#include <QDir>
#include <QDockWidget>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCodec>
#include <QToolBar>
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
#include "CPageViewer.h"
#include "CommandIds.h"
#include "EngineCalls.h"
#include "GbkText.h"
#include "MessageSink.h"
#include "ResultPage.h"
#include "ZelkLog.h"
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

// "文本长度为<n> BYTE,处理用时<s>秒\r\n" and nothing else (the note that
// followed it named a web site that does not exist); returns n, or -1 when
// the text differs.
int ReportedLength(const QString& report)
{
    static const QRegularExpression line(QStringLiteral(
        "^\u6587\u672c\u957f\u5ea6\u4e3a(\\d+) BYTE,\u5904\u7406\u7528\u65f6\\d+\\.\\d{6}\u79d2\r\n$"));
    const QRegularExpressionMatch m = line.match(report);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

const QString kImportFailed = QStringLiteral(
    "\u7528\u6237\u8bcd\u5178\u5bfc\u5165\u5931\u8d25\uff0c\u9519\u8bef\u4fe1\u606f\u89c1\u65e5\u5fd7\u6587\u4ef6!");

QString ImportedText(int n)
{
    return QStringLiteral("\u7528\u6237\u8bcd\u5178\u5bfc\u5165\u6210\u529f\uff08\u5171\u5bfc\u5165%1"
                          "\u6761\uff09\uff0c\u7ec6\u8282\u5177\u4f53\u89c1\u65e5\u5fd7\u6587\u4ef6!")
        .arg(n);
}

// Waits until the pane has laid out the page of the last Run.
bool WaitShown(CMyZelkView* view, int timeoutMs = 30000)
{
    return QTest::qWaitFor([view] { return !view->IsBusy(); }, timeoutMs);
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

// Milliseconds of CPU time the calling thread has used.
double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// The longest time the window's thread worked without the event loop firing
// a timer: in CPU time, which the other programs on a shared machine do not
// stretch, and in wall time.
class StallWatch {
public:
    StallWatch()
    {
        tick.setInterval(10);
        QObject::connect(&tick, &QTimer::timeout, [this] {
            const double cpu = ThreadCpuMs();
            longestCpu = std::max(longestCpu, cpu - cpuAtTick);
            longestWall = std::max(longestWall, sinceTick.elapsed());
            cpuAtTick = cpu;
            sinceTick.restart();
            ++ticks;
        });
    }
    void Start()
    {
        cpuAtTick = ThreadCpuMs();
        sinceTick.start();
        tick.start();
    }
    void Stop() { tick.stop(); }

    double longestCpu = 0;
    qint64 longestWall = 0;
    int ticks = 0;

private:
    QTimer tick;
    QElapsedTimer sinceTick;
    double cpuAtTick = 0;
};

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

    void runHandsTheTextWithCrLfAndReportsItsGbkLength_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("handed"); // UTF-8, line breaks as CR LF
        QTest::addColumn<int>("gbkBytes");
        QTest::newRow("empty") << QString() << QByteArray() << 0;
        QTest::newRow("ascii lines") << QStringLiteral("ab\ncd\n") << QByteArray("ab\r\ncd\r\n") << 8;
        // 中文
        QTest::newRow("chinese") << QStringLiteral("\u4e2d\u6587") << QByteArray("\xE4\xB8\xAD\xE6\x96\x87") << 4;
        QTest::newRow("full-width punctuation") << QStringLiteral("\u201c\u4e00\u201d\u3002")
                                                << QStringLiteral("\u201c\u4e00\u201d\u3002").toUtf8() << 8;
        // GBK has no code for emoji nor for Hangul: they reach the engine as
        // they are (the report counts each as the one byte of the old "?").
        QTest::newRow("outside GBK") << QStringLiteral("a\U0001F600b\uD55Cc")
                                     << QByteArray("a\xF0\x9F\x98\x80" "b\xED\x95\x9C" "c") << 5;
    }
    void runHandsTheTextWithCrLfAndReportsItsGbkLength()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, handed);
        QFETCH(int, gbkBytes);
        FakeEngine fake;
        CMainFrame frame;
        frame.LeftView()->setPlainText(text);
        QSignalSpy finished(&frame, &CMainFrame::RunFinished);
        frame.CommandAction(ID_ZELK_RUN)->trigger();
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.at(0).at(0).toBool(), true);
        QCOMPARE(fake.analyzerCalls, 1);
        QCOMPARE(fake.LastText(), handed);
        QCOMPARE(ReportedLength(frame.LastRunReport()), gbkBytes);
        QCOMPARE(frame.SystemInfoPane()->toPlainText(),
                 QString(frame.LastRunReport()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        QVERIFY(QFileInfo(frame.ResultView()->ResultPath()).size() > 0);
    }

    // A long line reaches the engine in parts of bounded size, cut where the
    // engine allows; nothing is lost or doubled.
    void longLineGoesInParts()
    {
        FakeEngine fake;
        CMainFrame frame;
        QString line;
        for (int i = 0; line.size() < 3 * 64 * 1024; ++i)
            line += QStringLiteral("word%1 ").arg(i);
        frame.LeftView()->SetText(line + QStringLiteral("\nend"));
        QVERIFY(RunAndWait(frame));
        QCOMPARE(fake.LastText(), line.toUtf8() + "\r\nend");
        QVERIFY(fake.Pieces() >= 4);
    }

    void runTwiceShowsOnlyTheLatestLine()
    {
        FakeEngine fake;
        CMainFrame frame;
        frame.LeftView()->setPlainText(QStringLiteral("abc"));
        QVERIFY(RunAndWait(frame));
        frame.LeftView()->setPlainText(QStringLiteral("abcdef"));
        QVERIFY(RunAndWait(frame));
        QCOMPARE(ReportedLength(frame.LastRunReport()), 6);
        QCOMPARE(frame.SystemInfoPane()->toPlainText().count(QStringLiteral("BYTE")), 1);
    }

    // A failed Run leaves the output bar, the page on disk and the pane as
    // they were, and says why in the status bar.
    void failedRunLeavesOutputUnchanged()
    {
        FakeEngine fake;
        CMainFrame frame;
        frame.LeftView()->setPlainText(QStringLiteral("abc"));
        QVERIFY(RunAndWait(frame));
        QVERIFY(WaitShown(frame.ResultView()));
        const QString before = frame.SystemInfoPane()->toPlainText();
        const QString shown = frame.ResultView()->toPlainText();
        const QByteArray page = ReadAll(frame.ResultView()->ResultPath());
        fake.analyzeResult = false;
        frame.LeftView()->setPlainText(QStringLiteral("abcdef"));
        QVERIFY(!RunAndWait(frame));
        QCOMPARE(frame.SystemInfoPane()->toPlainText(), before);
        QCOMPARE(ReadAll(frame.ResultView()->ResultPath()), page);
        QCOMPARE(frame.ResultView()->toPlainText(), shown);
        QVERIFY2(frame.statusBar()->currentMessage().contains(QStringLiteral("fails")),
                 qPrintable(frame.statusBar()->currentMessage()));
        QVERIFY(frame.CommandAction(ID_ZELK_RUN)->isEnabled());
    }

    // While a Run analyses, the window shows how far it is and can stop it;
    // a cancelled Run leaves the old page on disk.
    void runShowsProgressAndCanBeCancelled()
    {
        FakeEngine fake;
        CMainFrame frame;
        frame.show();
        frame.LeftView()->setPlainText(QStringLiteral("old"));
        QVERIFY(RunAndWait(frame));
        const QByteArray oldPage = ReadAll(frame.ResultView()->ResultPath());
        QString text;
        for (int i = 0; i < 400; ++i)
            text += QStringLiteral("line %1\n").arg(i);
        frame.LeftView()->setPlainText(text);
        fake.pieceDelayMs = 5;
        QSignalSpy finished(&frame, &CMainFrame::RunFinished);
        frame.OnRun();
        QVERIFY(frame.IsRunning());
        QVERIFY(frame.RunProgress()->isVisible());
        QVERIFY(frame.CancelButton()->isVisible());
        QVERIFY(!frame.CommandAction(ID_ZELK_RUN)->isEnabled());
        frame.OnRun(); // a second Run waits for none: ignored
        QTRY_VERIFY(frame.RunProgress()->value() > 0);
        QTest::mouseClick(frame.CancelButton(), Qt::LeftButton);
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.at(0).at(0).toBool(), false);
        QCOMPARE(fake.analyzerCalls, 2);
        QVERIFY(fake.Pieces() < 400);
        QVERIFY(!frame.IsRunning());
        QVERIFY(!frame.RunProgress()->isVisible());
        QVERIFY(!frame.CancelButton()->isVisible());
        QVERIFY(frame.CommandAction(ID_ZELK_RUN)->isEnabled());
        QCOMPARE(ReadAll(frame.ResultView()->ResultPath()), oldPage);
        QCOMPARE(QDir(work.path()).entryList({QStringLiteral("*result*")}, QDir::Files | QDir::Hidden),
                 QStringList(QStringLiteral("result.htm")));
        QVERIFY(frame.statusBar()->currentMessage().contains(QStringLiteral("cancelled")));
    }

    // Closing the window during a Run stops it first.
    void closingDuringARunStopsIt()
    {
        FakeEngine fake;
        fake.pieceDelayMs = 20;
        RecordingSink sink;
        sink.answer = MessageSink::Discard;
        QScopedPointer<CMainFrame> frame(new CMainFrame);
        frame->show();
        frame->LeftView()->setPlainText(QString(QStringLiteral("x\n")).repeated(1000));
        frame->OnRun();
        QTRY_VERIFY(fake.Pieces() > 0);
        QVERIFY(frame->close());
        QVERIFY(!frame->IsRunning());
        QVERIFY(fake.Pieces() < 1000);
    }

    void runShowsThePageInTheResultPane()
    {
        FakeEngine fake;
        CMainFrame frame;
        frame.LeftView()->setPlainText(QStringLiteral("xyz <b>\nsecond"));
        QSignalSpy shown(frame.ResultView(), &CMyZelkView::PageShown);
        QVERIFY(RunAndWait(frame));
        QVERIFY(shown.wait(10000) || !shown.isEmpty());
        const QString page = frame.ResultView()->toPlainText();
        QVERIFY2(page.contains(QStringLiteral("xyz <b>/x")), qPrintable(page)); // markup of the text stays text
        QVERIFY(page.contains(QStringLiteral("second/x")));
        QVERIFY(page.contains(QStringLiteral("legend")));
        QVERIFY(!page.contains(QStringLiteral("footer"))); // its links lead nowhere
        QVERIFY(frame.ResultView()->ShowsWholePage());
        // The fake writes red as the engine does; the pane shows it darker.
        QTextCursor red = frame.ResultView()->document()->find(QStringLiteral("xyz"));
        QVERIFY(!red.isNull());
        QCOMPARE(red.charFormat().foreground().color(), ResultPage::Readable(QColor(Qt::red)));
    }

    // The page on disk is the engine's own, byte for byte as the classic entry
    // point writes it; the pane shows it in readable colours, characters
    // outside GBK as they are.
    void runOnSampleWithRealModels()
    {
        if (!HaveModels())
            QSKIP("no trained models in the build (bin/Morv)");
        const QString sample = SampleText();
        QVERIFY(!sample.isEmpty());
        QString error;
        QVERIFY2(EngineCalls::Current().Open(QStringLiteral(MORV_MODEL_DIR), &error), qPrintable(error));
        {
            CMainFrame frame;
            frame.LeftView()->setPlainText(sample);
            QVERIFY(RunAndWait(frame));
            QVERIFY(WaitShown(frame.ResultView()));
            const int n = ReportedLength(frame.LastRunReport());
            QCOMPARE(n, frame.LeftView()->EngineText().size());
            const QByteArray page = ReadAll(frame.ResultView()->ResultPath());

            // The classic entry point on the same text (in GBK with CR LF).
            QTemporaryDir dir;
            const QString base = CopyModels(dir.path());
            QVERIFY(!base.isEmpty());
            QVERIFY(EngineInit(QFile::encodeName(base).constData()));
            const QString classic = dir.filePath(QStringLiteral("classic.htm"));
            QVERIFY(EngineWriteHtml(frame.LeftView()->EngineText().constData(), QFile::encodeName(classic).constData()));
            EngineExit();
            QCOMPARE(page, ReadAll(classic));

            const QString shown = frame.ResultView()->toPlainText();
            QVERIFY2(shown.contains(QStringLiteral("\u5f20\u4f1f\u660e/nr")), qPrintable(shown.left(200)));
            QVERIFY(shown.contains(QStringLiteral("\u56fe\u4f8b\u8bf4\u660e"))); // the legend
            // Every colour the pane shows reads well on white; the entities have several.
            QSet<QRgb> colours;
            for (QTextBlock block = frame.ResultView()->document()->begin(); block.isValid(); block = block.next())
                for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
                    const QTextCharFormat format = it.fragment().charFormat();
                    if (!format.hasProperty(QTextFormat::ForegroundBrush))
                        continue;
                    const QColor colour = format.foreground().color();
                    colours.insert(colour.rgb());
                    QVERIFY2(ResultPage::Contrast(colour) >= 4.5,
                             qPrintable(colour.name() + QStringLiteral(" at ") + it.fragment().text()));
                }
            QVERIFY2(colours.size() >= 5, qPrintable(QString::number(colours.size())));

            // Emoji and Hangul come through to the page and the pane.
            frame.LeftView()->setPlainText(QStringLiteral("\u5f20\u4f1f\u660e\U0001F600\uD55C\uAE00\u3002"));
            QVERIFY(RunAndWait(frame));
            QVERIFY(WaitShown(frame.ResultView()));
            const QString faces = frame.ResultView()->toPlainText();
            QVERIFY2(faces.contains(QStringLiteral("\U0001F600")) && faces.contains(QStringLiteral("\uD55C\uAE00")),
                     qPrintable(faces.left(100)));
            QVERIFY(!faces.contains(QLatin1Char('?')));

            frame.LeftView()->clear();
            QVERIFY(RunAndWait(frame));
            QCOMPARE(ReportedLength(frame.LastRunReport()), 0);
        }
        EngineCalls::Current().Close();
    }

    // Word lists in the library's format: tags and frequencies count, a bad
    // list is refused with its line and the words before it stay, and every
    // import adds to the words of the imports before.
    void importWithRealModels()
    {
        if (!HaveModels())
            QSKIP("no trained models in the build (bin/Morv)");
        QString error;
        QVERIFY2(EngineCalls::Current().Open(QStringLiteral(MORV_MODEL_DIR), &error), qPrintable(error));
        QVERIFY(ZelkLog::Current().Open({work.filePath(QStringLiteral("import.log"))}));
        {
            RecordingSink sink;
            CMainFrame frame;
            QTemporaryDir dir;
            const QString first = dir.filePath(QStringLiteral("UserLexicon.txt"));
            // 门把手 100 n / 甲乙丙丁戊 nz 10 (GBK) / 莫尔夫泽尔克 (a word no dictionary has)
            QVERIFY(WriteAll(first, "\xC3\xC5\xB0\xD1\xCA\xD6 100 n\n\xBC\xD7\xD2\xD2\xB1\xFB\xB6\xA1\xCE\xEC nz 10\n"
                                    "\xC4\xAA\xB6\xFB\xB7\xF2\xD4\xF3\xB6\xFB\xBF\xCB\n"));
            frame.ImportUserDict(first);
            QCOMPARE(sink.messages, QStringList(ImportedText(3)));

            const QString bad = dir.filePath(QStringLiteral("bad.txt"));
            QVERIFY(WriteAll(bad, "\xB4\xCA\xB7\xA8\xB7\xD6\xCE\xF6\xC6\xF7\xBF\xC7 n\n\xC8\xFD 3 4 5 6\n")); // 词法分析器壳 / a line of five fields
            frame.ImportUserDict(bad);
            QCOMPARE(sink.messages.size(), 2);
            QVERIFY(sink.messages.at(1).startsWith(kImportFailed + QLatin1Char('\n')));
            QVERIFY2(sink.messages.at(1).contains(QStringLiteral("bad.txt:2")), qPrintable(sink.messages.at(1)));

            const QString second = dir.filePath(QStringLiteral("more.txt"));
            QVERIFY(WriteAll(second, "\xE8\xAF\x8D\xE6\xB3\x95\xE5\x88\x86\xE6\x9E\x90\xE5\x99\xA8\xE5\xA3\xB3 vn\n")); // 词法分析器壳 vn (UTF-8)
            frame.ImportUserDict(second);
            QCOMPARE(sink.messages.at(2), ImportedText(1) + QStringLiteral("\n\u52a0\u4e0a\u6b64\u524d\u5bfc\u5165"
                                                                         "\u7684\uff0c\u7528\u6237\u8bcd\u51714\u4e2a\u3002"));

            // 门把手 坏了 。 甲乙丙丁戊 和 莫尔夫泽尔克 ， 词法分析器壳 。
            frame.LeftView()->setPlainText(QStringLiteral("\u95e8\u628a\u624b\u574f\u4e86\u3002\u7532\u4e59\u4e19\u4e01"
                                                          "\u620a\u548c\u83ab\u5c14\u592b\u6cfd\u5c14\u514b\uff0c\u8bcd"
                                                          "\u6cd5\u5206\u6790\u5668\u58f3\u3002"));
            QVERIFY(RunAndWait(frame));
            QVERIFY(WaitShown(frame.ResultView()));
            const QString shown = frame.ResultView()->toPlainText();
            for (const QString& tagged : {QStringLiteral("\u95e8\u628a\u624b/n "), QStringLiteral("\u7532\u4e59\u4e19\u4e01\u620a/nz"),
                                          QStringLiteral("\u8bcd\u6cd5\u5206\u6790\u5668\u58f3/vn")})
                QVERIFY2(shown.contains(tagged), qPrintable(tagged + QStringLiteral(" in ") + shown));
            QVERIFY2(shown.contains(QStringLiteral("\u83ab\u5c14\u592b\u6cfd\u5c14\u514b/")), qPrintable(shown));

            const QByteArray log = ReadAll(ZelkLog::Current().Path());
            QVERIFY2(log.contains("bad.txt:2") && log.contains("4 words added in all"), log.constData());
        }
        ZelkLog::Current().Close();
        EngineCalls::Current().Close();
    }

    void importReportsCountOrFailure_data()
    {
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("message");
        QTest::newRow("three words") << 3 << QString() << ImportedText(3);
        QTest::newRow("none") << 0 << QString() << kImportFailed + QStringLiteral("\n%1 holds no word.");
        QTest::newRow("refused") << 0 << QStringLiteral("list.txt:1: unknown tag 'zz'")
                                 << kImportFailed + QStringLiteral("\nlist.txt:1: unknown tag 'zz'");
    }
    void importReportsCountOrFailure()
    {
        QFETCH(int, result);
        QFETCH(QString, error);
        QFETCH(QString, message);
        FakeEngine fake;
        fake.addResult = size_t(result);
        fake.addError = error;
        RecordingSink sink;
        CMainFrame frame;
        const QString list = work.filePath(QStringLiteral("UserLexicon.txt"));
        QVERIFY(WriteAll(list, "\xD5\xC5\xCE\xB0\xC3\xF7\n"));
        frame.ImportUserDict(list);
        QCOMPARE(fake.addCalls, 1);
        QCOMPARE(fake.lastListName, list);
        QCOMPARE(sink.messages, QStringList(message.contains(QLatin1String("%1")) ? message.arg(list) : message));
    }

    // What is no word list is refused before the engine sees it; a file gone
    // before the dialog closed ends the command silently.
    void importOfWhatIsNoListIsRefused()
    {
        FakeEngine fake;
        RecordingSink sink;
        CMainFrame frame;
        frame.ImportUserDict(work.filePath(QStringLiteral("gone.txt")));
        QVERIFY(sink.messages.isEmpty());
        frame.ImportUserDict(work.path());
        QCOMPARE(sink.messages.size(), 1);
        QVERIFY(sink.messages.at(0).startsWith(kImportFailed + QLatin1Char('\n')));
        QCOMPARE(fake.addCalls, 0);
    }

    void importOnStoppedEngineFails()
    {
        // The library, no model open: it takes no word.
        RecordingSink sink;
        CMainFrame frame;
        const QString list = work.filePath(QStringLiteral("words.txt"));
        QVERIFY(WriteAll(list, "abc\n"));
        frame.ImportUserDict(list);
        QCOMPARE(sink.messages.size(), 1);
        QVERIFY(sink.messages.at(0).startsWith(kImportFailed));
    }

    void helpPagesLieBelowTheFrameDirectory()
    {
        UrlRecorder recorder;
        // Pages of the working directory come first, as always.
        QVERIFY(QDir().mkpath(work.filePath(QStringLiteral("Morv/MANUAL"))));
        QVERIFY(WriteAll(work.filePath(QStringLiteral("Zelk_Help.htm")), "<html>help</html>"));
        QVERIFY(WriteAll(work.filePath(QStringLiteral("Morv/MANUAL/Zelk_API.htm")), "<html>api</html>"));
        CMainFrame frame;
        QTemporaryDir elsewhere;
        QDir::setCurrent(elsewhere.path()); // later changes do not move the pages
        frame.CommandAction(ID_HELP_CONTENT)->trigger();
        frame.CommandAction(ID_HELP_API)->trigger();
        QDir::setCurrent(work.path());
        QFile::remove(work.filePath(QStringLiteral("Zelk_Help.htm")));
        QDir(work.filePath(QStringLiteral("Morv"))).removeRecursively();
        QCOMPARE(recorder.urls.size(), 2);
        QCOMPARE(recorder.urls.at(0).toLocalFile(), work.path() + QStringLiteral("/Zelk_Help.htm"));
        QCOMPARE(recorder.urls.at(1).toLocalFile(),
                 work.path() + QStringLiteral("/Morv/MANUAL/Zelk_API.htm"));
    }

    // Started where there are none (an installed Zelk), the help commands
    // open the pages beside the program and in the models in use.
    void helpPagesElsewhereAreFound()
    {
        UrlRecorder recorder;
        CMainFrame frame;
        frame.SetEngineBase(QStringLiteral(MORV_MODEL_DIR));
        frame.CommandAction(ID_HELP_CONTENT)->trigger();
        frame.CommandAction(ID_HELP_API)->trigger();
        QCOMPARE(recorder.urls.size(), 2);
        QCOMPARE(recorder.urls.at(0).toLocalFile(), QStringLiteral(MORV_BINARY_DIR "/bin/Zelk_Help.htm"));
        QCOMPARE(recorder.urls.at(1).toLocalFile(), QStringLiteral(MORV_MODEL_DIR "/MANUAL/Zelk_API.htm"));
    }

    // Without a browser the desktop could open them with, the pages show in
    // a window of Zelk's own.
    void helpOpensInsideZelkWithoutABrowser()
    {
        // No launcher on the search path (xdg-open and the like).
        QTemporaryDir empty;
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(empty.path()));
        CMainFrame frame;
        frame.SetEngineBase(QStringLiteral(MORV_MODEL_DIR));
        frame.show();
        frame.CommandAction(ID_HELP_CONTENT)->trigger();
        qputenv("PATH", path);
        CPageViewer* viewer = frame.findChild<CPageViewer*>();
        QVERIFY(viewer != nullptr);
        QVERIFY(viewer->isVisible());
        QCOMPARE(viewer->Browser()->source().toLocalFile(), frame.HelpContentPath());
        QVERIFY(viewer->Browser()->toPlainText().contains(QStringLiteral("Zelk")));
        frame.CommandAction(ID_HELP_API)->trigger();
        QCOMPARE(frame.findChildren<CPageViewer*>().size(), 1); // the same window, the other page
        QCOMPARE(viewer->Browser()->source().toLocalFile(), frame.HelpApiPath());
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

    // Lists go to the engine as they are, UTF-8 or GBK; the engine reads both.
    void wordListsReachTheEngineAsTheyAre_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        // 张伟明 nr / 中文
        QTest::newRow("utf-8") << QByteArray("\xE5\xBC\xA0\xE4\xBC\x9F\xE6\x98\x8E nr\n\xE4\xB8\xAD\xE6\x96\x87\n");
        QTest::newRow("gbk") << QByteArray("\xD5\xC5\xCE\xB0\xC3\xF7 100 nr\n");
        QTest::newRow("ascii") << QByteArray("Morv nz\nZelk\n");
    }
    void wordListsReachTheEngineAsTheyAre()
    {
        QFETCH(QByteArray, bytes);
        FakeEngine fake;
        fake.addResult = 1;
        RecordingSink sink;
        CMainFrame frame;
        const QString list = work.filePath(QStringLiteral("list.txt"));
        QVERIFY(WriteAll(list, bytes));
        frame.ImportUserDict(list);
        QCOMPARE(fake.lastListName, list);
        QCOMPARE(fake.lastList, bytes);
        QCOMPARE(ReadAll(list), bytes);
        QCOMPARE(sink.messages, QStringList(ImportedText(1)));
    }

    // Of a large page the pane shows the first part, a note that links to the
    // whole page, and the legend.
    void largePageIsShownInPartWithANote()
    {
        FakeEngine fake;
        CMainFrame frame;
        frame.ResultView()->SetShownBytes(4000);
        QString text;
        for (int i = 0; i < 500; ++i)
            text += QStringLiteral("line%1\n").arg(i);
        frame.LeftView()->setPlainText(text);
        QVERIFY(RunAndWait(frame));
        QVERIFY(WaitShown(frame.ResultView()));
        QVERIFY(!frame.ResultView()->ShowsWholePage());
        const QString shown = frame.ResultView()->toPlainText();
        QVERIFY(shown.contains(QStringLiteral("line0/x")));
        QVERIFY(!shown.contains(QStringLiteral("line499/x")));
        QVERIFY(shown.contains(QStringLiteral("legend")));
        QVERIFY(ReadAll(frame.ResultView()->ResultPath()).contains("line499"));
        UrlRecorder recorder;
        QTextCursor link = frame.ResultView()->document()->find(QStringLiteral("\u5728\u6d4f\u89c8\u5668\u4e2d\u6253\u5f00"));
        QVERIFY(!link.isNull() && link.charFormat().isAnchor());
        QCOMPARE(QUrl(link.charFormat().anchorHref()), frame.ResultView()->ResultUrl());
        emit frame.ResultView()->anchorClicked(QUrl(link.charFormat().anchorHref()));
        QCOMPARE(recorder.urls, QList<QUrl>{frame.ResultView()->ResultUrl()});
    }

    // A Run on a large text: the window answers all along (its thread never
    // works long without the event loop turning) while the pane fills, and
    // Cancel stops the analysis.
    void runOnLargeTextKeepsTheWindowResponsive()
    {
        if (!HaveModels())
            QSKIP("no trained models in the build (bin/Morv)");
        const QString sample = SampleText();
        QVERIFY(!sample.isEmpty());
#ifdef MORV_SANITIZED
        // The sanitizers make everything many times slower; a tenth of the
        // text still runs far longer than the test watches it.
        const int textBytes = 2 * 1024 * 1024;
#else
        const int textBytes = 20 * 1024 * 1024;
#endif
        const QString text = sample.repeated(textBytes / sample.toUtf8().size() + 1);
        QString error;
        QVERIFY2(EngineCalls::Current().Open(QStringLiteral(MORV_MODEL_DIR), &error), qPrintable(error));
        {
            CMainFrame frame;
            frame.show();
            QElapsedTimer timer;
            timer.start();
            frame.LeftView()->SetText(text);
            const qint64 loadMs = timer.elapsed();
            QVERIFY(QTest::qWaitForWindowExposed(&frame));
            QVERIFY(frame.LeftView()->Text().toUtf8().size() >= textBytes);

            const QByteArray before = ReadAll(frame.ResultView()->ResultPath());
            StallWatch watch;
            QSignalSpy finished(&frame, &CMainFrame::RunFinished);
            watch.Start();
            timer.restart();
            frame.OnRun();
            const qint64 startMs = timer.elapsed();
            // Until the pane shows words and the progress has moved, then a while more.
            QTRY_VERIFY_WITH_TIMEOUT(frame.RunProgress()->value() > 0
                                         && frame.ResultView()->toPlainText().contains(QStringLiteral("/nr")),
                                     60000);
            QTest::qWait(700);
            QVERIFY(frame.IsRunning()); // far from done
            const int progress = frame.RunProgress()->value();
            timer.restart();
            QTest::mouseClick(frame.CancelButton(), Qt::LeftButton);
            QVERIFY(finished.wait(10000));
            const qint64 cancelMs = timer.elapsed();
            watch.Stop();
            qInfo("%d MB of text: loaded in %lld ms, Run started in %lld ms, %.1f%% done when cancelled, "
                  "stopped %lld ms after Cancel; longest stall %.0f ms CPU, %lld ms wall over %d ticks",
                  textBytes >> 20, loadMs, startMs, progress / 10.0, cancelMs, watch.longestCpu, watch.longestWall,
                  watch.ticks);
            QCOMPARE(finished.at(0).at(0).toBool(), false);
            QVERIFY(!frame.IsRunning());
            QCOMPARE(ReadAll(frame.ResultView()->ResultPath()), before); // no page half written
            QVERIFY(watch.ticks > 5); // the event loop turned all along (the stall says how often)
            QVERIFY2(watch.longestCpu < 200, qPrintable(QStringLiteral("stalled %1 ms").arg(watch.longestCpu)));
        }
        EngineCalls::Current().Close();
    }

private:
    QTemporaryDir work;
    QString savedDir;
};

QTEST_MAIN(CMainFrameTest)
#include "CMainFrameTest.moc"
