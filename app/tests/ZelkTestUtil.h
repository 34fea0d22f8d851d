// Helpers shared by the Zelk tests: a recording message sink, a stand-in
// engine, and the environment every test program runs in.
#ifndef ZELK_TESTS_ZELKTESTUTIL_H
#define ZELK_TESTS_ZELKTESTUTIL_H

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include "EngineCalls.h"
#include "MessageSink.h"

class CLeftView;
class CMainFrame;

// Keeps every message instead of showing a box, and answers the questions
// whether to save with answer.
class RecordingSink : public MessageSink {
public:
    RecordingSink() { Install(this); }
    ~RecordingSink() override { Install(nullptr); }
    void Show(QWidget*, const QString& text) override { messages << text; }
    SaveChoice AskToSave(QWidget*, const QString& text) override
    {
        questions << text;
        return answer;
    }
    QStringList messages;
    QStringList questions;
    SaveChoice answer = Cancel;
};

// Engine stand-in: records what the shell hands over and answers as told.
// Its page parts hold the text handed over, so a test can see it in the pane.
class FakeEngine : public EngineCalls {
public:
    FakeEngine();           // installs itself
    ~FakeEngine() override; // puts the library back

    QString DefaultModelDir() const override { return defaultDir; }
    bool Open(const QString& dir, QString* error) override;
    void Close() override;
    bool IsOpen() const override { return open; }
    std::unique_ptr<Analyzer> NewAnalyzer(QString* error) override;
    size_t CutPoint(const char* data, size_t size) const override;
    QByteArray PageHead() const override;
    QByteArray PageTail() const override;
    bool AddWords(const QByteArray& list, const QString& name, size_t* added, size_t* total,
                  QString* error) override;

    // The text handed over in the last Run, its pieces joined (UTF-8).
    QByteArray LastText() const;
    int Pieces() const;

    QString defaultDir = QStringLiteral("/nonexistent/models");
    bool openResult = true;
    QString openError = QStringLiteral("cannot read Configure.xml");
    bool analyzeResult = true;
    int pieceDelayMs = 0;   // each piece takes this long (a long Run)
    size_t addResult = 0;   // entries AddWords reports taken
    QString addError;       // when set, AddWords refuses with it
    bool open = false;
    QStringList openDirs;
    int closeCalls = 0;
    int analyzerCalls = 0;
    int addCalls = 0;
    QByteArray lastList;
    QString lastListName;

private:
    friend class FakeAnalyzer;
    mutable QMutex mutex; // pieces arrive on the Run's thread
    QByteArray text;
    int pieces = 0;
};

// Runs the analysis in frame and waits until it ends (ok: its page was written).
bool RunAndWait(CMainFrame& frame, int timeoutMs = 60000);

// Records the URLs handed to QDesktopServices::openUrl for the file: scheme.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    UrlRecorder();
    ~UrlRecorder() override;
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

// Puts the settings and Zelk's own folder (its log) in scratch directories,
// so tests never touch the user's.
void IsolateSettings();

// True when the trained models are in the build (bin/Morv/Configure.xml).
bool HaveModels();

// Copies the trained models to dir/Morv; returns that path, empty on failure.
QString CopyModels(const QString& dir);

// The file's bytes ("<unreadable>" when it cannot be read), and a file made
// of bytes (false when it cannot be written).
QByteArray ReadAll(const QString& path);
bool WriteAll(const QString& path, const QByteArray& bytes);

// Adds text at the end of the input pane, an edit as typing is.
void Type(CLeftView* view, const QString& text);

// The sample text of data/sample.txt.
QString SampleText();

#endif
