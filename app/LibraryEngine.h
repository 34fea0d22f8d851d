// The engine calls of EngineCalls made to the Morv library (morv.h): one
// model, opened at start-up, that every Run's analyser shares and that the
// imported word lists add to.
#ifndef ZELK_LIBRARYENGINE_H
#define ZELK_LIBRARYENGINE_H

#include "EngineCalls.h"

struct morv_model;

class LibraryEngine : public EngineCalls {
public:
    LibraryEngine() = default;
    ~LibraryEngine() override;
    LibraryEngine(const LibraryEngine&) = delete;
    LibraryEngine& operator=(const LibraryEngine&) = delete;

    QString DefaultModelDir() const override;
    bool Open(const QString& dir, QString* error) override;
    void Close() override;
    bool IsOpen() const override { return model != nullptr; }
    std::unique_ptr<Analyzer> NewAnalyzer(QString* error) override;
    size_t CutPoint(const char* data, size_t size) const override;
    QByteArray PageHead() const override;
    QByteArray PageTail() const override;
    bool AddWords(const QByteArray& list, const QString& name, size_t* added, size_t* total,
                  QString* error) override;

private:
    morv_model* model = nullptr;
};

#endif
