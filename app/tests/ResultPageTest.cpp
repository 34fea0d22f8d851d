// What the result pane shows of a page: whole when small, else its first part
// cut between two words with a note and the legend; laid out in slices, in
// colours that read well on white.
#include <QDir>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCodec>
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

// The view's text, once it has laid out what it was given.
QString Shown(CMyZelkView& view)
{
    if (!QTest::qWaitFor([&] { return !view.IsBusy(); }, 20000))
        return QStringLiteral("<still busy>");
    return view.toPlainText();
}

// The first link of the view's page.
QTextCharFormat FirstLink(const CMyZelkView& view)
{
    for (QTextBlock block = view.document()->begin(); block.isValid(); block = block.next())
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isAnchor())
                return it.fragment().charFormat();
    return QTextCharFormat();
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
        // Many slices' worth: the page must arrive complete and in order.
        QTemporaryDir work;
        const QString saved = QDir::currentPath();
        QDir::setCurrent(work.path());
        CMyZelkView view;
        QDir::setCurrent(saved);
        const QByteArray page = Page(3000, 50);
        QVERIFY(page.size() > 20 * CMyZelkView::kSliceChars && page.size() < CMyZelkView::kShownBytes);
        QVERIFY(!WriteFile(work, QStringLiteral("result.htm"), page).isEmpty());
        QSignalSpy shown(&view, &CMyZelkView::PageShown);
        view.Refresh();
        QVERIFY(view.IsBusy()); // a slice at a time, not all at once
        QVERIFY(shown.wait(20000));
        QVERIFY(view.ShowsWholePage());
        const QString text = view.toPlainText();
        QVERIFY(text.contains(QStringLiteral("\u5f20\u4f1f\u660e0/nr")));
        QVERIFY(text.contains(QStringLiteral("\u5f20\u4f1f\u660e2999/nr")));
        QCOMPARE(text.count(QStringLiteral("/nr")), 3000);
        QVERIFY(text.indexOf(QStringLiteral("\u5f20\u4f1f\u660e1000/")) < text.indexOf(QStringLiteral("\u5f20\u4f1f\u660e1001/")));
        QVERIFY(!text.contains(QStringLiteral("footer")));
        // Paragraph breaks where the page has them, long paragraphs kept in
        // blocks of bounded length.
        QVERIFY(view.document()->blockCount() >= 3000 / 50);
        for (QTextBlock block = view.document()->begin(); block.isValid(); block = block.next())
            QVERIFY(block.length() < 2 * CMyZelkView::kBlockChars);
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
        view.Refresh();
        const QString text = Shown(view);
        QVERIFY(!view.ShowsWholePage());
        QVERIFY(text.contains(QStringLiteral("\u5f20\u4f1f\u660e0/nr")));
        QVERIFY(!text.contains(QStringLiteral("\u5f20\u4f1f\u660e1999/nr")));
        QVERIFY(text.contains(QStringLiteral("\u56fe\u4f8b\u8bf4\u660e"))); // the legend

        // The note's link opens the whole page in the system's browser, not here.
        UrlRecorder recorder;
        const QTextCharFormat link = FirstLink(view);
        QVERIFY(link.isAnchor());
        QCOMPARE(QUrl(link.anchorHref()), view.ResultUrl());
        emit view.anchorClicked(QUrl(link.anchorHref()));
        QCOMPARE(recorder.urls, QList<QUrl>{view.ResultUrl()});
        QVERIFY(view.toPlainText().contains(QStringLiteral("\u5f20\u4f1f\u660e0/nr")));
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
        view.OnInitialUpdate();
        QTest::qWait(50);
        QVERIFY(view.toPlainText().isEmpty());
        QVERIFY(!view.IsBusy());
    }

    // The pane's colours: the engine's light ones darkened to read on white,
    // every one written with "#" (the view ignores colours without).
    void everyColourShownReadsWell_data()
    {
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<QString>("shown");
        QTest::newRow("person, red") << QByteArray("#FF0000") << "#CC0000";
        QTest::newRow("place, light red, no #") << QByteArray("FF99FF") << "#C2185B";
        QTest::newRow("organisation, pink") << QByteArray("FF00FF") << "#A000A0";
        QTest::newRow("time, grey") << QByteArray("C0C0C0") << "#666666";
        QTest::newRow("string, light blue") << QByteArray("00FFFF") << "#00727D";
        QTest::newRow("numeral, dark already") << QByteArray("#800000") << "#800000";
        QTest::newRow("tag, blue") << QByteArray("#0000FF") << "#0000FF";
        QTest::newRow("any other light colour") << QByteArray("#FFFF00") << QString();
    }
    void everyColourShownReadsWell()
    {
        QFETCH(QByteArray, written);
        QFETCH(QString, shown);
        const QByteArray html = "<font face=\"\xBF\xAC\xCC\xE5_GB2312\" color=\"" + written + "\"><i>x</i></font>";
        const QByteArray display = ResultPage::ForDisplay(html);
        const int at = display.indexOf("color=\"") + 7;
        const QString colour = QString::fromLatin1(display.mid(at, 7));
        QVERIFY2(colour.startsWith(QLatin1Char('#')), display.constData());
        if (!shown.isEmpty())
            QCOMPARE(colour, shown);
        QVERIFY2(ResultPage::Contrast(QColor(colour)) >= ResultPage::kLeastContrast, qPrintable(colour));
        QCOMPARE(display.left(at), html.left(html.indexOf("color=\"") + 7)); // the rest as it was
        QVERIFY(display.endsWith("\"><i>x</i></font>"));
    }

    // The end of the page as the pane shows it: the legend, not the footer
    // with its links to no site, and a link to the page as the engine wrote it.
    void pageEndKeepsTheLegendAndLinksTheClassicPage()
    {
        const QUrl url = QUrl::fromLocalFile(QStringLiteral("/tmp/x/result.htm"));
        const QByteArray end = ResultPage::DisplayEnd(kTail, url);
        QVERIFY(end.startsWith("\t<hr>\n<p><b>\xCD\xBC\xC0\xFD"));
        QVERIFY(!end.contains("footer"));
        QVERIFY(end.contains("href=\"" + url.toEncoded() + "\""));
        QVERIFY(!ResultPage::DisplayEnd(kTail, QUrl()).contains("href"));
    }

    void wordCutEndsAfterAWholeWord_data()
    {
        QTest::addColumn<QByteArray>("part");
        QTest::addColumn<int>("cut");
        const QByteArray word = Token(1);
        QTest::newRow("no word") << QByteArray("<font face=\"x\">ab") << 0;
        QTest::newRow("one word and a half") << word + word.left(10) << word.size();
        QTest::newRow("after a paragraph break") << word + "<font>\n</font></p><p><fo" << word.size() + 21;
    }
    void wordCutEndsAfterAWholeWord()
    {
        QFETCH(QByteArray, part);
        QFETCH(int, cut);
        QCOMPARE(ResultPage::WordCut(part), cut);
    }

private:
    QTemporaryDir dir;
};

QTEST_MAIN(ResultPageTest)
#include "ResultPageTest.moc"
