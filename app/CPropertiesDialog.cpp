#include "CPropertiesDialog.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <QVBoxLayout>

CPropertiesDialog::CPropertiesDialog(const QString& path, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PropertiesDialog"));
    const QFileInfo info(path);
    const QString name = info.fileName().isEmpty() ? path : info.fileName();
    setWindowTitle(name + QStringLiteral(" Properties"));

    QFormLayout* form = new QFormLayout;
    auto row = [form](const QString& label, const QString& value) {
        QLabel* text = new QLabel(value);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(label, text);
    };
    QLabel* icon = new QLabel;
    icon->setPixmap(QFileIconProvider().icon(info).pixmap(32, 32));
    form->addRow(icon, new QLabel(name));

    QString type;
    if (info.isDir())
        type = QStringLiteral("Folder");
    else if (info.isFile())
        type = QMimeDatabase().mimeTypeForFile(info).comment();
    else
        type = QStringLiteral("Special file");
    if (info.isSymLink())
        type += QStringLiteral(" (link to %1)").arg(info.symLinkTarget());
    row(QStringLiteral("Type:"), type);
    row(QStringLiteral("Location:"), info.absolutePath());
    if (info.isFile())
        row(QStringLiteral("Size:"), QStringLiteral("%1 (%2 bytes)")
                                         .arg(QLocale::system().formattedDataSize(info.size()))
                                         .arg(info.size()));
    row(QStringLiteral("Modified:"), info.lastModified().toString(Qt::ISODate));
    row(QStringLiteral("Permissions:"), PermissionText(path));
    row(QStringLiteral("Owner:"), info.owner() + QLatin1Char(':') + info.group());

    QDialogButtonBox* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    QVBoxLayout* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

QString CPropertiesDialog::PermissionText(const QString& path)
{
    const QFile::Permissions p = QFileInfo(path).permissions();
    const struct {
        QFile::Permission bit;
        char ch;
    } bits[] = {
        {QFile::ReadOwner, 'r'}, {QFile::WriteOwner, 'w'}, {QFile::ExeOwner, 'x'},
        {QFile::ReadGroup, 'r'}, {QFile::WriteGroup, 'w'}, {QFile::ExeGroup, 'x'},
        {QFile::ReadOther, 'r'}, {QFile::WriteOther, 'w'}, {QFile::ExeOther, 'x'},
    };
    QString text;
    for (const auto& b : bits)
        text += (p & b.bit) ? QLatin1Char(b.ch) : QLatin1Char('-');
    return text;
}
