#include "CMyZelkApp.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QFileInfo>
#include <QScrollBar>
#include <QTimer>
#include <cstdio>

#include "CLeftView.h"
#include "CMainFrame.h"
#include "CMyZelkView.h"
#include "EngineCalls.h"
#include "MessageSink.h"
#include "ZelkLog.h"

namespace {

// Unattended runs (--screenshot) must not wait for a click on a message box.
class StderrSink : public MessageSink {
public:
    void Show(QWidget*, const QString& text) override
    {
        std::fprintf(stderr, "zelk: %s\n", text.toLocal8Bit().constData());
    }
    // Nobody is there to answer: keep the text.
    SaveChoice AskToSave(QWidget* parent, const QString& text) override
    {
        Show(parent, text);
        return Cancel;
    }
};

} // namespace

CMyZelkApp::CMyZelkApp()
{
    QCoreApplication::setOrganizationName(QStringLiteral("BCG AppWizard-Generated Applications"));
    QCoreApplication::setApplicationName(QStringLiteral("Zelk"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Zelk"));
}

CMyZelkApp::~CMyZelkApp()
{
    delete mainFrame;
}

QString CMyZelkApp::InitFailureMessage(const QString& log, const QString& reason)
{
    if (log.isEmpty())
        return QStringLiteral("Failed in Init Zelk! %1").arg(reason);
    return QStringLiteral("Failed in Init Zelk! Detail to see LOG file %1").arg(log);
}

QStringList CMyZelkApp::LogCandidates(const QString& base)
{
    QStringList paths;
    if (base == QDir::currentPath() + QStringLiteral("/Morv"))
        paths << base + QStringLiteral("/Morv.log");
    const QString own = ZelkLog::PrivateDir();
    if (!own.isEmpty())
        paths << own + QStringLiteral("/Morv.log");
    return paths;
}

bool CMyZelkApp::InitInstance(const QStringList& arguments)
{
    QString file;
    QString runFile;
    QString screenshot;
    bool resultEnd = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        if (arg == QLatin1String("--run-file") && i + 1 < arguments.size())
            runFile = arguments.at(++i);
        else if (arg == QLatin1String("--screenshot") && i + 1 < arguments.size())
            screenshot = arguments.at(++i);
        else if (arg == QLatin1String("--result-end"))
            resultEnd = true;
        else if (!arg.startsWith(QLatin1String("--")))
            file = arg;
    }

    static StderrSink stderrSink;
    if (!screenshot.isEmpty())
        MessageSink::Install(&stderrSink);

    QSettings settings;
    settings.value(QStringLiteral("Settings/PreviewPages"), 0);
    QStringList recent;
    for (int i = 1; i <= 4; ++i) {
        const QString entry = settings.value(QStringLiteral("Recent File List/File%1").arg(i)).toString();
        if (!entry.isEmpty())
            recent << entry;
    }

    mainFrame = new CMainFrame;
    mainFrame->SetRecentFiles(recent);

    // The models of the working directory's Morv/ when it has them, as
    // always; else those the library finds, so that Zelk starts anywhere.
    EngineCalls& engine = EngineCalls::Current();
    const QString local = QDir::currentPath() + QStringLiteral("/Morv");
    engineBase = QFileInfo(local + QStringLiteral("/Configure.xml")).isFile() ? local : engine.DefaultModelDir();
    if (!engineBase.isEmpty())
        engineBase = QDir::cleanPath(engineBase); // the library's may read ".../bin/../lib/../share/morv"
    ZelkLog& log = ZelkLog::Current();
    log.Open(LogCandidates(engineBase));
    QString error;
    if (engineBase.isEmpty() || !engine.Open(engineBase, &error)) {
        if (engineBase.isEmpty())
            error = QStringLiteral("No models: there is no Morv/Configure.xml in %1, and none are installed.")
                        .arg(QDir::currentPath());
        log.Write(error);
        MessageSink::Current().Show(nullptr, InitFailureMessage(log.Path(), error));
        delete mainFrame;
        mainFrame = nullptr;
        return false;
    }
    log.Write(QStringLiteral("Zelk uses the models in %1.").arg(engineBase));
    mainFrame->SetEngineBase(engineBase);
    started = true;

    mainFrame->RestoreLayout();
    mainFrame->show();
    if (!file.isEmpty())
        mainFrame->OpenIntoEditor(file);
    if (!runFile.isEmpty()) {
        mainFrame->OpenDocument(runFile, false);
        mainFrame->OnRun();
    }
    if (!screenshot.isEmpty())
        TakeScreenshot(screenshot, resultEnd);
    return true;
}

void CMyZelkApp::TakeScreenshot(const QString& path, bool resultEnd)
{
    // Once the result page is shown (or at once without a Run; at most after a
    // minute), let it paint and grab.
    auto grab = [this, path, resultEnd] {
        QTimer::singleShot(500, this, [this, path, resultEnd] {
            if (mainFrame == nullptr)
                return;
            if (resultEnd) {
                QScrollBar* bar = mainFrame->ResultView()->verticalScrollBar();
                bar->setValue(bar->maximum());
            }
            QApplication::processEvents();
            const bool saved = mainFrame->grab().save(path, "PNG");
            QApplication::exit(saved ? 0 : 2);
        });
    };
    if (!mainFrame->IsRunning()) {
        grab();
        return;
    }
    QTimer* timeout = new QTimer(this);
    timeout->setSingleShot(true);
    connect(timeout, &QTimer::timeout, this, grab);
    auto shown = [timeout, grab] {
        if (timeout->isActive()) {
            timeout->stop();
            grab();
        }
    };
    connect(mainFrame->ResultView(), &CMyZelkView::PageShown, this, shown);
    connect(mainFrame, &CMainFrame::RunFinished, this, [shown](bool ok) {
        if (!ok)
            shown(); // a failed Run shows no page: the window as it is
    });
    timeout->start(60000);
}

int CMyZelkApp::ExitInstance()
{
    if (mainFrame != nullptr) {
        mainFrame->CancelRun(); // its analyser uses the model
        mainFrame->SaveLayout();
    }
    EngineCalls::Current().Close();
    ZelkLog::Current().Close();
    started = false;
    return 0;
}
