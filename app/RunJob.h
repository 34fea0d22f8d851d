// One Run: the analysis of the input text on a thread of its own, so that the
// window keeps answering. The text goes to the engine a line at a time (a long
// line in parts cut where the analysis does not change), and the cancel flag
// is looked at between two parts. The result page is written beside its
// place and replaces the old one only once complete, so a cancelled or failed
// Run leaves the old page. The part of the page the pane shows is handed on as
// it grows, in the pane's colours.
#ifndef ZELK_RUNJOB_H
#define ZELK_RUNJOB_H

#include <QByteArray>
#include <QString>
#include <QThread>
#include <atomic>
#include <memory>

#include "EngineCalls.h"

class RunJob : public QThread {
    Q_OBJECT
public:
    // The engine is handed a line or a part of one of at most this many bytes.
    static const int kPieceBytes = 64 * 1024;
    // The part the pane shows is handed on in pieces of about this size.
    static const int kShownChunk = 64 * 1024;

    // Analyses text (line breaks as '\n') into the page at pagePath with
    // analyzer; the first shownBytes bytes of the page's words go to Shown().
    RunJob(const QString& text, const QString& pagePath, qint64 shownBytes,
           std::unique_ptr<EngineCalls::Analyzer> analyzer, QObject* parent = nullptr);
    // Cancels the job and waits for its thread.
    ~RunJob() override;

    // Asks the job to stop at the next part; the old page stays.
    void Cancel() { cancelled = true; }

    // Once finished: whether the page was written, or the job was cancelled,
    // or why it failed.
    bool Succeeded() const { return succeeded; }
    bool WasCancelled() const { return stopped; }
    const QString& Error() const { return error; }
    // The text's length as the engine's GBK with CR LF line breaks.
    int EngineBytes() const { return engineBytes; }
    // The processor time the analysis took (of its thread).
    double Seconds() const { return seconds; }
    // The page's size, and how much of its words went to Shown().
    qint64 PageBytes() const { return pageBytes; }
    qint64 ShownBytes() const { return shown; }
    bool ShownWhole() const { return shownWhole; }
    // The end of the page (legend and footer) as the engine writes it.
    const QByteArray& PageTail() const { return tail; }

signals:
    // Bytes of the text (UTF-8) analysed so far, of total.
    void Progress(qint64 done, qint64 total);
    // More of the page's words as the pane shows them.
    void Shown(const QString& html);

protected:
    void run() override;

private:
    bool Analyze();
    void Show(const QByteArray& html, bool last);

    QString text;
    QString pagePath;
    qint64 shownLimit;
    std::unique_ptr<EngineCalls::Analyzer> analyzer;
    QByteArray head;
    QByteArray tail;
    std::atomic<bool> cancelled{false};

    bool succeeded = false;
    bool stopped = false;
    QString error;
    int engineBytes = 0;
    double seconds = 0;
    qint64 pageBytes = 0;
    qint64 shown = 0;
    bool shownWhole = true;
    QByteArray pending; // shown words not yet handed on
};

#endif
