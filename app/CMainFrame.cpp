#include "CMainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTextCodec>
#include <QTextDocument>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>
#include <cerrno>
#include <cstring>
#include <functional>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#include "CAboutDlg.h"
#include "CCaptionBar.h"
#include "CCustomizeDialog.h"
#include "CFileTreeCtrl.h"
#include "CLeftView.h"
#include "CMyZelkView.h"
#include "CPageViewer.h"
#include "CommandIds.h"
#include "EngineCalls.h"
#include "MessageSink.h"
#include "ResultPage.h"
#include "RunJob.h"
#include "TextFile.h"
#include "ZelkLog.h"

#ifndef ZELK_DOC_FROM_BIN
#define ZELK_DOC_FROM_BIN "../share/doc/morv"
#endif

namespace {

const int kRecentFileCount = 4;

// Shows text in a read-only pane; the panes keep Windows line ends in their
// source strings, the editor wants plain line feeds.
void SetPaneText(QPlainTextEdit* pane, const QString& text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    pane->setPlainText(shown);
}

QPlainTextEdit* MakeOutputPane(const char* name)
{
    QPlainTextEdit* pane = new QPlainTextEdit;
    pane->setObjectName(QString::fromLatin1(name));
    pane->setReadOnly(true);
    pane->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    pane->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return pane;
}

} // namespace

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent), frameDirectory(QDir::currentPath())
{
    setObjectName(QStringLiteral("MainFrame"));
    CreateClientArea();
    CreateBars();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    SetPaneText(tagExplanation, TagExplanationText());
    resize(1000, 700);

    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        for (QWidget* w = now; w != nullptr; w = w->parentWidget())
            if (w == leftView || w == resultView) {
                lastPane = w;
                return;
            }
    });
    connect(fileTree, &CFileTreeCtrl::OpenRequested, this,
            [this](const QString& path) { OpenDocument(path, false); });
    connect(leftView->document(), &QTextDocument::modificationChanged, this,
            &QWidget::setWindowModified);
    UpdateTitle();
    resultView->OnInitialUpdate();
}

CMainFrame::~CMainFrame()
{
    // Nothing is shown any more: the job only has to stop before the model goes.
    delete job;
    job = nullptr;
    // The bars report their hiding while the window is torn down; nobody listens then.
    disconnect(qApp, nullptr, this, nullptr);
    workspaceBar->disconnect(this);
    outputBar->disconnect(this);
    delete printer;
}

QString CMainFrame::TagExplanationText()
{
    return QStringLiteral("n 名词\r\n\tnr 人名\r\n\t\tnr1 汉语姓氏\r\n\t\tnr2 汉语名字\r\n")
           + QStringLiteral("\t\tnrj 日语人名\r\n\t\tnrf 音译人名\r\n\tns 地名\r\n\t\tnsf 音译地名\r\n")
           + QStringLiteral("\tnt 机构团体名\r\n\tnz 其它专名\r\n\tnl 名词性惯用语\r\n\tng 名词性语素\r\n")
           + QStringLiteral("t 时间词\r\n\ttg 时间词性语素");
}

QString CMainFrame::RunReport(int n, double seconds)
{
    // The note that used to follow sent the reader to a web site that does not exist.
    return QString::asprintf("文本长度为%d BYTE,处理用时%f秒\r\n", n, seconds);
}

QString CMainFrame::ImportFailedText()
{
    return QStringLiteral("用户词典导入失败，错误信息见日志文件!");
}

QAction* CMainFrame::MakeAction(const char* text, int id, const char* name, const char* tip)
{
    const QStringList parts = QString::fromLatin1(text).split(QLatin1Char('\t'));
    QAction* action = new QAction(parts.at(0), this);
    action->setData(id);
    action->setObjectName(QString::fromLatin1(name));
    if (parts.size() > 1)
        action->setShortcut(QKeySequence(parts.at(1)));
    if (tip != nullptr) {
        // Prompt for the status bar, then the tool tip, as one string.
        const QStringList prompt = QString::fromLatin1(tip).split(QLatin1Char('\n'));
        action->setStatusTip(prompt.at(0));
        action->setToolTip(prompt.value(1, parts.at(0)));
    }
    return action;
}

void CMainFrame::CreateClientArea()
{
    leftView = new CLeftView;
    resultView = new CMyZelkView;
    lastPane = leftView;
    splitter = new QSplitter(Qt::Horizontal);
    splitter->setObjectName(QStringLiteral("Splitter"));
    splitter->addWidget(leftView);
    splitter->addWidget(resultView);
    splitter->setSizes({400, 300});
    splitter->setStretchFactor(0, 4);
    splitter->setStretchFactor(1, 3);

    captionBar = new CCaptionBar(QStringLiteral("Zelk input(Left) and output(Right) area"));
    QWidget* client = new QWidget;
    QVBoxLayout* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(captionBar);
    layout->addWidget(splitter, 1);
    setCentralWidget(client);
}

void CMainFrame::CreateBars()
{
    // The workspace bar takes the whole left edge; the output bar sits below the panes.
    setCorner(Qt::BottomLeftCorner, Qt::LeftDockWidgetArea);
    setCorner(Qt::TopLeftCorner, Qt::LeftDockWidgetArea);

    workspaceBar = new QDockWidget(QStringLiteral("Workspace"), this);
    workspaceBar->setObjectName(QStringLiteral("WorkspaceBar"));
    workspaceBar->setAllowedAreas(Qt::AllDockWidgetAreas);
    QTabWidget* workspaceTabs = new QTabWidget;
    workspaceTabs->setObjectName(QStringLiteral("WorkspaceTabs"));
    workspaceTabs->setTabPosition(QTabWidget::South);
    fileTree = new CFileTreeCtrl;
    workspaceTabs->addTab(fileTree, style()->standardIcon(QStyle::SP_DirIcon),
                          QStringLiteral("File Tree View"));
    workspaceBar->setWidget(workspaceTabs);
    addDockWidget(Qt::LeftDockWidgetArea, workspaceBar);

    outputBar = new QDockWidget(QStringLiteral("Output"), this);
    outputBar->setObjectName(QStringLiteral("OutputBar"));
    outputBar->setAllowedAreas(Qt::AllDockWidgetAreas);
    outputTabs = new QTabWidget;
    outputTabs->setObjectName(QStringLiteral("OutputTabs"));
    outputTabs->setTabPosition(QTabWidget::South);
    systemInfo = MakeOutputPane("SystemInfo");
    tagExplanation = MakeOutputPane("TagExplanation");
    outputTabs->addTab(systemInfo, QStringLiteral("系统信息"));
    outputTabs->addTab(tagExplanation, QStringLiteral("词性解释"));
    outputBar->setWidget(outputTabs);
    addDockWidget(Qt::BottomDockWidgetArea, outputBar);

    resizeDocks({workspaceBar}, {200}, Qt::Horizontal);
    resizeDocks({outputBar}, {100}, Qt::Vertical);
}

void CMainFrame::CreateMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MenuBar"));

    // File
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    QAction* a = MakeAction("&New\tCtrl+N", ID_FILE_NEW, "ID_FILE_NEW",
                            "Create a new document\nNew");
    connect(a, &QAction::triggered, this, &CMainFrame::OnFileNew);
    file->addAction(a);
    a = MakeAction("&Open...\tCtrl+O", ID_FILE_OPEN, "ID_FILE_OPEN",
                   "Open an existing document\nOpen");
    connect(a, &QAction::triggered, this, &CMainFrame::OnFileOpen);
    file->addAction(a);
    a = MakeAction("&Save\tCtrl+S", ID_FILE_SAVE, "ID_FILE_SAVE", "Save the active document\nSave");
    connect(a, &QAction::triggered, this, &CMainFrame::OnFileSave);
    file->addAction(a);
    a = MakeAction("Save &As...", ID_FILE_SAVE_AS, "ID_FILE_SAVE_AS",
                   "Save the active document with a new name\nSave As");
    connect(a, &QAction::triggered, this, &CMainFrame::OnFileSaveAs);
    file->addAction(a);
    file->addSeparator();
    a = MakeAction("&Print...\tCtrl+P", ID_FILE_PRINT, "ID_FILE_PRINT",
                   "Print the active document\nPrint");
    connect(a, &QAction::triggered, this, &CMainFrame::OnFilePrint);
    file->addAction(a);
    a = MakeAction("P&rint Setup...", ID_FILE_PRINT_SETUP, "ID_FILE_PRINT_SETUP",
                   "Change the printer and printing options\nPrint Setup");
    connect(a, &QAction::triggered, this, &CMainFrame::OnFilePrintSetup);
    file->addAction(a);
    file->addSeparator();
    recentAnchor = MakeAction("Recent File", ID_FILE_MRU_FILE1, "ID_FILE_MRU_FILE1",
                              "Open this document");
    recentAnchor->setEnabled(false);
    file->addAction(recentAnchor);
    recentMenuOwner = file;
    file->addSeparator();
    a = MakeAction("E&xit", ID_APP_EXIT, "ID_APP_EXIT",
                   "Quit the application; prompts to save documents\nExit");
    connect(a, &QAction::triggered, this, &QWidget::close); // closeEvent asks about unsaved changes
    file->addAction(a);

    // Edit: the commands go to the pane that last had the focus.
    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    struct EditItem {
        const char* text;
        int id;
        const char* name;
        const char* tip;
        const char* extraKey;
        void (QTextEdit::*pageSlot)(); // the result page is read-only: only Copy acts
        void (QPlainTextEdit::*editSlot)();
    };
    const EditItem editItems[] = {
        {"&Undo\tCtrl+Z", ID_EDIT_UNDO, "ID_EDIT_UNDO", "Undo the last action\nUndo",
         "Alt+Backspace", &QTextEdit::undo, &QPlainTextEdit::undo},
        {"Cu&t\tCtrl+X", ID_EDIT_CUT, "ID_EDIT_CUT",
         "Cut the selection and put it on the Clipboard\nCut", "Shift+Del", &QTextEdit::cut,
         &QPlainTextEdit::cut},
        {"&Copy\tCtrl+C", ID_EDIT_COPY, "ID_EDIT_COPY",
         "Copy the selection and put it on the Clipboard\nCopy", "Ctrl+Ins", &QTextEdit::copy,
         &QPlainTextEdit::copy},
        {"&Paste\tCtrl+V", ID_EDIT_PASTE, "ID_EDIT_PASTE", "Insert Clipboard contents\nPaste",
         "Shift+Ins", &QTextEdit::paste, &QPlainTextEdit::paste},
    };
    for (const EditItem& item : editItems) {
        a = MakeAction(item.text, item.id, item.name, item.tip);
        a->setShortcuts({a->shortcut(), QKeySequence(QString::fromLatin1(item.extraKey))});
        const auto pageSlot = item.pageSlot;
        const auto editSlot = item.editSlot;
        const bool cut = item.id == ID_EDIT_CUT;
        connect(a, &QAction::triggered, this, [this, pageSlot, editSlot, cut] {
            if (ActivePane() == resultView)
                (resultView->*pageSlot)();
            else if (cut)
                leftView->Cut(); // keeps the pieces of a long line in order
            else
                (leftView->*editSlot)();
        });
        edit->addAction(a);
        if (item.id == ID_EDIT_UNDO)
            edit->addSeparator();
    }

    // The bar toggles, shared by the View menu and the bar menu.
    toggleToolBar = MakeAction("Standard Toolbar", ID_VIEW_TOOLBAR, "ID_VIEW_TOOLBAR",
                               "Show or hide the toolbar\nToggle ToolBar");
    toggleWorkspace = MakeAction("&Workspace", ID_VIEW_WORKSPACE, "ID_VIEW_WORKSPACE",
                                 "Show or hide the workspace\nToggle Workspace");
    toggleOutput = MakeAction("&Output", ID_VIEW_OUTPUT, "ID_VIEW_OUTPUT",
                              "Show or hide the output bar\nToggle Output Bar");
    toggleCaption = MakeAction("&Caption Bar", ID_VIEW_CAPTIONBAR, "ID_VIEW_CAPTIONBAR",
                               "Show or hide the caption bar\nToggle Caption Bar");
    customize = MakeAction("&Customize...", ID_VIEW_CUSTOMIZE, "ID_VIEW_CUSTOMIZE",
                           "Customize toolbars and menus\nCustomize");
    for (QAction* t : {toggleToolBar, toggleWorkspace, toggleOutput, toggleCaption})
        t->setCheckable(true);
    connect(toggleWorkspace, &QAction::triggered, this, [this] { ToggleBar(workspaceBar); });
    connect(toggleOutput, &QAction::triggered, this, [this] { ToggleBar(outputBar); });
    connect(toggleCaption, &QAction::triggered, this, [this] { ToggleBar(captionBar); });
    connect(customize, &QAction::triggered, this, &CMainFrame::OnCustomize);
    connect(workspaceBar, &QDockWidget::visibilityChanged, this, &CMainFrame::UpdateBarChecks);
    connect(outputBar, &QDockWidget::visibilityChanged, this, &CMainFrame::UpdateBarChecks);

    // View
    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    QMenu* toolbars = view->addMenu(QStringLiteral("&Toolbars"));
    toolbars->menuAction()->setData(int(ID_VIEW_TOOLBARS));
    toolbars->menuAction()->setObjectName(QStringLiteral("ID_VIEW_TOOLBARS"));
    toolbars->setObjectName(QStringLiteral("ToolbarsMenu"));
    connect(toolbars, &QMenu::aboutToShow, this, [this, toolbars] {
        // Filled with the bar list each time it opens.
        UpdateBarChecks();
        toolbars->clear();
        QAction* standard = toolbars->addAction(toolBar->windowTitle());
        standard->setCheckable(true);
        standard->setChecked(!toolBar->isHidden());
        connect(standard, &QAction::triggered, this, [this] { ToggleBar(toolBar); });
        toolbars->addSeparator();
        toolbars->addAction(customize);
    });
    toggleStatusBar = MakeAction("&Status Bar", ID_VIEW_STATUS_BAR, "ID_VIEW_STATUS_BAR",
                                 "Show or hide the status bar\nToggle StatusBar");
    toggleStatusBar->setCheckable(true);
    toggleStatusBar->setChecked(true);
    connect(toggleStatusBar, &QAction::triggered, this, [this] { ToggleBar(statusBar()); });
    view->addAction(toggleStatusBar);
    a = MakeAction("Refresh", ID_VIEW_REFRESH, "ID_VIEW_REFRESH",
                   "Read the file tree again\nRefresh");
    connect(a, &QAction::triggered, fileTree, &CFileTreeCtrl::Refresh);
    view->addAction(a);
    connect(view, &QMenu::aboutToShow, this, &CMainFrame::UpdateBarChecks);

    // Zelk
    QMenu* zelk = bar->addMenu(QStringLiteral("Zelk"));
    runAction = MakeAction("Run", ID_ZELK_RUN, "ID_ZELK_RUN",
                           "Analyse the input text and show the result page\nRun");
    connect(runAction, &QAction::triggered, this, &CMainFrame::OnRun);
    zelk->addAction(runAction);
    zelk->addSeparator();
    importAction = MakeAction("Import User Dictionary...", ID_ZELK_IMPORT_USERDICT,
                              "ID_ZELK_IMPORT_USERDICT",
                              "Build the user dictionary from a word list\nImport User Dictionary");
    connect(importAction, &QAction::triggered, this, &CMainFrame::OnImportUserDict);
    zelk->addAction(importAction);

    // Help
    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    a = MakeAction("Content", ID_HELP_CONTENT, "ID_HELP_CONTENT", "How to use Zelk\nContent");
    connect(a, &QAction::triggered, this, &CMainFrame::OnHelpContent);
    help->addAction(a);
    a = MakeAction("API Manual", ID_HELP_API, "ID_HELP_API",
                   "The engine's programming manual\nAPI Manual");
    connect(a, &QAction::triggered, this, &CMainFrame::OnHelpApi);
    help->addAction(a);
    help->addSeparator();
    a = MakeAction("&About Zelk...", ID_APP_ABOUT, "ID_APP_ABOUT",
                   "Display program information, version number and copyright\nAbout");
    connect(a, &QAction::triggered, this, &CMainFrame::OnAppAbout);
    help->addAction(a);

    // Next and previous pane.
    a = MakeAction("Next Pane\tF6", ID_NEXT_PANE, "ID_NEXT_PANE", "Switch to the next window pane");
    connect(a, &QAction::triggered, this, [this] { NextPane(1); });
    addAction(a);
    a = MakeAction("Previous Pane\tShift+F6", ID_PREV_PANE, "ID_PREV_PANE",
                   "Switch back to the previous window pane");
    connect(a, &QAction::triggered, this, [this] { NextPane(-1); });
    addAction(a);
}

void CMainFrame::CreateToolBar()
{
    toolBar = new QToolBar(QStringLiteral("Standard"), this);
    toolBar->setObjectName(QStringLiteral("StandardToolBar"));
    toolBar->setIconSize(QSize(16, 16));
    addToolBar(Qt::TopToolBarArea, toolBar);
    connect(toggleToolBar, &QAction::triggered, this, [this] { ToggleBar(toolBar); });

    const struct {
        int id;
        QStyle::StandardPixmap icon;
    } buttons[] = {
        {ID_FILE_NEW, QStyle::SP_FileIcon},     {ID_FILE_OPEN, QStyle::SP_DialogOpenButton},
        {ID_FILE_SAVE, QStyle::SP_DialogSaveButton}, {0, QStyle::SP_CustomBase},
        {ID_EDIT_CUT, QStyle::SP_CustomBase},   {ID_EDIT_COPY, QStyle::SP_CustomBase},
        {ID_EDIT_PASTE, QStyle::SP_CustomBase}, {0, QStyle::SP_CustomBase},
        {ID_FILE_PRINT, QStyle::SP_CustomBase}, {ID_APP_ABOUT, QStyle::SP_MessageBoxQuestion},
    };
    const char* themeNames[] = {"document-new", "document-open", "document-save", "",
                                "edit-cut",     "edit-copy",     "edit-paste",    "",
                                "document-print", "help-about"};
    int i = 0;
    for (const auto& button : buttons) {
        const char* theme = themeNames[i++];
        if (button.id == 0) {
            toolBar->addSeparator();
            continue;
        }
        QAction* action = CommandAction(button.id);
        if (action == nullptr)
            continue;
        if (action->icon().isNull()) {
            QIcon icon = QIcon::fromTheme(QString::fromLatin1(theme));
            if (icon.isNull() && button.icon != QStyle::SP_CustomBase)
                icon = style()->standardIcon(button.icon);
            action->setIcon(icon);
        }
        toolBar->addAction(action);
    }
}

void CMainFrame::CreateStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    QLabel* ready = new QLabel(QStringLiteral("Ready"));
    ready->setObjectName(QStringLiteral("MessagePane"));
    bar->addWidget(ready, 1);
    for (const char* name : {"CAP", "NUM", "SCRL"}) {
        QLabel* indicator = new QLabel(QString::fromLatin1(name));
        indicator->setObjectName(QString::fromLatin1(name));
        indicator->setFrameShape(QFrame::Panel);
        indicator->setFrameShadow(QFrame::Sunken);
        indicator->setAlignment(Qt::AlignCenter);
        indicator->setMinimumWidth(indicator->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 8);
        bar->addPermanentWidget(indicator);
    }
    // While a Run analyses: how far it is, and a way to stop it.
    runProgress = new QProgressBar;
    runProgress->setObjectName(QStringLiteral("RunProgress"));
    runProgress->setRange(0, 1000);
    runProgress->setMaximumWidth(200);
    runProgress->hide();
    bar->addWidget(runProgress);
    cancelButton = new QPushButton(QStringLiteral("Cancel"));
    cancelButton->setObjectName(QStringLiteral("CancelRun"));
    cancelButton->setToolTip(QStringLiteral("Stop the analysis; the result page stays as it was"));
    cancelButton->hide();
    connect(cancelButton, &QPushButton::clicked, this, [this] {
        if (job != nullptr)
            job->Cancel();
    });
    bar->addWidget(cancelButton);
}

QAction* CMainFrame::CommandAction(int id) const
{
    std::function<QAction*(const QList<QAction*>&)> find = [&](const QList<QAction*>& actions) -> QAction* {
        for (QAction* action : actions) {
            if (action->data().isValid() && action->data().toInt() == id)
                return action;
            if (action->menu() != nullptr)
                if (QAction* found = find(action->menu()->actions()))
                    return found;
        }
        return nullptr;
    };
    if (QAction* found = find(menuBar()->actions()))
        return found;
    return find(actions());
}

QMenu* CMainFrame::CreateBarMenu(QWidget* parent)
{
    UpdateBarChecks();
    QMenu* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("BarMenu"));
    menu->addAction(toggleToolBar);
    menu->addAction(toggleWorkspace);
    menu->addAction(toggleOutput);
    menu->addAction(toggleCaption);
    menu->addSeparator();
    menu->addAction(customize);
    return menu;
}

QMenu* CMainFrame::createPopupMenu()
{
    return CreateBarMenu(this);
}

void CMainFrame::ToggleBar(QWidget* bar)
{
    bar->setVisible(bar->isHidden());
    UpdateBarChecks();
}

void CMainFrame::UpdateBarChecks()
{
    if (toolBar != nullptr)
        toggleToolBar->setChecked(!toolBar->isHidden());
    toggleWorkspace->setChecked(!workspaceBar->isHidden());
    toggleOutput->setChecked(!outputBar->isHidden());
    toggleCaption->setChecked(!captionBar->isHidden());
    if (toggleStatusBar != nullptr)
        toggleStatusBar->setChecked(!statusBar()->isHidden());
}

void CMainFrame::OnCustomize()
{
    CCustomizeDialog dialog({toggleToolBar, toggleWorkspace, toggleOutput, toggleCaption,
                             toggleStatusBar},
                            this);
    UpdateBarChecks();
    dialog.exec();
}

QWidget* CMainFrame::ActivePane() const
{
    return lastPane != nullptr ? lastPane : leftView;
}

void CMainFrame::NextPane(int step)
{
    Q_UNUSED(step); // two panes: forwards and backwards are the same
    QWidget* next = ActivePane() == leftView ? static_cast<QWidget*>(resultView) : leftView;
    next->setFocus(Qt::OtherFocusReason);
    lastPane = next;
}

void CMainFrame::OnRun()
{
    if (job != nullptr)
        return; // one analysis at a time
    QString error;
    std::unique_ptr<EngineCalls::Analyzer> analyzer = EngineCalls::Current().NewAnalyzer(&error);
    if (!analyzer) {
        statusBar()->showMessage(QStringLiteral("Run failed: %1").arg(error));
        emit RunFinished(false);
        return;
    }
    job = new RunJob(leftView->Text(), resultView->ResultPath(), resultView->ShownBytes(), std::move(analyzer), this);
    pageBegun = false;
    connect(job, &RunJob::Progress, runProgress, [this](qint64 done, qint64 total) {
        runProgress->setValue(total > 0 ? int(done * 1000 / total) : 1000);
    });
    // The page shown before stays until the new one has something to show,
    // so a Run that fails at once leaves the pane as it was.
    connect(job, &RunJob::Shown, resultView, [this](const QString& html) {
        if (!pageBegun)
            resultView->BeginPage();
        pageBegun = true;
        resultView->AppendWords(html);
    });
    // A job stopped by CancelRun was finished there; its signal, still
    // queued, must not end the next one.
    RunJob* started = job;
    connect(job, &QThread::finished, this, [this, started] {
        if (job == started)
            OnRunFinished();
    });
    runProgress->setValue(0);
    runProgress->show();
    cancelButton->show();
    runAction->setEnabled(false);
    importAction->setEnabled(false);
    statusBar()->clearMessage();
    job->start();
}

void CMainFrame::OnRunFinished()
{
    RunJob* done = job;
    if (done == nullptr)
        return;
    job = nullptr;
    runProgress->hide();
    cancelButton->hide();
    runAction->setEnabled(true);
    importAction->setEnabled(true);
    const bool ok = done->Succeeded();
    QTextCodec* gbk = QTextCodec::codecForName("GBK");
    if (ok) {
        if (!pageBegun)
            resultView->BeginPage();
        const bool whole = done->ShownWhole();
        QByteArray end = done->PageTail();
        if (!whole)
            end = ResultPage::Note(done->PageBytes(), done->ShownBytes(), resultView->ResultUrl()) + end;
        resultView->EndPage(gbk->toUnicode(ResultPage::DisplayEnd(end, whole ? resultView->ResultUrl() : QUrl())),
                            whole);
        lastRunReport = RunReport(done->EngineBytes(), float(done->Seconds()));
        SetPaneText(systemInfo, lastRunReport);
    } else {
        const QString why = done->WasCancelled() ? QStringLiteral("Run cancelled; the result page was not written.")
                                                 : done->Error();
        if (pageBegun)
            resultView->EndPage(QStringLiteral("<p><font face=\"Arial\"><b>%1</b></font></p>").arg(why.toHtmlEscaped()),
                                false);
        statusBar()->showMessage(why);
        if (!done->WasCancelled())
            ZelkLog::Current().Write(QStringLiteral("Run failed: %1").arg(why));
    }
    done->deleteLater();
    emit RunFinished(ok);
}

void CMainFrame::CancelRun()
{
    if (job == nullptr)
        return;
    job->Cancel();
    job->wait();
    OnRunFinished();
}

void CMainFrame::OnFileOpen()
{
    const QString path = QFileDialog::getOpenFileName(this, QString(), QString(),
                                                      QStringLiteral("Text File (*.txt)"));
    if (!path.isEmpty())
        OpenIntoEditor(path);
}

bool CMainFrame::OpenIntoEditor(const QString& path)
{
    return OpenDocument(path, true);
}

bool CMainFrame::OpenDocument(const QString& path, bool remember)
{
    return MaybeSave() && LoadDocument(path, remember);
}

bool CMainFrame::LoadDocument(const QString& path, bool remember)
{
    QString problem;
    QString notice;
    if (!leftView->LoadFile(path, &problem, &notice)) {
        if (!problem.isEmpty())
            MessageSink::Current().Show(this, QStringLiteral("Cannot open %1.\n%2").arg(path, problem));
        return false;
    }
    // From now on Save writes to this file.
    documentPath = QFileInfo(path).absoluteFilePath();
    UpdateTitle();
    if (remember)
        AddRecentFile(documentPath);
    // What the pane shows is not the file byte for byte: say so.
    if (!notice.isEmpty())
        MessageSink::Current().Show(this, notice);
    return true;
}

void CMainFrame::AddRecentFile(const QString& path)
{
    QStringList files = recentFiles;
    files.removeAll(path);
    files.prepend(path);
    SetRecentFiles(files);
}

void CMainFrame::UpdateTitle()
{
    // "[*]" shows as "*" while the text has unsaved changes.
    const QString name = documentPath.isEmpty() ? QStringLiteral("Untitled")
                                                : QFileInfo(documentPath).fileName();
    setWindowTitle(name + QStringLiteral("[*] - Zelk"));
    setWindowModified(leftView->document()->isModified());
}

bool CMainFrame::MaybeSave()
{
    if (!leftView->document()->isModified())
        return true;
    const QString name = documentPath.isEmpty() ? QStringLiteral("Untitled") : documentPath;
    switch (MessageSink::Current().AskToSave(this, QStringLiteral("Save changes to %1?").arg(name))) {
    case MessageSink::Save:
        return Save();
    case MessageSink::Discard:
        return true;
    case MessageSink::Cancel:
        break;
    }
    return false;
}

void CMainFrame::OnImportUserDict()
{
    // No owner window, as the import dialog has always been.
    QFileDialog dialog(nullptr, QString(), QString(), QStringLiteral("Text File (*.txt)"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    dialog.selectFile(QStringLiteral("UserLexicon.txt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    ImportUserDict(dialog.selectedFiles().constFirst());
}

void CMainFrame::ImportUserDict(const QString& listPath)
{
    const QFileInfo info(listPath);
    // A file chosen and gone before the dialog closed: nothing to import.
    if (!info.exists())
        return;
    auto refuse = [this, &listPath](const QString& why) {
        ZelkLog::Current().Write(QStringLiteral("Cannot import the word list %1: %2").arg(listPath, why));
        MessageSink::Current().Show(this, ImportFailedText() + QLatin1Char('\n') + why);
    };
    // Only regular files: a FIFO would block, a device never end.
    if (info.isDir()) {
        refuse(QStringLiteral("%1 is a folder, not a word list.").arg(listPath));
        return;
    }
    if (!info.isFile()) {
        refuse(QStringLiteral("%1 is not a regular file (a device, a FIFO or a socket).").arg(listPath));
        return;
    }
    QFile file(listPath);
    if (!file.open(QIODevice::ReadOnly)) {
        refuse(QStringLiteral("Cannot read %1: %2").arg(listPath, file.errorString()));
        return;
    }
    if (file.size() > TextFile::kMaxBytes) {
        refuse(QStringLiteral("%1 has %2 bytes; word lists of up to 1 GiB can be imported.").arg(listPath).arg(file.size()));
        return;
    }
    const QByteArray list = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        refuse(QStringLiteral("Cannot read %1: %2").arg(listPath, file.errorString()));
        return;
    }
    file.close();

    // The engine takes UTF-8 and GBK lists itself; what is no text in either
    // is refused here, with the line, before any word of it counts.
    const QString notText = TextFile::ListProblem(list, listPath);
    if (!notText.isEmpty()) {
        refuse(notText);
        return;
    }
    size_t added = 0;
    size_t total = 0;
    QString error;
    if (!EngineCalls::Current().AddWords(list, listPath, &added, &total, &error)) {
        refuse(error);
        return;
    }
    if (added == 0) {
        refuse(QStringLiteral("%1 holds no word.").arg(listPath));
        return;
    }
    ZelkLog::Current().Write(QStringLiteral("Imported %1 words from %2; %3 words added in all.")
                                 .arg(added)
                                 .arg(listPath)
                                 .arg(total));
    QString message = QStringLiteral("用户词典导入成功（共导入%1条），细节具体见日志文件!").arg(added);
    // The words of earlier imports stay: say how many there are with them.
    if (total > added)
        message += QStringLiteral("\n加上此前导入的，用户词共%1个。").arg(total);
    MessageSink::Current().Show(this, message);
}

QString CMainFrame::HelpContentPath() const
{
    // Beside the working directory as always; then beside the program (the
    // build tree) and where an installation puts it.
    const QString bin = QCoreApplication::applicationDirPath();
    const QStringList candidates = {frameDirectory + QStringLiteral("/Zelk_Help.htm"),
                                    bin + QStringLiteral("/Zelk_Help.htm"),
                                    bin + QStringLiteral("/" ZELK_DOC_FROM_BIN "/Zelk_Help.htm")};
    for (const QString& path : candidates)
        if (QFileInfo(path).isFile())
            return QDir::cleanPath(path);
    return candidates.first();
}

QString CMainFrame::HelpApiPath() const
{
    // Below the working directory as always; then in the models in use.
    const QString beside = frameDirectory + QStringLiteral("/Morv/MANUAL/Zelk_API.htm");
    const QString inModels = engineBase + QStringLiteral("/MANUAL/Zelk_API.htm");
    if (!QFileInfo(beside).isFile() && !engineBase.isEmpty() && QFileInfo(inModels).isFile())
        return inModels;
    return beside;
}

void CMainFrame::OpenPage(const QString& path)
{
    CPageViewer::Open(QUrl::fromLocalFile(path), this);
}

void CMainFrame::OnHelpContent()
{
    OpenPage(HelpContentPath());
}

void CMainFrame::OnHelpApi()
{
    OpenPage(HelpApiPath());
}

void CMainFrame::OnAppAbout()
{
    CAboutDlg dialog(QUrl::fromLocalFile(HelpContentPath()), this);
    connect(&dialog, &CAboutDlg::LinkActivated, this, [this](const QUrl& url) { OpenPage(url.toLocalFile()); });
    dialog.exec();
}

void CMainFrame::OnFileNew()
{
    if (!MaybeSave())
        return;
    leftView->SetText(QString());
    documentPath.clear();
    UpdateTitle();
}

bool CMainFrame::SaveTo(const QString& path)
{
    // The input text is what the user works on, so saving writes it: in GBK
    // when it was read as GBK (and still fits), else in UTF-8, with the bytes
    // of the file that no character stood for as they were. QSaveFile
    // writes a temporary file beside the target, flushes it to disk and
    // renames it over the target, so a failed save leaves the old file whole.
    bool savedGbk = false;
    QByteArray bytes;
    QString problem;
    if (!leftView->FileBytes(&bytes, &savedGbk, &problem)) {
        MessageSink::Current().Show(this, QStringLiteral("Cannot save %1.\n%2").arg(path, problem));
        return false;
    }
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly);
    QString reason = file.errorString();
    if (ok) {
        // QSaveFile renames even when the data left in its buffer could not
        // be written at close, so flush and sync first and give up on error.
        ok = file.write(bytes) == bytes.size() && file.flush();
        reason = file.errorString();
#ifdef Q_OS_UNIX
        if (ok && ::fsync(file.handle()) != 0 && errno != EINVAL && errno != ENOTSUP) {
            ok = false;
            reason = QString::fromLocal8Bit(std::strerror(errno));
        }
#endif
        if (!ok)
            file.cancelWriting();
        if (!file.commit() && ok) {
            ok = false;
            reason = file.errorString();
        }
    }
    if (!ok) {
        MessageSink::Current().Show(this, QStringLiteral("Cannot save %1.\n%2").arg(path, reason));
        return false;
    }
    leftView->SetLoadedAsGbk(savedGbk);
    leftView->document()->setModified(false);
    return true;
}

bool CMainFrame::Save()
{
    if (documentPath.isEmpty())
        return SaveAs();
    return SaveTo(documentPath);
}

QString CMainFrame::ChooseSaveAsPath()
{
    QFileDialog dialog(this, QStringLiteral("Save As"), documentPath,
                       QStringLiteral("Text File (*.txt)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

bool CMainFrame::SaveAs()
{
    const QString chosen = ChooseSaveAsPath();
    if (chosen.isEmpty())
        return false;
    const QString path = QFileInfo(chosen).absoluteFilePath();
    if (!SaveTo(path))
        return false;
    documentPath = path;
    UpdateTitle();
    AddRecentFile(path);
    return true;
}

void CMainFrame::OnFileSave()
{
    Save();
}

void CMainFrame::OnFileSaveAs()
{
    SaveAs();
}

void CMainFrame::OnFilePrint()
{
    if (printer == nullptr)
        printer = new QPrinter;
    QPrintDialog dialog(printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (ActivePane() == resultView)
        resultView->print(printer);
    else
        leftView->print(printer);
}

void CMainFrame::OnFilePrintSetup()
{
    if (printer == nullptr)
        printer = new QPrinter;
    QPageSetupDialog dialog(printer, this);
    dialog.exec();
}

void CMainFrame::SetRecentFiles(const QStringList& files)
{
    recentFiles = files.mid(0, kRecentFileCount);
    QSettings settings;
    settings.beginGroup(QStringLiteral("Recent File List"));
    for (int i = 0; i < kRecentFileCount; ++i) {
        const QString key = QStringLiteral("File%1").arg(i + 1);
        if (i < recentFiles.size())
            settings.setValue(key, recentFiles.at(i));
        else
            settings.remove(key);
    }
    RebuildRecentMenu();
}

void CMainFrame::RebuildRecentMenu()
{
    qDeleteAll(recentActions);
    recentActions.clear();
    recentAnchor->setVisible(recentFiles.isEmpty());
    for (int i = 0; i < recentFiles.size(); ++i) {
        const QString path = recentFiles.at(i);
        QAction* action = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(path), this);
        action->setData(ID_FILE_MRU_FILE1 + i);
        action->setObjectName(QStringLiteral("ID_FILE_MRU_FILE%1").arg(i + 1));
        action->setStatusTip(QStringLiteral("Open this document"));
        connect(action, &QAction::triggered, this, [this, path] {
            if (!MaybeSave())
                return;
            if (!LoadDocument(path, true)) {
                QStringList files = recentFiles;
                files.removeAll(path);
                SetRecentFiles(files);
            }
        });
        recentMenuOwner->insertAction(recentAnchor, action);
        recentActions << action;
    }
}

void CMainFrame::SaveLayout() const
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("Settings"));
    settings.setValue(QStringLiteral("Geometry"), saveGeometry());
    settings.setValue(QStringLiteral("WindowState"), saveState());
    settings.setValue(QStringLiteral("Splitter"), splitter->saveState());
    settings.setValue(QStringLiteral("CaptionBar"), !captionBar->isHidden());
}

void CMainFrame::RestoreLayout()
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("Settings"));
    restoreGeometry(settings.value(QStringLiteral("Geometry")).toByteArray());
    restoreState(settings.value(QStringLiteral("WindowState")).toByteArray());
    splitter->restoreState(settings.value(QStringLiteral("Splitter")).toByteArray());
    captionBar->setVisible(settings.value(QStringLiteral("CaptionBar"), true).toBool());
    UpdateBarChecks();
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (!MaybeSave()) {
        event->ignore();
        return;
    }
    CancelRun();
    SaveLayout();
    event->accept();
}
