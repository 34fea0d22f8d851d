// The input pane: a plain multi-line editor holding the text to analyse.
#ifndef ZELK_CLEFTVIEW_H
#define ZELK_CLEFTVIEW_H

#include <QByteArray>
#include <QPlainTextEdit>
#include <QString>

class CLeftView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CLeftView(QWidget* parent = nullptr);

    // Replaces the whole text with the content of the file at path (UTF-8 when
    // valid, GBK otherwise). False, with the text unchanged, when path is not a
    // readable regular file.
    bool LoadFile(const QString& path);

    // The text as the engine takes it: GBK bytes, line breaks as CR LF.
    // Characters without a GBK code are listed in *unencodable.
    QByteArray EngineText(QString* unencodable = nullptr) const;
};

#endif
