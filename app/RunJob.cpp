#include "RunJob.h"

#include <QElapsedTimer>
#include <QSaveFile>
#include <QTextCodec>
#include <ctime>

#include "GbkText.h"
#include "ResultPage.h"

namespace {

double ThreadSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

} // namespace

RunJob::RunJob(const QString& text, const QString& pagePath, qint64 shownBytes,
               std::unique_ptr<EngineCalls::Analyzer> analyzer, QObject* parent)
    : QThread(parent), text(text), pagePath(pagePath), shownLimit(shownBytes), analyzer(std::move(analyzer)),
      head(EngineCalls::Current().PageHead()), tail(EngineCalls::Current().PageTail())
{
}

RunJob::~RunJob()
{
    Cancel();
    wait();
}

void RunJob::run()
{
    const double start = ThreadSeconds();
    succeeded = Analyze();
    seconds = ThreadSeconds() - start;
}

bool RunJob::Analyze()
{
    // What the report gives as the text's length: its bytes as the engine
    // reads them, GBK with CR LF line breaks.
    engineBytes = GbkText::ToEngine(text).size();
    const QByteArray utf8 = text.toUtf8();
    text.clear();

    QSaveFile page(pagePath);
    if (!page.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("Cannot write %1: %2").arg(pagePath, page.errorString());
        return false;
    }
    auto write = [&](const QByteArray& bytes) {
        if (page.write(bytes) == bytes.size())
            return true;
        error = QStringLiteral("Cannot write %1: %2").arg(pagePath, page.errorString());
        page.cancelWriting();
        return false;
    };
    if (!write(head))
        return false;

    const EngineCalls& engine = EngineCalls::Current();
    const char* data = utf8.constData();
    const qint64 size = utf8.size();
    QByteArray piece;
    QByteArray html;
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    qint64 reported = 0;
    for (qint64 pos = 0; pos < size;) {
        if (cancelled) {
            stopped = true;
            page.cancelWriting();
            return false;
        }
        const qint64 lineFeed = utf8.indexOf('\n', int(pos));
        const qint64 lineEnd = lineFeed < 0 ? size : lineFeed;
        piece.clear();
        if (lineEnd - pos > kPieceBytes) {
            // A long line goes in parts, each cut where the analysis does not change.
            size_t take = engine.CutPoint(data + pos, size_t(kPieceBytes));
            if (take == 0) {
                take = size_t(kPieceBytes);
                while (take > 1 && (static_cast<unsigned char>(data[pos + qint64(take)]) & 0xC0) == 0x80)
                    --take;
            }
            piece.append(data + pos, int(take));
            pos += qint64(take);
        } else {
            // The engine sees the line break too: it ends the line's last
            // sentence and becomes the page's paragraph break.
            piece.append(data + pos, int(lineEnd - pos));
            if (lineFeed >= 0)
                piece.append("\r\n");
            pos = lineFeed < 0 ? size : lineFeed + 1;
        }
        html.clear();
        if (!analyzer->AnalyzeHtml(piece.constData(), size_t(piece.size()), &html, &error)) {
            page.cancelWriting();
            return false;
        }
        if (!write(html))
            return false;
        pageBytes += html.size();
        Show(html, false);
        if (pos == size || pos - reported >= size / 100 || sinceProgress.elapsed() >= 100) {
            emit Progress(pos, size);
            reported = pos;
            sinceProgress.restart();
        }
    }
    if (!write(tail))
        return false;
    pageBytes += head.size() + tail.size();
    Show(QByteArray(), true);
    if (!page.commit()) {
        error = QStringLiteral("Cannot write %1: %2").arg(pagePath, page.errorString());
        return false;
    }
    return true;
}

void RunJob::Show(const QByteArray& html, bool last)
{
    if (shownWhole && !html.isEmpty()) {
        const qint64 room = shownLimit - shown;
        const int take = html.size() <= room ? html.size() : ResultPage::WordCut(html.left(int(room)));
        shownWhole = take == html.size();
        pending.append(html.constData(), take);
        shown += take;
    }
    if (pending.isEmpty() || (!last && shownWhole && pending.size() < kShownChunk))
        return;
    emit Shown(QTextCodec::codecForName("GBK")->toUnicode(ResultPage::ForDisplay(pending)));
    pending.clear();
}
