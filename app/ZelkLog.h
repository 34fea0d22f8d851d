// Zelk's log (Morv.log): why the engine could not start, what each import of
// a word list did. It is written where it can be: in the engine's folder when
// that is the working directory's Morv/, else in Zelk's folder of the user's
// cache; the name of a link is never followed.
#ifndef ZELK_ZELKLOG_H
#define ZELK_ZELKLOG_H

#include <QString>
#include <QStringList>

class ZelkLog {
public:
    ZelkLog() = default;
    ~ZelkLog();
    ZelkLog(const ZelkLog&) = delete;
    ZelkLog& operator=(const ZelkLog&) = delete;

    // Starts the log afresh in the first of paths that can be opened as a
    // regular file of its own (not a link, not a device, not a FIFO); false
    // when none can.
    bool Open(const QStringList& paths);
    void Close();
    bool IsOpen() const { return fd >= 0; }
    // Where the log is; empty while it is not open.
    const QString& Path() const { return path; }
    // Appends one line and flushes it to the file.
    void Write(const QString& line);

    // The application's log.
    static ZelkLog& Current();
    // A folder for Zelk's own files that only the user can write to: the
    // user's cache folder's "zelk", else one in the temporary folder. Empty
    // when neither can be made.
    static QString PrivateDir();

private:
    int fd = -1;
    QString path;
};

#endif
