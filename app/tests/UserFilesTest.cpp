// What Zelk does with the user's own files: a text that is not quite what its
// encoding says must come back from Save byte for byte where it was not
// edited, and a word list that cannot be read as text must be refused with
// its reason while the words imported before stay in use.
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <sys/stat.h>

#include "CLeftView.h"
#include "CMainFrame.h"
#include "CMyZelkApp.h"
#include "CMyZelkView.h"
#include "ZelkTestUtil.h"

namespace {

const QString kImportFailed = QStringLiteral(
    "\u7528\u6237\u8bcd\u5178\u5bfc\u5165\u5931\u8d25\uff0c\u9519\u8bef\u4fe1\u606f\u89c1\u65e5\u5fd7\u6587\u4ef6!");
const QString kImported = QStringLiteral("\u7528\u6237\u8bcd\u5178\u5bfc\u5165\u6210\u529f");

// 王小明在北京大学读书。 in UTF-8 (33 bytes).
const QByteArray kSentence("\xE7\x8E\x8B\xE5\xB0\x8F\xE6\x98\x8E\xE5\x9C\xA8\xE5\x8C\x97\xE4\xBA\xAC\xE5\xA4\xA7"
                           "\xE5\xAD\xA6\xE8\xAF\xBB\xE4\xB9\xA6\xE3\x80\x82");

// Zelk started in a scratch directory whose Morv/ is a copy of the trained models.
class StartedZelk {
public:
    StartedZelk()
    {
        saved = QDir::currentPath();
        const bool copied = !CopyModels(dir.path()).isEmpty();
        QDir::setCurrent(dir.path());
        app.reset(new CMyZelkApp);
        started = copied && app->InitInstance();
    }
    ~StartedZelk()
    {
        app->ExitInstance();
        app.reset();
        QDir::setCurrent(saved);
    }
    CMainFrame* Frame() const { return app->MainFrame(); }
    QString Path(const QString& name) const { return dir.filePath(name); }

    // Runs the analysis of text and returns the page written (empty when the Run fails).
    QByteArray Run(const QString& text)
    {
        Frame()->LeftView()->SetText(text);
        return RunAndWait(*Frame()) ? ReadAll(Frame()->ResultView()->ResultPath()) : QByteArray();
    }

    QTemporaryDir dir;
    QString saved;
    std::unique_ptr<CMyZelkApp> app;
    bool started = false;
};

// The GBK bytes of a word underlined as a word of the user's list.
QByteArray Underlined(const char* gbk)
{
    return QByteArray("<u>") + gbk + "</u>";
}

} // namespace

class UserFilesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        IsolateSettings();
        QApplication::setQuitOnLastWindowClosed(false);
        // One Zelk on the real models for the imports (a start costs the model load).
        if (HaveModels()) {
            RecordingSink quiet;
            zelk.reset(new StartedZelk);
            QVERIFY(zelk->started);
        }
    }
    void cleanupTestCase() { zelk.reset(); }

    // A UTF-8 file with a flaw is shown as UTF-8, the flaw marked and said;
    // typing and saving keeps every byte that was not edited.
    void damagedUtf8TextKeepsItsBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown"); // what the pane must show, besides the marks
        QTest::newRow("one invalid byte") << kSentence.left(9) + "\xFF" + kSentence.mid(9)
                                          << QStringLiteral("\u5728\u5317\u4eac\u5927\u5b66\u8bfb\u4e66\u3002");
        QTest::newRow("cut inside its last character")
            << kSentence.left(kSentence.size() - 1) << QStringLiteral("\u738b\u5c0f\u660e\u5728\u5317\u4eac\u5927\u5b66\u8bfb\u4e66");
        QTest::newRow("invalid byte after 64 KiB")
            << QByteArray(70000, 'a') + kSentence + "\x80" + kSentence << QStringLiteral("\u738b\u5c0f\u660e\u5728");
    }
    void damagedUtf8TextKeepsItsBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("text.txt"));
        QVERIFY(WriteAll(path, bytes));
        RecordingSink sink;
        CMainFrame frame;
        QVERIFY(frame.OpenIntoEditor(path));
        const QString text = frame.LeftView()->Text();
        QVERIFY2(text.contains(shown), qPrintable(text.right(40)));
        QVERIFY(text.contains(QChar(0xFFFD)));
        QCOMPARE(sink.messages.size(), 1); // it says what it guessed
        QVERIFY2(sink.messages.at(0).contains(QStringLiteral("UTF-8")), qPrintable(sink.messages.at(0)));

        Type(frame.LeftView(), QStringLiteral("\u4e2d")); // 中
        QVERIFY(frame.Save());
        QCOMPARE(ReadAll(path), bytes + "\xE4\xB8\xAD");
    }

    // A text read as GBK that GBK cannot hold whole keeps its bytes too.
    void textNeitherUtf8NorGbkKeepsItsBytes()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("text.txt"));
        const QByteArray bytes("\xD5\xC5\xCE\xB0\xC3\xF7\xFF\x80\xD5\n\x81"); // 张伟明, then bytes of neither
        QVERIFY(WriteAll(path, bytes));
        RecordingSink sink;
        CMainFrame frame;
        QVERIFY(frame.OpenIntoEditor(path));
        QVERIFY(frame.LeftView()->Text().startsWith(QStringLiteral("\u5f20\u4f1f\u660e")));
        QCOMPARE(sink.messages.size(), 1);
        Type(frame.LeftView(), QStringLiteral("\u4e2d"));
        QVERIFY(frame.Save());
        QCOMPARE(ReadAll(path), bytes + "\xD6\xD0");
    }

    // A list that is not text is refused with its reason, and the words of the
    // list imported before still count.
    void unreadableListIsRefusedAndThePreviousKept_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("utf-8 list with an invalid byte") << "utf8";
        QTest::newRow("directory") << "dir";
        QTest::newRow("fifo") << "fifo";
        QTest::newRow("/dev/zero") << "zero";
        QTest::newRow("random bytes") << "random";
        QTest::newRow("random bytes without NUL") << "noise";
        QTest::newRow("unknown tag") << "tag";
    }
    void unreadableListIsRefusedAndThePreviousKept()
    {
        if (!HaveModels())
            QSKIP("no trained models in the build (bin/Morv)");
        QFETCH(QString, kind);
        RecordingSink sink;
        // 莫尔夫泽尔克 nz, a word no dictionary has (UTF-8); with a tag of no
        // entity the page shows it underlined as a word of the user's list.
        const QString good = zelk->Path(QStringLiteral("good.txt"));
        QVERIFY(WriteAll(good, "\xE8\x8E\xAB\xE5\xB0\x94\xE5\xA4\xAB\xE6\xB3\xBD\xE5\xB0\x94\xE5\x85\x8B nz\n"));
        zelk->Frame()->ImportUserDict(good);
        QCOMPARE(sink.messages.size(), 1);
        QVERIFY(sink.messages.at(0).startsWith(kImported));

        QString bad = zelk->Path(QStringLiteral("bad-%1.txt").arg(kind));
        if (kind == QLatin1String("utf8")) {
            // 甲乙丙丁戊 词法分析器壳 with a stray byte in the second word
            QVERIFY(WriteAll(bad, "\xE7\x94\xB2\xE4\xB9\x99\xE4\xB8\x99\xE4\xB8\x81\xE6\x88\x8A\n"
                                  "\xE8\xAF\x8D\xE6\xB3\x95\xE5\x88\x86\xE6\x9E\x90\xBF\xE5\x99\xA8\xE5\xA3\xB3\n"));
        } else if (kind == QLatin1String("dir")) {
            bad = zelk->Path(QStringLiteral("folder"));
            QVERIFY(QDir().mkpath(bad));
        } else if (kind == QLatin1String("fifo")) {
            QVERIFY(::mkfifo(QFile::encodeName(bad).constData(), 0600) == 0);
        } else if (kind == QLatin1String("zero")) {
            bad = QStringLiteral("/dev/zero");
        } else if (kind == QLatin1String("random") || kind == QLatin1String("noise")) {
            QByteArray noise(100 * 1024, '\0');
            QRandomGenerator random(28);
            for (char& c : noise)
                c = char(kind == QLatin1String("noise") ? 1 + random.bounded(255) : random.bounded(256));
            QVERIFY(WriteAll(bad, noise));
        } else {
            QVERIFY(WriteAll(bad, "\xE7\x94\xB2\xE4\xB9\x99\xE4\xB8\x99\xE4\xB8\x81\xE6\x88\x8A xyzzy\n"));
        }
        zelk->Frame()->ImportUserDict(bad);
        QCOMPARE(sink.messages.size(), 2);
        const QString refusal = sink.messages.at(1);
        QVERIFY2(refusal.startsWith(kImportFailed), qPrintable(refusal));
        QVERIFY2(refusal.size() > kImportFailed.size() + 5, qPrintable(refusal)); // with its reason

        const QByteArray page = zelk->Run(QStringLiteral("\u6211\u4eec\u7684\u83ab\u5c14\u592b\u6cfd\u5c14\u514b\u3002"));
        QVERIFY2(page.contains(Underlined("\xC4\xAA\xB6\xFB\xB7\xF2\xD4\xF3\xB6\xFB\xBF\xCB")), page.right(400).constData());
    }

private:
    std::unique_ptr<StartedZelk> zelk;
};

QTEST_MAIN(UserFilesTest)
#include "UserFilesTest.moc"
