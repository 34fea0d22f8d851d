#include "ZelkTestUtil.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "EngineCalls.h"

FakeEngine* FakeEngine::active = nullptr;

namespace {

bool FakeInit(const char* base)
{
    FakeEngine::active->initCalls++;
    FakeEngine::active->initBase = base != nullptr ? QByteArray(base) : QByteArray();
    return FakeEngine::active->initResult;
}

bool FakeExit()
{
    FakeEngine::active->exitCalls++;
    return true;
}

bool FakeWrite(const char* text, const char* path)
{
    FakeEngine& fake = *FakeEngine::active;
    fake.writeCalls++;
    fake.lastText = QByteArray(text);
    fake.lastPath = QByteArray(path);
    if (!fake.writeResult)
        return false;
    QFile page(QString::fromLocal8Bit(path));
    if (!page.open(QIODevice::WriteOnly))
        return false;
    page.write("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
               "</head><body><p>fake page</p><font color=\"FF0000\">");
    page.write(text);
    page.write("</font></body></html>");
    return true;
}

int FakeImport(const char* list)
{
    FakeEngine::active->importCalls++;
    FakeEngine::active->lastList = QByteArray(list);
    QFile file(QFile::decodeName(list));
    FakeEngine::active->lastListBytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    return FakeEngine::active->importResult;
}

} // namespace

FakeEngine::FakeEngine()
{
    active = this;
    EngineCalls::Current() = EngineCalls{FakeInit, FakeExit, FakeWrite, FakeImport};
}

FakeEngine::~FakeEngine()
{
    EngineCalls::Reset();
    active = nullptr;
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
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
}

bool HaveModels()
{
    return QFileInfo::exists(QStringLiteral(MORV_MODEL_DIR "/Configure.xml"));
}

QString SampleText()
{
    QFile file(QStringLiteral(MORV_SOURCE_DIR "/data/sample.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}
