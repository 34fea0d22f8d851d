// Helpers shared by the Zelk tests: a recording message sink, a stand-in
// engine, and the environment every test program runs in.
#ifndef ZELK_TESTS_ZELKTESTUTIL_H
#define ZELK_TESTS_ZELKTESTUTIL_H

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include "MessageSink.h"

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
struct FakeEngine {
    FakeEngine();  // installs itself
    ~FakeEngine(); // puts the real engine back

    static FakeEngine* active;
    bool initResult = true;
    bool writeResult = true;
    int importResult = 0;
    QByteArray initBase;
    QByteArray lastText;
    QByteArray lastPath;
    QByteArray lastList;
    QByteArray lastListBytes; // the list file's content during the call
    int initCalls = 0;
    int exitCalls = 0;
    int writeCalls = 0;
    int importCalls = 0;
};

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

// Puts the settings in a scratch directory, so tests never touch the user's.
void IsolateSettings();

// True when the trained models are in the build (bin/Morv/Configure.xml).
bool HaveModels();

// The sample text of data/sample.txt.
QString SampleText();

#endif
