// The input pane: a plain multi-line editor holding the text to analyse.
#ifndef ZELK_CLEFTVIEW_H
#define ZELK_CLEFTVIEW_H

#include <QByteArray>
#include <QPlainTextEdit>
#include <QString>
#include <QStringList>

#include "TextFile.h"

class QTextBlock;

// The editor lays out a whole paragraph again at every key, so a line of a
// few hundred thousand characters would cost a noticeable time per key. Such
// a line is therefore held in pieces of at most kPieceLength characters, each
// piece one block of the document; a block that continues the line of the
// block before it carries a mark in its block format. The pieces show like
// wrapped lines and are joined again wherever the text leaves the editor
// (Text(), Run, Save, Copy, drag and drop); the keys that would otherwise
// see the joint (Backspace, Delete, Left, Right, Enter) step over it.
//
// When a removal starts at the start of a block and reaches into a later
// one, the document gives the merged block the format of the last block of
// the range, not that of the first, so the mark would describe a separator
// that is gone. Such removals (a selection typed over, cut or deleted, a word
// deleted, an empty block joined, a text moved by drag and drop) are done
// here, in one undoable step that gives the merged block its right mark.
//
// Bytes of a loaded file that are no character of its encoding show as
// U+FFFD; the character carries the bytes in its format, so that saving
// writes them back unchanged wherever the user did not edit them.
class CLeftView : public QPlainTextEdit {
    Q_OBJECT
public:
    static const int kPieceLength = 4096;

    explicit CLeftView(QWidget* parent = nullptr);

    // Replaces the whole text with the content of the file at path, decoded
    // as TextFile decides. False, with the text unchanged, when path is not a
    // readable regular file, or when it is no text (then *problem says why).
    // *notice (when given) tells of bytes held raw. The loaded text counts as
    // unmodified.
    bool LoadFile(const QString& path, QString* problem = nullptr, QString* notice = nullptr);

    // Replaces the whole text; long lines are held in pieces. The text counts
    // as unmodified and the undo history starts afresh. raw gives the U+FFFD
    // characters of text that stand for bytes of a file.
    void SetText(const QString& text, const QVector<TextFile::Raw>& raw = QVector<TextFile::Raw>());

    // The text as the user sees it, pieces joined, line breaks as '\n'.
    QString Text() const;
    // The same for the document positions from..to (a selection, say).
    QString TextBetween(int from, int to) const;

    // Whether the last loaded file was GBK (Save then writes GBK again).
    bool LoadedAsGbk() const { return encoding == TextFile::Gbk; }
    void SetLoadedAsGbk(bool gbk) { encoding = gbk ? TextFile::Gbk : TextFile::Utf8; }

    // The text as the file of the document holds it: in the encoding it was
    // read in, with the bytes held raw as they were, and its line ends and
    // byte-order mark. A GBK text that now holds a character GBK lacks is
    // written as UTF-8, unless it holds raw bytes too: then false, with the
    // reason in *problem, since no encoding keeps both. *savedGbk tells
    // which encoding was used.
    bool FileBytes(QByteArray* bytes, bool* savedGbk, QString* problem) const;

    // The text as the engine takes it: GBK bytes, line breaks as CR LF.
    // Characters without a GBK code are listed in *unencodable.
    QByteArray EngineText(QString* unencodable = nullptr) const;

    // Where the pieces of one line end: at most limit characters each, cut
    // after a sentence end where one lies in the second half of the piece,
    // else at a line-break opportunity, else between two characters (never
    // inside a surrogate pair or a character with its combining marks).
    static QStringList SplitLine(const QString& line, int limit = kPieceLength);

    // Whether block continues the line of the block before it.
    static bool IsContinuation(const QTextBlock& block);

    // Cuts the selection to the clipboard (the Edit menu's Cut).
    void Cut();
    // Removes the cursor's selection; the block it starts in keeps its mark.
    static void RemoveSelection(QTextCursor& cursor);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    QMimeData* createMimeDataFromSelection() const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    // Inserts text (line breaks as '\n') at cursor, long lines in pieces.
    static void InsertText(QTextCursor& cursor, const QString& text);
    // Whether removing the cursor's selection would leave the merged block
    // with the wrong mark (see above).
    static bool NeedsOwnRemoval(const QTextCursor& cursor);
    // Handles the keys that act at a joint or would remove across one;
    // true when the key is done with.
    bool EditKey(QKeyEvent* event);
    // Typing right after a raw byte must not give the new text its format.
    void DropRawFormat();
    // The text (plain when plain, else as the file holds it) in pieces
    // between the raw bytes; calls text(run) and raw(bytes) in order.
    template <class TextRun, class RawRun> void Walk(bool plain, TextRun text, RawRun raw) const;

    TextFile::Encoding encoding = TextFile::Utf8;
    bool crlf = false;
    bool bom = false;
};

#endif
