// The window after Run as a user sees it on an X display (Xvfb): zelk started
// from an empty folder (so on the models the library finds) runs the sample
// text and saves a picture of itself. The picture must show the input, the
// result page with the colours of names and tags, and no progress left over.
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "ResultPage.h"
#include "ZelkTestUtil.h"

namespace {

// Pixels of image inside rect within a small distance of colour (anti-aliased
// glyphs are mostly lighter at their edges, their stems keep the colour).
int CountNear(const QImage& image, const QRect& rect, const QColor& colour)
{
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (qAbs(c.red() - colour.red()) + qAbs(c.green() - colour.green()) + qAbs(c.blue() - colour.blue()) < 60)
                ++count;
        }
    return count;
}

} // namespace

class ScreenshotTest : public QObject {
    Q_OBJECT
private slots:
    void windowAfterRunShowsTheColouredPage()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
        if (xvfb.isEmpty())
            QSKIP("no xvfb-run (package xvfb)");
        if (!HaveModels())
            QSKIP("no trained models in the build (bin/Morv)");
        QTemporaryDir work;
        QTemporaryDir home;
        const QString shot = home.filePath(QStringLiteral("zelk.png"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM")); // the X display, not the offscreen one
        env.remove(QStringLiteral("MORV_HOME"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
        // On an X display the libraries (D-Bus, the X client) keep memory
        // allocated from code without frame pointers, which the suppressions
        // cannot match; Zelk's own leaks are looked for by the other tests.
        if (env.contains(QStringLiteral("ASAN_OPTIONS")))
            env.insert(QStringLiteral("ASAN_OPTIONS"),
                       env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
        QProcess zelk;
        zelk.setProcessEnvironment(env);
        zelk.setWorkingDirectory(work.path());
        zelk.setProcessChannelMode(QProcess::MergedChannels);
        zelk.start(xvfb, {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1280x900x24"),
                          QStringLiteral(MORV_BINARY_DIR "/bin/zelk"), QStringLiteral("--run-file"),
                          QStringLiteral(MORV_SOURCE_DIR "/data/sample.txt"), QStringLiteral("--screenshot"), shot});
        QVERIFY(zelk.waitForStarted(10000));
        const bool ended = zelk.waitForFinished(90000);
        const QByteArray output = zelk.readAll();
        QVERIFY2(ended, output.constData());
        QVERIFY2(zelk.exitStatus() == QProcess::NormalExit && zelk.exitCode() == 0, output.constData());

        QImage image(shot);
        QVERIFY2(!image.isNull(), output.constData());
        image = image.convertToFormat(QImage::Format_RGB32);
        QVERIFY(image.width() >= 800 && image.height() >= 500);
        // The panes lie side by side: input on the left, the page on the right.
        const QRect right(image.width() * 2 / 3, 80, image.width() / 3 - 30, image.height() / 2);
        const QRect left(image.width() / 4, 80, image.width() / 3, image.height() / 3);
        const int person = CountNear(image, right, ResultPage::Readable(QColor(0xFF, 0, 0)));
        const int tags = CountNear(image, right, QColor(0, 0, 0xFF));
        const int organisations = CountNear(image, right, ResultPage::Readable(QColor(0xFF, 0, 0xFF)));
        const int text = CountNear(image, left, QColor(0, 0, 0));
        qInfo("person %d, tag %d, organisation %d, input text %d pixels", person, tags, organisations, text);
        QVERIFY(person > 30);
        QVERIFY(tags > 100);
        QVERIFY(organisations > 30);
        QVERIFY(text > 100);
        // The page on disk was written beside the folder it was started in.
        QVERIFY(QFileInfo(work.filePath(QStringLiteral("result.htm"))).size() > 0);
    }
};

QTEST_MAIN(ScreenshotTest)
#include "ScreenshotTest.moc"
