#include "tools/morv/MorvApp.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/ConfigFile.h"
#include "engine/Engine.h"
#include "engine/EngineContext.h"
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

// Whether the configuration at path switches the log on.
bool LogWanted(const std::string& path)
{
    std::unique_ptr<char[]> text;
    const size_t size = ReadConfigFile(path.c_str(), text);
    if (size == 0)
        return false;
    std::unique_ptr<char[]> value(new char[size + 1]);
    return GetConfigValue(text.get(), "Log", value.get()) && strcasecmp(value.get(), "on") == 0;
}

// A word list converted from UTF-8 to GBK, in a temporary file removed at the end.
class GbkWordList {
public:
    ~GbkWordList()
    {
        if (!path.empty())
            ::unlink(path.c_str());
    }
    std::string path;
};

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
        if (slash != std::string::npos)
            return dir.substr(0, slash) + "/Morv";
    }
    return "Morv";
}

size_t MorvApp::CutPoint(const char* data, size_t size, Encoding enc)
{
    const CCharset* charset = TheEngine().charset.get();
    const TextCodec& codec = TextCodec::Instance();
    const unsigned char* s = reinterpret_cast<const unsigned char*>(data);
    size_t lastBoundary = 0, lastBlank = 0, lastSentence = 0;
    size_t i = 0;
    while (i < size) {
        size_t n;
        int key;
        if (s[i] < 0x80) {
            n = 1;
            key = s[i];
        } else if (enc == Encoding::Utf8) {
            uint32_t cp = 0;
            const int length = TextCodec::DecodeUtf8(s + i, size - i, &cp);
            if (length < 0)
                break; // the character goes on beyond the piece
            n = length == 0 ? 1 : static_cast<size_t>(length);
            key = length == 0 ? -1 : static_cast<int>(codec.UnicodeToGbk(cp));
        } else {
            n = TextCodec::GbkUnitLength(s + i, size - i);
            if (n == 1 && i + 1 == size)
                break; // a lead byte whose trail is in the next piece
            key = n == 2 ? (s[i] << 8 | s[i + 1]) : -1;
        }
        i += n;
        lastBoundary = i;
        if (key == ' ' || key == '\t' || key == 0xA1A1)
            lastBlank = i;
        if (charset != nullptr && key > 0 && charset->GetClass(key) == 2)
            lastSentence = i;
    }
    if (lastSentence > 0)
        return lastSentence;
    if (lastBlank > 0)
        return lastBlank;
    return lastBoundary > 0 ? lastBoundary : size;
}

void MorvApp::Report(const std::string& message)
{
    std::fprintf(err, "morv: %s\n", message.c_str());
}

bool MorvApp::StartEngine(const std::string& base)
{
    if (EngineInit(base.c_str())) {
        const EngineContext& engine = TheEngine();
        if (engine.analyzer && engine.analyzer->IsComplete())
            return true;
        if (engine.logFile != nullptr)
            Report("the engine in " + base + " is incomplete; see the log file " + engine.basePath +
                   kPathSeparator + "Morv.log");
        else
            Report("the engine in " + base + " is incomplete");
        return false;
    }
    const EngineContext& engine = TheEngine();
    // The log of a failed start stays open: it names what stopped the start.
    if (engine.logFile != nullptr)
        Report("cannot start the engine; see the log file " + engine.basePath + kPathSeparator + "Morv.log");
    else if (!IsFile(base + kPathSeparator + "Configure.xml"))
        Report("cannot start the engine: no Configure.xml in the base directory " + base);
    else if (LogWanted(base + kPathSeparator + "Configure.xml")) {
        // The log is on but could not be created (a read-only base directory, say).
        const std::string logPath = base + kPathSeparator + "Morv.log";
        std::FILE* probe = std::fopen(logPath.c_str(), "a");
        const std::string reason = probe == nullptr ? std::strerror(errno) : "unknown reason";
        if (probe != nullptr)
            std::fclose(probe);
        Report("cannot start the engine: cannot create the log file " + logPath + ": " + reason);
    } else
        Report("cannot start the engine from the base directory " + base +
               " (its log is off: set <Log>on</Log> in Configure.xml to learn why)");
    return false;
}

void MorvApp::ImportUserDict(const std::string& list)
{
    const int fd = ::open(list.c_str(), O_RDONLY);
    if (fd < 0) {
        Report("cannot open " + list + ": " + std::strerror(errno));
        status = kFileTrouble;
        return;
    }
    // The engine reads GBK word lists; a UTF-8 list is converted first, word by word.
    InputReader reader(fd);
    Encoding enc = options->encoding;
    unsigned long long asciiUntil = 0;
    if (enc == Encoding::Unknown)
        enc = DetectAhead(reader, asciiUntil);
    GbkWordList converted;
    int skipped = 0;
    if (enc == Encoding::Utf8) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/morv-words-XXXXXX";
        const int outFd = mkstemp(&pattern[0]);
        std::FILE* gbk = outFd >= 0 ? fdopen(outFd, "wb") : nullptr;
        if (gbk == nullptr) {
            Report("cannot convert " + list + ": " + std::strerror(errno));
            status = kFileTrouble;
            ::close(fd);
            return;
        }
        converted.path = pattern;
        InputReader::Piece line;
        EngineText word;
        while (reader.Next(line, nullptr)) {
            // The word is the first run of non-blank bytes; the rest of the line is ignored.
            size_t begin = 0;
            while (begin < line.size && std::strchr(" \t\n\v\f\r", line.data[begin]) != nullptr)
                ++begin;
            size_t end = begin;
            while (end < line.size && std::strchr(" \t\n\v\f\r", line.data[end]) == nullptr)
                ++end;
            if (end == begin)
                continue;
            word.Build(line.data + begin, end - begin, Encoding::Utf8, false);
            if (!word.Substitutions().empty()) {
                ++skipped;
                continue;
            }
            std::fwrite(word.Text(), 1, word.Length(), gbk);
            std::fputc('\n', gbk);
        }
        std::fclose(gbk);
    }
    const int readError = reader.Error();
    ::close(fd);
    if (readError != 0) {
        Report("cannot read " + list + ": " + std::strerror(readError));
        status = kFileTrouble;
        return;
    }
    const int count = EngineImportUserDict(converted.path.empty() ? list.c_str() : converted.path.c_str());
    std::string message = "imported " + std::to_string(count) + (count == 1 ? " word" : " words") + " from " + list;
    if (skipped > 0)
        message += " (" + std::to_string(skipped) + " skipped: characters GBK lacks)";
    Report(message);
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
    CAnalyzer* analyzer = TheEngine().analyzer.get();
    InputReader reader(fd);
    Encoding enc = options->encoding;
    const InputReader::Cutter cutter = [&enc](const char* data, size_t size) { return CutPoint(data, size, enc); };
    const bool wantChars = formatter && formatter->NeedsCharacters();
    const CAnalyzer::SentenceSink sink = [this](const CAnalyzer::Sentence& sentence) {
        formatter->Sentence(piece, sentence);
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
        // The engine sees the line end too: it ends the last sentence as it would in
        // the whole text, and the page makes it a paragraph break.
        piece.Build(input.data, input.size, enc, wantChars);
        if (formatter) {
            formatter->BeginPiece(piece, textLength);
            analyzer->Analyze(piece.Text(), sink);
            formatter->FinishPiece(piece, input.endsLine, terminator);
        }
        for (auto& page : pages)
            page->Feed(piece);
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
    if (!StartEngine(base))
        return kEngineFailed;
    EngineContext& engine = TheEngine();

    std::FILE* htmlOut = nullptr;
    if (opts.format == OutputFormat::Html || !opts.htmlFile.empty()) {
        std::string head, tail, why;
        if (!HtmlPageStream::LearnFrame(head, tail, why)) {
            Report("cannot write the result page: " + why);
            EngineExit();
            return kEngineFailed;
        }
        if (!opts.htmlFile.empty()) {
            htmlOut = std::fopen(opts.htmlFile.c_str(), "wb");
            if (htmlOut == nullptr) {
                Report("cannot create " + opts.htmlFile + ": " + std::strerror(errno));
                EngineExit();
                return kFileTrouble;
            }
            pages.emplace_back(new HtmlPageStream(htmlOut, head, tail, engine.analyzer.get()));
        }
        if (opts.format == OutputFormat::Html)
            pages.emplace_back(new HtmlPageStream(out, head, tail, engine.analyzer.get()));
    }
    switch (opts.format) {
    case OutputFormat::Text: formatter.reset(new TextFormatter(out, engine.tagSet.get())); break;
    case OutputFormat::Seg: formatter.reset(new SegFormatter(out, engine.tagSet.get())); break;
    case OutputFormat::Json: formatter.reset(new JsonFormatter(out, engine.tagSet.get())); break;
    case OutputFormat::Html: break;
    }

    if (!opts.userDict.empty())
        ImportUserDict(opts.userDict);

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
    EngineExit();
    return status;
}
