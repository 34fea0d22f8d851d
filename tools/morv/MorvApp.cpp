#include "tools/morv/MorvApp.h"
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/morv/CompactFormatter.h"
#include "tools/morv/InterruptCleanup.h"
#include "tools/morv/JsonFormatter.h"
#include "tools/morv/KeywordLister.h"
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

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

MorvApp::~MorvApp()
{
    StopWorkers();
    // An output left uncommitted (a failed run) is removed by its own
    // destructor; the handler keeps its name until it is gone.
    InterruptCleanup::Blocked blocked;
    pages.clear();
    formatter.reset();
    outputFile.reset();
    htmlFile.reset();
    InterruptCleanup::Forget(outputSlot);
    InterruptCleanup::Forget(htmlSlot);
}

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
    if (progress)
        progress->Clear();
    std::fprintf(err, "morv: %s\n", message.c_str());
}

int MorvApp::OpenModel(const std::string& base)
{
    try {
        model.reset(new morv::Model(base, options->settings));
        analyzer.reset(new morv::Analyzer(*model));
        traditional = options->traditional == MorvOptions::Traditional::On    ? morv::Traditional::On
                      : options->traditional == MorvOptions::Traditional::Off ? morv::Traditional::Off
                                                                              : morv::Traditional::Auto;
        // Asked for, the conversion must be there before any line is read
        // (auto goes without it).
        if (traditional == morv::Traditional::On)
            analyzer->Analyze("\xE5\x80\x91", morv::Encoding::Utf8, true, morv::Mode::Normal, traditional);
        return kOk;
    } catch (const morv::Error& e) {
        Report(std::string("cannot start the engine: ") + e.what());
        // A --set the engine refuses is a wrong option, not a broken model.
        return e.Status() == MORV_E_ARGUMENT && !options->settings.empty() ? kFileTrouble : kEngineFailed;
    }
}

bool MorvApp::InputIsAnOutput()
{
    std::vector<std::pair<std::string, struct stat>> outputs;
    for (const std::string* path : {&options->output, &options->htmlFile}) {
        struct stat st {};
        if (!path->empty() && ::stat(path->c_str(), &st) == 0 && S_ISREG(st.st_mode))
            outputs.emplace_back(*path, st);
    }
    if (outputs.empty())
        return false;
    std::vector<std::string> inputs = options->files;
    if (inputs.empty())
        inputs.push_back("-");
    for (const std::string& name : inputs) {
        struct stat in {};
        if (name == "-" ? ::fstat(STDIN_FILENO, &in) != 0 : ::stat(name.c_str(), &in) != 0)
            continue;
        for (const auto& o : outputs) {
            if (SameFile(in, o.second)) {
                Report("the output " + o.first + " is the input " + (name == "-" ? "(standard input)" : name) +
                       ": refused, it would be lost");
                return true;
            }
        }
    }
    return false;
}

bool MorvApp::OutputsCollide()
{
    if (options->output.empty() || options->htmlFile.empty())
        return false;
    struct stat a {}, b {};
    const bool aExists = ::stat(options->output.c_str(), &a) == 0;
    const bool bExists = ::stat(options->htmlFile.c_str(), &b) == 0;
    bool same;
    if (aExists && bExists)
        same = SameFile(a, b) && S_ISREG(a.st_mode); // a device such as /dev/null takes both
    else if (aExists != bExists)
        same = false;
    else {
        // Neither exists yet: the same place however it is spelt.
        std::error_code ec;
        const auto place = [&ec](const std::string& path) {
            return std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
        };
        same = place(options->output) == place(options->htmlFile);
    }
    if (same)
        Report("the output " + options->output + " is also the page of --html " + options->htmlFile +
               ": refused, one of them would be lost");
    return same;
}

bool MorvApp::OpenOutputs()
{
    out = stdOut;
    if (!options->output.empty()) {
        if (!OpenOutput(outputFile, outputSlot, options->output))
            return false;
        out = outputFile->File();
    }
    if (!options->htmlFile.empty()) {
        if (!OpenOutput(htmlFile, htmlSlot, options->htmlFile))
            return false;
        pages.emplace_back(new HtmlPageStream(htmlFile->File()));
    }
    if (options->format == OutputFormat::Html)
        pages.emplace_back(new HtmlPageStream(out));
    switch (options->format) {
    case OutputFormat::Text: formatter.reset(new TextFormatter(out)); break;
    // The long-unit standard writes names whole in seg too.
    case OutputFormat::Seg: formatter.reset(new SegFormatter(out, !options->longUnits)); break;
    case OutputFormat::Words: formatter.reset(new SegFormatter(out, false)); break;
    case OutputFormat::Compact: formatter.reset(new CompactFormatter(out)); break;
    case OutputFormat::Json: formatter.reset(new JsonFormatter(out)); break;
    case OutputFormat::Html: break;
    }
    wantTokens = formatter != nullptr;
    wantHtml = !pages.empty();
    outputEncoding = options->outputEncoding;
    if (formatter)
        formatter->SetOutputEncoding(outputEncoding);
    return true;
}

bool MorvApp::OpenOutput(std::unique_ptr<AtomicFile>& file, int& slot, const std::string& path)
{
    file.reset(new AtomicFile());
    InterruptCleanup::Blocked blocked;
    if (!file->Open(path)) {
        Report("cannot create " + path + ": " + std::strerror(errno));
        return false;
    }
    if (file->WritePath() != path)
        slot = InterruptCleanup::Remember(file->WritePath());
    return true;
}

bool MorvApp::CloseOutput(std::unique_ptr<AtomicFile>& file, int& slot, bool written)
{
    InterruptCleanup::Blocked blocked;
    bool ok = true;
    if (!written)
        file->Abort();
    else
        ok = file->Commit();
    const int saved = errno;
    InterruptCleanup::Forget(slot);
    slot = -1;
    errno = saved;
    return ok;
}

void MorvApp::StartProgress()
{
    if (options->progress == MorvOptions::Progress::Off)
        return;
    // The bytes of every input, when every input is a file.
    unsigned long long total = 0;
    bool files = true;
    std::vector<std::string> inputs = options->files;
    if (inputs.empty())
        inputs.push_back("-");
    for (const std::string& name : inputs) {
        struct stat st {};
        const bool ok = name == "-" ? ::fstat(STDIN_FILENO, &st) == 0 : ::stat(name.c_str(), &st) == 0;
        if (ok && S_ISREG(st.st_mode))
            total += static_cast<unsigned long long>(st.st_size);
        else
            files = false;
    }
    const bool terminal = ::isatty(fileno(err)) == 1;
    if (options->progress == MorvOptions::Progress::Auto) {
        // On the terminal that shows the output it would only garble it.
        const bool outputShown = out == stdOut && ::isatty(fileno(stdOut)) == 1;
        if (!terminal || !files || outputShown)
            return;
    }
    progress.reset(new ProgressLine(err, terminal, files ? total : 0));
}

void MorvApp::ProcessFile(const std::string& name)
{
    if (name == "-") {
        struct stat st {};
        // A terminal or a pipe may be a program waiting for each answer.
        const bool conversation = ::fstat(STDIN_FILENO, &st) == 0 &&
                                  (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || S_ISCHR(st.st_mode));
        ProcessStream(STDIN_FILENO, "-", conversation && workers.empty());
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
    ProcessStream(fd, name, false);
    ::close(fd);
}

void MorvApp::ProcessStream(int fd, const std::string& name, bool lineByLine)
{
    interactive = lineByLine;
    InputReader reader(fd);
    Encoding enc = options->encoding;
    Encoding lineEnc = Encoding::Utf8; // from a conversation: the last line's, for ASCII lines
    const morv_model* m = model->Get();
    const InputReader::Cutter cutter = [&enc, m](const char* data, size_t size) {
        return CutPoint(m, data, size, enc);
    };
    InputReader::Piece input;
    unsigned long long asciiUntil = 0;
    // An output that failed stops the run: going on would read the rest of the
    // input (without end, from a device) for nothing.
    while (failedStream == nullptr) {
        // A conversation must not wait for 64 KiB to decide: there each line decides.
        if (enc == Encoding::Unknown && !lineByLine)
            enc = DetectAhead(reader, asciiUntil);
        if (!reader.Next(input, cutter))
            break;
        Encoding pieceEnc = enc == Encoding::Utf8 ? Encoding::Utf8 : Encoding::Gbk;
        bool decided = enc != Encoding::Unknown;
        if (lineByLine && options->encoding == Encoding::Unknown) {
            const Encoding found = TextCodec::Detect(input.data, input.size, true);
            decided = found != Encoding::Unknown;
            if (decided)
                lineEnc = found;
            pieceEnc = lineEnc;
        }
        // The output keeps the encoding of the first non-ASCII input.
        if (outputEncoding == Encoding::Unknown && decided) {
            outputEncoding = pieceEnc;
            if (formatter)
                formatter->SetOutputEncoding(outputEncoding);
        }
        AddPiece(input, pieceEnc);
        if (lineByLine || current->data.size() >= blockBytes || current->pieces.size() >= blockPieces)
            Submit();
    }
    Submit();
    if (reader.Error() != 0) {
        Report("cannot read " + name + ": " + std::strerror(reader.Error()));
        status = kFileTrouble;
    }
    interactive = false;
}

void MorvApp::AddPiece(const InputReader::Piece& input, Encoding enc)
{
    if (!current)
        current.reset(new Block());
    Piece piece;
    piece.offset = current->data.size();
    piece.size = input.size;
    piece.textLength = input.size;
    piece.endsLine = input.endsLine;
    piece.encoding = enc;
    if (input.endsLine && piece.textLength > 0 && input.data[piece.textLength - 1] == '\n') {
        --piece.textLength;
        if (piece.textLength > 0 && input.data[piece.textLength - 1] == '\r') {
            --piece.textLength;
            piece.crlf = true;
        }
    }
    current->data.append(input.data, input.size);
    current->pieces.push_back(std::move(piece));
}

void MorvApp::Analyze(morv::Analyzer& a, Block& block)
{
    for (Piece& piece : block.pieces) {
        // The analyser sees the line end too: it ends the last sentence as it would
        // in the whole text, and the page makes it a paragraph break.
        const std::string_view text(block.data.data() + piece.offset, piece.size);
        if (wantTokens) {
            const auto tokens = a.AnalyzeRaw(text, ApiEncoding(piece.encoding), true,
                                             (options->search ? morv::Mode::Search : morv::Mode::Normal) |
                                                 (options->longUnits ? morv::Mode::LongUnits : morv::Mode::Normal),
                                             traditional);
            piece.tokens.assign(tokens.first, tokens.first + tokens.second);
            piece.parts.clear();
            piece.partOffsets.clear();
            for (size_t i = 0; i < tokens.second; ++i) {
                if (!(tokens.first[i].flags & MORV_FLAG_COMPOUND))
                    continue;
                if (piece.partOffsets.empty())
                    piece.partOffsets.assign(i + 1, 0);
                piece.partOffsets.resize(i + 1, piece.parts.size());
                const auto parts = a.PartsRaw(i);
                piece.parts.insert(piece.parts.end(), parts.first, parts.first + parts.second);
            }
            if (!piece.partOffsets.empty())
                piece.partOffsets.resize(tokens.second + 1, piece.parts.size());
        }
        if (wantHtml) {
            const std::string_view html = a.AnalyzeHtml(text, ApiEncoding(piece.encoding), true, traditional);
            piece.html.assign(html.data(), html.size());
        }
    }
}

void MorvApp::Emit(Block& block)
{
    for (Piece& piece : block.pieces) {
        if (formatter) {
            formatter->BeginPiece(block.data.data() + piece.offset, piece.size, piece.textLength, piece.encoding);
            const LineFormatter::PartList parts{piece.parts.data(), piece.partOffsets.data()};
            formatter->Tokens(piece.tokens.data(), piece.tokens.size(), piece.partOffsets.empty() ? nullptr : &parts);
            formatter->FinishPiece(piece.endsLine, piece.crlf ? "\r\n" : "\n");
        }
        for (auto& page : pages)
            page->Write(piece.html);
        if (progress)
            progress->Advance(piece.size);
    }
    if (interactive) {
        // The program on the other end waits for this answer before it writes more.
        if (formatter)
            formatter->Flush();
        for (auto& page : pages)
            std::fflush(page->Stream());
        std::fflush(out);
    }
    NoteWriteErrors();
}

void MorvApp::NoteWriteError(std::FILE* stream)
{
    if (failedStream == nullptr && stream != nullptr && std::ferror(stream)) {
        failedErrno = errno != 0 ? errno : EIO;
        failedStream = stream;
    }
}

void MorvApp::NoteWriteErrors()
{
    if (failedStream != nullptr)
        return;
    NoteWriteError(out);
    for (auto& page : pages)
        NoteWriteError(page->Stream());
}

void MorvApp::ReportWriteError()
{
    if (failedStream == nullptr)
        return;
    const std::string why = std::strerror(failedErrno);
    if (htmlFile && failedStream == htmlFile->File())
        Report("cannot write " + options->htmlFile + ": " + why);
    else if (outputFile && failedStream == outputFile->File())
        Report("cannot write " + options->output + ": " + why);
    else
        Report("write error: " + why);
}

void MorvApp::Submit()
{
    if (!current || current->pieces.empty())
        return;
    if (workers.empty()) {
        Analyze(*analyzer, *current);
        Emit(*current);
        current.reset();
        return;
    }
    std::unique_lock<std::mutex> lock(mutex);
    queue.push_back(current.get());
    inFlight.push_back(std::move(current));
    workReady.notify_one();
    // Write finished blocks in order; wait when too many are in flight.
    while (!inFlight.empty() && (inFlight.front()->done || inFlight.size() >= maxInFlight)) {
        blockDone.wait(lock, [this] { return inFlight.front()->done; });
        std::unique_ptr<Block> block = std::move(inFlight.front());
        inFlight.pop_front();
        lock.unlock();
        Emit(*block);
        block.reset();
        lock.lock();
    }
}

void MorvApp::StartWorkers(int count)
{
    maxInFlight = 2 * static_cast<size_t>(count);
    for (int k = 0; k < count; ++k) {
        workers.emplace_back([this] {
            morv::Analyzer mine(*model);
            std::unique_lock<std::mutex> lock(mutex);
            for (;;) {
                workReady.wait(lock, [this] { return closing || !queue.empty(); });
                if (queue.empty())
                    return;
                Block* block = queue.front();
                queue.pop_front();
                lock.unlock();
                Analyze(mine, *block);
                lock.lock();
                block->done = true;
                blockDone.notify_all();
            }
        });
    }
}

void MorvApp::StopWorkers()
{
    if (workers.empty())
        return;
    std::unique_lock<std::mutex> lock(mutex);
    while (!inFlight.empty()) {
        blockDone.wait(lock, [this] { return inFlight.front()->done; });
        std::unique_ptr<Block> block = std::move(inFlight.front());
        inFlight.pop_front();
        lock.unlock();
        Emit(*block);
        block.reset();
        lock.lock();
    }
    closing = true;
    workReady.notify_all();
    lock.unlock();
    for (std::thread& t : workers)
        t.join();
    workers.clear();
    closing = false;
}

// Every input through the analysers: files with one analyser per core; a
// terminal or a pipe with one, answering line by line.
void MorvApp::ProcessInputs()
{
    const MorvOptions& opts = *options;
    bool allFiles = !opts.files.empty();
    for (const std::string& name : opts.files)
        allFiles = allFiles && name != "-";
    int jobs = opts.jobs;
    if (jobs == 0) {
        const unsigned cores = std::thread::hardware_concurrency();
        jobs = allFiles ? static_cast<int>(cores == 0 ? 1 : std::min(cores, 64u)) : 1;
    }
    if (jobs > 1)
        StartWorkers(jobs);

    StartProgress();
    for (auto& page : pages)
        page->Begin();
    if (opts.files.empty())
        ProcessFile("-");
    for (const std::string& name : opts.files)
        if (failedStream == nullptr)
            ProcessFile(name);
    StopWorkers();
    if (progress)
        progress->Finish();
}

void MorvApp::ListKeywords()
{
    KeywordLister::Settings settings;
    settings.top = options->keywords;
    settings.textRank = options->textRank;
    settings.tags = options->keywordTags;
    settings.encoding = options->encoding;
    settings.outputEncoding = options->outputEncoding;
    settings.traditional = traditional;
    KeywordLister lister(*analyzer, out, settings);
    std::vector<std::string> names = options->files;
    if (names.empty())
        names.push_back("-");
    for (const std::string& name : names) {
        std::string error;
        if (!lister.List(name, names.size() > 1, &error)) {
            Report(error);
            status = kFileTrouble;
        }
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
    if (const int opened = OpenModel(base); opened != kOk)
        return opened;
    for (const std::string& list : opts.userDicts) {
        try {
            model->LoadUserDict(list);
        } catch (const morv::Error& e) {
            Report(e.what());
            return kFileTrouble;
        }
    }
    if (opts.dumpConfig) {
        const std::string text = model->Describe();
        std::fwrite(text.data(), 1, text.size(), stdOut);
        return std::fflush(stdOut) == 0 ? kOk : kFileTrouble;
    }
    if (InputIsAnOutput() || OutputsCollide())
        return kFileTrouble;
    if (!OpenOutputs())
        return kFileTrouble;

    if (opts.keywords > 0) {
        ListKeywords();
    } else {
        ProcessInputs();
    }

    bool written = true;
    for (auto& page : pages) {
        written = page->End() && written;
        NoteWriteError(page->Stream());
    }
    pages.clear();
    if (formatter) {
        written = formatter->Flush() && written;
        NoteWriteError(out);
        if (formatter->Replaced() > 0)
            Report(std::to_string(formatter->Replaced()) +
                   " characters the output encoding lacks were written as '?'");
    }
    formatter.reset();
    if (std::fflush(out) != 0 || std::ferror(out)) {
        written = false;
        NoteWriteError(out);
    }
    written = written && failedStream == nullptr;
    ReportWriteError();
    for (auto* file : {&htmlFile, &outputFile}) {
        if (!*file)
            continue;
        const bool wasWritten = written;
        if (!CloseOutput(*file, file == &htmlFile ? htmlSlot : outputSlot, written) && wasWritten) {
            written = false;
            Report("cannot write " + (file == &htmlFile ? opts.htmlFile : opts.output) + ": " +
                   std::strerror(errno));
        }
    }
    if (!written)
        status = kFileTrouble;
    return status;
}
