#include "tools/morv/MorvApp.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/morv/JsonFormatter.h"
#include "tools/morv/SegFormatter.h"
#include "tools/morv/TextFormatter.h"

namespace {

constexpr size_t kDetectWindow = 64 * 1024;

bool IsFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Decides the encoding of a stream still undecided, from its first non-ASCII byte
// on; stays Unknown while the text ahead is ASCII only. asciiUntil remembers how
// far the stream is known to be ASCII, so no byte is scanned twice.
Encoding DetectAhead(InputReader& reader, unsigned long long& asciiUntil)
{
    const char* data;
    const size_t ahead = reader.Peek(reader.Cap(), &data);
    const unsigned long long at = reader.Position();
    size_t first = asciiUntil > at ? static_cast<size_t>(std::min<unsigned long long>(asciiUntil - at, ahead)) : 0;
    while (first < ahead && static_cast<unsigned char>(data[first]) < 0x80)
        ++first;
    asciiUntil = at + first;
    if (first == ahead)
        return Encoding::Unknown;
    const size_t want = first + kDetectWindow;
    const size_t got = reader.Peek(want, &data);
    const Encoding found = TextCodec::Detect(data + first, got - first, got < want);
    return found == Encoding::Unknown ? Encoding::Gbk : found;
}

morv::Encoding ApiEncoding(Encoding enc)
{
    return enc == Encoding::Utf8 ? morv::Encoding::Utf8 : morv::Encoding::Gbk;
}

} // namespace

std::string MorvApp::ResolveBase(const std::string& option)
{
    if (!option.empty())
        return option;
    const char* home = std::getenv("MORV_HOME");
    if (home != nullptr && *home != '\0')
        return home;
    if (IsFile("Morv/Configure.xml")) {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd) != nullptr)
            return std::string(cwd) + "/Morv";
        return "Morv";
    }
    char exe[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        std::string dir(exe, static_cast<size_t>(n));
        const size_t slash = dir.rfind('/');
        if (slash != std::string::npos && IsFile(dir.substr(0, slash) + "/Morv/Configure.xml"))
            return dir.substr(0, slash) + "/Morv";
    }
    return morv_default_model_dir();
}

size_t MorvApp::CutPoint(const morv_model* model, const char* data, size_t size, Encoding enc)
{
    return morv_cut_point(model, data, size, enc == Encoding::Utf8 ? MORV_UTF8 : MORV_GBK);
}

void MorvApp::Report(const std::string& message)
{
    std::fprintf(err, "morv: %s\n", message.c_str());
}

bool MorvApp::OpenModel(const std::string& base)
{
    try {
        model.reset(new morv::Model(base));
        analyzer.reset(new morv::Analyzer(*model));
        return true;
    } catch (const morv::Error& e) {
        Report(std::string("cannot start the engine: ") + e.what());
        return false;
    }
}

void MorvApp::ProcessFile(const std::string& name)
{
    if (name == "-") {
        ProcessStream(STDIN_FILENO, "-");
        return;
    }
    const int fd = ::open(name.c_str(), O_RDONLY);
    if (fd < 0) {
        Report("cannot open " + name + ": " + std::strerror(errno));
        status = kFileTrouble;
        return;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        Report("cannot open " + name + ": " + std::strerror(EISDIR));
        status = kFileTrouble;
        ::close(fd);
        return;
    }
    ProcessStream(fd, name);
    ::close(fd);
}

void MorvApp::ProcessStream(int fd, const std::string& name)
{
    InputReader reader(fd);
    Encoding enc = options->encoding;
    const morv_model* m = model->Get();
    const InputReader::Cutter cutter = [&enc, m](const char* data, size_t size) {
        return CutPoint(m, data, size, enc);
    };
    InputReader::Piece input;
    unsigned long long asciiUntil = 0;
    for (;;) {
        if (enc == Encoding::Unknown)
            enc = DetectAhead(reader, asciiUntil);
        if (!reader.Next(input, cutter))
            break;
        size_t textLength = input.size;
        const char* terminator = "\n";
        if (input.endsLine && textLength > 0 && input.data[textLength - 1] == '\n') {
            --textLength;
            if (textLength > 0 && input.data[textLength - 1] == '\r') {
                --textLength;
                terminator = "\r\n";
            }
        }
        const Encoding pieceEnc = enc == Encoding::Utf8 ? Encoding::Utf8 : Encoding::Gbk;
        // The analyser sees the line end too: it ends the last sentence as it would
        // in the whole text, and the page makes it a paragraph break.
        if (formatter) {
            formatter->BeginPiece(input.data, input.size, textLength, pieceEnc);
            const auto tokens = analyzer->AnalyzeRaw(std::string_view(input.data, input.size), ApiEncoding(pieceEnc), true);
            formatter->Tokens(tokens.first, tokens.second);
            formatter->FinishPiece(input.endsLine, terminator);
        }
        for (auto& page : pages)
            page->Feed(input.data, input.size, pieceEnc);
    }
    if (reader.Error() != 0) {
        Report("cannot read " + name + ": " + std::strerror(reader.Error()));
        status = kFileTrouble;
    }
}

int MorvApp::Run(const MorvOptions& opts)
{
    options = &opts;
    status = kOk;
    if (!TextCodec::Instance().IsReady() && opts.encoding != Encoding::Gbk) {
        Report("the C library cannot convert GBK (iconv); only --encoding gbk works");
        return kEngineFailed;
    }
    const std::string base = ResolveBase(opts.baseDir);
    if (!OpenModel(base))
        return kEngineFailed;
    for (const std::string& list : opts.userDicts) {
        try {
            model->LoadUserDict(list);
        } catch (const morv::Error& e) {
            Report(e.what());
            return kFileTrouble;
        }
    }

    std::FILE* htmlOut = nullptr;
    if (!opts.htmlFile.empty()) {
        htmlOut = std::fopen(opts.htmlFile.c_str(), "wb");
        if (htmlOut == nullptr) {
            Report("cannot create " + opts.htmlFile + ": " + std::strerror(errno));
            return kFileTrouble;
        }
        pages.emplace_back(new HtmlPageStream(htmlOut, *analyzer));
    }
    if (opts.format == OutputFormat::Html)
        pages.emplace_back(new HtmlPageStream(out, *analyzer));
    switch (opts.format) {
    case OutputFormat::Text: formatter.reset(new TextFormatter(out)); break;
    case OutputFormat::Seg: formatter.reset(new SegFormatter(out)); break;
    case OutputFormat::Json: formatter.reset(new JsonFormatter(out)); break;
    case OutputFormat::Html: break;
    }

    for (auto& page : pages)
        page->Begin();
    if (opts.files.empty())
        ProcessFile("-");
    for (const std::string& name : opts.files)
        ProcessFile(name);
    bool written = true;
    for (auto& page : pages)
        written = page->End() && written;
    pages.clear();
    if (formatter)
        written = formatter->Flush() && written;
    formatter.reset();
    if (htmlOut != nullptr && std::fclose(htmlOut) != 0)
        written = false;
    if (std::fflush(out) != 0 || std::ferror(out))
        written = false;
    if (!written) {
        Report(std::string("write error: ") + std::strerror(errno));
        status = kFileTrouble;
    }
    return status;
}
