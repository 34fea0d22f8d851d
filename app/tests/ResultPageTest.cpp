// What the result pane shows of a page: whole when small, else its first part
// cut between two words with a note and the legend; handed over in slices.
#include <QDir>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QWebElement>
#include <QWebFrame>
#include <QtTest>

#include "CMyZelkView.h"
#include "ResultPage.h"
#include "ZelkTestUtil.h"

namespace {

const QByteArray kHead("<html> \n <head> \n<meta http-equiv=\"Content-Type\" content=\"text/html; "
                       "charset=gb2312\">\n<title>Morv analysis result</title>\n</head>\n<body>\n<p>\n");
// Legend and footer as the engine ends every page (shortened).
const QByteArray kTail("\t<hr>\n<p><b>\xCD\xBC\xC0\xFD\xCB\xB5\xC3\xF7</b></p>"
                       "<p><font face=\"Arial\">footer</font></p></body></html>");

// One word as the engine writes it: 张伟明 (GBK; its bytes hold 'p'-range trail bytes) and a tag.
QByteArray Token(int i)
{
    return "<font face=\"\xBF\xAC\xCC\xE5_GB2312\">\xD5\xC5\xCE\xB0\xC3\xF7" + QByteArray::number(i)
           + "</font><font face=\"Times New Roman\" color=\"#0000FF\">/nr</font>  ";
}

// A page of words; a paragraph break after every perParagraph words (0: none).
QByteArray Page(int words, int perParagraph)
{
    QByteArray page = kHead;
    for (int i = 0; i < words; ++i) {
        page += Token(i);
        if (perParagraph > 0 && (i + 1) % perParagraph == 0)
            page += "<font face=\"\xBF\xAC\xCC\xE5_GB2312\">\n</font></p><p>";
    }
    return page + "</p>" + kTail;
}

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    file.write(bytes);
    return path;
}

} // namespace

class ResultPageTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void smallOrMissingPageIsShownAsItIs()
    {
        const QByteArray page = Page(100, 10);
        const QString path = WriteFile(dir, QStringLiteral("small.htm"), page);
        bool whole = false;
        QCOMPARE(ResultPage::Read(path, page.size(), QUrl::fromLocalFile(path), &whole), page);
        QVERIFY(whole);
        QVERIFY(ResultPage::Read(dir.filePath(QStringLiteral("none.htm")), 100, QUrl(), &whole).isEmpty());
        QVERIFY(whole);
    }

    void largePageIsCutBetweenWords_data()
    {
        QTest::addColumn<int>("perParagraph");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QByteArray>("cutBefore"); // what the page holds right where it is cut
        QTest::newRow("at a paragraph break") << 20 << 50000 << QByteArray("</p><p>");
        QTest::newRow("one long paragraph: after a word") << 0 << 50000 << QByteArray("<font face=\"\xBF\xAC");
        QTest::newRow("limit inside the head: the whole head") << 20 << 40 << QByteArray();
    }
    void largePageIsCutBetweenWords()
    {
        QFETCH(int, perParagraph);
        QFETCH(int, limit);
        QFETCH(QByteArray, cutBefore);
        const QByteArray page = Page(5000, perParagraph);
        const QString path = WriteFile(dir, QStringLiteral("large.htm"), page);
        const QUrl url = QUrl::fromLocalFile(path);
        bool whole = true;
        const QByteArray shown = ResultPage::Read(path, limit, url, &whole);
        QVERIFY(!whole);
        QVERIFY(shown.endsWith(kTail));
        const QByteArray note = ResultPage::Note(page.size(), 0, url);
        const int noteAt = shown.indexOf("</p>\n<hr>\n<p><font face=\"Arial\">");
        QVERIFY(noteAt > 0);
        const QByteArray part = shown.left(noteAt);
        QVERIFY(part.size() <= limit);
        QVERIFY(page.startsWith(part));
        if (!cutBefore.isEmpty()) {
            QVERIFY(part.startsWith(kHead));
            QVERIFY2(page.mid(part.size()).startsWith(cutBefore), page.mid(part.size(), 40).constData());
        }
        // No GBK character is split: the part decodes without a replacement character.
        QTextCodec::ConverterState state;
        QTextCodec::codecForName("GBK")->toUnicode(part.constData(), part.size(), &state);
        QCOMPARE(state.invalidChars, 0);
        QCOMPARE(state.remainingChars, 0);
        QVERIFY(shown.contains(url.toEncoded()));
        QVERIFY(note.contains(url.toEncoded()));
    }

    void viewShowsSmallPageWholeThroughSlices()
    {
        // Several slices' worth: the page must arrive complete and in order.
        QTemporaryDir work;
        const QString saved = QDir::currentPath();
        QDir::setCurrent(work.path());
        CMyZelkView view;
        QDir::setCurrent(saved);
        const QByteArray page = Page(3000, 50);
        QVERIFY(page.size() > 4 * CMyZelkView::kSliceBytes && page.size() < CMyZelkView::kShownBytes);
        QVERIFY(!WriteFile(work, QStringLiteral("result.htm"), page).isEmpty());
        QSignalSpy loaded(&view, &QWebView::loadFinished);
        view.Refresh();
        QVERIFY(loaded.wait(10000));
        QCOMPARE(loaded.at(0).at(0).toBool(), true);
        QVERIFY(view.ShowsWholePage());
        const QString text = view.page()->mainFrame()->toPlainText();
        QVERIFY(text.contains(QStringLiteral("\u5f20\u4f1f\u660e0/nr")));
        QVERIFY(text.contains(QStringLiteral("\u5f20\u4f1f\u660e2999/nr")));
        QCOMPARE(text.count(QStringLiteral("/nr")), 3000);
    }

    void viewShowsLargePageInPartAndLinksToTheWhole()
    {
        QTemporaryDir work;
        const QString saved = QDir::currentPath();
        QDir::setCurrent(work.path());
        CMyZelkView view;
        QDir::setCurrent(saved);
        view.SetShownBytes(20000);
        QVERIFY(!WriteFile(work, QStringLiteral("result.htm"), Page(2000, 20)).isEmpty());
        QSignalSpy loaded(&view, &QWebView::loadFinished);
        view.Refresh();
        QVERIFY(loaded.wait(10000));
        QVERIFY(!view.ShowsWholePage());
        QWebFrame* frame = view.page()->mainFrame();
        QVERIFY(frame->toPlainText().contains(QStringLiteral("\u5f20\u4f1f\u660e0/nr")));
        QVERIFY(!frame->toPlainText().contains(QStringLiteral("\u5f20\u4f1f\u660e1999/nr")));
        QVERIFY(frame->toPlainText().contains(QStringLiteral("\u56fe\u4f8b\u8bf4\u660e"))); // the legend

        // The note's link opens the whole page in the system's browser, not here.
        UrlRecorder recorder;
        QWebElement link = frame->findFirstElement(QStringLiteral("a"));
        QCOMPARE(QUrl(link.attribute(QStringLiteral("href"))), view.ResultUrl());
        link.evaluateJavaScript(QStringLiteral("this.click()"));
        QTRY_COMPARE(recorder.urls.size(), 1);
        QCOMPARE(recorder.urls.at(0), view.ResultUrl());
        QCOMPARE(view.page()->mainFrame()->url(), view.ResultUrl());
    }

    void paneIsBlankUntilTheFirstRefresh_data()
    {
        QTest::addColumn<bool>("oldPage");
        QTest::newRow("no page yet") << false;
        QTest::newRow("page of an earlier session") << true;
    }
    void paneIsBlankUntilTheFirstRefresh()
    {
        QFETCH(bool, oldPage);
        QTemporaryDir work;
        if (oldPage)
            QVERIFY(!WriteFile(work, QStringLiteral("result.htm"), Page(10, 5)).isEmpty());
        const QString saved = QDir::currentPath();
        QDir::setCurrent(work.path());
        CMyZelkView view;
        QDir::setCurrent(saved);
        QSignalSpy loaded(&view, &QWebView::loadFinished);
        view.OnInitialUpdate();
        QTRY_VERIFY(!loaded.isEmpty());
        QCOMPARE(loaded.at(0).at(0).toBool(), true); // no failed load, so no error page
        QVERIFY(view.page()->mainFrame()->toPlainText().isEmpty());
        QVERIFY(view.page()->mainFrame()->url() != view.ResultUrl());
    }

private:
    QTemporaryDir dir;
};

QTEST_MAIN(ResultPageTest)
#include "ResultPageTest.moc"
