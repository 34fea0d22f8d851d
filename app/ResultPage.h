// What the result pane shows of the page the engine wrote. The browser needs
// about twenty times a page's size to lay it out and cannot be interrupted
// while it does, so a page above a limit is shown only in its first part,
// cut between two words, followed by a note with a link to the whole page
// and by the page's own legend and footer.
#ifndef ZELK_RESULTPAGE_H
#define ZELK_RESULTPAGE_H

#include <QByteArray>
#include <QString>
#include <QUrl>

class ResultPage {
public:
    // The bytes to show of the page at path: the whole page when it has at
    // most limit bytes, else its first part of at most limit bytes, the note
    // (a link to wholePage) and the legend. *whole tells which. An unreadable
    // page shows as an empty one.
    static QByteArray Read(const QString& path, qint64 limit, const QUrl& wholePage,
                           bool* whole = nullptr);

    // Where a page part of these bytes may end: before a paragraph break in
    // its second half, else after a word's tag, else after a tag at all.
    static int CutPoint(const QByteArray& head);

    // The note that says how much is shown, in the page's GBK.
    static QByteArray Note(qint64 pageBytes, qint64 shownBytes, const QUrl& wholePage);
};

#endif
