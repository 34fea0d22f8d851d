// What Zelk asks of the engine: open a model, analyse text into the result
// page, add the words of a list. The application uses the library (morv.hpp,
// LibraryEngine); the tests put stand-ins in its place to watch what the
// shell hands over.
#ifndef ZELK_ENGINECALLS_H
#define ZELK_ENGINECALLS_H

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <memory>

class EngineCalls {
public:
    // The per-text machinery of one analysis; used by one thread at a time
    // (a Run's worker), while the model may be shared.
    class Analyzer {
    public:
        virtual ~Analyzer();
        // The page part of text (UTF-8: whole lines, or a part of a line cut
        // where CutPoint allows), appended to *html; false with *error.
        virtual bool AnalyzeHtml(const char* text, size_t size, QByteArray* html, QString* error) = 0;
    };

    virtual ~EngineCalls();

    // The model directory the library opens when given none (it honours
    // MORV_HOME and finds the installed models).
    virtual QString DefaultModelDir() const = 0;
    // Opens the model in dir; false with *error (which file, and why).
    virtual bool Open(const QString& dir, QString* error) = 0;
    // Releases the model; no analyser may be in use.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // A new analyser over the open model; null with *error.
    virtual std::unique_ptr<Analyzer> NewAnalyzer(QString* error) = 0;
    // How much of data (UTF-8, no line feed in it) may be cut off without
    // changing its analysis: see morv_cut_point. Safe on any thread.
    virtual size_t CutPoint(const char* data, size_t size) const = 0;
    // What comes before the first page part and after the last.
    virtual QByteArray PageHead() const = 0;
    virtual QByteArray PageTail() const = 0;

    // Adds the words of a list ("word [frequency] [tag]" lines, UTF-8 or GBK)
    // to those added before, all or none: false with *error (the line and
    // why), and then no word of the list counts. name names the list in
    // messages. *added receives the entries taken, *total (when given) the
    // words added at run time in all.
    virtual bool AddWords(const QByteArray& list, const QString& name, size_t* added, size_t* total,
                          QString* error) = 0;

    // The calls in use: the library unless a test installed others.
    static EngineCalls& Current();
    // Installs engine (not owned); nullptr puts the library back.
    static void Install(EngineCalls* engine);
};

#endif
