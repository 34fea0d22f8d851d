// "Customize...": which toolbars and bars are shown.
#ifndef ZELK_CCUSTOMIZEDIALOG_H
#define ZELK_CCUSTOMIZEDIALOG_H

#include <QDialog>
#include <QList>

class QAction;

class CCustomizeDialog : public QDialog {
    Q_OBJECT
public:
    // One check box per bar toggle action; the boxes follow and drive the actions.
    CCustomizeDialog(const QList<QAction*>& toggles, QWidget* parent = nullptr);
};

#endif
