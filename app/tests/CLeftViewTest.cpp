// The input pane's file loading and the GBK conversions it relies on.
#include <QClipboard>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QtTest>

#include "CLeftView.h"
#include "GbkText.h"
#include "TextFile.h"
#include "ZelkTestUtil.h"

class CLeftViewTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void loadDecodesAndReplaces_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("gbk");
        // 张伟明 in each encoding
        QTest::newRow("utf-8") << QByteArray("\xE5\xBC\xA0\xE4\xBC\x9F\xE6\x98\x8E")
                               << QStringLiteral("\u5f20\u4f1f\u660e") << false;
        QTest::newRow("utf-8 with BOM") << QByteArray("\xEF\xBB\xBF\xE5\xBC\xA0")
                                        << QStringLiteral("\u5f20") << false;
        QTest::newRow("gbk") << QByteArray("\xD5\xC5\xCE\xB0\xC3\xF7") << QStringLiteral("\u5f20\u4f1f\u660e")
                             << true;
        QTest::newRow("crlf and lone cr") << QByteArray("a\r\nb\rc\n") << QStringLiteral("a\nb\nc\n") << false;
        // A NUL byte shows as a mark (it is kept for Save), not as the end.
        QTest::newRow("NUL held raw") << QByteArray("ab\0cd", 5) << QStringLiteral("ab\uFFFDcd") << false;
        QTest::newRow("empty") << QByteArray() << QString() << false;
    }
    void loadDecodesAndReplaces()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(bool, gbk);
        const QString path = dir.filePath(QStringLiteral("in.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        CLeftView view;
        view.setPlainText(QStringLiteral("previous text that must go"));
        QVERIFY(view.LoadFile(path));
        QCOMPARE(view.toPlainText(), text);
        QCOMPARE(view.Text(), text);
        QCOMPARE(view.LoadedAsGbk(), gbk);
        QVERIFY(!view.document()->isModified());
        QVERIFY(!view.document()->isUndoAvailable());
    }

    void unreadablePathsLeaveTextAlone()
    {
        CLeftView view;
        view.setPlainText(QStringLiteral("keep"));
        QVERIFY(!view.LoadFile(dir.filePath(QStringLiteral("missing.txt"))));
        QVERIFY(!view.LoadFile(dir.path()));
        QVERIFY(!view.LoadFile(QStringLiteral("/dev/zero"))); // not a regular file: would never end
        QCOMPARE(view.toPlainText(), QStringLiteral("keep"));
    }

    void engineTextRoundTripsThroughGbk()
    {
        // Text loaded from a GBK file goes back to the engine as the same bytes, CR LF kept.
        const QByteArray gbk("\xD5\xC5\xCE\xB0\xC3\xF7\xA1\xA3\r\n2026\xC4\xEA\r\n");
        QCOMPARE(GbkText::ToEngine(TextFile::Decode(gbk).text), gbk);
        QString unencodable;
        QCOMPARE(GbkText::ToEngine(QStringLiteral("a\nb"), &unencodable), QByteArray("a\r\nb"));
        QVERIFY(unencodable.isEmpty());
        QCOMPARE(GbkText::ToEngine(QStringLiteral("ab") + QChar(0) + QStringLiteral("cd")),
                 QByteArray("ab"));
    }

    void unencodableCharactersAreListedOnce()
    {
        QString unencodable;
        const QByteArray bytes =
            GbkText::ToEngine(QStringLiteral("\U0001F600x\U0001F600\uD55C"), &unencodable);
        QCOMPARE(unencodable, QStringLiteral("\U0001F600\uD55C"));
        QCOMPARE(bytes.count('?'), 3);
        QVERIFY(bytes.contains('x'));
    }

    void utf8Detection()
    {
        auto isUtf8 = [](const QByteArray& bytes) { return TextFile::ScanUtf8(bytes.constData(), bytes.size()); };
        QVERIFY(isUtf8(QByteArray("plain ascii")));
        QVERIFY(isUtf8(QByteArray("\xE4\xB8\xAD")));
        QVERIFY(!isUtf8(QByteArray("\xD6\xD0")));
        QVERIFY(!isUtf8(QByteArray("\xE4\xB8"))); // cut short
        QVERIFY(!isUtf8(QByteArray("\xED\xA0\x80"))); // a surrogate
        QVERIFY(!isUtf8(QByteArray("\xC0\xAF")));     // overlong
        QVERIFY(!isUtf8(QByteArray("\xF4\x90\x80\x80"))); // beyond U+10FFFF
    }

    void splitLineKeepsCharactersWhole_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QStringList>("pieces"); // empty: only the general rules are checked
        const QString s = QStringLiteral("\u4e2d\u6587"); // 中文
        const QString stop = QStringLiteral("\u3002");     // 。
        const QString close = QStringLiteral("\u201d");    // ”
        QTest::newRow("short line stays whole") << QStringLiteral("abc") << 3 << QStringList{"abc"};
        QTest::newRow("cut after a sentence end")
            << s + s + stop + s + s << 8 << QStringList{s + s + stop, s + s};
        QTest::newRow("closing quote stays with its sentence")
            << s + s + stop + close + s + s << 8 << QStringList{s + s + stop + close, s + s};
        QTest::newRow("sentence end too early: cut at the limit")
            << stop + s + s + s + s << 6 << QStringList{stop + s + s + "\u4e2d", "\u6587" + s};
        QTest::newRow("latin words cut after a space")
            << QStringLiteral("alpha beta gamma") << 8 << QStringList{"alpha ", "beta ", "gamma"};
        QTest::newRow("no break at all: cut at the limit")
            << QStringLiteral("aaaaaaaaaa") << 4 << QStringList{"aaaa", "aaaa", "aa"};
        QTest::newRow("surrogate pairs never split")
            << QString(QStringLiteral("\U0001F600")).repeated(5) << 3 << QStringList();
        QTest::newRow("combining marks stay with their letter")
            << QString(QStringLiteral("xe\u0301\u0301")).repeated(6) << 5 << QStringList();
        QTest::newRow("long text of the pane's size")
            << QString(s + QStringLiteral("\uff0c") + s + stop).repeated(5000) << int(CLeftView::kPieceLength)
            << QStringList();
    }
    void splitLineKeepsCharactersWhole()
    {
        QFETCH(QString, line);
        QFETCH(int, limit);
        QFETCH(QStringList, pieces);
        const QStringList got = CLeftView::SplitLine(line, limit);
        QCOMPARE(got.join(QString()), line);
        for (const QString& piece : got) {
            QVERIFY(!piece.isEmpty());
            QVERIFY2(piece.size() <= limit, qPrintable(piece));
            QVERIFY(!piece.at(0).isLowSurrogate());
            QVERIFY(piece.at(0).category() != QChar::Mark_NonSpacing);
        }
        if (!pieces.isEmpty())
            QCOMPARE(got, pieces);
    }

    void longLineIsHeldInPiecesAndJoinedAgain()
    {
        const QString line = LongLine();
        const QString text = QStringLiteral("first\n") + line + QStringLiteral("\n\nlast\n");
        CLeftView view;
        view.SetText(text);
        QVERIFY(view.document()->blockCount() > 4 + line.size() / CLeftView::kPieceLength);
        for (QTextBlock b = view.document()->begin(); b.isValid(); b = b.next())
            QVERIFY(b.length() - 1 <= CLeftView::kPieceLength);
        QCOMPARE(view.Text(), text);
        QCOMPARE(view.EngineText(), GbkText::ToEngine(text));
        QVERIFY(!view.document()->isModified());
        QVERIFY(!view.document()->isUndoAvailable());

        // Loaded from a file the same way.
        const QString path = dir.filePath(QStringLiteral("long.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.toUtf8());
        file.close();
        CLeftView loaded;
        QVERIFY(loaded.LoadFile(path));
        QCOMPARE(loaded.Text(), text);
        QCOMPARE(loaded.document()->blockCount(), view.document()->blockCount());
    }

    // Keys at the joint of two pieces act as they would in one line.
    void keysAtAJointActOnTheLine_data()
    {
        QTest::addColumn<int>("start"); // cursor: 0 end of the first piece, 1 start of the second
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("edit"); // on the line: "-k" remove k, "+k:s" insert s at k (relative to the joint)
        QTest::newRow("backspace at the start of a piece") << 1 << "B" << "-1";
        QTest::newRow("backspace at the end of a piece") << 0 << "B" << "-1";
        QTest::newRow("delete at the end of a piece") << 0 << "D" << "-0";
        QTest::newRow("delete at the start of a piece") << 1 << "D" << "-0";
        QTest::newRow("left then type") << 1 << "Lx" << "+-1:x";
        QTest::newRow("right then type") << 0 << "Rx" << "+1:x";
        QTest::newRow("type at the end of a piece") << 0 << "x" << "+0:x";
        QTest::newRow("enter at the end of a piece") << 0 << "E" << "+0:\n";
        QTest::newRow("enter at the start of a piece") << 1 << "E" << "+0:\n";
        QTest::newRow("enter inside a piece") << 1 << "RRRE" << "+3:\n";
        QTest::newRow("enter then backspace") << 1 << "EB" << "+0:";
    }
    void keysAtAJointActOnTheLine()
    {
        QFETCH(int, start);
        QFETCH(QString, keys);
        QFETCH(QString, edit);
        const QString line = LongLine();
        CLeftView view;
        view.SetText(line);
        const QTextBlock second = view.document()->begin().next();
        QVERIFY(CLeftView::IsContinuation(second));
        const int joint = second.position() - 1; // where the second piece starts in the line
        QTextCursor cursor(view.document());
        cursor.setPosition(start == 0 ? second.position() - 1 : second.position());
        view.setTextCursor(cursor);
        for (QChar key : keys) {
            switch (key.unicode()) {
            case 'B': QTest::keyClick(&view, Qt::Key_Backspace); break;
            case 'D': QTest::keyClick(&view, Qt::Key_Delete); break;
            case 'L': QTest::keyClick(&view, Qt::Key_Left); break;
            case 'R': QTest::keyClick(&view, Qt::Key_Right); break;
            case 'E': QTest::keyClick(&view, Qt::Key_Return); break;
            default: QTest::keyClicks(&view, QString(key)); break;
            }
        }
        QString expected = line;
        if (edit.startsWith(QLatin1Char('-'))) {
            expected.remove(joint - edit.mid(1).toInt(), 1);
        } else {
            const int colon = edit.indexOf(QLatin1Char(':'));
            expected.insert(joint + edit.mid(1, colon - 1).toInt(), edit.mid(colon + 1));
        }
        QCOMPARE(view.Text().size(), expected.size());
        QCOMPARE(view.Text(), expected);
        while (view.document()->isUndoAvailable())
            view.undo();
        QCOMPARE(view.Text(), line);
    }

    void copyAndPasteJoinThePieces()
    {
        const QString line = LongLine();
        CLeftView view;
        view.SetText(line);
        const int joint = view.document()->begin().next().position();
        QTextCursor cursor(view.document());
        cursor.setPosition(joint - 10);
        cursor.setPosition(joint + 10, QTextCursor::KeepAnchor);
        view.setTextCursor(cursor);
        view.copy();
        QCOMPARE(QApplication::clipboard()->text(), line.mid(joint - 10, 19));

        // A long line with a break pasted into a piece: pieces again, no break lost or added.
        const QString pasted = line.left(10000) + QStringLiteral("\n") + line.left(5000);
        QApplication::clipboard()->setText(pasted);
        cursor.setPosition(joint + 3);
        view.setTextCursor(cursor);
        view.paste();
        QString expected = line;
        expected.insert(joint - 1 + 3, pasted);
        QCOMPARE(view.Text(), expected);
        for (QTextBlock b = view.document()->begin(); b.isValid(); b = b.next())
            QVERIFY(b.length() - 1 <= 2 * CLeftView::kPieceLength);
        view.undo();
        QCOMPARE(view.Text(), line);
    }

    // Random edits near and across joints, checked against the same edits
    // on a plain string; undo and redo must give the texts back.
    void randomEditsKeepTheText()
    {
        QRandomGenerator random(20260108);
        QString model;
        for (int line = 0; line < 4; ++line)
            model += LongLine().left(2 * CLeftView::kPieceLength + random.bounded(3000)) + QLatin1Char('\n');
        model += QStringLiteral("tail");
        CLeftView view;
        view.SetText(model);
        const QString initial = model;
        const auto logical = [&view](int position) { return view.TextBetween(0, position).size(); };
        // Mostly at or near the start of a block, where the joints are.
        const auto pick = [&]() {
            QTextBlock b = view.document()->findBlockByNumber(random.bounded(view.document()->blockCount()));
            const int near[] = {0, 0, 1, b.length() - 1, b.length() - 2, random.bounded(b.length())};
            return b.position() + qBound(0, near[random.bounded(6)], b.length() - 1);
        };
        for (int step = 0; step < 400; ++step) {
            const int op = random.bounded(9);
            QTextCursor cursor(view.document());
            const int p = pick();
            cursor.setPosition(p);
            int from = logical(p);
            int to = from;
            if (op >= 5) { // a selection first
                const int q = qMin(view.document()->characterCount() - 1,
                                   p + 1 + random.bounded(3 * CLeftView::kPieceLength / 2));
                if (q == p)
                    continue;
                cursor.setPosition(q, QTextCursor::KeepAnchor);
                to = logical(q);
            }
            view.setTextCursor(cursor);
            const QString what = QStringLiteral("step %1 op %2 at %3").arg(step).arg(op).arg(p);
            switch (op) {
            case 0: QTest::keyClicks(&view, QStringLiteral("x")); model.insert(from, QLatin1Char('x')); break;
            case 1:
                QTest::keyClick(&view, Qt::Key_Backspace);
                if (from > 0)
                    model.remove(from - 1, 1);
                break;
            case 2:
                QTest::keyClick(&view, Qt::Key_Delete);
                model.remove(from, 1);
                break;
            case 3: QTest::keyClick(&view, Qt::Key_Return); model.insert(from, QLatin1Char('\n')); break;
            case 4: {
                const QString pasted = LongLine().left(random.bounded(2 * CLeftView::kPieceLength))
                                       + QStringLiteral("\nz");
                QApplication::clipboard()->setText(pasted);
                QTest::keyClick(&view, Qt::Key_V, Qt::ControlModifier);
                model.insert(from, pasted);
                break;
            }
            case 5: QTest::keyClick(&view, Qt::Key_Backspace); model.remove(from, to - from); break;
            case 6: QTest::keyClick(&view, Qt::Key_Delete); model.remove(from, to - from); break;
            case 7: QTest::keyClicks(&view, QStringLiteral("y")); model.replace(from, to - from, QStringLiteral("y")); break;
            case 8:
                QTest::keyClick(&view, Qt::Key_X, Qt::ControlModifier);
                if (to > from) // a selection of a joint alone holds no text
                    QCOMPARE(QApplication::clipboard()->text(), model.mid(from, to - from));
                model.remove(from, to - from);
                break;
            }
            QVERIFY2(view.Text() == model, qPrintable(what));
            QVERIFY(!CLeftView::IsContinuation(view.document()->begin()));
            if (step % 7 == 0) { // one step back and forth
                view.undo();
                view.redo();
                QVERIFY2(view.Text() == model, qPrintable(what + QStringLiteral(" after undo and redo")));
            }
        }
        for (int i = 0; i < 1000 && view.document()->isUndoAvailable(); ++i)
            view.undo();
        QVERIFY(view.Text() == initial);
        for (int i = 0; i < 1000 && view.document()->isRedoAvailable(); ++i)
            view.redo();
        QVERIFY(view.Text() == model);
    }

    void savedTextKeepsItsEncoding_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("gbk");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("savedGbk");
        QTest::newRow("gbk stays gbk") << QStringLiteral("\u5f20\n") << true << QByteArray("\xD5\xC5\n") << true;
        QTest::newRow("utf-8 stays utf-8") << QStringLiteral("\u5f20\n") << false
                                           << QByteArray("\xE5\xBC\xA0\n") << false;
        QTest::newRow("no gbk code: utf-8, nothing lost")
            << QStringLiteral("\u5f20\uD55C") << true << QByteArray("\xE5\xBC\xA0\xED\x95\x9C") << false;
    }
    void savedTextKeepsItsEncoding()
    {
        QFETCH(QString, text);
        QFETCH(bool, gbk);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, savedGbk);
        CLeftView view;
        view.SetText(text);
        view.SetLoadedAsGbk(gbk);
        bool wroteGbk = !savedGbk;
        QByteArray written;
        QString problem;
        QVERIFY(view.FileBytes(&written, &wroteGbk, &problem));
        QCOMPARE(written, bytes);
        QCOMPARE(wroteGbk, savedGbk);
    }

    // The encoding as the morv command decides it, and damaged UTF-8 read as
    // UTF-8 with its flaws held raw.
    void encodingIsDecidedAsTheCommandDecides_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("encoding");
        QTest::addColumn<int>("rawBytes");
        const QByteArray cjk("\xE4\xB8\xAD\xE6\x96\x87"); // 中文 in UTF-8
        QTest::newRow("ascii") << QByteArray("plain\n") << int(TextFile::Utf8) << 0;
        QTest::newRow("utf-8") << cjk << int(TextFile::Utf8) << 0;
        QTest::newRow("gbk") << QByteArray("\xD6\xD0\xCE\xC4") << int(TextFile::Gbk) << 0;
        // 莫尔夫泽尔克: its first two bytes happen to be valid UTF-8
        QTest::newRow("gbk starting like utf-8") << QByteArray("\xC4\xAA\xB6\xFB\xB7\xF2\xD4\xF3\xB6\xFB\xBF\xCB")
                                                 << int(TextFile::Gbk) << 0;
        QTest::newRow("utf-8 after 64 KiB of ascii") << QByteArray(70000, 'a') + cjk << int(TextFile::Utf8) << 0;
        QTest::newRow("gbk 64 KiB after valid utf-8: utf-8, the gbk raw")
            << cjk.repeated(11000) + "\xD6\xD0" << int(TextFile::Utf8) << 2;
        QTest::newRow("utf-8 cut in its last character") << cjk.repeated(5).chopped(1) << int(TextFile::Utf8) << 2;
        // Too short to tell from GBK: as the command reads it.
        QTest::newRow("two characters, cut") << cjk.chopped(1) << int(TextFile::Gbk) << 1;
        QTest::newRow("a NUL byte, held raw") << QByteArray("a\0b", 3) << int(TextFile::Utf8) << 1;
        QTest::newRow("gbk with bytes of neither") << QByteArray("\xD6\xD0\xFF\x80\xCE") << int(TextFile::Gbk) << 3;
    }
    void encodingIsDecidedAsTheCommandDecides()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, encoding);
        QFETCH(int, rawBytes);
        const TextFile::Decoded decoded = TextFile::Decode(bytes);
        QCOMPARE(int(decoded.encoding), encoding);
        QCOMPARE(int(decoded.rawBytes), rawBytes);
        QCOMPARE(decoded.text.count(QChar(0xFFFD)), decoded.raw.size());
        QCOMPARE(TextFile::Notice(decoded, QStringLiteral("f")).isEmpty(), rawBytes == 0);
    }

    // Whatever the bytes, loading and saving them unedited gives them back.
    void unknownBytesComeBackUnchanged()
    {
        QRandomGenerator random(30);
        const QByteArray pieces[] = {"\xE4\xB8\xAD", "\xD6\xD0", "a", " ", "\n", "\r\n", "\xFF", "\x80", "\0",
                                     "\xF0\x9F\x98\x80", "\xE4\xB8", "\xA2\xA0", "\xEF\xBB\xBF"};
#ifdef MORV_SANITIZED
        const int rounds = 60; // the sanitizers make the editor many times slower
#else
        const int rounds = 200;
#endif
        for (int round = 0; round < rounds; ++round) {
            QByteArray bytes;
            const bool crlf = round % 3 == 0;
            const int n = round % 20 == 0 ? 3000 : int(random.bounded(60));
            for (int i = 0; i < n; ++i) {
                QByteArray piece = pieces[random.bounded(int(sizeof pieces / sizeof pieces[0]))];
                if (piece.startsWith('\r') || piece == "\n")
                    piece = crlf ? "\r\n" : "\n";
                bytes += piece;
            }
            const TextFile::Decoded decoded = TextFile::Decode(bytes);
            CLeftView view;
            view.SetText(decoded.text, decoded.raw);
            // What LoadFile keeps besides the text.
            view.SetLoadedAsGbk(decoded.encoding == TextFile::Gbk);
            QByteArray saved;
            bool gbk = false;
            QString problem;
            QVERIFY(view.FileBytes(&saved, &gbk, &problem));
            QByteArray expected = bytes;
            if (decoded.bom)
                expected.remove(0, 3);
            if (!decoded.crlf)
                expected.replace("\r\n", "\n");
            else
                saved.replace("\r\n", "\n"), expected.replace("\r\n", "\n");
            QVERIFY2(saved == expected, qPrintable(QStringLiteral("round %1: %2 -> %3")
                                                      .arg(round)
                                                      .arg(QString::fromLatin1(bytes.toHex()))
                                                      .arg(QString::fromLatin1(saved.toHex()))));
        }
    }

    // Raw bytes stay with their mark through edits around them; what the user
    // types or pastes next to one is text of its own.
    void rawBytesSurviveEdits()
    {
        const QString path = dir.filePath(QStringLiteral("raw.txt"));
        QVERIFY(WriteAll(path, "\xE4\xB8\xAD\xFF\xE6\x96\x87\n" + LongLine().toUtf8() + "\x80" + LongLine().toUtf8()));
        CLeftView view;
        QString notice;
        QVERIFY(view.LoadFile(path, nullptr, &notice));
        QVERIFY(notice.contains(QStringLiteral("2 of its bytes")));
        QVERIFY(view.document()->blockCount() > 8); // the long line is in pieces
        auto saved = [&view] {
            QByteArray bytes;
            bool gbk = true;
            QString problem;
            return view.FileBytes(&bytes, &gbk, &problem) ? bytes : QByteArray("<refused>");
        };
        QByteArray expected = "\xE4\xB8\xAD\xFF\xE6\x96\x87\n" + LongLine().toUtf8() + "\x80" + LongLine().toUtf8();
        QCOMPARE(saved(), expected);

        // Typed right after the first mark, and a U+FFFD pasted there.
        QTextCursor cursor(view.document());
        cursor.setPosition(2);
        view.setTextCursor(cursor);
        QTest::keyClicks(&view, QStringLiteral("x"));
        QApplication::clipboard()->setText(QStringLiteral("\uFFFD"));
        view.paste();
        expected.insert(4, "x\xEF\xBF\xBD");
        QCOMPARE(saved(), expected);
        // The mark removed: its byte goes with it; undone: it comes back.
        cursor = view.textCursor();
        cursor.setPosition(1);
        cursor.setPosition(2, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        QByteArray removed = expected;
        removed.remove(3, 1);
        QCOMPARE(saved(), removed);
        view.undo();
        QCOMPARE(saved(), expected);
    }

    void gbkTextWithRawBytesKeepsToGbk()
    {
        const QString path = dir.filePath(QStringLiteral("gbk-raw.txt"));
        QVERIFY(WriteAll(path, "\xD6\xD0\xFF\xCE\xC4"));
        CLeftView view;
        QVERIFY(view.LoadFile(path));
        QVERIFY(view.LoadedAsGbk());
        view.moveCursor(QTextCursor::End);
        view.textCursor().insertText(QStringLiteral("\uD55C")); // Hangul: no GBK code
        QByteArray bytes;
        bool gbk = false;
        QString problem;
        QVERIFY(!view.FileBytes(&bytes, &gbk, &problem)); // no encoding holds both
        QVERIFY2(problem.contains(QStringLiteral("\uD55C")), qPrintable(problem));
    }

    void binaryFileIsNotOpened()
    {
        QByteArray noise(64 * 1024, '\0');
        QRandomGenerator random(5);
        for (char& c : noise)
            c = char(random.bounded(256));
        const QString path = dir.filePath(QStringLiteral("noise.bin"));
        QVERIFY(WriteAll(path, noise));
        CLeftView view;
        view.setPlainText(QStringLiteral("keep"));
        QString problem;
        QVERIFY(!view.LoadFile(path, &problem));
        QVERIFY2(problem.contains(QStringLiteral("not a text file")), qPrintable(problem));
        QCOMPARE(view.toPlainText(), QStringLiteral("keep"));
    }

    // A word list that is no text is refused with the line; one that is
    // text in either encoding goes to the engine, which judges its words.
    void wordListThatIsNoTextIsRefused_data()
    {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<QString>("problem");
        // 张伟明 / 中文
        QTest::newRow("utf-8") << QByteArray("\xE5\xBC\xA0\xE4\xBC\x9F\xE6\x98\x8E nr 10\n\xE4\xB8\xAD\xE6\x96\x87\n")
                               << QString();
        QTest::newRow("gbk") << QByteArray("\xD5\xC5\xCE\xB0\xC3\xF7 nr 10\n\xD6\xD0\xCE\xC4\n") << QString();
        QTest::newRow("utf-8 with a character gbk lacks: the engine says")
            << QByteArray("\xED\x95\x9C\xEA\xB5\xAD\n") << QString();
        QTest::newRow("utf-8 with a stray byte")
            << QByteArray("\xE5\xBC\xA0\xE4\xBC\x9F\xE6\x98\x8E\n\xE4\xB8\xAD\xE6\x96\x87\xE6\x96\x87\xB8\n")
            << QStringLiteral("L:2: not valid UTF-8");
        QTest::newRow("NUL") << QByteArray("ab\ncd\n\0", 7) << QStringLiteral("L:3: a NUL byte");
        QTest::newRow("neither") << QByteArray("ab\n\xD6\xD0\xFF\n") << QStringLiteral("L:2: neither UTF-8 nor GBK");
    }
    void wordListThatIsNoTextIsRefused()
    {
        QFETCH(QByteArray, list);
        QFETCH(QString, problem);
        const QString found = TextFile::ListProblem(list, QStringLiteral("L"));
        QVERIFY2(problem.isEmpty() ? found.isEmpty() : found.startsWith(problem), qPrintable(found));
    }

private:
    // One line of some 20,000 characters, well over a piece.
    static QString LongLine()
    {
        QString line;
        for (int i = 0; line.size() < 5 * CLeftView::kPieceLength; ++i)
            line += QStringLiteral("\u7b2c%1\u53e5\u8bdd\u6ca1\u6709\u53e5\u53f7").arg(i);
        return line;
    }

    QTemporaryDir dir;
};

QTEST_MAIN(CLeftViewTest)
#include "CLeftViewTest.moc"
