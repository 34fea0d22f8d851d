#include "CLeftView.h"

#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <vector>

#include "GbkText.h"

namespace {

// Block-format property that marks a block continuing the line before it.
const int kContinuation = QTextFormat::UserProperty + 1;

bool IsSentenceEnd(QChar c)
{
    static const QString ends = QStringLiteral("\u3002\uff01\uff1f\uff1b\u2026!?;");
    return ends.contains(c);
}

bool IsCloser(QChar c)
{
    static const QString closers = QStringLiteral("\u201d\u2019\u300d\u300f\uff09\u300b\u3011\u3015)]\"'");
    return closers.contains(c);
}

// The last cut in (low, high] that falls just after a sentence end (and the
// quotes or brackets closing it); -1 if there is none.
int SentenceCut(const QString& line, int low, int high)
{
    for (int i = high; i > low; --i) {
        const QChar next = line.at(i);
        if (IsSentenceEnd(next) || IsCloser(next))
            continue;
        int j = i - 1;
        while (j > low && IsCloser(line.at(j)))
            --j;
        if (IsSentenceEnd(line.at(j)))
            return i;
    }
    return -1;
}

// The last boundary of finder in (low, high]; -1 if there is none.
int BoundaryCut(QTextBoundaryFinder& finder, int low, int high)
{
    finder.setPosition(high);
    const int cut = finder.isAtBoundary() ? high : finder.toPreviousBoundary();
    return cut > low ? cut : -1;
}

QString PlainText(QString text)
{
    // As QTextDocument::toPlainText gives it.
    for (QChar& c : text) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = QLatin1Char('\n');
        else if (c == QChar::Nbsp)
            c = QLatin1Char(' ');
    }
    return text;
}

} // namespace

CLeftView::CLeftView(QWidget* parent) : QPlainTextEdit(parent)
{
    setObjectName(QStringLiteral("LeftView"));
    // Long lines wrap at the pane's edge; there is no horizontal scrolling.
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFrameShape(QFrame::NoFrame);
}

bool CLeftView::LoadFile(const QString& path)
{
    // Only regular files: a FIFO or a device would block or never end.
    QFileInfo info(path);
    if (!info.isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // A QByteArray holds less than 2 GiB; refuse rather than fail half-way.
    if (file.size() > qint64(1) << 30)
        return false;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    bool utf8 = true;
    const QString text = GbkText::FromFile(bytes, &utf8);
    SetText(text);
    loadedAsGbk = !utf8;
    return true;
}

void CLeftView::SetText(const QString& text)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    const bool longLines = std::any_of(lines.cbegin(), lines.cend(), [](const QString& line) {
        return line.size() > kPieceLength;
    });
    if (!longLines) {
        setPlainText(text);
    } else {
        // Every piece goes on a line of its own; the continuations are marked after.
        QString pieced;
        pieced.reserve(text.size() + text.size() / kPieceLength + 16);
        std::vector<int> continuations;
        int block = 0;
        for (int i = 0; i < lines.size(); ++i) {
            if (i > 0)
                pieced += QLatin1Char('\n');
            const QStringList pieces = SplitLine(lines.at(i));
            for (int j = 0; j < pieces.size(); ++j) {
                if (j > 0) {
                    pieced += QLatin1Char('\n');
                    continuations.push_back(block);
                }
                pieced += pieces.at(j);
                ++block;
            }
        }
        setPlainText(pieced);
        // The marks are part of loading, not an edit the user could undo.
        document()->setUndoRedoEnabled(false);
        QTextBlockFormat mark;
        mark.setProperty(kContinuation, true);
        for (int n : continuations)
            QTextCursor(document()->findBlockByNumber(n)).mergeBlockFormat(mark);
        document()->setUndoRedoEnabled(true);
    }
    document()->setModified(false);
    loadedAsGbk = false;
}

QString CLeftView::Text() const
{
    return TextBetween(0, document()->characterCount() - 1);
}

QString CLeftView::TextBetween(int from, int to) const
{
    const QTextDocument* doc = document();
    const int last = doc->characterCount() - 1; // the final block separator is no text
    from = qBound(0, from, last);
    to = qBound(0, to, last);
    if (to < from)
        std::swap(from, to);
    QString text;
    for (QTextBlock block = doc->findBlock(from); block.isValid() && block.position() <= to;) {
        const int start = qMax(from, block.position()) - block.position();
        const int end = qMin(to, block.position() + block.length() - 1) - block.position();
        text += block.text().midRef(start, end - start);
        block = block.next();
        // The separator before the next block is inside the range.
        if (block.isValid() && block.position() <= to && !IsContinuation(block))
            text += QLatin1Char('\n');
    }
    return PlainText(text);
}

QByteArray CLeftView::EngineText(QString* unencodable) const
{
    return GbkText::ToEngine(Text(), unencodable);
}

QStringList CLeftView::SplitLine(const QString& line, int limit)
{
    if (limit < 2 || line.size() <= limit)
        return QStringList(line);
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, line);
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, line);
    QStringList pieces;
    int from = 0;
    while (line.size() - from > limit) {
        const int most = from + limit;
        int cut = SentenceCut(line, from + limit / 2, most);
        if (cut < 0)
            cut = BoundaryCut(breaks, from, most);
        if (cut < 0)
            cut = BoundaryCut(graphemes, from, most);
        if (cut < 0) // one grapheme longer than a piece: at least keep surrogates together
            cut = line.at(most - 1).isHighSurrogate() ? most - 1 : most;
        pieces << line.mid(from, cut - from);
        from = cut;
    }
    pieces << line.mid(from);
    return pieces;
}

bool CLeftView::IsContinuation(const QTextBlock& block)
{
    return block.blockFormat().boolProperty(kContinuation);
}

void CLeftView::InsertText(QTextCursor& cursor, const QString& text)
{
    QString plain = text;
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    plain.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));

    QTextBlockFormat lineStart = cursor.blockFormat();
    lineStart.clearProperty(kContinuation);
    QTextBlockFormat continuation = lineStart;
    continuation.setProperty(kContinuation, true);

    cursor.beginEditBlock();
    cursor.removeSelectedText();
    const QStringList lines = plain.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        // A new block takes the format given here; what stays before the
        // cursor keeps its own.
        if (i > 0)
            cursor.insertBlock(lineStart);
        const QStringList pieces = SplitLine(lines.at(i));
        for (int j = 0; j < pieces.size(); ++j) {
            if (j > 0)
                cursor.insertBlock(continuation);
            cursor.insertText(pieces.at(j));
        }
    }
    cursor.endEditBlock();
}

void CLeftView::keyPressEvent(QKeyEvent* event)
{
    if (isReadOnly()) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    QTextCursor cursor = textCursor();
    if (event->matches(QKeySequence::InsertParagraphSeparator)) {
        // The editor's own Enter copies the current block's format, which
        // would turn the new line into a continuation.
        QTextBlockFormat lineStart = cursor.blockFormat();
        lineStart.clearProperty(kContinuation);
        cursor.insertBlock(lineStart);
        setTextCursor(cursor);
        ensureCursorVisible();
        event->accept();
        return;
    }

    // The end of a piece and the start of the next are the same place in the
    // text: step over the joint so that the key acts on a real character.
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool shift = mods == Qt::ShiftModifier;
    const bool plain = mods == Qt::NoModifier;
    const auto mode = shift ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor;
    const bool free = !cursor.hasSelection() || shift;
    bool back = false;
    bool forward = false;
    switch (event->key()) {
    case Qt::Key_Backspace:
        back = (plain || shift) && !cursor.hasSelection();
        break;
    case Qt::Key_Delete:
        forward = plain && !cursor.hasSelection();
        break;
    case Qt::Key_Left:
        back = (plain || shift) && free;
        break;
    case Qt::Key_Right:
        forward = (plain || shift) && free;
        break;
    default:
        break;
    }
    const int before = cursor.position();
    if (back)
        while (cursor.atBlockStart() && IsContinuation(cursor.block()))
            cursor.movePosition(QTextCursor::PreviousCharacter, mode);
    if (forward)
        while (cursor.atBlockEnd() && cursor.block().next().isValid()
               && IsContinuation(cursor.block().next()))
            cursor.movePosition(QTextCursor::NextCharacter, mode);
    if (cursor.position() != before)
        setTextCursor(cursor);
    QPlainTextEdit::keyPressEvent(event);
}

QMimeData* CLeftView::createMimeDataFromSelection() const
{
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection())
        return QPlainTextEdit::createMimeDataFromSelection();
    QMimeData* mime = new QMimeData;
    mime->setText(TextBetween(cursor.selectionStart(), cursor.selectionEnd()));
    return mime;
}

void CLeftView::insertFromMimeData(const QMimeData* source)
{
    if (source == nullptr || !source->hasText()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    QTextCursor cursor = textCursor();
    InsertText(cursor, source->text());
    setTextCursor(cursor);
    ensureCursorVisible();
}
