#include "CCaptionBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>

CCaptionBar::CCaptionBar(const QString& text, QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("CaptionBar"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Dark));
    pal.setColor(QPalette::WindowText, pal.color(QPalette::BrightText));
    setPalette(pal);

    QLabel* icon = new QLabel;
    icon->setPixmap(style()->standardIcon(QStyle::SP_FileDialogDetailedView).pixmap(16, 16));
    label = new QLabel(text);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);

    QHBoxLayout* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 3, 6, 3);
    layout->addWidget(icon);
    layout->addWidget(label, 1);
}

QString CCaptionBar::Text() const
{
    return label->text();
}
