#include "SlicedReply.h"

#include <cstring>

SlicedReply::SlicedReply(const QNetworkRequest& request, QByteArray page, int sliceBytes,
                         QObject* parent)
    : QNetworkReply(parent), page(std::move(page)), sliceBytes(qMax(1, sliceBytes))
{
    setRequest(request);
    setUrl(request.url());
    setOperation(QNetworkAccessManager::GetOperation);
    setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("text/html"));
    setHeader(QNetworkRequest::ContentLengthHeader, this->page.size());
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    slices.setInterval(0);
    connect(&slices, &QTimer::timeout, this, &SlicedReply::Release);
    // Readers connect to the signals after they get the reply: start later.
    QTimer::singleShot(0, this, &SlicedReply::Start);
}

void SlicedReply::Start()
{
    if (done)
        return;
    emit metaDataChanged();
    slices.start();
}

void SlicedReply::Release()
{
    if (released >= page.size()) {
        Finish();
        return;
    }
    released = qMin<qint64>(page.size(), released + sliceBytes);
    emit downloadProgress(released, page.size());
    emit readyRead();
}

void SlicedReply::Finish()
{
    slices.stop();
    if (done)
        return;
    done = true;
    setFinished(true);
    emit finished();
}

void SlicedReply::abort()
{
    if (done)
        return;
    slices.stop();
    setError(OperationCanceledError, tr("Operation canceled"));
#if QT_VERSION >= QT_VERSION_CHECK(5, 15, 0)
    emit errorOccurred(OperationCanceledError);
#else
    emit error(OperationCanceledError);
#endif
    Finish();
}

qint64 SlicedReply::bytesAvailable() const
{
    return released - read + QNetworkReply::bytesAvailable();
}

qint64 SlicedReply::readData(char* data, qint64 maxSize)
{
    const qint64 n = qMin(maxSize, released - read);
    if (n <= 0)
        return done ? -1 : 0;
    std::memcpy(data, page.constData() + read, size_t(n));
    read += n;
    return n;
}
