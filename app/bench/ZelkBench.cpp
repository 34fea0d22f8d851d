// Figures for Zelk's responsiveness; they never fail anything.
//
//   zelk_bench [--whole] [TEXT]
//
// TEXT is a plain text (default: the build's People's Daily corpus with its
// ids, tags and brackets taken out).
//
// 1. Key latency on one line of 660,000 characters: the first characters of
//    TEXT joined into one line, in a plain QPlainTextEdit holding the line in
//    one block (as the input pane used to) and in the input pane, which holds
//    it in pieces. Keys typed and deleted in the middle of the line.
// 2. Run on the first 3.7 MB (GBK) of TEXT with the models of build/bin/Morv,
//    in the main window: the time until the analysis ends and until the page
//    is shown, the longest time the event loop did not turn meanwhile and in
//    the second after, and the memory it took. --whole also lays out the
//    page whole in a plain rich-text view, at once.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QTextBrowser>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

#include "CLeftView.h"
#include "CMainFrame.h"
#include "CMyZelkView.h"
#include "EngineCalls.h"

namespace {

const int kLineLength = 660000;
const int kPageTextBytes = 3700000;

QString ReadText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QString raw = QString::fromUtf8(file.readAll());
    if (path != QStringLiteral(MORV_BINARY_DIR "/data/pd199801.txt"))
        return raw;
    // "19980101-01-001-001/m  迈向/v  [中央/n  电视台/n]nt": the words only.
    static const QRegularExpression token(QStringLiteral("\\[?([^\\s/]+)/[^\\s]*"));
    QString text;
    for (const QString& line : raw.split(QLatin1Char('\n'))) {
        QString words;
        auto it = token.globalMatch(line);
        bool first = true;
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            if (!first)
                words += m.captured(1);
            first = false;
        }
        if (!words.isEmpty())
            text += words + QLatin1Char('\n');
    }
    return text;
}

long StatusKb(const char* key)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLong();
    return 0;
}

void SendKey(QWidget* to, int key, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(to, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(to, &release);
    to->repaint();
    QApplication::processEvents();
}

// Milliseconds of wall and CPU time per key, typing then deleting in the middle.
void KeyLatency(QPlainTextEdit* editor, const char* label)
{
    editor->resize(600, 700);
    editor->show();
    QApplication::processEvents();
    QTextCursor cursor = editor->textCursor();
    cursor.setPosition(editor->document()->characterCount() / 2);
    editor->setTextCursor(cursor);
    editor->setFocus();
    QApplication::processEvents();
    const int keys = 20;
    QElapsedTimer wall;
    wall.start();
    const std::clock_t cpu0 = std::clock();
    for (int i = 0; i < keys / 2; ++i)
        SendKey(editor, Qt::Key_A, QStringLiteral("a"));
    for (int i = 0; i < keys / 2; ++i)
        SendKey(editor, Qt::Key_Backspace, QString());
    const double cpuMs = double(std::clock() - cpu0) * 1000.0 / CLOCKS_PER_SEC;
    std::printf("%-34s %8.2f ms wall, %8.2f ms CPU per key (%d blocks)\n", label,
                double(wall.nsecsElapsed()) / 1e6 / keys, cpuMs / keys,
                editor->document()->blockCount());
    editor->hide();
}

struct PageFigures {
    double firstMs = -1; // something to see
    double doneMs = -1;  // the analysis ended
    double shownMs = -1; // the page is laid out
    double longestGapMs = 0;    // wall time
    double longestGapCpuMs = 0; // processor time of the window's thread
    long rssMb = 0;
};

double ThreadCpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Runs start() and measures until a second after finished() is true.
PageFigures Measure(const std::function<void()>& start, const std::function<bool()>& first,
                    const std::function<bool()>& done, const std::function<bool()>& finished)
{
    PageFigures figures;
    QApplication::processEvents();
    QElapsedTimer clock;
    QElapsedTimer gap;
    QTimer tick;
    tick.setInterval(5);
    double cpuAtTick = ThreadCpuMs();
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const double cpu = ThreadCpuMs();
        figures.longestGapMs = std::max(figures.longestGapMs, double(gap.nsecsElapsed()) / 1e6);
        figures.longestGapCpuMs = std::max(figures.longestGapCpuMs, cpu - cpuAtTick);
        cpuAtTick = cpu;
        gap.restart();
        if (figures.firstMs < 0 && first())
            figures.firstMs = double(clock.nsecsElapsed()) / 1e6;
        if (figures.doneMs < 0 && done())
            figures.doneMs = double(clock.nsecsElapsed()) / 1e6;
    });
    const long rss0 = StatusKb("VmRSS:");
    clock.start();
    gap.start();
    cpuAtTick = ThreadCpuMs();
    tick.start();
    start();
    while (!finished() && clock.elapsed() < 600000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    figures.shownMs = double(clock.nsecsElapsed()) / 1e6;
    QElapsedTimer after;
    after.start();
    while (after.elapsed() < 1000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    figures.rssMb = (StatusKb("VmRSS:") - rss0) / 1024;
    return figures;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    bool whole = false;
    QString path = QStringLiteral(MORV_BINARY_DIR "/data/pd199801.txt");
    for (const QString& arg : QApplication::arguments().mid(1)) {
        if (arg == QLatin1String("--whole"))
            whole = true;
        else
            path = arg;
    }
    const QString text = ReadText(path);
    if (text.isEmpty()) {
        std::fprintf(stderr, "zelk_bench: cannot read %s\n", qPrintable(path));
        return 1;
    }

    // 1. Key latency on one long line.
    QString line = text;
    line.remove(QLatin1Char('\n'));
    while (line.size() < kLineLength)
        line += line;
    line.truncate(kLineLength);
    std::printf("Key latency on one line of %d characters (10 keys typed, 10 deleted):\n",
                line.size());
    {
        QPlainTextEdit oneBlock;
        oneBlock.setLineWrapMode(QPlainTextEdit::WidgetWidth);
        oneBlock.setPlainText(line);
        KeyLatency(&oneBlock, "  one block (the pane before)");
    }
    {
        CLeftView pane;
        pane.SetText(line);
        KeyLatency(&pane, "  input pane (line in pieces)");
    }

    // 2. Run on a large text, in the main window.
    QString error;
    if (!EngineCalls::Current().Open(QStringLiteral(MORV_BINARY_DIR "/bin/Morv"), &error)) {
        std::printf("Run: no models in " MORV_BINARY_DIR "/bin/Morv (%s), skipped\n", qPrintable(error));
        return 0;
    }
    QTemporaryDir dir;
    QDir::setCurrent(dir.path()); // the page goes to the working directory's result.htm
    QString runText = text;
    while (QTextCodec::codecForName("GBK")->fromUnicode(runText).size() > kPageTextBytes)
        runText.chop(runText.size() / 20);
    QString pagePath;
    {
        CMainFrame frame;
        frame.resize(1000, 700);
        frame.show();
        frame.LeftView()->SetText(runText);
        bool ended = false;
        bool shown = false;
        QObject::connect(&frame, &CMainFrame::RunFinished, [&](bool) { ended = true; });
        QObject::connect(frame.ResultView(), &CMyZelkView::PageShown, [&] { shown = true; });
        const PageFigures f = Measure([&] { frame.OnRun(); },
                                      [&] { return !frame.ResultView()->document()->isEmpty(); },
                                      [&] { return ended; }, [&] { return shown; });
        pagePath = frame.ResultView()->ResultPath();
        std::printf("Run on %d bytes of text (GBK): first words shown after %.2f s, analysed in %.2f s "
                    "(%s s of processor time), page of %.1f MB shown in %.2f s (%s)\n"
                    "  longest stall of the window %.0f ms wall, %.0f ms CPU; %ld MB more memory\n",
                    int(frame.LeftView()->EngineText().size()), f.firstMs / 1000.0, f.doneMs / 1000.0,
                    qPrintable(frame.LastRunReport().section(QStringLiteral("\u5904\u7406\u7528\u65f6"), 1)
                                   .section(QStringLiteral("\u79d2"), 0, 0)),
                    double(QFile(pagePath).size()) / 1048576.0, f.shownMs / 1000.0,
                    frame.ResultView()->ShowsWholePage() ? "whole" : "its first part", f.longestGapMs,
                    f.longestGapCpuMs, f.rssMb);
    }
    if (whole) {
        QTextBrowser plain;
        plain.resize(600, 700);
        plain.show();
        QFile file(pagePath);
        file.open(QIODevice::ReadOnly);
        const QString page = QTextCodec::codecForName("GBK")->toUnicode(file.readAll());
        bool laidOut = false;
        const PageFigures f = Measure([&] { plain.setHtml(page); laidOut = true; }, [&] { return laidOut; },
                                      [&] { return laidOut; }, [&] { return laidOut; });
        std::printf("  whole page in a plain view: shown in %.2f s, longest stall %.0f ms wall, %.0f ms CPU, "
                    "%ld MB more memory\n",
                    f.shownMs / 1000.0, f.longestGapMs, f.longestGapCpuMs, f.rssMb);
    }
    EngineCalls::Current().Close();
    return 0;
}
