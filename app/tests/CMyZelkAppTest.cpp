// Start-up and end of the application: the engine base follows the working
// directory when it has models, else the installed ones are used; a failed
// start names a log that exists and shows no window.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

#include "CMainFrame.h"
#include "CMyZelkApp.h"
#include "ZelkLog.h"
#include "ZelkTestUtil.h"

namespace {

const QString kFailure = QStringLiteral("Failed in Init Zelk! Detail to see LOG file ");

} // namespace

class CMyZelkAppTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { IsolateSettings(); }

    void init()
    {
        savedDir = QDir::currentPath();
        work.reset(new QTemporaryDir);
        QVERIFY(work->isValid());
        QVERIFY(QDir::setCurrent(work->path()));
    }
    void cleanup()
    {
        QDir::setCurrent(savedDir);
        work.reset();
    }

    // An installed Zelk, started from a launcher: an empty working directory.
    void startsAnywhereOnTheInstalledModels()
    {
        if (!HaveModels())
            QSKIP("no trained models in the build (bin/Morv)");
        RecordingSink sink;
        CMyZelkApp app;
        QVERIFY(app.InitInstance());
        QVERIFY(sink.messages.isEmpty());
        QCOMPARE(QDir(app.EngineBase()).canonicalPath(), QDir(QStringLiteral(MORV_MODEL_DIR)).canonicalPath());
        QVERIFY(app.MainFrame()->isVisible());
        // The log went where Zelk may write, not into the models.
        const QString log = ZelkLog::Current().Path();
        QVERIFY2(log.startsWith(ZelkLog::PrivateDir()), qPrintable(log));
        QVERIFY(ReadAll(log).contains(QFile::encodeName(app.EngineBase())));
        QVERIFY(QDir(work->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
        QCOMPARE(app.ExitInstance(), 0);
    }

    void engineBaseFollowsWorkingDirectory_data()
    {
        QTest::addColumn<bool>("localModels");
        QTest::newRow("Morv/ with a Configure.xml") << true;
        QTest::newRow("none: the library's models") << false;
    }
    void engineBaseFollowsWorkingDirectory()
    {
        QFETCH(bool, localModels);
        FakeEngine fake;
        fake.defaultDir = QStringLiteral("/opt/models");
        RecordingSink sink;
        const QString local = work->filePath(QStringLiteral("Morv"));
        QVERIFY(QDir().mkpath(local));
        if (localModels)
            QVERIFY(WriteAll(local + QStringLiteral("/Configure.xml"), "<Configure/>"));
        {
            CMyZelkApp app;
            QVERIFY(app.InitInstance());
            QCOMPARE(fake.openDirs, QStringList(localModels ? local : fake.defaultDir));
            QCOMPARE(app.EngineBase(), fake.openDirs.at(0));
            QVERIFY(sink.messages.isEmpty());
            QVERIFY(app.MainFrame()->isVisible());
            QCOMPARE(app.MainFrame()->FrameDirectory(), work->path());
            // The engine's folder keeps the log as before when it is the working directory's.
            QCOMPARE(ZelkLog::Current().Path().startsWith(local), localModels);
            QCOMPARE(fake.closeCalls, 0);
            app.ExitInstance();
            QCOMPARE(fake.closeCalls, 1);
        }
    }

    // The message names a log that exists and says why.
    void failedStartNamesAnExistingLog_data()
    {
        QTest::addColumn<bool>("localModels");
        QTest::newRow("damaged Morv/") << true;
        QTest::newRow("no models at all") << false;
    }
    void failedStartNamesAnExistingLog()
    {
        QFETCH(bool, localModels);
        FakeEngine fake;
        fake.openResult = false;
        fake.openError = QStringLiteral("cannot load Data/CoreDict.pdat: it is damaged");
        if (!localModels)
            fake.defaultDir.clear();
        else
            QVERIFY(QDir().mkpath(work->filePath(QStringLiteral("Morv"))) &&
                    WriteAll(work->filePath(QStringLiteral("Morv/Configure.xml")), "<Configure/>"));
        RecordingSink sink;
        CMyZelkApp app;
        QVERIFY(!app.InitInstance());
        QCOMPARE(sink.messages.size(), 1);
        QVERIFY2(sink.messages.at(0).startsWith(kFailure), qPrintable(sink.messages.at(0)));
        const QString log = sink.messages.at(0).mid(kFailure.size());
        QVERIFY2(QFileInfo(log).isFile(), qPrintable(log));
        const QByteArray logged = ReadAll(log);
        QVERIFY2(logged.contains(localModels ? "CoreDict.pdat" : "No models"), logged.constData());
        QVERIFY(app.MainFrame() == nullptr);
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
        app.ExitInstance();
        QCOMPARE(fake.closeCalls, 1);
    }

    // A Morv.log that is a link is not written through, nor one that is a
    // FIFO waited on: the log goes to Zelk's own folder instead.
    void logIsNeverOpenedThroughALink_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("symbolic link") << "link";
        QTest::newRow("fifo") << "fifo";
        QTest::newRow("hard link") << "hard";
    }
    void logIsNeverOpenedThroughALink()
    {
        QFETCH(QString, kind);
        FakeEngine fake;
        RecordingSink sink;
        const QString local = work->filePath(QStringLiteral("Morv"));
        QVERIFY(QDir().mkpath(local) && WriteAll(local + QStringLiteral("/Configure.xml"), "<Configure/>"));
        const QString target = work->filePath(QStringLiteral("precious.txt"));
        QVERIFY(WriteAll(target, "keep me"));
        const QByteArray log = QFile::encodeName(local + QStringLiteral("/Morv.log"));
        if (kind == QLatin1String("link"))
            QVERIFY(::symlink(QFile::encodeName(target).constData(), log.constData()) == 0);
        else if (kind == QLatin1String("hard"))
            QVERIFY(::link(QFile::encodeName(target).constData(), log.constData()) == 0);
        else
            QVERIFY(::mkfifo(log.constData(), 0600) == 0);
        CMyZelkApp app;
        QVERIFY(app.InitInstance());
        QCOMPARE(ReadAll(target), QByteArray("keep me"));
        QVERIFY2(ZelkLog::Current().Path().startsWith(ZelkLog::PrivateDir()), qPrintable(ZelkLog::Current().Path()));
        app.ExitInstance();
    }

    void commandLineRunFileLoadsAndRuns()
    {
        FakeEngine fake;
        QFile text(work->filePath(QStringLiteral("in.txt")));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("ab\ncd");
        text.close();
        CMyZelkApp app;
        QVERIFY(app.InitInstance({QStringLiteral("--run-file"), text.fileName()}));
        QTRY_VERIFY(!app.MainFrame()->IsRunning());
        QCOMPARE(fake.analyzerCalls, 1);
        QCOMPARE(fake.LastText(), QByteArray("ab\r\ncd"));
        // The file is the document Save writes to; the recent list is left alone.
        QCOMPARE(app.MainFrame()->DocumentPath(), QFileInfo(text.fileName()).absoluteFilePath());
        QVERIFY(!app.MainFrame()->RecentFiles().contains(app.MainFrame()->DocumentPath()));
        app.ExitInstance();
    }

private:
    QScopedPointer<QTemporaryDir> work;
    QString savedDir;
};

QTEST_MAIN(CMyZelkAppTest)
#include "CMyZelkAppTest.moc"
