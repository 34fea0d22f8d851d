#include "ResultPageAccess.h"

#include "ResultPage.h"
#include "SlicedReply.h"

ResultPageAccess::ResultPageAccess(const QString& pagePath, qint64 shownBytes, int sliceBytes,
                                   QObject* parent)
    : QNetworkAccessManager(parent), pagePath(pagePath), pageUrl(QUrl::fromLocalFile(pagePath)),
      shownBytes(shownBytes), sliceBytes(sliceBytes)
{
}

QNetworkReply* ResultPageAccess::createRequest(Operation op, const QNetworkRequest& request,
                                               QIODevice* outgoingData)
{
    if (op != GetOperation || request.url().adjusted(QUrl::RemoveFragment) != pageUrl)
        return QNetworkAccessManager::createRequest(op, request, outgoingData);
    // The page is read now, whole or in part: a later Run rewriting the file
    // cannot mix into what is being shown.
    QByteArray page = ResultPage::Read(pagePath, shownBytes, pageUrl, &lastWhole);
    return new SlicedReply(request, std::move(page), sliceBytes, this);
}
