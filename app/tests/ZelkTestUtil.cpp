#include "ZelkTestUtil.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QThread>

#include "CLeftView.h"
#include "CMainFrame.h"

class FakeAnalyzer : public EngineCalls::Analyzer {
public:
    explicit FakeAnalyzer(FakeEngine& fake) : fake(fake) {}
    bool AnalyzeHtml(const char* text, size_t size, QByteArray* html, QString* error) override
    {
        if (fake.pieceDelayMs > 0)
            QThread::msleep(ulong(fake.pieceDelayMs));
        const QByteArray piece(text, int(size));
        {
            QMutexLocker lock(&fake.mutex);
            fake.text += piece;
            ++fake.pieces;
        }
        if (!fake.analyzeResult) {
            *error = QStringLiteral("the fake analyser fails");
            return false;
        }
        // A word of the page: the piece in GBK, a tag, and a paragraph break per line.
        QByteArray line = piece;
        const bool endsLine = line.endsWith('\n');
        line.replace("\r", "").replace("\n", "");
        html->append("<font face=\"fake\" color=\"FF0000\">");
        html->append(QTextCodec::codecForName("GBK")->fromUnicode(QString::fromUtf8(line).toHtmlEscaped()));
        html->append("</font><font face=\"Times New Roman\" color=\"#0000FF\">/x</font>  ");
        if (endsLine)
            html->append("<font face=\"fake\">\n</font></p><p>");
        return true;
    }

private:
    FakeEngine& fake;
};

FakeEngine::FakeEngine()
{
    Install(this);
}

FakeEngine::~FakeEngine()
{
    Install(nullptr);
}

bool FakeEngine::Open(const QString& dir, QString* error)
{
    openDirs << dir;
    open = openResult;
    if (!openResult)
        *error = openError;
    return openResult;
}

void FakeEngine::Close()
{
    ++closeCalls;
    open = false;
}

std::unique_ptr<EngineCalls::Analyzer> FakeEngine::NewAnalyzer(QString*)
{
    ++analyzerCalls;
    QMutexLocker lock(&mutex);
    text.clear();
    pieces = 0;
    return std::unique_ptr<Analyzer>(new FakeAnalyzer(*this));
}

size_t FakeEngine::CutPoint(const char* data, size_t size) const
{
    // After the last blank, else all of it (the test texts are ASCII there).
    for (size_t i = size; i > 0; --i)
        if (data[i - 1] == ' ')
            return i;
    return size;
}

QByteArray FakeEngine::PageHead() const
{
    return "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
           "</head><body>\n<p>\n<p>fake page</p>";
}

QByteArray FakeEngine::PageTail() const
{
    return "\t<hr>\n<p><b>legend</b></p><p><font face=\"Arial\">footer <a href=\"https://nowhere.invalid/\">"
           "link</a></font></p></body></html>";
}

bool FakeEngine::AddWords(const QByteArray& list, const QString& name, size_t* added, size_t* total,
                          QString* error)
{
    ++addCalls;
    lastList = list;
    lastListName = name;
    *added = 0;
    if (!addError.isEmpty()) {
        *error = addError;
        return false;
    }
    *added = addResult;
    if (total != nullptr)
        *total = addResult;
    return true;
}

QByteArray FakeEngine::LastText() const
{
    QMutexLocker lock(&mutex);
    return text;
}

int FakeEngine::Pieces() const
{
    QMutexLocker lock(&mutex);
    return pieces;
}

bool RunAndWait(CMainFrame& frame, int timeoutMs)
{
    QSignalSpy finished(&frame, &CMainFrame::RunFinished);
    frame.OnRun();
    if (finished.isEmpty() && !finished.wait(timeoutMs))
        return false;
    return finished.at(0).at(0).toBool();
}

UrlRecorder::UrlRecorder()
{
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open");
}

UrlRecorder::~UrlRecorder()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

void IsolateSettings()
{
    static QTemporaryDir config;
    static QTemporaryDir cache;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
}

bool HaveModels()
{
    return QFileInfo::exists(QStringLiteral(MORV_MODEL_DIR "/Configure.xml"));
}

QString CopyModels(const QString& dir)
{
    const QString base = dir + QStringLiteral("/Morv");
    if (!QDir().mkpath(base + QStringLiteral("/Data"))
        || !QFile::copy(QStringLiteral(MORV_MODEL_DIR "/Configure.xml"), base + QStringLiteral("/Configure.xml")))
        return QString();
    for (const QString& name : QDir(QStringLiteral(MORV_MODEL_DIR "/Data")).entryList(QDir::Files))
        if (!QFile::copy(QStringLiteral(MORV_MODEL_DIR "/Data/") + name, base + QStringLiteral("/Data/") + name))
            return QString();
    return base;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

void Type(CLeftView* view, const QString& text)
{
    view->moveCursor(QTextCursor::End);
    view->textCursor().insertText(text);
}

QString SampleText()
{
    QFile file(QStringLiteral(MORV_SOURCE_DIR "/data/sample.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}
