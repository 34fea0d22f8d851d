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
// 2. The result pane on the page of the first 3.7 MB (GBK) of TEXT, written by
//    the engine from build/bin/Morv: time until the page is shown, the longest
//    time the event loop did not turn meanwhile and in the second after, and
//    the memory it took. --whole also loads the page whole in a plain browser
//    view, as the pane used to (about 40 s and 2.5 GB for this page).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QTimer>
#include <QWebFrame>
#include <QWebView>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

#include "CLeftView.h"
#include "CMyZelkView.h"
#include "engine/Engine.h"

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
    double shownMs = -1;
    double longestGapMs = 0;
    long rssMb = 0;
};

// Shows the page through load(), measuring until a second after loadFinished.
PageFigures ShowPage(QWebView* view, const std::function<void()>& load)
{
    PageFigures figures;
    view->resize(600, 700);
    view->show();
    QApplication::processEvents();
    QElapsedTimer clock;
    QElapsedTimer gap;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        figures.longestGapMs = std::max(figures.longestGapMs, double(gap.nsecsElapsed()) / 1e6);
        gap.restart();
    });
    bool finished = false;
    QObject::connect(view, &QWebView::loadFinished, [&](bool) {
        if (!finished)
            figures.shownMs = double(clock.nsecsElapsed()) / 1e6;
        finished = true;
    });
    const long rss0 = StatusKb("VmRSS:");
    clock.start();
    gap.start();
    tick.start();
    load();
    while (!finished && clock.elapsed() < 600000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
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

    // 2. The result pane on a large page.
    QTemporaryDir dir;
    if (!EngineInit(MORV_BINARY_DIR "/bin/Morv")) {
        std::printf("Result pane: no models in " MORV_BINARY_DIR "/bin/Morv, skipped\n");
        return 0;
    }
    QByteArray gbk = QTextCodec::codecForName("GBK")->fromUnicode(text);
    gbk.truncate(kPageTextBytes);
    const QString pagePath = dir.filePath(QStringLiteral("result.htm"));
    QElapsedTimer engine;
    engine.start();
    const bool written = EngineWriteHtml(gbk.constData(), QFile::encodeName(pagePath).constData());
    EngineExit();
    if (!written) {
        std::fprintf(stderr, "zelk_bench: the engine wrote no page\n");
        return 1;
    }
    std::printf("Result page of %d bytes of text: %.1f MB, written in %.2f s\n", gbk.size(),
                double(QFile(pagePath).size()) / 1048576.0, double(engine.elapsed()) / 1000.0);

    QDir::setCurrent(dir.path()); // the pane shows the working directory's result.htm
    {
        CMyZelkView pane;
        pane.OnInitialUpdate();
        const PageFigures f = ShowPage(&pane, [&] { pane.Refresh(); });
        std::printf("  result pane: shown in %.2f s, longest stall %.0f ms, %ld MB more memory%s\n",
                    f.shownMs / 1000.0, f.longestGapMs, f.rssMb,
                    pane.ShowsWholePage() ? "" : " (first part shown)");
    }
    if (whole) {
        QWebView plain;
        const PageFigures f = ShowPage(&plain, [&] { plain.load(QUrl::fromLocalFile(pagePath)); });
        std::printf("  whole page in a plain view: shown in %.2f s, longest stall %.0f ms, "
                    "%ld MB more memory\n",
                    f.shownMs / 1000.0, f.longestGapMs, f.rssMb);
    }
    return 0;
}
