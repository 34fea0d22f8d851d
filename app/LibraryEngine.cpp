#include "LibraryEngine.h"

#include <QFile>

#include "engine/morv.h"

namespace {

QString LastError()
{
    return QString::fromUtf8(morv_last_error());
}

class LibraryAnalyzer : public EngineCalls::Analyzer {
public:
    explicit LibraryAnalyzer(morv_analyzer* analyzer) : analyzer(analyzer) {}
    ~LibraryAnalyzer() override { morv_analyzer_free(analyzer); }
    LibraryAnalyzer(const LibraryAnalyzer&) = delete;
    LibraryAnalyzer& operator=(const LibraryAnalyzer&) = delete;

    bool AnalyzeHtml(const char* text, size_t size, QByteArray* html, QString* error) override
    {
        const char* part = nullptr;
        size_t length = 0;
        // Lenient: a NUL pasted into the text becomes a token of its own
        // instead of failing the whole Run.
        if (morv_analyze_html(analyzer, text, size, MORV_UTF8 | MORV_LENIENT, &part, &length) != MORV_OK) {
            *error = LastError();
            return false;
        }
        html->append(part, int(length));
        return true;
    }

private:
    morv_analyzer* analyzer;
};

} // namespace

LibraryEngine::~LibraryEngine()
{
    Close();
}

QString LibraryEngine::DefaultModelDir() const
{
    return QFile::decodeName(morv_default_model_dir());
}

bool LibraryEngine::Open(const QString& dir, QString* error)
{
    Close();
    const QByteArray path = QFile::encodeName(dir);
    if (morv_model_open(path.constData(), &model) != MORV_OK) {
        model = nullptr;
        *error = LastError();
        return false;
    }
    return true;
}

void LibraryEngine::Close()
{
    morv_model_free(model);
    model = nullptr;
}

std::unique_ptr<EngineCalls::Analyzer> LibraryEngine::NewAnalyzer(QString* error)
{
    if (model == nullptr) {
        *error = QStringLiteral("no model is open");
        return nullptr;
    }
    morv_analyzer* analyzer = nullptr;
    if (morv_analyzer_new(model, &analyzer) != MORV_OK) {
        *error = LastError();
        return nullptr;
    }
    return std::unique_ptr<Analyzer>(new LibraryAnalyzer(analyzer));
}

size_t LibraryEngine::CutPoint(const char* data, size_t size) const
{
    return morv_cut_point(model, data, size, MORV_UTF8);
}

QByteArray LibraryEngine::PageHead() const
{
    return QByteArray(morv_html_head());
}

QByteArray LibraryEngine::PageTail() const
{
    return QByteArray(morv_html_tail());
}

bool LibraryEngine::AddWords(const QByteArray& list, const QString& name, size_t* added, size_t* total,
                             QString* error)
{
    *added = 0;
    if (model == nullptr) {
        *error = QStringLiteral("no model is open");
        return false;
    }
    const QByteArray listName = name.toUtf8();
    if (morv_model_load_userdict_buffer(model, list.constData(), size_t(list.size()), listName.constData(), added)
        != MORV_OK) {
        *error = LastError();
        return false;
    }
    if (total != nullptr)
        *total = morv_model_user_word_count(model);
    return true;
}
