// A network reply that hands a page held in memory to the browser a slice at
// a time, one slice per turn of the event loop. The browser parses and lays
// out each slice as it comes, so the window keeps answering while a large
// page builds up, just as it does while a page arrives over a slow network.
#ifndef ZELK_SLICEDREPLY_H
#define ZELK_SLICEDREPLY_H

#include <QByteArray>
#include <QNetworkReply>
#include <QTimer>

class SlicedReply : public QNetworkReply {
    Q_OBJECT
public:
    SlicedReply(const QNetworkRequest& request, QByteArray page, int sliceBytes,
                QObject* parent = nullptr);

    qint64 bytesAvailable() const override;
    bool isSequential() const override { return true; }
    void abort() override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;

private:
    void Start();
    void Release();
    void Finish();

    QByteArray page;
    int sliceBytes;
    qint64 released = 0; // bytes the reader may take
    qint64 read = 0;     // bytes the reader took
    bool done = false;
    QTimer slices;
};

#endif
