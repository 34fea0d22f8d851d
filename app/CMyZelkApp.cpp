#include "CMyZelkApp.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTimer>
#include <QWebFrame>
#include <cstdio>

#include "CLeftView.h"
#include "CMainFrame.h"
#include "CMyZelkView.h"
#include "EngineCalls.h"
#include "MessageSink.h"

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

QString CMyZelkApp::InitFailureMessage(const QString& base)
{
    return QStringLiteral("Failed in Init Zelk! Detail to see LOG file %1/Morv.log").arg(base);
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

    engineBase = QDir::currentPath() + QStringLiteral("/Morv");
    if (!EngineCalls::Current().init(QFile::encodeName(engineBase).constData())) {
        MessageSink::Current().Show(nullptr, InitFailureMessage(engineBase));
        delete mainFrame;
        mainFrame = nullptr;
        return false;
    }
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
    // Wait for the result page (or give up after a while), let it paint, grab.
    auto grab = [this, path, resultEnd] {
        QTimer::singleShot(500, this, [this, path, resultEnd] {
            if (mainFrame == nullptr)
                return;
            if (resultEnd) {
                QWebFrame* frame = mainFrame->ResultView()->page()->mainFrame();
                frame->setScrollBarValue(Qt::Vertical, frame->scrollBarMaximum(Qt::Vertical));
            }
            QApplication::processEvents();
            const bool saved = mainFrame->grab().save(path, "PNG");
            QApplication::exit(saved ? 0 : 2);
        });
    };
    QTimer* timeout = new QTimer(this);
    timeout->setSingleShot(true);
    connect(timeout, &QTimer::timeout, this, grab);
    connect(mainFrame->ResultView(), &QWebView::loadFinished, this, [timeout, grab] {
        if (timeout->isActive()) {
            timeout->stop();
            grab();
        }
    });
    timeout->start(10000);
}

int CMyZelkApp::ExitInstance()
{
    if (mainFrame != nullptr)
        mainFrame->SaveLayout();
    EngineCalls::Current().exit();
    started = false;
    return 0;
}
