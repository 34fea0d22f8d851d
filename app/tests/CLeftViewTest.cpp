// The input pane's file loading and the GBK conversions it relies on.
#include <QTemporaryDir>
#include <QtTest>

#include "CLeftView.h"
#include "GbkText.h"
#include "ZelkTestUtil.h"

class CLeftViewTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void loadDecodesAndReplaces_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        // 张伟明 in each encoding
        QTest::newRow("utf-8") << QByteArray("\xE5\xBC\xA0\xE4\xBC\x9F\xE6\x98\x8E")
                               << QStringLiteral("\u5f20\u4f1f\u660e");
        QTest::newRow("utf-8 with BOM") << QByteArray("\xEF\xBB\xBF\xE5\xBC\xA0")
                                        << QStringLiteral("\u5f20");
        QTest::newRow("gbk") << QByteArray("\xD5\xC5\xCE\xB0\xC3\xF7") << QStringLiteral("\u5f20\u4f1f\u660e");
        QTest::newRow("crlf and lone cr") << QByteArray("a\r\nb\rc\n") << QStringLiteral("a\nb\nc\n");
        QTest::newRow("ends at NUL") << QByteArray("ab\0cd", 5) << QStringLiteral("ab");
        QTest::newRow("empty") << QByteArray() << QString();
    }
    void loadDecodesAndReplaces()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const QString path = dir.filePath(QStringLiteral("in.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        CLeftView view;
        view.setPlainText(QStringLiteral("previous text that must go"));
        QVERIFY(view.LoadFile(path));
        QCOMPARE(view.toPlainText(), text);
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
        QCOMPARE(GbkText::ToEngine(GbkText::FromFile(gbk)), gbk);
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
        QVERIFY(GbkText::IsUtf8(QByteArray("plain ascii")));
        QVERIFY(GbkText::IsUtf8(QByteArray("\xE4\xB8\xAD")));
        QVERIFY(!GbkText::IsUtf8(QByteArray("\xD6\xD0")));
        QVERIFY(!GbkText::IsUtf8(QByteArray("\xE4\xB8"))); // cut short
    }

private:
    QTemporaryDir dir;
};

QTEST_MAIN(CLeftViewTest)
#include "CLeftViewTest.moc"
