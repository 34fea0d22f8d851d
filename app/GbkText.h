// The editor's Unicode text as the GBK bytes the engine reads (files are
// read and written by TextFile).
#ifndef ZELK_GBKTEXT_H
#define ZELK_GBKTEXT_H

#include <QByteArray>
#include <QString>

class GbkText {
public:
    // The editor text as the engine takes it: GBK, every line break as CR LF.
    // Characters GBK has no code for come out as '?'; each distinct one is
    // appended to *unencodable (when given) so the caller can say so. The
    // bytes end before a NUL character, where the engine would stop reading.
    static QByteArray ToEngine(const QString& text, QString* unencodable = nullptr);
};

#endif
