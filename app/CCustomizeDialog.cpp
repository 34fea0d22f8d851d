#include "CCustomizeDialog.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QVBoxLayout>

CCustomizeDialog::CCustomizeDialog(const QList<QAction*>& toggles, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("CustomizeDialog"));
    setWindowTitle(QStringLiteral("Customize"));
    QGroupBox* group = new QGroupBox(QStringLiteral("Toolbars:"));
    QVBoxLayout* boxes = new QVBoxLayout(group);
    for (QAction* action : toggles) {
        QCheckBox* box = new QCheckBox(action->text().remove(QLatin1Char('&')));
        box->setChecked(action->isChecked());
        connect(box, &QCheckBox::toggled, action, [action](bool on) {
            if (action->isChecked() != on)
                action->trigger();
        });
        connect(action, &QAction::toggled, box, &QCheckBox::setChecked);
        boxes->addWidget(box);
    }
    QDialogButtonBox* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    QVBoxLayout* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);
}
