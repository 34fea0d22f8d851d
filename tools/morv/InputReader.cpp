#include "tools/morv/InputReader.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

InputReader::InputReader(int fd, size_t cap) : fd(fd), cap(cap < 16 ? 16 : cap)
{
    buffer.resize(2 * this->cap + 4096);
}

void InputReader::Fill(size_t want)
{
    if (want > buffer.size())
        want = buffer.size();
    if (end - pos >= want || eof)
        return;
    if (pos + want > buffer.size()) {
        std::memmove(buffer.data(), buffer.data() + pos, end - pos);
        consumed += pos;
        end -= pos;
        pos = 0;
    }
    while (end - pos < want && !eof) {
        const ssize_t got = ::read(fd, buffer.data() + end, buffer.size() - end);
        if (got > 0) {
            end += static_cast<size_t>(got);
        } else if (got == 0) {
            eof = true;
        } else if (errno != EINTR) {
            error = errno;
            eof = true;
        }
    }
}

size_t InputReader::Peek(size_t want, const char** data)
{
    Fill(want);
    *data = buffer.data() + pos;
    return end - pos < want ? end - pos : want;
}

bool InputReader::Next(Piece& piece, const Cutter& cutter)
{
    size_t searched = 0;
    for (;;) {
        const size_t limit = end - pos < cap ? end - pos : cap;
        if (limit > searched) {
            const void* lf = std::memchr(buffer.data() + pos + searched, '\n', limit - searched);
            if (lf != nullptr) {
                const size_t size = static_cast<const char*>(lf) - (buffer.data() + pos) + 1;
                piece = {buffer.data() + pos, size, true};
                pos += size;
                return true;
            }
            searched = limit;
        }
        if (limit >= cap) {
            size_t size = cutter ? cutter(buffer.data() + pos, cap) : cap;
            if (size == 0 || size > cap)
                size = cap;
            piece = {buffer.data() + pos, size, false};
            pos += size;
            return true;
        }
        if (eof) {
            if (pos == end)
                return false;
            piece = {buffer.data() + pos, end - pos, true};
            pos = end;
            return true;
        }
        FillSome();
        if (end - pos <= searched && eof && pos == end)
            return false;
    }
}

void InputReader::FillSome()
{
    if (eof)
        return;
    if (end == buffer.size() || pos > buffer.size() / 2) {
        std::memmove(buffer.data(), buffer.data() + pos, end - pos);
        consumed += pos;
        end -= pos;
        pos = 0;
    }
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data() + end, buffer.size() - end);
        if (got > 0) {
            end += static_cast<size_t>(got);
            return;
        }
        if (got == 0) {
            eof = true;
            return;
        }
        if (errno != EINTR) {
            error = errno;
            eof = true;
            return;
        }
    }
}
