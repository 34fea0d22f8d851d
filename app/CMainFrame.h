// The main window: menu bar, "Standard" toolbar, status bar, the "Workspace"
// and "Output" bars, the caption bar, and the input and result panes side by side.
#ifndef ZELK_CMAINFRAME_H
#define ZELK_CMAINFRAME_H

#include <QMainWindow>
#include <QString>
#include <QStringList>

class CCaptionBar;
class CFileTreeCtrl;
class CLeftView;
class CMyZelkView;
class QDockWidget;
class QMenu;
class QPlainTextEdit;
class QPrinter;
class QProgressBar;
class QPushButton;
class QSplitter;
class QTabWidget;
class QToolBar;
class RunJob;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The tag explanation shown in the output bar's second tab.
    static QString TagExplanationText();
    // The text the Run command writes to "系统信息" for n bytes and seconds.
    static QString RunReport(int n, double seconds);
    // The first line of the message of a failed import.
    static QString ImportFailedText();

    CLeftView* LeftView() const { return leftView; }
    CMyZelkView* ResultView() const { return resultView; }
    CFileTreeCtrl* FileTree() const { return fileTree; }
    QPlainTextEdit* SystemInfoPane() const { return systemInfo; }
    QPlainTextEdit* TagExplanationPane() const { return tagExplanation; }
    CCaptionBar* CaptionBar() const { return captionBar; }
    QDockWidget* WorkspaceBar() const { return workspaceBar; }
    QDockWidget* OutputBar() const { return outputBar; }
    QToolBar* StandardToolBar() const { return toolBar; }
    // The working directory when the frame was made; the help pages lie below it.
    const QString& FrameDirectory() const { return frameDirectory; }
    // The text of "系统信息" as the last successful Run wrote it (CR LF line ends).
    const QString& LastRunReport() const { return lastRunReport; }
    // The file Save writes to; empty for a text never saved or opened.
    const QString& DocumentPath() const { return documentPath; }
    // The engine's model folder (its MANUAL/ holds the API manual when the
    // working directory has none).
    void SetEngineBase(const QString& base) { engineBase = base; }
    // The files the help commands open.
    QString HelpContentPath() const;
    QString HelpApiPath() const;

    // Whether a Run is analysing (or its page still being laid out: no).
    bool IsRunning() const { return job != nullptr; }
    // Stops a Run in progress and waits for its thread; the old page stays.
    void CancelRun();
    QProgressBar* RunProgress() const { return runProgress; }
    QPushButton* CancelButton() const { return cancelButton; }

    // The main menu's action with this command id (nullptr if none).
    QAction* CommandAction(int id) const;
    // The menu shown on a right click on a bar.
    QMenu* CreateBarMenu(QWidget* parent);

    // Recent-file list (at most four entries, newest first).
    void SetRecentFiles(const QStringList& files);
    QStringList RecentFiles() const { return recentFiles; }

    // Saves and restores the window and bar layout.
    void SaveLayout() const;
    void RestoreLayout();

signals:
    // A Run has ended: ok when its page was written (and is being shown).
    void RunFinished(bool ok);

public slots:
    // Starts the analysis of the input text on a thread of its own; the
    // window answers meanwhile, shows the progress and can cancel it.
    void OnRun();
    void OnFileOpen();
    void OnImportUserDict();
    // The import itself, once a word list is chosen.
    void ImportUserDict(const QString& listPath);
    void OnHelpContent();
    void OnHelpApi();
    void OnAppAbout();
    void OnCustomize();
    void OnFileNew();
    void OnFileSave();
    void OnFileSaveAs();
    void OnFilePrint();
    void OnFilePrintSetup();
    // Loads a file into the input pane as the current document and records it
    // in the recent-file list. Unsaved changes are offered for saving first;
    // false when the user cancels or the file cannot be read.
    bool OpenIntoEditor(const QString& path);
    // The same; remember tells whether the file goes into the recent-file list.
    bool OpenDocument(const QString& path, bool remember);
    // Save and Save As: true once the text is on disk.
    bool Save();
    bool SaveAs();
    // Asks whether to save unsaved changes; false when the user cancels (or
    // the save fails), so the changes must not be dropped.
    bool MaybeSave();

protected:
    QMenu* createPopupMenu() override;
    void closeEvent(QCloseEvent* event) override;
    // The file chosen in the Save As dialog; empty when cancelled.
    virtual QString ChooseSaveAsPath();

private:
    QAction* MakeAction(const char* text, int id, const char* name, const char* tip);
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreateBars();
    void CreateClientArea();
    void ToggleBar(QWidget* bar);
    void UpdateBarChecks();
    void RebuildRecentMenu();
    QWidget* ActivePane() const;
    void NextPane(int step);
    bool SaveTo(const QString& path);
    bool LoadDocument(const QString& path, bool remember);
    void AddRecentFile(const QString& path);
    void UpdateTitle();
    void OnRunFinished();
    void OpenPage(const QString& path);

    QString frameDirectory;
    QString engineBase;
    QString lastRunReport;
    QString documentPath;
    QStringList recentFiles;

    CLeftView* leftView = nullptr;
    CMyZelkView* resultView = nullptr;
    CFileTreeCtrl* fileTree = nullptr;
    CCaptionBar* captionBar = nullptr;
    QSplitter* splitter = nullptr;
    QDockWidget* workspaceBar = nullptr;
    QDockWidget* outputBar = nullptr;
    QTabWidget* outputTabs = nullptr;
    QPlainTextEdit* systemInfo = nullptr;
    QPlainTextEdit* tagExplanation = nullptr;
    QToolBar* toolBar = nullptr;
    QMenu* recentMenuOwner = nullptr;
    QAction* recentAnchor = nullptr;
    QList<QAction*> recentActions;
    QAction* toggleToolBar = nullptr;
    QAction* toggleStatusBar = nullptr;
    QAction* toggleWorkspace = nullptr;
    QAction* toggleOutput = nullptr;
    QAction* toggleCaption = nullptr;
    QAction* customize = nullptr;
    QWidget* lastPane = nullptr;
    QPrinter* printer = nullptr;
    QAction* runAction = nullptr;
    QAction* importAction = nullptr;
    QProgressBar* runProgress = nullptr;
    QPushButton* cancelButton = nullptr;
    RunJob* job = nullptr;
    bool pageBegun = false; // the running job has begun to show its page
};

#endif
