#ifndef MORV_TOOLS_PROGRESSLINE_H
#define MORV_TOOLS_PROGRESSLINE_H

#include <chrono>
#include <cstdio>
#include <string>

// How far a long run has come, on standard error: the input bytes analysed and
// written, their share of the whole, the rate and the time left. On a terminal
// the line is redrawn in place a few times a second; elsewhere (when asked for)
// a line is written every few seconds, so that a log does not fill up.
class ProgressLine {
public:
    // total: the bytes of every input, 0 when not known (then no share and no
    // time left are shown).
    ProgressLine(std::FILE* stream, bool terminal, unsigned long long total);
    virtual ~ProgressLine() = default;

    // Counts bytes as done; redraws when it is time to.
    void Advance(unsigned long long bytes);
    // The last line, with the whole time taken.
    void Finish();
    // Clears the line on a terminal so that a message can take its place; the
    // next redraw brings it back.
    void Clear();

    // The line's text after `seconds` with `done` bytes of `total` (0: unknown).
    static std::string Format(unsigned long long done, unsigned long long total, double seconds, bool finished);
    // 1234567 -> "1.2 MB" (decimal units, as file sizes are usually shown).
    static std::string Bytes(unsigned long long n);
    // 75 -> "1:15"; an hour or more as "1:02:03".
    static std::string Duration(double seconds);

private:
    void Draw(bool finished);

    using Clock = std::chrono::steady_clock;
    std::FILE* stream;
    bool terminal;
    unsigned long long total;
    unsigned long long done = 0;
    Clock::time_point start;
    Clock::time_point lastDraw;
    bool finished = false;
};

#endif
