// A file's properties: name, location, size, type, modification time, permissions.
#ifndef ZELK_CPROPERTIESDIALOG_H
#define ZELK_CPROPERTIESDIALOG_H

#include <QDialog>

class CPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    CPropertiesDialog(const QString& path, QWidget* parent = nullptr);

    // The permission bits as "rwxr-x---".
    static QString PermissionText(const QString& path);
};

#endif
