// What the result pane shows of the page the engine writes. The pane lays out
// what it is given in slices, but a very large page would still take long and
// much memory, so a page above a limit is shown only in its first part, cut
// between two words, followed by a note with a link to the whole page and by
// the page's own legend.
//
// The pane shows the page with readable colours: the engine's light colours
// (light red, grey, light blue on white) are replaced by darker ones of the
// same hue, all with a contrast of at least 4.5:1 on white, and written with
// "#". The page on disk stays as the engine wrote it; the pane links to it.
#ifndef ZELK_RESULTPAGE_H
#define ZELK_RESULTPAGE_H

#include <QByteArray>
#include <QColor>
#include <QString>
#include <QUrl>

class ResultPage {
public:
    // The least contrast on white of every colour the pane shows.
    static constexpr double kLeastContrast = 4.5;

    // The bytes to show of the page at path: the whole page when it has at
    // most limit bytes, else its first part of at most limit bytes, the note
    // (a link to wholePage) and the legend. *whole tells which. An unreadable
    // page shows as an empty one.
    static QByteArray Read(const QString& path, qint64 limit, const QUrl& wholePage,
                           bool* whole = nullptr);

    // Where a page part of these bytes may end: before a paragraph break in
    // its second half, else after a word's tag, else after a tag at all.
    static int CutPoint(const QByteArray& head);
    // Where a part of the words of a page may end: after its last whole
    // word (or paragraph break); 0 when it holds none.
    static int WordCut(const QByteArray& part);

    // The note that says how much is shown, in the page's GBK.
    static QByteArray Note(qint64 pageBytes, qint64 shownBytes, const QUrl& wholePage);

    // A page (as Read gives it) cut into its words and what follows them
    // (the note, if any, and the legend), without the head.
    static void Split(const QByteArray& page, QByteArray* words, QByteArray* end);

    // Page markup as the pane shows it: every font colour readable on white.
    static QByteArray ForDisplay(const QByteArray& html);
    // The end of a page as the pane shows it: the legend without the footer
    // (whose links lead nowhere) and, when page is given, a link to the page
    // on disk as the engine wrote it.
    static QByteArray DisplayEnd(const QByteArray& end, const QUrl& page);

    // The colour the pane shows for one the engine writes.
    static QColor Readable(const QColor& colour);
    // Contrast ratio of colour on white (1 to 21).
    static double Contrast(const QColor& colour);
};

#endif
