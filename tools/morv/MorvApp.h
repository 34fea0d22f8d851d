#ifndef MORV_TOOLS_MORVAPP_H
#define MORV_TOOLS_MORVAPP_H

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/AtomicFile.h"
#include "engine/morv.hpp"
#include "tools/morv/HtmlPageStream.h"
#include "tools/morv/InputReader.h"
#include "tools/morv/LineFormatter.h"
#include "tools/morv/MorvOptions.h"
#include "tools/morv/ProgressLine.h"

// The morv command: opens the model, adds the user word lists, and streams every
// input through the analysers into the chosen outputs.
//
// Input is read in pieces (a line, or a part of a long line cut where the
// analysis does not change) gathered into blocks. With one job each block is
// analysed and written at once; with N jobs, N threads analyse blocks (each with
// its own analyser over the one model) while this thread reads ahead and writes
// finished blocks in input order, at most 2N blocks in flight. Formatting always
// happens here, in order, so the output is the same for every N.
class MorvApp {
public:
    enum ExitStatus { kOk = 0, kEngineFailed = 1, kFileTrouble = 2 };

    MorvApp(std::FILE* out, std::FILE* err) : stdOut(out), err(err) {}
    virtual ~MorvApp();

    int Run(const MorvOptions& options);

    // The model directory: the option if given, else $MORV_HOME, else ./Morv when
    // it holds Configure.xml, else the Morv directory beside the executable when it
    // does, else the library's default (the installed models).
    static std::string ResolveBase(const std::string& option);
    // Where to cut a piece of a line that is too long (size bytes, no line feed):
    // after its last sentence end (model may be null: none known), else after its
    // last blank, else at its last character boundary. Cutting after a sentence
    // end changes no result.
    static size_t CutPoint(const morv_model* model, const char* data, size_t size, Encoding enc);
    // How much input a block gathers before it is handed on (tests make blocks
    // small to have many of them in flight).
    void SetBlockLimits(size_t bytes, size_t pieces)
    {
        blockBytes = bytes;
        blockPieces = pieces;
    }

private:
    struct Piece {
        size_t offset = 0;     // in the block's data
        size_t size = 0;
        size_t textLength = 0; // without the line end
        bool endsLine = false;
        bool crlf = false;
        Encoding encoding = Encoding::Gbk;
        std::vector<morv_token> tokens; // their words point into the block's data
        // The words of compound tokens (see LineFormatter::PartList); empty
        // when the piece has none.
        std::vector<morv_part> parts;
        std::vector<size_t> partOffsets;
        std::string html;
    };
    struct Block {
        std::string data;
        std::vector<Piece> pieces;
        bool done = false;
    };

    // kOk, or the exit status of the failure.
    int OpenModel(const std::string& base);
    bool OpenOutputs();
    bool InputIsAnOutput();
    // -o and --html naming one file: one of the two would be lost.
    bool OutputsCollide();
    // Opens one output file, its temporary name known to the signal handler.
    bool OpenOutput(std::unique_ptr<AtomicFile>& file, int& slot, const std::string& path);
    // Commits (or, when not written, drops) one output file; false when it fails.
    bool CloseOutput(std::unique_ptr<AtomicFile>& file, int& slot, bool written);
    void StartProgress();
    void ProcessInputs();
    // --keywords: the keywords of each input instead of its words.
    void ListKeywords();
    void ProcessFile(const std::string& name);
    void ProcessStream(int fd, const std::string& name, bool interactive);
    void AddPiece(const InputReader::Piece& input, Encoding enc);
    // Hands the current block on (with one job: analyses and writes it now).
    void Submit();
    void Analyze(morv::Analyzer& analyzer, Block& block);
    void Emit(Block& block);
    void StartWorkers(int count);
    void StopWorkers();
    void Report(const std::string& message);
    // Notes the first output whose stream has failed (a full disk, a closed
    // pipe) with the error of that write; reading stops from then on.
    void NoteWriteError(std::FILE* stream);
    void NoteWriteErrors();
    // Reports the failed output once: its name and why.
    void ReportWriteError();

    std::FILE* stdOut;
    std::FILE* err;
    std::FILE* out = nullptr;
    const MorvOptions* options = nullptr;
    int status = kOk;
    std::FILE* failedStream = nullptr; // the first output that failed
    int failedErrno = 0;
    bool interactive = false;
    bool wantTokens = false;
    bool wantHtml = false;
    Encoding outputEncoding = Encoding::Unknown;
    std::unique_ptr<morv::Model> model;
    std::unique_ptr<morv::Analyzer> analyzer;
    morv::Traditional traditional = morv::Traditional::Auto;
    std::unique_ptr<LineFormatter> formatter;
    std::vector<std::unique_ptr<HtmlPageStream>> pages;
    std::unique_ptr<AtomicFile> outputFile;
    std::unique_ptr<AtomicFile> htmlFile;
    int outputSlot = -1; // InterruptCleanup's slots of the two temporary files
    int htmlSlot = -1;
    std::unique_ptr<ProgressLine> progress;
    std::unique_ptr<Block> current;

    // Parallel analysis.
    std::vector<std::thread> workers;
    std::mutex mutex;
    std::condition_variable workReady;
    std::condition_variable blockDone;
    std::deque<Block*> queue;                   // waiting for a worker
    std::deque<std::unique_ptr<Block>> inFlight; // in input order
    bool closing = false;
    size_t maxInFlight = 0;
    size_t blockBytes = 256 * 1024; // a block's tokens take some ten times as much
    size_t blockPieces = 4096;
};

#endif
