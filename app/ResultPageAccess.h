// The result pane's network access: the page the engine writes is read with
// ResultPage (the whole page, or its first part when it is large) and handed
// to the browser in slices; every other address goes the usual way.
#ifndef ZELK_RESULTPAGEACCESS_H
#define ZELK_RESULTPAGEACCESS_H

#include <QNetworkAccessManager>
#include <QString>
#include <QUrl>

class ResultPageAccess : public QNetworkAccessManager {
    Q_OBJECT
public:
    ResultPageAccess(const QString& pagePath, qint64 shownBytes, int sliceBytes,
                     QObject* parent = nullptr);

    const QUrl& PageUrl() const { return pageUrl; }
    // Whether the page last asked for was shown whole.
    bool LastShownWhole() const { return lastWhole; }

    qint64 ShownBytes() const { return shownBytes; }
    void SetShownBytes(qint64 bytes) { shownBytes = bytes; }

protected:
    QNetworkReply* createRequest(Operation op, const QNetworkRequest& request,
                                 QIODevice* outgoingData) override;

private:
    QString pagePath;
    QUrl pageUrl;
    qint64 shownBytes;
    int sliceBytes;
    bool lastWhole = true;
};

#endif
