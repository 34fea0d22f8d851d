#include "tools/morv/ProgressLine.h"

#include <cmath>

namespace {

// Redraws in place often enough to look alive; whole lines rarely enough to read.
constexpr double kTerminalInterval = 0.2;
constexpr double kLineInterval = 5.0;

} // namespace

ProgressLine::ProgressLine(std::FILE* s, bool t, unsigned long long whole)
    : stream(s), terminal(t), total(whole), start(Clock::now()), lastDraw(start)
{
    // The line appears at once: a user who sees it knows the run has begun.
    Draw(false);
}

void ProgressLine::Advance(unsigned long long bytes)
{
    done += bytes;
    const double since = std::chrono::duration<double>(Clock::now() - lastDraw).count();
    if (since >= (terminal ? kTerminalInterval : kLineInterval))
        Draw(false);
}

void ProgressLine::Finish()
{
    if (finished)
        return;
    Draw(true);
    finished = true;
}

void ProgressLine::Clear()
{
    if (terminal && !finished) {
        std::fputs("\r\033[K", stream);
        std::fflush(stream);
    }
}

void ProgressLine::Draw(bool last)
{
    lastDraw = Clock::now();
    const double seconds = std::chrono::duration<double>(lastDraw - start).count();
    const std::string line = Format(done, total, seconds, last);
    if (terminal)
        std::fprintf(stream, "\r%s\033[K%s", line.c_str(), last ? "\n" : "");
    else
        std::fprintf(stream, "%s\n", line.c_str());
    std::fflush(stream);
}

std::string ProgressLine::Bytes(unsigned long long n)
{
    static const char* const units[] = {"kB", "MB", "GB", "TB", "PB"};
    if (n < 1000)
        return std::to_string(n) + " B";
    double v = static_cast<double>(n) / 1000;
    size_t unit = 0;
    while (v >= 999.95 && unit + 1 < sizeof units / sizeof *units) {
        v /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", v, units[unit]);
    return text;
}

std::string ProgressLine::Duration(double seconds)
{
    const long long s = seconds > 0 && seconds < 1e9 ? std::llround(seconds) : 0;
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}

std::string ProgressLine::Format(unsigned long long done, unsigned long long total, double seconds, bool finished)
{
    std::string line = "morv: " + Bytes(done);
    if (total > 0 && !finished) {
        // Inputs may grow while they are read: never more than 100%.
        const unsigned long long shown = done < total ? done : total;
        line += " of " + Bytes(total) + " (" + std::to_string(shown * 100 / total) + "%)";
    }
    // A rate needs something measured; the first moments say nothing.
    const bool measured = seconds >= 0.05 && done > 0;
    if (finished)
        line += " in " + Duration(seconds);
    if (measured) {
        const double rate = static_cast<double>(done) / seconds;
        line += ", " + Bytes(static_cast<unsigned long long>(rate)) + "/s";
        if (total > 0 && !finished)
            line += ", " + Duration(done < total ? static_cast<double>(total - done) / rate : 0) + " left";
    }
    return line;
}
