#include "CLeftView.h"

#include <QFile>
#include <QFileInfo>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCharFormat>
#include <QTextFragment>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <vector>

#include "GbkText.h"

namespace {

// Block-format property that marks a block continuing the line before it.
const int kContinuation = QTextFormat::UserProperty + 1;
// Char-format property of a U+FFFD that stands for bytes of the file (a QByteArray).
const int kRawBytes = QTextFormat::UserProperty + 2;

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

bool CLeftView::LoadFile(const QString& path, QString* problem, QString* notice)
{
    // Only regular files: a FIFO or a device would block or never end.
    QFileInfo info(path);
    if (!info.isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // A QString holds less than 2^30 characters; refuse rather than fail half-way.
    if (file.size() > TextFile::kMaxBytes) {
        if (problem != nullptr)
            *problem = QStringLiteral("It has %1 bytes; texts of up to 1 GiB can be opened.").arg(file.size());
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    TextFile::Decoded decoded = TextFile::Decode(bytes);
    const QString why = TextFile::NotText(decoded, bytes.size());
    if (!why.isEmpty()) {
        if (problem != nullptr)
            *problem = why;
        return false;
    }
    SetText(decoded.text, decoded.raw);
    encoding = decoded.encoding;
    crlf = decoded.crlf;
    bom = decoded.bom;
    if (notice != nullptr)
        *notice = TextFile::Notice(decoded, path);
    return true;
}

void CLeftView::SetText(const QString& text, const QVector<TextFile::Raw>& raw)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    const bool longLines = std::any_of(lines.cbegin(), lines.cend(), [](const QString& line) {
        return line.size() > kPieceLength;
    });
    // Where a piece of a long line begins, as a position in text: the
    // document has a block separator there that text does not.
    std::vector<int> joints;
    std::vector<int> continuations;
    if (!longLines) {
        setPlainText(text);
    } else {
        // Every piece goes on a line of its own; the continuations are marked after.
        QString pieced;
        pieced.reserve(text.size() + text.size() / kPieceLength + 16);
        int block = 0;
        int at = 0;
        for (int i = 0; i < lines.size(); ++i) {
            if (i > 0) {
                pieced += QLatin1Char('\n');
                ++at;
            }
            const QStringList pieces = SplitLine(lines.at(i));
            for (int j = 0; j < pieces.size(); ++j) {
                if (j > 0) {
                    pieced += QLatin1Char('\n');
                    continuations.push_back(block);
                    joints.push_back(at);
                }
                pieced += pieces.at(j);
                at += pieces.at(j).size();
                ++block;
            }
        }
        setPlainText(pieced);
    }
    // The marks are part of loading, not an edit the user could undo.
    document()->setUndoRedoEnabled(false);
    QTextBlockFormat mark;
    mark.setProperty(kContinuation, true);
    for (int n : continuations)
        QTextCursor(document()->findBlockByNumber(n)).mergeBlockFormat(mark);
    size_t joint = 0;
    for (const TextFile::Raw& r : raw) {
        while (joint < joints.size() && joints[joint] <= r.at)
            ++joint;
        QTextCursor cursor(document());
        cursor.setPosition(r.at + int(joint));
        cursor.setPosition(r.at + int(joint) + 1, QTextCursor::KeepAnchor);
        QTextCharFormat format;
        format.setProperty(kRawBytes, r.bytes);
        cursor.mergeCharFormat(format);
    }
    document()->setUndoRedoEnabled(true);
    document()->setModified(false);
    encoding = TextFile::Utf8;
    crlf = false;
    bom = false;
}

QString CLeftView::Text() const
{
    // Without pieces the document's own plain text is the same, and much
    // faster to have for a long text (Run takes it on the window's thread).
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next())
        if (IsContinuation(block))
            return TextBetween(0, document()->characterCount() - 1);
    return document()->toPlainText();
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

template <class TextRun, class RawRun> void CLeftView::Walk(bool plain, TextRun text, RawRun raw) const
{
    QString run;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        if (block != document()->begin() && !IsContinuation(block))
            run += QLatin1Char('\n');
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QString part = fragment.text();
            const QVariant bytes = fragment.charFormat().property(kRawBytes);
            if (!bytes.isValid()) {
                run += part;
                continue;
            }
            // Typing next to a raw byte may have given other characters its format.
            for (QChar c : part) {
                if (c != QChar(0xFFFD)) {
                    run += c;
                    continue;
                }
                text(plain ? PlainText(run) : run);
                run.clear();
                raw(bytes.toByteArray());
            }
        }
    }
    text(plain ? PlainText(run) : run);
}

bool CLeftView::FileBytes(QByteArray* bytes, bool* savedGbk, QString* problem) const
{
    // The block texts as they are (the editor's plain text would turn a
    // no-break space into a space).
    bool anyRaw = false;
    bool encodable = true;
    QString unencodable;
    auto build = [&](TextFile::Encoding as) {
        bytes->clear();
        if (as == TextFile::Utf8 && bom)
            bytes->append("\xEF\xBB\xBF");
        Walk(false,
             [&](const QString& run) {
                 QByteArray part;
                 if (TextFile::Encode(run, as, crlf, &part)) {
                     bytes->append(part);
                     return;
                 }
                 encodable = false;
                 for (int i = 0; i < run.size() && unencodable.size() < 40; ++i) {
                     const int len = run.at(i).isHighSurrogate() && i + 1 < run.size() ? 2 : 1;
                     const QString ch = run.mid(i, len);
                     QByteArray ignored;
                     if (!TextFile::Encode(ch, as, false, &ignored) && !unencodable.contains(ch))
                         unencodable += ch;
                     i += len - 1;
                 }
             },
             [&](const QByteArray& raw) {
                 anyRaw = true;
                 bytes->append(raw);
             });
    };
    build(encoding);
    *savedGbk = encoding == TextFile::Gbk;
    if (encodable)
        return true;
    if (anyRaw) {
        bytes->clear();
        if (problem != nullptr)
            *problem = QStringLiteral("The text was read as GBK and keeps bytes of the file that are no GBK "
                                      "character, but it now also holds characters GBK lacks (%1): no "
                                      "encoding can hold both. Remove those characters, or the \uFFFD marks.")
                           .arg(unencodable);
        return false;
    }
    // As for a new text: UTF-8 holds every character.
    encodable = true;
    build(TextFile::Utf8);
    *savedGbk = false;
    return true;
}

void CLeftView::DropRawFormat()
{
    QTextCursor cursor = textCursor();
    if (cursor.hasSelection() || !cursor.charFormat().hasProperty(kRawBytes))
        return;
    cursor.setCharFormat(QTextCharFormat());
    setTextCursor(cursor);
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
    RemoveSelection(cursor);
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
            // In a format of its own: not that of a raw byte before it.
            cursor.insertText(pieces.at(j), QTextCharFormat());
        }
    }
    cursor.endEditBlock();
}

bool CLeftView::NeedsOwnRemoval(const QTextCursor& cursor)
{
    if (!cursor.hasSelection())
        return false;
    const QTextDocument* doc = cursor.document();
    const QTextBlock first = doc->findBlock(cursor.selectionStart());
    const QTextBlock last = doc->findBlock(cursor.selectionEnd());
    return first.position() == cursor.selectionStart() && first != last
           && IsContinuation(first) != IsContinuation(last);
}

void CLeftView::RemoveSelection(QTextCursor& cursor)
{
    if (!cursor.hasSelection())
        return;
    const bool continues = IsContinuation(cursor.document()->findBlock(cursor.selectionStart()));
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    if (IsContinuation(cursor.block()) != continues) {
        QTextBlockFormat format = cursor.blockFormat();
        if (continues)
            format.setProperty(kContinuation, true);
        else
            format.clearProperty(kContinuation);
        cursor.setBlockFormat(format);
    }
    cursor.endEditBlock();
}

void CLeftView::Cut()
{
    QTextCursor cursor = textCursor();
    if (isReadOnly() || !cursor.hasSelection())
        return;
    copy();
    RemoveSelection(cursor);
    setTextCursor(cursor);
    ensureCursorVisible();
}

bool CLeftView::EditKey(QKeyEvent* event)
{
    QTextCursor cursor = textCursor();
    if (event->matches(QKeySequence::InsertParagraphSeparator)) {
        // The editor's own Enter copies the current block's format, which
        // would turn the new line into a continuation.
        QTextBlockFormat lineStart = cursor.blockFormat();
        lineStart.clearProperty(kContinuation);
        cursor.beginEditBlock();
        RemoveSelection(cursor);
        cursor.insertBlock(lineStart);
        cursor.endEditBlock();
        setTextCursor(cursor);
        ensureCursorVisible();
        return true;
    }
    if (event->matches(QKeySequence::Cut)) {
        if (!NeedsOwnRemoval(cursor))
            return false;
        Cut();
        return true;
    }

    // Deleting keys: the range they remove, as the editor would take it.
    const bool backspace = event->key() == Qt::Key_Backspace
                           && !(event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier));
    const bool del = event->matches(QKeySequence::Delete);
    const bool wordBack = event->matches(QKeySequence::DeleteStartOfWord);
    const bool wordForward = event->matches(QKeySequence::DeleteEndOfWord);
    if (backspace || del || wordBack || wordForward) {
        QTextCursor range = cursor;
        if (!cursor.hasSelection()) {
            // The end of a piece and the start of the next are the same
            // place in the text: step over the joint so that the key removes
            // a character, not the joint.
            if (backspace)
                while (cursor.atBlockStart() && IsContinuation(cursor.block()))
                    cursor.movePosition(QTextCursor::PreviousCharacter);
            if (del)
                while (cursor.atBlockEnd() && cursor.block().next().isValid()
                       && IsContinuation(cursor.block().next()))
                    cursor.movePosition(QTextCursor::NextCharacter);
            range = cursor;
            if (backspace) {
                // Joining a block to an empty one before it.
                if (range.atBlockStart() && range.block().previous().isValid()
                    && range.block().previous().length() == 1)
                    range.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor);
            } else if (del) {
                if (range.atBlockStart() && range.block().length() == 1 && range.block().next().isValid())
                    range.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
            } else {
                range.movePosition(wordBack ? QTextCursor::PreviousWord : QTextCursor::NextWord,
                                   QTextCursor::KeepAnchor);
            }
        }
        if (!NeedsOwnRemoval(range)) {
            if (!cursor.hasSelection() && cursor.position() != textCursor().position())
                setTextCursor(cursor); // stepped over a joint; the editor does the rest
            return false;
        }
        RemoveSelection(range);
        setTextCursor(range);
        ensureCursorVisible();
        return true;
    }

    // Left and Right step over a joint as well (with Shift, the selection follows).
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Left || event->key() == Qt::Key_Right)
        && (mods == Qt::NoModifier || mods == Qt::ShiftModifier)
        && (!cursor.hasSelection() || mods == Qt::ShiftModifier)) {
        const auto mode = mods == Qt::ShiftModifier ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor;
        const int before = cursor.position();
        if (event->key() == Qt::Key_Left)
            while (cursor.atBlockStart() && IsContinuation(cursor.block()))
                cursor.movePosition(QTextCursor::PreviousCharacter, mode);
        else
            while (cursor.atBlockEnd() && cursor.block().next().isValid()
                   && IsContinuation(cursor.block().next()))
                cursor.movePosition(QTextCursor::NextCharacter, mode);
        if (cursor.position() != before)
            setTextCursor(cursor);
        return false;
    }

    // Text typed over a selection: remove it here first, in the same step.
    const bool typing = !event->text().isEmpty()
                        && (event->text().at(0).isPrint() || event->text().at(0) == QLatin1Char('\t'));
    if (NeedsOwnRemoval(cursor) && (typing || event->matches(QKeySequence::InsertLineSeparator))) {
        cursor.beginEditBlock();
        RemoveSelection(cursor);
        setTextCursor(cursor);
        QPlainTextEdit::keyPressEvent(event);
        cursor.endEditBlock();
        return true;
    }
    return false;
}

void CLeftView::keyPressEvent(QKeyEvent* event)
{
    if (!isReadOnly())
        DropRawFormat();
    if (!isReadOnly() && EditKey(event)) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void CLeftView::inputMethodEvent(QInputMethodEvent* event)
{
    if (!isReadOnly())
        DropRawFormat();
    QTextCursor cursor = textCursor();
    if (!isReadOnly() && NeedsOwnRemoval(cursor)
        && (!event->commitString().isEmpty() || !event->preeditString().isEmpty())) {
        RemoveSelection(cursor);
        setTextCursor(cursor);
    }
    QPlainTextEdit::inputMethodEvent(event);
}

void CLeftView::contextMenuEvent(QContextMenuEvent* event)
{
    // The standard menu, but Cut and Delete remove the selection as the keys do.
    QMenu* menu = createStandardContextMenu(event->pos());
    for (QAction* action : menu->actions()) {
        if (action->objectName() == QLatin1String("edit-cut")) {
            action->disconnect();
            connect(action, &QAction::triggered, this, &CLeftView::Cut);
        } else if (action->objectName() == QLatin1String("edit-delete")) {
            action->disconnect();
            connect(action, &QAction::triggered, this, [this] {
                QTextCursor cursor = textCursor();
                RemoveSelection(cursor);
                setTextCursor(cursor);
            });
        }
    }
    menu->exec(event->globalPos());
    delete menu;
}

void CLeftView::dropEvent(QDropEvent* event)
{
    // A text moved within the pane: removed and inserted here, as one step.
    QTextCursor selection = textCursor();
    if (isReadOnly() || event->source() != viewport() || event->dropAction() != Qt::MoveAction
        || !NeedsOwnRemoval(selection) || !event->mimeData()->hasText()) {
        QPlainTextEdit::dropEvent(event);
        return;
    }
    QTextCursor target = cursorForPosition(event->pos());
    // The editor's own end of the drag: its drop marker and scrolling stop.
    QDragLeaveEvent leave;
    QPlainTextEdit::dragLeaveEvent(&leave);
    if (target.position() > selection.selectionStart() && target.position() < selection.selectionEnd()) {
        event->ignore(); // onto itself
        return;
    }
    const QString text = event->mimeData()->text();
    selection.beginEditBlock();
    RemoveSelection(selection);
    InsertText(target, text); // target moved along with the removal
    selection.endEditBlock();
    setTextCursor(target);
    event->setDropAction(Qt::MoveAction);
    event->accept();
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
