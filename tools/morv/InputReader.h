#ifndef MORV_TOOLS_INPUTREADER_H
#define MORV_TOOLS_INPUTREADER_H

#include <cstddef>
#include <functional>
#include <vector>

// Reads a file descriptor in pieces of bounded size: normally one line with its
// line feed; a line longer than the cap comes in several pieces, each cut where
// the caller's cutter says (a character boundary). Memory stays at a few times the
// cap however large the input is.
class InputReader {
public:
    static constexpr size_t kDefaultCap = 64 * 1024;

    struct Piece {
        const char* data = nullptr;
        size_t size = 0;
        bool endsLine = false; // the last piece of its line (ends in LF, or at end of input)
    };
    // Given up to cap bytes without a line feed, returns how many to take (1..size).
    using Cutter = std::function<size_t(const char* data, size_t size)>;

    explicit InputReader(int fd, size_t cap = kDefaultCap);

    // The next piece; false when the input is used up. The piece stays valid until
    // the next call of Next or Peek.
    bool Next(Piece& piece, const Cutter& cutter);
    // Makes up to want bytes from the current position readable without consuming
    // them; returns how many are available (fewer only at the end of the input).
    size_t Peek(size_t want, const char** data);
    // errno of a failed read, 0 if none; a failed read ends the input.
    int Error() const { return error; }
    size_t Cap() const { return cap; }
    // Bytes consumed so far.
    unsigned long long Position() const { return consumed + pos; }

private:
    void Fill(size_t want);
    // One read, of whatever has arrived: a pipe's writer waiting for our answer
    // has sent a line, not a buffer's worth.
    void FillSome();

    int fd;
    size_t cap;
    std::vector<char> buffer;
    unsigned long long consumed = 0; // bytes moved out of the buffer's front
    size_t pos = 0;
    size_t end = 0;
    bool eof = false;
    int error = 0;
};

#endif
