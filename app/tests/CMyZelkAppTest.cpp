// Start-up and end of the application: the engine base follows the working
// directory, a failed start names the log and shows no window.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "CMainFrame.h"
#include "CMyZelkApp.h"
#include "ZelkTestUtil.h"

class CMyZelkAppTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { IsolateSettings(); }

    void init()
    {
        savedDir = QDir::currentPath();
        QVERIFY(work.isValid());
        QVERIFY(QDir::setCurrent(work.path()));
    }
    void cleanup() { QDir::setCurrent(savedDir); }

    void missingMorvDirectoryShowsLogPathAndEnds()
    {
        // The real engine: there is no Morv/Configure.xml below the working directory.
        RecordingSink sink;
        CMyZelkApp app;
        QVERIFY(!app.InitInstance());
        const QString base = QDir::currentPath() + QStringLiteral("/Morv");
        QCOMPARE(app.EngineBase(), base);
        QCOMPARE(sink.messages,
                 QStringList(QStringLiteral("Failed in Init Zelk! Detail to see LOG file ")
                             + base + QStringLiteral("/Morv.log")));
        QVERIFY(app.MainFrame() == nullptr);
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
        QCOMPARE(app.ExitInstance(), 0);
    }

    void engineBaseFollowsWorkingDirectory()
    {
        FakeEngine fake;
        RecordingSink sink;
        {
            CMyZelkApp app;
            QVERIFY(app.InitInstance());
            QCOMPARE(fake.initCalls, 1);
            QCOMPARE(QString::fromLocal8Bit(fake.initBase), work.path() + QStringLiteral("/Morv"));
            QVERIFY(sink.messages.isEmpty());
            QVERIFY(app.MainFrame() != nullptr);
            QVERIFY(app.MainFrame()->isVisible());
            QCOMPARE(app.MainFrame()->FrameDirectory(), work.path());
            QCOMPARE(fake.exitCalls, 0);
            app.ExitInstance();
            QCOMPARE(fake.exitCalls, 1);
        }
    }

    void failedStartStillReleasesEngine()
    {
        FakeEngine fake;
        fake.initResult = false;
        RecordingSink sink;
        CMyZelkApp app;
        QVERIFY(!app.InitInstance());
        QCOMPARE(sink.messages.size(), 1);
        app.ExitInstance();
        QCOMPARE(fake.exitCalls, 1);
    }

    void commandLineRunFileLoadsAndRuns()
    {
        FakeEngine fake;
        QFile text(work.filePath(QStringLiteral("in.txt")));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("ab\ncd");
        text.close();
        CMyZelkApp app;
        QVERIFY(app.InitInstance({QStringLiteral("--run-file"), text.fileName()}));
        QCOMPARE(fake.writeCalls, 1);
        QCOMPARE(fake.lastText, QByteArray("ab\r\ncd"));
        // The file is the document Save writes to; the recent list is left alone.
        QCOMPARE(app.MainFrame()->DocumentPath(), QFileInfo(text.fileName()).absoluteFilePath());
        QVERIFY(!app.MainFrame()->RecentFiles().contains(app.MainFrame()->DocumentPath()));
        app.ExitInstance();
    }

private:
    QTemporaryDir work;
    QString savedDir;
};

QTEST_MAIN(CMyZelkAppTest)
#include "CMyZelkAppTest.moc"
