#include "CLeftView.h"

#include <QFile>
#include <QFileInfo>

#include "GbkText.h"

CLeftView::CLeftView(QWidget* parent) : QPlainTextEdit(parent)
{
    setObjectName(QStringLiteral("LeftView"));
    // Long lines wrap at the pane's edge; there is no horizontal scrolling.
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFrameShape(QFrame::NoFrame);
}

bool CLeftView::LoadFile(const QString& path)
{
    // Only regular files: a FIFO or a device would block or never end.
    QFileInfo info(path);
    if (!info.isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // A QByteArray holds less than 2 GiB; refuse rather than fail half-way.
    if (file.size() > qint64(1) << 30)
        return false;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    setPlainText(GbkText::FromFile(bytes));
    return true;
}

QByteArray CLeftView::EngineText(QString* unencodable) const
{
    return GbkText::ToEngine(toPlainText(), unencodable);
}
