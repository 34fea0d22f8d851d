// The application object: start-up (settings, main frame, engine) and end.
#ifndef ZELK_CMYZELKAPP_H
#define ZELK_CMYZELKAPP_H

#include <QObject>
#include <QString>
#include <QStringList>

class CMainFrame;

class CMyZelkApp : public QObject {
    Q_OBJECT
public:
    CMyZelkApp();
    ~CMyZelkApp() override;

    // Creates the main frame and starts the engine on the working directory's
    // "Morv" when it holds a Configure.xml, else on the models the library
    // finds (the installed ones). On failure writes why to the log, shows
    // where the log is and returns false; the window is never shown then.
    // arguments are the command line without the program name: an optional
    // FILE to load, and the switches "--run-file FILE" (load and Run),
    // "--screenshot PNG" (save the window once the result page is shown, or
    // at once without a Run, then quit) and "--result-end" (scroll the result
    // pane to its end before the screenshot).
    bool InitInstance(const QStringList& arguments = QStringList());
    // Releases the engine. Returns the process exit code.
    int ExitInstance();

    CMainFrame* MainFrame() const { return mainFrame; }
    // The engine base directory given to the engine at start-up.
    const QString& EngineBase() const { return engineBase; }

    // The message of a failed start; log is the log that holds the reason
    // (empty when no log could be written: then the reason itself).
    static QString InitFailureMessage(const QString& log, const QString& reason = QString());
    // Where the log goes for the engine base: beside the models of the
    // working directory's Morv/, else in Zelk's own folder.
    static QStringList LogCandidates(const QString& base);

private:
    void TakeScreenshot(const QString& path, bool resultEnd);

    CMainFrame* mainFrame = nullptr;
    QString engineBase;
    bool started = false;
};

#endif
